// Tests of the main window: its children and geometry, the visit list and the totals line.
#include "app/Main.h"
#include "app/MainParts.h"
#include "app/Splitter.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "data/Connection.h"
#include "data/Schema.h"
#include "data/Totals.h"
#include "platform/Application.h"
#include "tests/support/Boxes.h"
#include "tests/support/PaintCounter.h"
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
    static QString totals(app::TfrmMain& w) { return app::MainParts(w).pnlToplam->caption(); }
};

TEST_F(MainWindow, HasTheNamedChildrenWithTheirGeometry) {
    auto w = open();
    const app::MainParts parts(*w);
    EXPECT_EQ(w->windowTitle(), "Korvela Takip");
    EXPECT_EQ(parts.pnlHeader->height(), 53);
    EXPECT_EQ(parts.grdMain->height(), 189);
    EXPECT_EQ(parts.pnlToplam->height(), 24);
    EXPECT_EQ(parts.pnlButtons->height(), 41);
    EXPECT_EQ(parts.splMain->height(), 5);
    EXPECT_EQ(parts.pnlHeader->geometry().topLeft(), QPoint(5, 5));
    EXPECT_EQ(parts.grdMain->y(), 5 + 53 + 5);
    EXPECT_EQ(parts.splMain->y(), parts.grdMain->geometry().bottom() + 1);
    EXPECT_EQ(parts.grdServis->y(), parts.splMain->geometry().bottom() + 1);
    EXPECT_EQ(parts.grdServis->geometry().bottom() + 1, parts.pnlToplam->y());
    EXPECT_EQ(parts.pnlToplam->geometry().bottom() + 1, parts.pnlButtons->y());
    EXPECT_EQ(parts.pnlButtons->geometry().bottom() + 1, w->height() - 5);
    int lefts[] = {2, 89, 176, 263, 423, 510, 597};
    controls::TGradButton* buttons[] = {
        parts.btnMusteriYeni, parts.btnMusteriDuzenle, parts.btnMusteriSil, parts.btnMusteriAra,
        parts.btnServisYeni,  parts.btnServisDuzenle,  parts.btnServisSil};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(buttons[i]->geometry(), QRect(lefts[i], 6, 85, 27)) << i;
    }
    for (QWidget* child : std::initializer_list<QWidget*>{
             parts.pnlHeader, parts.grdMain, parts.grdServis, parts.pnlToplam, parts.pnlButtons})
        EXPECT_EQ(child->width(), w->width() - 10);
}

TEST_F(MainWindow, TheGridsHoldTheirColumnListsAsStored) {
    auto w = open();
    const app::MainParts parts(*w);
    EXPECT_EQ(parts.grdMain->selected(),
              QStringList({"f_arac_plaka\t20\tAraç Plakası", "f_adi\t20\tMüşteri Adı",
                           "f_tel\t20\tTelefon", "f_gsm\t20\tCep Telefonu"}));
    EXPECT_EQ(parts.grdServis->selected(),
              QStringList({"id\t10\tKayıt No", "tarih\t12\tTarih", "km\t10\tKM", "ariza\t20\tArıza",
                           "islem\t20\tYapılan İşlem", "iscilik\t12\tİşçilik", "tutar\t12\tTutar",
                           "odeme\t12\tÖdeme"}));
}

TEST_F(MainWindow, ServiceButtonsFollowTheRightEdge) {
    auto w = open();
    const app::MainParts parts(*w);
    w->resize(w->width() + 100, w->height() + 50);
    EXPECT_EQ(parts.btnMusteriAra->x(), 263);
    EXPECT_EQ(parts.btnServisYeni->x(), 523);
    EXPECT_EQ(parts.btnServisSil->x(), 697);
    EXPECT_EQ(parts.btnServisSil->y(), 6);
    EXPECT_EQ(parts.grdMain->height(), 189);
}

