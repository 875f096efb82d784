// The change feed, the same on every engine: what another client changed, read by key and kind;
// bursts, the pruned log, replaced histories, databases without the log, and the wake-up.
#include "core/Errors.h"
#include "engine/ChangeLog.h"
#include "tests/enginesuite/EngineSuite.h"

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>

using namespace cursor;

namespace enginesuite {

namespace {

// "I t_musteri 3", "D t_servis 7 of 2": one change as the cases expect it.
QString describe(const Change& change) {
    const char* kind = change.kind == ChangeKind::Insert   ? "I"
                       : change.kind == ChangeKind::Update ? "U"
                                                           : "D";
    QString text = QStringLiteral("%1 %2 %3").arg(kind, change.table).arg(change.key);
    if (change.customer)
        text += QStringLiteral(" of %1").arg(*change.customer);
    return text;
}

// The changes joined by ", " (readable when a case fails).
std::string describe(const std::vector<Change>& changes) {
    QStringList result;
    for (const Change& change : changes)
        result << describe(change);
    return result.join(", ").toStdString();
}

bool risesStrictly(const std::vector<Change>& changes) {
    for (std::size_t i = 1; i < changes.size(); ++i)
        if (changes[i].seq <= changes[i - 1].seq)
            return false;
    return true;
}

// How the other client adds n visits of customer 1 (or n customers) in one statement.
QString insertVisits(int n) {
    return QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i "
                          "< %1) INSERT INTO t_servis (id_musteri, f_km) SELECT 1, CAST(i AS "
                          "VARCHAR(255)) FROM n")
        .arg(n);
}

QString insertCustomers(int n) {
    return QStringLiteral(
               "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i "
               "< %1) INSERT INTO t_musteri (f_adi) SELECT CAST(i AS VARCHAR(255)) FROM n")
        .arg(n);
}

using Outcome = ChangeBatch::Outcome;

} // namespace

TEST_P(Engine, TheFeedReadsEveryChangeAnotherClientCommitsByKeyKindAndCustomer) {
    ChangeFeed& feed = connection.backend().changeFeed();
    ASSERT_TRUE(feed.hasLog());
    const FeedPosition start = feed.position();
    EXPECT_TRUE(start.hasLog);
    db->execByClient("INSERT INTO t_musteri (f_adi) VALUES ('Ali');"
                     "INSERT INTO t_musteri (f_adi) VALUES ('Veli');"
                     "UPDATE t_musteri SET f_tel = '1' WHERE f_adi = 'Ali';"
                     "INSERT INTO t_servis (id_musteri, f_km) VALUES (1, '10'), (1, '20');"
                     "UPDATE t_servis SET f_km = '11' WHERE f_km = '10';"
                     "UPDATE t_servis SET id_musteri = 2 WHERE f_km = '20';"
                     "DELETE FROM t_musteri WHERE f_adi = 'Ali';");

    ChangeBatch batch = feed.changesSince(start, 100);
    ASSERT_EQ(batch.outcome, Outcome::Changes);
    EXPECT_TRUE(risesStrictly(batch.changes));
    ASSERT_EQ(batch.changes.size(), 10u) << describe(batch.changes);
    // Whether a deleted customer's visits come before or after it is the engine's.
    std::sort(batch.changes.end() - 2, batch.changes.end(),
              [](const Change& a, const Change& b) { return a.table < b.table; });
    EXPECT_EQ(describe(batch.changes),
              "I t_musteri 1, I t_musteri 2, U t_musteri 1, I t_servis 1 of 1, I t_servis 2 of 1, "
              "U t_servis 1 of 1, D t_servis 2 of 1, I t_servis 2 of 2, D t_musteri 1, "
              "D t_servis 1 of 1")
        << "a moved visit leaves its old customer and arrives at the new one";
    EXPECT_GT(batch.changes.front().seq, start.seq);
    EXPECT_EQ(batch.next.seq, std::max(batch.changes[8].seq, batch.changes[9].seq));
    EXPECT_EQ(batch.next, feed.position()) << "the next read starts after the last change";

    const ChangeBatch again = feed.changesSince(batch.next, 100);
    EXPECT_EQ(again.outcome, Outcome::Changes);
    EXPECT_TRUE(again.changes.empty()) << "every change is read once";
    EXPECT_EQ(again.next, batch.next);
}

