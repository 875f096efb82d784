// The file's change log: its triggers, reading it, and the timer that notices other connections.
#include "engine/SqliteChangeFeed.h"

#include "core/Errors.h"
#include "engine/ChangeLog.h"
#include "engine/SqliteBackend.h"

#include <QTimer>
#include <sqlite3.h>

namespace cursor {

namespace {

// The triggers of one table: what each insert, update and delete leaves in the log. An update
// that moves a visit to another customer, or changes a key, is logged as the old row's delete
// and the new row's insert. The log's own trigger prunes it.
QString tableTriggers(const char* table, const char* name, bool visits) {
    const QString customerColumn = visits ? QStringLiteral(", f_musteri") : QString();
    const auto customerOf = [visits](const char* row) {
        return visits ? QStringLiteral(", %1.id_musteri").arg(QLatin1String(row)) : QString();
    };
    const QString sameRow = visits ? QStringLiteral("old.id IS new.id AND old.id_musteri IS "
                                                    "new.id_musteri")
                                   : QStringLiteral("old.id IS new.id");
    const QString insertInto =
        QStringLiteral("INSERT INTO t_degisiklik (f_tablo, f_anahtar%1, f_tur)")
            .arg(customerColumn);
    return QStringLiteral(
               "CREATE TRIGGER IF NOT EXISTS tr_degisiklik_%1_ekle AFTER INSERT ON %2 BEGIN\n"
               "    %3 VALUES ('%2', new.id%4, 'I');\nEND;\n"
               "CREATE TRIGGER IF NOT EXISTS tr_degisiklik_%1_degistir AFTER UPDATE ON %2 BEGIN\n"
               "    %3 SELECT '%2', old.id%5, 'D' WHERE NOT (%6);\n"
               "    %3 VALUES ('%2', new.id%4, CASE WHEN %6 THEN 'U' ELSE 'I' END);\nEND;\n"
               "CREATE TRIGGER IF NOT EXISTS tr_degisiklik_%1_sil AFTER DELETE ON %2 BEGIN\n"
               "    %3 VALUES ('%2', old.id%5, 'D');\nEND;\n")
        .arg(QLatin1String(name), QLatin1String(table), insertInto, customerOf("new"),
             customerOf("old"), sameRow);
}

[[noreturn]] void fail(sqlite3* db) {
    throw EOleException(QString::fromUtf8(sqlite3_errmsg(db)));
}

} // namespace

// The log's key counts up without gaps (AUTOINCREMENT, one writer at a time, a rolled back
// transaction takes its numbers back), so new.id minus the horizon is the number of changes kept.
QString SqliteChangeFeed::installSql() {
    return QStringLiteral(R"sql(CREATE TABLE IF NOT EXISTS t_degisiklik (
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    f_tablo VARCHAR(255) NOT NULL,
    f_anahtar INTEGER NOT NULL,
    f_musteri INTEGER,
    f_tur CHAR(1) NOT NULL,
    f_etiket INTEGER NOT NULL DEFAULT (random())
);
CREATE TABLE IF NOT EXISTS t_degisiklik_ufuk (
    f_sira INTEGER NOT NULL,
    f_etiket INTEGER NOT NULL
);
INSERT INTO t_degisiklik_ufuk (f_sira, f_etiket)
    SELECT 0, random() WHERE NOT EXISTS (SELECT 1 FROM t_degisiklik_ufuk);
)sql") + tableTriggers("t_musteri", "musteri", false) +
           tableTriggers("t_servis", "servis", true) +
           QStringLiteral(
               R"sql(CREATE TRIGGER IF NOT EXISTS tr_degisiklik_buda AFTER INSERT ON t_degisiklik
WHEN new.id >= (SELECT f_sira FROM t_degisiklik_ufuk) + %1 BEGIN
    UPDATE t_degisiklik_ufuk SET
        f_sira = (SELECT max(id) FROM t_degisiklik WHERE id <= new.id - %2),
        f_etiket = (SELECT f_etiket FROM t_degisiklik WHERE id =
                        (SELECT max(id) FROM t_degisiklik WHERE id <= new.id - %2))
    WHERE EXISTS (SELECT 1 FROM t_degisiklik WHERE id <= new.id - %2 AND id > f_sira);
    DELETE FROM t_degisiklik WHERE id <= (SELECT f_sira FROM t_degisiklik_ufuk);
END;
)sql")
               .arg(changelog::kKept + changelog::kPruneStep)
               .arg(changelog::kKept);
}

// The two tables and all seven triggers: a log some of whose triggers are missing would miss
// changes without a word.
bool SqliteChangeFeed::hasChangeLog(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT count(*) FROM sqlite_master WHERE (type = 'table' AND name IN "
                           "('t_degisiklik', 't_degisiklik_ufuk')) OR (type = 'trigger' AND name "
                           "IN ('tr_degisiklik_musteri_ekle', 'tr_degisiklik_musteri_degistir', "
                           "'tr_degisiklik_musteri_sil', 'tr_degisiklik_servis_ekle', "
                           "'tr_degisiklik_servis_degistir', 'tr_degisiklik_servis_sil', "
                           "'tr_degisiklik_buda'))",
                           -1, &statement, nullptr) != SQLITE_OK)
        fail(db);
    const int rc = sqlite3_step(statement);
    const bool found = rc == SQLITE_ROW && sqlite3_column_int(statement, 0) == 9;
    sqlite3_finalize(statement);
    if (rc != SQLITE_ROW)
        fail(db);
    return found;
}

