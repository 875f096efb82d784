// Opening the database file named by a connection string, without ever creating or changing it.
#include "engine/CursorConnection.h"

#include "core/Errors.h"
#include "engine/CursorCheck.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cursor {

struct Connection::Private {
    sqlite3* db = nullptr;
    QString path;
    // The check of the file for damage, running on a thread of its own from open() until
    // requireWhole() takes its result: the text of the damage, or of why it could not run.
    std::future<std::pair<QString, QString>> check;
};

namespace {

constexpr int kBusyTimeoutMs = 3000;
bool checkOnOpen = true;

QString notKorvela(const QString& path) {
    return QStringLiteral("'%1' is not a Korvela database").arg(path);
}

QString damaged(const QString& path, const QString& damage) {
    return QStringLiteral("'%1' is damaged (%2): it was not opened; restore it from a backup")
        .arg(path, damage);
}

QString notFound(const QString& path) {
    return QStringLiteral("Could not find file '%1'").arg(path);
}

// True when the file is a regular file (through any links) that starts with the SQLite header;
// an empty or foreign file does not. SQLite itself would accept an empty file as a new database,
// which must not happen here. Opened without blocking, so a FIFO in its place cannot hang the
// start, and judged by what was opened, not by an earlier look at the name.
bool hasSqliteHeader(const QString& path, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("Could not open file '%1': %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    char head[16] = {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const ssize_t got = regular ? ::read(fd, head, sizeof head) : 0;
    ::close(fd);
    if (!regular) {
        *error = notFound(path);
        return false;
    }
    if (got != 16 || QByteArray(head, 16) != QByteArray("SQLite format 3\0", 16)) {
        *error = notKorvela(path);
        return false;
    }
    return true;
}

// The damage check on a read-only handle of its own (the caller's handle stays on its thread).
// First: the damage; second: why the check could not run.
std::pair<QString, QString> checkFile(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                        SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK) {
        const QString error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close_v2(db);
        return {QString(), error};
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    QString error;
    const QString damage = damageOf(db, path, &error);
    sqlite3_close_v2(db);
    return {damage, error};
}

} // namespace

Connection::Connection() : d(std::make_unique<Private>()) {}

Connection::~Connection() {
    close();
}

QString Connection::dataSourceOf(const QString& connectionString) {
    const QString& s = connectionString;
    qsizetype i = 0;
    while (i < s.size()) {
        const qsizetype equals = s.indexOf('=', i);
        const qsizetype semicolon = s.indexOf(';', i);
        if (equals < 0)
            break;
        if (semicolon >= 0 && semicolon < equals) { // a part without "=": skip it
            i = semicolon + 1;
            continue;
        }
        const QString name = s.mid(i, equals - i).simplified();
        i = equals + 1;
        while (i < s.size() && s[i] == ' ')
            ++i;
        QString value;
        if (i < s.size() && (s[i] == '"' || s[i] == '\'')) {
            // Quoted: runs to the matching quote; a doubled quote stands for one.
            const QChar quote = s[i++];
            while (i < s.size()) {
                if (s[i] == quote) {
                    if (i + 1 < s.size() && s[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += s[i++];
            }
            const qsizetype next = s.indexOf(';', i);
            i = next < 0 ? s.size() : next + 1;
        } else {
            const qsizetype end = semicolon < 0 ? s.size() : semicolon;
            value = s.mid(i, end - i).trimmed();
            i = end + 1;
        }
        if (name.compare(QLatin1String("Data Source"), Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

void Connection::open(const QString& connectionString) {
    close();
    const QString path = dataSourceOf(connectionString);
    if (path.isEmpty())
        throw EOleException(QStringLiteral("The connection string names no Data Source"));
    // Only a regular file, or a link to one, is a database; a FIFO, directory or device named
    // like it counts as missing.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw EOleException(notFound(path));
    QString error;
    if (!hasSqliteHeader(path, &error))
        throw EOleException(error);

    sqlite3* db = nullptr;
    // One thread uses a connection, so SQLite's per-call locking is not needed (NOMUTEX).
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db))
                                   : QStringLiteral("Could not open file '%1'").arg(path);
        sqlite3_close_v2(db);
        throw EOleException(message);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 0);
    // SQLite checks foreign keys (a visit's customer must exist) only where a connection asks.
    sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);

    // Reading the schema is the first real access: a damaged file fails here, a locked one after
    // the busy timeout. Nothing is written.
    sqlite3_stmt* statement = nullptr;
    int found = -1;
    int stepRc = sqlite3_prepare_v2(db,
                                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                    "name IN ('t_musteri', 't_servis')",
                                    -1, &statement, nullptr);
    if (stepRc == SQLITE_OK) {
        stepRc = sqlite3_step(statement);
        if (stepRc == SQLITE_ROW)
            found = sqlite3_column_int(statement, 0);
    }
    QString message;
    if (found == 2) {
        sqlite3_finalize(statement);
        d->db = db;
        d->path = path;
        if (checkOnOpen)
            d->check = std::async(std::launch::async, [path] { return checkFile(path); });
        return;
    }
    if (found >= 0)
        message =
            notKorvela(path) + QStringLiteral(" (it lacks the tables t_musteri and t_servis)");
    else if (stepRc == SQLITE_CORRUPT && hasSqliteHeader(path, &message))
        message = damaged(path, QString::fromUtf8(sqlite3_errmsg(db)));
    else if (stepRc == SQLITE_NOTADB || stepRc == SQLITE_CORRUPT)
        message = notKorvela(path);
    else
        message = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    throw EOleException(message);
}

void Connection::setCheckOnOpen(bool on) {
    checkOnOpen = on;
}

void Connection::requireWhole() {
    if (!d->check.valid())
        return;
    const auto [damage, error] = d->check.get();
    if (damage.isEmpty() && error.isEmpty())
        return;
    const QString path = d->path;
    close(); // a damaged file is not kept open: nothing can be written to it
    if (!damage.isEmpty())
        throw EOleException(damaged(path, damage));
    throw EOleException(error);
}

void Connection::close() {
    if (d->check.valid())
        d->check.wait(); // the check's thread ends before the file is let go
    d->check = {};
    if (d->db) {
        sqlite3_close_v2(d->db);
        d->db = nullptr;
    }
    d->path.clear();
}

bool Connection::isOpen() const {
    return d->db != nullptr;
}

sqlite3* Connection::handle() const {
    return d->db;
}

const QString& Connection::path() const {
    return d->path;
}

} // namespace cursor
