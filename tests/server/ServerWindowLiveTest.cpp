// Two workstations on one database server: what the other process (the program's record sets in
// a process of their own) and psql save shows in the window within a second, the current
// customer kept and the totals following; an open dialog keeps its values; after the server was
// stopped and started while the other side added rows, every row shows.
#include "app/Main.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "controls/RecordInspector.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "dialogs/EditDialog.h"
#include "tests/pgengine/ServerTestSupport.h"
#include "tests/support/Boxes.h"
#include "tests/support/CommandDialog.h"
#include "tests/support/WorkstationPeer.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using testsupport::Boxes;

namespace {

class ServerWindowLive : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::resetTables();
        QFile ini(dir.path() + "/Korvela.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Database]\nServer=" + servertest::connectionString().toUtf8() + "\n");
        ini.close();
        ahmet = addCustomer("Ahmet");
        mehmet = addCustomer("Mehmet");
        zeynep = addCustomer("Zeynep");
        addVisit(mehmet, "200.0000");
        w = std::make_unique<app::TfrmMain>(dir.path() + '/');
        w->show();
        QApplication::setActiveWindow(w.get());
        customers()->next(); // Mehmet
    }
    void TearDown() override { w.reset(); }
    static qint64 addCustomer(const QString& name) {
        return servertest::scalar("INSERT INTO t_musteri (f_adi) VALUES ($1) RETURNING id",
                                  {name.toUtf8()})
            .toLongLong();
    }
    static void addVisit(qint64 customer, const char* labour) {
        servertest::exec("INSERT INTO t_servis (id_musteri, f_km, f_iscilik) VALUES ($1, '1', $2)",
                         {QByteArray::number(customer), QByteArray(labour)});
    }
    // psql, which knows nothing of the program, on the same server (the PG* variables name it).
    static void psql(const QString& sql) {
        QProcess p;
        p.start("psql", {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-c", sql});
        ASSERT_TRUE(p.waitForFinished(15000));
        ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    }
    template <typename T> T* find(const char* name) const {
        return w->findChild<T*>(QString::fromLatin1(name));
    }
    data::TDataSet* customers() const {
        return find<controls::TRecordGrid>("grdMain")->dataSource()->dataSet();
    }
    data::TDataSet* visits() const {
        return find<controls::TRecordGrid>("grdServis")->dataSource()->dataSet();
    }
    QString current() const { return customers()->fieldByName("f_adi").asString(); }
    QString totals() const { return find<controls::TGradPanel>("pnlToplam")->caption(); }
    QStringList names() const {
        QStringList result;
        customers()->readRecords(
            {&customers()->fieldByName("f_adi")},
            [&](const data::TRecordValues& record) { result << std::get<QString>(record[0]); });
        result.sort();
        return result;
    }
    static bool within(int ms, const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, ms);
    }

    QTemporaryDir dir;
    qint64 ahmet = 0, mehmet = 0, zeynep = 0;
    std::unique_ptr<app::TfrmMain> w;
    Boxes boxes;
};

TEST_F(ServerWindowLive, WhatTheOtherProcessAndPsqlSaveShowsWithinASecond) {
    testsupport::WorkstationPeer other(
        WORKSTATION_PEER, data::serverConnectionString(servertest::connectionString()));
    ASSERT_EQ(current(), "Mehmet");
    const qint64 ayse = other.add({"add-customer", "Ayşe"});
    EXPECT_TRUE(within(1000, [&] { return customers()->recordCount() == 4; }));
    psql(QString("UPDATE t_musteri SET f_adi = 'Zeynep Kaya' WHERE id = %1").arg(zeynep));
    EXPECT_TRUE(within(1000, [&] { return names().contains("Zeynep Kaya"); }));
    other.expectOk({"delete-customer", QString::number(ayse)});
    EXPECT_TRUE(within(1000, [&] { return customers()->recordCount() == 3; }));
    EXPECT_EQ(names(), QStringList({"Ahmet", "Mehmet", "Zeynep Kaya"}));

    other.add({"add-visit", QString::number(mehmet), "1500", "100"});
    EXPECT_TRUE(within(1000, [&] { return visits()->recordCount() == 2; }));
    EXPECT_EQ(totals(), "Toplam Tutar:  300,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  300,00 TL  ");
    psql(QString("DELETE FROM t_servis WHERE id_musteri = %1 AND f_km = '1500'").arg(mehmet));
    EXPECT_TRUE(within(1000, [&] { return visits()->recordCount() == 1; }));
    EXPECT_TRUE(totals().startsWith("Toplam Tutar:  200,00 TL")) << totals().toStdString();

    EXPECT_EQ(current(), "Mehmet") << "the current customer stayed current throughout";
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

TEST_F(ServerWindowLive, ADialogOnARowTheOtherSideChangesKeepsItsValuesAndKaydetMeetsTheConflict) {
    testsupport::runCommandDialog(
        find<controls::TGradButton>("btnMusteriDuzenle"), [&](dialogs::TEditDialog& d) {
            d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(0);
            testsupport::typeText("Mehmet Can");
            testsupport::pressKey(Qt::Key_Tab);
            psql(QString("UPDATE t_musteri SET f_adi = 'Mehmet Öz' "
                         "WHERE id = %1")
                     .arg(mehmet));
            QTest::qWait(700);
            EXPECT_EQ(current(), "Mehmet Can");
            QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
            EXPECT_TRUE(d.isVisible());
            ASSERT_EQ(boxes.errors.size(), 1);
            EXPECT_TRUE(boxes.errors[0].startsWith("Row cannot be located"))
                << boxes.errors[0].toStdString();
            QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
        });
    EXPECT_TRUE(within(1000, [&] { return current() == "Mehmet Öz"; }));
}

TEST_F(ServerWindowLive, AfterTheServerWasStoppedAndStartedEveryRowTheOtherSideAddedShows) {
    servertest::cluster("stop");
    QTest::qWait(1500); // the window notices: its feed loses the server and tries again
    EXPECT_EQ(customers()->recordCount(), 3) << "what it has stays readable";
    EXPECT_EQ(current(), "Mehmet");
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    servertest::cluster("start");
    {
        testsupport::WorkstationPeer other(
            WORKSTATION_PEER, data::serverConnectionString(servertest::connectionString()));
        for (const char* name : {"Bir", "İki", "Üç"})
            other.add({"add-customer", name});
        other.add({"add-visit", QString::number(mehmet), "2000", "50"});
    }
    psql("INSERT INTO t_musteri (f_adi) VALUES ('Dört')");
    // The feed connects again after 1, 2, 4, 8 seconds.
    EXPECT_TRUE(within(16000, [&] { return customers()->recordCount() == 7; }))
        << customers()->recordCount();
    QStringList expected{"Ahmet", "Bir", "Dört", "İki", "Mehmet", "Üç", "Zeynep"};
    expected.sort();
    EXPECT_EQ(names(), expected);
    EXPECT_TRUE(within(1000, [&] { return visits()->recordCount() == 2; }));
    EXPECT_EQ(current(), "Mehmet");
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

} // namespace
