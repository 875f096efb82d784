// Opening only what is a whole database file: special files count as missing, damaged files are
// refused before anything can be written, and whole files of every shape still open.
#include "core/Errors.h"
#include "data/Schema.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"

#include "tests/support/SqliteHandle.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace cursor;

namespace {

QString messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const core::Exception& e) {
        return e.message();
    }
    return {};
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QString connectionString(const QString& path) {
    return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
}

// Opens the connection and its first record set, the way the program starts.
QString startUp(Connection& c, const QString& path) {
    return messageOf([&] {
        c.open(connectionString(path));
        Recordset customers;
        customers.open(c, "select * from t_musteri");
    });
}

// A Korvela database with enough rows for interior pages, long notes on overflow pages and freed
// pages on the freelist.
class Database {
public:
    explicit Database(const char* pragmas = "") {
        path_ = dir_.path() + "/Korvela.mdb";
        sqlite3_open(QFile::encodeName(path_).constData(), &db_);
        sqlite3_busy_timeout(db_, 5000);
        exec(pragmas);
        exec(data::schemaSql());
        exec("BEGIN");
        for (int c = 1; c <= 60; ++c) {
            exec(QString("insert into t_musteri (f_adi, f_not) values ('Müşteri %1', %2)")
                     .arg(c)
                     .arg(c % 10 == 0 ? "printf('%.*c', 9000, 'n')" : "NULL"));
            for (int v = 0; v < 40; ++v)
                exec(QString("insert into t_servis (id_musteri, f_ariza, f_iscilik) values "
                             "(%1, 'Fren sesi %2', '%3.5000')")
                         .arg(c)
                         .arg(v)
                         .arg(100 + v));
        }
        exec("COMMIT");
        exec("delete from t_servis where id_musteri between 20 and 25");
        exec("delete from t_degisiklik"); // else the change log takes the freed pages again
    }
    ~Database() { sqlite3_close(db_); }
    const QString& path() const { return path_; }
    void exec(const QString& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            const std::string m = error ? error : "error";
            sqlite3_free(error);
            throw std::runtime_error(m);
        }
    }
    qint64 number(const QString& sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr);
        qint64 n = -1;
        if (st && sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return n;
    }
    int pageSize() { return int(number("PRAGMA page_size")); }
    // Overwrites one page of the file with text, as a failing disk or a stray program would.
    void scribble(qint64 page) {
        const int size = pageSize();
        QFile f(path_);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek((page - 1) * size));
        QByteArray garbage;
        while (garbage.size() < size)
            garbage += "GARBAGE! ";
        f.write(garbage.left(size));
    }

private:
    QTemporaryDir dir_;
    QString path_;
    sqlite3* db_ = nullptr;
};

// Refused like a damaged file: the text says so, nothing stays open, the file is untouched.
void expectRefusedAsDamaged(const QString& path, const char* detail) {
    const QByteArray before = fileBytes(path);
    const QStringList filesBefore = QFileInfo(path).dir().entryList(QDir::Files);
    Connection c;
    const QString message = startUp(c, path);
    EXPECT_TRUE(message.startsWith("'" + path + "' is damaged (")) << message.toStdString();
    EXPECT_TRUE(message.contains(QString::fromUtf8(detail))) << message.toStdString();
    EXPECT_TRUE(message.endsWith("): it was not opened; restore it from a backup"))
        << message.toStdString();
    EXPECT_FALSE(c.isOpen());
    // No record set opens on it, so nothing can be written.
    Recordset rs;
    EXPECT_THROW(rs.open(c, "select * from t_musteri"), EOleException);
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(QFileInfo(path).dir().entryList(QDir::Files), filesBefore);
}

// A copy of the database without its last pages, with the header's page count either still
// trusted by SQLite or (as older writers leave it) not.
QString truncatedCopy(Database& db, const QString& directory, bool trustedCount) {
    const QString copy = directory + "/Korvela.mdb";
    QByteArray bytes = fileBytes(db.path());
    bytes.truncate(bytes.size() - 8 * db.pageSize());
    if (!trustedCount)
        bytes[95] = char(bytes[95] + 1); // "version-valid-for" no longer matches
    QFile f(copy);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
    return copy;
}

TEST(DamagedFile, ATruncatedCopyIsRefused) {
    Database db;
    ASSERT_GT(db.number("PRAGMA page_count"), 20);
    QTemporaryDir a, b;
    // SQLite itself notices the short file when it reads the schema.
    expectRefusedAsDamaged(truncatedCopy(db, a.path(), true), "database disk image is malformed");
    // Here it does not (it takes the file's size as the page count): the walk finds the pages
    // the b-trees still point to.
    expectRefusedAsDamaged(truncatedCopy(db, b.path(), false), "is beyond the end of the file");
}

TEST(DamagedFile, ACopyCutInTheMiddleOfAPageIsRefused) {
    Database db;
    QTemporaryDir dir;
    const QString copy = dir.path() + "/Korvela.mdb";
    QFile f(copy);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(fileBytes(db.path()).left(5 * db.pageSize() + 100));
    f.close();
    expectRefusedAsDamaged(copy, "database disk image is malformed");
}

