// The cursor engine on SQLite files: the shared engine cases, and what only a file has (the
// connection string, refused files, locks, storage classes, reading back after a commit).
#include "core/Errors.h"
#include "data/Schema.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "engine/SqliteChangeFeed.h"
#include "tests/enginesuite/EngineSuite.h"
#include "tests/support/AfterCommit.h"
#include "tests/support/DamagedFile.h"
#include "tests/support/SqliteHandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

using namespace cursor;
using enginesuite::messageOf;
using enginesuite::text;
using testsupport::fileBytes;

namespace {

// A Korvela database in a temporary directory, with a connection of its own for setting up and
// checking rows behind the engine's back.
class TempDatabase : public enginesuite::TestStore {
public:
    explicit TempDatabase(const QString& directoryName = QString()) {
        QString directory = dir_.path();
        if (!directoryName.isEmpty()) {
            QDir(directory).mkdir(directoryName);
            directory += '/' + directoryName;
        }
        path_ = directory + "/Korvela.mdb";
        if (sqlite3_open(QFile::encodeName(path_).constData(), &db_) != SQLITE_OK)
            throw std::runtime_error("cannot create the test database");
        // Like any program sharing the file, it waits for a lock (the engine's check of the file
        // holds a read lock for a moment after each open).
        sqlite3_busy_timeout(db_, 5000);
        exec("PRAGMA synchronous = OFF"); // this connection's set-up only; speeds the tests
        exec("PRAGMA foreign_keys = ON");
        exec(data::schemaSql());
    }
    ~TempDatabase() override { sqlite3_close(db_); }

    const QString& path() const { return path_; }
    QString connectionString() const {
        return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path_ +
               ";Persist Security Info=False";
    }
    void open(Connection& connection) override { connection.open(connectionString()); }
    void exec(const QString& sql) override {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string message = error ? error : "error";
            sqlite3_free(error);
            throw std::runtime_error(message);
        }
    }
    QString scalar(const QString& sql) override { return scalar(sql, nullptr); }
    // The first column of the first row, "<null>" for null, with its storage class.
    QString scalar(const QString& sql, QString* storageClass) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db_));
        QString result = "<none>";
        const int rc = sqlite3_step(statement);
        if (rc == SQLITE_ROW) {
            const int type = sqlite3_column_type(statement, 0);
            result = type == SQLITE_NULL ? QStringLiteral("<null>")
                                         : QString::fromUtf8(reinterpret_cast<const char*>(
                                               sqlite3_column_text(statement, 0)));
            if (storageClass)
                *storageClass = type == SQLITE_TEXT      ? "text"
                                : type == SQLITE_INTEGER ? "integer"
                                : type == SQLITE_FLOAT   ? "real"
                                                         : "other";
        }
        if (sqlite3_finalize(statement) != SQLITE_OK || (rc != SQLITE_ROW && rc != SQLITE_DONE))
            throw std::runtime_error(sqlite3_errmsg(db_));
        return result;
    }
    QString storageOf(const QString& table, const QString& column, const QString& where) override {
        return scalar(QString("select typeof(%1) from %2 where %3").arg(column, table, where));
    }
    QString storageFor(ColumnType type) const override {
        // Amounts and date-times are text in the file: exact decimals, naive ISO date-times.
        return type == ColumnType::Currency || type == ColumnType::DateTime ? "text" : "<other>";
    }
    void refuseCustomerName(const QString& name, const QString& message) override {
        exec(QString("create trigger no_names before update on t_musteri when new.f_adi = %1 "
                     "begin select raise(abort, %2); end")
                 .arg(quote(name), quote(message)));
    }
    QString cascadingVisitReferences() override {
        // Without foreign keys on, the engine's own connection would store visits of no one.
        return scalar("select count(*) from pragma_foreign_key_list('t_servis') where "
                      "\"table\" = 't_musteri' and on_delete = 'CASCADE'");
    }
    QString missingTableText(const QString& table) const override {
        return "no such table: " + table;
    }
    void execByClient(const QString& sql) override {
        QProcess client;
        client.start("sqlite3", {"-batch", "-bail", path_});
        client.write(".timeout 5000\nPRAGMA foreign_keys = ON;\n" + sql.toUtf8() + "\n");
        client.closeWriteChannel();
        if (!client.waitForFinished(60000) || client.exitCode() != 0 ||
            !client.readAllStandardError().isEmpty())
            ADD_FAILURE() << "sqlite3 failed on: " << sql.toStdString();
    }
    void dropChangeLog() override {
        const QString triggers = scalar("SELECT group_concat('DROP TRIGGER ' || name, '; ') FROM "
                                        "sqlite_master WHERE type = 'trigger' AND name LIKE "
                                        "'tr_degisiklik%'");
        exec(triggers + "; DROP TABLE t_degisiklik; DROP TABLE t_degisiklik_ufuk");
    }
    void installChangeLog() override { exec(SqliteChangeFeed::installSql()); }
    bool feedIsListening(ChangeFeed&) override { return true; }

