// TImage: a picture control of the header, with the hand pointer and a clicked signal.
#pragma once

#include <QImage>
#include <QWidget>

namespace app {

// Draws its picture at the top-left corner (or centred) over a fill colour, black until set.
// A left-button release inside it emits clicked().
// Owned by its parent.
class TImage : public QWidget {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    void setCentred(bool centred);
    void setFill(const QColor& fill);

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QImage picture_;
    bool centred_ = false;
    QColor fill_ = Qt::black;
};

} // namespace app
