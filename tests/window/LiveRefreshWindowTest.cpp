// Two workstations on one database file, on a real X server: what the other process (the
// program's record sets in a process of their own) and the sqlite3 shell save shows in the
// window within a second, the current customer kept; the visits of the customer on screen and
// the totals line follow; a dialog open on a row the other side changes keeps its values.
#include "app/Main.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "controls/RecordInspector.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "dialogs/EditDialog.h"
#include "tests/support/Boxes.h"
#include "tests/support/CommandDialog.h"
#include "tests/support/PeerProcess.h"
#include "tests/support/TestDatabase.h"
#include "tests/support/WorkstationPeer.h"
#include "tests/window/XInput.h"

#include <QApplication>
#include <QPaintEvent>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using testsupport::Boxes;

namespace {

class LiveRefreshWindow : public ::testing::Test {
protected:
    void SetUp() override {
        ahmet = db.addCustomer("Ahmet", "34 AH 1");
        mehmet = db.addCustomer("Mehmet", "34 ME 2");
        zeynep = db.addCustomer("Zeynep", "34 ZE 3");
        db.addVisit(ahmet, "100.0000", "", "");
        db.addVisit(mehmet, "200.0000", "50.0000", "");
        db.addVisit(zeynep, "300.0000", "", "");
        w = std::make_unique<app::TfrmMain>(db.directory());
        w->move(0, 0);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        customers()->next(); // Mehmet, the second row
    }
    void TearDown() override {
        w.reset();
        QTest::qWait(50);
    }
    template <typename T> T* find(const char* name) const {
        T* child = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    data::TDataSet* customers() const {
        return find<controls::TRecordGrid>("grdMain")->dataSource()->dataSet();
    }
    data::TDataSet* visits() const {
        return find<controls::TRecordGrid>("grdServis")->dataSource()->dataSet();
    }
    QString current() const { return customers()->fieldByName("f_adi").asString(); }
    QString totals() const { return find<controls::TGradPanel>("pnlToplam")->caption(); }
    // The names of the customers in read order, through a copy of the cursor.
    QStringList names() const {
        QStringList result;
        const data::TField* name = &customers()->fieldByName("f_adi");
        customers()->readRecords({name}, [&](const data::TRecordValues& record) {
            result << std::get<QString>(record[0]);
        });
        return result;
    }
    static bool withinASecond(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 1000);
    }

