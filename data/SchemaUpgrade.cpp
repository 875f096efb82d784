// Recognising a database file of an earlier build, and rebuilding its visit table with the key.
#include "data/SchemaUpgrade.h"

#include "core/Errors.h"
#include "engine/CursorConnection.h"
#include "engine/SqliteChangeFeed.h"

#include <sqlite3.h>
#include <vector>

namespace data {

namespace {

[[noreturn]] void fail(sqlite3* db) {
    throw EOleException(QString::fromUtf8(sqlite3_errmsg(db)));
}

void exec(sqlite3* db, const QString& sql) {
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(db);
}

// The rows of a query, every value as text (a null as a null QString).
std::vector<QStringList> rows(sqlite3* db, const QString& sql) {
    sqlite3_stmt* statement = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr) !=
        SQLITE_OK)
        fail(db);
    std::vector<QStringList> result;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            row << (value ? QString::fromUtf8(value) : QString());
        }
        result.push_back(row);
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        fail(db);
    return result;
}

QString scalar(sqlite3* db, const QString& sql) {
    const std::vector<QStringList> r = rows(db, sql);
    return r.empty() || r.front().isEmpty() ? QString() : r.front().front();
}

QString quoteName(const QString& name) {
    return '"' + QString(name).replace('"', QStringLiteral("\"\"")) + '"';
}

// Rolls back whatever an upgrade left open when it stops early.
class Transaction {
public:
    explicit Transaction(sqlite3* db) : db_(db) { exec(db, QStringLiteral("BEGIN EXCLUSIVE")); }
    ~Transaction() {
        if (open_)
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void commit() {
        exec(db_, QStringLiteral("COMMIT"));
        open_ = false;
    }

private:
    sqlite3* db_;
    bool open_ = true;
};

// One column of the old visit table as PRAGMA table_info describes it.
struct Column {
    QString name, type, defaultValue;
    bool notNull = false;
    bool key = false;
};

} // namespace

bool schemaNeedsUpgrade(sqlite3* db) {
    return scalar(db, QStringLiteral("SELECT count(*) FROM pragma_foreign_key_list('t_servis') "
                                     "WHERE \"table\" = 't_musteri' AND \"from\" = 'id_musteri'"))
               .toInt() == 0;
}

QString upgradeNeededMessage(const QString& path) {
    return QStringLiteral("Bu veritabanı dosyası programın eski bir sürümüyle oluşturulmuş: "
                          "'%1'. Servis kayıtlarının müşterilerine bağlı kalması için dosyanın "
                          "yükseltilmesi gerekiyor. Programı kapatıp şu komutu çalıştırın: "
                          "korvela-admin upgrade \"%1\"")
        .arg(path);
}

QString liveRefreshMissingNotice(const QString& target) {
    return QStringLiteral("Diğer bilgisayarlarda yapılan değişiklikler kendiliğinden görünmüyor: "
                          "veritabanı programın eski bir sürümüyle oluşturulmuş. Canlı yenileme "
                          "için şu komutu çalıştırın (program açık kalabilir): korvela-admin "
                          "upgrade \"%1\"")
        .arg(target);
}

namespace {

void countRows(sqlite3* db, UpgradeReport& report) {
    report.customers = scalar(db, QStringLiteral("SELECT count(*) FROM t_musteri")).toInt();
    report.visits = scalar(db, QStringLiteral("SELECT count(*) FROM t_servis")).toInt();
}

} // namespace

