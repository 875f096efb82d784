// Fonts: Tahoma and MS Sans Serif from fonts-wine, and text metrics measured the Windows way.
#pragma once

#include <QFont>
#include <QPoint>
#include <QString>

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
// Metrics, widths and shapes are kept per font: grids and panels draw the same titles, names and
// amounts on every paint. A font remembers a bounded number of texts, and none longer than a
// line of a grid cell.
void drawTextLine(QPainter& painter, const QFont& font, const QPoint& baseline,
                  const QString& text);

} // namespace platform
