// TSplitter: dragging with a hatched line, clamping, collapse and Esc.
#include "app/Splitter.h"
#include "platform/Colors.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace app {

namespace {

// The hatched line shown at the position a release would give.
class HatchedLine : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                if ((x + y) % 2 == 0)
                    p.fillRect(x, y, 1, 1, Qt::black);
                else
                    p.fillRect(x, y, 1, 1, Qt::white);
    }
};

} // namespace

TSplitter::TSplitter(QWidget* parent) : QWidget(parent) {
    setCursor(Qt::SizeVerCursor);
    setFocusPolicy(Qt::NoFocus);
}

void TSplitter::setSizes(int upper, int available) {
    upper_ = upper;
    available_ = available;
}

int TSplitter::sizeForDrag(int delta) const {
    const int size = upper_ + delta;
    const int maxSize = available_ - kMinSize;
    if (size <= kMinSize)
        return 0;
    return qMax(kMinSize, qMin(size, maxSize));
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    pressY_ = int(event->globalPosition().y());
    startTop_ = y() - upper_;
    if (!line_)
        line_ = new HatchedLine(parentWidget());
    line_->setGeometry(x(), y(), width(), height());
    line_->show();
    line_->raise();
    grabKeyboard();
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_)
        return;
    int size = sizeForDrag(int(event->globalPosition().y()) - pressY_);
    line_->move(x(), startTop_ + size);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton)
        return;
    int size = sizeForDrag(int(event->globalPosition().y()) - pressY_);
    endDrag();
    emit sizeChosen(size);
}

void TSplitter::keyPressEvent(QKeyEvent* event) {
    if (dragging_ && event->key() == Qt::Key_Escape) {
        endDrag();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TSplitter::endDrag() {
    dragging_ = false;
    releaseKeyboard();
    if (line_)
        line_->hide();
}

void TSplitter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), platform::clBtnFace.toQColor());
}

} // namespace app
