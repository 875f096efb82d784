// What another workstation saves, shown in open record sets: the notifications and events a
// refresh sends, the record being edited left alone, and the change feed followed on a real file
// written by a second connection (bursts shown once, other customers' visits costing nothing,
// waiting while showing is not allowed, a full reading when the feed fell behind).
#include "DataTestSupport.h"

#include "core/Errors.h"
#include "data/LiveRefresh.h"
#include "engine/ChangeLog.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace data;
using datatest::EventLog;
using datatest::RecordingLink;

namespace {

class LiveRefreshTest : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
        connection.open();
    }
    TQuery& openCustomers(const QStringList& names) {
        for (const QString& n : names)
            db.addCustomer(n);
        customers = datatest::customerQuery(connection);
        log.attach(*customers, false);
        source.setDataSet(customers.get());
        link.setBufferCount(5);
        link.setDataSource(&source);
        customers->open();
        log.take();
        return *customers;
    }
    QString current() { return customers->fieldByName("f_adi").asString(); }
    qint64 idOf(const QString& name) {
        return db.scalar("SELECT id FROM t_musteri WHERE f_adi = '" + name + "'").toLongLong();
    }
    // Lets the event loop run until the condition holds, at most a second.
    static bool within1s(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 1000);
    }

    datatest::TestDatabase db;
    TConnection connection;
    EventLog log;
    std::unique_ptr<TQuery> customers;
    TDataSource source;
    RecordingLink link{log};
};

// ---- the record set ----

TEST_F(LiveRefreshTest, RowsSavedElsewhereShowWithOneNotificationAndNoEvents) {
    openCustomers({"Ali", "Veli", "Zeki"});
    customers->next(); // Veli
    log.take();
    db.exec("UPDATE t_musteri SET f_tel = '555' WHERE f_adi = 'Ali'");
    const qint64 ayse = db.addCustomer("Ayşe");
    db.exec("DELETE FROM t_musteri WHERE f_adi = 'Zeki'");

    EXPECT_TRUE(customers->refreshRecords({idOf("Ali"), ayse, idOf("Veli") + 1}));
    EXPECT_EQ(log.take(), QStringList{"link changed"}) << "one repaint, no scroll events";
    EXPECT_EQ(current(), "Veli") << "the current record stays current";
    EXPECT_EQ(customers->activeRecord(), 1) << "and at its place in the window";
    EXPECT_EQ(datatest::windowNames(*customers), QStringList({"Ali", "Veli", "Ayşe"}));
    EXPECT_EQ(customers->recordCount(), 3);

    EXPECT_TRUE(customers->refreshRecords({idOf("Ali"), ayse}));
    EXPECT_TRUE(log.take().isEmpty()) << "what reads as before sends nothing";
}

TEST_F(LiveRefreshTest, ValuesChangedElsewhereReadOnlyTheRecordsThatShowThem) {
    openCustomers({"Ali", "Banu", "Cem", "Deniz", "Ece", "Fuat", "Gül"});
    customers->next();
    customers->next(); // Cem, the window Ali to Ece
    log.take();
    ASSERT_EQ(datatest::windowNames(*customers),
              QStringList({"Ali", "Banu", "Cem", "Deniz", "Ece"}));

    db.exec("UPDATE t_musteri SET f_adi = 'Gülay' WHERE f_adi = 'Gül'");
    EXPECT_TRUE(customers->refreshRecords({idOf("Gülay")}));
    EXPECT_TRUE(log.take().isEmpty()) << "a row outside the window repaints nothing";

    db.exec("UPDATE t_musteri SET f_adi = 'Deniz Su' WHERE f_adi = 'Deniz'");
    db.exec("UPDATE t_musteri SET f_adi = 'Cemal' WHERE f_adi = 'Cem'");
    EXPECT_TRUE(customers->refreshRecords({idOf("Deniz Su"), idOf("Cemal"), idOf("Gülay")}));
    EXPECT_EQ(log.take(), QStringList{"link changed"});
    EXPECT_EQ(datatest::windowNames(*customers),
              QStringList({"Ali", "Banu", "Cemal", "Deniz Su", "Ece"}));
    EXPECT_EQ(current(), "Cemal") << "the current record read again stays current";
    EXPECT_EQ(customers->activeRecord(), 2);

    customers->next();
    EXPECT_EQ(current(), "Deniz Su") << "the record set stands where the window does";
    customers->last();
    EXPECT_EQ(current(), "Gülay");
}

