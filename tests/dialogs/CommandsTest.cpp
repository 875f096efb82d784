// End-to-end tests of the seven commands: the real main window, its dialogs driven with keys and
// clicks, and the database file checked through a second connection.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "controls/RecordInspector.h"
#include "dialogs/Customer.h"
#include "dialogs/Service.h"
#include "platform/Application.h"
#include "tests/support/AfterCommit.h"
#include "tests/support/Boxes.h"
#include "tests/support/CommandDialog.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/SqliteHandle.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

using testsupport::AfterCommit;
using testsupport::PeerProcess;
using testsupport::TestDatabase;

namespace {

using testsupport::Boxes;

class Commands : public ::testing::Test {
protected:
    TestDatabase db;
    Boxes boxes;
    std::unique_ptr<app::TfrmMain> w;
    std::optional<app::MainParts> parts; // found once the window is built

    void open() {
        w = std::make_unique<app::TfrmMain>(db.directory());
        parts.emplace(*w);
        w->show();
        QApplication::setActiveWindow(w.get());
    }
    // Clicks a command button; the steps run inside the modal dialog it opens.
    void run(controls::TGradButton* button, std::function<void(dialogs::TEditDialog&)> steps) {
        testsupport::runCommandDialog(button, std::move(steps), testsupport::DialogFocus::Inside);
    }
    static void type(const QString& text) { testsupport::typeText(text); }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { testsupport::pressKey(k, m); }
    static void save(dialogs::TEditDialog& d) {
        QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
    }
    QString totals() { return parts->pnlToplam->caption(); }
    QString current(const char* field) { return parts->qryMain.fieldByName(field).asString(); }
    // Every error shown after a save that reached the file says that it was saved.
    void expectOnlySavedErrors() {
        for (const QString& e : boxes.errors)
            EXPECT_TRUE(e.startsWith("Kayıt kaydedildi, ancak ardından bir hata oluştu: "))
                << e.toStdString();
    }
};

TEST_F(Commands, ANewCustomerTypedRowByRowIsInTheFileWhenKaydetReturns) {
    db.addCustomer("Veli");
    open();
    run(parts->btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Müşteri Bilgisi");
        EXPECT_EQ(d.findChild<controls::TRecordInspector*>("insMain")->currentRow(), 0);
        type("Mehmet Demir");
        key(Qt::Key_Return);
        EXPECT_EQ(d.findChild<controls::TRecordInspector*>("insMain")->currentRow(), 1);
        type("0212 555 11 22");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(db.scalar("select f_adi from t_musteri where f_tel='0212 555 11 22'"),
              "Mehmet Demir");
    EXPECT_EQ(current("f_adi"), "Mehmet Demir");
    EXPECT_EQ(parts->qryMain.fieldByName("id").asString(),
              db.scalar("select id from t_musteri where f_adi='Mehmet Demir'"));
    EXPECT_EQ(parts->qryMain.recordCount(), 2);
}

TEST_F(Commands, IptalOnANewCustomerLeavesTheListExactlyAsBefore) {
    db.addCustomer("Veli");
    db.addCustomer("Ali");
    open();
    parts->qryMain.next();
    run(parts->btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        type("Vazgeçilen");
        QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
    });
    EXPECT_EQ(db.count("t_musteri"), 2);
    EXPECT_EQ(parts->qryMain.recordCount(), 2);
    EXPECT_EQ(current("f_adi"), "Ali");
    EXPECT_EQ(parts->qryMain.state(), data::TDataSetState::dsBrowse);
}

TEST_F(Commands, TheCloseBoxDiscardsAPendingCustomer) {
    db.addCustomer("Veli");
    open();
    run(parts->btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        type("Kapatılan");
        key(Qt::Key_Tab);
        d.close();
    });
    EXPECT_EQ(parts->qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(db.count("t_musteri"), 1);
}

TEST_F(Commands, EnterAndEscPressNoDialogButton) {
    db.addCustomer("Veli");
    open();
    run(parts->btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        key(Qt::Key_Escape);
        EXPECT_TRUE(d.isVisible());
        EXPECT_FALSE(d.findChild<QPushButton*>("btnTamam")->isDefault());
        EXPECT_FALSE(d.findChild<QPushButton*>("btnKapat")->isDefault());
        // Anchored to the bar's bottom-right corner inside the 10-pixel border: "İptal" ends on
        // the bar's right edge and nothing is cut off.
        EXPECT_EQ(d.findChild<QWidget*>("pnlButtons")->geometry(), QRect(10, 388, 352, 35));
        EXPECT_EQ(d.findChild<QPushButton*>("btnTamam")->geometry(), QRect(150, 10, 100, 23));
        EXPECT_EQ(d.findChild<QPushButton*>("btnKapat")->geometry(), QRect(252, 10, 100, 23));
        QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
    });
}

