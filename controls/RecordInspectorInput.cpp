// TRecordInspector: the in-place editors, row moves, keys, the mouse and the hooked editor keys.
#include "controls/InspectorDateEdit.h"
#include "controls/InspectorEdit.h"
#include "controls/RecordInspectorPrivate.h"
#include "data/Field.h"
#include "platform/Application.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>

namespace controls {

// ---------------------------------------------------------------------------------------------
// Editors

TInspectorDateEdit* TRecordInspector::Private::ensureDateEdit() {
    if (!dateEdit) {
        dateEdit = new TInspectorDateEdit(this, q->viewport());
        dateEdit->setFont(q->font());
        dateEdit->hide();
    }
    return dateEdit;
}

void TRecordInspector::Private::placeEditor() {
    if (!shownEditor || !currentItem())
        return;
    const int cw = effectiveCaptionWidth();
    const int y = rowTop(current);
    const int h = rowHeight(current);
    // One pixel inside the cell's left and right edges, from its top to one pixel above its
    // bottom. A row scrolled out of view keeps its editor outside the viewport (still focused).
    shownEditor->setGeometry(cw + 1, y, std::max(1, clientWidth() - cw - 2), std::max(1, h - 1));
}

void TRecordInspector::Private::showEditor(bool reload) {
    TInspectorItem* item = currentItem();
    if (!focusInside || !item) {
        hideEditors();
        return;
    }
    QWidget* old = shownEditor;
    if (item->usesDateEditor()) {
        TInspectorDateEdit* de = ensureDateEdit();
        de->bind(item->dataSource(), item->dataField());
        de->setReadOnly(readOnly || item->readOnly());
        de->setEnabled(item->enabled());
        if (reload || !de->isChanged())
            de->loadFromField();
        shownEditor = de;
    } else {
        edit->setMultiLine(item->isMemo() || item->wordWrap());
        data::TField* f = item->field();
        edit->setMaxLength(f && f->dataType() == data::TFieldType::ftWideString
                               ? (f->size() > 0 ? f->size() : 255)
                               : 0);
        edit->setReadOnly(item->readOnly());
        edit->setEnabled(item->enabled());
        shownEditor = edit;
        if (reload || !link.isModified())
            edit->setTextSelected(item->editorText());
        else
            edit->setTextSelected(edit->text()); // keeps the typed text
    }
    placeEditor();
    shownEditor->show();
    shownEditor->raise();
    if (shownEditor == dateEdit)
        dateEdit->setCurrentPart(0);
    if (QApplication::focusWidget() != shownEditor && shownEditor->isEnabled())
        shownEditor->setFocus(Qt::OtherFocusReason);
    // The old editor hides only after the new one holds the focus, so the focus never passes
    // on to the next control of the dialog.
    if (old && old != shownEditor)
        old->hide();
}

void TRecordInspector::Private::hideEditors() {
    if (dateEdit && dateEdit->isDropDownOpen())
        dateEdit->closeDropDown(false);
    const bool hadFocus = shownEditor && shownEditor->hasFocus();
    if (hadFocus)
        q->setFocus(Qt::OtherFocusReason);
    shownEditor = nullptr;
    edit->hide();
    if (dateEdit)
        dateEdit->hide();
}

void TRecordInspector::Private::reloadEditor(bool keepSelection) {
    TInspectorItem* item = currentItem();
    if (!item || !shownEditor)
        return;
    if (shownEditor == dateEdit) {
        dateEdit->loadFromField();
    } else if (keepSelection) {
        edit->setTextKeepingSelection(item->editorText());
    } else {
        edit->setTextSelected(item->editorText());
    }
    link.setModified(false);
}

QString TRecordInspector::Private::editorText() const {
    return edit ? edit->text() : QString();
}

// ---------------------------------------------------------------------------------------------
// Moves and keys

void TRecordInspector::Private::moveTo(int row) {
    if (row < 0 || row >= int(rows.size()))
        return;
    if (row == current) {
        scrollIntoView(row);
        if (focusInside && !shownEditor)
            showEditor(true);
        return;
    }
    q->writeCurrentRow(); // a failed write keeps the row
    link.setModified(false);
    hideHint();
    const int old = current;
    current = row;
    editorKeys = false;
    scrollIntoView(row);
    if (focusInside)
        showEditor(true);
    // Only the old and the new row change (each with the line above it).
    for (int r : {old, row})
        q->viewport()->update(QRect(0, rowTop(r) - 1, clientWidth(), rowHeight(r) + 1));
}

bool TRecordInspector::Private::moveGuarded(int row) {
    return platform::guarded([&] { moveTo(row); });
}

// The next (previous) row that takes the focus by Tab, or -1 past the last (first) row.
int TRecordInspector::Private::tabTarget(bool backward) const {
    if (!currentItem())
        return -1;
    const int step = backward ? -1 : 1;
    for (int r = current + step; r >= 0 && r < int(rows.size()); r += step)
        if (rows[size_t(r)]->tabStop() && rows[size_t(r)]->enabled())
            return r;
    return -1;
}

void TRecordInspector::Private::leaveControl(bool forward) {
    QWidget* w = forward ? q->nextInFocusChain() : q->previousInFocusChain();
    while (w && w != q) {
        if (!TInspectorFocusTracker::contains(q, w) && w->window() == q->window() &&
            (w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisible()) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
    }
}

void TRecordInspector::Private::tabKey(bool backward) {
    platform::guarded([&] {
        const int target = tabTarget(backward);
        if (target < 0) {
            // The value typed in the last (first) row is written before the focus moves on.
            q->writeCurrentRow();
            leaveControl(!backward);
        } else {
            moveTo(target);
        }
    });
}

void TRecordInspector::Private::rowKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool ctrl = modifiers & Qt::ControlModifier;
    const int last = int(rows.size()) - 1;
    switch (key) {
    case Qt::Key_Up:
        if (current > 0)
            moveGuarded(current - 1);
        break;
    case Qt::Key_Down:
        if (current < last)
            moveGuarded(current + 1);
        break;
    case Qt::Key_PageUp:
        moveGuarded(ctrl ? 0 : std::max(0, current - fullyVisibleRows()));
        break;
    case Qt::Key_PageDown:
        moveGuarded(ctrl ? last : std::min(last, current + fullyVisibleRows()));
        break;
    case Qt::Key_Home:
        moveGuarded(0);
        break;
    case Qt::Key_End:
        moveGuarded(last);
        break;
    default:
        break;
    }
    if (focusInside && shownEditor && !shownEditor->hasFocus() && shownEditor->isEnabled())
        shownEditor->setFocus(Qt::OtherFocusReason);
}

bool TRecordInspector::Private::mayEdit() {
    bool ok = false;
    platform::guarded([&] { ok = q->canEditCurrentRow(); });
    return ok;
}

// The keys of the text editor and of the inspector itself; true when consumed here.
bool TRecordInspector::Private::handleKey(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const bool shift = mods & Qt::ShiftModifier;
    TInspectorItem* item = currentItem();
    hideHint();

    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (!alt)
            tabKey(key == Qt::Key_Backtab || shift);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter never inserts a line break.
        if (options & ovEnterToTab)
            tabKey(shift);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        rowKey(key, mods);
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (!ctrl)
            return false;
        rowKey(key, mods);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        // Ctrl+Left and Ctrl+Right are taken: the caret does not jump by words.
        if (ctrl) {
            rowKey(key, mods);
            return true;
        }
        return false;
    case Qt::Key_Escape:
        platform::guarded([&] { q->revertCurrentRow(); });
        return true;
    case Qt::Key_F2:
        if (shownEditor == edit)
            edit->moveCaretToEnd();
        return true;
    case Qt::Key_Insert:
        if (shift && !ctrl)
            return !mayEdit(); // paste
        return !ctrl;          // Ctrl+Insert copies; Insert alone has no effect
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        return !mayEdit();
    default:
        break;
    }
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) ||
        event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo))
        return !mayEdit();
    const QString text = event->text();
    if (!text.isEmpty() && text[0].isPrint() && !ctrl) {
        data::TField* f = item ? item->field() : nullptr;
        for (QChar c : text)
            if (f && !f->isValidChar(c)) {
                platform::beep();
                return true;
            }
        if (edit->maxLength() > 0 && shownEditor == edit) {
            const int selected = int(edit->textCursor().selectedText().size());
            if (edit->text().size() - selected + text.size() > edit->maxLength())
                return true;
        }
        return !mayEdit();
    }
    return false;
}

