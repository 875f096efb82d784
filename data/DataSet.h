// TDataSet: a record set with its states, record window, field objects, events and notifications.
#pragma once

#include "core/Errors.h"
#include "data/DataEvents.h"
#include "data/Field.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace cursor {
class Recordset;
}

namespace data {

class TDataSource;

using TDataSetNotifyEvent = std::function<void(TDataSet&)>;

// One record as TDataSet::readRecords hands it to its reader: valid during the call only.
class TRecordValues {
public:
    // The value of the i-th field asked for, as the field reads it (null as std::monostate),
    // read from the record when asked.
    cursor::Value operator[](std::size_t i) const;

private:
    friend class TDataSet;
    TRecordValues(const cursor::Recordset& recordset, const std::vector<int>& columns)
        : recordset_(recordset), columns_(columns) {}
    const cursor::Recordset& recordset_;
    const std::vector<int>& columns_; // -1: a calculated field, which reads null here
};

// Raised by post when the record is stored but a step after the write failed (reading the window
// again, an AfterPost handler). The set has left edit or insert for browse: the record must not
// be written again. The message says that the record was saved and gives the cause.
class EPostedError : public EDatabaseError {
public:
    explicit EPostedError(const QString& cause);
    const QString& cause() const { return cause_; }

private:
    QString cause_;
};

// A record set: operations, states, calculated fields, events in their fixed order, and
// notifications to its data sources, over the engine's recordset (which it owns) and the record
// window around its current record (RecordWindow). A subclass runs the statement into the
// recordset (see TQuery). Fields are owned by the set; data sources only point at it.
// Errors are EDatabaseError ("Name: message" where it belongs to the set) or EOleException.
class TDataSet {
public:
    explicit TDataSet(const QString& name);
    virtual ~TDataSet();
    TDataSet(const TDataSet&) = delete;
    TDataSet& operator=(const TDataSet&) = delete;

    const QString& name() const { return name_; }

    // Field definitions (declared before opening, in field-list order; adding to an open set fails
    // with "Cannot perform this operation on an open dataset"). A set opened without any declared
    // field gets one per column until it closes.
    TField& addField(const QString& fieldName, TFieldType type,
                     TFieldKind kind = TFieldKind::fkData);
    int fieldCount() const;
    TField& field(int index) const;                      // by position in the field list
    TField* findField(const QString& fieldName) const;   // case-insensitive; nullptr when absent
    TField& fieldByName(const QString& fieldName) const; // "Field '%s' not found"
    bool hasCalculatedFields() const;

    // Operations.
    void open();
    void close();
    bool active() const { return state() != TDataSetState::dsInactive; }
    TDataSetState state() const;
    bool modified() const;
    void first();
    void last();
    void next();
    void prior();
    int moveBy(int distance);
    int recordCount() const;
    bool isEmpty() const;
    void insert();
    void edit();
    void post();
    void cancel();
    void remove(); // delete
    bool locate(const QString& keyFields, const QStringList& keyValues, TLocateOptions options);
    int recNo() const;
    void setRecNo(int value);
    bool isSequenced() const;
    virtual bool canModify() const;
    void resync(); // re-read the window around the current cursor record
    // What other workstations saved, shown in browse state: the records with these keys are
    // read again (cursor::Recordset::refreshRows), or every record (refreshAll: the statement
    // runs again). Records that joined, changed or left show at once with one set-changed to the
    // links; the current record stays current at its place in the window. When it left (deleted
    // elsewhere) the window is read again as after a delete, and when the set went from empty to
    // not empty or back, and AfterScroll fires, so a detail set follows; nothing else fires.
    // Nothing is sent when everything reads as before. In edit or insert nothing is read and
    // false is returned (the record being edited is never touched); an inactive set has nothing
    // to show. Fails like the engine's reading, leaving the set as it was.
    bool refreshRecords(const std::vector<qint64>& keys);
    bool refreshAll();
    void disableControls();
    void enableControls();
    bool bof() const;
    bool eof() const;
    void checkBrowseMode();

    // Reads data fields of every stored record, in read order, through a copy of the cursor that
    // shares the rows: the current record, the record window and the events stay as they are, and
    // nothing is calculated. visit is called once a record; each field's value is read when it
    // asks for it. Fails like recordCount on a closed set.
    void readRecords(const std::vector<const TField*>& fields,
                     const std::function<void(const TRecordValues& record)>& visit) const;

    // SQL text: changing it closes the set first.
    const QStringList& sql() const;
    void setSql(const QStringList& lines);
    void clearSql();
    void addSql(const QString& line);
    QString commandText() const; // lines joined, each followed by "\r\n"

    // Events (all fire at the points the record-set rules fix; unassigned ones do nothing).
    // OnCalcFields runs only for a set that has calculated fields.
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose, BeforeScroll, AfterScroll,
        BeforeInsert, AfterInsert, OnNewRecord, BeforeEdit, AfterEdit, BeforePost, AfterPost,
        BeforeCancel, AfterCancel, BeforeDelete, AfterDelete, OnCalcFields;
    bool autoCalcFields = true;

    // Record window, as links see it.
    int bufferCount() const;            // N, the largest row count asked for by any link
    int windowRecordCount() const;      // records actually in the window
    int activeRecord() const;           // window position of the current record
    void setActiveRecord(int position); // switches buffers only: no fetch, no event
    // The bookmark of the record in a window position (for the grid's painting and tests);
    // -1 for a position outside the window or holding a record not yet stored.
    qint64 windowBookmark(int position) const;
    // How many stored field values the set has decoded from its rows since it opened. A record
    // read into the window decodes a field's value only when something reads it (a field, a
    // calculated field's computation, a post), and only once.
    std::uint64_t decodedValueCount() const;

    // Data sources (called by TDataSource).
    void attachDataSource(TDataSource* source);
    void detachDataSource(TDataSource* source);
    void dataEvent(TDataEvent event, const TDataEventInfo& info = {});
    void updateBufferCount(); // recompute N over all links of all data sources

protected:
    // Runs the set's statement into the recordset, or raises (the set then stays inactive).
    // Called by open after BeforeOpen.
    virtual void openRecordset(cursor::Recordset& recordset) = 0;
    // Raises EDatabaseError with "Name: message" (the message alone for a set without a name).
    [[noreturn]] void raiseError(const QString& message) const;

    // The record window, the state and the cursor live behind this (DataSet.cpp).
    struct Private;
    std::unique_ptr<Private> d;

private:
    friend class TField;
    static int slotOf(const TField& field) { return field.slot_; }
    // The buffer field reads see: the one being calculated, else the active record; nullptr while
    // inactive or empty.
    const cursor::Value* readSlot(const TField& field) const;
    // The write path of every field setter (state checks, written list, events, recalculation).
    void writeField(TField& field, const cursor::Value& value);
    void fieldDisplayChanged(bool listOrderChanged);
    void moveField(TField& field, int position);
    int fieldIndex(const TField& field) const;
    void bindFields();
    void checkRequiredFields() const;
    void writeRecord();
    std::optional<qint64> postedBookmark();
    bool findOnLookupCopy(const QString& keyFields, const QStringList& keyValues, bool partial);

    QString name_;
};

} // namespace data
