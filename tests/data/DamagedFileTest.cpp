// Damaged database files of every kind seen in shops: SQLite's integrity check (on a second
// connection) fails them; the connection reads them, reports the damage once its check has ended,
// and refuses every save and delete afterwards, leaving the file byte for byte as it was.
#include "tests/support/DamagedFile.h"
#include "data/Connection.h"
#include "engine/FileCheck.h"
#include "tests/data/DataTestSupport.h"

#include <QElapsedTimer>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace datatest;
using cursor::WriteState;
using data::TDataSetState;
using testsupport::Damage;
using testsupport::DamageKind;
using testsupport::fileBytes;

namespace {

QString messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const core::Exception& e) {
        return e.message();
    }
    return {};
}

void openConnection(data::TConnection& connection, const QString& path) {
    connection.setConnectionString(data::fileConnectionString(path));
    connection.open();
}

// Waits until the connection's check has ended, without writing anything.
WriteState settled(data::TConnection& connection) {
    QElapsedTimer timer;
    timer.start();
    while (connection.engine().writeState() == WriteState::Checking && timer.elapsed() < 30000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return connection.engine().writeState();
}

QString damagedReport(const QString& path, const QString& finding) {
    return "Veritabanı dosyası bozuk: '" + path +
           "'. Program bu oturumda dosyaya hiçbir şey yazmayacak. Dosyayı \"korvela-admin check '" +
           path + "'\" ile denetleyin ve bir yedekten geri yükleyin. SQLite: " + finding;
}

// A test database filled for damage, and SQLite's report of the damage once it is done.
struct DamagedDatabase {
    TestDatabase db;
    QString report;
    explicit DamagedDatabase(Damage kind) {
        testsupport::fillForDamage(db);
        EXPECT_EQ(testsupport::integrityReport(db.path()), "ok");
        testsupport::damage(db, kind);
        report = testsupport::integrityReport(db.path());
    }
};

class DamagedFile : public testing::TestWithParam<DamageKind> {};

TEST_P(DamagedFile, IsReadReportedOnceAndNeverWritten) {
    DamagedDatabase d(GetParam().damage);
    EXPECT_NE(d.report, "ok");
    EXPECT_TRUE(d.report.contains(GetParam().finding)) << d.report.toStdString();
    const QByteArray before = fileBytes(d.db.path());

    data::TConnection connection;
    openConnection(connection, d.db.path());
    auto customers = customerQuery(connection);
    customers->open(); // reading goes ahead beside the check
    EXPECT_EQ(customers->recordCount(), 40);

    connection.engine().startCheck();
    ASSERT_EQ(settled(connection), WriteState::ReadOnly);
    // Reported once, with the first of SQLite's findings.
    const QString report = messageOf([&] { connection.engine().reportDamage(); });
    const QString finding = report.mid(report.lastIndexOf("SQLite: ") + 8);
    EXPECT_EQ(report, damagedReport(d.db.path(), finding));
    EXPECT_TRUE(d.report.split('\n').contains(finding))
        << finding.toStdString() << " | " << d.report.toStdString();
    EXPECT_EQ(messageOf([&] { connection.engine().reportDamage(); }), "");

    // A new customer is refused; the set keeps the insert and what was typed.
    const QString refused = "Değişiklik kaydedilmedi. " + report;
    customers->insert();
    customers->fieldByName("f_adi").setAsString("Yeni Müşteri");
    EXPECT_EQ(messageOf([&] { customers->post(); }), refused);
    EXPECT_EQ(customers->state(), TDataSetState::dsInsert);
    EXPECT_EQ(customers->fieldByName("f_adi").asString(), "Yeni Müşteri");
    customers->cancel();
    // So are a change and a delete.
    customers->edit();
    customers->fieldByName("f_tel").setAsString("0212 555 00 00");
    EXPECT_EQ(messageOf([&] { customers->post(); }), refused);
    EXPECT_EQ(customers->state(), TDataSetState::dsEdit);
    customers->cancel();
    EXPECT_EQ(messageOf([&] { customers->remove(); }), refused);
    EXPECT_EQ(customers->recordCount(), 40);

    EXPECT_EQ(fileBytes(d.db.path()), before);
}

INSTANTIATE_TEST_SUITE_P(Kinds, DamagedFile, testing::ValuesIn(testsupport::damageKinds()),
                         [](const auto& info) { return std::string(info.param.name); });

// Holds the check on its thread until released (or ten seconds have passed).
class HeldCheck {
public:
    HeldCheck() {
        cursor::FileCheck::setBeforeCheck([this](sqlite3*) {
            started = true;
            QElapsedTimer timer;
            timer.start();
            while (!released && timer.elapsed() < 10000)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
    }
    ~HeldCheck() { cursor::FileCheck::setBeforeCheck({}); }
    std::atomic<bool> started{false}, released{false};
};

// A save made while the check still runs waits for it (the wait observer is told before and
// after, the check is let go only once the save waits) and is then stored.
TEST(CheckRunning, ASaveWaitsForTheCheckThenIsStored) {
    TestDatabase db;
    db.addCustomer("Ali");
    HeldCheck held;
    data::TConnection connection;
    QStringList events;
    connection.engine().setWaitObserver([&](bool waiting) {
        events << (waiting ? "wait" : "done");
        if (waiting)
            held.released = true;
    });
    openConnection(connection, db.path());
    connection.engine().startCheck();
    auto customers = customerQuery(connection);
    customers->open();
    customers->insert();
    customers->fieldByName("f_adi").setAsString("Veli");
    EXPECT_EQ(connection.engine().writeState(), WriteState::Checking);
    EXPECT_EQ(db.count("t_musteri"), 1);
    customers->post();
    EXPECT_EQ(events, QStringList({"wait", "done"}));
    EXPECT_EQ(connection.engine().writeState(), WriteState::Writable);
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi = 'Veli'"), "1");
    // Once passed, saves go ahead without waiting.
    customers->insert();
    customers->fieldByName("f_adi").setAsString("Ayşe");
    customers->post();
    EXPECT_EQ(events, QStringList({"wait", "done"}));
    EXPECT_EQ(db.count("t_musteri"), 3);
}

// The same wait on a damaged file ends in the refusal, which is the report: nothing more is said.
TEST(CheckRunning, ASaveWaitingOnADamagedFileIsRefusedAndThatIsTheReport) {
    DamagedDatabase d(Damage::RowsMissingFromIndex);
    const QByteArray before = fileBytes(d.db.path());
    HeldCheck held;
    data::TConnection connection;
    std::atomic<int> stateChanges{0};
    connection.engine().setStateObserver([&] { ++stateChanges; });
    connection.engine().setWaitObserver([&](bool waiting) { held.released = waiting; });
    openConnection(connection, d.db.path());
    auto visits = serviceQuery(connection, 40);
    visits->open();
    visits->insert();
    visits->fieldByName("id_musteri").setAsInteger(40);
    const QString refused = messageOf([&] { visits->post(); });
    EXPECT_EQ(refused,
              "Değişiklik kaydedilmedi. " +
                  damagedReport(d.db.path(), "row 481 missing from index ix_servis_musteri"));
    EXPECT_EQ(visits->state(), TDataSetState::dsInsert);
    EXPECT_EQ(messageOf([&] { connection.engine().reportDamage(); }), "");
    EXPECT_EQ(stateChanges, 1); // from the check's thread, when it ended
    EXPECT_EQ(fileBytes(d.db.path()), before);
}

// A page damaged while the program runs, after the check has passed: the read that meets it
// reports the damage, and from then on nothing is written.
TEST(DamageDuringTheSession, StopsEveryWrite) {
    TestDatabase db;
    testsupport::fillForDamage(db);
    data::TConnection connection;
    std::atomic<int> stateChanges{0};
    connection.engine().setStateObserver([&] { ++stateChanges; });
    openConnection(connection, db.path());
    auto customers = customerQuery(connection);
    customers->open();
    connection.engine().requireWritable();
    EXPECT_EQ(connection.engine().writeState(), WriteState::Writable);
    EXPECT_EQ(stateChanges, 1);

    testsupport::damage(db, Damage::ScribbledPage);
    const QByteArray before = fileBytes(db.path());
    // The visits of every customer are read, as moving down the customer list does.
    QString met;
    for (int c = 1; c <= 40 && met.isEmpty(); ++c) {
        auto visits = serviceQuery(connection, c);
        met = messageOf([&] { visits->open(); });
    }
    EXPECT_EQ(met, damagedReport(db.path(), "database disk image is malformed"));
    EXPECT_EQ(connection.engine().writeState(), WriteState::ReadOnly);
    EXPECT_EQ(stateChanges, 2);
    EXPECT_EQ(messageOf([&] { connection.engine().reportDamage(); }), "");

    customers->insert();
    customers->fieldByName("f_adi").setAsString("Yeni");
    EXPECT_EQ(messageOf([&] { customers->post(); }), "Değişiklik kaydedilmedi. " + met);
    customers->cancel();
    EXPECT_EQ(messageOf([&] { customers->remove(); }), "Değişiklik kaydedilmedi. " + met);
    EXPECT_EQ(fileBytes(db.path()), before);
}

} // namespace
