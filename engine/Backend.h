// Backend: what a database engine does for the recordsets (run a statement, write one row by key).
#pragma once

#include "engine/CursorStore.h"
#include "engine/CursorValue.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace cursor {

class ChangeFeed;

// A value in the form an engine stores it (Money and date-times as their text); the bytes live in
// *storage, which must outlive the cell.
CellData storedForm(const Value& value, QByteArray* storage);

// A cell's value for a column type, in the form a record set's field holds it: Money for
// Currency (exact decimal text, and numbers other tools wrote), QDateTime for DateTime, qint64
// for integers (a float cut to its whole part, text that is no number 0), double for Float; other
// text that does not parse is passed on as QString rather than lost (an amount too large for
// Money shows as an overflow). The parts: the money of a cell, and its text.
Value decodeCell(const CellData& cell, ColumnType type);
std::optional<Money> moneyOfCell(const CellData& cell);
QString textOfCell(const CellData& cell);

// The texts of a failed optimistic check and of a row whose owner row is missing (trailing full
// stops left off, as with every engine message: the error box adds them).
extern const QString kRowConflict;
QString relatedRecordRequired(const QStringList& ownerTables);

// One row of a result, handed to the row store while it is read.
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual int columnCount() const = 0;
    // Puts every cell into the writer, in column order, each while the engine holds it (the
    // bytes need to stay valid only during the put), so every value is copied once, at once.
    virtual void read(RowWriter& writer) const = 0;
};

using RowReader = std::function<void(const RowSource&)>;

// The table a result's rows can be written back to: its single-column key is among the result's
// columns, and every column that comes from a table comes from this one. origins holds, for every
// result column, the table column it came from (empty for a computed column).
struct BaseTable {
    QByteArray schema, name;
    int keyColumn = -1;
    std::vector<QByteArray> origins;
};

// A statement's columns (none for a statement that returns no rows) and, when its rows can be
// written back, their table. Columns that can be written are marked updatable; the key is not.
struct ResultShape {
    std::vector<ColumnInfo> columns;
    std::optional<BaseTable> table;
};

// A column and the value to write into it, already in the column's form (see Recordset::setValue).
struct ColumnValue {
    int column = -1;
    Value value;
};

// A column written by an update: the new value, and the cell as it was read, which the table must
// still hold for the update to go ahead.
struct ColumnChange {
    int column = -1;
    Value value;
    CellData original;
};

// A column of a row to delete, with the cell as it was read.
struct ColumnCell {
    int column = -1;
    CellData original;
};

// Whether a written row could be read back after its transaction committed.
enum class ReadBack {
    Read,   // the row reader was given the row as now stored
    Gone,   // the row is no longer there (another program deleted it at once)
    Failed, // it could not be read just now; the write itself is stored
};

// Whether writes may reach the database: a file is Checking until its check for damage has
// passed, and ReadOnly for the rest of the session once damage was found; a server is Writable
// at once.
enum class WriteState { Checking, Writable, ReadOnly };

// An engine behind a connection. Errors are core::EOleException (or a subclass) with the
// engine's text; the optimistic check fails with "Row cannot be located for updating. Some
// values may have been changed since it was last read" and a missing owner row with "You cannot
// add or change a record because a related record is required in table '%1'". Every write runs
// in a transaction of its own (a savepoint inside an open one) and sends values only as
// parameters: it is wholly stored, or not at all and an error is raised. One thread.
class Backend {
public:
    virtual ~Backend() = default;

    virtual bool isOpen() const = 0;
    virtual void close() = 0;

    // Whether the database was made by an earlier build and must be upgraded (korvela-admin
    // upgrade) before the program works on it: its visits are not yet tied to their customers by
    // a key. Raises when the schema cannot be read.
    virtual bool schemaNeedsUpgrade() = 0;

    // Runs one statement: describe is called once with the result's shape, then read once per
    // row in order. A statement that returns no rows describes an empty column list.
    virtual void select(const QString& sql, const std::function<void(ResultShape)>& describe,
                        const RowReader& read) = 0;
    // Runs one statement into a row store: describe is called once with the result's shape and
    // returns the store every row is then appended to. The same as select with a reader that
    // appends; an engine overrides it to copy its rows without a call through a reader each.
    virtual void selectInto(const QString& sql,
                            const std::function<RowStore&(ResultShape)>& describe);

    // Inserts a row (no values: the table's defaults). Returns the new row's key; stored is given
    // the row as now stored (generated key and defaults included) in the result's column shape.
    struct Inserted {
        Value key;
        ReadBack readBack = ReadBack::Failed;
    };
    virtual Inserted insert(const BaseTable& table, const std::vector<ColumnValue>& values,
                            const RowReader& stored) = 0;
    // Updates the row with the key when it still holds every change's original value; otherwise
    // nothing is written and the conflict text is raised.
    virtual ReadBack update(const BaseTable& table, const CellData& key,
                            const std::vector<ColumnChange>& changes, const RowReader& stored) = 0;
    // Deletes the row with the key when it still holds the given original values; otherwise the
    // conflict text is raised.
    virtual void remove(const BaseTable& table, const CellData& key,
                        const std::vector<ColumnCell>& originals) = 0;
    // Reads the row with the key in the result's column shape; false when there is none.
    virtual bool reread(const BaseTable& table, const CellData& key, const RowReader& row) = 0;

    // The feed of what any connection changes in t_musteri and t_servis (ChangeFeed.h), read
    // through this engine. Made on first use and owned by the engine, which drops it on close.
    virtual ChangeFeed& changeFeed() = 0;
};

} // namespace cursor
