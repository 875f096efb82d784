// korvela-admin against the server: create, and copy file -> server -> file value for value.
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "engine/SqliteChangeFeed.h"
#include "pgengine/ServerBackend.h"
#include "pgengine/ServerChangeFeed.h"
#include "pgengine/ServerChangeLog.h"
#include "tests/pgengine/ServerTestSupport.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <set>
#include <sqlite3.h>

namespace {

struct AdminRun {
    int exitCode = -1;
    QString out, err;
};

AdminRun admin(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(KORVELA_ADMIN_PROGRAM), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
            QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// Every row of both tables and their key counters (not the change log's), each value with its
// storage class.
QStringList dump(const QString& path) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    QStringList lines;
    for (const char* sql :
         {"SELECT * FROM t_musteri ORDER BY id", "SELECT * FROM t_servis ORDER BY id",
          "SELECT * FROM sqlite_sequence WHERE name IN ('t_musteri', 't_servis') ORDER BY name"}) {
        sqlite3_stmt* s = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(db, sql, -1, &s, nullptr), SQLITE_OK);
        while (sqlite3_step(s) == SQLITE_ROW) {
            QString line;
            for (int c = 0; c < sqlite3_column_count(s); ++c)
                line += QStringLiteral("%1=%2:%3|")
                            .arg(QString::fromUtf8(sqlite3_column_name(s, c)))
                            .arg(sqlite3_column_type(s, c))
                            .arg(QString::fromUtf8(
                                reinterpret_cast<const char*>(sqlite3_column_text(s, c))));
            lines << line;
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(db);
    return lines;
}

void sql(const QString& path, const QString& statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, statements.toUtf8().constData(), nullptr, nullptr, &error),
              SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

class ServerAdminTest : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::exec(
            "DROP TABLE IF EXISTS t_servis, t_musteri, t_degisiklik, t_degisiklik_ufuk "
            "CASCADE");
        ASSERT_TRUE(dir.isValid());
    }
    QString file(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QString server = servertest::connectionString();
    QTemporaryDir dir;
};

} // namespace

TEST_F(ServerAdminTest, CreateMakesTheTablesOnceAndKeepLeavesThem) {
    AdminRun r = admin({"create", server});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "korvela-admin: created the empty tables in the server database 'postgres' "
                     "on localhost\n");
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "0");
    EXPECT_EQ(servertest::scalar("select count(*) from pg_indexes where indexname = "
                                 "'ix_servis_musteri'"),
              "1");
    r = admin({"create", server});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("already has the Korvela tables")) << r.err.toStdString();
    EXPECT_EQ(admin({"create", "--keep", server}).exitCode, 0);
    // A file path is still a file, also with "=" in its name.
    EXPECT_EQ(admin({"create", file("a=b.mdb")}).exitCode, 0);
    EXPECT_TRUE(QFileInfo::exists(file("a=b.mdb")));
}