TEST_P(Engine, WritesThroughTheEngineAreLoggedForTheOtherPrograms) {
    const qint64 ali = db->addCustomer("Ali");
    ChangeFeed& feed = connection.backend().changeFeed();
    const FeedPosition start = feed.position();
    auto rs = open("select * from t_musteri");
    rs->addNew();
    rs->setValue(col(*rs, "f_adi"), QString("Veli"));
    rs->update();
    const qint64 veli = std::get<qint64>(rs->value(col(*rs, "id")));
    rs->moveFirst();
    ASSERT_EQ(text(rs->value(col(*rs, "id"))), QString::number(ali));
    rs->setValue(col(*rs, "f_tel"), QString("555"));
    rs->update();
    rs->deleteCurrent();

    const ChangeBatch batch = feed.changesSince(start, 100);
    ASSERT_EQ(batch.outcome, Outcome::Changes);
    EXPECT_EQ(
        describe(batch.changes),
        QString("I t_musteri %1, U t_musteri %2, D t_musteri %2").arg(veli).arg(ali).toStdString());
}

TEST_P(Engine, ABurstIsReadInOneGoOrBecomesAReloadPastTheAskedSize) {
    db->addCustomer("Ali");
    ChangeFeed& feed = connection.backend().changeFeed();
    const FeedPosition start = feed.position();
    db->execByClient(insertVisits(3000));

    const ChangeBatch all = feed.changesSince(start, 3000);
    ASSERT_EQ(all.outcome, Outcome::Changes);
    ASSERT_EQ(all.changes.size(), 3000u);
    EXPECT_EQ(describe(all.changes.front()).toStdString(), "I t_servis 1 of 1");
    EXPECT_EQ(describe(all.changes.back()).toStdString(), "I t_servis 3000 of 1");
    EXPECT_TRUE(risesStrictly(all.changes));

    const ChangeBatch tooMany = feed.changesSince(start, 2999);
    EXPECT_EQ(tooMany.outcome, Outcome::Reload);
    EXPECT_TRUE(tooMany.changes.empty());
    EXPECT_EQ(tooMany.next, feed.position()) << "after the reload, on from the last change";
    EXPECT_EQ(tooMany.next, all.next);

    // A small read after the burst holds only its own change, none of the burst's rows.
    db->execByClient("UPDATE t_servis SET f_km = 'x' WHERE id = 5");
    const ChangeBatch after = feed.changesSince(all.next, 3000);
    ASSERT_EQ(after.outcome, Outcome::Changes);
    EXPECT_EQ(describe(after.changes), "U t_servis 5 of 1");
    EXPECT_EQ(after.next, feed.position());
}

TEST_P(Engine, ThePrunedLogStaysSmallAndAPlaceBehindItReloads) {
    ChangeFeed& feed = connection.backend().changeFeed();
    const FeedPosition start = feed.position();
    const int burst = changelog::kKept + changelog::kPruneStep + 10;
    db->exec(insertCustomers(burst));

    const int kept = db->scalar("SELECT count(*) FROM t_degisiklik").toInt();
    EXPECT_GE(kept, changelog::kKept);
    EXPECT_LE(kept, changelog::kKept + changelog::kPruneStep);
    EXPECT_EQ(db->scalar("SELECT max(id) - min(id) + 1 FROM t_degisiklik").toInt(), kept)
        << "the latest changes are the ones kept";

    const ChangeBatch behind = feed.changesSince(start, 1'000'000);
    EXPECT_EQ(behind.outcome, Outcome::Reload) << "the changes after the place are gone";
    EXPECT_EQ(behind.next, feed.position());

    // The horizon itself is still a place: every kept change follows it.
    const FeedPosition horizon{db->scalar("SELECT f_sira FROM t_degisiklik_ufuk").toLongLong(),
                               db->scalar("SELECT f_etiket FROM t_degisiklik_ufuk").toLongLong(),
                               true};
    const ChangeBatch fromHorizon = feed.changesSince(horizon, 1'000'000);
    ASSERT_EQ(fromHorizon.outcome, Outcome::Changes);
    EXPECT_EQ(int(fromHorizon.changes.size()), kept);
    EXPECT_EQ(describe(fromHorizon.changes.back()).toStdString(),
              QString("I t_musteri %1").arg(burst).toStdString());

    db->execByClient("UPDATE t_musteri SET f_tel = 'x' WHERE id IN (1, 7)");
    const ChangeBatch after = feed.changesSince(behind.next, 10);
    ASSERT_EQ(after.outcome, Outcome::Changes);
    EXPECT_EQ(describe(after.changes), "U t_musteri 1, U t_musteri 7");
}

