// TRecordInspector: the hint window over a cell whose text does not fit, and its timer.
#include "controls/InspectorHintWindow.h"
#include "controls/RecordInspectorPrivate.h"

#include <QCursor>
#include <QEnterEvent>
#include <algorithm>

namespace controls {

// ---------------------------------------------------------------------------------------------
// Hints

QString TRecordInspector::Private::cellText(int row, int column) const {
    const TInspectorItem* item = rows[size_t(row)];
    return column == 0 ? item->caption() : item->displayText();
}

void TRecordInspector::Private::hideHint() {
    if (pointerOverHint) {
        // The Leave that was put off now counts; an Enter follows if the pointer is still here.
        pointerOverHint = false;
        mouseInside = false;
    }
    hintTimer.stop();
    hintTicks = 0;
    hintRow = hintColumn = -1;
    if (hint) {
        hint->hide();
        hint->deleteLater();
        hint = nullptr;
    }
}

bool TRecordInspector::Private::pointerOnHint() const {
    return hint && hint->isVisible() && hint->geometry().contains(QCursor::pos());
}

void TRecordInspector::Private::updateHint(const QPoint& pos) {
    const Hit hit = hitTest(pos);
    if (hit.row < 0) {
        hideHint();
        return;
    }
    if (hit.row == hintRow && hit.column == hintColumn)
        return;
    hideHint();
    if (hit.column == 0 && !(options & ovShowCaptionHints))
        return;
    if (hit.column == 1 && !(options & ovShowCellHints))
        return;
    if (hit.column == 1 && hit.row == current && shownEditor)
        return;
    const TInspectorItem* item = rows[size_t(hit.row)];
    const QString text = cellText(hit.row, hit.column);
    if (text.isEmpty())
        return;

    const QRect cell = q->cellRect(hit.row, hit.column);
    const QFont font = hit.column == 0 ? q->captionFont() : q->font();
    int available = cell.width() - 4;
    if (hit.column == 0)
        available = cell.width() - captionIndent;
    unsigned flags = hit.column == 0 ? 0u : unsigned(DT_NOPREFIX);
    if (item->wordWrap())
        flags |= DT_WORDBREAK;
    if (text.contains('\t'))
        flags |= DT_EXPANDTABS;
    QImage scratch(1, 1, QImage::Format_RGB32);
    TCanvas canvas(scratch);
    canvas.font = font;
    QRect measured(0, 0, std::max(1, available), 0);
    canvas.drawText(text, measured, flags | DT_CALCRECT);
    if (measured.height() <= cell.height() && measured.width() < available - 1)
        return;

    hint = new TInspectorHintWindow(q);
    const QRect global(q->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    hint->showHint(global, measured.width(), text, font, flags,
                   hit.column == 0 && (options & ovCenterCaptionVert));
    hintRow = hit.row;
    hintColumn = hit.column;
    hintTicks = 0;
    hintTimer.start(kInspectorHintInterval);
}

void TRecordInspector::hintTimerTick() {
    if (!d->hint)
        return;
    ++d->hintTicks;
    const QPoint pointer =
        d->pointerOverHint ? viewport()->mapFromGlobal(QCursor::pos()) : d->lastMouse;
    bool inside = d->mouseInside && d->hintRow >= 0 && d->hintRow < rowCount() &&
                  cellRect(d->hintRow, d->hintColumn).adjusted(-1, -1, 1, 1).contains(pointer);
    if (!inside || d->hintTicks > std::max(kInspectorHintHidePause / kInspectorHintInterval, 16))
        d->hideHint();
}

bool TRecordInspector::viewportEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::Leave:
        // A hint window appearing under the pointer makes the window system report a Leave,
        // though the pointer still rests on the hinted cell. From then on the pointer's moves go
        // to the hint window and no Leave follows when it really leaves, so while it is over the
        // hint the timer asks the window system where it is.
        d->pointerOverHint = d->pointerOnHint();
        if (!d->pointerOverHint)
            d->mouseInside = false;
        break;
    case QEvent::Enter:
        d->mouseInside = true;
        d->pointerOverHint = false;
        // Coming back from a hint window the pointer may enter anywhere without a move to say
        // where: the next hint timer tick must judge the place it entered.
        if (auto* enter = dynamic_cast<QEnterEvent*>(event))
            d->lastMouse = enter->position().toPoint();
        break;
    default:
        break;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

} // namespace controls