TEST_F(ServerAdminTest, DemoFileToServerAndBackIsIdentical) {
    ASSERT_EQ(admin({"create", "--demo", file("demo.mdb")}).exitCode, 0);
    AdminRun r = admin({"copy", file("demo.mdb"), server});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_TRUE(r.out.contains("copied 25 customers and 65 visits")) << r.out.toStdString();
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "65");

    r = admin({"copy", server, file("back.mdb")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList original = dump(file("demo.mdb"));
    EXPECT_EQ(original.size(), 25 + 65 + 2);
    EXPECT_EQ(dump(file("back.mdb")), original);

    // The identity moved past the highest id copied.
    EXPECT_EQ(servertest::scalar("insert into t_musteri (f_adi) values ('Yeni') returning id"),
              "26");
    EXPECT_EQ(servertest::scalar("insert into t_servis (id_musteri) values (1) returning id"),
              "66");
}

TEST_F(ServerAdminTest, ExtremeValuesSurviveBothWays) {
    ASSERT_EQ(admin({"create", file("edge.mdb")}).exitCode, 0);
    const QString long255 = QString(255, QChar(0x015F)); // ş
    sql(file("edge.mdb"),
        QStringLiteral(
            "INSERT INTO t_musteri (id, f_adi, f_tel, f_gsm, f_mail, f_vd, f_tarih, f_not) VALUES "
            "(7, 'İĞÜŞÖÇ ığüşöç', 'a' || char(13, 10) || 'b', 'O''Neil \"x\"', 'C:\\yol\\n', '%1', "
            "'1850-01-01 00:00:00', ''),"
            "(40, NULL, '', NULL, NULL, NULL, '2150-12-31 23:59:59', replace(hex(zeroblob(50000)), "
            "'00', 'ab' || char(10)));"
            "INSERT INTO t_servis (id, id_musteri, f_iscilik, f_tutar, f_odeme, f_tarih) VALUES "
            "(3, 7, '-922337203685477.5808', '922337203685477.5807', '0.0001', "
            "'1899-12-30 12:00:00'), (9, 40, NULL, '0.0000', '-0.5000', NULL);")
            .arg(long255));
    AdminRun r = admin({"copy", file("edge.mdb"), server});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(servertest::scalar("select length(f_vd) from t_musteri where id = 7"), "255");
    EXPECT_EQ(servertest::scalar("select f_not from t_musteri where id = 7"), "");
    EXPECT_EQ(servertest::scalar("select f_adi from t_musteri where id = 40"), "<null>");
    r = admin({"copy", server, file("edge-back.mdb")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(dump(file("edge-back.mdb")), dump(file("edge.mdb")));
}

TEST_F(ServerAdminTest, TargetWithRowsIsRefusedUnlessForced) {
    ASSERT_EQ(admin({"create", "--demo", file("demo.mdb")}).exitCode, 0);
    ASSERT_EQ(admin({"copy", file("demo.mdb"), server}).exitCode, 0);
    servertest::exec("update t_musteri set f_adi = 'Sunucuda değişti' where id = 1");

    AdminRun r = admin({"copy", file("demo.mdb"), server});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "korvela-admin: nothing was copied: the server database 'postgres' on "
                     "localhost already holds customers or visits (--force replaces them)\n");
    EXPECT_EQ(servertest::scalar("select f_adi from t_musteri where id = 1"), "Sunucuda değişti");
    r = admin({"copy", "--force", file("demo.mdb"), server});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(servertest::scalar("select f_adi from t_musteri where id = 1"), "Ahmet Yılmaz");
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "65");

    // The other way: a file with rows is refused and left as it was; forced, it is replaced.
    ASSERT_EQ(admin({"create", "--demo", file("other.mdb")}).exitCode, 0);
    sql(file("other.mdb"), "DELETE FROM t_servis WHERE id > 10");
    const QStringList before = dump(file("other.mdb"));
    r = admin({"copy", server, file("other.mdb")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("already holds customers or visits")) << r.err.toStdString();
    EXPECT_EQ(dump(file("other.mdb")), before);
    EXPECT_EQ(admin({"copy", server, file("other.mdb"), "--force"}).exitCode, 0);
    EXPECT_EQ(dump(file("other.mdb")), dump(file("demo.mdb")));
}

// One transaction: a failure part way leaves the target as it was.
TEST_F(ServerAdminTest, FailedCopyLeavesNothingBehind) {
    ASSERT_EQ(admin({"create", file("orphan.mdb")}).exitCode, 0);
    sql(file("orphan.mdb"), "INSERT INTO t_musteri (id, f_adi) VALUES (1, 'Var');"
                            "INSERT INTO t_servis (id, id_musteri) VALUES (1, 1), (2, 77);");
    AdminRun r = admin({"copy", file("orphan.mdb"), server});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.startsWith("korvela-admin: nothing was copied: insert or update on table "
                                 "\"t_servis\" violates foreign key constraint"))
        << r.err.toStdString();
    EXPECT_EQ(servertest::scalar("select count(*) from pg_tables where tablename = 't_musteri'"),
              "0");

    r = admin({"copy", file("orphan.mdb"), file("x.mdb")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "korvela-admin: copy takes one database file and one server\n");
    r = admin({"copy", server, file("new.mdb")}); // the server has no tables yet
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(file("new.mdb")));
}

// A value the server would cut or refuse stops the copy before anything reaches the server: a
// text holding NUL (the server kept only what came before it) and a text longer than its column.
// Every such cell is named by table, key and column; a server that holds rows keeps them.
TEST_F(ServerAdminTest, ValuesTheServerCannotStoreStopTheCopyBeforeAnythingIsWritten) {
    ASSERT_EQ(admin({"create", "--demo", file("demo.mdb")}).exitCode, 0);
    ASSERT_EQ(admin({"copy", file("demo.mdb"), server}).exitCode, 0);
    ASSERT_EQ(admin({"create", file("bad.mdb")}).exitCode, 0);
    sql(file("bad.mdb"),
        QStringLiteral("INSERT INTO t_musteri (id, f_adi, f_adres, f_not) VALUES "
                       "(3, 'a' || char(0) || 'b', '%1', 'uzun not ' || '%2'), "
                       "(8, 'Tamam', '%3', NULL);"
                       "INSERT INTO t_servis (id, id_musteri, f_km, f_not) VALUES "
                       "(5, 8, '12000', 'x' || char(0));")
            .arg(QString(255, QChar(0x015F)), QString(5000, 'n'), QString(256, QChar(0x015F))));
    const AdminRun r = admin({"copy", "--force", file("bad.mdb"), server});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.toStdString(),
              QStringLiteral("korvela-admin: nothing was copied: '%1' holds values a server "
                             "cannot store as they are: t_musteri id 3, f_adi: the text holds the "
                             "character NUL (code 0), which a server cannot store; t_musteri id "
                             "8, f_adres: the text has 256 characters, more than the column's "
                             "255; t_servis id 5, f_not: the text holds the character NUL (code "
                             "0), which a server cannot store\n")
                  .arg(file("bad.mdb"))
                  .toStdString());
    EXPECT_EQ(servertest::scalar("select count(*) || ' ' || min(f_adi) from t_musteri"),
              "25 Ahmet Yılmaz");
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "65");

    // Mended, the same file goes over whole: 255 characters and a long memo are fine.
    sql(file("bad.mdb"), "UPDATE t_musteri SET f_adi = 'ab' WHERE id = 3;"
                         "UPDATE t_musteri SET f_adres = substr(f_adres, 2) WHERE id = 8;"
                         "UPDATE t_servis SET f_not = 'x' WHERE id = 5;");
    const AdminRun mended = admin({"copy", "--force", file("bad.mdb"), server});
    EXPECT_EQ(mended.exitCode, 0) << mended.err.toStdString();
    EXPECT_EQ(servertest::scalar("select string_agg(id || ':' || f_adi || ':' || "
                                 "length(f_adres) || ':' || length(f_not), ',' order by id) "
                                 "from t_musteri where f_adres is not null"),
              "3:ab:255:5009");
}

