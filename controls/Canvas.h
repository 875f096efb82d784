// TCanvas: pixel-exact drawing on an off-screen image with the Windows GDI conventions.
#pragma once

#include "platform/Colors.h"

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <memory>

class QPainter;

namespace controls {

using platform::TColor;

// DrawText format flags (the values of the Windows DT_ constants).
enum DrawTextFlags : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
    DT_END_ELLIPSIS = 0x8000,
};

// What drawText made of a text for one rectangle, clip and font: the lines it draws, already cut.
// A control that paints the same cell again and again (a long note under a blinking caret)
// keeps one per cell and hands it back, so that an unchanged text is not laid out again.
struct TTextLines {
    // What the lines were made from.
    QString text;
    QFont font;
    QRect rect;
    QRect clip;
    unsigned flags = 0;
    bool valid = false;
    // The lines drawn, the prefix-underlined character of the first, the height of all lines.
    QStringList lines;
    int underline = -1;
    int total = 0;
};

// Direction of a two-colour gradient fill.
enum class TGradientDirection { Horizontal, Vertical, Diagonal };

// Draws into a QImage it does not own. Geometry is Windows': a line includes its start point and
// excludes its end point; rectangle(x1, y1, x2, y2) covers x1..x2-1, y1..y2-1; rectangles given
// as QRect use QRect's inclusive left/top and exclusive right+1/bottom+1 (QRect(x, y, w, h)).
// No anti-aliasing anywhere. Text is positioned with Windows metrics (platform/Fonts.h).
// Lines and fills are written straight into the image; text and pictures go through one painter,
// begun at the first of them and ended with the canvas, so the image must not be copied while a
// canvas draws on it.
class TCanvas {
public:
    explicit TCanvas(QImage& image);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    QImage& image() { return image_; }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }

    // Pen: colour, width, clear style. Brush: colour, clear style. Font with its colour.
    TColor penColor = platform::clBlack;
    bool penClear = false;
    TColor brushColor = platform::clWhite;
    bool brushClear = false;
    QFont font;
    TColor fontColor = platform::clBlack;

    void moveTo(int x, int y);
    void lineTo(int x, int y); // draws from the pen position, end point excluded; moves the pen
    QPoint penPos() const { return pen_; }
    void setPixel(int x, int y, TColor color);
    TColor pixel(int x, int y) const;
    // Outline with the pen (unless clear) and interior with the brush (unless clear).
    void rectangle(int x1, int y1, int x2, int y2);
    // Fills x1..x2-1, y1..y2-1 with the brush colour (ignores brushClear).
    void fillRect(int x1, int y1, int x2, int y2);
    void fillRect(const QRect& r) { fillRect(r.left(), r.top(), r.right() + 1, r.bottom() + 1); }

    // Text extent without prefix processing (width, Windows text height).
    QSize textExtent(const QString& text) const;
    int textWidth(const QString& text) const { return textExtent(text).width(); }
    int textHeight(const QString& text) const { return textExtent(text).height(); }
    // One line at (x, y) (top-left of the text cell), no clipping, background only when the brush
    // is not clear.
    void textOut(int x, int y, const QString& text);
    // DrawText: returns the height of the text drawn; with DT_CALCRECT measures into rect only.
    int drawText(const QString& text, QRect& rect, unsigned flags);
    int drawText(const QString& text, const QRect& rect, unsigned flags) {
        QRect r = rect;
        return drawText(text, r, flags);
    }
    // The same (without DT_CALCRECT), reusing the lines in cache when they were made from the
    // same text, font, rectangle, clip and flags, and keeping the new ones there otherwise.
    int drawText(const QString& text, const QRect& rect, unsigned flags, TTextLines& cache);

    // Two-colour gradient over (0, 0)-(w, h), drawn with the pen as n + 1 lines (n = w, h or w + h
    // by direction). Each channel is a double accumulator, started at the start colour's byte and
    // advanced by (end - start) / n, rounded half to even when the pen takes it. A vertical line i
    // is a row, a horizontal one a column, a diagonal one the pixels x + y = i with x >= 1. The
    // colour bytes come straight from the colour number (system colours are not translated).
    // Nothing is drawn when n is 0. Leaves the pen colour as it was.
    void gradient(int w, int h, TColor start, TColor end, TGradientDirection direction);

    // Copies an image; with a transparent colour, pixels of that colour are skipped.
    void draw(int x, int y, const QImage& picture);
    void drawTransparent(int x, int y, const QImage& picture, TColor transparent);

    // Clip rectangle for everything drawn (empty = no clip).
    void setClipRect(const QRect& r) { clip_ = r; }
    QRect clipRect() const { return clip_; }

private:
    // The pixels drawing may change: the image, less what the clip rectangle leaves out.
    QRect drawable() const;
    void fillClipped(const QRect& r, const QRect& clip, TColor color);
    // The painter for text and pictures, clipped to `clip` (null: the image only).
    QPainter& painter(const QRect& clip);
    void drawLine(const QString& line, int x, int y, int underlineIndex, const QRect& clip);
    // Prefixes, tabs, line breaks, word breaks, lines below the clip and the ellipsis: the lines
    // drawn and the underlined character of the first; returns the height of all lines.
    int layOut(const QString& text, const QRect& rect, unsigned flags, QStringList& lines,
               int& underline) const;
    void drawLines(const QStringList& lines, int underline, const QRect& rect, unsigned flags);

    QImage& image_;
    QPoint pen_;
    QRect clip_;
    std::unique_ptr<QPainter> painter_;
    QRect painterClip_;
};

// The line itself when measure(line) <= width; else its longest start (at least one character,
// shorter than the line) that fits together with "...", followed by "..."; else "...". Widths
// grow with the length of a start, so the cut is searched: the characters measured grow with the
// length of the cut (times its logarithm), not with the length of the line.
QString cutWithEllipsis(const QString& line, int width,
                        const std::function<int(QStringView)>& measure);

// Removes "&" prefixes ("&&" gives "&"); the index of the underlined character or -1.
QString stripPrefix(const QString& text, int* underlineIndex = nullptr);

} // namespace controls
