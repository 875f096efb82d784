// Real pointer and key input for the window tests: xdotool drives the X server's test extension.
#pragma once

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QRect>
#include <QScreen>
#include <QStringList>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace xinput {

// Runs one xdotool command and waits for it; the events it made are then queued at the server.
inline bool xdotool(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(10000))
        return false;
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

inline bool moveTo(const QPoint& global) {
    const bool ok =
        xdotool({"mousemove", QString::number(global.x()), QString::number(global.y())});
    QTest::qWait(60); // the crossing and motion events arrive and are handled
    return ok;
}
inline bool moveTo(const QWidget* w, const QPoint& local) {
    return moveTo(w->mapToGlobal(local));
}
inline bool press() {
    const bool ok = xdotool({"mousedown", "1"});
    QTest::qWait(60);
    return ok;
}
inline bool release() {
    const bool ok = xdotool({"mouseup", "1"});
    QTest::qWait(60);
    return ok;
}
inline bool click(const QWidget* w, const QPoint& local) {
    return moveTo(w, local) && press() && release();
}
inline bool click(const QWidget* w) {
    return click(w, w->rect().center());
}
// Key names as xdotool knows them ("Return", "Down", "space"); each is pressed and released.
inline bool keys(const QStringList& names) {
    QStringList args{"key", "--delay", "30"};
    args += names;
    const bool ok = xdotool(args);
    QTest::qWait(60);
    return ok;
}
// Plain ASCII text typed key by key.
inline bool type(const QString& text) {
    const bool ok = xdotool({"type", "--delay", "30", text});
    QTest::qWait(60);
    return ok;
}

// What the X server shows of a widget's area, read back from the screen.
inline QImage onScreen(const QWidget* w, QRect local = {}) {
    if (local.isNull())
        local = w->rect();
    const QPoint at = w->mapToGlobal(local.topLeft());
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, at.x(), at.y(), local.width(), local.height())
        .toImage();
}

// Runs the steps inside the next modal window's loop once it is active, as the user would act
// in it, and closes it afterwards if the steps left it open.
class ModalSteps {
public:
    explicit ModalSteps(std::function<void(QWidget*)> steps) : steps_(std::move(steps)) {
        poll_.setInterval(20);
        QObject::connect(&poll_, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal || !modal->isActiveWindow())
                return;
            poll_.stop();
            steps_(modal);
            done_ = true;
            if (modal->isVisible())
                QMetaObject::invokeMethod(modal, "close", Qt::QueuedConnection);
        });
        poll_.start();
    }
    bool done() const { return done_; }
    bool waitDone(int ms = 30000) {
        return QTest::qWaitFor([this] { return done_ && !QApplication::activeModalWidget(); }, ms);
    }

private:
    std::function<void(QWidget*)> steps_;
    QTimer poll_;
    bool done_ = false;
};

} // namespace xinput
