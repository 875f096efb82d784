// TImage: painting the picture and reporting clicks.
#include "app/Image.h"

#include <QMouseEvent>
#include <QPainter>

namespace app {

TImage::TImage(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::PointingHandCursor);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TImage::setPicture(const QImage& picture) {
    picture_ = picture;
    update();
}

void TImage::setCentred(bool centred) {
    centred_ = centred;
    update();
}

void TImage::setFill(const QColor& fill) {
    fill_ = fill;
    update();
}

void TImage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), fill_);
    if (picture_.isNull())
        return;
    QPoint at = centred_
                    ? QPoint((width() - picture_.width()) / 2, (height() - picture_.height()) / 2)
                    : QPoint(0, 0);
    p.drawImage(at, picture_);
}

void TImage::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace app
