// libpq session: connection parameters, statement execution, lost connections, transactions.
#include "pgengine/PgSession.h"

#include "pgengine/PgError.h"

#include <QElapsedTimer>
#include <chrono>
#include <libpq-fe.h>
#include <thread>

namespace pgengine {

using cursor::EngineProblem;

Result::Result(pg_result* result) : result_(result) {}

void Result::Clear::operator()(pg_result* r) const {
    PQclear(r);
}

int Result::rowCount() const {
    return result_ ? PQntuples(result_.get()) : 0;
}

int Result::columnCount() const {
    return result_ ? PQnfields(result_.get()) : 0;
}

bool Result::isNull(int row, int column) const {
    return PQgetisnull(result_.get(), row, column) != 0;
}

std::string_view Result::text(int row, int column) const {
    return {PQgetvalue(result_.get(), row, column),
            std::size_t(PQgetlength(result_.get(), row, column))};
}

struct Session::Private {
    PGconn* conn = nullptr;
    QString connectionString;
    int generation = 0;
    // A statement failed in a way that leaves the connection unusable, though libpq may not
    // have seen the socket close yet: the next statement reconnects first.
    bool broken = false;
    // The server process of the last connection made (libpq forgets it once the connection is
    // bad).
    int backendPid = 0;

    QString connectionMessage() const {
        return QString::fromUtf8(conn ? PQerrorMessage(conn) : "out of memory");
    }
    [[noreturn]] void failConnecting() const;
    void setUp();
    void reconnect();
    // Reconnects; a failure is reported as the loss of the connection.
    void reconnectOrLose();
    bool lostAfter(const PGresult* r) const;
    PGresult* run(const QByteArray& sql, const std::vector<Param>& params) const;
};

namespace {

bool succeeded(const PGresult* r) {
    const ExecStatusType status = PQresultStatus(r);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

QString statementMessage(const PGresult* r, PGconn* conn) {
    const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
    if (!primary)
        return QString::fromUtf8(r ? PQresultErrorMessage(r) : PQerrorMessage(conn));
    QString message = QString::fromUtf8(primary);
    if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL))
        message += QStringLiteral(". ") + QString::fromUtf8(detail);
    return message;
}

ServerError::Diagnostics diagnosticsOf(const PGresult* r) {
    const auto field = [r](int code) {
        return QByteArray(r ? PQresultErrorField(r, code) : nullptr);
    };
    return {field(PG_DIAG_SQLSTATE), field(PG_DIAG_SCHEMA_NAME), field(PG_DIAG_TABLE_NAME),
            field(PG_DIAG_CONSTRAINT_NAME)};
}

const QString kLost = QStringLiteral("The connection to the database server was lost: ");

// The common refusals a Turkish sentence explains, by their SQLSTATE.
std::optional<EngineProblem> problemOf(const QByteArray& sqlState) {
    if (sqlState == "55P03" || sqlState == "40P01" || sqlState == "40001" || sqlState == "57014")
        return EngineProblem::ServerBusy; // lock not available, deadlock, serialization, timeout
    if (sqlState == "25006")
        return EngineProblem::ServerReadOnly;
    if (sqlState == "53100")
        return EngineProblem::ServerDiskFull;
    return std::nullopt;
}

ServerError statementError(const PGresult* r, PGconn* conn) {
    ServerError::Diagnostics diagnostics = diagnosticsOf(r);
    const QString message = statementMessage(r, conn);
    if (const std::optional<EngineProblem> problem = problemOf(diagnostics.sqlState))
        return ServerError(ServerError::Kind::Statement, *problem, message, std::move(diagnostics));
    return ServerError(ServerError::Kind::Statement, message, std::move(diagnostics));
}

ServerError lostError(const QString& message) {
    return ServerError(ServerError::Kind::Connection, EngineProblem::ConnectionLost,
                       kLost + message);
}

// How long the server may count a transaction whose COMMIT was cut off in progress before the
// session that ran it is ended, and as long again after that.
constexpr int kSettleWaitMs = 2000;

} // namespace

// A connection that could not be made: the password refused (or needed and not found), or the
// server not reached (down, wrong address, no such database).
void Session::Private::failConnecting() const {
    const QString message = connectionMessage();
    const bool password =
        conn && (PQconnectionNeedsPassword(conn) ||
                 (PQconnectionUsedPassword(conn) && message.contains(QLatin1String("password"))));
    throw ServerError(ServerError::Kind::Connection,
                      password ? EngineProblem::ServerPasswordRefused
                               : EngineProblem::ServerUnreachable,
                      message);
}

