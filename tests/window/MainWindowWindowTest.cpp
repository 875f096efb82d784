// Window tests of the main window on a real X server: the pointer grab of a pressed button,
// where the keyboard focus stays after clicks on buttons and scroll bars, the smallest size the
// window takes, and a save waiting for the database file's check saying so on the screen.
#include "app/Main.h"
#include "app/MainParts.h"
#include "app/Splitter.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "engine/FileCheck.h"
#include "platform/Application.h"
#include "platform/Fonts.h"
#include "tests/support/TestDatabase.h"
#include "tests/window/XInput.h"

#include <QApplication>
#include <QRegularExpression>
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
        parts.emplace(*w);
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
    std::optional<app::MainParts> parts; // found once the window is built
    QStringList errors, questions;
    std::optional<platform::ScopedDialogHooks> boxes;
};

TEST_F(MainWindowFocus, ClicksOnAButtonAndOnScrollBarsLeaveTheCustomerGridFocused) {
    controls::TRecordGrid* grid = parts->grdMain;
    // A click on the first customer row gives the customer grid the focus.
    ASSERT_TRUE(xinput::click(grid, QPoint(grid->width() / 2, 28)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return grid->hasFocus(); }, 1000));
    EXPECT_EQ(parts->qryMain.recNo(), 1);

    // "Müşteri Sil", answered "No": the grid keeps the focus and its black row.
    ASSERT_TRUE(xinput::click(parts->btnMusteriSil));
    ASSERT_TRUE(QTest::qWaitFor([&] { return questions.size() == 1; }, 1000));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_TRUE(grid->focusFlag());
    ASSERT_TRUE(xinput::keys({"Down"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return parts->qryMain.recNo() == 2; }, 1000))
        << "Down after a command did not move through the customers";

    // A click on the visit grid's scroll bar scrolls the visits, not the focus.
    QScrollBar* visitBar = parts->grdServis->verticalScrollBar();
    ASSERT_TRUE(visitBar->isVisible());
    ASSERT_TRUE(xinput::click(visitBar, QPoint(visitBar->width() / 2, visitBar->height() - 5)));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_FALSE(parts->grdServis->hasFocus());
    ASSERT_TRUE(xinput::keys({"Down"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return parts->qryMain.recNo() == 3; }, 1000));
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
    const app::MainParts parts(w);
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
    parts.qryMain.insert();
    parts.qryMain.fieldByName("f_adi").setAsString("Veli");
    EXPECT_TRUE(platform::guarded([&] { parts.qryMain.post(); }));
    if (reader.joinable())
        reader.join();
    cursor::FileCheck::setBeforeCheck({});
    EXPECT_NE(whileWaiting.find("\"Korvela Takip - Veritaban"), std::string::npos) << whileWaiting;
    EXPECT_NE(serverTitle(w.winId()).find("\"Korvela Takip\""), std::string::npos);
    EXPECT_EQ(db.scalar("select count(*) from t_musteri where f_adi = 'Veli'"), "1");
}

// The size of the window on the X server, and the smallest size it asks the window manager for.
QSize serverSize(const QWidget* w) {
    QProcess p;
    p.start("xwininfo", {"-id", QString::number(w->winId())});
    p.waitForFinished(10000);
    const QString out = QString::fromUtf8(p.readAllStandardOutput());
    const auto width = QRegularExpression("Width: (\\d+)").match(out);
    const auto height = QRegularExpression("Height: (\\d+)").match(out);
    return {width.captured(1).toInt(), height.captured(1).toInt()};
}
QSize hintedMinimum(const QWidget* w) {
    QProcess p;
    p.start("xprop", {"-id", QString::number(w->winId()), "WM_NORMAL_HINTS"});
    p.waitForFinished(10000);
    const auto m = QRegularExpression("program specified minimum size: (\\d+) by (\\d+)")
                       .match(QString::fromUtf8(p.readAllStandardOutput()));
    return m.hasMatch() ? QSize(m.captured(1).toInt(), m.captured(2).toInt()) : QSize();
}

class MainWindowSize : public ::testing::Test {
protected:
    void SetUp() override {
        db.addVisit(db.addCustomer("Az"), "100.0000", "50.0000", "30.0000");
        // Sums of hundreds of millions make the totals line wider than the button bar.
        db.addVisit(db.addCustomer("Çok"), "98765432.1000", "12345678.9000", "11111111.1100");
        w = std::make_unique<app::TfrmMain>(db.directory());
        parts.emplace(*w);
        w->move(0, 0);
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
        xinput::moveTo(QPoint(1270, 1010)); // the pointer away from the buttons
    }

    // Resizes the window as the program would, and lets the X server and the window settle.
    void resizeTo(QSize size) {
        w->resize(size);
        QTest::qWait(300);
    }

