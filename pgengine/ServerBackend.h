// The server side of a recordset: run a SELECT into typed rows, write one row back by key.
#pragma once

#include "engine/CursorValue.h"
#include "pgengine/PgSession.h"
#include "pgengine/PgValue.h"

#include <QHash>
#include <memory>
#include <vector>

namespace pgengine {

// The table a result's rows can be written back to: its name, which result column holds its
// single-column primary key, and for every result column the table column it came from (empty
// for a computed column or one of another table).
struct BaseTable {
    QByteArray schema;
    QByteArray name;
    int keyColumn = -1;
    std::vector<QByteArray> origins;
};

// Rows of a result (or of a read-back row) with the result's column descriptions. The rows stay
// in libpq's result, which already holds the whole result in memory; cells are decoded on demand.
class ServerRows {
public:
    ServerRows() = default;
    ServerRows(Result result, std::shared_ptr<const std::vector<cursor::ColumnInfo>> columns);
    int rowCount() const { return result_.rowCount(); }
    int columnCount() const { return int(columns_ ? columns_->size() : 0); }
    const cursor::ColumnInfo& column(int index) const { return (*columns_)[std::size_t(index)]; }
    // The cell in the row store's compact form (integers as numbers, the rest as text).
    CellRef cell(int row, int column) const;
    // The cell as a cursor value: Money for Currency, QDateTime for DateTime, qint64 for keys.
    cursor::Value value(int row, int column) const;

private:
    Result result_;
    std::shared_ptr<const std::vector<cursor::ColumnInfo>> columns_;
    std::vector<std::uint8_t> integral_; // per column: the server sends an integer
    std::vector<std::uint8_t> floating_; // per column: the server sends a float
};

// What select() gives: whether the statement returned rows, the columns (name; type mapped from
// the server's type: integer identity key -> AutoIncrement, other integers -> Integer,
// varchar(n) -> Text of size n, text -> Memo, timestamp/date -> DateTime, numeric(19,4) ->
// Currency, real/double -> Float; updatable; key), the base table when the rows can be written
// back, and the rows.
struct SelectResult {
    bool returnsRows = false;
    std::shared_ptr<const std::vector<cursor::ColumnInfo>> columns;
    std::optional<BaseTable> table;
    ServerRows rows;
};

// A column to write: its result column index and value.
struct ColumnValue {
    int column = -1;
    cursor::Value value;
};

// A changed column: the new value and the value originally read.
struct ColumnChange {
    int column = -1;
    cursor::Value value;
    cursor::Value original;
};

// The backend over one session. Every write runs in its own transaction (a savepoint inside an
// open one), sends values only as parameters, and reads the written row back in the result's
// column shape. The optimistic check: UPDATE and DELETE find the row by its key and by the
// originally read values (of the changed columns for UPDATE, of every updatable column for
// DELETE); when no row matches, nothing is written and ServerError(Conflict, kRowConflict) is
// raised. Table descriptions from the catalog are kept per session until it reconnects.
class ServerBackend {
public:
    explicit ServerBackend(Session& session);
    ~ServerBackend();
    ServerBackend(const ServerBackend&) = delete;
    ServerBackend& operator=(const ServerBackend&) = delete;

    Session& session() const { return session_; }

    SelectResult select(const QString& sql);
    // The new row as stored: generated key and database defaults included (one row).
    ServerRows insert(const SelectResult& shape, const std::vector<ColumnValue>& values);
    // The changed row as stored now (one row).
    ServerRows update(const SelectResult& shape, const cursor::Value& key,
                      const std::vector<ColumnChange>& changes);
    void remove(const SelectResult& shape, const cursor::Value& key,
                const std::vector<ColumnValue>& originals);

private:
    struct TableInfo;
    const TableInfo& tableInfo(unsigned oid);
    QByteArray columnList(const SelectResult& shape) const;
    const BaseTable& writable(const SelectResult& shape) const;

    Session& session_;
    QHash<unsigned, std::shared_ptr<TableInfo>> tables_;
    int tablesGeneration_ = -1;
};

} // namespace pgengine
