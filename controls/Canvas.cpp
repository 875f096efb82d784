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

bool TCanvas::inClip(int x, int y) const {
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return false;
    return clip_.isNull() || clip_.contains(x, y);
}

void TCanvas::setPixel(int x, int y, TColor color) {
    if (inClip(x, y))
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
    if (!penClear) {
        QRgb rgb = penColor.toQColor().rgb();
        int x0 = pen_.x(), y0 = pen_.y();
        int dx = std::abs(x - x0), dy = -std::abs(y - y0);
        int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
        int err = dx + dy;
        while (!(x0 == x && y0 == y)) {
            if (inClip(x0, y0))
                reinterpret_cast<QRgb*>(image_.scanLine(y0))[x0] = rgb;
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
    pen_ = QPoint(x, y);
}

void TCanvas::fillRect(int x1, int y1, int x2, int y2) {
    QRect r(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1));
    r = r.intersected(image_.rect());
    if (!clip_.isNull())
        r = r.intersected(clip_);
    if (r.isEmpty())
        return;
    QRgb rgb = brushColor.toQColor().rgb();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        QRgb* line = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::fill(line + r.left(), line + r.right() + 1, rgb);
    }
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

void TCanvas::drawLine(const QString& line, int x, int y, int underlineIndex, const QRect& clip) {
    if (line.isEmpty())
        return;
    int w = platform::textWidth(font, line);
    int h = platform::windowsTextHeight(font);
    QPainter p(&image_);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    QRect effective = clip;
    if (!clip_.isNull())
        effective = effective.isNull() ? clip_ : effective.intersected(clip_);
    if (!effective.isNull())
        p.setClipRect(effective);
    if (!brushClear)
        p.fillRect(QRect(x, y, w, h), brushColor.toQColor());
    p.setFont(font);
    QColor color = fontColor.toQColor();
    p.setPen(color);
    int ascent = platform::windowsAscent(font);
    p.drawText(QPoint(x, y + ascent), line);
    if (underlineIndex >= 0 && underlineIndex < line.size()) {
        int ux = x + platform::textWidth(font, line.left(underlineIndex));
        int uw = platform::textWidth(font, line.mid(underlineIndex, 1));
        p.fillRect(QRect(ux, y + ascent + 1, uw, 1), color);
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

void TCanvas::layOut(const QString& input, const QRect& rect, unsigned flags,
                     TTextLines& out) const {
    out.underline = -1;
    QString text = (flags & DT_NOPREFIX) ? input : stripPrefix(input, &out.underline);
    if (flags & DT_EXPANDTABS)
        text.replace('\t', QStringLiteral("        "));
    const int lineHeight = platform::windowsTextHeight(font);

    QStringList& lines = out.lines;
    lines.clear();
    if (flags & DT_SINGLELINE) {
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
    out.total = lineHeight * int(lines.size());
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
}

void TCanvas::drawLines(const TTextLines& laidOut, const QRect& rect, unsigned flags) {
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
    for (int i = 0; i < laidOut.lines.size(); ++i) {
        const QString& line = laidOut.lines[i];
        int w = platform::textWidth(font, line);
        int x = rect.left();
        if (flags & DT_CENTER)
            x = (rect.left() + rect.right() + 1 - w) / 2;
        else if (flags & DT_RIGHT)
            x = rect.right() + 1 - w;
        drawLine(line, x, y, i == 0 ? laidOut.underline : -1, clip);
        y += lineHeight;
    }
}

int TCanvas::drawText(const QString& text, QRect& rect, unsigned flags) {
    TTextLines laidOut;
    layOut(text, rect, flags, laidOut);
    if (flags & DT_CALCRECT) {
        int w = 0;
        for (const QString& l : laidOut.lines)
            w = qMax(w, platform::textWidth(font, l));
        rect.setWidth(w);
        rect.setHeight(laidOut.total);
        return laidOut.total;
    }
    drawLines(laidOut, rect, flags);
    return laidOut.total;
}

int TCanvas::drawText(const QString& text, const QRect& rect, unsigned flags, TTextLines& cache) {
    flags &= ~unsigned(DT_CALCRECT);
    if (!cache.valid || cache.flags != flags || cache.rect != rect || cache.clip != clip_ ||
        cache.font != font || cache.text != text) {
        cache.valid = false;
        layOut(text, rect, flags, cache);
        cache.text = text;
        cache.font = font;
        cache.rect = rect;
        cache.clip = clip_;
        cache.flags = flags;
        cache.valid = true;
    }
    drawLines(cache, rect, flags);
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
    QPainter p(&image_);
    if (!clip_.isNull())
        p.setClipRect(clip_);
    p.drawImage(x, y, picture);
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
