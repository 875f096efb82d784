// TInspectorHintWindow: the small borderless window that shows a cell's full text.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

namespace controls {

// A tooltip-coloured window laid over a cell whose text does not fit. Owned by the inspector,
// which creates it when a hint shows and destroys it when the hint hides.
class TInspectorHintWindow : public QWidget {
    Q_OBJECT
public:
    explicit TInspectorHintWindow(QWidget* owner);

    // Shows text over the global cell rectangle: as high as the cell, as wide as the text plus
    // 8 pixels (at most the screen's width), moved left when it would pass the screen's edge.
    void showHint(const QRect& globalCell, int textWidth, const QString& text, const QFont& font,
                  unsigned drawFlags, bool centreVertically);
    const QString& text() const { return text_; }

    static constexpr int kTextMargin = 2;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QFont font_;
    unsigned flags_ = 0;
    bool centre_ = false;
};

} // namespace controls
