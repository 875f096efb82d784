// A libpq session: connecting with timeouts, parameterised statements, reconnects, transactions.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

struct pg_conn;
struct pg_result;

namespace pgengine {

// One statement parameter in the server's text input form; nullopt sends NULL. Values always
// travel as parameters, never inside the SQL text.
using Param = std::optional<QByteArray>;

// An owned result of one statement (text format).
class Result {
public:
    Result() = default;
    explicit Result(pg_result* result);
    pg_result* get() const { return result_.get(); }
    int rowCount() const;
    int columnCount() const;
    bool isNull(int row, int column) const;
    // The cell's text in the server's output form (UTF-8); empty for null.
    std::string_view text(int row, int column) const;

private:
    struct Clear {
        void operator()(pg_result* r) const;
    };
    std::unique_ptr<pg_result, Clear> result_;
};

// One connection to a PostgreSQL server. Opening takes a libpq connection string ("host=...
// dbname=..." or "postgresql://..."; empty uses the PG* environment). Unless the string or the
// environment says otherwise, connecting gives up after 10 s, TCP keepalives and a user timeout
// notice a dropped network, and a statement that runs longer than 30 s is cancelled by the
// server: nothing waits forever. Passwords come from libpq's password file or the string.
//
// A lost connection is noticed when a statement fails and leaves the connection unusable (libpq
// says so, the server ended the session, or the failure is libpq's own); the next statement
// reconnects first. A statement marked repeatable (a read, or the start of a transaction) that
// finds the connection gone before anything happened is sent once more on a fresh connection, so
// a server restart between two commands is not seen by the user. Errors are ServerError. One
// thread.
class Session {
public:
    static constexpr int kDefaultConnectTimeoutSeconds = 10;
    static constexpr int kDefaultStatementTimeoutMs = 30000;

    enum class Repeat { No, IfLostBeforeStart };

    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void open(const QString& connectionString);
    void close();
    bool isOpen() const;
    const QString& connectionString() const;

    Result exec(const QByteArray& sql, const std::vector<Param>& params = {},
                Repeat repeat = Repeat::No);

    bool inTransaction() const;
    // Open and not known to be lost.
    bool connected() const;
    // Counts successful reconnects; a change tells caches that server state may have changed.
    int generation() const;

    // What became of a transaction (pg_current_xact_id() inside it) whose COMMIT was sent when
    // the connection went, asked on a fresh connection. While the server still counts it in
    // progress the session that ran it has not yet learnt that its client is gone; after a wait
    // that session is ended, which settles it. Unknown when the server cannot be reached or
    // cannot say.
    enum class Outcome { Committed, Aborted, Unknown };
    Outcome outcomeOf(const QByteArray& transactionId);

    pg_conn* handle() const;

    // Quotes an identifier ("t_musteri" -> "\"t_musteri\"").
    static QByteArray quoteName(const QByteArray& name);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// A transaction for the life of the object: BEGIN, or a savepoint inside an open transaction;
// rolled back unless commit() was called.
class Transaction {
public:
    explicit Transaction(Session& session);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    // The transaction's id as a statement of it returned pg_current_xact_id(); commit() asks for
    // it itself when no statement did.
    void setId(const QByteArray& transactionId) { id_ = transactionId; }
    // Commits. When the connection goes at COMMIT, the server is asked what became of the
    // transaction (Session::outcomeOf): committed returns as if nothing had happened; otherwise
    // ServerError(Connection) says that the change was not stored, or that whether it was is not
    // known.
    void commit();

private:
    Session& session_;
    bool nested_;
    bool done_ = false;
    QByteArray id_;
};

} // namespace pgengine
