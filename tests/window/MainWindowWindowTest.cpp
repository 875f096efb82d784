// Window tests of the main window on a real X server: the pointer grab of a pressed button and
// where the keyboard focus stays after clicks on buttons and scroll bars.
#include "app/Main.h"
#include "controls/GradButton.h"
#include "controls/RecordGrid.h"
#include "platform/Application.h"
#include "platform/Fonts.h"
#include "tests/support/TestDatabase.h"
#include "tests/window/XInput.h"

#include "engine/FileCheck.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <atomic>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <thread>

namespace {

using controls::TGradButton;

TEST(GradButtonWindow, PressedLookFollowsThePointerWhileHeldAndAReleaseOutsideDoesNotClick) {
    QWidget window;
    window.setGeometry(40, 40, 300, 160);
    auto* b = new TGradButton(&window);
    b->setGeometry(20, 20, 85, 27);
    b->setFont(platform::tahoma(11));
    b->setColorScheme(TGradButton::csNeoSilver);
    b->setCaption("Bul");
    int clicks = 0;
    b->OnClick = [&] { ++clicks; };
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    const QPoint inside(40, 13), outside(200, 100);
    ASSERT_TRUE(xinput::moveTo(b, inside));
    EXPECT_TRUE(QTest::qWaitFor([&] { return b->visualState() == TGradButton::vsOver; }, 1000));
    ASSERT_TRUE(xinput::press());
    EXPECT_EQ(b->visualState(), TGradButton::vsDown);
    // Dragged off while held: the normal look, on the screen too.
    ASSERT_TRUE(xinput::moveTo(&window, outside));
    EXPECT_TRUE(QTest::qWaitFor([&] { return b->visualState() == TGradButton::vsNormal; }, 1000))
        << "still pressed-looking with the pointer outside";
    EXPECT_EQ(xinput::onScreen(b).pixel(5, 5), b->grab().toImage().pixel(5, 5));
    // Back on it: down again.
    ASSERT_TRUE(xinput::moveTo(b, inside));
    EXPECT_TRUE(QTest::qWaitFor([&] { return b->visualState() == TGradButton::vsDown; }, 1000));
    // Off again and released there: no click, normal look.
    ASSERT_TRUE(xinput::moveTo(&window, outside));
    ASSERT_TRUE(xinput::release());
    QTest::qWait(100);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(b->visualState(), TGradButton::vsNormal);
    EXPECT_FALSE(b->isPressed());
    // A plain click still clicks once.
    ASSERT_TRUE(xinput::click(b, inside));
    EXPECT_TRUE(QTest::qWaitFor([&] { return clicks == 1; }, 1000));
    EXPECT_EQ(b->visualState(), TGradButton::vsOver);
}

class MainWindowFocus : public ::testing::Test {
protected:
    void SetUp() override {
        for (int i = 1; i <= 4; ++i) {
            const qint64 id = db.addCustomer(QStringLiteral("Musteri %1").arg(i));
            for (int v = 0; v < 12; ++v)
                db.addVisit(id, "100.0000", "50.0000", "30.0000");
        }
        platform::DialogHooks hooks;
        hooks.errorBox = [this](const QString&, const QString& text) { errors << text; };
        hooks.messageDlg = [this](const QString& text, platform::MsgType, int) {
            questions << text;
            return platform::MsgButton::No;
        };
        boxes.emplace(hooks);
        w = std::make_unique<app::TfrmMain>(db.directory());
        w->move(0, 0);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }
    void TearDown() override {
        w.reset();
        boxes.reset();
    }

    testsupport::TestDatabase db;
    std::unique_ptr<app::TfrmMain> w;
    QStringList errors, questions;
    std::optional<platform::ScopedDialogHooks> boxes;
};

TEST_F(MainWindowFocus, ClicksOnAButtonAndOnScrollBarsLeaveTheCustomerGridFocused) {
    controls::TRecordGrid* grid = w->grdMain;
    // A click on the first customer row gives the customer grid the focus.
    ASSERT_TRUE(xinput::click(grid, QPoint(grid->width() / 2, 28)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->hasFocus(); }, 1000));
    EXPECT_EQ(w->qryMain.recNo(), 1);

    // "Müşteri Sil", answered "No": the grid keeps the focus and its black row.
    ASSERT_TRUE(xinput::click(w->btnMusteriSil));
    ASSERT_TRUE(QTest::qWaitFor([&] { return questions.size() == 1; }, 1000));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_TRUE(grid->focusFlag());
    ASSERT_TRUE(xinput::keys({"Down"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->qryMain.recNo() == 2; }, 1000))
        << "Down after a command did not move through the customers";

    // A click on the visit grid's scroll bar scrolls the visits, not the focus.
    QScrollBar* visitBar = w->grdServis->verticalScrollBar();
    ASSERT_TRUE(visitBar->isVisible());
    ASSERT_TRUE(xinput::click(visitBar, QPoint(visitBar->width() / 2, visitBar->height() - 5)));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_FALSE(w->grdServis->hasFocus());
    ASSERT_TRUE(xinput::keys({"Down"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return w->qryMain.recNo() == 3; }, 1000));
    // So does a click on the customer grid's own bar.
    QScrollBar* customerBar = grid->verticalScrollBar();
    if (customerBar->isVisible()) {
        ASSERT_TRUE(xinput::click(customerBar, QPoint(customerBar->width() / 2, 5)));
        EXPECT_TRUE(grid->hasFocus());
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
}

// Calls back with every new title of a window.
class TitleWatch : public QObject {
public:
    TitleWatch(QWidget* window, std::function<void(const QString&)> changed)
        : window_(window), changed_(std::move(changed)) {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == window_ && event->type() == QEvent::WindowTitleChange)
            changed_(window_->windowTitle());
        return false;
    }

private:
    QWidget* window_;
    std::function<void(const QString&)> changed_;
};

// The main window's title as the X server holds it (what the window manager shows), read by
// another client.
std::string serverTitle(WId window) {
    const std::string command = "xprop -id " + std::to_string(window) + " _NET_WM_NAME";
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[512];
        while (fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

// A save that waits for the database file's check blocks the window's thread: what the wait
// shows must reach the X server before that, or the user sees nothing.
TEST(MainWindowCheckWait, ASaveWaitingForTheFileCheckSaysSoOnTheScreen) {
    testsupport::TestDatabase db;
    db.addCustomer("Ali");
    std::atomic<bool> released{false};
    cursor::FileCheck::setBeforeCheck([&](sqlite3*) {
        for (int i = 0; i < 5000 && !released; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    });
    app::TfrmMain w(db.directory());
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    std::string whileWaiting;
    std::thread reader;
    TitleWatch watch(&w, [&](const QString& title) {
        if (title.contains("denetleniyor") && !reader.joinable())
            reader = std::thread([&] {
                whileWaiting = serverTitle(w.winId());
                released = true;
            });
    });
    w.qryMain.insert();
    w.qryMain.fieldByName("f_adi").setAsString("Veli");
    EXPECT_TRUE(platform::guarded([&] { w.qryMain.post(); }));
    if (reader.joinable())
        reader.join();
    cursor::FileCheck::setBeforeCheck({});
    EXPECT_NE(whileWaiting.find("\"Korvela Takip - Veritaban"), std::string::npos) << whileWaiting;
    EXPECT_NE(serverTitle(w.winId()).find("\"Korvela Takip\""), std::string::npos);
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi = 'Veli'"), "1");
}

} // namespace
