// TCanvas: lines, rectangles, pictures and DrawText-style text on an off-screen image.
#include "controls/Canvas.h"
#include "platform/Fonts.h"

#include <QPainter>
#include <QStringList>
#include <cmath>
#include <cstdlib>

namespace controls {

QString stripPrefix(const QString& text, int* underlineIndex) {
    QString out;
    int underline = -1;
    for (int i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && underline < 0)
                underline = int(out.size());
        } else if (text[i] == '&') {
            continue; // a trailing "&" shows nothing
        }
        out += text[i];
    }
    if (underlineIndex)
        *underlineIndex = underline;
    return out;
}

QString cutWithEllipsis(const QString& line, int width,
                        const std::function<int(QStringView)>& measure) {
    const QString ellipsis = QStringLiteral("...");
    const int n = int(line.size());
    // Does the whole line fit? Starts of doubling length are measured first: a start wider than
    // the width settles it without measuring the rest of a long line.
    int wide = -1; // the length of a start known to be too wide
    for (int length = 16;; length *= 2) {
        if (length >= n) {
            if (measure(line) <= width)
                return line;
            wide = n;
            break;
        }
        if (measure(QStringView(line).left(length)) > width) {
            wide = length;
            break;
        }
    }
    // The longest start (at least one character, less than the whole line) that fits with the
    // ellipsis; a start that fits with it is never longer than one too wide on its own.
    int fits = 0;
    int tooWide = std::min(wide, n - 1) + 1;
    while (tooWide - fits > 1) {
        const int mid = fits + (tooWide - fits) / 2;
        if (measure(line.left(mid) + ellipsis) <= width)
            fits = mid;
        else
            tooWide = mid;
    }
    return fits > 0 ? line.left(fits) + ellipsis : ellipsis;
}

TCanvas::TCanvas(QImage& image) : image_(image) {}

TCanvas::~TCanvas() = default;

QRect TCanvas::drawable() const {
    return clip_.isNull() ? image_.rect() : image_.rect().intersected(clip_);
}

void TCanvas::setPixel(int x, int y, TColor color) {
    if (drawable().contains(x, y))
        reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = color.toQColor().rgb();
}

TColor TCanvas::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return platform::clNone;
    QRgb c = image_.pixel(x, y);
    return TColor::fromRgb(qRed(c), qGreen(c), qBlue(c));
}

void TCanvas::moveTo(int x, int y) {
    pen_ = QPoint(x, y);
}

void TCanvas::lineTo(int x, int y) {
    const QRect area = drawable();
    if (!penClear && !area.isEmpty()) {
        const QRgb rgb = penColor.toQColor().rgb();
        uchar* const bits = image_.bits();
        const qsizetype stride = image_.bytesPerLine();
        const auto row = [bits, stride](int y) {
            return reinterpret_cast<QRgb*>(bits + qsizetype(y) * stride);
        };
        int x0 = pen_.x(), y0 = pen_.y();
        if (y0 == y && x0 != x) {
            // A row, filled as one span: x0 up to the end point, which is left out.
            const int first = std::max(std::min(x0, x < x0 ? x + 1 : x0), area.left());
            const int last = std::min(std::max(x0, x > x0 ? x - 1 : x0), area.right());
            if (y >= area.top() && y <= area.bottom() && first <= last)
                std::fill(row(y) + first, row(y) + last + 1, rgb);
        } else if (x0 == x && y0 != y) {
            const int first = std::max(std::min(y0, y < y0 ? y + 1 : y0), area.top());
            const int last = std::min(std::max(y0, y > y0 ? y - 1 : y0), area.bottom());
            if (x >= area.left() && x <= area.right())
                for (int r = first; r <= last; ++r)
                    row(r)[x] = rgb;
        } else {
            // Any other slope steps from the start point as if nothing were clipped, so that the
            // pixels inside the clip are those of the whole line.
            int dx = std::abs(x - x0), dy = -std::abs(y - y0);
            int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
            int err = dx + dy;
            while (!(x0 == x && y0 == y)) {
                if (area.contains(x0, y0))
                    row(y0)[x0] = rgb;
                int e2 = 2 * err;
                if (e2 >= dy) {
                    err += dy;
                    x0 += sx;
                }
                if (e2 <= dx) {
                    err += dx;
                    y0 += sy;
                }
            }
        }
    }
    pen_ = QPoint(x, y);
}

void TCanvas::fillClipped(const QRect& rect, const QRect& clip, TColor color) {
    QRect r = rect.intersected(image_.rect());
    if (!clip.isNull())
        r = r.intersected(clip);
    if (r.isEmpty())
        return;
    const QRgb rgb = color.toQColor().rgb();
    uchar* const bits = image_.bits();
    const qsizetype stride = image_.bytesPerLine();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(bits + qsizetype(y) * stride);
        std::fill(line + r.left(), line + r.right() + 1, rgb);
    }
}

