// What the error box, the message box and the input box were asked to show, answered by the test.
#pragma once

#include "platform/Application.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStringList>
#include <QTest>
#include <gtest/gtest.h>

namespace testsupport {

// For its lifetime the boxes show nothing: their texts are recorded, the message box answers
// `answer`, and the input box answers `typed` (confirmed unless confirmInput is false).
struct Boxes {
    QStringList errors, messages, inputs;
    platform::MsgButton answer = platform::MsgButton::Yes;
    QString typed;
    bool confirmInput = true;
    Boxes() {
        platform::DialogHooks h;
        h.errorBox = [this](const QString&, const QString& t) { errors << t; };
        h.messageDlg = [this](const QString& t, platform::MsgType, int) {
            messages << t;
            return answer;
        };
        h.inputQuery = [this](const QString& caption, const QString& prompt, QString& value) {
            inputs << caption + "|" + prompt + "|" + value;
            value = typed;
            return confirmInput;
        };
        scope.set(h);
    }
    platform::ScopedDialogHooks scope; // last member: goes first
};

// Types text into the focused widget, one key event pair per character (Turkish letters too).
inline void typeText(const QString& text) {
    for (QChar c : text) {
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        if (c.unicode() < 128) {
            QTest::keyClick(target, char(c.unicode()));
            continue;
        }
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(target, &press);
        QApplication::sendEvent(target, &release);
    }
}

inline void pressKey(Qt::Key k, Qt::KeyboardModifiers m = {}) {
    QTest::keyClick(QApplication::focusWidget(), k, m);
}

} // namespace testsupport