private:
    QTemporaryDir dir_;
    QString path_;
    sqlite3* db_ = nullptr;
};

std::unique_ptr<enginesuite::TestStore> newFile() {
    return std::make_unique<TempDatabase>();
}
const enginesuite::EngineKind kSqlite{"Sqlite", newFile};

} // namespace

// ---- the shared engine cases, on a file ----

namespace enginesuite {
KORVELA_ENGINE_SUITE(Sqlite, kSqlite);
} // namespace enginesuite

// ---- connection ----

TEST(ConnectionString, DataSourceIsFoundInEveryForm) {
    const std::pair<const char*, const char*> rows[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a/Korvela.mdb;Persist Security Info=False",
         "/a/Korvela.mdb"},
        {"Provider=X;Data Source=\"/a;b/Korvela.mdb\";Persist Security Info=False",
         "/a;b/Korvela.mdb"},
        {"data source = '/c/it''s.mdb' ; x=y", "/c/it's.mdb"},
        {"Data Source=\"/d/say \"\"hi\"\".mdb\"", "/d/say \"hi\".mdb"},
        {"Data  Source=/e/x.mdb", "/e/x.mdb"},
        {"junk;Data Source=/f/x.mdb", "/f/x.mdb"},
        {"Provider=X;Persist Security Info=False", ""},
        // Unquoted, a ";" in the path ends the value: the string names the wrong file.
        {"Data Source=/a;b/Korvela.mdb", "/a"},
    };
    for (const auto& [string, expected] : rows)
        EXPECT_EQ(Connection::dataSourceOf(QString::fromUtf8(string)), QString::fromUtf8(expected))
            << string;
}

TEST(Connection, OpensAndClosesAKorvelaDatabase) {
    TempDatabase db;
    Connection c;
    c.open(db.connectionString());
    EXPECT_TRUE(c.isOpen());
    EXPECT_EQ(c.path(), db.path());
    EXPECT_NE(testsupport::sqliteHandleOf(c), nullptr);
    c.close();
    EXPECT_FALSE(c.isOpen());
    EXPECT_THROW(c.backend(), EOleException) << "nothing of the file is left";
}

TEST(Connection, QuotedDataSourceInADirectoryWithSemicolon) {
    TempDatabase db("Servis; Kayıtları");
    db.addCustomer("Ayşe");
    Connection c;
    c.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + db.path() +
           "\";Persist Security Info=False");
    Recordset rs;
    rs.open(c, "select * from t_musteri");
    EXPECT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(text(rs.value(rs.findColumn("f_adi"))), QString::fromUtf8("Ayşe"));
}

struct BadFile {
    const char* name;
    QByteArray content;  // written as the database file; "<missing>" writes none, "<dir>" a folder
    const char* message; // %1 stands for the path
};

class ConnectionRefuses : public testing::TestWithParam<BadFile> {};

TEST_P(ConnectionRefuses, WithAClearTextAndLeavesTheFileAlone) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    const BadFile& bad = GetParam();
    if (bad.content == "<dir>") {
        QDir(dir.path()).mkdir("Korvela.mdb");
    } else if (bad.content == "<no tables>") {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db, "CREATE TABLE other (x); INSERT INTO other VALUES (1)", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
    } else if (bad.content != "<missing>") {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bad.content);
    }
    const QByteArray before = fileBytes(path);
    const QStringList filesBefore =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

    Connection c;
    EXPECT_EQ(messageOf([&] { c.open("Provider=X;Data Source=" + path); }),
              QString::fromUtf8(bad.message).arg(path));
    EXPECT_FALSE(c.isOpen());
    EXPECT_EQ(fileBytes(path), before) << "the file must not be changed";
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), filesBefore)
        << "no file may be created";
}

INSTANTIATE_TEST_SUITE_P(
    Files, ConnectionRefuses,
    testing::Values(
        BadFile{"Missing", "<missing>", "Could not find file '%1'"},
        BadFile{"Empty", "", "'%1' is not a Korvela database"},
        BadFile{"Garbage", QByteArray(4096, '\x5A'), "'%1' is not a Korvela database"},
        BadFile{"AccessFile",
                QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2028, '\0'),
                "'%1' is not a Korvela database"},
        BadFile{"DamagedSqlite", QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\x11'),
                "'%1' is not a Korvela database"},
        BadFile{"WithoutTables", "<no tables>",
                "'%1' is not a Korvela database (it lacks the tables t_musteri and t_servis)"},
        BadFile{"Directory", "<dir>", "Could not find file '%1'"}),
    [](const testing::TestParamInfo<BadFile>& info) { return std::string(info.param.name); });

