// TGradKeyRouter: offers a window's unhandled Return, Escape and accelerator keys to its buttons.
#pragma once

#include <QObject>
#include <Qt>

class QWidget;

namespace controls {

// Return or the keypad's Enter.
bool isReturnKey(int key);

// Offers Return or Escape as a dialog key to the TGradButtons of a window, the focused one first,
// the others in creation order; true when one took it.
bool offerDialogKey(QWidget* window, int key, Qt::KeyboardModifiers modifiers);

// Sees the key presses that reach a window because no control on the way took them, and offers
// Return and Escape as dialog keys and characters as accelerators to the window's buttons. One
// router serves every window; the application object holds it.
class TGradKeyRouter : public QObject {
public:
    using QObject::QObject;
    // The router, made on first use as a child of the application object.
    static TGradKeyRouter* instance();

    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace controls