void TCanvas::fillRect(int x1, int y1, int x2, int y2) {
    fillClipped(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)), clip_, brushColor);
}

void TCanvas::rectangle(int x1, int y1, int x2, int y2) {
    if (penClear) {
        if (!brushClear)
            fillRect(x1, y1, x2 - 1, y2 - 1);
        return;
    }
    if (!brushClear)
        fillRect(x1 + 1, y1 + 1, x2 - 1, y2 - 1);
    QPoint saved = pen_;
    moveTo(x1, y1);
    lineTo(x2 - 1, y1);
    lineTo(x2 - 1, y2 - 1);
    lineTo(x1, y2 - 1);
    lineTo(x1, y1);
    pen_ = saved;
}

QSize TCanvas::textExtent(const QString& text) const {
    return QSize(platform::textWidth(font, text), platform::windowsTextHeight(font));
}

QPainter& TCanvas::painter(const QRect& clip) {
    if (!painter_) {
        painter_ = std::make_unique<QPainter>(&image_);
        painter_->setRenderHint(QPainter::Antialiasing, false);
        painter_->setRenderHint(QPainter::TextAntialiasing, false);
        painterClip_ = QRect();
    }
    if (clip != painterClip_) {
        if (clip.isNull())
            painter_->setClipping(false);
        else
            painter_->setClipRect(clip);
        painterClip_ = clip;
    }
    return *painter_;
}

void TCanvas::drawLine(const QString& line, int x, int y, int underlineIndex, const QRect& clip) {
    if (line.isEmpty())
        return;
    QRect effective = clip;
    if (!clip_.isNull()) {
        effective = effective.isNull() ? clip_ : effective.intersected(clip_);
        if (effective.isEmpty())
            return; // nothing of the line is inside the canvas's clip
    }
    const int ascent = platform::windowsAscent(font);
    if (!brushClear)
        fillClipped(QRect(x, y, platform::textWidth(font, line), platform::windowsTextHeight(font)),
                    effective, brushColor);
    const QColor color = fontColor.toQColor();
    if (!platform::drawTextInk(image_, effective, font, QPoint(x, y + ascent), line, color.rgb())) {
        QPainter& p = painter(effective);
        if (p.pen().color() != color || p.pen().style() != Qt::SolidLine)
            p.setPen(color);
        platform::drawTextLine(p, font, QPoint(x, y + ascent), line);
    }
    if (underlineIndex >= 0 && underlineIndex < line.size()) {
        int ux = x + platform::textWidth(font, line.left(underlineIndex));
        int uw = platform::textWidth(font, line.mid(underlineIndex, 1));
        fillClipped(QRect(ux, y + ascent + 1, uw, 1), effective, fontColor);
    }
}

void TCanvas::textOut(int x, int y, const QString& text) {
    drawLine(text, x, y, -1, QRect());
}

namespace {

// Breaks a paragraph between words where a word would pass the width.
QStringList wordWrap(const QFont& font, const QString& paragraph, int width) {
    QStringList lines;
    QString current;
    const QStringList words = paragraph.split(' ');
    for (int i = 0; i < words.size(); ++i) {
        QString candidate = current.isEmpty() && i == 0 ? words[i] : current + ' ' + words[i];
        if (!current.isEmpty() && platform::textWidth(font, candidate) > width) {
            lines << current;
            current = words[i];
        } else {
            current = candidate;
        }
    }
    lines << current;
    return lines;
}

} // namespace

int TCanvas::layOut(const QString& input, const QRect& rect, unsigned flags, QStringList& lines,
                    int& underline) const {
    underline = -1;
    QString text = (flags & DT_NOPREFIX) ? input : stripPrefix(input, &underline);
    if ((flags & DT_EXPANDTABS) && text.contains('\t'))
        text.replace('\t', QStringLiteral("        "));
    const int lineHeight = platform::windowsTextHeight(font);

    lines.clear();
    if ((flags & DT_SINGLELINE) || (!text.contains('\n') && !text.contains('\r'))) {
        if ((flags & DT_WORDBREAK) && !(flags & DT_SINGLELINE))
            lines << wordWrap(font, text, rect.width());
        else
            lines << text;
    } else {
        QString normal = text;
        normal.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
        for (const QString& para : normal.split('\n')) {
            if (flags & DT_WORDBREAK)
                lines << wordWrap(font, para, rect.width());
            else
                lines << para;
        }
        // The prefix underline is kept on the first line only.
    }
    const int total = lineHeight * int(lines.size());
    // Lines that start below the clip rectangle are neither cut nor drawn (a long memo shows
    // its first line only).
    if (!(flags & DT_CALCRECT) && !(flags & DT_NOCLIP) && !(flags & DT_SINGLELINE)) {
        const int bottom = clip_.isNull() ? rect.bottom() : std::min(rect.bottom(), clip_.bottom());
        const int shown = std::max(0, (bottom - rect.top()) / std::max(1, lineHeight) + 1);
        if (lines.size() > shown)
            lines.erase(lines.begin() + shown, lines.end());
    }
    if (flags & DT_END_ELLIPSIS) {
        const auto measure = [this](QStringView s) {
            return platform::textWidth(font, s.toString());
        };
        for (QString& l : lines)
            l = cutWithEllipsis(l, rect.width(), measure);
    }
    return total;
}

