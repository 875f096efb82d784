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

// Fonts remembered at once, texts remembered per font, the longest text remembered, and the
// memory all remembered texts may take (their characters, widths, shapes and inks). A grid
// cell's line is far shorter; a memo measured while it is cut to its cell is not kept.
constexpr std::size_t kFonts = 16;
constexpr qsizetype kTextsPerFont = 4096;
constexpr qsizetype kLongestText = 256;
constexpr std::size_t kTextBytes = std::size_t(8) << 20;
// The longest text whose ink is made at its first drawing; a longer one (a totals line, which
// changes with each customer) gets its ink when it is drawn again.
constexpr qsizetype kInkAtOnce = 40;

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

// One row of ink: pixels x0..x1 (inclusive) of row y, relative to the left end of the baseline.
struct InkSpan {
    qint16 y;
    qint16 x0;
    qint16 x1;
};

// What a font knows of one text: its width (-1 until measured); its ink, the pixels the toolkit's
// drawText sets in the pen's colour (made at the first drawing of a short text, for little more
// than the drawing costs, at the second of a long one; none when they are not all of that one
// colour, as with antialiased text); and, for text
// without ink, how often it was drawn and its glyph runs, placed from the left end of the
// baseline. Laying a line out for its runs costs about twice what one plain drawing of it does,
// so the runs are made when it is drawn again.
struct TextEntry {
    enum class Ink : quint8 { Unknown, Later, Spans, None };
    int width = -1;
    Ink ink = Ink::Unknown;
    int draws = 0;
    QRect inkBox; // the spans' bounds
    std::vector<InkSpan> spans;
    QList<QGlyphRun> runs;
};

// The memory one remembered text takes, near enough to bound the whole.
std::size_t bytesOf(const QString& text, const TextEntry& entry) {
    std::size_t glyphs = 0;
    for (const QGlyphRun& run : entry.runs)
        glyphs += std::size_t(run.glyphIndexes().size());
    return 64 + sizeof(TextEntry) + std::size_t(text.size()) * sizeof(QChar) +
           entry.spans.capacity() * sizeof(InkSpan) + glyphs * (sizeof(quint32) + sizeof(QPointF));
}

struct FontEntry {
    QFont font;
    WinMetrics metrics;
    QHash<QString, TextEntry> texts;
};

// The fonts seen, the one used last first in line: a paint draws run after run in one font.
// `bytes` counts what the remembered texts of every font take; past kTextBytes they are all
// forgotten (the metrics stay) and remembered anew as they are drawn.
struct FontCache {
    std::vector<FontEntry> fonts;
    std::size_t last = 0;
    std::size_t bytes = 0;

    FontEntry& entryFor(const QFont& font) {
        if (last < fonts.size() && fonts[last].font == font)
            return fonts[last];
        for (last = 0; last < fonts.size(); ++last)
            if (fonts[last].font == font)
                return fonts[last];
        if (fonts.size() >= kFonts)
            clear();
        fonts.push_back(FontEntry{font, measureWinMetrics(font), {}});
        last = fonts.size() - 1;
        return fonts.back();
    }

    void clear() {
        fonts.clear();
        last = 0;
        bytes = 0;
    }

    void forgetTexts() {
        for (FontEntry& f : fonts)
            f.texts.clear();
        bytes = 0;
    }

    // The entry of a text short enough to remember, made when missing; nullptr for a long one.
    // Making one may forget every other: hold no other entry across this call.
    TextEntry* textEntry(const QFont& font, const QString& text) {
        if (text.size() > kLongestText)
            return nullptr;
        FontEntry* f = &entryFor(font);
        auto it = f->texts.find(text);
        if (it != f->texts.end())
            return &*it;
        if (f->texts.size() >= kTextsPerFont) {
            for (auto t = f->texts.cbegin(); t != f->texts.cend(); ++t)
                bytes -= bytesOf(t.key(), t.value());
            f->texts.clear();
        }
        const std::size_t added = bytesOf(text, TextEntry{});
        if (bytes + added > kTextBytes) {
            forgetTexts();
            f = &entryFor(font);
        }
        bytes += added;
        return &f->texts[text];
    }

