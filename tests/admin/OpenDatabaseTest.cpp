// korvela-admin on a database file that a program has open: a restore or an upgrade writes into
// the same file, and the program sees the result; replacing the file is refused while it is open.
#include "AdminTestSupport.h"

#include "data/Connection.h"
#include "engine/ChangeFeed.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "engine/SqliteChangeFeed.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace admintest;
using cursor::ChangeBatch;

namespace {

QString makeDatabase(const QString& path, const QStringList& names) {
    EXPECT_EQ(runAdmin({"create", path}).exitCode, 0);
    Reader db(path);
    for (const QString& name : names)
        db.exec(QStringLiteral("INSERT INTO t_musteri (f_adi) VALUES ('%1')").arg(name));
    return path;
}

QStringList namesIn(cursor::Connection& connection) {
    cursor::Recordset rs;
    rs.open(connection, "select f_adi from t_musteri order by id");
    QStringList names;
    for (; !rs.eof(); rs.moveNext())
        names << std::get<QString>(rs.value(0));
    return names;
}

// Another process that has the file open through the engine, as the program has it.
class ProgramProcess {
public:
    explicit ProgramProcess(const QString& path) {
        process_.start(QStringLiteral(KORVELA_HOLDER_PROGRAM), {path});
        process_.waitForStarted(10000);
        QByteArray said;
        while (!said.contains("open") && process_.state() == QProcess::Running &&
               process_.waitForReadyRead(10000))
            said += process_.readAllStandardOutput();
        EXPECT_TRUE(said.contains("open")) << process_.readAllStandardError().toStdString();
    }
    ~ProgramProcess() { quit(); }
    void quit() {
        process_.closeWriteChannel();
        process_.waitForFinished(10000);
    }

private:
    QProcess process_;
};

TEST(OpenDatabase, ARestoreWritesIntoTheFileAProgramHasOpenAndTheProgramSeesIt) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("Korvela.mdb"), {"Ali", "Veli"});
    const QString backup = dir.filePath("yedek.mdb");
    ASSERT_EQ(runAdmin({"backup", db, backup}).exitCode, 0);

    cursor::Connection program;
    program.open(data::fileConnectionString(db));
    auto& feed = dynamic_cast<cursor::SqliteChangeFeed&>(program.backend().changeFeed());
    const cursor::FeedPosition inBackup = feed.position();
    ASSERT_EQ(Reader(db).exec("INSERT INTO t_musteri (f_adi) VALUES ('Sonra')"), 0);
    const cursor::FeedPosition afterBackup = feed.position();
    ASSERT_EQ(namesIn(program), QStringList({"Ali", "Veli", "Sonra"}));

    const AdminRun r = runAdmin({"restore", backup, db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_FALSE(r.out.contains("change log")) << r.out.toStdString();

    EXPECT_TRUE(feed.checkForChanges()) << "the restore wakes the program";
    EXPECT_EQ(feed.changesSince(afterBackup, 100).outcome, ChangeBatch::Outcome::Reload)
        << "the program had seen a change the restored history lacks";
    const ChangeBatch same = feed.changesSince(inBackup, 100);
    EXPECT_EQ(same.outcome, ChangeBatch::Outcome::Changes) << "a place the backup holds goes on";
    EXPECT_TRUE(same.changes.empty());
    EXPECT_EQ(namesIn(program), QStringList({"Ali", "Veli"}));

    // The program goes on writing into the very file the restore wrote.
    cursor::Recordset rs;
    rs.open(program, "select * from t_musteri");
    rs.addNew();
    rs.setValue(rs.findColumn("f_adi"), QString("Yazıldı"));
    rs.update();
    EXPECT_EQ(Reader(db).scalar("SELECT group_concat(f_adi, '|') FROM t_musteri"),
              "Ali|Veli|Yazıldı");
}

TEST(OpenDatabase, AnUpgradeAddsTheChangeLogUnderAProgramThatHasTheFileOpen) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("Korvela.mdb"), {"Ali"});
    Reader old(db);
    old.exec("DROP TRIGGER tr_degisiklik_musteri_ekle; DROP TRIGGER tr_degisiklik_musteri_degistir;"
             "DROP TRIGGER tr_degisiklik_musteri_sil; DROP TRIGGER tr_degisiklik_servis_ekle;"
             "DROP TRIGGER tr_degisiklik_servis_degistir; DROP TRIGGER tr_degisiklik_servis_sil;"
             "DROP TABLE t_degisiklik; DROP TABLE t_degisiklik_ufuk");
    const AdminRun check = runAdmin({"check", db});
    EXPECT_EQ(check.exitCode, 0) << "a file without the log is still sound";
    EXPECT_TRUE(check.out.contains(
        QStringLiteral("live refresh: no change log (korvela-admin upgrade '%1' adds it)\n")
            .arg(db)))
        << check.out.toStdString();

    cursor::Connection program;
    program.open(data::fileConnectionString(db));
    cursor::ChangeFeed& feed = program.backend().changeFeed();
    const cursor::FeedPosition none = feed.position();
    EXPECT_FALSE(none.hasLog);

    AdminRun r = runAdmin({"upgrade", db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(
        r.out,
        QStringLiteral("korvela-admin: upgraded '%1' (1 customers, 0 visits kept)\n").arg(db));
    const ChangeBatch appeared = feed.changesSince(none, 100);
    EXPECT_EQ(appeared.outcome, ChangeBatch::Outcome::Reload);
    old.exec("INSERT INTO t_musteri (f_adi) VALUES ('Veli')");
    const ChangeBatch batch = feed.changesSince(appeared.next, 100);
    ASSERT_EQ(batch.changes.size(), 1u);
    EXPECT_EQ(batch.changes[0].key, 2);

    r = runAdmin({"upgrade", db});
    EXPECT_EQ(r.out, QStringLiteral("korvela-admin: '%1' is already up to date\n").arg(db));
    EXPECT_FALSE(runAdmin({"check", db}).out.contains("live refresh"));
}

TEST(OpenDatabase, ReplacingAFileThatAProgramHasOpenIsRefusedAndChangesNothing) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.filePath("Korvela.mdb"), {"Ali"});
    const QString other = makeDatabase(dir.filePath("other.mdb"), {"Başka"});
    const QString backup = dir.filePath("yedek.mdb");
    ASSERT_EQ(runAdmin({"backup", db, backup}).exitCode, 0);
    ProgramProcess program(db);

    const QString refusal = QStringLiteral("'%1' is open in Korvela Takip: close the program on "
                                           "every computer that uses it, then run the command "
                                           "again; nothing was replaced")
                                .arg(db);
    const QByteArray before = fileBytes(db);
    const QStringList files = entries(dir.path());
    const QList<QStringList> commands = {
        {"backup", other, db, "--force"},
        {"import", dataDir() + "Korvela-access2000.mdb", db, "--force"},
    };
    for (const QStringList& command : commands) {
        const AdminRun r = runAdmin(command);
        EXPECT_EQ(r.exitCode, 1) << command[0].toStdString();
        EXPECT_TRUE(r.err.startsWith("korvela-admin: " + refusal + "\n")) << r.err.toStdString();
        EXPECT_EQ(fileBytes(db), before) << command[0].toStdString();
        EXPECT_EQ(entries(dir.path()), files) << command[0].toStdString();
    }

    // A file SQLite cannot read would be moved aside by a restore: not while it is open.
    QByteArray unreadable = before;
    unreadable.replace(0, 16, "damaged header!!");
    writeBytes(db, unreadable);
    AdminRun r = runAdmin({"restore", backup, db});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "korvela-admin: " + refusal + "\n");
    EXPECT_EQ(fileBytes(db), unreadable);
    EXPECT_EQ(entries(dir.path()), files);

    program.quit();
    r = runAdmin({"restore", backup, db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Reader(db).scalar("SELECT f_adi FROM t_musteri"), "Ali");
    EXPECT_EQ(entries(dir.path()).filter(".replaced-").size(), 1);
    EXPECT_EQ(runAdmin({"backup", other, db, "--force"}).exitCode, 0)
        << "nobody has it open any more";
}

} // namespace
