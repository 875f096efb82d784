// TRecordGrid navigation: keys, mouse, wheel, scroll bars, column resizing and moving, focus.
#include "controls/RecordGridPrivate.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cstdlib>

namespace controls {

using data::TDataSetState;

namespace {

const QString kDiscardQuestion = QStringLiteral("Discard changes to this record?");

} // namespace

// ---------------------------------------------------------------------------------------------
// Record moves

bool TRecordGrid::Private::insertUntouched() const {
    const data::TDataSet* ds = dataSet();
    return ds->state() == TDataSetState::dsInsert && !ds->modified() && !link.isModified();
}

void TRecordGrid::Private::priorKey() {
    data::TDataSet* ds = dataSet();
    run([&] {
        if (insertUntouched() && ds->eof())
            ds->cancel();
        else
            ds->prior();
    });
}

void TRecordGrid::Private::nextKey() {
    data::TDataSet* ds = dataSet();
    run([&] {
        if (insertUntouched()) {
            if (!ds->eof())
                ds->cancel();
        } else {
            ds->next(); // at the end this moves nowhere; the grid never appends
        }
    });
}

void TRecordGrid::Private::moveBy(int distance) {
    data::TDataSet* ds = dataSet();
    if (distance != 0)
        run([&] { ds->moveBy(distance); });
}

void TRecordGrid::Private::escapeKey() {
    data::TDataSet* ds = dataSet();
    if (!data::isEditing(ds->state()))
        return;
    if (ds->modified() || link.isModified()) {
        const platform::MsgButton answer =
            platform::messageDlg(kDiscardQuestion, platform::MsgType::Confirmation,
                                 int(platform::MsgButton::Yes) | int(platform::MsgButton::No));
        if (answer != platform::MsgButton::Yes)
            return;
    }
    run([&] { ds->cancel(); });
}

void TRecordGrid::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_Tab || key == Qt::Key_Backtab || !d->linkActive()) {
        event->ignore();
        return;
    }
    data::TDataSet* ds = d->dataSet();
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    const bool rowSelect = d->options.testFlag(dgRowSelect);
    const int lastCol = d->dataColumns() - 1;
    auto setColumn = [this](int col) {
        d->currentCol = std::clamp(col, 0, d->dataColumns() - 1);
        d->makeColumnVisible(d->currentCol);
    };
    switch (key) {
    case Qt::Key_Up:
        if (ctrl)
            d->moveBy(-d->link.activeRecord());
        else
            d->priorKey();
        break;
    case Qt::Key_Down:
        if (ctrl)
            d->moveBy(d->link.recordCount() - 1 - d->link.activeRecord());
        else
            d->nextKey();
        break;
    case Qt::Key_Left:
        if (ctrl)
            setColumn(0);
        else if (rowSelect)
            d->priorKey();
        else
            setColumn(d->currentCol - 1);
        break;
    case Qt::Key_Right:
        if (ctrl)
            setColumn(lastCol);
        else if (rowSelect)
            d->nextKey();
        else
            setColumn(d->currentCol + 1);
        break;
    case Qt::Key_PageUp:
        d->moveBy(ctrl ? -d->link.activeRecord() : -d->dataRows());
        break;
    case Qt::Key_PageDown:
        d->moveBy(ctrl ? d->link.recordCount() - 1 - d->link.activeRecord() : d->dataRows());
        break;
    case Qt::Key_Home:
        d->run([ds] { ds->first(); });
        break;
    case Qt::Key_End:
        d->run([ds] { ds->last(); });
        break;
    case Qt::Key_Escape:
        d->escapeKey();
        break;
    default:
        // Insert, Ctrl+Delete, F2, Enter and typed characters: the grid never edits.
        break;
    }
    event->accept();
    d->flush();
}

void TRecordGrid::wheelEvent(QWheelEvent* event) {
    if (!d->linkActive()) {
        event->ignore();
        return;
    }
    data::TDataSet* ds = d->dataSet();
    d->wheelAccumulator += event->angleDelta().y();
    while (d->wheelAccumulator >= 120) {
        d->wheelAccumulator -= 120;
        d->run([ds] { ds->prior(); });
    }
    while (d->wheelAccumulator <= -120) {
        d->wheelAccumulator += 120;
        d->run([ds] { ds->next(); });
    }
    event->accept();
    d->flush();
}