TEST_F(Commands, KaydetOnAnUnchangedEditWritesBackAndCloses) {
    db.addCustomer("Veli", "34 VL 1");
    open();
    run(parts->btnMusteriDuzenle, [&](dialogs::TEditDialog& d) { save(d); });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts->qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(db.scalar("select f_arac_plaka from t_musteri"), "34 VL 1");
}

TEST_F(Commands, DeletingAsksAndRemovesTheCustomerWithItsVisits) {
    qint64 a = db.addCustomer("Ahmet");
    qint64 b = db.addCustomer("Burak");
    db.addVisit(a, "10.0000", "", "");
    db.addVisit(b, "20.0000", "", "");
    open();
    boxes.answer = platform::MsgButton::No;
    QTest::mouseClick(parts->btnMusteriSil, Qt::LeftButton);
    EXPECT_EQ(boxes.messages, QStringList{"Bu kayıt tamamen silinecek ?"});
    EXPECT_EQ(db.count("t_musteri"), 2);
    boxes.answer = platform::MsgButton::Yes;
    QTest::mouseClick(parts->btnMusteriSil, Qt::LeftButton);
    EXPECT_EQ(db.count("t_musteri"), 1);
    EXPECT_EQ(db.scalar("select count(*) from t_servis where id_musteri=" + QString::number(a)),
              "0");
    EXPECT_EQ(current("f_adi"), "Burak");
    EXPECT_EQ(totals(),
              "Toplam Tutar:  20,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  20,00 TL  ");
}

TEST_F(Commands, SearchFindsTheAlphabeticallyFirstMatch) {
    db.addCustomer("Veli");
    db.addCustomer("Alper");
    db.addCustomer("Alican");
    db.addCustomer("O'Neil #1");
    db.addCustomer("100% Oto");
    db.addCustomer("1000 Oto");
    open();
    boxes.typed = "Al";
    QTest::mouseClick(parts->btnMusteriAra, Qt::LeftButton);
    EXPECT_EQ(boxes.inputs, QStringList{"Müşteri Arama|Müşteri Adı:|Veli"});
    EXPECT_EQ(current("f_adi"), "Alican");
    boxes.typed = "O'Neil #";
    QTest::mouseClick(parts->btnMusteriAra, Qt::LeftButton);
    EXPECT_EQ(current("f_adi"), "O'Neil #1");
    // Pattern characters are matched literally.
    boxes.typed = "100%";
    QTest::mouseClick(parts->btnMusteriAra, Qt::LeftButton);
    EXPECT_EQ(current("f_adi"), "100% Oto");
    boxes.typed = "1*";
    QTest::mouseClick(parts->btnMusteriAra, Qt::LeftButton);
    EXPECT_EQ(current("f_adi"), "100% Oto"); // nothing found: nothing changes
    boxes.typed = "xyz";
    QTest::mouseClick(parts->btnMusteriAra, Qt::LeftButton);
    EXPECT_EQ(current("f_adi"), "100% Oto");
    EXPECT_TRUE(boxes.errors.isEmpty());
    boxes.confirmInput = false;
    boxes.typed = "Veli";
    QTest::mouseClick(parts->btnMusteriAra, Qt::LeftButton);
    EXPECT_EQ(current("f_adi"), "100% Oto");
}

