// Clicking a command button and driving the modal dialog it opens, with a watchdog against hangs.
#pragma once

#include "controls/GradButton.h"
#include "dialogs/EditDialog.h"

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

namespace testsupport {

enum class DialogFocus { Any, Inside };

// Clicks the button; the steps run inside the modal dialog it opens. With DialogFocus::Inside the
// dialog must hold the keyboard focus when the steps begin. Whatever the steps did, the modal loop
// is never left running: the dialog is closed afterwards, and a dialog still open after five
// seconds fails the test instead of hanging it.
inline void runCommandDialog(controls::TGradButton* button,
                             std::function<void(dialogs::TEditDialog&)> steps,
                             DialogFocus focus = DialogFocus::Any) {
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<dialogs::TEditDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        ran = true;
        QApplication::setActiveWindow(dialog);
        if (focus == DialogFocus::Inside) {
            ASSERT_TRUE(dialog->isAncestorOf(QApplication::focusWidget()));
        }
        steps(*dialog);
        if (dialog->isVisible())
            QTimer::singleShot(0, dialog, [dialog] { dialog->close(); });
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        ADD_FAILURE() << "the dialog was still open";
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    watchdog.start(5000);
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_TRUE(ran);
}

} // namespace testsupport
