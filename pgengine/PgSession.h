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
    // Rows an INSERT, UPDATE or DELETE touched.
    int affectedRows() const;

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
// A lost connection is noticed when a statement fails; the next statement reconnects first. A
// statement marked repeatable (a read, or the start of a transaction) that finds the connection
// gone before anything happened is sent once more on a fresh connection, so a server restart
// between two commands is not seen by the user. Errors are ServerError. One thread.
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
    // Counts successful reconnects; a change tells caches that server state may have changed.
    int generation() const;

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
    void commit();

private:
    Session& session_;
    bool nested_;
    bool done_ = false;
};

} // namespace pgengine