TEST(Connection, StringWithoutDataSourceIsRefused) {
    Connection c;
    EXPECT_EQ(messageOf([&] { c.open("Provider=Microsoft.Jet.OLEDB.4.0"); }),
              "The connection string names no Data Source");
}

// ---- a file of its own ----

class SqliteFile : public testing::Test {
protected:
    void SetUp() override { connection.open(db.connectionString()); }

    std::unique_ptr<Recordset> open(const QString& sql, LockType lock = LockType::Optimistic) {
        auto rs = std::make_unique<Recordset>();
        rs->open(connection, sql, lock);
        return rs;
    }
    int col(Recordset& rs, const char* name) { return rs.findColumn(name); }

    TempDatabase db;
    Connection connection;
};

TEST_F(SqliteFile, AmountsWrittenByOtherToolsKeepTheirText) {
    db.exec("insert into t_servis (f_iscilik, f_tutar, f_odeme) values (12.5, 7, '3')");
    QString storage;
    EXPECT_EQ(db.scalar("select f_iscilik from t_servis", &storage), "12.5");
    EXPECT_EQ(storage, "text") << "the column's text affinity keeps numbers as text";
    auto rs = open("select * from t_servis");
    EXPECT_EQ(text(rs->value(col(*rs, "f_iscilik"))), "12.5000");
}

TEST_F(SqliteFile, UnreadableDateTextIsPassedOnAsText) {
    db.exec("insert into t_servis (f_tarih) values ('2009-01-02'), ('bozuk')");
    auto rs = open("select * from t_servis");
    const int c = col(*rs, "f_tarih");
    EXPECT_EQ(text(rs->value(c)), "2009-01-02 00:00:00");
    rs->moveNext();
    EXPECT_EQ(text(rs->value(c)), "bozuk") << "unreadable text is passed on as text";
}

// The file's common failures say in Turkish what happened and what to do, SQLite's own text
// after it.
const QString kReadOnly = QStringLiteral(
    "Veritabanı dosyasına yazılamıyor: dosya ya da bulunduğu klasör salt okunur, ya da bu "
    "kullanıcının yazma izni yok. Dosyanın ve klasörün izinlerini denetleyin ya da yöneticinize "
    "başvurun. Ayrıntı: ");
const QString kBusy =
    QStringLiteral("Veritabanı dosyası şu anda başka bir bilgisayar ya da program tarafından "
                   "kullanılıyor (kilitli). Birkaç saniye bekleyip yeniden deneyin. Ayrıntı: ");
const QString kDiskFull = QStringLiteral(
    "Diskte yer kalmadı; değişiklik saklanmadı. Diskte yer açıp yeniden deneyin. Ayrıntı: ");

TEST_F(SqliteFile, ReadOnlyDatabaseReportsTheEngineText) {
    db.addCustomer("Ali");
    // The same refusal as a read-only file, also when the tests run as a user who may write it.
    sqlite3_exec(testsupport::sqliteHandleOf(connection), "PRAGMA query_only = 1", nullptr, nullptr,
                 nullptr);
    auto rs = open("select * from t_musteri");
    rs->setValue(col(*rs, "f_adi"), QString("Veli"));
    EXPECT_EQ(messageOf([&] { rs->update(); }), kReadOnly + "attempt to write a readonly database");
    EXPECT_TRUE(rs->editPending());
}

TEST_F(SqliteFile, LockedDatabaseFailsAfterTheBusyTimeout) {
    db.addCustomer("Ali");
    auto rs = open("select * from t_musteri");
    db.exec("begin exclusive");
    rs->setValue(col(*rs, "f_adi"), QString("Veli"));
    EXPECT_EQ(messageOf([&] { rs->update(); }), kBusy + "database is locked");
    db.exec("rollback");
    rs->update();
    EXPECT_EQ(db.scalar("select f_adi from t_musteri"), "Veli");
}

