// Finding text ink in grabbed images: the topmost dark row, for checking marks over capitals.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

namespace test_support {

// Dark enough to be the ink of black text on a light background.
inline bool isInk(QRgb pixel) {
    return qGray(pixel) < 0x70;
}

// The topmost row of the area holding ink, or -1 when there is none.
inline int topInkRow(const QImage& image, QRect area = {}) {
    if (area.isNull())
        area = image.rect();
    area &= image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (isInk(image.pixel(x, y)))
                return y;
    return -1;
}

// Whether the capital "İ" shows its dot: the grab of the same place showing "I" has its ink top
// at the stem's top, and the grab showing "İ" must have ink at least two rows higher (the dot,
// then a blank row above the stem).
inline bool dotShowsAboveTheStem(const QImage& withI, const QImage& withDottedI, QRect area = {}) {
    const int stem = topInkRow(withI, area);
    const int dot = topInkRow(withDottedI, area);
    return stem >= 0 && dot >= 0 && dot <= stem - 2;
}

} // namespace test_support