TEST_F(MainWindow, TabOrderRunsThroughTheButtonsRightToLeft) {
    auto w = open();
    const app::MainParts parts(*w);
    QWidget* expected[] = {parts.btnServisSil,   parts.btnServisDuzenle, parts.btnServisYeni,
                           parts.btnMusteriAra,  parts.btnMusteriSil,    parts.btnMusteriDuzenle,
                           parts.btnMusteriYeni, parts.grdServis};
    QWidget* at = parts.grdMain;
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
    const app::MainParts parts(*w);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts.qryServis.commandText(),
              QString("select * from t_servis where id_musteri=%1\r\n").arg(a));
    EXPECT_EQ(
        totals(*w),
        "Toplam Tutar:  150,50 TL  -   Toplam Ödeme:  120,00 TL  -   Kalan Ödeme:  30,50 TL  ");
    EXPECT_EQ(parts.qryServis.fieldByName("c_kalan").displayText(), "30,50 TL");

    parts.qryMain.next();
    EXPECT_EQ(parts.qryServis.recordCount(), 2);
    EXPECT_EQ(totals(*w), "Toplam Tutar:  1.234,50 TL  -   Toplam Ödeme:  2.000,00 TL  -   "
                          "Kalan Ödeme:  -765,50 TL  ");
    // After each reload the current visit is the last one.
    EXPECT_EQ(parts.qryServis.recNo(), 2);
    EXPECT_TRUE(parts.qryServis.eof());

    parts.qryMain.next();
    EXPECT_EQ(parts.qryServis.recordCount(), 0);
    EXPECT_EQ(totals(*w), kZeroTotals);
}

TEST_F(MainWindow, MovingThroughNoneOneAndAThousandVisitsShowsTheSumsTheFileHolds) {
    const qint64 none = db.addCustomer("A Hiç"), one = db.addCustomer("B Bir"),
                 many = db.addCustomer("C Bin");
    db.addVisit(one, "100.0000", "50.5000", "120.0000");
    db.exec(
        QString("with recursive n(i) as (select 1 union all select i + 1 from n where i < 1000) "
                "insert into t_servis (id_musteri, f_iscilik, f_tutar, f_odeme) select %1, "
                "printf('%d.2500', i % 7), printf('%d.0000', i % 3), printf('%d.5000', "
                "i % 5) from n")
            .arg(many));
    auto w = open();
    const app::MainParts parts(*w);
    testsupport::PaintCounter visitPaints(parts.grdServis);
    QCoreApplication::processEvents();
    // The sums as another connection reads them from the file, in ten-thousandths.
    const auto sum = [&](const char* amount, qint64 customer) {
        return Money::fromRaw(
            db.scalar(QString("select coalesce(sum(cast(round(%1 * 10000) as integer)), 0) from "
                              "t_servis where id_musteri = %2")
                          .arg(amount)
                          .arg(customer))
                .toLongLong());
    };
    for (const auto& [customer, visits] : {std::pair{none, 0}, {one, 1}, {many, 1000}, {one, 1}}) {
        ASSERT_TRUE(parts.qryMain.locate("id", {QString::number(customer)}, {}));
        const int paintsBefore = visitPaints.count();
        QCoreApplication::processEvents();
        EXPECT_EQ(visitPaints.count(), paintsBefore + 1) << visits << " visits: painted once";
        const Money labour = sum("f_iscilik", customer), material = sum("f_tutar", customer),
                    paid = sum("f_odeme", customer);
        const Money total = labour + material;
        EXPECT_EQ(totals(*w).toStdString(),
                  data::totalsLineText(total, paid, total - paid).toStdString())
            << visits << " visits";
        EXPECT_EQ(parts.qryServis.recordCount(), visits);
        // The pass leaves the last visit current, the set at its end.
        EXPECT_EQ(parts.qryServis.recNo(), visits == 0 ? -1 : visits);
        EXPECT_TRUE(parts.qryServis.eof());
    }
}

TEST_F(MainWindow, WithoutAnyCustomerTheListsStayEmptyWithoutAnError) {
    auto w = open();
    const app::MainParts parts(*w);
    EXPECT_TRUE(boxes.errors.isEmpty());
    EXPECT_TRUE(parts.qryMain.active());
    EXPECT_FALSE(parts.qryServis.active());
    EXPECT_EQ(totals(*w), "Toplam Ödeme:  0 TL  -   Kalan Ödeme:  0 TL  ");
}

TEST_F(MainWindow, DeletingTheLastCustomerShowsNoErrorAndZeroSums) {
    qint64 a = db.addCustomer("Tek Müşteri");
    db.addVisit(a, "10.0000", "", "");
    auto w = open();
    const app::MainParts parts(*w);
    parts.btnMusteriSil->click();
    EXPECT_EQ(boxes.messages, QStringList{"Bu kayıt tamamen silinecek ?"});
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_TRUE(parts.qryMain.isEmpty());
    EXPECT_EQ(totals(*w), kZeroTotals);
    // The visits went with their customer.
    EXPECT_EQ(db.count("t_servis"), 0);
}

TEST_F(MainWindow, AbandoningANewCustomerOnAnEmptyTableShowsNoError) {
    auto w = open();
    const app::MainParts parts(*w);
    parts.qryMain.insert();
    parts.qryMain.cancel();
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(totals(*w), kZeroTotals);
}

