// korvela-admin upgrade: the visit table rebuilt with the key that ties visits to customers.
#include "tools/admin/SchemaUpgrade.h"

#include "engine/SqliteBackend.h"
#include "engine/SqliteChangeFeed.h"
#include "tools/admin/Sqlite.h"

#include <vector>

namespace admin {

namespace {

QString quoteName(const QString& name) {
    return '"' + QString(name).replace('"', QStringLiteral("\"\"")) + '"';
}

// One column of the old visit table as PRAGMA table_info describes it.
struct Column {
    QString name, type, defaultValue;
    bool notNull = false;
    bool key = false;
};

std::vector<Column> visitColumns(Sqlite& db) {
    std::vector<Column> columns;
    for (const QStringList& r : db.rows(QStringLiteral(
             "SELECT name, type, \"notnull\", dflt_value, pk FROM pragma_table_info('t_servis')")))
        columns.push_back({r[0], r[1], r[3], r[2] == "1", r[4] != "0"});
    return columns;
}

// Why the key cannot be added: no owner column, or customers not keyed by id alone.
QString missingKeyParts(Sqlite& db, const std::vector<Column>& columns) {
    bool hasOwner = false;
    for (const Column& c : columns)
        hasOwner = hasOwner || c.name.compare("id_musteri", Qt::CaseInsensitive) == 0;
    const QString customerKey = db.text(
        QStringLiteral("SELECT name FROM pragma_table_info('t_musteri') WHERE pk = 1 AND "
                       "(SELECT count(*) FROM pragma_table_info('t_musteri') WHERE pk > 0) = 1"));
    if (hasOwner && customerKey.compare("id", Qt::CaseInsensitive) == 0)
        return {};
    return QStringLiteral("t_servis has no id_musteri column, or t_musteri is not keyed by id "
                          "alone");
}

QStringList orphanVisits(Sqlite& db) {
    QStringList orphans;
    for (const QStringList& r :
         db.rows(QStringLiteral("SELECT id, id_musteri FROM t_servis WHERE id_musteri IS NOT "
                                "NULL AND id_musteri NOT IN (SELECT id FROM t_musteri) "
                                "ORDER BY id")))
        orphans << QStringLiteral("visit %1: customer %2").arg(r[0], r[1]);
    return orphans;
}

QString definition(const Column& c, bool autoIncrement) {
    QString definition = quoteName(c.name);
    if (!c.type.isEmpty())
        definition += ' ' + c.type;
    if (c.key)
        definition += autoIncrement ? QStringLiteral(" PRIMARY KEY AUTOINCREMENT")
                                    : QStringLiteral(" PRIMARY KEY");
    else if (c.notNull)
        definition += QStringLiteral(" NOT NULL");
    if (!c.defaultValue.isNull())
        definition += QStringLiteral(" DEFAULT ") + c.defaultValue;
    if (c.name.compare("id_musteri", Qt::CaseInsensitive) == 0)
        definition += QStringLiteral(" REFERENCES t_musteri (id) ON DELETE CASCADE");
    return definition;
}

// The table made again under a new name with the key, its rows copied, and the name taken back;
// indexes, triggers and views that belong to or name it go with it and come back.
void rebuildVisits(Sqlite& db, const std::vector<Column>& columns, bool autoIncrement) {
    const std::vector<QStringList> dependants =
        db.rows(QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
                               "AND type IN ('index', 'trigger', 'view') AND (tbl_name = "
                               "'t_servis' OR sql LIKE '%t_servis%') ORDER BY type = 'view' "
                               "DESC, rowid"));
    for (const QStringList& d : dependants)
        if (d[0] != "index")
            db.exec(QStringLiteral("DROP %1 %2").arg(d[0].toUpper(), quoteName(d[1])));
    QStringList definitions, names;
    for (const Column& c : columns) {
        definitions << definition(c, autoIncrement);
        names << quoteName(c.name);
    }
    db.exec(QStringLiteral("CREATE TABLE t_servis_upgrade (\n    %1\n)")
                .arg(definitions.join(QStringLiteral(",\n    "))));
    db.exec(QStringLiteral("INSERT INTO t_servis_upgrade (%1) SELECT %1 FROM t_servis")
                .arg(names.join(QStringLiteral(", "))));
    db.exec(QStringLiteral("DROP TABLE t_servis"));
    db.exec(QStringLiteral("ALTER TABLE t_servis_upgrade RENAME TO t_servis"));
    for (auto it = dependants.rbegin(); it != dependants.rend(); ++it)
        db.exec((*it)[2]);
    db.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS ix_servis_musteri ON t_servis "
                           "(id_musteri)"));
    db.exec(QStringLiteral("CREATE TRIGGER IF NOT EXISTS tr_musteri_delete AFTER DELETE ON "
                           "t_musteri BEGIN DELETE FROM t_servis WHERE id_musteri = old.id; "
                           "END"));
    db.exec(cursor::SqliteChangeFeed::installSql());
}

