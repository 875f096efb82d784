// TSplitter: the horizontal bar between the two grids that resizes the upper one on release.
#pragma once

#include <QWidget>
#include <functional>

class QKeyEvent;

namespace app {

// While the left button drags it, a hatched line marks the new position; the size changes only on
// release and Esc abandons the drag. The new size is kept between minSize and the size that still
// leaves minSize below; a release at minSize or less collapses the upper control to 0.
// Owned by its parent window; the hatched line is a child of the same parent.
class TSplitter : public QWidget {
    Q_OBJECT
public:
    explicit TSplitter(QWidget* parent);

    int minSize = 30;
    std::function<int()> upperSize;     // current height of the control above
    std::function<int()> availableSize; // height shared by the controls above and below
    std::function<void(int)> setUpperSize;

    bool dragging() const { return dragging_; }
    // The size a release at the given offset from the press would give.
    int sizeForDrag(int delta) const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void endDrag();
    QWidget* line_ = nullptr;
    bool dragging_ = false;
    int pressY_ = 0;
    int startTop_ = 0;
};

} // namespace app