TEST_F(SqliteFile, AFullDiskSaysSoAndKeepsTheValues) {
    db.addCustomer("Ali");
    auto rs = open("select * from t_musteri");
    // The file may grow no further: the refusal a full disk gives.
    sqlite3_exec(testsupport::sqliteHandleOf(connection), "PRAGMA max_page_count = 1", nullptr,
                 nullptr, nullptr);
    rs->addNew();
    rs->setValue(col(*rs, "f_not"), QString(20000, 'n'));
    EXPECT_EQ(messageOf([&] { rs->update(); }), kDiskFull + "database or disk is full");
    EXPECT_TRUE(rs->addPending());
    EXPECT_EQ(db.scalar("select count(*) from t_musteri"), "1");
}

// ---- after the commit, foreign keys, re-reading a row ----

TEST_F(SqliteFile, AnInsertWhoseReadBackIsLockedOutIsDoneOnceWithTheWrittenValues) {
    db.addCustomer("Ali");
    sqlite3_busy_timeout(testsupport::sqliteHandleOf(connection),
                         100); // the lock below is never let go in time
    auto rs = open("select * from t_musteri");
    // Between the commit and the read-back a second connection locks the whole file.
    testsupport::AfterCommit lock(testsupport::sqliteHandleOf(connection),
                                  [&] { db.exec("begin exclusive"); });
    rs->addNew();
    rs->setValue(col(*rs, "f_adi"), QString("Veli"));
    rs->update(); // stored: the failed read-back is not reported as a failed write
    ASSERT_TRUE(lock.fired());
    EXPECT_FALSE(rs->addPending()) << "nothing is left for a retry to insert again";
    EXPECT_EQ(rs->recordCount(), 2);
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Veli");
    db.exec("rollback");
    const QString id = db.scalar("select id from t_musteri where f_adi = 'Veli'");
    EXPECT_EQ(text(rs->value(col(*rs, "id"))), id) << "the generated key is known without reading";
    rs->update(); // nothing pending: no second row
    EXPECT_EQ(db.scalar("select count(*) from t_musteri"), "2");
    // The kept values are what the file holds: an edit of the row passes the optimistic check.
    rs->setValue(col(*rs, "f_tel"), QString("555"));
    rs->update();
    EXPECT_EQ(db.scalar("select f_adi || '/' || f_tel from t_musteri where id = " + id),
              "Veli/555");
}

TEST_F(SqliteFile, AnEditWhoseReadBackIsLockedOutIsDoneAndTheNextEditSaves) {
    db.addCustomer("Ali", "111");
    sqlite3_busy_timeout(testsupport::sqliteHandleOf(connection), 100);
    auto rs = open("select * from t_musteri");
    {
        testsupport::AfterCommit lock(testsupport::sqliteHandleOf(connection),
                                      [&] { db.exec("begin exclusive"); });
        rs->setValue(col(*rs, "f_tel"), QString("222"));
        rs->update();
        ASSERT_TRUE(lock.fired());
    }
    EXPECT_FALSE(rs->editPending());
    db.exec("rollback");
    EXPECT_EQ(text(rs->value(col(*rs, "f_tel"))), "222");
    rs->setValue(col(*rs, "f_tel"), QString("333"));
    rs->update(); // not "Row cannot be located" against its own change
    EXPECT_EQ(db.scalar("select f_adi || '/' || f_tel from t_musteri"), "Ali/333");
}