// ---- on a database that programs have open ----

namespace {

// A program watching the server's feed, counting its wake-ups.
struct WatchingProgram {
    WatchingProgram() {
        feed.watch([this] { ++wakes; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return feed.listening(); }, 20000));
        EXPECT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 2000));
        wakes = 0;
    }
    ~WatchingProgram() { feed.watch({}); }
    pgengine::ServerBackend backend{servertest::connectionString()};
    pgengine::ServerChangeFeed& feed =
        dynamic_cast<pgengine::ServerChangeFeed&>(backend.changeFeed());
    int wakes = 0;
};

} // namespace

TEST_F(ServerAdminTest, UpgradeAddsTheChangeLogAndWakesTheProgramsThatHaveTheDatabaseOpen) {
    ASSERT_EQ(admin({"create", server}).exitCode, 0);
    servertest::dropChangeLog(); // as earlier builds made it
    servertest::exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    WatchingProgram program;
    const cursor::FeedPosition none = program.feed.position();
    EXPECT_FALSE(none.hasLog);

    AdminRun r = admin({"upgrade", server});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, "korvela-admin: upgraded the server database 'postgres' on localhost: "
                     "changes now show on every workstation at once\n");
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.wakes > 0; }, 1000));
    const cursor::ChangeBatch appeared = program.feed.changesSince(none, 100);
    EXPECT_EQ(appeared.outcome, cursor::ChangeBatch::Outcome::Reload);
    servertest::exec("INSERT INTO t_musteri (f_adi) VALUES ('Veli')");
    EXPECT_EQ(program.feed.changesSince(appeared.next, 100).changes.size(), 1u);

    r = admin({"upgrade", server});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "korvela-admin: the server database 'postgres' on localhost is already up "
                     "to date\n");
    servertest::exec("DROP TABLE t_servis, t_musteri CASCADE");
    r = admin({"upgrade", server});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "korvela-admin: the server database 'postgres' on localhost has no Korvela "
                     "tables (korvela-admin create makes them)\n");
}