// A link that shows fewer rows than the window: told which of its rows were read again (relative
// to its first shown row), and only when nothing else moved; otherwise the whole set changed.
class RereadLink : public data::TDataLink {
public:
    explicit RereadLink(EventLog& log) : log_(log) {}
    ~RereadLink() override { setDataSource(nullptr); }

protected:
    void dataSetChanged() override { log_.add("small changed"); }
    void recordsReread(const std::vector<int>& rows) override {
        QStringList shown;
        for (const int r : rows)
            shown << QString::number(r);
        log_.add("small reread " + shown.join(','));
    }

private:
    EventLog& log_;
};

TEST_F(LiveRefreshTest, LinksAreToldWhichOfTheirRowsWereReadAgainInPlace) {
    openCustomers({"Ali", "Banu", "Cem", "Deniz", "Ece", "Fuat", "Gül"});
    RereadLink small(log);
    small.setBufferCount(2);
    small.setDataSource(&source);
    customers->next();
    customers->next(); // Cem: the window Ali to Ece, the small link shows Banu and Cem
    log.take();
    ASSERT_EQ(small.activeRecord(), 1);

    db.exec("UPDATE t_musteri SET f_tel = '1' WHERE f_adi IN ('Cem', 'Deniz')");
    EXPECT_TRUE(customers->refreshRecords({idOf("Cem"), idOf("Deniz")}));
    // The last-added link first; the five-row link acts on the change as on any.
    EXPECT_EQ(log.take(), QStringList({"small reread 1", "link changed"}));

    db.exec("UPDATE t_musteri SET f_tel = '2' WHERE f_adi = 'Ece'");
    EXPECT_TRUE(customers->refreshRecords({idOf("Ece")}));
    EXPECT_EQ(log.take(), QStringList({"small reread ", "link changed"}))
        << "a record of the window the small link does not show";

    const qint64 ali = idOf("Ali");
    db.exec("UPDATE t_musteri SET f_adi = 'Banu Su' WHERE f_adi = 'Banu'");
    db.exec("DELETE FROM t_musteri WHERE f_adi = 'Ali'");
    EXPECT_TRUE(customers->refreshRecords({idOf("Banu Su"), ali}));
    EXPECT_EQ(log.take(), QStringList({"small changed", "link changed"}))
        << "a record gone: the rows moved, the whole set changed";
    EXPECT_EQ(current(), "Cem");
}

TEST_F(LiveRefreshTest, TheCurrentRecordDeletedElsewhereMovesOnAsAfterADeleteAndScrolls) {
    openCustomers({"Ali", "Veli", "Zeki"});
    customers->next();
    log.take();
    const qint64 veli = idOf("Veli");
    db.exec("DELETE FROM t_musteri WHERE f_adi = 'Veli'");
    EXPECT_TRUE(customers->refreshRecords({veli}));
    EXPECT_EQ(log.take(), QStringList({"link changed", "AfterScroll"}));
    EXPECT_EQ(current(), "Zeki");

    const qint64 zeki = idOf("Zeki");
    db.exec("DELETE FROM t_musteri WHERE f_adi = 'Zeki'");
    customers->refreshRecords({zeki});
    EXPECT_EQ(log.take(), QStringList({"link changed", "AfterScroll"}));
    EXPECT_EQ(current(), "Ali") << "at the end, the record before it";

    const qint64 ali = idOf("Ali");
    db.exec("DELETE FROM t_musteri");
    customers->refreshRecords({ali});
    EXPECT_EQ(log.take(), QStringList({"link changed", "AfterScroll"}));
    EXPECT_TRUE(customers->isEmpty());
    const qint64 yeni = db.addCustomer("Yeni");
    customers->refreshRecords({yeni});
    EXPECT_EQ(log.take(), QStringList({"link changed", "AfterScroll"}))
        << "an empty set that gains a record scrolls onto it";
    EXPECT_EQ(current(), "Yeni");
}

TEST_F(LiveRefreshTest, TheRecordBeingEditedIsNotReadUntilTheEditEnds) {
    openCustomers({"Ali", "Veli"});
    customers->edit();
    customers->fieldByName("f_adi").setText("Ali Yazılan");
    db.exec("UPDATE t_musteri SET f_adi = 'Başkası' WHERE f_adi = 'Ali'");
    log.take();
    EXPECT_FALSE(customers->refreshRecords({idOf("Başkası")}));
    EXPECT_FALSE(customers->refreshAll());
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(current(), "Ali Yazılan") << "the typed value is untouched";
    EXPECT_EQ(customers->state(), TDataSetState::dsEdit);
    EXPECT_THROW(customers->post(), EDatabaseError) << "its save meets the conflict as before";
    EXPECT_EQ(current(), "Ali Yazılan");
    customers->cancel();
    EXPECT_EQ(current(), "Başkası");
}