TEST_F(Commands, ANewVisitWithAmountsGivesTheTotalsLine) {
    qint64 a = db.addCustomer("Ahmet");
    open();
    run(parts->btnServisYeni, [&](dialogs::TEditDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Servis");
        EXPECT_EQ(d.findChild<controls::TRecordInspector*>("insMain")->currentRow(), 0);
        for (int i = 0; i < 6; ++i)
            key(Qt::Key_Tab);
        ASSERT_EQ(d.findChild<controls::TRecordInspector*>("insMain")->currentRow(), 6);
        type("100");
        key(Qt::Key_Tab);
        type("50,5");
        key(Qt::Key_Tab);
        EXPECT_EQ(parts->qryServis.fieldByName("c_toplam").displayText(), "150,50 TL");
        key(Qt::Key_Tab);
        type("120");
        key(Qt::Key_Tab);
        EXPECT_EQ(parts->qryServis.fieldByName("c_kalan").displayText(), "30,50 TL");
        save(d);
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(
        totals(),
        "Toplam Tutar:  150,50 TL  -   Toplam Ödeme:  120,00 TL  -   Kalan Ödeme:  30,50 TL  ");
    EXPECT_EQ(db.scalar("select f_tutar from t_servis"), "50.5000");
    EXPECT_EQ(db.scalar("select id_musteri from t_servis"), QString::number(a));
}

TEST_F(Commands, EditingAndDeletingVisitsKeepTheTotalsRight) {
    qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "100.0000", "", "");
    db.addVisit(a, "10.0000", "", "");
    open();
    run(parts->btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(6);
        type("40");
        save(d);
    });
    EXPECT_EQ(
        totals(),
        "Toplam Tutar:  140,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  140,00 TL  ");
    QTest::mouseClick(parts->btnServisSil, Qt::LeftButton);
    EXPECT_EQ(boxes.messages.last(), "Bu servis kaydı tamamen silinecek ?");
    EXPECT_EQ(db.count("t_servis"), 1);
    EXPECT_EQ(
        totals(),
        "Toplam Tutar:  100,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  100,00 TL  ");
}

TEST_F(Commands, EditOnAnEmptyVisitListStartsALinkedVisit) {
    qint64 a = db.addCustomer("Ahmet");
    open();
    run(parts->btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        EXPECT_EQ(parts->qryServis.state(), data::TDataSetState::dsInsert);
        key(Qt::Key_Tab);
        type("12000");
        save(d);
    });
    EXPECT_EQ(db.scalar("select id_musteri from t_servis"), QString::number(a));
    EXPECT_EQ(parts->qryServis.recordCount(), 1);
}

TEST_F(Commands, WithoutACustomerNoVisitIsStarted) {
    open();
    QTest::mouseClick(parts->btnServisYeni, Qt::LeftButton);
    QTest::mouseClick(parts->btnServisDuzenle, Qt::LeftButton);
    ASSERT_EQ(boxes.messages.size(), 2);
    EXPECT_EQ(boxes.messages[0], "Servis kaydı için önce bir müşteri seçilmelidir.");
    EXPECT_EQ(boxes.messages[1], boxes.messages[0]);
    EXPECT_TRUE(boxes.errors.isEmpty());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(db.count("t_servis"), 0);
}