TEST_F(ServerAdminTest, ACopyOntoADatabaseProgramsHaveOpenReachesThemAtItsCommit) {
    ASSERT_EQ(admin({"create", "--demo", file("demo.mdb")}).exitCode, 0);
    ASSERT_EQ(admin({"copy", file("demo.mdb"), server}).exitCode, 0);
    servertest::exec("UPDATE t_musteri SET f_adi = 'Sunucuda' WHERE id = 1");

    WatchingProgram program; // a workstation with the server open
    const cursor::FeedPosition seen = program.feed.position();
    ASSERT_EQ(admin({"copy", "--force", file("demo.mdb"), server}).exitCode, 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return program.wakes > 0; }, 1000));
    const cursor::ChangeBatch batch = program.feed.changesSince(seen, 1000);
    ASSERT_EQ(batch.outcome, cursor::ChangeBatch::Outcome::Changes);
    EXPECT_EQ(batch.changes.size(), 2u * (25 + 65)) << "every row deleted and inserted again";
    std::set<std::pair<QByteArray, qint64>> rows;
    for (const cursor::Change& change : batch.changes)
        rows.insert({change.table, change.key});
    EXPECT_EQ(rows.size(), 25u + 65u);

    // A server copied onto a file a program has open: written through SQLite into that file.
    ASSERT_EQ(admin({"create", file("Korvela.mdb")}).exitCode, 0);
    cursor::Connection fileProgram;
    fileProgram.open("Data Source=" + file("Korvela.mdb"));
    auto& fileFeed = dynamic_cast<cursor::SqliteChangeFeed&>(fileProgram.backend().changeFeed());
    const cursor::FeedPosition empty = fileFeed.position();
    ASSERT_EQ(admin({"copy", server, file("Korvela.mdb")}).exitCode, 0);
    EXPECT_TRUE(fileFeed.checkForChanges());
    EXPECT_EQ(fileFeed.changesSince(empty, 1000).changes.size(), 25u + 65u);
    cursor::Recordset rs;
    rs.open(fileProgram, "select f_adi from t_musteri where id = 1");
    EXPECT_EQ(std::get<QString>(rs.value(0)), "Ahmet Yılmaz");
}

namespace {

QString pdfText(const QString& path) {
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", path, "-"});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

TEST_F(ServerAdminTest, ThePapersOfTheServerReadAsThoseOfTheFile) {
    ASSERT_EQ(admin({"create", "--demo", file("demo.mdb")}).exitCode, 0);
    ASSERT_EQ(admin({"copy", file("demo.mdb"), server}).exitCode, 0);
    const QStringList papers[] = {{"statement", "2"}, {"form", "3"}, {"debtors"}};
    for (const QStringList& paper : papers) {
        const QString name = paper.first();
        QStringList fromFile = QStringList{paper.first(), file("demo.mdb")} + paper.mid(1);
        QStringList fromServer = QStringList{paper.first(), server} + paper.mid(1);
        AdminRun a = admin(fromFile << file(qPrintable(name + "-file.pdf")));
        AdminRun b = admin(fromServer << file(qPrintable(name + "-server.pdf")));
        ASSERT_EQ(a.exitCode, 0) << a.err.toStdString();
        ASSERT_EQ(b.exitCode, 0) << b.err.toStdString();
        const QString text = pdfText(file(qPrintable(name + "-file.pdf")));
        EXPECT_TRUE(text.contains(" TL")) << name.toStdString();
        EXPECT_EQ(pdfText(file(qPrintable(name + "-server.pdf"))), text) << name.toStdString();
    }
    // A customer the server does not have: refused, no file.
    AdminRun r = admin({"statement", server, "999", file("none.pdf")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("There is no customer with the id 999")) << r.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(file("none.pdf")));
}
