// TGradKeyRouter: the window-wide routing of dialog keys and accelerators to the TGradButtons.
#include "controls/GradKeyRouter.h"
#include "controls/GradButton.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>

namespace controls {

namespace {

// The TGradButtons of a window, the focused one first, the others in creation order. Guarded,
// because a click may delete buttons that have not had their offer yet.
QList<QPointer<TGradButton>> buttonsOf(QWidget* window) {
    QList<TGradButton*> found = window->findChildren<TGradButton*>();
    if (auto* self = qobject_cast<TGradButton*>(window))
        found.prepend(self);
    if (auto* focused = qobject_cast<TGradButton*>(window->focusWidget())) {
        if (found.removeOne(focused))
            found.prepend(focused);
    }
    QList<QPointer<TGradButton>> buttons;
    for (TGradButton* b : found)
        buttons.append(b);
    return buttons;
}

bool offerDialogChar(QWidget* window, QChar ch) {
    for (const QPointer<TGradButton>& b : buttonsOf(window))
        if (b && b->dialogChar(ch))
            return true;
    return false;
}

} // namespace

bool isReturnKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool offerDialogKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers) {
    for (const QPointer<TGradButton>& b : buttonsOf(window))
        if (b && b->dialogKey(key, modifiers))
            return true;
    return false;
}

TGradKeyRouter* TGradKeyRouter::instance() {
    static QPointer<TGradKeyRouter> router;
    if (!router)
        router = new TGradKeyRouter(qApp);
    return router;
}

bool TGradKeyRouter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    bool handled = false;
    if (isReturnKey(key->key()) || key->key() == Qt::Key_Escape) {
        handled = offerDialogKey(window, key->key(), key->modifiers());
    } else if (!(key->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        QChar ch;
        if (!key->text().isEmpty())
            ch = key->text().at(0);
        else if (key->key() > 0 && key->key() < 0x10000 && (key->modifiers() & Qt::AltModifier))
            ch = QChar(key->key());
        if (ch.isPrint())
            handled = offerDialogChar(window, ch);
    }
    if (handled)
        key->accept();
    return handled;
}

} // namespace controls
