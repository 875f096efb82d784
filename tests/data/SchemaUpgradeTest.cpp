// Files of earlier builds: recognised, refused by the connection, and upgraded whole or not at all.
#include "data/SchemaUpgrade.h"
#include "core/Errors.h"
#include "data/Connection.h"
#include "data/Schema.h"
#include "engine/SqliteChangeFeed.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace data;

namespace {

// The schema as earlier builds made it: the same tables without the key on t_servis.id_musteri,
// and without the change log.
QString earlierSchema() {
    QString sql = schemaSql();
    const QString key = " REFERENCES t_musteri (id) ON DELETE CASCADE";
    EXPECT_TRUE(sql.contains(key));
    EXPECT_TRUE(sql.contains(cursor::SqliteChangeFeed::installSql()));
    return sql.remove(key).remove(cursor::SqliteChangeFeed::installSql());
}

// A file of an earlier build with a plain connection of its own (foreign keys off, as then).
class EarlierFile {
public:
    EarlierFile() {
        path_ = dir_.path() + "/Korvela.mdb";
        sqlite3_open(QFile::encodeName(path_).constData(), &db_);
        exec(earlierSchema());
    }
    ~EarlierFile() { sqlite3_close(db_); }
    const QString& path() const { return path_; }
    void exec(const QString& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            ADD_FAILURE() << error;
            sqlite3_free(error);
        }
    }
    QString scalar(const QString& sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr);
        QString result = "<none>";
        if (st && sqlite3_step(st) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return result;
    }
    QByteArray bytes() const {
        QFile f(path_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
    QString path_;
    sqlite3* db_ = nullptr;
};

TEST(SchemaUpgrade, TheProgramRefusesAnEarlierFileWithTheCommandThatUpgradesIt) {
    EarlierFile file;
    file.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    const QByteArray before = file.bytes();
    TConnection connection;
    connection.setConnectionString(korvelaConnectionString(QFileInfo(file.path()).path() + '/'));
    try {
        connection.open();
        ADD_FAILURE() << "an earlier file was opened";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.message(), upgradeNeededMessage(file.path()));
        EXPECT_TRUE(e.message().contains("korvela-admin upgrade \"" + file.path() + "\""));
    }
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(file.bytes(), before);
}

TEST(SchemaUpgrade, KeepsEveryRowColumnIndexAndTheKeyCounter) {
    EarlierFile file;
    file.exec("ALTER TABLE t_servis ADD COLUMN f_fatura VARCHAR(20) DEFAULT 'yok'");
    file.exec("CREATE INDEX ix_servis_km ON t_servis (f_km)");
    file.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali'), ('Veli')");
    file.exec("INSERT INTO t_servis (id_musteri, f_km, f_iscilik, f_fatura) VALUES "
              "(1, '100', '12.5000', 'F-1'), (2, '200', NULL, NULL), (NULL, '300', '1.0000', "
              "'F-3'), (2, '400', NULL, NULL)");
    file.exec("DELETE FROM t_servis WHERE f_km = '400'"); // the counter stays at 4
    const QString rowsBefore = file.scalar(
        "SELECT group_concat(id || ':' || ifnull(id_musteri, '-') || ':' || f_km || ':' || "
        "ifnull(f_iscilik, '-') || ':' || ifnull(f_fatura, '-'), ' ') FROM t_servis");

    const UpgradeReport report = upgradeDatabase(file.path());
    EXPECT_EQ(report.outcome, UpgradeReport::Outcome::Upgraded) << report.reason.toStdString();
    EXPECT_EQ(report.customers, 2);
    EXPECT_EQ(report.visits, 3);
    EXPECT_EQ(file.scalar("SELECT group_concat(id || ':' || ifnull(id_musteri, '-') || ':' || "
                          "f_km || ':' || ifnull(f_iscilik, '-') || ':' || ifnull(f_fatura, '-'), "
                          "' ') FROM t_servis"),
              rowsBefore);
    EXPECT_EQ(file.scalar("SELECT count(*) FROM sqlite_master WHERE name IN ('ix_servis_km', "
                          "'ix_servis_musteri', 'tr_musteri_delete')"),
              "3");
    EXPECT_EQ(file.scalar("SELECT seq FROM sqlite_sequence WHERE name = 't_servis'"), "4");
    EXPECT_EQ(file.scalar("SELECT dflt_value FROM pragma_table_info('t_servis') WHERE name = "
                          "'f_fatura'"),
              "'yok'");
    EXPECT_EQ(file.scalar("SELECT count(*) FROM sqlite_master WHERE name LIKE 't_degisiklik%' OR "
                          "name LIKE 'tr_degisiklik%'"),
              "9")
        << "the change log comes with the key";
    EXPECT_EQ(file.scalar("SELECT count(*) FROM t_degisiklik"), "0")
        << "rebuilding the visit table changes no row";

    // The program opens it now, and its connection enforces the key and the cascade.
    TConnection connection;
    connection.setConnectionString(korvelaConnectionString(QFileInfo(file.path()).path() + '/'));
    connection.open();
    sqlite3* db = connection.engine().handle();
    EXPECT_EQ(sqlite3_exec(db, "INSERT INTO t_servis (id_musteri) VALUES (99)", nullptr, nullptr,
                           nullptr),
              SQLITE_CONSTRAINT);
    EXPECT_EQ(
        sqlite3_exec(db, "INSERT INTO t_servis (id_musteri) VALUES (1)", nullptr, nullptr, nullptr),
        SQLITE_OK);
    EXPECT_EQ(file.scalar("SELECT max(id) FROM t_servis"), "5") << "no number is used twice";
    EXPECT_EQ(sqlite3_exec(db, "DELETE FROM t_musteri WHERE id = 2", nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_EQ(file.scalar("SELECT count(*) FROM t_servis WHERE id_musteri = 2"), "0");

    EXPECT_EQ(upgradeDatabase(file.path()).outcome, UpgradeReport::Outcome::AlreadyCurrent);
}

TEST(SchemaUpgrade, VisitsOfMissingCustomersAreListedAndTheFileIsLeftAlone) {
    EarlierFile file;
    file.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    file.exec("INSERT INTO t_servis (id_musteri, f_km) VALUES (1, '1'), (7, '2'), (1, '3'), "
              "(9, '4')");
    const QByteArray before = file.bytes();
    const UpgradeReport report = upgradeDatabase(file.path());
    EXPECT_EQ(report.outcome, UpgradeReport::Outcome::Refused);
    EXPECT_EQ(report.orphans, QStringList({"visit 2: customer 7", "visit 4: customer 9"}));
    EXPECT_EQ(report.reason, "2 visit(s) belong to no customer in t_musteri");
    EXPECT_EQ(file.bytes(), before);
    EXPECT_EQ(file.scalar("SELECT count(*) FROM t_servis"), "4");
}

TEST(SchemaUpgrade, AFileThatIsNoKorvelaDatabaseIsNotTouched) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    EXPECT_THROW(upgradeDatabase(path), EOleException); // missing: not created either
    EXPECT_FALSE(QFile::exists(path));
}

TEST(SchemaUpgrade, NewFilesNeedNone) {
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_exec(db, schemaSql().toUtf8().constData(), nullptr, nullptr, nullptr);
    EXPECT_FALSE(schemaNeedsUpgrade(db));
    sqlite3_close(db);
}

} // namespace