TEST_F(LiveRefreshTest, ReadingEverythingAgainKeepsTheCurrentRecordByKey) {
    openCustomers({"Ali", "Veli", "Zeki"});
    customers->next();
    db.exec("INSERT INTO t_musteri (id, f_adi) VALUES (0, 'Önce')");
    db.exec("UPDATE t_musteri SET f_tel = '1' WHERE f_adi = 'Veli'");
    log.take();
    EXPECT_TRUE(customers->refreshAll());
    EXPECT_EQ(log.take(), QStringList{"link changed"});
    EXPECT_EQ(current(), "Veli");
    EXPECT_EQ(customers->fieldByName("f_tel").asString(), "1");
    EXPECT_EQ(customers->recordCount(), 4);
    EXPECT_TRUE(customers->locate("f_adi", {"Önce"}, {})) << "the look-up copy sees every row";
}

// ---- following the feed ----

class FollowingTheFeed : public LiveRefreshTest {
protected:
    void start(const QStringList& names) {
        ASSERT_TRUE(live.start());
        openCustomers(names);
        live.follow(*customers, "t_musteri");
    }
    TLiveRefresh live{connection};
};

TEST_F(FollowingTheFeed, ACustomerAddedElsewhereShowsWithinASecond) {
    start({"Ali", "Veli"});
    customers->next();
    db.addCustomer("Ayşe");
    EXPECT_TRUE(within1s([&] { return customers->recordCount() == 3; }));
    EXPECT_EQ(current(), "Veli");
    EXPECT_FALSE(live.pending());
    EXPECT_TRUE(customers->locate("f_adi", {"Ay"}, TLocateOption::loPartialKey))
        << "a search finds it";
}

TEST_F(FollowingTheFeed, ABurstIsShownOnceWithOneNotification) {
    start({"Ali"});
    int shown = 0;
    live.shown = [&](TDataSet&) { ++shown; };
    // Thirty commits while the program is busy, then its event loop runs again.
    for (int i = 0; i < 30; ++i)
        db.addCustomer(QString("Müşteri %1").arg(i));
    EXPECT_TRUE(within1s([&] { return customers->recordCount() == 31; }));
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(log.take(), QStringList{"link changed"});
}

TEST_F(FollowingTheFeed, NothingShowsWhileNotAllowedAndEverythingOnceItIs) {
    start({"Ali"});
    bool allowed = false;
    live.mayShow = [&] { return allowed; };
    db.addCustomer("Veli");
    QTest::qWait(400);
    EXPECT_EQ(customers->recordCount(), 1);
    EXPECT_TRUE(live.pending());
    allowed = true;
    EXPECT_TRUE(within1s([&] { return customers->recordCount() == 2; }));
}

TEST_F(FollowingTheFeed, OnlyTheShownCustomersVisitsCount) {
    start({"Ali", "Veli"});
    const qint64 ali = idOf("Ali"), veli = idOf("Veli");
    auto visits = datatest::serviceQuery(connection, ali);
    visits->OnCalcFields = datatest::serviceCalcFields;
    EventLog visitLog;
    TDataSource visitSource;
    RecordingLink visitLink{visitLog, "visits"};
    visitSource.setDataSet(visits.get());
    visitLink.setDataSource(&visitSource);
    visits->open();
    live.follow(*visits, "t_servis");
    live.setCustomer(*visits, ali);
    visitLog.take();

    db.addVisit(veli, "10.0000", "", "");
    db.addCustomer("Zeki"); // something that is shown, so the refresh surely ran
    EXPECT_TRUE(within1s([&] { return customers->recordCount() == 3; }));
    EXPECT_TRUE(visitLog.take().isEmpty()) << "another customer's visit costs nothing visible";

    db.addVisit(ali, "20.0000", "5.0000", "");
    EXPECT_TRUE(within1s([&] { return visits->recordCount() == 1; }));
    EXPECT_EQ(visitLog.take(), QStringList({"visits changed"}));
    EXPECT_EQ(visits->fieldByName("c_toplam").asMoney(), Money::fromUnits(25));
}

TEST_F(FollowingTheFeed, AReaderBehindThePrunedLogReadsEverythingAgain) {
    start({"Ali", "Veli"});
    customers->next();
    db.exec(QString("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                    "INSERT INTO t_musteri (f_adi) SELECT 'x' || i FROM n")
                .arg(cursor::changelog::kKept + cursor::changelog::kPruneStep + 10));
    EXPECT_TRUE(QTest::qWaitFor([&] { return customers->recordCount() > 2; }, 3000));
    EXPECT_EQ(customers->recordCount(),
              2 + cursor::changelog::kKept + cursor::changelog::kPruneStep + 10);
    EXPECT_EQ(current(), "Veli");
}

} // namespace