// New visits never take the number of one deleted before the upgrade.
void keepCounter(Sqlite& db, const QString& counter) {
    if (counter.isEmpty())
        return;
    const qint64 last = counter.toLongLong();
    db.exec(QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %1) WHERE name = "
                           "'t_servis'")
                .arg(last));
    db.exec(QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT 't_servis', %1 WHERE "
                           "NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = 't_servis')")
                .arg(last));
}

void countRows(Sqlite& db, UpgradeReport& report) {
    report.customers = int(db.integer(QStringLiteral("SELECT count(*) FROM t_musteri")));
    report.visits = int(db.integer(QStringLiteral("SELECT count(*) FROM t_servis")));
}

// A file whose visits are tied to their customers already: only the change log may be missing.
// It is added in place, so programs that have the file open go on with it and see it appear.
UpgradeReport addChangeLog(Sqlite& db) {
    UpgradeReport report;
    if (cursor::SqliteChangeFeed::hasChangeLog(db.handle())) {
        report.outcome = UpgradeReport::Outcome::AlreadyCurrent;
        return report;
    }
    Sqlite::Transaction transaction(db, QStringLiteral("BEGIN EXCLUSIVE"));
    db.exec(cursor::SqliteChangeFeed::installSql());
    transaction.commit();
    report.outcome = UpgradeReport::Outcome::Upgraded;
    countRows(db, report);
    return report;
}

} // namespace

UpgradeReport upgradeDatabase(const QString& path) {
    cursor::SqliteBackend file; // refuses missing, foreign and table-less files
    file.open(path);
    file.requireWritable(); // a damaged file is not rebuilt
    Sqlite db(file.handle(), path);
    if (!file.schemaNeedsUpgrade())
        return addChangeLog(db);
    UpgradeReport report;
    // The table is rebuilt under a new name; with keys checked, dropping the old one would
    // count as deleting rows. The key is checked in full before the commit instead.
    db.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    Sqlite::Transaction transaction(db, QStringLiteral("BEGIN EXCLUSIVE"));
    const std::vector<Column> columns = visitColumns(db);
    report.reason = missingKeyParts(db, columns);
    if (!report.reason.isEmpty())
        return report;
    report.orphans = orphanVisits(db);
    if (!report.orphans.isEmpty()) {
        report.reason = QStringLiteral("%1 visit(s) belong to no customer in t_musteri")
                            .arg(report.orphans.size());
        return report;
    }
    const bool autoIncrement =
        db.text(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = "
                               "'t_servis'"))
            .contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    const QString counter =
        autoIncrement ? db.text(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = "
                                               "'t_servis'"))
                      : QString();
    const int visitsBefore = int(db.integer(QStringLiteral("SELECT count(*) FROM t_servis")));
    rebuildVisits(db, columns, autoIncrement);
    keepCounter(db, counter);
    if (db.integer(QStringLiteral("SELECT count(*) FROM t_servis")) != visitsBefore ||
        !db.rows(QStringLiteral("PRAGMA foreign_key_check(t_servis)")).empty() ||
        file.schemaNeedsUpgrade())
        throw Error(QStringLiteral("The rebuilt visit table does not match the old one; nothing "
                                   "was changed"));
    transaction.commit();
    db.exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    report.outcome = UpgradeReport::Outcome::Upgraded;
    countRows(db, report);
    return report;
}

} // namespace admin