UpgradeReport upgradeDatabase(const QString& path) {
    cursor::Connection connection; // refuses missing, foreign and table-less files
    connection.open(QStringLiteral("Data Source=\"%1\"").arg(QString(path).replace('"', "\"\"")));
    sqlite3* db = connection.handle();
    UpgradeReport report;
    if (!schemaNeedsUpgrade(db)) {
        if (cursor::SqliteChangeFeed::hasChangeLog(db)) {
            report.outcome = UpgradeReport::Outcome::AlreadyCurrent;
            return report;
        }
        // Only the change log is missing: added in place, so programs that have the file open
        // go on with it and see it appear.
        Transaction transaction(db);
        exec(db, cursor::SqliteChangeFeed::installSql());
        transaction.commit();
        report.outcome = UpgradeReport::Outcome::Upgraded;
        countRows(db, report);
        return report;
    }
    // The table is rebuilt under a new name; with keys checked, dropping the old one would
    // count as deleting rows. The key is checked in full before the commit instead.
    exec(db, QStringLiteral("PRAGMA foreign_keys = OFF"));
    Transaction transaction(db);

    std::vector<Column> columns;
    bool hasOwner = false;
    for (const QStringList& r : rows(db, QStringLiteral("SELECT name, type, \"notnull\", "
                                                        "dflt_value, pk FROM "
                                                        "pragma_table_info('t_servis')"))) {
        columns.push_back({r[0], r[1], r[3], r[2] == "1", r[4] != "0"});
        hasOwner = hasOwner || r[0].compare("id_musteri", Qt::CaseInsensitive) == 0;
    }
    const QString customerKey =
        scalar(db, QStringLiteral(
                       "SELECT name FROM pragma_table_info('t_musteri') WHERE pk = 1 AND "
                       "(SELECT count(*) FROM pragma_table_info('t_musteri') WHERE pk > 0) = 1"));
    if (!hasOwner || customerKey.compare("id", Qt::CaseInsensitive) != 0) {
        report.reason = QStringLiteral("t_servis has no id_musteri column, or t_musteri is not "
                                       "keyed by id alone");
        return report;
    }
    for (const QStringList& r :
         rows(db, QStringLiteral("SELECT id, id_musteri FROM t_servis WHERE id_musteri IS NOT "
                                 "NULL AND id_musteri NOT IN (SELECT id FROM t_musteri) "
                                 "ORDER BY id")))
        report.orphans << QStringLiteral("visit %1: customer %2").arg(r[0], r[1]);
    if (!report.orphans.isEmpty()) {
        report.reason = QStringLiteral("%1 visit(s) belong to no customer in t_musteri")
                            .arg(report.orphans.size());
        return report;
    }

    const QString oldSql =
        scalar(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = "
                                  "'t_servis'"));
    const bool autoIncrement = oldSql.contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive);
    const QString counter =
        autoIncrement ? scalar(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = "
                                                  "'t_servis'"))
                      : QString();
    const int visitsBefore = scalar(db, QStringLiteral("SELECT count(*) FROM t_servis")).toInt();
    // Indexes, triggers and views that belong to or name the table go with it and come back.
    std::vector<QStringList> dependants =
        rows(db, QStringLiteral("SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
                                "AND type IN ('index', 'trigger', 'view') AND (tbl_name = "
                                "'t_servis' OR sql LIKE '%t_servis%') ORDER BY type = 'view' "
                                "DESC, rowid"));
    for (const QStringList& d : dependants)
        if (d[0] != "index")
            exec(db, QStringLiteral("DROP %1 %2").arg(d[0].toUpper(), quoteName(d[1])));

    QStringList definitions, names;
    for (const Column& c : columns) {
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
        definitions << definition;
        names << quoteName(c.name);
    }
    exec(db, QStringLiteral("CREATE TABLE t_servis_upgrade (\n    %1\n)")
                 .arg(definitions.join(QStringLiteral(",\n    "))));
    exec(db, QStringLiteral("INSERT INTO t_servis_upgrade (%1) SELECT %1 FROM t_servis")
                 .arg(names.join(QStringLiteral(", "))));
    exec(db, QStringLiteral("DROP TABLE t_servis"));
    exec(db, QStringLiteral("ALTER TABLE t_servis_upgrade RENAME TO t_servis"));
    for (auto it = dependants.rbegin(); it != dependants.rend(); ++it)
        exec(db, (*it)[2]);
    exec(db, QStringLiteral("CREATE INDEX IF NOT EXISTS ix_servis_musteri ON t_servis "
                            "(id_musteri)"));
    exec(db, QStringLiteral("CREATE TRIGGER IF NOT EXISTS tr_musteri_delete AFTER DELETE ON "
                            "t_musteri BEGIN DELETE FROM t_servis WHERE id_musteri = old.id; "
                            "END"));
    exec(db, cursor::SqliteChangeFeed::installSql());
    // New visits never take the number of one deleted before the upgrade.
    if (!counter.isEmpty()) {
        const qint64 last = counter.toLongLong();
        exec(db, QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, %1) WHERE name = "
                                "'t_servis'")
                     .arg(last));
        exec(db, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) SELECT 't_servis', %1 "
                                "WHERE NOT EXISTS (SELECT 1 FROM sqlite_sequence WHERE name = "
                                "'t_servis')")
                     .arg(last));
    }

    if (scalar(db, QStringLiteral("SELECT count(*) FROM t_servis")).toInt() != visitsBefore ||
        !rows(db, QStringLiteral("PRAGMA foreign_key_check(t_servis)")).empty() ||
        schemaNeedsUpgrade(db))
        throw EOleException(QStringLiteral("The rebuilt visit table does not match the old one; "
                                           "nothing was changed"));
    transaction.commit();
    exec(db, QStringLiteral("PRAGMA foreign_keys = ON"));
    report.outcome = UpgradeReport::Outcome::Upgraded;
    countRows(db, report);
    return report;
}

} // namespace data
