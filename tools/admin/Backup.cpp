// Online backup of a live Korvela database, checked restore, and the CSV export.
#include "tools/admin/Backup.h"

#include "engine/SqliteBackend.h"
#include "tools/admin/DatabaseCheck.h"
#include "tools/admin/Sqlite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <sqlite3.h>

namespace admin {

namespace {

// Copies the whole of FROM into TO in one step, so the copy is one consistent snapshot; a
// writer that holds the file for a moment only delays it.
void copyOnline(Sqlite& from, Sqlite& to) {
    sqlite3_backup* b = sqlite3_backup_init(to.handle(), "main", from.handle(), "main");
    if (!b)
        to.fail(QStringLiteral("cannot copy '%1'").arg(from.path()));
    int rc;
    int waits = 0;
    while ((rc = sqlite3_backup_step(b, -1)) == SQLITE_BUSY || rc == SQLITE_LOCKED) {
        if (++waits > 600) // a minute
            break;
        sqlite3_sleep(100);
    }
    sqlite3_backup_finish(b);
    if (rc != SQLITE_DONE)
        throw Error(QStringLiteral("cannot copy '%1' to '%2': %3")
                        .arg(from.path(), to.path(), QString::fromUtf8(sqlite3_errstr(rc))));
}

void requireKorvela(const QString& path) {
    if (!QFileInfo(path).isFile())
        throw Error(QStringLiteral("'%1' does not exist").arg(path));
    if (!cursor::hasSqliteHeader(path))
        throw Error(QStringLiteral("'%1' is not a Korvela database").arg(path));
}

// The online copy of SOURCE as a checked file at TARGET, with the owner, group and mode of the
// file it replaces (LIKE, or TARGET itself; see takeAttributes).
CheckResult copyChecked(const QString& source, const QString& target, bool replace,
                        const QString& like = {}) {
    const QString partial = partialNameFor(target);
    removePartial(partial);
    try {
        {
            Sqlite from(source, SQLITE_OPEN_READONLY);
            Sqlite to(partial, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            // The copy is a temporary file until it is checked and renamed, and placeFile
            // flushes it then: no journal and no flushes of SQLite's own while it is written.
            to.exec(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF"));
            copyOnline(from, to);
        }
        CheckResult check = checkDatabase(partial);
        if (!check.ok())
            throw Error(QStringLiteral("the copy of '%1' fails the check:\n%2")
                            .arg(source, checkReport(target, check)));
        takeAttributes(partial, target, like);
        placeFile(partial, target, replace);
        return check;
    } catch (...) {
        removePartial(partial);
        throw;
    }
}

} // namespace

QString backupDatabase(const QString& db, const QString& dest, bool replace) {
    requireKorvela(db);
    QString target = dest;
    if (QFileInfo(dest).isDir())
        target = QDir(dest).filePath(QFileInfo(db).completeBaseName() + '-' + timeStamp() + '.' +
                                     QFileInfo(db).suffix());
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(db).absoluteFilePath())
        throw Error(QStringLiteral("the backup cannot be the database itself"));
    if (QFileInfo::exists(target) && !replace)
        throw Error(QStringLiteral("'%1' already exists (--force replaces it)").arg(target));
    const CheckResult check = copyChecked(db, target, replace);
    return QStringLiteral("backup of '%1' written to '%2' (%3 customers, %4 visits; checked)\n")
        .arg(db, target)
        .arg(check.customers)
        .arg(check.services);
}

QString restoreDatabase(const QString& backup, const QString& db) {
    requireKorvela(backup);
    const CheckResult check = checkDatabase(backup);
    if (!check.ok()) // nothing has been touched yet
        throw Error(QStringLiteral("the backup '%1' fails the check; nothing was replaced\n%2")
                        .arg(backup, checkReport(backup, check)));
    if (QFileInfo(backup).absoluteFilePath() == QFileInfo(db).absoluteFilePath())
        throw Error(QStringLiteral("the backup and the database are the same file"));
    QString report;
    if (!QFileInfo::exists(db)) {
        copyChecked(backup, db, false);
    } else {
        const QString aside = db + QStringLiteral(".replaced-") + timeStamp();
        bool live = cursor::hasSqliteHeader(db);
        if (live) {
            try {
                // A readable database: keep a checked-or-not copy aside, then write the backup
                // into it through SQLite, which respects the program's locks and journal.
                {
                    Sqlite from(db, SQLITE_OPEN_READONLY);
                    Sqlite to(aside, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
                    copyOnline(from, to);
                }
                Sqlite from(backup, SQLITE_OPEN_READONLY);
                Sqlite to(db, SQLITE_OPEN_READWRITE);
                copyOnline(from, to);
            } catch (const Error&) {
                live = false; // damaged beyond SQLite's reading: move it aside whole
                removePartial(aside);
            }
        }
        if (!live) {
            // The file is moved aside: no program may go on writing into it.
            const std::unique_ptr<cursor::OpenMark> claim = claimForReplacing(db);
            for (const char* extra : {"", "-journal", "-wal", "-shm"})
                if (QFileInfo::exists(db + QLatin1String(extra)))
                    placeFile(db + QLatin1String(extra), aside + QLatin1String(extra), false);
            copyChecked(backup, db, false, aside);
        }
        report += QStringLiteral("the replaced database is kept as '%1'\n").arg(aside);
    }
    const CheckResult after = checkDatabase(db);
    if (!after.ok())
        throw Error(QStringLiteral("'%1' fails the check after the restore:\n%2")
                        .arg(db, checkReport(db, after)));
    if (!after.changeLog)
        report += QStringLiteral("the restored database has no change log, so changes do not show "
                                 "on the other workstations by themselves: korvela-admin upgrade "
                                 "'%1' adds it\n")
                      .arg(db);
    return QStringLiteral("restored '%1' from '%2' (%3 customers, %4 visits; checked)\n")
               .arg(db, backup)
               .arg(after.customers)
               .arg(after.services) +
           report;
}

QString csvField(const QString& value, bool null) {
    if (null)
        return {};
    if (value.isEmpty())
        return QStringLiteral("\"\"");
    if (!value.contains(QRegularExpression(QStringLiteral("[\",\r\n]"))) &&
        !value.startsWith(' ') && !value.endsWith(' '))
        return value;
    QString quoted = value;
    quoted.replace('"', QStringLiteral("\"\""));
    return '"' + quoted + '"';
}

QString exportDatabase(const QString& db, const QString& dir, bool bom) {
    requireKorvela(db);
    if (!QDir().mkpath(dir))
        throw Error(QStringLiteral("cannot make the directory '%1'").arg(dir));
    Sqlite source(db, SQLITE_OPEN_READONLY);
    QString report;
    // One read transaction: both files show the same moment.
    source.exec(QStringLiteral("BEGIN"));
    for (const char* table : {"t_musteri", "t_servis"}) {
        const QString target = QDir(dir).filePath(QLatin1String(table) + QStringLiteral(".csv"));
        const QString partial = partialNameFor(target);
        QFile out(partial);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw Error(QStringLiteral("cannot write '%1': %2").arg(partial, out.errorString()));
        sqlite3_stmt* st = nullptr;
        const QByteArray sql = QByteArray("SELECT * FROM ") + table + " ORDER BY id";
        if (sqlite3_prepare_v2(source.handle(), sql.constData(), -1, &st, nullptr) != SQLITE_OK)
            source.fail(QStringLiteral("'%1'").arg(db));
        const int columns = sqlite3_column_count(st);
        QStringList line;
        std::vector<QString> types;
        for (int c = 0; c < columns; ++c) {
            line << csvField(QString::fromUtf8(sqlite3_column_name(st, c)), false);
            const char* declared = sqlite3_column_decltype(st, c);
            types.push_back(QString::fromUtf8(declared ? declared : "").toUpper());
        }
        QByteArray buffer = bom ? QByteArray("\xEF\xBB\xBF") : QByteArray();
        buffer += line.join(',').toUtf8() + "\r\n";
        std::int64_t rows = 0;
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            line.clear();
            for (int c = 0; c < columns; ++c) {
                const bool null = sqlite3_column_type(st, c) == SQLITE_NULL;
                QString v =
                    QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c)));
                if (!null && types[c] == QLatin1String("DATETIME") && v.size() >= 19 &&
                    v[10] == ' ')
                    v[10] = 'T'; // ISO-8601
                line << csvField(v, null);
            }
            buffer += line.join(',').toUtf8() + "\r\n";
            ++rows;
            if (buffer.size() > (1 << 20)) {
                out.write(buffer);
                buffer.clear();
            }
        }
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE)
            source.fail(QStringLiteral("'%1'").arg(db));
        out.write(buffer);
        if (!out.flush() || out.error() != QFileDevice::NoError) {
            out.close();
            QFile::remove(partial);
            throw Error(QStringLiteral("cannot write '%1': %2").arg(target, out.errorString()));
        }
        out.close();
        takeAttributes(partial, target);
        placeFile(partial, target, true);
        report += QStringLiteral("%1: %2 rows written to '%3'\n")
                      .arg(QLatin1String(table))
                      .arg(rows)
                      .arg(target);
    }
    source.exec(QStringLiteral("COMMIT"));
    return report;
}

} // namespace admin
