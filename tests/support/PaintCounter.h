// PaintCounter: counts the paint events a widget receives, which tells a synchronous repaint
// (counted at once) from a deferred one (counted in the next paint cycle).
#pragma once

#include <QEvent>
#include <QObject>
#include <QWidget>

namespace testsupport {

class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int count() const { return count_; }

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++count_;
        return false;
    }

private:
    int count_ = 0;
};

} // namespace testsupport
