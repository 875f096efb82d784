// Tests of the main window: its children and geometry, the visit list and the totals line.
#include "app/Main.h"
#include "app/MainControls.h"
#include "app/Splitter.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "data/Connection.h"
#include "data/Schema.h"
#include "platform/Application.h"
#include "tests/support/Boxes.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using testsupport::TestDatabase;

namespace {

// Captures what the default error path and the message boxes would show.
using testsupport::Boxes;

const char* kZeroTotals =
    "Toplam Tutar:  0,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  0,00 TL  ";

class MainWindow : public ::testing::Test {
protected:
    TestDatabase db;
    Boxes boxes;
    std::unique_ptr<app::TfrmMain> open() {
        auto w = std::make_unique<app::TfrmMain>(db.directory());
        w->show();
        return w;
    }
    static QString totals(app::TfrmMain& w) { return app::totalsCaption(w.pnlToplam); }
};

TEST_F(MainWindow, HasTheNamedChildrenWithTheirGeometry) {
    auto w = open();
    EXPECT_EQ(w->windowTitle(), "Korvela Takip");
    EXPECT_EQ(w->pnlHeader->height(), 53);
    EXPECT_EQ(w->grdMain->height(), 189);
    EXPECT_EQ(w->pnlToplam->height(), 24);
    EXPECT_EQ(w->pnlButtons->height(), 41);
    EXPECT_EQ(w->splMain->height(), 5);
    EXPECT_EQ(w->pnlHeader->geometry().topLeft(), QPoint(5, 5));
    EXPECT_EQ(w->grdMain->y(), 5 + 53 + 5);
    EXPECT_EQ(w->splMain->y(), w->grdMain->geometry().bottom() + 1);
    EXPECT_EQ(w->grdServis->y(), w->splMain->geometry().bottom() + 1);
    EXPECT_EQ(w->grdServis->geometry().bottom() + 1, w->pnlToplam->y());
    EXPECT_EQ(w->pnlToplam->geometry().bottom() + 1, w->pnlButtons->y());
    EXPECT_EQ(w->pnlButtons->geometry().bottom() + 1, w->height() - 5);
    int lefts[] = {2, 89, 176, 263, 423, 510, 597};
    controls::TGradButton* buttons[] = {
        w->btnMusteriYeni, w->btnMusteriDuzenle, w->btnMusteriSil, w->btnMusteriAra,
        w->btnServisYeni,  w->btnServisDuzenle,  w->btnServisSil};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(buttons[i]->geometry(), QRect(lefts[i], 6, 85, 27)) << i;
    }
    for (QWidget* child : std::initializer_list<QWidget*>{w->pnlHeader, w->grdMain, w->grdServis,
                                                          w->pnlToplam, w->pnlButtons})
        EXPECT_EQ(child->width(), w->width() - 10);
}

TEST_F(MainWindow, ServiceButtonsFollowTheRightEdge) {
    auto w = open();
    w->resize(w->width() + 100, w->height() + 50);
    EXPECT_EQ(w->btnMusteriAra->x(), 263);
    EXPECT_EQ(w->btnServisYeni->x(), 523);
    EXPECT_EQ(w->btnServisSil->x(), 697);
    EXPECT_EQ(w->btnServisSil->y(), 6);
    EXPECT_EQ(w->grdMain->height(), 189);
}

TEST_F(MainWindow, TabOrderRunsThroughTheButtonsRightToLeft) {
    auto w = open();
    QWidget* expected[] = {w->btnServisSil,   w->btnServisDuzenle, w->btnServisYeni,
                           w->btnMusteriAra,  w->btnMusteriSil,    w->btnMusteriDuzenle,
                           w->btnMusteriYeni, w->grdServis};
    QWidget* at = w->grdMain;
    for (QWidget* next : expected) {
        at = at->nextInFocusChain();
        while (at->focusPolicy() == Qt::NoFocus || !at->isVisibleTo(w.get()))
            at = at->nextInFocusChain();
        EXPECT_EQ(at, next) << next->objectName().toStdString();
    }
}