TEST(DamagedFile, GarbageOnAVisitPageIsRefused) {
    Database db;
    const qint64 leaf = db.number(
        "select pageno from dbstat where name = 't_servis' and pagetype = 'leaf' limit 1 offset 3");
    ASSERT_GT(leaf, 1);
    db.scribble(leaf);
    expectRefusedAsDamaged(db.path(), QString("page %1 is no b-tree page").arg(leaf).toUtf8());
}

TEST(DamagedFile, GarbageOnAnInteriorOrOverflowPageIsRefused) {
    {
        Database db;
        const qint64 interior = db.number(
            "select pageno from dbstat where name = 't_servis' and pagetype = 'internal' limit 1");
        ASSERT_GT(interior, 1);
        db.scribble(interior);
        expectRefusedAsDamaged(db.path(), "is no b-tree page");
    }
    {
        Database db;
        const qint64 overflow =
            db.number("select pageno from dbstat where pagetype = 'overflow' limit 1 offset 1");
        ASSERT_GT(overflow, 1);
        db.scribble(overflow); // its "next page" number now points far beyond the file
        expectRefusedAsDamaged(db.path(), "belongs to nothing");
    }
}

TEST(DamagedFile, APageClaimedTwiceIsRefused) {
    Database db;
    // Point the first freelist trunk at the customers' root page.
    const qint64 root = db.number("select rootpage from sqlite_schema where name = 't_musteri'");
    ASSERT_GT(db.number("PRAGMA freelist_count"), 0);
    QFile f(db.path());
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(32));
    const char trunk[4] = {0, 0, char(root >> 8), char(root & 0xFF)};
    f.write(trunk, 4);
    f.close();
    expectRefusedAsDamaged(db.path(), QString("page %1 is used twice").arg(root).toUtf8());
}

struct Shape {
    const char* name;
    const char* pragmas;
};

class WholeFile : public testing::TestWithParam<Shape> {};

TEST_P(WholeFile, OpensAndStaysWritable) {
    Database db(GetParam().pragmas);
    if (QString(GetParam().name) == "Vacuumed")
        db.exec("VACUUM");
    Connection c;
    EXPECT_EQ(startUp(c, db.path()), "");
    ASSERT_TRUE(c.isOpen());
    EXPECT_EQ(sqlite3_exec(testsupport::sqliteHandleOf(c),
                           "insert into t_musteri (f_adi) values ('Yeni')", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
}

INSTANTIATE_TEST_SUITE_P(Shapes, WholeFile,
                         testing::Values(Shape{"Plain", ""}, Shape{"Vacuumed", ""},
                                         Shape{"SmallPages", "PRAGMA page_size = 512;"},
                                         Shape{"LargePages", "PRAGMA page_size = 65536;"},
                                         Shape{"Wal", "PRAGMA journal_mode = WAL;"},
                                         Shape{"AutoVacuum", "PRAGMA auto_vacuum = FULL;"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DamagedFile, InWalModeQuickCheckFindsIt) {
    Database db("PRAGMA journal_mode = WAL;");
    db.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    const qint64 leaf = db.number(
        "select pageno from dbstat where name = 't_servis' and pagetype = 'leaf' limit 1 offset 3");
    db.scribble(leaf);
    Connection c;
    const QString message = startUp(c, db.path());
    EXPECT_TRUE(message.contains("is damaged (")) << message.toStdString();
    EXPECT_FALSE(c.isOpen());
}

// A FIFO named like the database once hung the start in open() for good.
TEST(SpecialFile, AFifoIsReportedLikeAMissingFileWithoutWaiting) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    // Should the open block on the FIFO, a writer comes along after two seconds to release it,
    // so the test fails on the time instead of hanging.
    std::atomic<bool> done{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 40 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        while (!done) {
            const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    QElapsedTimer timer;
    timer.start();
    Connection c;
    const QString message = startUp(c, path);
    const qint64 elapsed = timer.elapsed();
    done = true;
    rescuer.join();
    EXPECT_EQ(message, "Could not find file '" + path + "'");
    EXPECT_LT(elapsed, 1500);
    EXPECT_FALSE(c.isOpen());
}

TEST(SpecialFile, ADeviceOrALinkToOneCountsAsMissing) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    ASSERT_TRUE(QFile::link("/dev/zero", path));
    Connection c;
    EXPECT_EQ(startUp(c, path), "Could not find file '" + path + "'");
    EXPECT_FALSE(c.isOpen());
}

TEST(SpecialFile, ALinkToAWholeFileOpens) {
    Database db;
    QTemporaryDir dir;
    const QString link = dir.path() + "/Korvela.mdb";
    ASSERT_TRUE(QFile::link(db.path(), link));
    Connection c;
    EXPECT_EQ(startUp(c, link), "");
    EXPECT_TRUE(c.isOpen());
}

} // namespace