    testsupport::TestDatabase db;
    qint64 ahmet = 0, mehmet = 0, zeynep = 0;
    std::unique_ptr<app::TfrmMain> w;
    Boxes boxes;
};

TEST_F(LiveRefreshWindow, CustomersSavedByTheOtherProcessAndTheShellShowAndTheCurrentOneStays) {
    testsupport::WorkstationPeer other(WORKSTATION_PEER, data::fileConnectionString(db.path()));
    testsupport::PeerProcess shell(db.path());
    ASSERT_EQ(current(), "Mehmet");
    const int row = customers()->activeRecord();

    const qint64 ayse = other.add({"add-customer", "Ayşe Yeni"});
    EXPECT_TRUE(withinASecond([&] { return customers()->recordCount() == 4; }));
    EXPECT_EQ(names(), QStringList({"Ahmet", "Mehmet", "Zeynep", "Ayşe Yeni"}));

    other.expectOk({"set-customer", QString::number(zeynep), "f_adi", "Zeynep Kaya"});
    EXPECT_TRUE(withinASecond([&] { return names().contains("Zeynep Kaya"); }));
    EXPECT_EQ(
        shell.run(QString("UPDATE t_musteri SET f_adi = 'Ahmet Bey' WHERE id = %1;").arg(ahmet)),
        "");
    EXPECT_TRUE(withinASecond([&] { return names().contains("Ahmet Bey"); }));
    other.expectOk({"delete-customer", QString::number(ayse)});
    EXPECT_TRUE(withinASecond([&] { return customers()->recordCount() == 3; }));
    EXPECT_EQ(names(), QStringList({"Ahmet Bey", "Mehmet", "Zeynep Kaya"}));

    EXPECT_EQ(current(), "Mehmet") << "the current customer stays current";
    EXPECT_EQ(customers()->activeRecord(), row) << "and at its place";
    EXPECT_EQ(visits()->recordCount(), 1) << "its visits stay";
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

// The region of every paint event a widget receives.
class PaintedRegion : public QObject {
public:
    explicit PaintedRegion(QWidget* widget) { widget->installEventFilter(this); }
    QRegion region;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            region += static_cast<QPaintEvent*>(event)->region();
        return false;
    }
};

// A customer the shell changes: the customer grid paints that row again and nothing else, and the
// screen then shows exactly what a full repaint of the grid shows.
TEST_F(LiveRefreshWindow, ACustomerChangedElsewhereRepaintsItsRowAlone) {
    testsupport::PeerProcess shell(db.path());
    auto* grid = find<controls::TRecordGrid>("grdMain");
    PaintedRegion painted(grid);
    for (int i = 0; i < 20; ++i) { // settled: nothing painted for a tenth of a second
        painted.region = QRegion();
        QTest::qWait(100);
        if (painted.region.isEmpty())
            break;
    }
    ASSERT_TRUE(painted.region.isEmpty()) << "the grid keeps painting";
    const QImage before = xinput::onScreen(grid);
    EXPECT_EQ(
        shell.run(
            QString("UPDATE t_musteri SET f_tel = '0212 999 88 77' WHERE id = %1;").arg(zeynep)),
        "");
    EXPECT_TRUE(withinASecond([&] { return !painted.region.isEmpty(); }));
    QTest::qWait(100);
    const QImage after = xinput::onScreen(grid);

    QRect changed; // where the screen changed
    for (int y = 0; y < after.height(); ++y)
        for (int x = 0; x < after.width(); ++x)
            if (after.pixel(x, y) != before.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
    ASSERT_FALSE(changed.isEmpty()) << "the new phone number is not shown";
    const QRect box = painted.region.boundingRect();
    EXPECT_TRUE(box.contains(changed)) << "changed pixels outside the painted area";
    EXPECT_LT(box.height(), grid->height() / 5) << "more than the changed row was painted";
    EXPECT_GT(changed.top(), grid->height() / 5) << "Zeynep's row is the third";

    grid->repaint();
    QTest::qWait(50);
    EXPECT_TRUE(xinput::onScreen(grid) == after) << "a full repaint shows something else";
    EXPECT_EQ(current(), "Mehmet");
}

TEST_F(LiveRefreshWindow, MusteriAraFindsACustomerTheOtherProcessAddedAMomentAgo) {
    testsupport::WorkstationPeer other(WORKSTATION_PEER, data::fileConnectionString(db.path()));
    other.add({"add-customer", "Çağlar Şimşek"});
    EXPECT_TRUE(withinASecond([&] { return customers()->recordCount() == 4; }));
    boxes.typed = "Çağ";
    QTest::mouseClick(find<controls::TGradButton>("btnMusteriAra"), Qt::LeftButton);
    EXPECT_EQ(current(), "Çağlar Şimşek");
    EXPECT_EQ(visits()->recordCount(), 0) << "its (no) visits are listed";
}

TEST_F(LiveRefreshWindow, VisitsOfTheCustomerOnScreenFollowWithTheTotalsLine) {
    testsupport::WorkstationPeer other(WORKSTATION_PEER, data::fileConnectionString(db.path()));
    testsupport::PeerProcess shell(db.path());
    ASSERT_EQ(totals(), "Toplam Tutar:  250,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  250,00 TL  ");
    const qint64 visit = other.add({"add-visit", QString::number(mehmet), "12000", "100"});
    EXPECT_TRUE(withinASecond([&] { return visits()->recordCount() == 2; }));
    EXPECT_EQ(totals(), "Toplam Tutar:  350,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  350,00 TL  ");

    EXPECT_EQ(
        shell.run(QString("UPDATE t_servis SET f_odeme = '350.0000' WHERE id = %1;").arg(visit)),
        "");
    EXPECT_TRUE(withinASecond([&] { return totals().contains("Toplam Ödeme:  350,00 TL"); }))
        << totals().toStdString();

    const QString before = totals();
    other.add({"add-visit", QString::number(zeynep), "5000", "999"});
    other.add({"add-customer", "Sonra"}); // shown, so the refresh has surely run
    EXPECT_TRUE(withinASecond([&] { return customers()->recordCount() == 4; }));
    EXPECT_EQ(visits()->recordCount(), 2) << "another customer's visit is not listed";
    EXPECT_EQ(totals(), before);

    other.expectOk({"delete-visit", QString::number(visit)});
    EXPECT_TRUE(withinASecond([&] { return visits()->recordCount() == 1; }));
    EXPECT_EQ(totals(), "Toplam Tutar:  250,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  250,00 TL  ");
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

TEST_F(LiveRefreshWindow, TheCurrentCustomerDeletedElsewhereGivesWayAndTheVisitsFollow) {
    testsupport::WorkstationPeer other(WORKSTATION_PEER, data::fileConnectionString(db.path()));
    other.expectOk({"delete-customer", QString::number(mehmet)});
    EXPECT_TRUE(withinASecond([&] { return current() == "Zeynep"; }))
        << "the customer after it, as after a delete here";
    EXPECT_EQ(visits()->recordCount(), 1);
    EXPECT_EQ(visits()->fieldByName("id_musteri").asInteger(), zeynep);
    EXPECT_EQ(totals(), "Toplam Tutar:  300,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  300,00 TL  ");
}

TEST_F(LiveRefreshWindow, ADialogOnARowTheOtherSideChangesKeepsItsValuesAndKaydetMeetsTheConflict) {
    testsupport::WorkstationPeer other(WORKSTATION_PEER, data::fileConnectionString(db.path()));
    testsupport::runCommandDialog(
        find<controls::TGradButton>("btnMusteriDuzenle"),
        [&](dialogs::TEditDialog& d) {
            d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(0); // Müşteri Adı
            testsupport::typeText("Mehmet Can");
            testsupport::pressKey(Qt::Key_Tab);
            other.expectOk({"set-customer", QString::number(mehmet), "f_adi", "Mehmet Öz"});
            QTest::qWait(700); // longer than a refresh takes
            EXPECT_EQ(customers()->state(), data::TDataSetState::dsEdit);
            EXPECT_EQ(current(), "Mehmet Can") << "the typed value is untouched";
            QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
            EXPECT_TRUE(d.isVisible());
            ASSERT_EQ(boxes.errors.size(), 1);
            EXPECT_TRUE(boxes.errors[0].startsWith("Row cannot be located"))
                << boxes.errors[0].toStdString();
            EXPECT_EQ(current(), "Mehmet Can");
            QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
        },
        testsupport::DialogFocus::Any);
    EXPECT_TRUE(withinASecond([&] { return current() == "Mehmet Öz"; }))
        << "once the dialog is closed, the list shows what is stored";
    EXPECT_EQ(db.scalar(QString("select f_adi from t_musteri where id = %1").arg(mehmet)),
              "Mehmet Öz");
}

} // namespace