TEST_F(MainWindow, SelectingACustomerReloadsItsVisitsAndTotals) {
    qint64 a = db.addCustomer("Ahmet Yılmaz", "34 ABC 123");
    qint64 b = db.addCustomer("Ayşe Kaya", "06 XY 42");
    db.addCustomer("Veli Öztürk", "35 KL 7");
    db.addVisit(a, "100.0000", "50.5000", "120.0000");
    db.addVisit(b, "1000.0000", "234.5000", "2000.0000"); // overpaid
    db.addVisit(b, "", "", "");
    auto w = open();
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(w->qryServis.commandText(),
              QString("select * from t_servis where id_musteri=%1\r\n").arg(a));
    EXPECT_EQ(
        totals(*w),
        "Toplam Tutar:  150,50 TL  -   Toplam Ödeme:  120,00 TL  -   Kalan Ödeme:  30,50 TL  ");
    EXPECT_EQ(w->qryServis.fieldByName("c_kalan").displayText(), "30,50 TL");

    w->qryMain.next();
    EXPECT_EQ(w->qryServis.recordCount(), 2);
    EXPECT_EQ(totals(*w), "Toplam Tutar:  1.234,50 TL  -   Toplam Ödeme:  2.000,00 TL  -   "
                          "Kalan Ödeme:  -765,50 TL  ");
    // After each reload the current visit is the last one.
    EXPECT_EQ(w->qryServis.recNo(), 2);
    EXPECT_TRUE(w->qryServis.eof());

    w->qryMain.next();
    EXPECT_EQ(w->qryServis.recordCount(), 0);
    EXPECT_EQ(totals(*w), kZeroTotals);
}

TEST_F(MainWindow, WithoutAnyCustomerTheListsStayEmptyWithoutAnError) {
    auto w = open();
    EXPECT_TRUE(boxes.errors.isEmpty());
    EXPECT_TRUE(w->qryMain.active());
    EXPECT_FALSE(w->qryServis.active());
    EXPECT_EQ(totals(*w), "Toplam Ödeme:  0 TL  -   Kalan Ödeme:  0 TL  ");
}

TEST_F(MainWindow, DeletingTheLastCustomerShowsNoErrorAndZeroSums) {
    qint64 a = db.addCustomer("Tek Müşteri");
    db.addVisit(a, "10.0000", "", "");
    auto w = open();
    w->btnMusteriSilClick();
    EXPECT_EQ(boxes.messages, QStringList{"Bu kayıt tamamen silinecek ?"});
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_TRUE(w->qryMain.isEmpty());
    EXPECT_EQ(totals(*w), kZeroTotals);
    // The visits went with their customer.
    EXPECT_EQ(db.count("t_servis"), 0);
}

TEST_F(MainWindow, AbandoningANewCustomerOnAnEmptyTableShowsNoError) {
    auto w = open();
    w->qryMain.insert();
    w->qryMain.cancel();
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(totals(*w), kZeroTotals);
}

TEST_F(MainWindow, APostedCustomerShowsItsOwnVisits) {
    qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "10.0000", "", "");
    auto w = open();
    EXPECT_EQ(w->qryServis.recordCount(), 1);
    w->qryMain.insert();
    w->qryMain.fieldByName("f_adi").setAsString("Yeni Müşteri");
    w->qryMain.post();
    EXPECT_EQ(w->qryMain.fieldByName("f_adi").asString(), "Yeni Müşteri");
    EXPECT_EQ(w->qryServis.recordCount(), 0);
    EXPECT_EQ(totals(*w), kZeroTotals);
}

TEST_F(MainWindow, AMissingDatabaseShowsTheErrorThenTheEmptyWindow) {
    QTemporaryDir empty;
    auto w = std::make_unique<app::TfrmMain>(empty.path() + '/');
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("Korvela.mdb")) << boxes.errors[0].toStdString();
    EXPECT_FALSE(w->qryMain.active());
    EXPECT_FALSE(w->dbsPRJ.connected());
    // Every command fails with its own message, and the program goes on.
    boxes.errors.clear();
    platform::guarded([&] { w->btnMusteriSilClick(); });
    EXPECT_EQ(boxes.errors,
              QStringList{"qryMain: Cannot perform this operation on a closed dataset."});
}

