// The program on a database server: the main window and its dialogs over the server engine, two
// windows on one database, and a server that stops and starts while a dialog is open.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordInspector.h"
#include "dialogs/EditDialog.h"
#include "pgengine/PgError.h"
#include "tests/pgengine/CutRelay.h"
#include "tests/pgengine/ServerTestSupport.h"
#include "tests/support/Boxes.h"
#include "tests/support/CommandDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using testsupport::Boxes;

namespace {

// A program directory whose settings file names the throwaway server (host, port and user come
// from the PG* variables, as from a workstation's environment).
class ServerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::resetTables();
        QFile ini(dir.path() + "/Korvela.ini");
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[Database]\nServer=" + servertest::connectionString().toUtf8() + "\n");
    }
    std::unique_ptr<app::TfrmMain> open() {
        auto w = std::make_unique<app::TfrmMain>(dir.path() + '/');
        w->show();
        QApplication::setActiveWindow(w.get());
        return w;
    }
    static qint64 addCustomer(const QString& name) {
        return servertest::scalar("INSERT INTO t_musteri (f_adi) VALUES ($1) RETURNING id",
                                  {name.toUtf8()})
            .toLongLong();
    }
    static qint64 addVisit(qint64 customer, const char* labour, const char* km) {
        return servertest::scalar(
                   "INSERT INTO t_servis (id_musteri, f_tarih, f_km, f_iscilik) "
                   "VALUES ($1, '2008-12-25', $2, $3) RETURNING id",
                   {QByteArray::number(customer), QByteArray(km), QByteArray(labour)})
            .toLongLong();
    }
    static void run(controls::TGradButton* button,
                    std::function<void(dialogs::TEditDialog&)> steps) {
        testsupport::runCommandDialog(button, std::move(steps), testsupport::DialogFocus::Inside);
    }
    static void save(dialogs::TEditDialog& d) {
        QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
    }
    // Selects the customer again, as a click on another row and back would.
    static void reselect(app::TfrmMain& w) {
        const app::MainParts parts(w);
        parts.qryMain.next();
        parts.qryMain.prior();
    }

    QTemporaryDir dir;
    Boxes boxes;
};

TEST_F(ServerWindow, ShowsTheServersCustomersVisitsAndTotals) {
    const qint64 a = addCustomer("Ayşe Öztürk");
    addCustomer("Çağlar Şimşek");
    addVisit(a, "250.5000", "12000");
    addVisit(a, "100.0000", "15000");
    auto w = open();
    const app::MainParts parts(*w);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts.qryMain.recordCount(), 2);
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Ayşe Öztürk");
    EXPECT_EQ(parts.qryServis.recordCount(), 2);
    EXPECT_EQ(parts.qryServis.fieldByName("f_tarih").displayText(), "25.12.2008");
    EXPECT_EQ(
        parts.pnlToplam->caption(),
        "Toplam Tutar:  350,50 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  350,50 TL  ");
    // The search runs on the rows in memory, in Turkish order, as on the file.
    boxes.typed = "çağ";
    QTest::mouseClick(parts.btnMusteriAra, Qt::LeftButton);
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Çağlar Şimşek");
    EXPECT_EQ(parts.qryServis.recordCount(), 0);
}

