// DataCursor and LookupCursor: the narrow interface between a record set and the engine behind it.
#pragma once

#include "data/Field.h"
#include "engine/CursorRecordset.h"

#include <QString>
#include <memory>
#include <optional>

namespace data {

// One column of an open result as the record set binds it.
struct CursorColumn {
    QString name;
    std::optional<TFieldType> type; // nullopt: a type no field of this layer can hold
    bool updatable = false;
};

// A read-only copy of a cursor sharing its rows, in read order and standing on its first row:
// locate searches it, and readers walk every row through it without moving the cursor.
class LookupCursor {
public:
    virtual ~LookupCursor() = default;
    virtual void moveNext() = 0;
    virtual FieldValue value(int column) const = 0; // of the current row; never NotRead
    virtual QString sort() const = 0;
    virtual void setSort(const QString& sortText) = 0;
    virtual void setFilter(const QString& criteria) = 0; // the copy then stands on its first row
    virtual bool find(const QString& criterion) = 0;     // forward from the current row, skip 0
    virtual bool eof() const = 0;
    virtual qint64 bookmark() const = 0;
};

// An open result with a current row. The record set owns it while it is open and never talks to
// an engine in any other way. Errors are whatever the engine raises (EOleException for ours).
class DataCursor {
public:
    using Bookmark = qint64;

    virtual ~DataCursor() = default;

    virtual int columnCount() const = 0;
    virtual CursorColumn column(int index) const = 0;
    virtual bool canModify() const = 0;
    virtual bool isSequenced() const = 0;

    virtual int recordCount() const = 0;
    virtual bool bof() const = 0;
    virtual bool eof() const = 0;
    virtual void moveFirst() = 0;
    virtual void moveLast() = 0;
    virtual void moveNext() = 0;
    virtual void movePrevious() = 0;
    virtual int absolutePosition() const = 0; // 1-based; -1 off the rows
    virtual void setAbsolutePosition(int position) = 0;
    virtual Bookmark bookmark() const = 0;
    virtual void gotoBookmark(Bookmark bookmark) = 0;
    virtual FieldValue value(int column) const = 0; // never NotRead

    virtual void addNew() = 0;
    virtual void setValue(int column, const FieldValue& value) = 0;
    virtual bool updatePending() const = 0; // an edit or an add-new waits for update
    virtual void update() = 0;
    virtual void cancelUpdate() = 0;
    // Reads the current row again from the database (dropping a pending change); a row deleted
    // meanwhile leaves the result and the cursor stands on the row after it.
    virtual void refreshCurrent() = 0;
    // Deletes the current row; the cursor then stands on the row after it, or at the end.
    virtual void deleteCurrent() = 0;

    virtual std::unique_ptr<LookupCursor> lookupCopy() const = 0;

    // What other workstations saved: the rows with these keys read again, or every row (see
    // cursor::Recordset::refreshRows and requery). Look-up copies made before a requery keep the
    // rows they had.
    virtual cursor::Recordset::Refreshed refreshRows(const std::vector<qint64>& keys) = 0;
    virtual cursor::Recordset::Refreshed requery() = 0;
};

} // namespace data
