// korvela-admin upgrade: files of earlier builds upgraded whole or not at all.
#include "tools/admin/SchemaUpgrade.h"

#include "core/Errors.h"
#include "data/Connection.h"
#include "engine/SqliteBackend.h"
#include "tests/support/EarlierFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using admin::upgradeDatabase;
using admin::UpgradeReport;
using testsupport::EarlierFile;

namespace {

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
    data::TConnection connection;
    connection.setConnectionString(
        data::korvelaConnectionString(QFileInfo(file.path()).path() + '/'));
    connection.open();
    sqlite3* db = dynamic_cast<cursor::SqliteBackend&>(connection.engine().backend()).handle();
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

// The upgrade is a write like any other: it waits for the file's check, and a damaged file (here
// its header claims incremental vacuum, with no pointer-map pages behind it) is not rebuilt.
TEST(SchemaUpgrade, ADamagedFileIsNotUpgraded) {
    EarlierFile file;
    for (int c = 1; c <= 30; ++c)
        file.exec(QString("INSERT INTO t_musteri (f_adi) VALUES ('Müşteri %1'); INSERT INTO "
                          "t_servis (id_musteri, f_ariza) VALUES (%1, 'Fren sesi')")
                      .arg(c));
    {
        QFile f(file.path());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        f.seek(52);
        f.write(QByteArray("\0\0\0\x05", 4)); // the largest root page: auto-vacuum
        f.seek(64);
        f.write(QByteArray("\0\0\0\x01", 4)); // incremental
    }
    const QByteArray before = file.bytes();
    try {
        upgradeDatabase(file.path());
        ADD_FAILURE() << "upgraded";
    } catch (const EOleException& e) {
        EXPECT_TRUE(e.message().startsWith("Değişiklik kaydedilmedi. Veritabanı dosyası bozuk: '" +
                                           file.path() + "'"))
            << e.message().toStdString();
    }
    EXPECT_EQ(file.bytes(), before);
}

TEST(SchemaUpgrade, AFileThatIsNoKorvelaDatabaseIsNotTouched) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    EXPECT_THROW(upgradeDatabase(path), EOleException); // missing: not created either
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
