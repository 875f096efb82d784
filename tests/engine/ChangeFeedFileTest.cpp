// What only the file's change feed does: its timer's tick, which only another connection's commit
// wakes and which never waits for a lock, a read that fails or meets damage.
#include "core/Errors.h"
#include "data/Connection.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "engine/SqliteChangeFeed.h"
#include "tests/support/DamagedFile.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/TestDatabase.h"

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

using namespace cursor;

namespace cursor {
void PrintTo(const Change& c, std::ostream* os) {
    *os << c.seq << ' ' << c.table.constData() << ' ' << c.key << " kind "
        << static_cast<int>(c.kind);
    if (c.customer)
        *os << " of " << *c.customer;
}
} // namespace cursor

namespace {

class FileFeed : public testing::Test {
protected:
    void SetUp() override { connection.open(data::fileConnectionString(db.path())); }
    SqliteChangeFeed& feed() {
        return dynamic_cast<SqliteChangeFeed&>(connection.backend().changeFeed());
    }

    testsupport::TestDatabase db;
    Connection connection;
};

TEST_F(FileFeed, OnlyAnotherConnectionsCommitMakesTheTickFindSomething) {
    SqliteChangeFeed& f = feed();
    EXPECT_FALSE(f.checkForChanges());
    EXPECT_FALSE(f.checkForChanges()) << "idle";

    db.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    EXPECT_TRUE(f.checkForChanges());
    EXPECT_FALSE(f.checkForChanges()) << "each commit is found once";

    // The program's own save is in the log for the others, but does not wake this program.
    const FeedPosition before = f.position();
    Recordset rs;
    rs.open(connection, "select * from t_musteri");
    rs.setValue(rs.findColumn("f_tel"), QString("555"));
    rs.update();
    EXPECT_FALSE(f.checkForChanges());
    EXPECT_EQ(f.changesSince(before, 10).changes.size(), 1u);

    testsupport::PeerProcess peer(db.path());
    peer.run("INSERT INTO t_musteri (f_adi) VALUES ('Veli');");
    EXPECT_TRUE(f.checkForChanges()) << "the sqlite3 shell counts as well";
}

TEST_F(FileFeed, ACommitReadBeforeItsTickStillWakesThatTickForNothingNew) {
    SqliteChangeFeed& f = feed();
    const FeedPosition start = f.position();
    EXPECT_FALSE(f.checkForChanges());
    db.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    const ChangeBatch batch = f.changesSince(start, 10); // read before the tick saw it
    ASSERT_EQ(batch.changes.size(), 1u);
    EXPECT_TRUE(f.checkForChanges()) << "a commit is never taken as seen without a tick";
    EXPECT_TRUE(f.changesSince(batch.next, 10).changes.empty());
    EXPECT_FALSE(f.checkForChanges());
}

TEST_F(FileFeed, ATickNeverWaitsForALockAndFindsTheCommitAtTheNextOne) {
    SqliteChangeFeed& f = feed();
    testsupport::PeerProcess peer(db.path());
    ASSERT_EQ(peer.run("BEGIN EXCLUSIVE; INSERT INTO t_musteri (f_adi) VALUES ('Ali');"), "");
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(f.checkForChanges());
    EXPECT_LT(clock.elapsed(), 100) << "the GUI thread is never held up by another's write";
    ASSERT_EQ(peer.run("COMMIT;"), "");
    EXPECT_TRUE(f.checkForChanges());
}

TEST_F(FileFeed, AFailedReadIsTriedAgainAtTheNextTick) {
    SqliteChangeFeed& f = feed();
    const FeedPosition start = f.position();
    int wakes = 0;
    f.watch([&] { ++wakes; });
    testsupport::PeerProcess peer(db.path());
    ASSERT_EQ(peer.run("BEGIN EXCLUSIVE; INSERT INTO t_musteri (f_adi) VALUES ('Ali');"), "");
    EXPECT_THROW(f.changesSince(start, 10), EOleException); // after the busy timeout
    ASSERT_EQ(peer.run("ROLLBACK;"), "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 1000))
        << "nothing was committed, but the failed read is retried";
    EXPECT_EQ(f.changesSince(start, 10).outcome, ChangeBatch::Outcome::Changes);
    f.watch({});
}

TEST_F(FileFeed, ACommitBetweenTakingThePlaceAndWatchingStillWakes) {
    SqliteChangeFeed& f = feed();
    const FeedPosition start = f.position(); // then the program reads its rows...
    db.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    int wakes = 0;
    f.watch([&] { ++wakes; }); // ...and only then watches
    EXPECT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 1000));
    EXPECT_EQ(f.changesSince(start, 10).changes.size(), 1u);
    f.watch({});
}

// A damaged page of the change log, met by the feed's read, makes the file read-only like damage
// met by any other read: the report says so, and no save reaches the file afterwards.
TEST_F(FileFeed, DamageMetReadingTheLogStopsEveryWrite) {
    db.exec("BEGIN");
    for (int i = 0; i < 400; ++i)
        db.exec("INSERT INTO t_musteri (f_adi) VALUES ('Müşteri')");
    db.exec("COMMIT");
    const qint64 leaf = db.scalar("select pageno from dbstat where name = 't_degisiklik' and "
                                  "pagetype = 'leaf' order by path limit 1")
                            .toLongLong();
    ASSERT_GT(leaf, 1);
    SqliteChangeFeed& f = feed();
    connection.requireWritable(); // the file passes its check
    testsupport::overwritePage(db.path(), leaf, QByteArray(4096, 'x'));
    const QByteArray before = testsupport::fileBytes(db.path());
    try {
        f.changesSince(FeedPosition{}, 1000);
        ADD_FAILURE() << "the damaged log was read";
    } catch (const EOleException& e) {
        EXPECT_TRUE(e.message().startsWith("Veritabanı dosyası bozuk: '"))
            << e.message().toStdString();
    }
    EXPECT_EQ(connection.writeState(), WriteState::ReadOnly);
    Recordset rs;
    rs.open(connection, "select * from t_musteri");
    rs.setValue(rs.findColumn("f_tel"), QString("555"));
    EXPECT_THROW(rs.update(), EOleException);
    EXPECT_EQ(testsupport::fileBytes(db.path()), before);
}

} // namespace