bool TRecordGrid::eventFilter(QObject* watched, QEvent* event) {
    // The wheel over the vertical bar moves records like the wheel over the grid.
    if (watched == d->vbar && event->type() == QEvent::Wheel) {
        wheelEvent(static_cast<QWheelEvent*>(event));
        return true;
    }
    return TOwnerDrawnControl::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Vertical scroll bar

void TRecordGrid::Private::vertScrollAction(int action) {
    if (linkActive()) {
        data::TDataSet* ds = dataSet();
        switch (action) {
        case QAbstractSlider::SliderSingleStepAdd:
            nextKey();
            break;
        case QAbstractSlider::SliderSingleStepSub:
            priorKey();
            break;
        case QAbstractSlider::SliderPageStepAdd:
            moveBy(dataRows());
            break;
        case QAbstractSlider::SliderPageStepSub:
            moveBy(-dataRows());
            break;
        case QAbstractSlider::SliderToMinimum:
            run([ds] { ds->first(); });
            break;
        case QAbstractSlider::SliderToMaximum:
            run([ds] { ds->last(); });
            break;
        case QAbstractSlider::SliderMove:
            if (!vbar->isSliderDown())
                thumbDropped(vbar->sliderPosition());
            break;
        default:
            break;
        }
    }
    // The bar shows what the set reports, not where the action would have put it.
    {
        QSignalBlocker block(vbar);
        vbar->setSliderPosition(vert.pos);
    }
    flush();
}

void TRecordGrid::Private::thumbDropped(int position) {
    data::TDataSet* ds = dataSet();
    const int rowsShown = dataRows();
    run([&] {
        if (ds->isSequenced()) {
            if (position <= 1)
                ds->first();
            else if (position < ds->recordCount())
                ds->setRecNo(position);
            else
                ds->last();
            ds->resync();
            return;
        }
        switch (position) {
        case 0:
            ds->first();
            break;
        case 1:
            ds->moveBy(-rowsShown);
            break;
        case 3:
            ds->moveBy(rowsShown);
            break;
        case 4:
            ds->last();
            break;
        default:
            break;
        }
    });
}

// ---------------------------------------------------------------------------------------------
// Mouse

bool TRecordGrid::Private::onScrollBar(const QPoint& pos) const {
    // A press a scroll bar did not take (a bar with nothing to scroll) comes up to the grid; it is
    // still a press on the bar, which neither takes the focus nor moves the record.
    const QWidget* child = q.childAt(pos);
    return child && (child == vbar || child == hbar);
}

void TRecordGrid::mousePressEvent(QMouseEvent* event) {
    if (d->onScrollBar(event->position().toPoint()))
        return;
    if (!hasFocus())
        setFocus(Qt::MouseFocusReason);
    const QPoint pos = event->position().toPoint();
    if (!d->linkActive() || d->mouse != Private::MouseMode::None) {
        d->flush();
        return;
    }
    const bool left = event->button() == Qt::LeftButton;
    if (d->titleRows && pos.y() < d->dataTop()) {
        if (left && d->options.testFlag(dgColumnResize)) {
            const int edge = d->edgeAt(pos.x());
            const int col = d->dataColumnAt(pos.x());
            if (edge >= 0) {
                d->mouse = Private::MouseMode::Resizing;
                d->mouseCol = edge;
                d->originalWidth = d->widths[size_t(edge)];
            } else if (col >= 0) {
                d->mouse = Private::MouseMode::MovePending;
                d->mouseCol = col;
            }
            d->pressX = pos.x();
            d->pressY = pos.y();
            d->pointerX = pos.x();
            d->lastDirection = 0;
        }
        d->flush();
        return;
    }
    if (left || event->button() == Qt::RightButton) {
        const int r = d->dataRowAt(pos.y());
        const int col = d->dataColumnAt(pos.x());
        if (r >= 0 && r < d->dataRows() && col != -2 && pos.x() < d->clientW) {
            if (col >= 0)
                d->currentCol = col;
            const int target = d->titleRows + r;
            if (target != d->currentRow)
                d->moveBy(target - d->currentRow);
        }
    }
    d->flush();
}

void TRecordGrid::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    switch (d->mouse) {
    case Private::MouseMode::None: {
        const bool onEdge = d->linkActive() && d->titleRows && pos.y() < d->dataTop() &&
                            d->options.testFlag(dgColumnResize) && d->edgeAt(pos.x()) >= 0;
        if (onEdge)
            setCursor(Qt::SplitHCursor);
        else
            unsetCursor();
        return;
    }
    case Private::MouseMode::Resizing:
        d->widths[size_t(d->mouseCol)] = std::max(1, d->originalWidth + pos.x() - d->pressX);
        d->invalidateAll();
        break;
    case Private::MouseMode::MovePending: {
        const int dx = pos.x() - d->pressX;
        const int dy = pos.y() - d->pressY;
        if (std::abs(dx) <= 2 && std::abs(dy) < 3)
            return;
        d->mouse = Private::MouseMode::Moving;
        const QRect title = columnTitleRect(d->mouseCol);
        d->grabOffset = d->pressX - title.left();
        d->dragPicture = d->makeDragPicture(d->mouseCol);
        d->dragTimer.start();
        [[fallthrough]];
    }
    case Private::MouseMode::Moving:
        if (pos.x() != d->pointerX)
            d->lastDirection = pos.x() > d->pointerX ? 1 : -1;
        d->pointerX = pos.x();
        d->invalidateAll();
        break;
    }
    d->flush();
}

