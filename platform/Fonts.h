// Fonts: Tahoma and MS Sans Serif from fonts-wine, and text metrics measured the Windows way.
#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <cstddef>

class QPainter;

namespace platform {

// Registers the bundled Windows fonts with the toolkit; call once after the application starts.
// Returns false when a font file is missing (text then falls back to the toolkit's default).
// Forgets every measured and shaped text, as the fonts behind a family may have changed.
bool loadFonts();

// A font by family, character height in pixels (8 pt at 96 dpi = 11) and weight, aliased and
// fully hinted so that rendering is the same on every machine.
QFont makeFont(const QString& family, int pixelHeight, bool bold = false);
inline QFont tahoma(int pixelHeight = 11, bool bold = false) {
    return makeFont("Tahoma", pixelHeight, bold);
}
inline QFont msSansSerif(int pixelHeight = 11, bool bold = false) {
    return makeFont("MS Sans Serif", pixelHeight, bold);
}

// Ascent and text height as Windows computes them (OS/2 winAscent and winAscent + winDescent,
// scaled to the pixel size): Tahoma 11 px gives 11 and 13.
int windowsAscent(const QFont& font);
int windowsTextHeight(const QFont& font);
// Advance width of a text in pixels, as GetTextExtentPoint gives it (6 for "0" in Tahoma 11 px).
int textWidth(const QFont& font, const QString& text);

// Draws one line of text in a font with its baseline starting at `baseline`, in the painter's pen,
// exactly as QPainter::drawText(baseline, text) with that font draws it. The painter's font may be
// changed.
//
// Metrics, widths, shapes and inks are kept per font: grids and panels draw the same titles,
// names and amounts on every paint. A font remembers a bounded number of texts, none longer than
// a line of a grid cell, and all fonts' texts together a bounded amount of memory.
void drawTextLine(QPainter& painter, const QFont& font, const QPoint& baseline,
                  const QString& text);

// The same line written straight into an image of 32-bit pixels, inside `clip` (null: the whole
// image), in `color`: the pixels are those drawTextLine sets with a pen of that colour on a
// painter without clipping or transformation, less those outside the clip. Text the toolkit draws
// in one colour is remembered as that ink, made by the toolkit the first time (for a text longer
// than a grid cell's, the second time). Otherwise (antialiased text, other scripts, tabs, a font
// sized in points, a long text drawn for the first time) nothing is drawn and false returned:
// draw it with drawTextLine.
bool drawTextInk(QImage& image, const QRect& clip, const QFont& font, const QPoint& baseline,
                 const QString& text, QRgb color);

// What the remembered texts of all fonts take: their number, their memory and its bound.
struct TextMemory {
    qsizetype texts = 0;
    std::size_t bytes = 0;
    std::size_t limit = 0;
};
TextMemory rememberedTexts();

} // namespace platform
