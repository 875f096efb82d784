// TSplitter: the horizontal bar between the two grids that resizes the upper one on release.
#pragma once

#include <QWidget>

class QKeyEvent;

namespace app {

// While the left button drags it, a hatched line marks the new position; the size is chosen only
// on release (sizeChosen) and Esc abandons the drag. The new size is kept between kMinSize and the
// size that still leaves kMinSize below; a release at kMinSize or less collapses the upper control
// to 0. Owned by its parent window; the hatched line is a child of the same parent.
class TSplitter : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMinSize = 30;

    explicit TSplitter(QWidget* parent);

    // The heights the splitter divides, which its window sets whenever it lays them out: the
    // control above's height, and the height it shares with the control below.
    void setSizes(int upper, int available);

    bool dragging() const { return dragging_; }
    // The size a release at the given offset from the press would give.
    int sizeForDrag(int delta) const;

signals:
    // The upper control's new height, on release.
    void sizeChosen(int size);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void endDrag();
    QWidget* line_ = nullptr;
    int upper_ = 0;
    int available_ = 0;
    bool dragging_ = false;
    int pressY_ = 0;
    int startTop_ = 0;
};

} // namespace app
