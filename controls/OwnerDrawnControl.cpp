// TOwnerDrawnControl: off-screen composition and the one-step copy to the screen.
#include "controls/OwnerDrawnControl.h"

#include <QPaintEvent>
#include <QPainter>

namespace controls {

TOwnerDrawnControl::TOwnerDrawnControl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

QImage TOwnerDrawnControl::renderImage() {
    QImage image(qMax(1, width()), qMax(1, height()), QImage::Format_RGB32);
    image.fill(Qt::white); // a new bitmap is white
    TCanvas canvas(image);
    canvas.font = font();
    paint(canvas);
    return image;
}

void TOwnerDrawnControl::paintEvent(QPaintEvent* event) {
    QImage image = renderImage();
    QPainter painter(this);
    painter.drawImage(event->rect(), image, event->rect());
}

} // namespace controls