namespace {

// ---- compiled selects kept for the next select ----

class KeptStatements : public SqliteFile {
protected:
    // The visits of a customer as the engine reads them: "labour/material" per row, in read order.
    QStringList visitsOf(qint64 customer) {
        auto rs = open(QString("select * from t_servis where id_musteri=%1\r\n").arg(customer));
        QStringList rows;
        for (; !rs->eof(); rs->moveNext())
            rows << text(rs->value(col(*rs, "f_iscilik"))) + '/' +
                        text(rs->value(col(*rs, "f_ariza")));
        return rows;
    }
    void addVisit(qint64 customer, const char* labour, const char* fault) {
        db.exec(QString("insert into t_servis (id_musteri, f_iscilik, f_ariza) values (%1, '%2', "
                        "'%3')")
                    .arg(customer)
                    .arg(labour, fault));
    }
    SqliteBackend& backend() { return dynamic_cast<SqliteBackend&>(connection.backend()); }
};

TEST_F(KeptStatements, EveryCustomerGetsItsOwnRowsAndAnotherConnectionsWritesShowAtOnce) {
    const qint64 a = db.addCustomer("Ali"), b = db.addCustomer("Veli");
    addVisit(a, "10", "fren");
    addVisit(b, "20", "yağ");
    EXPECT_EQ(visitsOf(a), QStringList{"10.0000/fren"});
    EXPECT_EQ(visitsOf(b), QStringList{"20.0000/yağ"}) << "one compiled statement, its own key";
    EXPECT_EQ(visitsOf(a), QStringList{"10.0000/fren"});
    // The other connection writes between two runs of the same statement.
    addVisit(a, "30", "lastik");
    db.exec(QString("update t_servis set f_ariza = 'balata' where f_ariza = 'fren'"));
    EXPECT_EQ(visitsOf(a), QStringList({"10.0000/balata", "30.0000/lastik"}));
    db.exec(QString("delete from t_servis where id_musteri = %1").arg(a));
    EXPECT_EQ(visitsOf(a), QStringList{});
    EXPECT_EQ(visitsOf(b), QStringList{"20.0000/yağ"});
    // Keys that are not the program's: beyond 64 bits, negative, and an integer that is no key.
    EXPECT_EQ(visitsOf(-1), QStringList{});
    EXPECT_EQ(open("select * from t_servis where id_musteri=99999999999999999999")->recordCount(),
              0);
    EXPECT_EQ(open("select * from t_servis where id_musteri=id_musteri+0*1")->recordCount(), 1);
}

TEST_F(KeptStatements, ASchemaChangeShowsInTheNextReadOfTheSameText) {
    const qint64 a = db.addCustomer("Ali");
    addVisit(a, "10", "fren");
    EXPECT_EQ(visitsOf(a), QStringList{"10.0000/fren"});
    // Another connection changes the table and its rows: SQLite compiles the kept statement
    // again and the rows read are the changed ones.
    db.exec("alter table t_servis add column f_dis varchar(10) default 'dış'; "
            "update t_servis set f_ariza = 'yeni'");
    EXPECT_EQ(visitsOf(a), QStringList{"10.0000/yeni"});
    // A column added through the program's own connection shows in the very next read.
    backend().select(
        "alter table t_servis add column f_ek varchar(10) default 'ek'", [](ResultShape) {},
        [](const RowSource&) {});
    auto rs = open(QString("select * from t_servis where id_musteri=%1\r\n").arg(a));
    ASSERT_GE(col(*rs, "f_ek"), 0) << "a statement kept from before the change described the rows";
    EXPECT_EQ(text(rs->value(col(*rs, "f_ek"))), "ek");
}

TEST_F(KeptStatements, ASelectInsideAnotherOfTheSameTextDoesNotDisturbIt) {
    const qint64 a = db.addCustomer("Ali");
    for (int i = 0; i < 5; ++i)
        addVisit(a, "1", "x");
    const QString sql = QString("select * from t_servis where id_musteri=%1").arg(a);
    int outer = 0, inner = 0;
    backend().select(
        sql, [](ResultShape) {},
        [&](const RowSource&) {
            if (outer++ == 1)
                backend().select(
                    sql, [](ResultShape) {}, [&](const RowSource&) { ++inner; });
        });
    EXPECT_EQ(outer, 5) << "the outer statement was reset by the inner select";
    EXPECT_EQ(inner, 5);
    // Both statements are done with: the file is not held by either (another connection writes).
    addVisit(a, "2", "y");
    EXPECT_EQ(visitsOf(a).size(), 6);
}

TEST_F(KeptStatements, ErrorsAreTheSameEveryTime) {
    QStringList first;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(messageOf([&] { open("select * from t_servis where id_musteri=1; select 1"); }),
                  "Characters found after end of SQL statement")
            << i;
        const QString missing = messageOf([&] { open("select * from t_yok where id=1"); });
        EXPECT_TRUE(missing.contains("no such table: t_yok")) << missing.toStdString();
    }
}

// A statement that fails on its third row, after two were read into the store: the open raises
// SQLite's message, the recordset holds nothing (not the two rows), and both the same text and
// another read work afterwards on the same connection.
TEST_F(KeptStatements, AnErrorPartWayThroughTheRowsLeavesTheRecordsetClosed) {
    for (const char* name : {"Ali", "Veli", "Ayşe", "Can"})
        db.addCustomer(name);
    const QString failing = "select id, case when f_adi = 'Ayşe' then "
                            "abs(-9223372036854775807 - 1) else f_adi end as x from t_musteri "
                            "order by id";
    for (int i = 0; i < 2; ++i) {
        Recordset rs;
        EXPECT_EQ(messageOf([&] { rs.open(connection, failing); }), "integer overflow") << i;
        EXPECT_FALSE(rs.isOpen()) << i;
        EXPECT_EQ(rs.columnCount(), 0) << i;
    }
    auto rs = open("select f_adi from t_musteri order by id");
    EXPECT_EQ(rs->recordCount(), 4);
    // The file is not held by the failed statement: another connection writes.
    db.addCustomer("Deniz");
    EXPECT_EQ(open("select f_adi from t_musteri")->recordCount(), 5);
}

} // namespace
