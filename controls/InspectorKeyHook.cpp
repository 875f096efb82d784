// TInspectorKeyHook: installing the filter, dropping a refused click, offering key presses.
#include "controls/InspectorKeyHook.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QWidget>

namespace controls {

TInspectorKeyHook::TInspectorKeyHook(KeyRouter router) : router_(std::move(router)) {}

TInspectorKeyHook::~TInspectorKeyHook() {
    remove();
}

void TInspectorKeyHook::install() {
    if (installed_)
        return;
    installed_ = true;
    qApp->installEventFilter(this);
}

void TInspectorKeyHook::remove() {
    if (!installed_)
        return;
    installed_ = false;
    if (qApp)
        qApp->removeEventFilter(this);
}

bool TInspectorKeyHook::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        return swallowTarget_ && watched == swallowTarget_.data();
    case QEvent::MouseButtonRelease:
        if (swallowTarget_ && watched == swallowTarget_.data()) {
            swallowTarget_ = nullptr;
            return true;
        }
        return false;
    case QEvent::KeyPress:
        return router_(watched, static_cast<QKeyEvent*>(event));
    default:
        return false;
    }
}

} // namespace controls
