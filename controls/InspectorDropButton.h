// TInspectorDropButton: the arrow button at the date editor's right edge that opens its calendar.
#pragma once

#include <QWidget>

namespace controls {

class TInspectorDateEdit;

// A raised button with a down-arrow glyph; a left click focuses the editor and opens or closes
// its calendar. Owned by the date editor (its child).
class TInspectorDropButton : public QWidget {
public:
    explicit TInspectorDropButton(TInspectorDateEdit* owner);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    TInspectorDateEdit* owner_;
};

} // namespace controls
