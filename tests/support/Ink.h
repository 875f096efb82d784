// Reading grabbed images: a pixel's colour, where one colour lies, and the topmost dark row, for
// checking marks over capitals.
#pragma once

#include "platform/Colors.h"

#include <QColor>
#include <QImage>
#include <QRect>
#include <algorithm>
#include <climits>
#include <cstdint>

namespace test_support {

// A colour as 0xRRGGBB, as px() reads pixels.
constexpr std::uint32_t hexOf(platform::TColor c) {
    return std::uint32_t(c.red() << 16 | c.green() << 8 | c.blue());
}

inline std::uint32_t px(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

// Bounding box of the pixels of one colour (within an area, else the whole image), or an empty
// rectangle.
inline QRect inkBox(const QImage& image, std::uint32_t rgb, const QRect& area = QRect()) {
    const QRect r = area.isNull() ? image.rect() : area;
    int l = INT_MAX, t = INT_MAX, rt = INT_MIN, b = INT_MIN;
    for (int y = r.top(); y <= r.bottom(); ++y)
        for (int x = r.left(); x <= r.right(); ++x)
            if (px(image, x, y) == rgb) {
                l = std::min(l, x);
                t = std::min(t, y);
                rt = std::max(rt, x);
                b = std::max(b, y);
            }
    return l == INT_MAX ? QRect() : QRect(QPoint(l, t), QPoint(rt, b));
}

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