TEST_F(MainWindow, ANonDatabaseFileIsReportedAndLeftUntouched) {
    QTemporaryDir dir;
    QFile file(dir.path() + "/Korvela.mdb");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray garbage("Standard Jet DB\0\0\0 not sqlite at all", 36);
    file.write(garbage);
    file.close();
    auto w = std::make_unique<app::TfrmMain>(dir.path() + '/');
    EXPECT_EQ(boxes.errors.size(), 1);
    EXPECT_FALSE(w->qryMain.active());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), garbage);
}

TEST_F(MainWindow, ADirectoryWithASemicolonStillConnects) {
    QTemporaryDir parent;
    QString dir = parent.path() + "/a;b/";
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(QFile::copy(db.path(), dir + "Korvela.mdb"));
    auto w = std::make_unique<app::TfrmMain>(dir);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_TRUE(w->qryMain.active());
}

TEST_F(MainWindow, TheSplitterKeepsThirtyPixelsAndCollapses) {
    auto w = open();
    int available = w->grdMain->height() + w->grdServis->height();
    EXPECT_EQ(w->splMain->sizeForDrag(-100), 89);
    EXPECT_EQ(w->splMain->sizeForDrag(-159), 0); // 30 or less collapses
    EXPECT_EQ(w->splMain->sizeForDrag(-150), 39);
    EXPECT_EQ(w->splMain->sizeForDrag(1000), available - 30);
    QTest::mousePress(w->splMain, Qt::LeftButton, {}, QPoint(10, 2));
    QTest::mouseMove(w->splMain, QPoint(10, 52));
    EXPECT_EQ(w->grdMain->height(), 189); // only the release applies it
    QTest::mouseRelease(w->splMain, Qt::LeftButton, {}, QPoint(10, 52));
    EXPECT_EQ(w->grdMain->height(), 239);
    EXPECT_EQ(w->grdMain->height() + w->grdServis->height(), available);
}

TEST_F(MainWindow, TotalsTextOfExtremeSumsIsEmptyNotWrong) {
    EXPECT_EQ(
        app::TfrmMain::totalsText(Money::fromUnits(1234), {}, Money::fromRaw(-305000)),
        "Toplam Tutar:  1.234,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  -30,50 TL  ");
    QString huge = app::TfrmMain::totalsText(Money::fromRaw(INT64_MAX), {}, {});
    EXPECT_TRUE(huge.startsWith("Toplam Tutar:   TL  -"));
}

TEST_F(MainWindow, AFileOfAnEarlierBuildIsRefusedWithTheUpgradeCommandAndOpensAfterIt) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    {
        // Made the way earlier builds made it: no key ties a visit to its customer.
        QString schema = data::schemaSql();
        schema.remove(" REFERENCES t_musteri (id) ON DELETE CASCADE");
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        const QString sql = schema + "INSERT INTO t_musteri (f_adi) VALUES ('Ahmet');"
                                     "INSERT INTO t_servis (id_musteri, f_iscilik) VALUES "
                                     "(1, '100.0000');";
        ASSERT_EQ(sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    {
        app::TfrmMain w(dir.path() + '/');
        EXPECT_EQ(boxes.errors, QStringList{data::upgradeNeededMessage(path)});
        EXPECT_TRUE(boxes.errors.value(0).contains("korvela-admin upgrade"));
        EXPECT_FALSE(w.dbsPRJ.connected());
        EXPECT_FALSE(w.qryMain.active());
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before) << "the program never writes to such a file";
    file.close();

    QProcess admin;
    admin.start(KORVELA_ADMIN, {"upgrade", path});
    ASSERT_TRUE(admin.waitForFinished(30000));
    EXPECT_EQ(admin.exitCode(), 0) << admin.readAllStandardError().toStdString();
    EXPECT_EQ(admin.readAllStandardOutput(),
              "korvela-admin: upgraded '" + path.toUtf8() + "' (1 customers, 1 visits kept)\n");

    boxes.errors.clear();
    app::TfrmMain w(dir.path() + '/');
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(w.qryMain.fieldByName("f_adi").asString(), "Ahmet");
    EXPECT_EQ(
        totals(w),
        "Toplam Tutar:  100,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  100,00 TL  ");
}

} // namespace
