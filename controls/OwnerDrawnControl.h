// TOwnerDrawnControl: a widget that composes each paint in an off-screen image and copies it once.
#pragma once

#include "controls/Canvas.h"

#include <QWidget>

namespace controls {

// Subclasses draw the whole client area in paint(); the base copies the finished image to the
// screen in one step, so a partly drawn control is never seen. Owned by its parent widget.
class TOwnerDrawnControl : public QWidget {
    Q_OBJECT
public:
    explicit TOwnerDrawnControl(QWidget* parent = nullptr);

    // Paint synchronously, now.
    void repaintNow() { repaint(); }
    // Ask for a paint in the next paint cycle.
    void invalidate() { update(); }

    // The control's whole face as it would be painted now.
    QImage renderImage();

protected:
    virtual void paint(TCanvas& canvas) = 0;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace controls