void TRecordInspector::Private::routeKey(int key, Qt::KeyboardModifiers modifiers) {
    hideHint();
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        tabKey(key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier));
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        tabKey(modifiers & Qt::ShiftModifier);
        break;
    default:
        rowKey(key, modifiers);
        break;
    }
}

bool TRecordInspector::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            keyPressEvent(key);
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void TRecordInspector::keyPressEvent(QKeyEvent* event) {
    // A key an editor did not take comes up here; it stays unhandled.
    if (QApplication::focusWidget() != this) {
        event->ignore();
        return;
    }
    // Keys reach the inspector itself only while it has no editor (no rows): a shown editor
    // normally holds the focus.
    if (d->shownEditor && d->shownEditor->isVisible()) {
        QCoreApplication::sendEvent(d->shownEditor, event);
        return;
    }
    if (!d->handleKey(event))
        event->ignore();
}

void TRecordInspector::wheelEvent(QWheelEvent* event) {
    d->hideHint();
    // One notch scrolls one row; the current row stays.
    d->wheelRemainder += event->angleDelta().y();
    const int steps = d->wheelRemainder / 120;
    d->wheelRemainder -= steps * 120;
    if (steps != 0) {
        d->setTop(d->top - steps);
        d->updateScrollBar();
    }
    event->accept();
}

