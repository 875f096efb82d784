// Fonts: loading the bundled Windows fonts, measuring text the way Windows does, and the texts
// each font has measured and shaped.
#include "platform/Fonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGlyphRun>
#include <QHash>
#include <QList>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <cmath>
#include <vector>

namespace platform {

namespace {

const char* kFontDir = "/usr/share/wine/fonts/";

// Fonts remembered at once, texts remembered per font, and the longest text remembered. A grid
// cell's line is far shorter; a memo measured while it is cut to its cell is not kept.
constexpr std::size_t kFonts = 16;
constexpr qsizetype kTextsPerFont = 4096;
constexpr qsizetype kLongestText = 256;

quint16 readU16(const QByteArray& table, int offset) {
    if (offset + 1 >= table.size())
        return 0;
    return quint16((quint8(table[offset]) << 8) | quint8(table[offset + 1]));
}

struct WinMetrics {
    int ascent = 0;
    int height = 0;
};

WinMetrics measureWinMetrics(const QFont& font) {
    WinMetrics m;
    QRawFont raw = QRawFont::fromFont(font);
    QByteArray os2 = raw.fontTable("OS/2");
    QByteArray head = raw.fontTable("head");
    int unitsPerEm = readU16(head, 18);
    int pixel = font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF() * 96 / 72);
    if (os2.size() >= 78 && unitsPerEm > 0) {
        double winAscent = readU16(os2, 74), winDescent = readU16(os2, 76);
        m.ascent = int(std::lround(winAscent * pixel / unitsPerEm));
        m.height = m.ascent + int(std::lround(winDescent * pixel / unitsPerEm));
    } else {
        QFontMetrics fm(font);
        m.ascent = fm.ascent();
        m.height = fm.height();
    }
    return m;
}

// What a font knows of one text: its width (-1 until measured), how often it was drawn and its
// glyph runs, placed from the left end of the baseline. Laying a line out for its runs costs about
// twice what one plain drawing of it does, so the runs are made when the text is drawn again.
struct TextEntry {
    int width = -1;
    int draws = 0;
    QList<QGlyphRun> runs;
};

struct FontEntry {
    QFont font;
    WinMetrics metrics;
    QHash<QString, TextEntry> texts;
};

// The fonts seen, the one used last first in line: a paint draws run after run in one font.
struct FontCache {
    std::vector<FontEntry> fonts;
    std::size_t last = 0;

    FontEntry& entryFor(const QFont& font) {
        if (last < fonts.size() && fonts[last].font == font)
            return fonts[last];
        for (last = 0; last < fonts.size(); ++last)
            if (fonts[last].font == font)
                return fonts[last];
        if (fonts.size() >= kFonts)
            fonts.clear();
        fonts.push_back(FontEntry{font, measureWinMetrics(font), {}});
        last = fonts.size() - 1;
        return fonts.back();
    }

    // The entry of a text short enough to remember, made when missing; nullptr for a long one.
    TextEntry* textEntry(const QFont& font, const QString& text) {
        if (text.size() > kLongestText)
            return nullptr;
        QHash<QString, TextEntry>& texts = entryFor(font).texts;
        auto it = texts.find(text);
        if (it != texts.end())
            return &*it;
        if (texts.size() >= kTextsPerFont)
            texts.clear();
        return &texts[text];
    }
};

FontCache& cache() {
    static FontCache c; // the GUI thread's; only it measures and paints
    return c;
}

// Texts whose glyphs the toolkit's line layout places exactly as its one-line drawText does:
// left-to-right scripts without tabs, control characters, soft hyphens or separators, in a
// font sized in pixels (a point size would depend on the device painted on).
bool shapedAlike(const QFont& font, const QString& text) {
    if (font.pixelSize() <= 0)
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0) || u == 0xAD || u > 0x24F)
            return false;
    }
    return true;
}

// The glyph runs of one line, each glyph placed relative to the left end of its baseline.
QList<QGlyphRun> shape(const QFont& font, const QString& text) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (!line.isValid()) {
        layout.endLayout();
        return {};
    }
    line.setLineWidth(1e6);
    layout.endLayout();
    QList<QGlyphRun> runs = layout.glyphRuns();
    const qreal baseline = line.y() + line.ascent();
    for (QGlyphRun& run : runs) {
        QList<QPointF> positions = run.positions();
        for (QPointF& p : positions)
            p.ry() -= baseline;
        run.setPositions(positions);
    }
    return runs;
}

} // namespace

bool loadFonts() {
    cache().fonts.clear();
    bool ok = true;
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf", "ms_sans_serif.ttf"})
        ok = QFontDatabase::addApplicationFont(QString(kFontDir) + file) >= 0 && ok;
    return ok;
}

QFont makeFont(const QString& family, int pixelHeight, bool bold) {
    QFont f(family);
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setKerning(false);
    return f;
}

int windowsAscent(const QFont& font) {
    return cache().entryFor(font).metrics.ascent;
}

int windowsTextHeight(const QFont& font) {
    return cache().entryFor(font).metrics.height;
}

int textWidth(const QFont& font, const QString& text) {
    TextEntry* entry = cache().textEntry(font, text);
    if (!entry)
        return QFontMetrics(font).horizontalAdvance(text);
    if (entry->width < 0)
        entry->width = QFontMetrics(font).horizontalAdvance(text);
    return entry->width;
}

void drawTextLine(QPainter& painter, const QFont& font, const QPoint& baseline,
                  const QString& text) {
    if (shapedAlike(font, text)) {
        if (TextEntry* entry = cache().textEntry(font, text)) {
            if (entry->draws < 2 && ++entry->draws == 2)
                entry->runs = shape(font, text);
            if (!entry->runs.isEmpty()) {
                for (const QGlyphRun& run : std::as_const(entry->runs))
                    painter.drawGlyphRun(baseline, run);
                return;
            }
        }
    }
    if (!(painter.font() == font))
        painter.setFont(font);
    painter.drawText(baseline, text);
}

} // namespace platform