TEST_F(MainWindow, APostedCustomerShowsItsOwnVisits) {
    qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "10.0000", "", "");
    auto w = open();
    const app::MainParts parts(*w);
    EXPECT_EQ(parts.qryServis.recordCount(), 1);
    parts.qryMain.insert();
    parts.qryMain.fieldByName("f_adi").setAsString("Yeni Müşteri");
    parts.qryMain.post();
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Yeni Müşteri");
    EXPECT_EQ(parts.qryServis.recordCount(), 0);
    EXPECT_EQ(totals(*w), kZeroTotals);
}

TEST_F(MainWindow, AMissingDatabaseShowsTheErrorThenTheEmptyWindow) {
    QTemporaryDir empty;
    auto w = std::make_unique<app::TfrmMain>(empty.path() + '/');
    const app::MainParts parts(*w);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("Korvela.mdb")) << boxes.errors[0].toStdString();
    EXPECT_FALSE(parts.qryMain.active());
    EXPECT_FALSE(parts.dbsPRJ.connected());
    // Every command fails with its own message, and the program goes on.
    boxes.errors.clear();
    platform::guarded([&] { parts.btnMusteriSil->click(); });
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
    const app::MainParts parts(*w);
    EXPECT_EQ(boxes.errors.size(), 1);
    EXPECT_FALSE(parts.qryMain.active());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), garbage);
}

TEST_F(MainWindow, ADirectoryWithASemicolonStillConnects) {
    QTemporaryDir parent;
    QString dir = parent.path() + "/a;b/";
    ASSERT_TRUE(QDir().mkpath(dir));
    ASSERT_TRUE(QFile::copy(db.path(), dir + "Korvela.mdb"));
    auto w = std::make_unique<app::TfrmMain>(dir);
    const app::MainParts parts(*w);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_TRUE(parts.qryMain.active());
}

TEST_F(MainWindow, TheSplitterKeepsThirtyPixelsAndCollapses) {
    auto w = open();
    const app::MainParts parts(*w);
    int available = parts.grdMain->height() + parts.grdServis->height();
    EXPECT_EQ(parts.splMain->sizeForDrag(-100), 89);
    EXPECT_EQ(parts.splMain->sizeForDrag(-159), 0); // 30 or less collapses
    EXPECT_EQ(parts.splMain->sizeForDrag(-150), 39);
    EXPECT_EQ(parts.splMain->sizeForDrag(1000), available - 30);
    QTest::mousePress(parts.splMain, Qt::LeftButton, {}, QPoint(10, 2));
    QTest::mouseMove(parts.splMain, QPoint(10, 52));
    EXPECT_EQ(parts.grdMain->height(), 189); // only the release applies it
    QTest::mouseRelease(parts.splMain, Qt::LeftButton, {}, QPoint(10, 52));
    EXPECT_EQ(parts.grdMain->height(), 239);
    EXPECT_EQ(parts.grdMain->height() + parts.grdServis->height(), available);
}

TEST_F(MainWindow, TotalsTextOfExtremeSumsIsEmptyNotWrong) {
    EXPECT_EQ(
        data::totalsLineText(Money::fromUnits(1234), {}, Money::fromRaw(-305000)),
        "Toplam Tutar:  1.234,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  -30,50 TL  ");
    QString huge = data::totalsLineText(Money::fromRaw(INT64_MAX), {}, {});
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
        const app::MainParts parts(w);
        EXPECT_EQ(boxes.errors, QStringList{data::upgradeNeededMessage(path)});
        EXPECT_TRUE(boxes.errors.value(0).contains("korvela-admin upgrade"));
        EXPECT_FALSE(parts.dbsPRJ.connected());
        EXPECT_FALSE(parts.qryMain.active());
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before) << "the program never writes to such a file";
    file.close();

    QProcess admin;
    admin.start(KORVELA_ADMIN_PROGRAM, {"upgrade", path});
    ASSERT_TRUE(admin.waitForFinished(30000));
    EXPECT_EQ(admin.exitCode(), 0) << admin.readAllStandardError().toStdString();
    EXPECT_EQ(admin.readAllStandardOutput(),
              "korvela-admin: upgraded '" + path.toUtf8() + "' (1 customers, 1 visits kept)\n");

    boxes.errors.clear();
    app::TfrmMain w(dir.path() + '/');
    const app::MainParts parts(w);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Ahmet");
    EXPECT_EQ(
        totals(w),
        "Toplam Tutar:  100,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  100,00 TL  ");
}

} // namespace
