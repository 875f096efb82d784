// The server's change feed: reading the log through the engine's session, and a listening
// connection of its own that the event loop watches.
#include "pgengine/ServerChangeFeed.h"

#include "engine/ChangeLog.h"
#include "pgengine/PgError.h"
#include "pgengine/PgSession.h"
#include "pgengine/ServerChangeLog.h"

#include <QSocketNotifier>
#include <QTimer>
#include <charconv>
#include <libpq-fe.h>

namespace pgengine {

namespace {

constexpr int kConnectTimeoutMs = Session::kDefaultConnectTimeoutSeconds * 1000;
constexpr const char* kUndefinedTable = "42P01";

qint64 integerOf(const Result& result, int row, int column) {
    const std::string_view text = result.text(row, column);
    qint64 value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

} // namespace

// The listening connection. Every step is driven by its socket becoming readable or writable,
// so the event loop never waits for the server; a wake-up is posted (wake), never called from
// inside the socket's own signal.
struct ServerChangeFeed::Listener {
    enum class State { Down, Connecting, Subscribing, Listening };

    Listener(QString conninfo, std::function<void()> wakeUp)
        : connectionString(std::move(conninfo)), wake(std::move(wakeUp)) {
        retry.setSingleShot(true);
        QObject::connect(&retry, &QTimer::timeout, [this] { start(); });
        giveUp.setSingleShot(true);
        QObject::connect(&giveUp, &QTimer::timeout, [this] { fail(); });
        start();
    }
    ~Listener() { drop(); }

    void start();
    void advanceConnect();
    void subscribe();
    void flush();
    void receive();
    void fail();
    void drop();
    void watchSocket(bool read, bool write);

