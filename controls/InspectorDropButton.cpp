// TInspectorDropButton: painting the raised arrow button and opening the calendar on a click.
#include "controls/InspectorDropButton.h"
#include "controls/InspectorDateEdit.h"
#include "platform/Colors.h"

#include <QMouseEvent>
#include <QPainter>

namespace controls {

TInspectorDropButton::TInspectorDropButton(TInspectorDateEdit* owner)
    : QWidget(owner), owner_(owner) {
    setFocusPolicy(Qt::NoFocus);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TInspectorDropButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width(), h = height();
    p.fillRect(rect(), platform::clBtnFace.toQColor());
    // Raised edges: highlight top-left, shadows bottom-right.
    const QColor light = platform::clBtnHighlight.toQColor();
    const QColor dark = platform::cl3DDkShadow.toQColor();
    p.fillRect(0, 0, w, 1, light);
    p.fillRect(0, 0, 1, h, light);
    p.fillRect(0, h - 1, w, 1, dark);
    p.fillRect(w - 1, 0, 1, h, dark);
    p.fillRect(1, h - 2, w - 2, 1, platform::clBtnShadow.toQColor());
    p.fillRect(w - 2, 1, 1, h - 2, platform::clBtnShadow.toQColor());
    // A down-arrow glyph: rows of 7, 5, 3 and 1 pixels.
    const QColor glyph = (isEnabled() ? platform::clBtnText : platform::clGrayText).toQColor();
    const int cx = (w - 1) / 2;
    const int top = (h - 4) / 2;
    for (int row = 0; row < 4; ++row)
        p.fillRect(cx - 3 + row, top + row, 7 - 2 * row, 1, glyph);
}

void TInspectorDropButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    if (!owner_->hasFocus())
        owner_->setFocus(Qt::MouseFocusReason);
    if (owner_->isDropDownOpen())
        owner_->closeDropDown(false);
    else
        owner_->openDropDown();
}

} // namespace controls
