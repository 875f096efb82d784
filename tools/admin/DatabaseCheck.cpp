// Checking a Korvela database: integrity, the two tables' columns, row counts and orphan visits.
#include "tools/admin/DatabaseCheck.h"

#include "core/Errors.h"
#include "data/AccessFile.h"
#include "data/Schema.h"
#include "engine/SqliteBackend.h"
#include "engine/SqliteChangeFeed.h"
#include "tools/admin/Sqlite.h"

#include <QFileInfo>
#include <map>
#include <sqlite3.h>

namespace admin {

namespace {

// Column name (lower case) -> declared type (upper case) of a table, in an open database.
std::map<QString, QString> columnsOf(Sqlite& db, const char* table) {
    std::map<QString, QString> columns;
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = QByteArray("PRAGMA table_info(") + table + ")";
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &st, nullptr) != SQLITE_OK)
        db.fail(QStringLiteral("'%1'").arg(db.path()));
    while (sqlite3_step(st) == SQLITE_ROW)
        columns[QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)))
                    .toLower()] =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 2))).toUpper();
    sqlite3_finalize(st);
    return columns;
}

void checkOpen(const QString& path, CheckResult& result);

} // namespace

QString orphanText(const Orphan& orphan) {
    return orphan.customer
               ? QStringLiteral("t_servis id %1: id_musteri %2, no such customer")
                     .arg(orphan.id)
                     .arg(*orphan.customer)
               : QStringLiteral("t_servis id %1: id_musteri is empty (NULL)").arg(orphan.id);
}

CheckResult checkDatabase(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("'%1' does not exist").arg(path));
    if (data::isAccessFile(path))
        throw Error(QStringLiteral("'%1' is an Access file, not a Korvela database (korvela-admin "
                                   "import converts it)")
                        .arg(path));
    if (info.isDir() || !cursor::hasSqliteHeader(path))
        throw Error(QStringLiteral("'%1' is not a Korvela database").arg(path));
    CheckResult result;
    try {
        checkOpen(path, result);
    } catch (const Error& e) {
        // A file SQLite cannot read through fails the check with SQLite's own words.
        result.integrity.removeAll(QStringLiteral("ok"));
        result.integrity << e.text;
    }
    return result;
}

namespace {

void checkOpen(const QString& path, CheckResult& result) {
    Sqlite db(path, SQLITE_OPEN_READONLY);
    {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db.handle(), "PRAGMA integrity_check", -1, &st, nullptr) !=
            SQLITE_OK)
            db.fail(QStringLiteral("'%1'").arg(path));
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            result.integrity << QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            result.integrity << QString::fromUtf8(sqlite3_errstr(rc));
    }
    // The expected columns come from the schema an empty database is made with.
    Sqlite reference(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY);
    reference.exec(data::schemaSql());
    bool tablesPresent = true;
    for (const char* table : {"t_musteri", "t_servis"}) {
        const auto want = columnsOf(reference, table);
        const auto have = columnsOf(db, table);
        if (have.empty()) {
            result.schemaProblems
                << QStringLiteral("the table %1 is missing").arg(QLatin1String(table));
            tablesPresent = false;
            continue;
        }
        for (const auto& [name, type] : want) {
            const auto it = have.find(name);
            if (it == have.end())
                result.schemaProblems
                    << QStringLiteral("%1 lacks the column %2").arg(QLatin1String(table), name);
            else if (it->second != type)
                result.schemaProblems << QStringLiteral("%1.%2 is declared %3, not %4")
                                             .arg(QLatin1String(table), name, it->second, type);
        }
    }
    if (!tablesPresent)
        return;
    try {
        result.changeLog = cursor::SqliteChangeFeed::hasChangeLog(db.handle());
    } catch (const core::Exception&) {
        result.changeLog = false;
    }
    result.customers = db.integer(QStringLiteral("SELECT count(*) FROM t_musteri"));
    result.services = db.integer(QStringLiteral("SELECT count(*) FROM t_servis"));
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle(),
                           "SELECT s.id, s.id_musteri FROM t_servis s WHERE s.id_musteri IS NULL "
                           "OR NOT EXISTS (SELECT 1 FROM t_musteri m WHERE m.id = s.id_musteri) "
                           "ORDER BY s.id",
                           -1, &st, nullptr) != SQLITE_OK)
        db.fail(QStringLiteral("'%1'").arg(path));
    while (sqlite3_step(st) == SQLITE_ROW) {
        Orphan o;
        o.id = sqlite3_column_int64(st, 0);
        if (sqlite3_column_type(st, 1) != SQLITE_NULL)
            o.customer = sqlite3_column_int64(st, 1);
        result.orphans.push_back(o);
    }
    sqlite3_finalize(st);
}

} // namespace

QString checkReport(const QString& path, const CheckResult& r) {
    QString out = QStringLiteral("database: %1\n").arg(path);
    out += QStringLiteral("integrity: %1\n").arg(r.integrity.join(QStringLiteral("\n  ")));
    out += QStringLiteral("schema: %1\n")
               .arg(r.schemaProblems.isEmpty() ? QStringLiteral("ok")
                                               : r.schemaProblems.join(QStringLiteral("; ")));
    out += QStringLiteral("rows: t_musteri %1, t_servis %2\n").arg(r.customers).arg(r.services);
    out += QStringLiteral("orphan visits: %1\n").arg(r.orphans.size());
    for (const Orphan& o : r.orphans)
        out += QStringLiteral("  ") + orphanText(o) + '\n';
    if (!r.changeLog && r.schemaProblems.isEmpty())
        out += QStringLiteral("live refresh: no change log (korvela-admin upgrade '%1' adds it)\n")
                   .arg(path);
    out += r.ok() ? QStringLiteral("result: ok\n") : QStringLiteral("result: FAILED\n");
    return out;
}

} // namespace admin
