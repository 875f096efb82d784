// Window tests of the front desk on a real X server: the customer search typed into the real
// input box, and the papers chosen from the right-click menu and shown in the preview.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/RecordGrid.h"
#include "platform/Application.h"
#include "tests/support/TestDatabase.h"
#include "tests/window/XInput.h"

#include <QApplication>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <optional>

namespace {

class FrontDeskWindow : public ::testing::Test {
protected:
    void SetUp() override {
        add("Ahmet Yılmaz", "34 ABC 123", "0216 345 12 34", "0532 412 55 10");
        add("34 Numara Oto", "06 XX 1", "", "");
        add("Zeynep Koç", "41 KOC 11", "0262 321 54 54", "0532 600 70 80");
        add("Ayşe Öztürk", "34 ABD 1", "0216 418 20 07", "0533 221 40 18");
        platform::DialogHooks hooks;
        hooks.errorBox = [this](const QString&, const QString& text) { errors << text; };
        boxes.emplace(hooks); // the input box is the real one
        w = std::make_unique<app::TfrmMain>(db.directory());
        parts.emplace(*w);
        w->move(0, 0);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void TearDown() override {
        w.reset();
        boxes.reset();
        QTest::qWait(50);
    }
    void add(const char* name, const char* plate, const char* phone, const char* cell) {
        const qint64 id = db.addCustomer(QString::fromUtf8(name), QString::fromUtf8(plate));
        db.exec(QString("update t_musteri set f_tel = '%1', f_gsm = '%2' where id = %3")
                    .arg(QString::fromUtf8(phone), QString::fromUtf8(cell))
                    .arg(id));
        db.addVisit(id, "100.0000", "", "");
    }
    QString current() const { return parts->qryMain.fieldByName("f_adi").asString(); }
    // Clicks "Müşteri Ara", replaces the name in the box with the typed text and presses Return.
    QString search(const QString& typed) {
        xinput::ModalSteps modal([&](QWidget*) {
            xinput::keys({"ctrl+a"});
            xinput::type(typed);
            xinput::keys({"Return"});
        });
        EXPECT_TRUE(xinput::click(parts->btnMusteriAra));
        EXPECT_TRUE(modal.waitDone()) << typed.toStdString();
        QTest::qWait(50);
        return current();
    }

    testsupport::TestDatabase db;
    std::unique_ptr<app::TfrmMain> w;
    std::optional<app::MainParts> parts; // found once the window is built
    QStringList errors;
    std::optional<platform::ScopedDialogHooks> boxes;
};

TEST_F(FrontDeskWindow, PlatesAndNumbersTypedInEveryFormFindTheCustomerAndNamesWin) {
    // "34 abc" begins "34abc123" but not "34abd1".
    for (const char* typed : {"34abc123", "34 abc", "34ABC 123"}) {
        EXPECT_EQ(search("0533 221"), QString::fromUtf8("Ayşe Öztürk")); // away first
        EXPECT_EQ(search(typed), QString::fromUtf8("Ahmet Yılmaz")) << typed;
    }
    EXPECT_EQ(search("5324125510"), QString::fromUtf8("Ahmet Yılmaz"));
    for (const char* typed : {"0532 600", "532-600-70-80"})
        EXPECT_EQ(search(typed), QString::fromUtf8("Zeynep Koç")) << typed;
    for (const char* typed : {"0532 412", "532-412-55-10"})
        EXPECT_EQ(search(typed), QString::fromUtf8("Ahmet Yılmaz")) << typed;
    // A name that begins with the text wins over every plate that does.
    EXPECT_EQ(search("34"), "34 Numara Oto");
    EXPECT_EQ(search("34 ABD"), QString::fromUtf8("Ayşe Öztürk"));
    // Nothing matches: nothing moves and nothing is said.
    EXPECT_EQ(search("99 ZZ 9"), QString::fromUtf8("Ayşe Öztürk"));
    EXPECT_EQ(parts->qryServis.recordCount(), 1); // the visits followed
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

TEST_F(FrontDeskWindow, ARightClickOnACustomerOffersTheStatementShownInThePreview) {
    controls::TRecordGrid* grid = parts->grdMain;
    const QPoint row(grid->width() / 3, grid->titleRowHeight() + 2 * grid->dataRowHeight() + 6);
    // The menu runs a loop of its own: it is looked at, and its first entry clicked, from there.
    QString menuName, customer;
    QStringList entries;
    bool chosen = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible())
            return;
        poll.stop();
        menuName = menu->objectName();
        customer = current();
        for (QAction* a : menu->actions())
            entries << a->text();
        chosen = xinput::click(menu, menu->actionGeometry(menu->actions().value(0)).center());
    });
    QString title;
    int pages = 0;
    xinput::ModalSteps modal([&](QWidget* box) {
        title = box->windowTitle();
        if (auto* preview = qobject_cast<QPrintPreviewDialog*>(box))
            pages = preview->findChild<QPrintPreviewWidget*>()->pageCount();
    });
    poll.start();
    ASSERT_TRUE(xinput::moveTo(grid, row));
    ASSERT_TRUE(xinput::xdotool({"click", "3"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return chosen; }, 5000)) << "no menu";
    EXPECT_TRUE(modal.waitDone());
    EXPECT_EQ(menuName, "mnuMusteri");
    EXPECT_EQ(customer, QString::fromUtf8("Zeynep Koç")); // the row under the pointer
    EXPECT_EQ(entries,
              QStringList({"Hesap Ekstresi\tCtrl+P", QString::fromUtf8("Borçlu Müşteriler")}));
    EXPECT_EQ(title, QString::fromUtf8("Baskı Önizleme - Hesap Ekstresi"));
    EXPECT_EQ(pages, 1);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

} // namespace