// Whether a failed statement left the connection unusable: libpq says so, no result came back,
// the server ended the session (FATAL), or reports a connection exception; a failure without a
// SQLSTATE is libpq's own (a broken pipe), as every error the server sends carries one.
bool Session::Private::lostAfter(const PGresult* r) const {
    if (PQstatus(conn) != CONNECTION_OK || !r)
        return true;
    const char* severity = PQresultErrorField(r, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (severity && (qstrcmp(severity, "FATAL") == 0 || qstrcmp(severity, "PANIC") == 0))
        return true;
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    return !state || qstrncmp(state, "08", 2) == 0;
}

// Dates in ISO order so timestamps read as "YYYY-MM-DD HH:MM:SS"; a statement timeout unless the
// server or the connection string set one already.
void Session::Private::setUp() {
    const QByteArray timeout = QByteArray::number(kDefaultStatementTimeoutMs);
    PGresult* r = PQexecParams(
        conn,
        "SELECT set_config('datestyle', 'ISO, YMD', false), "
        "set_config('statement_timeout', CASE current_setting('statement_timeout') WHEN '0' "
        "THEN $1 ELSE current_setting('statement_timeout') END, false)",
        1, nullptr, std::vector<const char*>{timeout.constData()}.data(), nullptr, nullptr, 0);
    const bool ok = succeeded(r);
    const QString message = ok ? QString() : statementMessage(r, conn);
    PQclear(r);
    if (!ok)
        throw ServerError(ServerError::Kind::Connection, EngineProblem::ServerUnreachable, message);
}

void Session::Private::reconnect() {
    PQreset(conn);
    if (PQstatus(conn) != CONNECTION_OK)
        failConnecting();
    broken = false;
    backendPid = PQbackendPID(conn);
    setUp();
    ++generation;
}

void Session::Private::reconnectOrLose() {
    try {
        reconnect();
    } catch (const ServerError& e) {
        broken = true;
        throw lostError(e.engineText());
    }
}

PGresult* Session::Private::run(const QByteArray& sql, const std::vector<Param>& params) const {
    std::vector<const char*> values;
    std::vector<int> lengths;
    values.reserve(params.size());
    lengths.reserve(params.size());
    for (const Param& p : params) {
        values.push_back(p ? p->constData() : nullptr);
        lengths.push_back(p ? int(p->size()) : 0);
    }
    return PQexecParams(conn, sql.constData(), int(params.size()), nullptr, values.data(),
                        lengths.data(), nullptr, 0);
}

Session::Session() : d(std::make_unique<Private>()) {}

Session::~Session() {
    close();
}

void Session::open(const QString& connectionString) {
    close();
    const QByteArray conninfo = connectionString.toUtf8();
    const QByteArray connectTimeout = QByteArray::number(kDefaultConnectTimeoutSeconds);
    // Keywords before "dbname" are defaults the connection string (expanded from dbname) may
    // override; those after it are forced.
    std::vector<const char*> keywords, values;
    const auto add = [&](const char* k, const char* v) {
        keywords.push_back(k);
        values.push_back(v);
    };
    if (qEnvironmentVariableIsEmpty("PGCONNECT_TIMEOUT"))
        add("connect_timeout", connectTimeout.constData());
    add("keepalives", "1");
    add("keepalives_idle", "30");
    add("keepalives_interval", "10");
    add("keepalives_count", "3");
    add("tcp_user_timeout", "60000");
    add("application_name", "korvela");
    add("dbname", conninfo.constData());
    add("client_encoding", "UTF8");
    add(nullptr, nullptr);
    d->conn = PQconnectdbParams(keywords.data(), values.data(), 1);
    d->broken = false;
    if (!d->conn || PQstatus(d->conn) != CONNECTION_OK) {
        try {
            d->failConnecting();
        } catch (...) {
            close();
            throw;
        }
    }
    d->backendPid = PQbackendPID(d->conn);
    // Notices ("drop cascades to ...") are not errors; the program has no console to print them.
    PQsetNoticeProcessor(
        d->conn, [](void*, const char*) {}, nullptr);
    try {
        d->setUp();
    } catch (...) {
        close();
        throw;
    }
    d->connectionString = connectionString;
}

void Session::close() {
    if (d->conn) {
        PQfinish(d->conn);
        d->conn = nullptr;
    }
    d->connectionString.clear();
}

bool Session::isOpen() const {
    return d->conn != nullptr;
}

const QString& Session::connectionString() const {
    return d->connectionString;
}

pg_conn* Session::handle() const {
    return d->conn;
}

int Session::generation() const {
    return d->generation;
}

bool Session::connected() const {
    return d->conn && !d->broken && PQstatus(d->conn) == CONNECTION_OK;
}

bool Session::inTransaction() const {
    if (!connected())
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(d->conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

Result Session::exec(const QByteArray& sql, const std::vector<Param>& params, Repeat repeat) {
    if (!d->conn)
        throw ServerError(ServerError::Kind::Connection,
                          QStringLiteral("The database server connection is closed"));
    if (!connected())
        d->reconnectOrLose();
    const bool idle = PQtransactionStatus(d->conn) == PQTRANS_IDLE;
    Result result(d->run(sql, params));
    if (succeeded(result.get()))
        return result;
    if (PQresultStatus(result.get()) == PGRES_EMPTY_QUERY) // blanks, ";" or only comments
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("Command text was not set for the command object"));
    if (!d->lostAfter(result.get()))
        throw statementError(result.get(), d->conn);
    // The connection is gone. Nothing of a repeatable statement sent outside a transaction can
    // have taken effect, so it may go once more on a fresh connection.
    d->broken = true;
    const QString lost = d->connectionMessage();
    if (repeat == Repeat::IfLostBeforeStart && idle) {
        d->reconnectOrLose();
        result = Result(d->run(sql, params));
        if (succeeded(result.get()))
            return result;
        if (!d->lostAfter(result.get()))
            throw statementError(result.get(), d->conn);
        d->broken = true;
    }
    throw lostError(lost);
}

Session::Outcome Session::outcomeOf(const QByteArray& transactionId) {
    bool ok = false;
    const qulonglong id = transactionId.toULongLong(&ok);
    if (!ok || !d->conn)
        return Outcome::Unknown;
    // The session that ran the transaction, and the transaction as that session shows it (the
    // low 32 bits of its id), read before the reconnect replaces them.
    const QByteArray pid = QByteArray::number(d->backendPid);
    const QByteArray shortId = QByteArray::number(id & 0xFFFFFFFFULL);
    QElapsedTimer waited;
    waited.start();
    bool ended = false;
    try {
        for (;;) {
            const Result r =
                exec("SELECT pg_xact_status($1::xid8)", {transactionId}, Repeat::IfLostBeforeStart);
            if (r.rowCount() != 1 || r.isNull(0, 0)) // too old for the server to remember
                return Outcome::Unknown;
            if (r.text(0, 0) == "committed")
                return Outcome::Committed;
            if (r.text(0, 0) == "aborted")
                return Outcome::Aborted;
            if (!ended && waited.elapsed() >= kSettleWaitMs) {
                // Only that session, and only while it still holds this transaction.
                exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid = $1 AND "
                     "backend_xid::text = $2",
                     {pid, shortId});
                ended = true;
            } else if (waited.elapsed() >= 2 * kSettleWaitMs) {
                return Outcome::Unknown;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    } catch (const ServerError&) {
        return Outcome::Unknown;
    }
}

QByteArray Session::quoteName(const QByteArray& name) {
    QByteArray quoted = name;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

Transaction::Transaction(Session& session) : session_(session), nested_(session.inTransaction()) {
    session_.exec(nested_ ? "SAVEPOINT korvela_write" : "BEGIN", {},
                  nested_ ? Session::Repeat::No : Session::Repeat::IfLostBeforeStart);
}

Transaction::~Transaction() {
    if (done_ || !session_.connected())
        return; // a lost connection rolled the transaction back on the server
    try {
        if (nested_) {
            session_.exec("ROLLBACK TO SAVEPOINT korvela_write");
            session_.exec("RELEASE SAVEPOINT korvela_write");
        } else {
            session_.exec("ROLLBACK");
        }
    } catch (const ServerError&) {
        // Leaving the transaction failed only if the connection went; the server rolls back.
    }
}

void Transaction::commit() {
    if (nested_) {
        session_.exec("RELEASE SAVEPOINT korvela_write");
        done_ = true;
        return;
    }
    if (id_.isEmpty()) {
        const Result r = session_.exec("SELECT pg_current_xact_id()");
        id_ = QByteArray(r.text(0, 0).data(), qsizetype(r.text(0, 0).size()));
    }
    try {
        session_.exec("COMMIT");
    } catch (const ServerError& e) {
        done_ = true;
        if (e.kind() != ServerError::Kind::Connection)
            throw;
        switch (session_.outcomeOf(id_)) {
        case Session::Outcome::Committed:
            return;
        case Session::Outcome::Aborted:
            throw ServerError(ServerError::Kind::Connection, EngineProblem::SaveNotStored,
                              e.engineText() +
                                  QStringLiteral(" (while saving: the server says the change "
                                                 "was not stored)"));
        case Session::Outcome::Unknown:
            break;
        }
        throw ServerError(ServerError::Kind::Connection, EngineProblem::SaveUnknown,
                          e.engineText() + QStringLiteral(" (while saving: whether the change "
                                                          "was stored is not known; look before "
                                                          "saving it again)"));
    }
    done_ = true;
}

} // namespace pgengine