    // What is wrong with the window as the X server shows it now: buttons that overlap, come
    // nearer each other than the customer buttons stand, leave the bar, or are covered; a
    // totals text that touches its frame (so is cut); bands that overlap.
    QStringList layoutFaults() {
        QStringList faults;
        TGradButton* buttons[] = {parts->btnMusteriYeni, parts->btnMusteriDuzenle,
                                  parts->btnMusteriSil,  parts->btnMusteriAra,
                                  parts->btnServisYeni,  parts->btnServisDuzenle,
                                  parts->btnServisSil};
        const int gap =
            parts->btnMusteriDuzenle->x() - parts->btnMusteriYeni->geometry().right() - 1;
        for (TGradButton* b : buttons) {
            const QRect r = b->geometry();
            if (!b->isVisible() || !parts->pnlButtons->rect().contains(r) ||
                !w->rect().contains(parts->pnlButtons->geometry()))
                faults << b->caption() + " is not inside the window";
            for (const TGradButton* other : buttons)
                if (other != b && r.adjusted(-gap, 0, gap, 0).intersects(other->geometry()))
                    faults << b->caption() + " is too near " + other->caption();
            if (xinput::onScreen(b).convertToFormat(QImage::Format_RGB32) !=
                b->grab().toImage().convertToFormat(QImage::Format_RGB32))
                faults << b->caption() + " does not show whole on the screen";
        }
        // The caption is black on #EEEEEE inside a one-pixel black frame: text that reaches the
        // frame is cut.
        const QImage totals = xinput::onScreen(parts->pnlToplam);
        int left = totals.width(), right = -1;
        for (int y = 1; y < totals.height() - 1; ++y)
            for (int x = 1; x < totals.width() - 1; ++x)
                if (qGray(totals.pixel(x, y)) < 128) {
                    left = qMin(left, x);
                    right = qMax(right, x);
                }
        if (right < 0)
            faults << "the totals line shows no text";
        else if (left < 2 || right > totals.width() - 3)
            faults << QString("the totals text is cut: ink from %1 to %2 in %3 pixels")
                          .arg(left)
                          .arg(right)
                          .arg(totals.width());
        const QWidget* bands[] = {parts->pnlHeader, parts->splMain, parts->pnlToplam,
                                  parts->pnlButtons};
        for (const QWidget* band : bands) {
            if (!w->rect().contains(band->geometry()))
                faults << band->objectName() + " is cut by the window's edge";
            for (const QWidget* other : bands)
                if (other != band && band->geometry().intersects(other->geometry()))
                    faults << band->objectName() + " overlaps " + other->objectName();
        }
        return faults;
    }

    testsupport::TestDatabase db;
    std::unique_ptr<app::TfrmMain> w;
    std::optional<app::MainParts> parts; // found once the window is built
};

TEST_F(MainWindowSize, ItsMinimumShowsEveryButtonAndTheWholeTotalsLine) {
    ASSERT_EQ(parts->qryMain.fieldByName("f_adi").asString(), "Az");
    EXPECT_EQ(layoutFaults().join('\n').toStdString(), "") << "at the design size";
    const QSize minimum = w->minimumSize();
    EXPECT_EQ(hintedMinimum(w.get()), minimum) << "what the window manager is told";

    // A smaller size is refused: the window keeps its minimum, where everything shows.
    resizeTo({450, 350});
    EXPECT_EQ(w->size(), QSize(minimum.width(), 350));
    EXPECT_EQ(layoutFaults().join('\n').toStdString(), "") << "at 450 x 350";
    resizeTo({300, 100});
    EXPECT_EQ(w->size(), minimum);
    EXPECT_EQ(serverSize(w.get()), minimum);
    EXPECT_EQ(layoutFaults().join('\n').toStdString(), "") << "at the minimum";

    // The minimum is the least that shows everything: one pixel less breaks it either way.
    w->setMinimumSize(0, 0);
    resizeTo(minimum - QSize(1, 0));
    EXPECT_NE(layoutFaults().join('\n').toStdString(), "") << "one pixel narrower";
    resizeTo(minimum - QSize(0, 1));
    EXPECT_NE(layoutFaults().join('\n').toStdString(), "") << "one pixel lower";
    resizeTo(minimum);
    EXPECT_EQ(layoutFaults().join('\n').toStdString(), "");

    // A customer whose sums make the totals line wider than the buttons widens the window.
    parts->qryMain.next();
    ASSERT_EQ(parts->qryMain.fieldByName("f_adi").asString(), "Çok");
    QTest::qWait(300);
    EXPECT_GT(w->minimumWidth(), minimum.width());
    EXPECT_EQ(hintedMinimum(w.get()), w->minimumSize());
    EXPECT_EQ(serverSize(w.get()), w->minimumSize());
    EXPECT_EQ(layoutFaults().join('\n').toStdString(), "") << "with the wide totals";
    resizeTo({300, 100});
    EXPECT_EQ(w->size(), w->minimumSize());
    EXPECT_EQ(layoutFaults().join('\n').toStdString(), "") << "with the wide totals at the minimum";
    // A few pixels less would cut the text (the check above sees it).
    const int wide = w->minimumWidth();
    w->setMinimumSize(0, 0);
    resizeTo({wide - 8, w->height()});
    EXPECT_TRUE(layoutFaults().join('\n').contains("the totals text is cut"))
        << layoutFaults().join('\n').toStdString();

    // Back on the first customer the button bar sets the minimum again.
    parts->qryMain.prior();
    QTest::qWait(100);
    EXPECT_EQ(w->minimumSize(), minimum);
}

} // namespace
