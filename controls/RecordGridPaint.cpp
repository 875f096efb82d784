// TRecordGrid painting: title and indicator cells, data cells, lines, pad area and drag picture.
#include "controls/RecordGridPrivate.h"
#include "platform/Fonts.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScopeGuard>
#include <QScrollBar>
#include <algorithm>

namespace controls {

using data::TDataSetState;

namespace {

// The three 6 x 11 indicator glyphs, "#" a drawn pixel.
constexpr const char* kArrowGlyph[11] = {"#.....", "##....", "###...", "####..", "#####.", "######",
                                         "#####.", "####..", "###...", "##....", "#....."};
constexpr const char* kIBeamGlyph[11] = {"##..##", "..##..", "..##..", "..##..", "..##..", "..##..",
                                         "..##..", "..##..", "..##..", "..##..", "##..##"};
constexpr const char* kStarGlyph[11] = {"......", "......", "......", ".#..#.", "..##..", "######",
                                        "..##..", ".#..#.", "......", "......", "......"};

// The line between data cells on a white ground; elsewhere a line is raised, drawn in the
// system's button shadow and highlight colours.
const TColor kDataLine = TColor::fromHex(0xC0C0C0);

void drawGlyph(TCanvas& canvas, int x, int y, const char* const (&glyph)[11], TColor color) {
    for (int row = 0; row < 11; ++row)
        for (int col = 0; col < 6; ++col)
            if (glyph[row][col] == '#')
                canvas.setPixel(x + col, y + row, color);
}

// One-pixel lines, end points included.
void hline(TCanvas& canvas, int x1, int x2, int y, TColor color) {
    if (x2 < x1)
        return;
    canvas.penColor = color;
    canvas.moveTo(x1, y);
    canvas.lineTo(x2 + 1, y);
}

void vline(TCanvas& canvas, int x, int y1, int y2, TColor color) {
    if (y2 < y1)
        return;
    canvas.penColor = color;
    canvas.moveTo(x, y1);
    canvas.lineTo(x, y2 + 1);
}

void fill(TCanvas& canvas, const QRect& rect, TColor color) {
    canvas.brushColor = color;
    canvas.fillRect(rect);
}

bool isWhite(TColor color) {
    return color.toQColor().rgb() == qRgb(255, 255, 255);
}

unsigned alignmentFlags(data::TAlignment alignment) {
    switch (alignment) {
    case data::TAlignment::taRightJustify:
        return DT_RIGHT;
    case data::TAlignment::taCenter:
        return DT_CENTER;
    case data::TAlignment::taLeftJustify:
        break;
    }
    return DT_LEFT;
}

} // namespace

void TRecordGrid::paint(TCanvas& canvas) {
    d->paintArea(canvas, rect());
}

void TRecordGrid::paintEvent(QPaintEvent* event) {
    if (d->image.size() != size())
        d->image = QImage(size(), QImage::Format_RGB32);
    {
        TCanvas canvas(d->image);
        canvas.font = font();
        for (const QRect& r : event->region()) {
            canvas.setClipRect(r);
            d->paintArea(canvas, r);
        }
    }
    QPainter painter(this);
    for (const QRect& r : event->region())
        painter.drawImage(r.topLeft(), d->image, r);
    d->pending -= event->region();
}

void TRecordGrid::Private::paintArea(TCanvas& canvas, const QRect& area) {
    const QRect client(0, 0, clientW, clientH);
    const bool active = linkActive();
    const std::vector<int> lefts = columnLefts();
    const int lw = colLine();

    // A cell reaches at most one pixel beyond its rectangle.
    const QRect reach = area.adjusted(-1, -1, 1, 1);

    // 1. Ground.
    if (active)
        fillGround(canvas, reach, lefts);
    else
        fill(canvas, client, titleColor);
    if (!active) {
        int right = fixedLeft();
        for (int c = 0; c < dataColumns(); ++c)
            if (lefts[size_t(c)] >= 0)
                right = lefts[size_t(c)] + widths[size_t(c)] + lw;
        fill(canvas,
             QRect(QPoint(fixedLeft(), dataTop()), QPoint(right - 1, rowTop(dataRows()) - 1)),
             color);
    }
    if (vbar->isVisible() && hbar->isVisible())
        fill(canvas, QRect(clientW, clientH, q.width() - clientW, q.height() - clientH),
             platform::clBtnFace);

    // 2. Cells.
    if (titleRows) {
        if (indicatorCols)
            fill(canvas, QRect(0, 0, indicatorWidth(), titleHeight), titleColor);
        for (int c = 0; c < dataColumns(); ++c) {
            const int l = lefts[size_t(c)];
            if (l >= 0 && reach.intersects(QRect(l - 1, 0, widths[size_t(c)] + 2, titleHeight)))
                paintTitleCell(canvas, c, l);
        }
    }
    data::TDataSet* ds = dataSet();
    const int records = active && ds->active() ? link.recordCount() : 0;
    for (int r = 0; r < dataRows(); ++r) {
        if (!reach.intersects(rowRect(r)))
            continue;
        if (indicatorCols)
            paintIndicatorCell(canvas, r);
        if (!active)
            continue;
        const bool hasRecord = r < records;
        // A row with a record is painted with that record as the link's active one.
        const int saved = link.activeRecord();
        auto restore = qScopeGuard([&] { link.setActiveRecord(saved); });
        if (hasRecord)
            link.setActiveRecord(r);
        else
            restore.dismiss();
        for (int c = 0; c < dataColumns(); ++c) {
            const int l = lefts[size_t(c)];
            if (l >= 0 && reach.intersects(QRect(l - 1, rowTop(r), widths[size_t(c)] + 2, pitch())))
                paintDataCell(canvas, c, l, r, hasRecord);
        }
    }

    // 3. Lines.
    drawColumnLines(canvas, lefts);
    drawFixedLines(canvas, lefts);

    // 4. Area right of the last column.
    paintPad(canvas, lefts);

    // The picture of a title being dragged.
    if (mouse == MouseMode::Moving && !dragPicture.isNull())
        canvas.draw(pointerX - grabOffset, 0, dragPicture);
}

void TRecordGrid::Private::fillGround(TCanvas& canvas, const QRect& reach,
                                      const std::vector<int>& lefts) {
    const QRect client(0, 0, clientW, clientH);
    const auto ground = [&](const QRect& r) {
        if (r.width() > 0 && r.height() > 0)
            fill(canvas, r.intersected(client), color);
    };
    ground(QRect(0, 0, clientW, dataTop()));
    for (int r = 0; r < dataRows(); ++r) {
        const int top = rowTop(r);
        // The cells paintArea paints in this row (the same test), each filling its rectangle.
        int x = 0;
        if (reach.intersects(rowRect(r)))
            for (int c = 0; c < dataColumns(); ++c) {
                const int l = lefts[size_t(c)];
                const int w = widths[size_t(c)];
                if (l < 0 || !reach.intersects(QRect(l - 1, top, w + 2, pitch())))
                    continue;
                ground(QRect(x, top, l - x, dataHeight));
                x = std::max(x, l + w);
            }
        ground(QRect(x, top, clientW - x, dataHeight));
        ground(QRect(0, top + dataHeight, clientW, pitch() - dataHeight));
    }
    ground(QRect(0, rowTop(dataRows()), clientW, clientH - rowTop(dataRows())));
}

void TRecordGrid::Private::paintTitleCell(TCanvas& canvas, int dataColumn, int left) {
    const int w = widths[size_t(dataColumn)];
    fill(canvas, QRect(left - 1, 0, w + 1, titleHeight), titleColor);
    const data::TField* f = linkActive() ? field(dataColumn) : nullptr;
    if (!f)
        return; // while the link is inactive the single title cell is empty
    const QString title = f->displayName();
    const int textHeight = platform::windowsTextHeight(titleFont);
    const int lines = titleLines == 1 ? 1 : int(title.count('~')) + 1;
    const int top = int(titleHeight / 2.0 - textHeight * lines / 2.0);
    const QFont savedFont = canvas.font;
    canvas.font = titleFont;
    canvas.fontColor = titleFontColor;
    canvas.brushClear = true;
    QString text = title;
    text.replace('~', '\n');
    canvas.drawText(text, QRect(left + 2, top, std::max(0, w - 4), textHeight * lines),
                    alignmentFlags(titleAlignment) | DT_END_ELLIPSIS | DT_NOPREFIX);
    canvas.brushClear = false;
    canvas.font = savedFont;
}

void TRecordGrid::Private::paintIndicatorCell(TCanvas& canvas, int dataRow) {
    const int top = rowTop(dataRow);
    fill(canvas, QRect(0, top, indicatorWidth(), dataHeight), titleColor);
    if (!linkActive() || dataRow != currentDataRow())
        return;
    const int x = (indicatorWidth() - 6) / 2 + 1;
    const int y = (2 * top + dataHeight - 11) / 2;
    switch (dataSet()->state()) {
    case TDataSetState::dsEdit:
        drawGlyph(canvas, x, y, kIBeamGlyph, platform::clBlack);
        break;
    case TDataSetState::dsInsert:
        drawGlyph(canvas, x, y, kStarGlyph, platform::clBlack);
        break;
    default:
        drawGlyph(canvas, x, y, kArrowGlyph, platform::clBlack);
        break;
    }
}

QString TRecordGrid::Private::cellText(const data::TField& f) const {
    if (f.dataType() == data::TFieldType::ftMemo)
        return QStringLiteral("(Memo)");
    return f.displayText();
}

void TRecordGrid::Private::paintDataCell(TCanvas& canvas, int dataColumn, int left, int dataRow,
                                         bool hasRecord) {
    const int w = widths[size_t(dataColumn)];
    const int top = rowTop(dataRow);
    const QRect cell(left, top, w, dataHeight);
    const bool rowLines = options.testFlag(dgRowLines);

    // Background: alternating rows keep the grid's colour as the brush afterwards.
    const TColor alternate = paintOptions.AlternatingRowColor;
    const bool shaded = !alternate.isNone() &&
                        paintOptions.AlternatingRowRegions.testFlag(arrDataColumns) &&
                        ((dataRow & 1) != 0) != parity;
    if (shaded)
        fill(canvas, QRect(left - 1, top, w + 1, dataHeight + (rowLines ? 0 : 1)), alternate);
    else
        fill(canvas, cell, color);
    TColor brush = color;
    TColor textColor = fontColor;
    const bool highlighted = dataRow == currentDataRow() && highlightShown();
    if (highlighted) {
        brush = paintOptions.ActiveRecordColor;
        textColor = platform::clHighlightText;
        fill(canvas, cell, brush);
    }

    // Text.
    const data::TField* f = field(dataColumn);
    if (hasRecord && f) {
        // Left and right aligned text keep 2 pixels from their edge; centred text has the width.
        const data::TAlignment alignment = f->alignment();
        const int inset = alignment == data::TAlignment::taCenter ? 0 : 2;
        const int rightInset = alignment == data::TAlignment::taRightJustify ? 2 : 0;
        const QRect textRect(left + inset, top + 2, std::max(0, w - inset - rightInset),
                             std::max(0, dataHeight - 3));
        unsigned flags = alignmentFlags(alignment) | DT_EXPANDTABS | DT_NOPREFIX;
        const int lineHeight = platform::windowsTextHeight(q.font());
        if (options.testFlag(dgWordWrap) && textRect.height() > lineHeight + 2 * 1 + 3)
            flags |= DT_WORDBREAK;
        if (options.testFlag(dgTrailingEllipsis))
            flags |= DT_END_ELLIPSIS;
        canvas.fontColor = textColor;
        canvas.brushClear = true;
        canvas.drawText(cellText(*f), textRect, flags);
        canvas.brushClear = false;
    }

    // The row line follows the brush the cell was painted with.
    if (!rowLines)
        return;
    const int bottom = top + dataHeight;
    if (isWhite(brush) || (highlighted && isWhite(color))) {
        hline(canvas, left, left + w - 1, bottom, kDataLine);
    } else {
        hline(canvas, left, left + w - 1, bottom, platform::clBtnShadow);
        if (!highlighted)
            hline(canvas, left, left + w - 1, top, platform::clBtnHighlight);
    }
}

void TRecordGrid::Private::drawColumnLines(TCanvas& canvas, const std::vector<int>& lefts) {
    if (!options.testFlag(dgColLines))
        return;
    const int y1 = dataTop();
    const int y2 = rowTop(dataRows() - 1) + dataHeight; // one pixel below the last data row
    const bool flat = isWhite(color);
    for (int c = 0; c < dataColumns(); ++c) {
        const int l = lefts[size_t(c)];
        if (l < 0)
            continue;
        const int x = l + widths[size_t(c)];
        if (flat) {
            vline(canvas, x, y1, y2, kDataLine);
        } else {
            vline(canvas, x, y1, y2, platform::clBtnShadow);
            vline(canvas, x + 1, y1, y2, platform::clBtnHighlight);
        }
    }
}

void TRecordGrid::Private::drawFixedLines(TCanvas& canvas, const std::vector<int>& lefts) {
    const TColor light = platform::clBtnHighlight;
    const TColor dark = platform::clBlack;
    const int lw = colLine();
    const int e = rowLine();
    // Title cells: light top and left, dark right and bottom (on the grid lines when there are).
    auto raised = [&](int left, int w) {
        const int right = left + w - 1 + lw;
        const int bottom = titleHeight - 1 + e;
        hline(canvas, left, left + w - 1, 0, light);
        vline(canvas, left, 0, titleHeight - 1, light);
        vline(canvas, right, 0, bottom, dark);
        hline(canvas, left, right, bottom, dark);
    };
    if (titleRows) {
        if (indicatorCols)
            raised(0, indicatorWidth());
        for (int c = 0; c < dataColumns(); ++c)
            if (lefts[size_t(c)] >= 0)
                raised(lefts[size_t(c)], widths[size_t(c)]);
    }
    // Indicator cells: dark bottom and right with light beside them, light left edge.
    if (indicatorCols) {
        const int w = indicatorWidth();
        for (int r = 0; r < dataRows(); ++r) {
            const int top = rowTop(r);
            const int bottom = top + dataHeight - 1;
            hline(canvas, 0, w - 1, bottom, dark);
            if (e)
                hline(canvas, 0, w - 1 + lw, bottom + 1, light);
            vline(canvas, w - 1, top, bottom, dark);
            if (lw)
                vline(canvas, w, top, bottom + e, light);
            vline(canvas, 0, top, bottom - 1, light);
        }
    }
}

void TRecordGrid::Private::paintPad(TCanvas& canvas, const std::vector<int>& lefts) {
    if (dataColumns() == 0)
        return;
    const int last = dataColumns() - 1;
    const int l = lefts[size_t(last)];
    if (l < 0)
        return;
    const int start = l + widths[size_t(last)] + colLine();
    if (start >= clientW)
        return;
    fill(canvas, QRect(start, 0, clientW - start, clientH), titleColor);
    vline(canvas, start, 0, clientH - 1, platform::clBtnHighlight);
    hline(canvas, start, clientW - 1, 0, platform::clBtnHighlight);
}

QImage TRecordGrid::Private::makeDragPicture(int dataColumn) const {
    const int border = vbar->isVisible() ? vbar->width() + 9 : 10;
    const int maxWidth = q.width() - border - (indicatorWidth() + 2);
    const int w = std::max(1, std::min(widths[size_t(dataColumn)], maxWidth));
    QImage picture(w, std::max(1, titleHeight), QImage::Format_RGB32);
    TCanvas canvas(picture);
    canvas.font = titleFont;
    fill(canvas, picture.rect(), titleColor);
    if (const data::TField* f = field(dataColumn)) {
        canvas.fontColor = titleFontColor;
        canvas.brushClear = true;
        QString text = f->displayName();
        text.replace('~', '\n');
        const int top = int(titleHeight / 2.0 - platform::windowsTextHeight(titleFont) / 2.0);
        canvas.drawText(text, QRect(2, top, std::max(0, w - 4), titleHeight - top),
                        alignmentFlags(titleAlignment) | DT_END_ELLIPSIS | DT_NOPREFIX);
        canvas.brushClear = false;
    }
    canvas.penColor = platform::clBlack;
    canvas.brushClear = true;
    canvas.rectangle(0, 0, w, picture.height());
    return picture;
}

} // namespace controls
