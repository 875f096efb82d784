// What only the server's change feed does: it costs the server nothing while idle, listens again
// after the server restarts and then catches up, and a TRUNCATE makes every reader reload.
#include "pgengine/ServerChangeFeed.h"
#include "pgengine/ServerBackend.h"
#include "tests/pgengine/ServerTestSupport.h"

#include <QTest>
#include <gtest/gtest.h>

using cursor::ChangeBatch;
using cursor::FeedPosition;

namespace {

class ServerFeed : public testing::Test {
protected:
    void SetUp() override { servertest::resetTables(); }
    pgengine::ServerChangeFeed& feed() {
        return dynamic_cast<pgengine::ServerChangeFeed&>(backend.changeFeed());
    }
    // Watches the feed, counting wake-ups, until it listens.
    void watch() {
        feed().watch([this] { ++wakes; });
        ASSERT_TRUE(QTest::qWaitFor([&] { return feed().listening(); }, 20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 2000))
            << "listening begins with a wake-up";
        wakes = 0;
    }

    pgengine::ServerBackend backend{servertest::connectionString()};
    int wakes = 0;
};

TEST_F(ServerFeed, WhileNothingChangesTheListeningConnectionSendsNothing) {
    watch();
    const QByteArray activity = "SELECT state || '|' || query || '|' || state_change FROM "
                                "pg_stat_activity WHERE application_name = 'korvela-listen'";
    const QString before = servertest::scalar(activity);
    EXPECT_TRUE(before.startsWith("idle|LISTEN korvela_degisiklik|")) << before.toStdString();
    QTest::qWait(2500);
    EXPECT_EQ(servertest::scalar(activity), before) << "no statement, no poll";
    EXPECT_EQ(wakes, 0);
    feed().watch({});
}

TEST_F(ServerFeed, AfterTheServerRestartsItListensAgainAndWakesToCatchUp) {
    const FeedPosition start = feed().position();
    watch();
    servertest::cluster("stop");
    EXPECT_TRUE(QTest::qWaitFor([&] { return !feed().listening(); }, 10000))
        << "the feed notices the server going away";
    QTest::qWait(1500); // tries again meanwhile, and fails
    servertest::cluster("start");
    // Another workstation saves before the feed has connected again: no notification reaches it.
    servertest::exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    ASSERT_TRUE(QTest::qWaitFor([&] { return feed().listening(); }, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 2000));
    const ChangeBatch missed = feed().changesSince(start, 10);
    ASSERT_EQ(missed.outcome, ChangeBatch::Outcome::Changes);
    ASSERT_EQ(missed.changes.size(), 1u);
    EXPECT_EQ(missed.changes[0].key, 1);

    wakes = 0;
    servertest::exec("INSERT INTO t_musteri (f_adi) VALUES ('Veli')");
    EXPECT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 1000));
    feed().watch({});
}

TEST_F(ServerFeed, ATruncateNamesNoRowsSoEveryReaderReloads) {
    servertest::exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali'), ('Veli')");
    const FeedPosition before = feed().position();
    watch();
    servertest::exec("TRUNCATE t_musteri CASCADE");
    EXPECT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 1000));
    const ChangeBatch batch = feed().changesSince(before, 1000);
    EXPECT_EQ(batch.outcome, ChangeBatch::Outcome::Reload);
    EXPECT_EQ(batch.next, feed().position());
    servertest::exec("INSERT INTO t_musteri (f_adi) VALUES ('Cem')");
    EXPECT_EQ(feed().changesSince(batch.next, 10).changes.size(), 1u);
    feed().watch({});
}

} // namespace
