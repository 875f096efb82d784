// The main window on a damaged database file or a special file named like it: the window shows
// what can be read, the damage is reported in the error box once the file's check has ended (or
// when a read meets it), the title says the file is read-only and no save reaches the file; a
// save made while the check runs waits for it, with the wait shown.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/RecordGrid.h"
#include "controls/RecordInspector.h"
#include "dialogs/EditDialog.h"
#include "engine/FileCheck.h"
#include "platform/Application.h"
#include "tests/support/Boxes.h"
#include "tests/support/CommandDialog.h"
#include "tests/support/DamagedFile.h"
#include "tests/support/TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

using testsupport::Damage;
using testsupport::fileBytes;
using testsupport::TestDatabase;

namespace {

using testsupport::Boxes;

const QString kReadOnlyTitle = "Korvela Takip - Salt okunur: değişiklikler kaydedilemez";
const QString kWaitingTitle =
    "Korvela Takip - Veritabanı dosyası denetleniyor; kayıt denetimin bitmesini bekliyor";

QString damagedReport(const QString& path, const QString& finding) {
    return "Veritabanı dosyası bozuk: '" + path +
           "'. Program bu oturumda dosyaya hiçbir şey yazmayacak. Dosyayı \"korvela-admin check '" +
           path + "'\" ile denetleyin ve bir yedekten geri yükleyin. SQLite: " + finding;
}

bool waitFor(const std::function<bool()>& done) {
    return QTest::qWaitFor(done, 15000);
}

// Types a name into the customer dialog and presses Kaydet: the dialog must stay open with the
// name, the save refused.
void saveNewCustomerRefused(app::TfrmMain& w, Boxes& boxes, const QString& refusal) {
    const app::MainParts parts(w);
    boxes.errors.clear();
    testsupport::runCommandDialog(parts.btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        testsupport::typeText("Yeni Müşteri");
        testsupport::pressKey(Qt::Key_Tab);
        QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(parts.qryMain.state(), data::TDataSetState::dsInsert);
        EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Yeni Müşteri");
    });
    EXPECT_EQ(boxes.errors, QStringList{refusal});
}

TEST(StartupCheck, ADamagedFileIsShownThenReportedOnceItsCheckEndsAndNeverWritten) {
    TestDatabase db;
    testsupport::fillForDamage(db);
    testsupport::damage(db, Damage::RowsMissingFromIndex);
    const QByteArray before = fileBytes(db.path());

    Boxes boxes;
    app::TfrmMain w(db.directory());
    const app::MainParts parts(w);
    // The window opens with what can be read; the check starts once it is painted.
    EXPECT_TRUE(parts.qryMain.active());
    EXPECT_EQ(parts.qryMain.recordCount(), 40);
    EXPECT_EQ(w.windowTitle(), "Korvela Takip");
    EXPECT_TRUE(boxes.errors.isEmpty());
    w.show();
    ASSERT_TRUE(waitFor([&] { return !boxes.errors.isEmpty(); }));
    const QString report =
        damagedReport(db.path(), "row 481 missing from index ix_servis_musteri") + ".";
    EXPECT_EQ(boxes.errors, QStringList{report});
    EXPECT_EQ(w.windowTitle(), kReadOnlyTitle);
    EXPECT_TRUE(parts.qryServis.active()); // still readable

    saveNewCustomerRefused(w, boxes, "Değişiklik kaydedilmedi. " + report);
    boxes.errors.clear();
    platform::guarded([&] { parts.btnServisSil->click(); }); // answered Yes
    EXPECT_EQ(boxes.errors, QStringList{"Değişiklik kaydedilmedi. " + report});
    QTest::qWait(50);
    EXPECT_EQ(boxes.errors.size(), 1); // reported once
    EXPECT_EQ(fileBytes(db.path()), before);
}

TEST(StartupCheck, ACustomerListThatCannotBeReadIsReportedAtStartUp) {
    TestDatabase db;
    testsupport::fillForDamage(db);
    const qint64 leaf = db.scalar("select pageno from dbstat where name = 't_musteri' and "
                                  "pagetype = 'leaf' limit 1")
                            .toLongLong();
    testsupport::overwritePage(db.path(), leaf, QByteArray(4096, 'x'));
    const QByteArray before = fileBytes(db.path());

    Boxes boxes;
    app::TfrmMain w(db.directory());
    const app::MainParts parts(w);
    const QString report = damagedReport(db.path(), "database disk image is malformed") + ".";
    EXPECT_EQ(boxes.errors, QStringList{report});
    EXPECT_FALSE(parts.qryMain.active());
    w.show();
    ASSERT_TRUE(waitFor([&] { return w.windowTitle() == kReadOnlyTitle; }));
    QTest::qWait(50);
    EXPECT_EQ(boxes.errors, QStringList{report}); // the check's end adds nothing
    EXPECT_EQ(fileBytes(db.path()), before);
}

// Holds the check on its thread until released (or ten seconds have passed).
class HeldCheck {
public:
    HeldCheck() {
        cursor::FileCheck::setBeforeCheck([this](sqlite3*) {
            QElapsedTimer timer;
            timer.start();
            while (!released && timer.elapsed() < 10000)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
    }
    ~HeldCheck() { cursor::FileCheck::setBeforeCheck({}); }
    std::atomic<bool> released{false};
};

// Records the main window's titles with the cursor shown at the time; lets the held check go
// when the title says a save waits.
class TitleRecorder : public QObject {
public:
    TitleRecorder(QWidget* window, HeldCheck& held) : window_(window), held_(held) {
        window->installEventFilter(this);
    }
    QStringList titles;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == window_ && event->type() == QEvent::WindowTitleChange) {
            const QCursor* cursor = QGuiApplication::overrideCursor();
            titles << window_->windowTitle() + " | " +
                          (cursor && cursor->shape() == Qt::WaitCursor ? "wait" : "arrow");
            if (window_->windowTitle() == kWaitingTitle)
                held_.released = true;
        }
        return false;
    }

private:
    QWidget* window_;
    HeldCheck& held_;
};