    // The entry of a remembered text with room for `extra` more bytes of shapes or ink. When
    // they would pass the bound every text is forgotten first, and the entry is made anew.
    TextEntry* makeRoom(const QFont& font, const QString& text, std::size_t extra) {
        if (bytes + extra > kTextBytes)
            forgetTexts();
        TextEntry* entry = textEntry(font, text);
        bytes += extra;
        return entry;
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

// The ink of one line: where the toolkit's drawText, with the painter a canvas uses, sets pixels
// in the pen's colour, as spans relative to the left end of the baseline. False when the line
// sets pixels of other colours (antialiased, or coloured glyphs) or reaches past the margin
// drawn around it: such a line is drawn by the toolkit every time.
bool makeInk(const QFont& font, const QString& text, int width, const WinMetrics& metrics,
             std::vector<InkSpan>& spans, QRect& box) {
    // Windows' ascent and descent hold a font's glyphs; a few pixels around them catch a glyph
    // reaching past, which makes the line one the toolkit draws each time.
    constexpr int margin = 3;
    const int left = -margin, top = -metrics.ascent - margin;
    const int w = width + 2 * margin, h = metrics.height + 2 * margin;
    if (w > 4 * 4096 || h > 4096)
        return false;
    QImage scratch(w, h, QImage::Format_RGB32);
    constexpr QRgb paper = 0xFFFFFFFF, pen = 0xFF000000;
    scratch.fill(paper);
    {
        QPainter p(&scratch);
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setRenderHint(QPainter::TextAntialiasing, false);
        p.setFont(font);
        p.setPen(QColor::fromRgb(pen));
        p.drawText(QPoint(-left, -top), text);
    }
    spans.clear();
    int x0 = w, y0 = h, x1 = -1, y1 = -1;
    for (int y = 0; y < h; ++y) {
        const QRgb* line = reinterpret_cast<const QRgb*>(scratch.constScanLine(y));
        for (int x = 0; x < w;) {
            // Most of the drawing is paper: pass over it two pixels at a time.
            while (x + 1 < w && (quint64(line[x]) | quint64(line[x + 1]) << 32) == ~quint64(0))
                x += 2;
            if (x < w && line[x] == paper)
                ++x;
            if (x >= w || line[x] == paper)
                continue;
            if (y == 0 || y == h - 1)
                return false;
            const int first = x;
            while (x < w && line[x] == pen)
                ++x;
            if (first == 0 || x == w || line[x] != paper)
                return false;
            spans.push_back(InkSpan{qint16(y + top), qint16(first + left), qint16(x - 1 + left)});
            x0 = std::min(x0, first);
            x1 = std::max(x1, x - 1);
            y0 = std::min(y0, y);
            y1 = y;
        }
    }
    box = x1 < 0 ? QRect() : QRect(QPoint(x0 + left, y0 + top), QPoint(x1 + left, y1 + top));
    spans.shrink_to_fit();
    return true;
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

bool drawTextInk(QImage& image, const QRect& clip, const QFont& font, const QPoint& baseline,
                 const QString& text, QRgb color) {
    if (image.depth() != 32 || !shapedAlike(font, text))
        return false;
    FontCache& c = cache();
    TextEntry* entry = c.textEntry(font, text);
    if (!entry || entry->ink == TextEntry::Ink::None)
        return false;
    if (entry->ink == TextEntry::Ink::Unknown && text.size() > kInkAtOnce) {
        entry->ink = TextEntry::Ink::Later;
        return false;
    }
    if (entry->ink == TextEntry::Ink::Unknown || entry->ink == TextEntry::Ink::Later) {
        if (entry->width < 0)
            entry->width = QFontMetrics(font).horizontalAdvance(text);
        std::vector<InkSpan> spans;
        QRect box;
        const bool inked = makeInk(font, text, entry->width, c.entryFor(font).metrics, spans, box);
        const int width = entry->width;
        entry = c.makeRoom(font, text, spans.capacity() * sizeof(InkSpan));
        entry->width = width;
        entry->ink = inked ? TextEntry::Ink::Spans : TextEntry::Ink::None;
        entry->spans = std::move(spans);
        entry->inkBox = box;
        if (!inked)
            return false;
    }
    QRect area = clip.isNull() ? image.rect() : image.rect().intersected(clip);
    const QRect box = entry->inkBox.translated(baseline);
    if (!area.intersects(box))
        return true;
    uchar* const origin = image.bits() + qsizetype(baseline.y()) * image.bytesPerLine() +
                          qsizetype(baseline.x()) * qsizetype(sizeof(QRgb));
    const qsizetype stride = image.bytesPerLine();
    const auto fill = [origin, stride, color](int y, int x0, int x1) {
        QRgb* row = reinterpret_cast<QRgb*>(origin + qsizetype(y) * stride);
        for (int x = x0; x <= x1; ++x)
            row[x] = color;
    };
    if (area.contains(box)) { // the common case: the whole line is inside
        for (const InkSpan& s : entry->spans)
            fill(s.y, s.x0, s.x1);
        return true;
    }
    area.translate(-baseline); // spans stay where they are; the area moves to meet them
    for (const InkSpan& s : entry->spans) {
        if (s.y < area.top() || s.y > area.bottom())
            continue;
        const int x0 = std::max<int>(s.x0, area.left()), x1 = std::min<int>(s.x1, area.right());
        fill(s.y, x0, x1);
    }
    return true;
}

void drawTextLine(QPainter& painter, const QFont& font, const QPoint& baseline,
                  const QString& text) {
    if (shapedAlike(font, text)) {
        if (TextEntry* entry = cache().textEntry(font, text)) {
            if (entry->draws < 2 && ++entry->draws == 2) {
                QList<QGlyphRun> runs = shape(font, text);
                std::size_t glyphs = 0;
                for (const QGlyphRun& run : runs)
                    glyphs += std::size_t(run.glyphIndexes().size());
                const int width = entry->width;
                entry = cache().makeRoom(font, text, glyphs * (sizeof(quint32) + sizeof(QPointF)));
                entry->draws = 2;
                entry->width = width;
                entry->runs = std::move(runs);
            }
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

TextMemory rememberedTexts() {
    TextMemory m;
    for (const FontEntry& f : cache().fonts)
        m.texts += f.texts.size();
    m.bytes = cache().bytes;
    m.limit = kTextBytes;
    return m;
}

} // namespace platform