    QString connectionString;
    std::function<void()> wake;
    PGconn* conn = nullptr;
    State state = State::Down;
    int socket = -1;
    std::unique_ptr<QSocketNotifier> reading, writing;
    QTimer retry;  // the next attempt after the server went away
    QTimer giveUp; // a connection attempt that hangs
    int retryMs = kFirstRetryMs;
};

// The same parameters as the engine's own session (PgSession.cpp): keepalives and a user timeout
// notice a dropped network, which here also ends a connection that only listens.
void ServerChangeFeed::Listener::start() {
    drop();
    const QByteArray conninfo = connectionString.toUtf8();
    const char* keywords[] = {"keepalives",       "keepalives_idle",  "keepalives_interval",
                              "keepalives_count", "tcp_user_timeout", "application_name",
                              "dbname",           "client_encoding",  nullptr};
    const char* values[] = {
        "1", "30", "10", "3", "60000", "korvela-listen", conninfo.constData(), "UTF8", nullptr};
    conn = PQconnectStartParams(keywords, values, 1);
    if (!conn || PQstatus(conn) == CONNECTION_BAD) {
        fail();
        return;
    }
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    state = State::Connecting;
    giveUp.start(kConnectTimeoutMs);
    watchSocket(false, true); // libpq's first step writes
}

void ServerChangeFeed::Listener::advanceConnect() {
    switch (PQconnectPoll(conn)) {
    case PGRES_POLLING_READING:
        watchSocket(true, false);
        return;
    case PGRES_POLLING_WRITING:
        watchSocket(false, true);
        return;
    case PGRES_POLLING_OK:
        subscribe();
        return;
    default:
        fail();
        return;
    }
}

void ServerChangeFeed::Listener::subscribe() {
    giveUp.stop();
    const QByteArray sql = QByteArray("LISTEN ") + kChangeChannel;
    if (PQsetnonblocking(conn, 1) != 0 || !PQsendQuery(conn, sql.constData())) {
        fail();
        return;
    }
    state = State::Subscribing;
    flush();
}

void ServerChangeFeed::Listener::flush() {
    const int pending = PQflush(conn);
    if (pending < 0)
        fail();
    else
        watchSocket(true, pending == 1);
}

void ServerChangeFeed::Listener::receive() {
    if (!PQconsumeInput(conn) || PQstatus(conn) == CONNECTION_BAD) {
        fail();
        return;
    }
    if (state == State::Subscribing) {
        if (PQisBusy(conn))
            return;
        bool listening = true;
        while (PGresult* result = PQgetResult(conn)) {
            listening = listening && PQresultStatus(result) == PGRES_COMMAND_OK;
            PQclear(result);
        }
        if (!listening) {
            fail();
            return;
        }
        state = State::Listening;
        retryMs = kFirstRetryMs;
        // Whatever was committed while nobody listened is read now.
        while (PGnotify* notify = PQnotifies(conn))
            PQfreemem(notify);
        wake();
        return;
    }
    bool notified = false;
    while (PGnotify* notify = PQnotifies(conn)) {
        notified = true;
        PQfreemem(notify);
    }
    if (notified)
        wake();
}

void ServerChangeFeed::Listener::fail() {
    drop();
    retry.start(retryMs);
    retryMs = std::min(retryMs * 2, kMostRetryMs);
}

void ServerChangeFeed::Listener::drop() {
    giveUp.stop();
    // The notifiers go before the socket they watch is closed.
    reading.reset();
    writing.reset();
    socket = -1;
    if (conn)
        PQfinish(conn);
    conn = nullptr;
    state = State::Down;
}

void ServerChangeFeed::Listener::watchSocket(bool read, bool write) {
    const int current = PQsocket(conn);
    if (current < 0) {
        fail();
        return;
    }
    if (current != socket) { // libpq may open another socket while it connects
        reading.reset();
        writing.reset();
        socket = current;
        reading = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
        writing = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
        QObject::connect(reading.get(), &QSocketNotifier::activated, [this] {
            if (state == State::Connecting)
                advanceConnect();
            else
                receive();
        });
        QObject::connect(writing.get(), &QSocketNotifier::activated, [this] {
            if (state == State::Connecting)
                advanceConnect();
            else
                flush();
        });
    }
    reading->setEnabled(read);
    writing->setEnabled(write);
}

ServerChangeFeed::ServerChangeFeed(Session& session) : session_(session) {
    wakeTimer_.setSingleShot(true);
    QObject::connect(&wakeTimer_, &QTimer::timeout, [this] {
        if (wakeUp_)
            wakeUp_();
    });
}

ServerChangeFeed::~ServerChangeFeed() = default;

bool ServerChangeFeed::hasLog() {
    const Result result = session_.exec(kHasChangeLogSql, {}, Session::Repeat::IfLostBeforeStart);
    return result.text(0, 0) == "t";
}

bool ServerChangeFeed::readLog(qint64 from, int count, std::vector<cursor::changelog::Row>* rows) {
    Result result;
    try {
        result = session_.exec(cursor::changelog::kReadSql,
                               {QByteArray::number(from), QByteArray::number(count)},
                               Session::Repeat::IfLostBeforeStart);
    } catch (const ServerError& e) {
        if (e.diagnostics().sqlState == kUndefinedTable)
            return false;
        throw;
    }
    rows->reserve(rows->size() + std::size_t(result.rowCount()));
    for (int r = 0; r < result.rowCount(); ++r) {
        cursor::changelog::Row row;
        row.part = int(integerOf(result, r, 0));
        row.seq = integerOf(result, r, 1);
        row.check = integerOf(result, r, 2);
        if (row.part == 3) {
            row.table = int(integerOf(result, r, 3));
            row.key = integerOf(result, r, 4);
            if (!result.isNull(r, 5))
                row.customer = integerOf(result, r, 5);
            row.kind = int(integerOf(result, r, 6));
        }
        rows->push_back(std::move(row));
    }
    return true;
}

cursor::FeedPosition ServerChangeFeed::position() {
    std::vector<cursor::changelog::Row> rows;
    if (!readLog(-1, 0, &rows))
        return {};
    return cursor::changelog::positionOf(rows);
}

cursor::ChangeBatch ServerChangeFeed::changesSince(const cursor::FeedPosition& from,
                                                   int maxChanges) {
    try {
        std::vector<cursor::changelog::Row> rows;
        if (!readLog(from.hasLog ? from.seq : -1, maxChanges + 1, &rows))
            return cursor::changelog::batchWithoutLog(from);
        return cursor::changelog::batchOf(rows, from, maxChanges);
    } catch (...) {
        if (wakeUp_)
            wakeTimer_.start(kFirstRetryMs); // read again in a moment
        throw;
    }
}

void ServerChangeFeed::watch(std::function<void()> wakeUp) {
    wakeUp_ = std::move(wakeUp);
    if (!wakeUp_) {
        listener_.reset();
        wakeTimer_.stop();
        return;
    }
    if (!listener_)
        listener_ = std::make_unique<Listener>(session_.connectionString(),
                                               [this] { wakeTimer_.start(0); });
}

bool ServerChangeFeed::listening() const {
    return listener_ && listener_->state == Listener::State::Listening;
}

} // namespace pgengine