struct SqliteChangeFeed::Private {
    explicit Private(SqliteBackend& b) : backend(b) {}
    SqliteBackend& backend;
    sqlite3_stmt* read = nullptr;    // changelog::kReadSql, while the log is there
    sqlite3_stmt* version = nullptr; // PRAGMA data_version
    // The last read's rows, kept with their room: a burst's thousands of rows are read again
    // without the fresh memory it would take each time.
    std::vector<changelog::Row> rows;
    qint64 lastVersion = -1;
    bool retry = false; // the last read failed: wake at the next tick
    std::function<void()> wakeUp;
    std::unique_ptr<QTimer> timer;

    sqlite3* db() const {
        sqlite3* handle = backend.handle();
        if (!handle)
            throw EOleException(
                QStringLiteral("Operation is not allowed when the object is closed"));
        return handle;
    }
    void dropRead() {
        sqlite3_finalize(read);
        read = nullptr;
    }
    // kReadSql's rows for a place and a count, into rows; false when the file has no log.
    bool readLog(qint64 from, int count);
};

bool SqliteChangeFeed::Private::readLog(qint64 from, int count) {
    rows.clear();
    sqlite3* handle = db();
    if (!read && sqlite3_prepare_v2(handle, changelog::kReadSql, -1, &read, nullptr) != SQLITE_OK) {
        read = nullptr;
        if (!hasChangeLog(handle))
            return false;
        fail(handle);
    }
    sqlite3_bind_int64(read, sqlite3_bind_parameter_index(read, "$1"), from);
    sqlite3_bind_int64(read, sqlite3_bind_parameter_index(read, "$2"), count);
    int rc;
    while ((rc = sqlite3_step(read)) == SQLITE_ROW) {
        changelog::Row row;
        row.part = sqlite3_column_int(read, 0);
        row.seq = sqlite3_column_int64(read, 1);
        row.check = sqlite3_column_int64(read, 2);
        if (row.part == 3) {
            row.table = sqlite3_column_int(read, 3);
            row.key = sqlite3_column_int64(read, 4);
            if (sqlite3_column_type(read, 5) != SQLITE_NULL)
                row.customer = sqlite3_column_int64(read, 5);
            row.kind = sqlite3_column_int(read, 6);
        }
        rows.push_back(row);
    }
    sqlite3_reset(read);
    if (rc == SQLITE_DONE)
        return true;
    // The statement is prepared again next time: the log may have been dropped or replaced.
    const QString message = QString::fromUtf8(sqlite3_errmsg(handle));
    const int primary = sqlite3_errcode(handle) & 0xFF;
    dropRead();
    if (primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB)
        backend.failDamaged(message); // the file is read-only from now on, as for any read
    if (rc != SQLITE_BUSY && !hasChangeLog(handle))
        return false;
    throw EOleException(message);
}

SqliteChangeFeed::SqliteChangeFeed(SqliteBackend& backend) : d(std::make_unique<Private>(backend)) {
    d->lastVersion = dataVersion(true);
}

SqliteChangeFeed::~SqliteChangeFeed() {
    d->timer.reset();
    d->dropRead();
    sqlite3_finalize(d->version);
}

bool SqliteChangeFeed::hasLog() {
    return hasChangeLog(d->db());
}

FeedPosition SqliteChangeFeed::position() {
    d->lastVersion = dataVersion(true);
    if (!d->readLog(-1, 0))
        return {};
    return changelog::positionOf(d->rows);
}

ChangeBatch SqliteChangeFeed::changesSince(const FeedPosition& from, int maxChanges) {
    try {
        // The data version is not asked again here: the tick that woke the reader asked it
        // before this read, so a commit after that still wakes the next tick (at worst for
        // nothing new). Asking it here would lock the file once more.
        if (!d->readLog(from.hasLog ? from.seq : -1, maxChanges + 1))
            return changelog::batchWithoutLog(from);
        d->retry = false;
        return changelog::batchOf(d->rows, from, maxChanges);
    } catch (...) {
        d->retry = true;
        throw;
    }
}

void SqliteChangeFeed::watch(std::function<void()> wakeUp) {
    d->wakeUp = std::move(wakeUp);
    if (!d->wakeUp) {
        d->timer.reset();
        return;
    }
    if (!d->timer) {
        d->timer = std::make_unique<QTimer>();
        d->timer->setInterval(kTickMs);
        QObject::connect(d->timer.get(), &QTimer::timeout, [this] { checkForChanges(); });
        d->timer->start();
    }
}

bool SqliteChangeFeed::checkForChanges() {
    sqlite3* handle = d->backend.handle();
    if (!handle || !sqlite3_get_autocommit(handle))
        return false; // closed, or inside a write of its own
    const qint64 version = dataVersion(false);
    const bool changed = d->retry || (version >= 0 && version != d->lastVersion);
    if (version >= 0)
        d->lastVersion = version;
    d->retry = false;
    if (changed && d->wakeUp)
        d->wakeUp();
    return changed;
}

// SQLite's data version of the file on the engine's connection: it differs from the last one
// asked when another connection committed meanwhile. -1 when the file is locked just now and
// wait is false, or it cannot be read.
qint64 SqliteChangeFeed::dataVersion(bool wait) {
    sqlite3* handle = d->db();
    if (!d->version &&
        sqlite3_prepare_v2(handle, "PRAGMA data_version", -1, &d->version, nullptr) != SQLITE_OK)
        fail(handle);
    if (!wait)
        sqlite3_busy_timeout(handle, 0);
    const int rc = sqlite3_step(d->version);
    const qint64 version = rc == SQLITE_ROW ? sqlite3_column_int64(d->version, 0) : -1;
    sqlite3_reset(d->version);
    if (!wait)
        sqlite3_busy_timeout(handle, SqliteBackend::kBusyTimeoutMs);
    return version;
}

} // namespace cursor