void TRecordInspector::mousePressEvent(QMouseEvent* event) {
    d->hideHint();
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint pos = event->position().toPoint();
    const Private::Hit hit = d->hitTest(pos);
    const int cw = d->effectiveCaptionWidth();

    // Caption column drag: a 7-pixel zone around the caption column's right edge.
    if ((d->options & ovColumnResize) && hit.row >= 0 &&
        std::abs(pos.x() - cw) <= kInspectorSizingZone) {
        if (platform::guarded([&] { writeCurrentRow(); }))
            d->drag = Private::Drag::Column;
        return;
    }
    // Row drag: only for resizeable items, inside the caption column.
    if ((d->options & ovRowResize) && pos.x() < cw) {
        for (int r = d->top; r < rowCount(); ++r) {
            const int bottom = d->rowTop(r) + d->rowHeight(r);
            if (std::abs(pos.y() - bottom) <= kInspectorRowSizingZone) {
                if (d->rows[size_t(r)]->resizeable() &&
                    platform::guarded([&] { writeCurrentRow(); })) {
                    d->drag = Private::Drag::Row;
                    d->dragRow = r;
                    return;
                }
                break;
            }
            if (bottom > pos.y() + kInspectorRowSizingZone)
                break;
        }
    }

    if (!d->focusInside || hit.column == 1 || hit.row != d->current) {
        if (!d->focusInside)
            setFocus(Qt::MouseFocusReason);
        if (!d->focusInside)
            return; // the inspector could not take the focus
    }
    if (hit.row < 0) {
        platform::guarded([&] { writeCurrentRow(); });
        return;
    }
    if (hit.row == d->current)
        return;
    if (!d->moveGuarded(hit.row))
        return;
    // A press on the date editor's place goes on to its part under the mouse, so a click on
    // the arrow button both selects the row and opens the calendar.
    if (hit.column == 1 && d->shownEditor == d->dateEdit && d->dateEdit &&
        d->dateEdit->geometry().contains(pos)) {
        const QPoint local = d->dateEdit->mapFrom(viewport(), pos);
        QWidget* target = d->dateEdit->childAt(local);
        if (!target)
            target = d->dateEdit;
        QMouseEvent forwarded(QEvent::MouseButtonPress, target->mapFrom(viewport(), pos),
                              event->globalPosition(), event->button(), event->buttons(),
                              event->modifiers());
        QCoreApplication::sendEvent(target, &forwarded);
    }
}

