// A database made before the change log: the window opens it as before, says once how to get
// live refresh, and once korvela-admin upgrade adds the log under the running window, what
// another workstation saves shows in it.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "tests/support/Boxes.h"
#include "tests/support/TestDatabase.h"

#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

namespace {

void dropChangeLog(testsupport::TestDatabase& db) {
    const QString triggers = db.scalar(
        "SELECT group_concat('DROP TRIGGER ' || name, '; ') FROM sqlite_master WHERE type = "
        "'trigger' AND name LIKE 'tr_degisiklik%'");
    db.exec(triggers + "; DROP TABLE t_degisiklik; DROP TABLE t_degisiklik_ufuk");
}

TEST(LiveRefreshNotice, ADatabaseWithoutTheChangeLogOpensSaysSoOnceAndFollowsOnceUpgraded) {
    testsupport::TestDatabase db;
    db.addCustomer("Ahmet");
    dropChangeLog(db); // as an earlier build made it
    testsupport::Boxes boxes;
    app::TfrmMain w(db.directory());
    w.show();
    const app::MainParts parts(w);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.messages.isEmpty(); }, 1000));
    EXPECT_EQ(boxes.messages, QStringList{data::liveRefreshMissingNotice(db.path())});
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts.qryMain.recordCount(), 1) << "the customers are shown as before";

    db.addCustomer("Veli");
    QTest::qWait(600);
    EXPECT_EQ(parts.qryMain.recordCount(), 1) << "no live refresh without the log";

    QProcess admin;
    admin.start(KORVELA_ADMIN_PROGRAM, {"upgrade", db.path()});
    ASSERT_TRUE(admin.waitForFinished(60000));
    ASSERT_EQ(admin.exitCode(), 0) << admin.readAllStandardError().toStdString();
    db.addCustomer("Zeki");
    EXPECT_TRUE(QTest::qWaitFor([&] { return parts.qryMain.recordCount() == 3; }, 1500))
        << "everything is read again once the log is there";
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Ahmet");
    EXPECT_EQ(boxes.messages.size(), 1) << "the notice is given once";
}

// Even without the log (so nothing else would show it), a customer whose delete failed because
// another workstation changed it is read again once the error box has been shown.
TEST(LiveRefreshNotice, AFailedDeleteReadsTheCustomerAgain) {
    testsupport::TestDatabase db;
    const qint64 ahmet = db.addCustomer("Ahmet");
    db.addCustomer("Veli");
    dropChangeLog(db);
    testsupport::Boxes boxes;
    app::TfrmMain w(db.directory());
    w.show();
    const app::MainParts parts(w);
    db.exec(QString("UPDATE t_musteri SET f_tel = '0555' WHERE id = %1").arg(ahmet));
    QTest::mouseClick(parts.btnMusteriSil, Qt::LeftButton);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].startsWith("Row cannot be located"))
        << boxes.errors[0].toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return parts.qryMain.fieldByName("f_tel").asString() == "0555"; }, 1000))
        << "the list shows what is stored now";
    EXPECT_EQ(parts.qryMain.recordCount(), 2);
    QTest::mouseClick(parts.btnMusteriSil, Qt::LeftButton);
    EXPECT_EQ(boxes.errors.size(), 1) << "and the delete goes through";
    EXPECT_EQ(db.count("t_musteri"), 1);
}

// A restore by the admin tool into the file a window has open: the window reads everything again
// and shows the restored customers, the current one kept where it is still there.
TEST(LiveRefreshNotice, AWindowShowsARestoreDoneUnderIt) {
    testsupport::TestDatabase db;
    db.addCustomer("Ahmet");
    db.addCustomer("Mehmet");
    testsupport::Boxes boxes;
    app::TfrmMain w(db.directory());
    w.show();
    const app::MainParts parts(w);
    parts.qryMain.next(); // Mehmet
    const QString backup = db.directory() + "yedek.mdb";
    const auto admin = [](const QStringList& args) {
        QProcess p;
        p.start(KORVELA_ADMIN_PROGRAM, args);
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    };
    admin({"backup", db.path(), backup});
    db.addCustomer("Sonra");
    EXPECT_TRUE(QTest::qWaitFor([&] { return parts.qryMain.recordCount() == 3; }, 1000));
    admin({"restore", backup, db.path()});
    EXPECT_TRUE(QTest::qWaitFor([&] { return parts.qryMain.recordCount() == 2; }, 1500))
        << "the customer added after the backup is gone";
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Mehmet");
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

} // namespace