TEST_P(Engine, APlaceInAHistoryThatWasReplacedReloads) {
    ChangeFeed& feed = connection.backend().changeFeed();
    db->addCustomer("Ali");
    const FeedPosition place = feed.position();
    ASSERT_GT(place.seq, 0);

    // A restore puts another history in: the same number, another change.
    db->exec(
        QString("UPDATE t_degisiklik SET f_etiket = f_etiket + 1 WHERE id = %1").arg(place.seq));
    EXPECT_EQ(feed.changesSince(place, 100).outcome, Outcome::Reload);
    // An older backup: the place lies past its last change.
    db->exec(QString("DELETE FROM t_degisiklik WHERE id >= %1").arg(place.seq));
    const ChangeBatch older = feed.changesSince(place, 100);
    EXPECT_EQ(older.outcome, Outcome::Reload);
    EXPECT_LT(older.next.seq, place.seq);
    EXPECT_EQ(older.next, feed.position());
}

TEST_P(Engine, ADatabaseWithoutTheLogHasNoLiveRefreshUntilTheUpgradeAddsIt) {
    db->dropChangeLog();
    db->addCustomer("Ali"); // writes still work without the log
    ChangeFeed& feed = connection.backend().changeFeed();
    EXPECT_FALSE(feed.hasLog());
    const FeedPosition none = feed.position();
    EXPECT_FALSE(none.hasLog);
    db->addCustomer("Veli");
    const ChangeBatch noLog = feed.changesSince(none, 100);
    EXPECT_EQ(noLog.outcome, Outcome::NoLog);
    EXPECT_FALSE(noLog.next.hasLog);

    // Upgraded while the program has it open: one reload, then changes as usual.
    db->installChangeLog();
    EXPECT_TRUE(feed.hasLog());
    const ChangeBatch appeared = feed.changesSince(none, 100);
    EXPECT_EQ(appeared.outcome, Outcome::Reload);
    ASSERT_TRUE(appeared.next.hasLog);
    db->addCustomer("Cem");
    const ChangeBatch changes = feed.changesSince(appeared.next, 100);
    ASSERT_EQ(changes.outcome, Outcome::Changes);
    EXPECT_EQ(describe(changes.changes), "I t_musteri 3");

    // A backup of an earlier build restored over it: the log goes, one reload, then none.
    db->dropChangeLog();
    const ChangeBatch gone = feed.changesSince(changes.next, 100);
    EXPECT_EQ(gone.outcome, Outcome::Reload);
    EXPECT_FALSE(gone.next.hasLog);
    EXPECT_EQ(feed.changesSince(gone.next, 100).outcome, Outcome::NoLog);
}

TEST_P(Engine, AWatchedFeedWakesUpWithinASecondOfAnotherClientsCommitAndNotWhileIdle) {
    ChangeFeed& feed = connection.backend().changeFeed();
    const FeedPosition start = feed.position();
    int wakes = 0;
    feed.watch([&] { ++wakes; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return db->feedIsListening(feed); }, 20000));
    QTest::qWait(300); // a server feed wakes once when it starts listening
    wakes = 0;
    QTest::qWait(1200);
    EXPECT_EQ(wakes, 0) << "nothing changed, nothing woke";

    QElapsedTimer clock;
    db->execByClient("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    clock.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return wakes > 0; }, 3000));
    EXPECT_LT(clock.elapsed(), 1000);
    const ChangeBatch batch = feed.changesSince(start, 10);
    EXPECT_EQ(describe(batch.changes), "I t_musteri 1");

    QTest::qWait(700);
    wakes = 0;
    feed.watch({});
    db->exec("INSERT INTO t_musteri (f_adi) VALUES ('Veli')");
    QTest::qWait(700);
    EXPECT_EQ(wakes, 0) << "a feed no longer watched stays quiet";
}

} // namespace enginesuite