void TCanvas::drawLines(const QStringList& lines, int underline, const QRect& rect,
                        unsigned flags) {
    const int lineHeight = platform::windowsTextHeight(font);
    int y = rect.top();
    if (flags & DT_SINGLELINE) {
        // Integer division toward zero on the sums, as the system does.
        if (flags & DT_VCENTER)
            y = (rect.top() + rect.bottom() + 1 - lineHeight) / 2;
        else if (flags & DT_BOTTOM)
            y = rect.bottom() + 1 - lineHeight;
    }
    QRect clip = (flags & DT_NOCLIP) ? QRect() : rect;
    if (!clip.isNull() && clip.isEmpty())
        return;
    for (int i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        int x = rect.left();
        if (flags & DT_CENTER)
            x = (rect.left() + rect.right() + 1 - platform::textWidth(font, line)) / 2;
        else if (flags & DT_RIGHT)
            x = rect.right() + 1 - platform::textWidth(font, line);
        drawLine(line, x, y, i == 0 ? underline : -1, clip);
        y += lineHeight;
    }
}

int TCanvas::drawText(const QString& text, QRect& rect, unsigned flags) {
    QStringList lines;
    int underline = -1;
    const int total = layOut(text, rect, flags, lines, underline);
    if (flags & DT_CALCRECT) {
        int w = 0;
        for (const QString& l : lines)
            w = qMax(w, platform::textWidth(font, l));
        rect.setWidth(w);
        rect.setHeight(total);
        return total;
    }
    drawLines(lines, underline, rect, flags);
    return total;
}

int TCanvas::drawText(const QString& text, const QRect& rect, unsigned flags, TTextLines& cache) {
    flags &= ~unsigned(DT_CALCRECT);
    if (!cache.valid || cache.flags != flags || cache.rect != rect || cache.clip != clip_ ||
        cache.font != font || cache.text != text) {
        cache.valid = false;
        cache.total = layOut(text, rect, flags, cache.lines, cache.underline);
        cache.text = text;
        cache.font = font;
        cache.rect = rect;
        cache.clip = clip_;
        cache.flags = flags;
        cache.valid = true;
    }
    drawLines(cache.lines, cache.underline, rect, flags);
    return cache.total;
}

void TCanvas::gradient(int w, int h, TColor start, TColor end, TGradientDirection direction) {
    const int n = direction == TGradientDirection::Horizontal ? w
                  : direction == TGradientDirection::Vertical ? h
                                                              : w + h;
    if (n == 0)
        return;
    const TColor savedPen = penColor;
    const bool savedClear = penClear;
    const QPoint savedPos = pen_;
    penClear = false;
    double r = start.red(), g = start.green(), b = start.blue();
    const double dr = double(end.red() - start.red()) / n;
    const double dg = double(end.green() - start.green()) / n;
    const double db = double(end.blue() - start.blue()) / n;
    for (int i = 0; i <= n; ++i) {
        // std::nearbyint under the default rounding mode rounds ties to even.
        penColor =
            TColor::fromRgb(int(std::nearbyint(r)), int(std::nearbyint(g)), int(std::nearbyint(b)));
        switch (direction) {
        case TGradientDirection::Horizontal:
            moveTo(i, 0);
            lineTo(i, h);
            break;
        case TGradientDirection::Vertical:
            moveTo(0, i);
            lineTo(w, i);
            break;
        case TGradientDirection::Diagonal:
            moveTo(i, 0);
            lineTo(0, i);
            break;
        }
        r += dr;
        g += dg;
        b += db;
    }
    penColor = savedPen;
    penClear = savedClear;
    pen_ = savedPos;
}

void TCanvas::draw(int x, int y, const QImage& picture) {
    painter(clip_).drawImage(x, y, picture);
}

void TCanvas::drawTransparent(int x, int y, const QImage& picture, TColor transparent) {
    QRgb key = transparent.toQColor().rgb();
    for (int py = 0; py < picture.height(); ++py)
        for (int px = 0; px < picture.width(); ++px) {
            QRgb c = picture.pixel(px, py);
            if ((c & 0xFFFFFF) != (key & 0xFFFFFF))
                setPixel(x + px, y + py, TColor::fromRgb(qRed(c), qGreen(c), qBlue(c)));
        }
}

} // namespace controls
