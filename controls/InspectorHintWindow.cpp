// TInspectorHintWindow: placement over a cell and painting in the tooltip colours.
#include "controls/InspectorHintWindow.h"
#include "controls/Canvas.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace controls {

TInspectorHintWindow::TInspectorHintWindow(QWidget* owner)
    : QWidget(owner, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
}

void TInspectorHintWindow::showHint(const QRect& globalCell, int textWidth, const QString& text,
                                    const QFont& font, unsigned drawFlags, bool centreVertically) {
    text_ = text;
    font_ = font;
    flags_ = drawFlags;
    centre_ = centreVertically;
    QScreen* screen = QGuiApplication::screenAt(globalCell.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1 << 16, 1 << 16);
    const int width = qMin(textWidth + 8, area.width());
    int left = globalCell.left();
    if (left + width > area.right() + 1)
        left = area.right() + 1 - width;
    setGeometry(left, globalCell.top(), width, globalCell.height());
    show();
    update();
}

void TInspectorHintWindow::paintEvent(QPaintEvent*) {
    QImage image(qMax(1, width()), qMax(1, height()), QImage::Format_RGB32);
    TCanvas canvas(image);
    canvas.brushColor = platform::clInfoBk;
    canvas.fillRect(0, 0, width(), height());
    canvas.font = font_;
    canvas.fontColor = platform::clInfoText;
    canvas.brushClear = true;
    QRect r(kTextMargin, kTextMargin, width() - kTextMargin, height() - kTextMargin);
    if (centre_) {
        int h = platform::windowsTextHeight(font_);
        r.moveTop(qMax(0, (height() - h) / 2));
    }
    canvas.drawText(text_, r, flags_);
    QPainter(this).drawImage(0, 0, image);
}

} // namespace controls
