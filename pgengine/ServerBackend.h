// The server engine behind a connection: runs a SELECT into rows, writes one row back by key.
#pragma once

#include "engine/Backend.h"
#include "pgengine/PgError.h"
#include "pgengine/PgSession.h"

#include <QHash>
#include <memory>

namespace pgengine {

class ServerChangeFeed;

// The engine over one session of its own. Columns are described from the server's types: an
// integer identity key -> AutoIncrement, other integers -> Integer, varchar(n) -> Text of size n,
// text -> Memo, timestamp/date -> DateTime, numeric(19,4) -> Currency, real/double -> Float. The
// rows can be written back when every column that comes from a table comes from one table whose
// single-column primary key is among them. Cells are handed over as integers (int2/4/8, oid),
// floats (real, double; not the non-finite ones), null, or the server's text (money "12.5000",
// date-times "YYYY-MM-DD HH:MM:SS", UTF-8 text).
//
// Every write runs in its own transaction (a savepoint inside an open one), sends values only as
// parameters (a text holding the NUL character, which the server cannot store, is refused before
// anything is sent), and reads the written row back with RETURNING in the result's column shape,
// together with the transaction's id: when the connection goes at COMMIT, the server is asked
// on a fresh one whether it committed (Transaction::commit), and a committed write returns as
// if nothing had happened. The
// optimistic check: UPDATE and DELETE find the row by its key and by the originally read cells
// (of the changed columns for UPDATE, of the given columns for DELETE); when no row matches,
// nothing is written and ServerError(Conflict, cursor::kRowConflict) is raised. A missing row of
// another table the written row refers to raises cursor::relatedRecordRequired with that table's
// name. Table descriptions from the catalog are kept until the session reconnects. Errors are
// ServerError.
class ServerBackend : public cursor::Backend {
public:
    // Connects (see Session::open); raises ServerError with PostgreSQL's text when it cannot.
    explicit ServerBackend(const QString& connectionString);
    ~ServerBackend() override;
    ServerBackend(const ServerBackend&) = delete;
    ServerBackend& operator=(const ServerBackend&) = delete;

    Session& session() { return session_; }

    bool isOpen() const override;
    void close() override;
    // A server's tables are made by this build (korvela-admin create): never.
    bool schemaNeedsUpgrade() override { return false; }
    void select(const QString& sql, const std::function<void(cursor::ResultShape)>& describe,
                const cursor::RowReader& read) override;
    Inserted insert(const cursor::BaseTable& table, const std::vector<cursor::ColumnValue>& values,
                    const cursor::RowReader& stored) override;
    cursor::ReadBack update(const cursor::BaseTable& table, const cursor::CellData& key,
                            const std::vector<cursor::ColumnChange>& changes,
                            const cursor::RowReader& stored) override;
    void remove(const cursor::BaseTable& table, const cursor::CellData& key,
                const std::vector<cursor::ColumnCell>& originals) override;
    bool reread(const cursor::BaseTable& table, const cursor::CellData& key,
                const cursor::RowReader& row) override;
    cursor::ChangeFeed& changeFeed() override; // a ServerChangeFeed

private:
    struct TableInfo;
    const TableInfo& tableInfo(unsigned oid);
    // What a write must find for its transaction to be committed; otherwise it is a conflict.
    enum class Check { None, RowReturned };
    // Runs a write on the table in a transaction of its own; a refusal because the row refers to
    // a missing row of another table becomes cursor::relatedRecordRequired.
    Result write(const cursor::BaseTable& table, const QByteArray& sql,
                 const std::vector<Param>& params, Check check);
    [[noreturn]] void raiseRelatedRecord(const ServerError& error);

    Session session_;
    std::unique_ptr<ServerChangeFeed> feed_; // made on first use
    QHash<unsigned, std::shared_ptr<TableInfo>> tables_;
    int tablesGeneration_ = -1;
};

} // namespace pgengine
