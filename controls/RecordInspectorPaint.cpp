// TRecordInspector: painting the rows, their lines and cells into one off-screen image.
#include "controls/RecordInspectorPrivate.h"
#include "platform/Fonts.h"

#include <QPainter>
#include <algorithm>

namespace controls {

// ---------------------------------------------------------------------------------------------
// Painting

void TRecordInspector::Private::drawRowLine(TCanvas& canvas, int x1, int x2, int y) const {
    // Every second pixel, starting at the left end.
    for (int x = x1; x < x2; x += 2)
        canvas.setPixel(x, y, dottedLineColor);
}

unsigned TRecordInspector::Private::dataTextFlags(const TInspectorItem* item) const {
    unsigned flags = DT_NOPREFIX | DT_END_ELLIPSIS;
    if (item->wordWrap())
        flags |= DT_WORDBREAK;
    else if (!item->isMemo())
        flags |= DT_SINGLELINE;
    if (item->alignment() == TInspectorAlignment::taRightJustify)
        flags |= DT_RIGHT;
    return flags;
}

void TRecordInspector::Private::paintCaptionCell(TCanvas& canvas, int row,
                                                 const QRect& cell) const {
    const TInspectorItem* item = rows[size_t(row)];
    const int indent = captionIndent;
    QRect text(cell.left() + indent, cell.top() + 1, cell.width() - indent, cell.height() - 1);
    if (text.width() <= 0 || item->caption().isEmpty())
        return;
    canvas.font = q->captionFont();
    canvas.fontColor = platform::clWindowText;
    canvas.brushClear = true;
    if (options & ovCenterCaptionVert) {
        // Windows rectangles: the cell's bottom is one past its last pixel row.
        const int cellBottom = cell.top() + cell.height();
        const int offset =
            (cellBottom - text.top() - platform::windowsTextHeight(canvas.font) - 2) / 2;
        text.setTop(text.top() + offset);
    }
    canvas.drawText(item->caption(), text, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS);
}

void TRecordInspector::Private::paintDataCell(TCanvas& canvas, int row, const QRect& cell) const {
    const TInspectorItem* item = rows[size_t(row)];
    const QString text = item->displayText();
    if (text.isEmpty())
        return;
    canvas.font = q->font();
    canvas.fontColor = item->enabled() ? platform::clWindowText : platform::clGrayText;
    canvas.brushClear = true;
    QRect r = cell.adjusted(2, 1, 0, 0);
    if (item->alignment() == TInspectorAlignment::taRightJustify)
        r.adjust(0, 0, -2, 0);
    canvas.setClipRect(cell);
    if (cellLines.size() < rows.size())
        cellLines.resize(rows.size());
    canvas.drawText(text, r, dataTextFlags(item), cellLines[size_t(row)]);
    canvas.setClipRect(QRect());
}

void TRecordInspector::Private::drawEdges(TCanvas& canvas, int bottom) const {
    const int cw = effectiveCaptionWidth();
    const int w = clientWidth();
    auto vline = [&](int x, TColor c) {
        canvas.penColor = c;
        canvas.moveTo(x, 0);
        canvas.lineTo(x, bottom);
    };
    vline(cw - 1, platform::clBtnShadow);
    vline(cw, platform::clBlack);
    vline(w - 2, platform::clSilver);
    vline(w - 1, platform::clWhite);
}

void TRecordInspector::Private::paint(TCanvas& canvas) {
    const int w = clientWidth();
    const int h = clientHeight();
    const int cw = effectiveCaptionWidth();
    const bool focused = focusInside && !rows.empty();

    canvas.brushClear = false;
    canvas.brushColor = color;
    canvas.fillRect(cw, 0, w, h);
    canvas.brushColor = captionColor;
    canvas.fillRect(0, 0, cw, h);

    // Rows shown, and the alternating tint of odd rows.
    struct Shown {
        int row;
        QRect caption;
        QRect data;
    };
    std::vector<Shown> shown;
    int y = 0;
    for (int r = top; r < int(rows.size()) && y < h; ++r) {
        const int rh = rowHeight(r);
        shown.push_back({r, QRect(0, y, cw, rh), QRect(cw, y, w - cw, rh)});
        y += rh;
    }
    const int bottom = y;
    if (!paintOptions.alternatingRowColor.isNone()) {
        canvas.brushColor = paintOptions.alternatingRowColor;
        for (const Shown& s : shown) {
            if (s.row % 2 == 0)
                continue;
            if (paintOptions.alternatingRowRegions & arrFixedColumns)
                canvas.fillRect(s.caption);
            if (paintOptions.alternatingRowRegions & (arrDataColumns | arrActiveDataColumn))
                canvas.fillRect(s.data);
        }
    }

    // Lines on the last pixel row of every row; the current data cell's own line is left out
    // while focused and the line above it is drawn solid.
    for (const Shown& s : shown) {
        const int ly = s.caption.bottom();
        drawRowLine(canvas, 0, cw, ly);
        if (!(focused && s.row == current))
            drawRowLine(canvas, cw, w, ly);
    }
    if (focused && current > top) {
        for (const Shown& s : shown) {
            if (s.row != current)
                continue;
            canvas.penColor = platform::clBtnShadow;
            canvas.moveTo(cw, s.data.top() - 1);
            canvas.lineTo(w, s.data.top() - 1);
        }
    }

    if ((options & ovActiveRecord3DLines) && !shown.empty())
        drawEdges(canvas, std::min(bottom, h));

    for (const Shown& s : shown) {
        paintCaptionCell(canvas, s.row, s.caption);
        paintDataCell(canvas, s.row, s.data);
    }
}

void TRecordInspector::paintEvent(QPaintEvent*) {
    QImage image(std::max(1, viewport()->width()), std::max(1, viewport()->height()),
                 QImage::Format_RGB32);
    image.fill(Qt::white);
    TCanvas canvas(image);
    canvas.font = font();
    d->paint(canvas);
    QPainter painter(viewport());
    painter.drawImage(0, 0, image);
}

} // namespace controls