void TRecordGrid::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const Private::MouseMode mode = d->mouse;
    d->mouse = Private::MouseMode::None;
    switch (mode) {
    case Private::MouseMode::Resizing:
        d->finishResize();
        break;
    case Private::MouseMode::Moving:
        d->dragTimer.stop();
        d->dragPicture = QImage();
        d->invalidateAll();
        d->finishMove(pos.x());
        break;
    case Private::MouseMode::MovePending:
    case Private::MouseMode::None:
        break;
    }
    d->mouseCol = -1;
    d->flush();
}

void TRecordGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    if (d->onScrollBar(event->position().toPoint()))
        return;
    event->accept();
    emit doubleClicked();
}

void TRecordGrid::Private::cancelMouseMode() {
    if (mouse == MouseMode::None)
        return;
    mouse = MouseMode::None;
    mouseCol = -1;
    dragTimer.stop();
    dragPicture = QImage();
    layout(); // a column being resized gets its stored width back
}

void TRecordGrid::hideEvent(QHideEvent* event) {
    TOwnerDrawnControl::hideEvent(event);
    d->cancelMouseMode();
}

void TRecordGrid::Private::finishResize() {
    data::TDataSet* ds = dataSet();
    if (!linkActive()) {
        layout();
        return;
    }
    const int z = platform::textWidth(q.font(), QStringLiteral("0"));
    const std::vector<int> finalWidths = widths;
    run([&] {
        ds->disableControls();
        try {
            for (int c = 0; c < int(fieldMap.size()); ++c)
                field(c)->setDisplayWidth((finalWidths[size_t(c)] + std::max(0, z / 2 - 3) - 4) /
                                          z);
        } catch (...) {
            ds->enableControls();
            throw;
        }
        ds->enableControls();
    });
    layout();
    updateVertScrollBar();
}

void TRecordGrid::Private::finishMove(int x) {
    int target = dataColumnAt(x);
    if (target == -2)
        target = dataColumns() - 1; // right of the last column
    data::TField* dragged = field(mouseCol);
    data::TField* onto = field(target);
    if (target >= 0 && target != mouseCol && dragged && onto)
        run([&] { dragged->setIndex(onto->index()); });
    layout();
    updateVertScrollBar();
}

void TRecordGrid::Private::dragTick() {
    if (mouse != MouseMode::Moving)
        return;
    const std::vector<int> lefts = columnLefts();
    const int firstLeft = leftCol < dataColumns() ? lefts[size_t(leftCol)] : fixedLeft();
    if (pointerX >= clientW - 10 && lastDirection > 0 && leftCol < maxLeftCol())
        setLeftCol(leftCol + 1);
    else if (pointerX < firstLeft + 10 && lastDirection < 0 && leftCol > 0)
        setLeftCol(leftCol - 1);
    flush();
}

// ---------------------------------------------------------------------------------------------
// Focus

// The base handlers are left out on purpose: they repaint the whole control.
void TRecordGrid::focusInEvent(QFocusEvent*) {
    d->focusFlag = true;
    d->invalidateRow(d->currentRow, true);
    d->flush();
}

void TRecordGrid::focusOutEvent(QFocusEvent* event) {
    d->cancelMouseMode(); // the mouse capture goes with the focus
    // Another window (a modal dialog) taking over is not a focus change within the window.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    if (d->linkActive()) {
        data::TDataSet* ds = d->dataSet();
        if (d->options.testFlag(dgCancelOnExit) && d->insertUntouched())
            d->run([ds] { ds->cancel(); });
        else
            d->run([this] { d->link.updateRecord(); });
    }
    d->focusFlag = false;
    d->invalidateRow(d->currentRow, true);
    d->flush();
}

} // namespace controls