TEST_F(Commands, AFailedSaveKeepsTheDialogAndItsValuesAndARetrySucceeds) {
    db.addCustomer("Veli", "34 VL 1");
    open();
    run(parts->btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        type("Veli Yeni");
        key(Qt::Key_Tab);
        // Another workstation changes the same name meanwhile.
        db.exec("update t_musteri set f_adi='Başkası'");
        save(d);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_TRUE(boxes.errors[0].contains("Row cannot be located"))
            << boxes.errors[0].toStdString();
        EXPECT_EQ(parts->qryMain.state(), data::TDataSetState::dsEdit);
        EXPECT_EQ(current("f_adi"), "Veli Yeni");
        // Fixed: the other change is undone, and the same values save.
        db.exec("update t_musteri set f_adi='Veli'");
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(db.scalar("select f_adi from t_musteri"), "Veli Yeni");
}

// ---- a save that reached the file is done, whatever fails after it ----

TEST_F(Commands, AVisitWhoseReadBackAnotherProgramLocksOutIsSavedOnceAndTheDialogCloses) {
    const qint64 a = db.addCustomer("Ahmet");
    open();
    sqlite3* handle = testsupport::sqliteHandleOf(parts->dbsPRJ.engine());
    sqlite3_busy_timeout(handle, 200);
    PeerProcess peer(db.path());
    AfterCommit lock(handle, [&] { EXPECT_EQ(peer.run("BEGIN EXCLUSIVE;"), ""); });
    run(parts->btnServisYeni, [&](dialogs::TEditDialog& d) {
        key(Qt::Key_Tab);
        type("12000");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_TRUE(lock.fired());
    EXPECT_EQ(peer.run("ROLLBACK;"), "");
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts->qryServis.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(db.count("t_servis"), 1);
    EXPECT_EQ(parts->qryServis.recordCount(), 1);
    // The next edit of the same visit is not refused against the first save.
    run(parts->btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        key(Qt::Key_Tab);
        type("13000");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(db.scalar("select f_km || '/' || id_musteri from t_servis"),
              "13000/" + QString::number(a));
}

TEST_F(Commands, ANewCustomerWhoseVisitsCannotBeReadForALockIsSavedOnceAndSaysSo) {
    db.addCustomer("Veli");
    open();
    sqlite3* handle = testsupport::sqliteHandleOf(parts->dbsPRJ.engine());
    sqlite3_busy_timeout(handle, 200);
    PeerProcess peer(db.path());
    AfterCommit lock(handle, [&] { EXPECT_EQ(peer.run("BEGIN EXCLUSIVE;"), ""); });
    run(parts->btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        type("Mehmet");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible()) << "the save is done: the dialog closes";
    });
    EXPECT_EQ(peer.run("ROLLBACK;"), "");
    EXPECT_EQ(
        boxes.errors,
        QStringList{"Kayıt kaydedildi, ancak ardından bir hata oluştu: "
                    "Veritabanı dosyası şu anda başka bir bilgisayar ya da program tarafından "
                    "kullanılıyor (kilitli). Birkaç saniye bekleyip yeniden deneyin. Ayrıntı: "
                    "database is locked."});
    EXPECT_EQ(parts->qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi = 'Mehmet'"), "1");
    EXPECT_EQ(current("f_adi"), "Mehmet");
}

TEST_F(Commands, AnUnreadableAmountInTheVisitsDoesNotHideThatTheNewPhoneIsStored) {
    const qint64 a = db.addCustomer("Veli");
    db.addVisit(a, "abc", "", "");
    open();
    boxes.errors.clear(); // what opening the visit list said is not this test's concern
    run(parts->btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        key(Qt::Key_Tab);
        type("0212 555 11 22");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    expectOnlySavedErrors();
    EXPECT_EQ(parts->qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(db.scalar("select f_tel from t_musteri"), "0212 555 11 22");
    EXPECT_EQ(db.count("t_musteri"), 1);
}

TEST_F(Commands, AMissingVisitColumnDoesNotHideThatTheNewCustomerIsStored) {
    db.exec("alter table t_servis drop column f_km");
    db.addCustomer("Veli");
    open();
    boxes.errors.clear();
    run(parts->btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        type("Mehmet");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(boxes.errors[0],
              "Kayıt kaydedildi, ancak ardından bir hata oluştu: qryServis: Field 'KM' not found.");
    EXPECT_EQ(parts->qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi = 'Mehmet'"), "1");
}

TEST_F(Commands, AFailingHandlerAfterTheSaveClosesTheVisitDialogAndNothingIsWrittenTwice) {
    db.addCustomer("Ahmet");
    open();
    parts->qryServis.AfterPost = [](data::TDataSet&) { throw EDatabaseError("boom"); };
    run(parts->btnServisYeni, [&](dialogs::TEditDialog& d) {
        key(Qt::Key_Tab);
        type("12000");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(boxes.errors, QStringList{"Kayıt kaydedildi, ancak ardından bir hata oluştu: boom."});
    EXPECT_EQ(parts->qryServis.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(db.count("t_servis"), 1);
}

// ---- a visit needs its customer ----

TEST_F(Commands, AVisitForACustomerAnotherProgramDeletedIsRefusedAndKeepsItsValues) {
    const qint64 a = db.addCustomer("Ahmet");
    open();
    PeerProcess peer(db.path());
    run(parts->btnServisYeni, [&](dialogs::TEditDialog& d) {
        key(Qt::Key_Tab);
        type("12000");
        key(Qt::Key_Tab);
        EXPECT_EQ(peer.run(QString("DELETE FROM t_musteri WHERE id = %1;").arg(a)), "");
        save(d);
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(boxes.errors,
                  QStringList{"You cannot add or change a record because a related record is "
                              "required in table 't_musteri'"});
        EXPECT_EQ(parts->qryServis.state(), data::TDataSetState::dsInsert);
        EXPECT_EQ(parts->qryServis.fieldByName("f_km").asString(), "12000");
        d.close();
    });
    EXPECT_EQ(parts->qryServis.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(peer.scalar("SELECT count(*) FROM t_servis;"), "0");
}

// ---- after a conflict ----

TEST_F(Commands, AfterAConflictIptalShowsTheOtherChangeAndANewEditSaves) {
    db.addCustomer("Veli", "34 VL 1");
    open();
    PeerProcess peer(db.path());
    run(parts->btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        type("Veli Yeni");
        key(Qt::Key_Tab);
        EXPECT_EQ(peer.run("UPDATE t_musteri SET f_adi = 'Başkası';"), "");
        save(d);
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_TRUE(boxes.errors[0].startsWith("Row cannot be located"))
            << boxes.errors[0].toStdString();
        QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(current("f_adi"), "Başkası") << "the list shows what is stored now";
    run(parts->btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        type("Veli Yeni");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(boxes.errors.size(), 1) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(peer.scalar("SELECT f_adi FROM t_musteri;"), "Veli Yeni");
}

TEST_F(Commands, AfterAConflictTheCloseBoxRereadsTheVisit) {
    const qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "100.0000", "", "");
    open();
    PeerProcess peer(db.path());
    run(parts->btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(6);
        type("40");
        key(Qt::Key_Tab);
        EXPECT_EQ(peer.run("UPDATE t_servis SET f_iscilik = '55.0000';"), "");
        save(d);
        EXPECT_TRUE(d.isVisible());
        d.close();
    });
    EXPECT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(parts->qryServis.fieldByName("f_iscilik").displayText(), "55,00 TL");
    run(parts->btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(6);
        type("40");
        key(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(boxes.errors.size(), 1) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(peer.scalar("SELECT f_iscilik FROM t_servis;"), "40.0000");
}

} // namespace

TEST_F(Commands, ACommandLeavesTheCustomerGridWithTheFocus) {
    db.addCustomer("Ahmet");
    db.addCustomer("Veli");
    open();
    // The grids by name: this test program sees the inspector's declarations, not the grid's.
    QWidget* grdMain = w->findChild<QWidget*>("grdMain");
    QWidget* grdServis = w->findChild<QWidget*>("grdServis");
    ASSERT_TRUE(grdMain && grdServis);
    grdMain->setFocus(Qt::OtherFocusReason);
    run(parts->btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
    });
    QApplication::setActiveWindow(w.get());
    QApplication::processEvents();
    EXPECT_TRUE(grdMain->hasFocus());
    EXPECT_EQ(parts->qryMain.recNo(), 1);
    key(Qt::Key_Down);
    EXPECT_EQ(parts->qryMain.recNo(), 2);
    // A press on the visit grid's scroll bar (nothing to scroll for a customer without visits)
    // leaves the focus in the customer grid.
    auto* bar = grdServis->findChild<QScrollBar*>();
    ASSERT_TRUE(bar->isVisible());
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(grdMain->hasFocus());
    // Tab still reaches the buttons.
    parts->btnMusteriYeni->setFocus(Qt::TabFocusReason);
    EXPECT_TRUE(parts->btnMusteriYeni->hasFocus());
}

TEST_F(Commands, EnterOrSpaceOnAFocusedKaydetPressesIt) {
    open();
    run(parts->btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        type(QString::fromUtf8("İpek Öğüt"));
        // Enter, Enter... down the rows reaches Kaydet; one more Enter presses it.
        for (int row = 0; row < 14; ++row)
            key(Qt::Key_Return);
        ASSERT_TRUE(d.findChild<QPushButton*>("btnTamam")->hasFocus());
        EXPECT_TRUE(d.isVisible());
        key(Qt::Key_Return);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi='İpek Öğüt'"), "1");

    run(parts->btnMusteriYeni, [&](dialogs::TEditDialog& d) {
        type("Veli");
        d.findChild<QPushButton*>("btnKapat")->setFocus(Qt::TabFocusReason);
        key(Qt::Key_Space);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi='Veli'"), "0");
}
