// libpq session: connection parameters, statement execution, lost connections, transactions.
#include "pgengine/PgSession.h"

#include "pgengine/PgError.h"

#include <libpq-fe.h>

namespace pgengine {

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

int Result::affectedRows() const {
    const char* n = result_ ? PQcmdTuples(result_.get()) : "";
    return *n ? QByteArray(n).toInt() : 0;
}

struct Session::Private {
    PGconn* conn = nullptr;
    QString connectionString;
    int generation = 0;

    QString connectionMessage() const {
        return QString::fromUtf8(conn ? PQerrorMessage(conn) : "out of memory");
    }
    [[noreturn]] void failConnection(const QString& prefix) const {
        throw ServerError(ServerError::Kind::Connection, prefix + connectionMessage());
    }
    void setUp();
    void reconnect();
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

} // namespace

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
        throw ServerError(ServerError::Kind::Connection, message);
}

void Session::Private::reconnect() {
    PQreset(conn);
    if (PQstatus(conn) != CONNECTION_OK)
        failConnection(QString());
    setUp();
    ++generation;
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
    if (!d->conn || PQstatus(d->conn) != CONNECTION_OK) {
        const QString message = d->connectionMessage();
        close();
        throw ServerError(ServerError::Kind::Connection, message);
    }
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

bool Session::inTransaction() const {
    if (!d->conn)
        return false;
    const PGTransactionStatusType status = PQtransactionStatus(d->conn);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

Result Session::exec(const QByteArray& sql, const std::vector<Param>& params, Repeat repeat) {
    if (!d->conn)
        throw ServerError(ServerError::Kind::Connection,
                          QStringLiteral("The database server connection is closed"));
    if (PQstatus(d->conn) != CONNECTION_OK) {
        try {
            d->reconnect();
        } catch (const ServerError& e) {
            throw ServerError(ServerError::Kind::Connection, kLost + e.message());
        }
    }
    const bool idle = PQtransactionStatus(d->conn) == PQTRANS_IDLE;
    Result result(d->run(sql, params));
    if (succeeded(result.get()))
        return result;
    if (PQresultStatus(result.get()) == PGRES_EMPTY_QUERY) // blanks, ";" or only comments
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("Command text was not set for the command object"));
    if (PQstatus(d->conn) == CONNECTION_OK)
        throw ServerError(ServerError::Kind::Statement, statementMessage(result.get(), d->conn),
                          diagnosticsOf(result.get()));
    // The connection is gone. Nothing of a repeatable statement sent outside a transaction can
    // have taken effect, so it may go once more on a fresh connection.
    const QString lost = d->connectionMessage();
    if (repeat == Repeat::IfLostBeforeStart && idle) {
        try {
            d->reconnect();
        } catch (const ServerError& e) {
            throw ServerError(ServerError::Kind::Connection, kLost + e.message());
        }
        result = Result(d->run(sql, params));
        if (succeeded(result.get()))
            return result;
        if (PQstatus(d->conn) == CONNECTION_OK)
            throw ServerError(ServerError::Kind::Statement, statementMessage(result.get(), d->conn),
                              diagnosticsOf(result.get()));
    }
    throw ServerError(ServerError::Kind::Connection, kLost + lost);
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
    if (done_ || !session_.handle() || PQstatus(session_.handle()) != CONNECTION_OK)
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
    try {
        session_.exec("COMMIT");
    } catch (const ServerError& e) {
        done_ = true;
        if (e.kind() != ServerError::Kind::Connection)
            throw;
        throw ServerError(ServerError::Kind::Connection,
                          e.message() + QStringLiteral(" (while saving: whether the change was "
                                                       "stored is not known; look before saving "
                                                       "it again)"));
    }
    done_ = true;
}

} // namespace pgengine