TEST_F(ServerWindow, AVisitAddedInOneWindowAppearsInTheOtherWhenItsCustomerIsSelectedAgain) {
    const qint64 a = addCustomer("Ahmet");
    addCustomer("Burak");
    auto first = open();
    const app::MainParts firstParts(*first);
    auto second = open();
    const app::MainParts secondParts(*second);
    ASSERT_EQ(secondParts.qryServis.recordCount(), 0);
    QApplication::setActiveWindow(first.get());
    run(firstParts.btnServisYeni, [&](dialogs::TEditDialog& d) {
        testsupport::pressKey(Qt::Key_Tab);
        testsupport::typeText("12000");
        for (int i = 0; i < 5; ++i)
            testsupport::pressKey(Qt::Key_Tab);
        ASSERT_EQ(d.findChild<controls::TRecordInspector*>("insMain")->currentRow(), 6);
        testsupport::typeText("99,95");
        testsupport::pressKey(Qt::Key_Tab);
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(servertest::scalar("SELECT f_km || '/' || f_iscilik || '/' || id_musteri FROM "
                                 "t_servis"),
              "12000/99.9500/" + QString::number(a));
    EXPECT_EQ(secondParts.qryServis.recordCount(), 0)
        << "the other window reads again on selection";
    reselect(*second);
    EXPECT_EQ(secondParts.qryServis.recordCount(), 1);
    EXPECT_EQ(secondParts.qryServis.fieldByName("f_km").asString(), "12000");
    EXPECT_EQ(secondParts.pnlToplam->caption(),
              "Toplam Tutar:  99,95 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  99,95 TL  ");
}

TEST_F(ServerWindow, TheSameVisitEditedInBothWindowsGivesTheSecondTheConflictAndLosesNothing) {
    const qint64 a = addCustomer("Ahmet");
    const qint64 visit = addVisit(a, "100.0000", "12000");
    auto first = open();
    const app::MainParts firstParts(*first);
    auto second = open();
    const app::MainParts secondParts(*second);
    QApplication::setActiveWindow(first.get());
    run(firstParts.btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(1);
        testsupport::typeText("13000");
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    QApplication::setActiveWindow(second.get());
    run(secondParts.btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(1);
        testsupport::typeText("14000");
        save(d);
        EXPECT_TRUE(d.isVisible()) << "a refused save keeps the dialog open";
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_EQ(boxes.errors[0], "Row cannot be located for updating. Some values may have "
                                   "been changed since it was last read.");
        EXPECT_EQ(secondParts.qryServis.fieldByName("f_km").asString(), "14000")
            << "the typed value is kept";
        QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
    });
    EXPECT_EQ(
        servertest::scalar("SELECT f_km FROM t_servis WHERE id = $1", {QByteArray::number(visit)}),
        "13000");
    // Cancelling read the row again: the second window shows the first one's value, and its next
    // edit saves.
    EXPECT_EQ(secondParts.qryServis.fieldByName("f_km").asString(), "13000");
    boxes.errors.clear();
    run(secondParts.btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(1);
        testsupport::typeText("14000");
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(servertest::scalar("SELECT count(*) || '/' || max(f_km) FROM t_servis"), "1/14000");
}

TEST_F(ServerWindow, AServerRestartDuringASaveKeepsTheDialogAndTheNextSaveLandsOnce) {
    addCustomer("Ahmet");
    auto w = open();
    const app::MainParts parts(*w);
    run(parts.btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(1);
        testsupport::typeText("0532 111 22 33");
        servertest::cluster("stop");
        save(d);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_TRUE(boxes.errors[0].contains("server")) << boxes.errors[0].toStdString();
        EXPECT_EQ(parts.qryMain.state(), data::TDataSetState::dsEdit);
        EXPECT_EQ(parts.qryMain.fieldByName("f_tel").asString(), "0532 111 22 33");
        servertest::cluster("start");
        save(d);
        EXPECT_FALSE(d.isVisible()) << boxes.errors.join('\n').toStdString();
    });
    EXPECT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(servertest::scalar("SELECT count(*) || '/' || f_tel FROM t_musteri GROUP BY f_tel"),
              "1/0532 111 22 33");
    // The next commands work on the new connection.
    run(parts.btnServisYeni, [&](dialogs::TEditDialog& d) {
        testsupport::pressKey(Qt::Key_Tab);
        testsupport::typeText("5000");
        save(d);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_servis"), "1");
}

// The connection cut exactly at COMMIT of a new visit. Stored: the save is done (the dialog
// closes, the visit is read back and counted in the totals). Not stored: the dialog stays with
// every typed value, the message says so, and the next Kaydet stores the visit once.
TEST_F(ServerWindow, AVisitWhoseSaveIsCutAtCommitIsSettledAndNeverDoubled) {
    servertest::CutRelay relay;
    QFile ini(dir.path() + "/Korvela.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Database]\nServer=" + relay.connectionString().toUtf8() + "\n");
    ini.close();
    addCustomer("Ahmet");
    auto w = open();
    const app::MainParts parts(*w);
    const auto addVisit = [&](const char* km, const char* labour) {
        run(parts.btnServisYeni, [&](dialogs::TEditDialog& d) {
            testsupport::pressKey(Qt::Key_Tab);
            testsupport::typeText(km);
            for (int i = 0; i < 5; ++i)
                testsupport::pressKey(Qt::Key_Tab);
            testsupport::typeText(labour);
            testsupport::pressKey(Qt::Key_Tab);
            save(d);
            if (d.isVisible()) {
                EXPECT_EQ(parts.qryServis.state(), data::TDataSetState::dsInsert);
                EXPECT_EQ(parts.qryServis.fieldByName("f_km").asString(), km);
                save(d); // the second Kaydet
                EXPECT_FALSE(d.isVisible()) << boxes.errors.join('\n').toStdString();
            }
        });
    };
    relay.arm(servertest::CutRelay::Cut::AfterCommit);
    addVisit("12000", "100");
    EXPECT_TRUE(relay.hasCut());
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts.qryServis.recordCount(), 1);
    EXPECT_EQ(parts.qryServis.fieldByName("f_km").asString(), "12000");
    EXPECT_GT(parts.qryServis.fieldByName("id").asInteger(), 0) << "the new key is read back";
    EXPECT_EQ(
        parts.pnlToplam->caption(),
        "Toplam Tutar:  100,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  100,00 TL  ");

    relay.arm(servertest::CutRelay::Cut::BeforeCommit);
    addVisit("15000", "50");
    EXPECT_TRUE(relay.hasCut());
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].startsWith(
        "Değişiklik yazılırken veritabanı sunucusuyla bağlantı koptu; sunucu değişikliğin "
        "saklanmadığını bildirdi. Bağlantı düzelince yeniden deneyin. Ayrıntı: The connection to "
        "the database server was lost: "))
        << boxes.errors[0].toStdString();
    EXPECT_EQ(servertest::scalar("SELECT string_agg(f_km || '/' || f_iscilik, ',' ORDER BY id) "
                                 "FROM t_servis"),
              "12000/100.0000,15000/50.0000");
    EXPECT_EQ(parts.qryServis.recordCount(), 2);
    EXPECT_EQ(
        parts.pnlToplam->caption(),
        "Toplam Tutar:  150,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  150,00 TL  ");
}

// A text holding the NUL character (pasted) cannot be stored on a server: the row is refused
// with the field's name, the dialog stays with the value, and nothing reaches the server.
TEST_F(ServerWindow, ATextWithTheNulCharacterIsRefusedNamingTheField) {
    addCustomer("Ahmet");
    auto w = open();
    const app::MainParts parts(*w);
    run(parts.btnMusteriDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(0);
        QApplication::clipboard()->setText(QStringLiteral("Ah") + QChar(0) + QStringLiteral("met"));
        testsupport::pressKey(Qt::Key_V, Qt::ControlModifier);
        save(d);
        EXPECT_TRUE(d.isVisible());
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_EQ(boxes.errors[0],
                  "'Müşteri Adı' alanındaki metinde NUL (kodu 0) karakteri var; veritabanı bu "
                  "karakteri saklayamaz. Karakteri silip yeniden deneyin.");
        EXPECT_EQ(parts.qryMain.state(), data::TDataSetState::dsEdit);
        testsupport::pressKey(Qt::Key_Escape); // the row's typed text reverted
        QTest::mouseClick(d.findChild<QPushButton*>("btnKapat"), Qt::LeftButton);
    });
    EXPECT_EQ(servertest::scalar("SELECT f_adi FROM t_musteri"), "Ahmet");
}