void TRecordInspector::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    d->lastMouse = pos;
    d->mouseInside = true;
    d->pointerOverHint = false;
    if (d->drag == Private::Drag::Column) {
        // The caption width follows the mouse live.
        if (pos.x() > 1) {
            setCaptionWidth(pos.x());
            d->captionWidth = d->effectiveCaptionWidth();
        }
        return;
    }
    if (d->drag == Private::Drag::Row)
        return;
    const Private::Hit hit = d->hitTest(pos);
    const int cw = d->effectiveCaptionWidth();
    Qt::CursorShape shape = Qt::ArrowCursor;
    if ((d->options & ovColumnResize) && hit.row >= 0 &&
        std::abs(pos.x() - cw) <= kInspectorSizingZone)
        shape = Qt::SplitHCursor;
    viewport()->setCursor(shape);
    d->updateHint(pos);
}

void TRecordInspector::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (d->drag == Private::Drag::Column) {
        if (pos.x() > 1) {
            setCaptionWidth(pos.x());
            d->captionWidth = d->effectiveCaptionWidth();
        }
    } else if (d->drag == Private::Drag::Row && d->dragRow >= 0 && d->dragRow < rowCount()) {
        const int height = std::max(pos.y() - d->rowTop(d->dragRow), d->textRowHeight());
        d->rows[size_t(d->dragRow)]->setCellHeight(height);
    }
    d->drag = Private::Drag::None;
    d->dragRow = -1;
}

void TRecordInspector::mouseDoubleClickEvent(QMouseEvent*) {
    d->hideHint();
    platform::guarded([&] { writeCurrentRow(); });
}

// ---------------------------------------------------------------------------------------------
// Keys seen by the key hook

bool TRecordInspector::Private::hookKeyPress(QObject* watched, QKeyEvent* key) {
    // Only keys pressed in the shown custom editor (the date editor), not in its popup.
    if (!dateEdit || !focusInside || shownEditor != dateEdit)
        return false;
    QWidget* w = qobject_cast<QWidget*>(watched);
    while (w && w != dateEdit && !w->isWindow())
        w = w->parentWidget();
    if (w != dateEdit)
        return false;

    const int k = key->key();
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool ctrlOrAlt = mods & (Qt::ControlModifier | Qt::AltModifier);
    const bool ctrl = mods & Qt::ControlModifier;
    bool route = false;
    if (!ctrlOrAlt && (k == Qt::Key_Tab || k == Qt::Key_Backtab))
        route = true;
    else if (!ctrlOrAlt && (k == Qt::Key_Return || k == Qt::Key_Enter))
        route = options & ovEnterToTab;
    else if (!ctrlOrAlt &&
             (k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_PageUp || k == Qt::Key_PageDown))
        route = !dateEdit->isDropDownOpen() && !editorKeys;
    else if (ctrl && (k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_Left ||
                      k == Qt::Key_Right || k == Qt::Key_PageUp || k == Qt::Key_PageDown))
        route = true;
    else if (!ctrlOrAlt && k == Qt::Key_F2)
        editorKeys = !editorKeys; // and passed on to the editor
    if (!route)
        return false;
    routeKey(k, mods);
    return true;
}

} // namespace controls
