// TImage: a picture control of the header, with the hand pointer and a click callback.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

namespace app {

// Draws its picture at the top-left corner (centred when centre is set) over a fill colour.
// Owned by its parent.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    bool centre = false;
    QColor fill = Qt::black;
    std::function<void()> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
};

} // namespace app