TEST_F(ServerWindow, DeletingACustomerDeletesItsVisitsOnTheServer) {
    const qint64 a = addCustomer("Ahmet");
    const qint64 b = addCustomer("Burak");
    addVisit(a, "10.0000", "1");
    addVisit(b, "20.0000", "2");
    auto w = open();
    const app::MainParts parts(*w);
    QTest::mouseClick(parts.btnMusteriSil, Qt::LeftButton);
    EXPECT_EQ(boxes.messages, QStringList{"Bu kayıt tamamen silinecek ?"});
    EXPECT_EQ(servertest::scalar("SELECT string_agg(f_adi, ',') FROM t_musteri"), "Burak");
    EXPECT_EQ(servertest::scalar("SELECT string_agg(f_km::text, ',') FROM t_servis"), "2");
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Burak");
    EXPECT_EQ(parts.pnlToplam->caption(),
              "Toplam Tutar:  20,00 TL  -   Toplam Ödeme:  0,00 TL  -   Kalan Ödeme:  20,00 TL  ");
}

// The settings file holds no password: libpq takes it from the password file PGPASSFILE names
// (or ~/.pgpass). The throwaway cluster asks for one over TCP.
TEST_F(ServerWindow, ThePasswordComesFromThePasswordFile) {
    addCustomer("Ahmet");
    const QByteArray password = qgetenv("PGPASSWORD");
    ASSERT_FALSE(password.isEmpty()) << "the throwaway cluster sets PGPASSWORD";
    const QScopeGuard restore([password] { qputenv("PGPASSWORD", password); });
    qunsetenv("PGPASSWORD");
    const QString passFile = dir.path() + "/pgpass";
    const auto writePassFile = [&](const QByteArray& secret) {
        QFile file(passFile);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("*:" + qgetenv("PGPORT") + ":*:" + qgetenv("PGUSER") + ":" + secret + "\n");
        file.close();
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    };
    qputenv("PGPASSFILE", passFile.toLocal8Bit());
    const QScopeGuard unsetPassFile([] { qunsetenv("PGPASSFILE"); });
    QFile ini(dir.path() + "/Korvela.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Database]\nServer=host=" + qgetenv("PGHOST") + " port=" + qgetenv("PGPORT") +
              " dbname=" + qgetenv("PGDATABASE") + " user=" + qgetenv("PGUSER") + "\n");
    ini.close();

    writePassFile("wrong");
    {
        auto w = open();
        const app::MainParts parts(*w);
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_TRUE(boxes.errors[0].contains("password authentication failed"))
            << boxes.errors[0].toStdString();
        EXPECT_FALSE(parts.qryMain.active());
    }
    boxes.errors.clear();
    writePassFile(password);
    auto w = open();
    const app::MainParts parts(*w);
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").asString(), "Ahmet");
}

TEST_F(ServerWindow, AServerThatCannotBeReachedGivesTheErrorBoxAndAnEmptyWindow) {
    QFile ini(dir.path() + "/Korvela.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write("[Database]\nServer=host=127.0.0.1 port=1 dbname=korvela connect_timeout=3\n");
    ini.close();
    auto w = open();
    const app::MainParts parts(*w);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_TRUE(boxes.errors[0].contains("Connection refused")) << boxes.errors[0].toStdString();
    EXPECT_FALSE(parts.qryMain.active());
    EXPECT_FALSE(parts.dbsPRJ.connected());
    // As with a missing file: every command fails with its own message, and the program goes on.
    boxes.errors.clear();
    platform::guarded([&] { parts.btnMusteriSil->click(); });
    EXPECT_EQ(boxes.errors,
              QStringList{"qryMain: Cannot perform this operation on a closed dataset."});
}

} // namespace