TEST(StartupCheck, ASaveMadeWhileTheCheckRunsWaitsWithTheWaitShownAndIsThenStored) {
    TestDatabase db;
    db.addCustomer("Ali");
    HeldCheck held;
    Boxes boxes;
    app::TfrmMain w(db.directory());
    const app::MainParts parts(w);
    TitleRecorder recorder(&w, held);
    w.show();
    QApplication::setActiveWindow(&w);
    QTest::qWait(20);
    EXPECT_EQ(parts.dbsPRJ.engine().writeState(), cursor::WriteState::Checking);

    testsupport::runCommandDialog(parts.btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        testsupport::typeText("Veli");
        testsupport::pressKey(Qt::Key_Tab);
        QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(recorder.titles, QStringList({kWaitingTitle + " | wait", "Korvela Takip | arrow"}));
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi = 'Veli'"), "1");
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Veli");
}

// The window is painted before the file's check begins, and tells so once; it stays as painted
// while the check runs (held here) and reports the check's end when it comes.
TEST(StartupCheck, TheWindowIsPaintedBeforeTheCheckBeginsAndTheCheckEndsAfterIt) {
    TestDatabase db;
    db.addCustomer("Ali", "34 AB 123");
    std::atomic<bool> checkBegun{false};
    std::atomic<bool> released{false};
    std::atomic<int> paintsWhenBegun{-1};
    std::atomic<int> paints{0};
    cursor::FileCheck::setBeforeCheck([&](sqlite3*) {
        paintsWhenBegun = paints.load();
        checkBegun = true;
        QElapsedTimer timer;
        timer.start();
        while (!released && timer.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    Boxes boxes;
    {
        app::TfrmMain w(db.directory());
        const app::MainParts parts(w);
        QStringList order;
        QObject::connect(&w, &app::TfrmMain::firstPainted, [&] {
            ++paints;
            order << "painted";
            EXPECT_EQ(parts.dbsPRJ.engine().writeState(), cursor::WriteState::Checking);
            EXPECT_FALSE(checkBegun);
        });
        QObject::connect(&w, &app::TfrmMain::fileStateChanged, [&] { order << "file state"; });
        EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Ali");
        w.show();
        ASSERT_TRUE(waitFor([&] { return checkBegun.load(); }));
        EXPECT_EQ(paintsWhenBegun, 1);
        const QImage painted = w.grab().toImage();
        QTest::qWait(50);
        w.update();
        QTest::qWait(50);
        EXPECT_EQ(w.grab().toImage(), painted);
        EXPECT_EQ(order, QStringList{"painted"});
        EXPECT_EQ(parts.dbsPRJ.engine().writeState(), cursor::WriteState::Checking);

        released = true;
        ASSERT_TRUE(waitFor([&] { return order.size() == 2; }));
        EXPECT_EQ(order, QStringList({"painted", "file state"}));
        EXPECT_EQ(parts.dbsPRJ.engine().writeState(), cursor::WriteState::Writable);
        EXPECT_EQ(w.windowTitle(), "Korvela Takip");
        EXPECT_EQ(paints, 1);
    }
    cursor::FileCheck::setBeforeCheck({});
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

TEST(StartupCheck, DamageMetDuringTheSessionIsReportedAndStopsWriting) {
    TestDatabase db;
    testsupport::fillForDamage(db);
    Boxes boxes;
    app::TfrmMain w(db.directory());
    const app::MainParts parts(w);
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(waitFor(
        [&] { return parts.dbsPRJ.engine().writeState() == cursor::WriteState::Writable; }));
    EXPECT_EQ(w.windowTitle(), "Korvela Takip");

    // A page of visits goes bad while the program runs; moving down the customers meets it.
    testsupport::damage(db, Damage::ScribbledPage);
    const QByteArray before = fileBytes(db.path());
    parts.grdMain->setFocus();
    for (int i = 0; i < 40 && boxes.errors.isEmpty(); ++i)
        QTest::keyClick(parts.grdMain, Qt::Key_Down);
    const QString report = damagedReport(db.path(), "database disk image is malformed") + ".";
    EXPECT_EQ(boxes.errors, QStringList{report});
    ASSERT_TRUE(waitFor([&] { return w.windowTitle() == kReadOnlyTitle; }));
    EXPECT_EQ(boxes.errors.size(), 1);

    // Back on the first customer, whose visits can be read, a new customer is refused.
    platform::guarded([&] { parts.qryMain.first(); });
    EXPECT_TRUE(parts.qryServis.active());
    saveNewCustomerRefused(w, boxes, "Değişiklik kaydedilmedi. " + report);
    EXPECT_EQ(fileBytes(db.path()), before);
}

TEST(StartupCheck, AFifoNamedLikeTheDatabaseDoesNotHangTheStart) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    Boxes boxes;
    QElapsedTimer timer;
    timer.start();
    // (On the old code this constructor never returned; ctest's time-out ended the test.)
    app::TfrmMain w(dir.path() + '/');
    const app::MainParts parts(w);
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(boxes.errors, QStringList{"Could not find file '" + path + "'"});
    EXPECT_FALSE(parts.qryMain.active());
}

} // namespace
