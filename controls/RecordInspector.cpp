// TRecordInspector: binding, items, rows and their geometry, properties and writing typed values.
#include "controls/InspectorDateEdit.h"
#include "controls/InspectorEdit.h"
#include "controls/InspectorHintWindow.h"
#include "controls/RecordInspectorPrivate.h"
#include "data/Field.h"
#include "platform/Fonts.h"

#include <QScopedValueRollback>
#include <QScrollBar>
#include <algorithm>

namespace controls {

using data::TDataSetState;

// ---------------------------------------------------------------------------------------------
// Data link reactions

void TRecordInspector::Private::onActiveChanged() {
    data::TDataSet* set = link.dataSet();
    // An empty collection shows one row per field of the open set.
    if (items.empty() && link.active() && set) {
        for (int i = 0; i < set->fieldCount(); ++i) {
            data::TField& f = set->field(i);
            TInspectorItem& item = q->addItem(f.fieldName(), f.displayName());
            item.setReadOnly(f.readOnly());
        }
        autoItems = true;
    }
    rebuildRows();
    link.setModified(false);
    if (focusInside)
        showEditor(true);
    q->viewport()->update();
}

void TRecordInspector::Private::onRecordChanged(data::TField* field) {
    q->viewport()->update();
    if (selfWriting)
        return;
    if (!shownEditor)
        return;
    TInspectorItem* item = currentItem();
    if (!field) {
        reloadEditor(true);
    } else if (item && item->field() == field) {
        if (shownEditor == dateEdit) {
            if (!dateEdit->isChanged())
                dateEdit->loadFromField();
        } else if (item->editorText() != edit->text()) {
            reloadEditor(false);
        }
    }
}

void TRecordInspector::Private::onSetChanged() {
    if (top > maxTop())
        setTop(maxTop());
    q->viewport()->update();
    if (shownEditor && !selfWriting)
        reloadEditor(false);
}

void TRecordInspector::Private::onFocusControl(data::TField* field) {
    for (const auto& it : items) {
        if (it->field() == field) {
            auto pos = std::find(rows.begin(), rows.end(), it.get());
            if (pos != rows.end() && moveGuarded(int(pos - rows.begin())))
                q->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Rows and geometry

void TRecordInspector::Private::rebuildRows() {
    TInspectorItem* was = currentItem();
    rows.clear();
    for (const auto& item : items)
        if (item->visible())
            rows.push_back(item.get());
    auto pos = std::find(rows.begin(), rows.end(), was);
    if (pos != rows.end())
        current = int(pos - rows.begin());
    else
        current = std::clamp(current, 0, std::max(0, int(rows.size()) - 1));
    updateScrollBar();
    if (top > maxTop())
        setTop(maxTop());
    placeEditor();
    q->viewport()->update();
}

int TRecordInspector::Private::rowHeight(int row) const {
    if (row >= 0 && row < int(rows.size()) && rows[size_t(row)]->cellHeight() > 0)
        return rows[size_t(row)]->cellHeight();
    return defaultRowHeight > 0 ? defaultRowHeight : textRowHeight();
}

int TRecordInspector::Private::rowTop(int row) const {
    int y = 0;
    if (row >= top)
        for (int i = top; i < row; ++i)
            y += rowHeight(i);
    else
        for (int i = row; i < top; ++i)
            y -= rowHeight(i);
    return y;
}

int TRecordInspector::Private::fullyVisibleRows() const {
    int n = 0;
    int y = 0;
    for (int r = top; r < int(rows.size()); ++r) {
        y += rowHeight(r);
        if (y > clientHeight())
            break;
        ++n;
    }
    return std::max(1, n);
}

int TRecordInspector::Private::maxTop() const {
    int y = 0;
    int r = int(rows.size());
    while (r > 0 && y + rowHeight(r - 1) <= clientHeight()) {
        y += rowHeight(r - 1);
        --r;
    }
    return std::min(r, std::max(0, int(rows.size()) - 1));
}

void TRecordInspector::Private::setTop(int row) {
    row = std::clamp(row, 0, maxTop());
    if (row == top)
        return;
    top = row;
    q->verticalScrollBar()->setValue(top); // comes back through scrollContentsBy as a no-op
    placeEditor();
    hideHint();
    q->viewport()->update();
}

void TRecordInspector::Private::scrollIntoView(int row) {
    if (row < top) {
        setTop(row);
        return;
    }
    int newTop = top;
    auto bottomOf = [&](int t) {
        int y = 0;
        for (int i = t; i <= row; ++i)
            y += rowHeight(i);
        return y;
    };
    while (newTop < row && bottomOf(newTop) > clientHeight())
        ++newTop;
    setTop(newTop);
}

void TRecordInspector::Private::updateScrollBar() {
    QScrollBar* bar = q->verticalScrollBar();
    bar->setRange(0, maxTop());
    bar->setPageStep(fullyVisibleRows());
    bar->setSingleStep(1);
    bar->setValue(top);
}

TRecordInspector::Private::Hit TRecordInspector::Private::hitTest(const QPoint& pos) const {
    Hit hit;
    if (pos.x() < 0 || pos.x() >= clientWidth() || pos.y() < 0)
        return hit;
    int y = 0;
    for (int r = top; r < int(rows.size()) && y < clientHeight(); ++r) {
        int h = rowHeight(r);
        if (pos.y() < y + h) {
            hit.row = r;
            hit.column = pos.x() < effectiveCaptionWidth() ? 0 : 1;
            return hit;
        }
        y += h;
    }
    return hit;
}

// ---------------------------------------------------------------------------------------------
// The control

TRecordInspector::TRecordInspector(QWidget* parent)
    : QAbstractScrollArea(parent), d(std::make_unique<Private>(this)) {
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setMouseTracking(true);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setAutoFillBackground(false);
    d->edit = new TInspectorEdit(d.get(), viewport());
    d->edit->setFont(font());
    d->edit->hide();
    d->hintTimer.setInterval(kInspectorHintInterval);
    connect(&d->hintTimer, &QTimer::timeout, this, [this] { hintTimerTick(); });
    d->tracker->add(d.get());
    d->link.setBufferCount(1);
}

TRecordInspector::~TRecordInspector() {
    d->tracker->remove(d.get());
    if (d->focusInside)
        d->tracker->keyHook().remove();
    d->hideHint();
    d->link.setDataSource(nullptr);
    // Items go before the editors and the link so that no notification reaches a half-gone
    // inspector.
    d->items.clear();
    d->rows.clear();
}

void TRecordInspector::applyDialogSettings(data::TDataSource* source) {
    setDataSource(source);
    setCaptionWidth(145);
    setCaptionIndent(20);
    setDefaultRowHeight(20);
    setOptions(ovColumnResize | ovRowResize | ovEnterToTab | ovCenterCaptionVert |
               ovShowCaptionHints | ovShowCellHints | ovActiveRecord3DLines | ovAllowInsert);
    setDottedLineColor(platform::clBtnShadow);
    setColor(platform::clCream);
    setCaptionColor(platform::clBtnFace);
    setFont(platform::tahoma(11));
    setCaptionFont(platform::tahoma(11, true));
    TInspectorPaintOptions paint;
    paint.alternatingRowRegions = arrDataColumns | arrActiveDataColumn;
    setPaintOptions(paint);
    setReadOnly(false);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
}

TInspectorItem& TRecordInspector::addItem(const QString& fieldName, const QString& caption) {
    if (d->autoItems)
        clearItems();
    d->items.push_back(std::make_unique<TInspectorItem>(this));
    TInspectorItem& item = *d->items.back();
    item.setDataSource(dataSource());
    item.setDataField(fieldName);
    item.setCaption(caption);
    item.setWordWrap(false);
    d->rebuildRows();
    return item;
}

TInspectorItem& TRecordInspector::addItem() {
    if (d->autoItems)
        clearItems();
    d->items.push_back(std::make_unique<TInspectorItem>(this));
    d->rebuildRows();
    return *d->items.back();
}

int TRecordInspector::itemCount() const {
    return int(d->items.size());
}

TInspectorItem& TRecordInspector::item(int index) const {
    return *d->items[size_t(index)];
}

void TRecordInspector::clearItems() {
    d->hideHint();
    if (d->focusInside)
        d->hideEditors();
    d->rows.clear();
    d->items.clear();
    d->autoItems = false;
    d->current = 0;
    d->top = 0;
    d->rebuildRows();
}

void TRecordInspector::itemChanged(bool rowsChanged) {
    if (rowsChanged)
        d->rebuildRows();
    viewport()->update();
}

data::TDataSource* TRecordInspector::dataSource() const {
    return d->link.dataSource();
}

void TRecordInspector::setDataSource(data::TDataSource* source) {
    if (d->link.dataSource() == source)
        return;
    d->link.setDataSource(source);
    d->onActiveChanged();
}

int TRecordInspector::captionWidth() const {
    return d->effectiveCaptionWidth();
}

void TRecordInspector::setCaptionWidth(int width) {
    // Kept as assigned (the client width is not known before the control is laid out); the
    // layout always clamps it to 10 ... client width - 20, and a drag stores the clamped value.
    d->captionWidth = width;
    d->placeEditor();
    viewport()->update();
}

int TRecordInspector::captionIndent() const {
    return d->captionIndent;
}

void TRecordInspector::setCaptionIndent(int indent) {
    d->captionIndent = indent;
    viewport()->update();
}

int TRecordInspector::defaultRowHeight() const {
    return d->defaultRowHeight;
}

void TRecordInspector::setDefaultRowHeight(int height) {
    d->defaultRowHeight = std::max(0, height);
    d->rebuildRows();
}

TInspectorOptions TRecordInspector::options() const {
    return d->options;
}

void TRecordInspector::setOptions(TInspectorOptions options) {
    d->options = options;
    d->rebuildRows();
}

TColor TRecordInspector::dottedLineColor() const {
    return d->dottedLineColor;
}

void TRecordInspector::setDottedLineColor(TColor color) {
    d->dottedLineColor = color;
    viewport()->update();
}

TColor TRecordInspector::color() const {
    return d->color;
}

void TRecordInspector::setColor(TColor color) {
    d->color = color;
    viewport()->update();
}

TColor TRecordInspector::captionColor() const {
    return d->captionColor;
}

void TRecordInspector::setCaptionColor(TColor color) {
    d->captionColor = color;
    viewport()->update();
}

QFont TRecordInspector::captionFont() const {
    if (d->captionFontSet)
        return d->captionFont;
    QFont f = font();
    f.setBold(true);
    return f;
}

void TRecordInspector::setCaptionFont(const QFont& font) {
    d->captionFont = font;
    d->captionFontSet = true;
    viewport()->update();
}

TInspectorPaintOptions TRecordInspector::paintOptions() const {
    return d->paintOptions;
}

void TRecordInspector::setPaintOptions(const TInspectorPaintOptions& options) {
    d->paintOptions = options;
    viewport()->update();
}

bool TRecordInspector::readOnly() const {
    return d->readOnly;
}

void TRecordInspector::setReadOnly(bool on) {
    d->readOnly = on;
    if (d->dateEdit && d->currentItem())
        d->dateEdit->setReadOnly(on || d->currentItem()->readOnly());
}

int TRecordInspector::rowCount() const {
    return int(d->rows.size());
}

TInspectorItem* TRecordInspector::rowItem(int row) const {
    return row >= 0 && row < rowCount() ? d->rows[size_t(row)] : nullptr;
}

int TRecordInspector::currentRow() const {
    return d->current;
}

void TRecordInspector::setCurrentRow(int row) {
    d->moveTo(row);
}

int TRecordInspector::topRow() const {
    return d->top;
}

int TRecordInspector::rowHeight(int row) const {
    return d->rowHeight(row);
}

int TRecordInspector::fullyVisibleRowCount() const {
    return d->fullyVisibleRows();
}

QRect TRecordInspector::cellRect(int row, int column) const {
    if (row < 0 || row >= rowCount())
        return {};
    const int cw = d->effectiveCaptionWidth();
    const int y = d->rowTop(row);
    const int h = d->rowHeight(row);
    return column == 0 ? QRect(0, y, cw, h) : QRect(cw, y, d->clientWidth() - cw, h);
}

bool TRecordInspector::canEditCurrentRow() {
    TInspectorItem* item = d->currentItem();
    if (d->readOnly || !d->link.active() || d->link.readOnly() || !item || item->readOnly())
        return false;
    data::TDataSet* set = d->link.dataSet();
    if (!set)
        return false;
    if (set->bof() && set->eof() && set->state() == TDataSetState::dsBrowse &&
        !(d->options & ovAllowInsert))
        return false;
    // A calculated field cannot be modified but is not marked read-only: it may be typed into.
    if (data::TField* f = item->field(); f && !(f->canModify() || !f->readOnly()))
        return false;
    if (!d->link.edit() || !data::isEditing(set->state()))
        return false;
    d->link.setModified(true);
    return true;
}

void TRecordInspector::writeCurrentRow() {
    TInspectorItem* item = d->currentItem();
    if (!item)
        return;
    if (d->shownEditor == d->dateEdit && d->dateEdit && item->usesDateEditor()) {
        // The date editor writes its own field.
        if (d->dateEdit->isChanged()) {
            {
                const QScopedValueRollback writing(d->selfWriting, true);
                d->dateEdit->commit();
            }
            viewport()->update();
        }
        d->link.setModified(false);
        return;
    }
    if (!d->link.isModified())
        return;
    data::TField* f = item->field();
    const QString text = d->editorText();
    if (!f) {
        if (item->dataField().isEmpty()) {
            item->setEditText(text);
            d->link.setModified(false);
        }
        return;
    }
    if (data::TDataSet* set = d->link.dataSet(); !set || !data::isEditing(set->state()))
        return;
    const QString before = item->editorText();
    {
        const QScopedValueRollback writing(d->selfWriting, true);
        if (f->dataType() == data::TFieldType::ftMemo)
            f->setAsString(text);
        else
            f->setText(text); // the field's text-entry conversion
    }
    if (text != before)
        viewport()->update(); // every row bound to that field
    d->link.setModified(false);
}

void TRecordInspector::revertCurrentRow() {
    if (!d->currentItem())
        return;
    if (d->shownEditor == d->dateEdit && d->dateEdit) {
        d->dateEdit->loadFromField();
    } else if (d->shownEditor == d->edit) {
        d->edit->setTextSelected(d->currentItem()->editorText());
    }
    d->link.setModified(false);
}

bool TRecordInspector::isModified() const {
    return d->link.isModified() ||
           (d->dateEdit && d->shownEditor == d->dateEdit && d->dateEdit->isChanged());
}

bool TRecordInspector::editorKeysMode() const {
    return d->editorKeys;
}

bool TRecordInspector::hasFocusInside() const {
    return d->focusInside;
}

TInspectorEdit* TRecordInspector::textEditor() const {
    return d->edit;
}

TInspectorDateEdit* TRecordInspector::dateEditor() const {
    return d->dateEdit;
}

QWidget* TRecordInspector::activeEditor() const {
    return d->shownEditor;
}

TInspectorHintWindow* TRecordInspector::hintWindow() const {
    return d->hint;
}

void TRecordInspector::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    d->hideHint();
    d->updateScrollBar();
    if (d->top > d->maxTop())
        d->setTop(d->maxTop());
    d->placeEditor();
}

void TRecordInspector::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        d->edit->setFont(font());
        if (d->dateEdit)
            d->dateEdit->setFont(font());
        d->rebuildRows();
    }
}

void TRecordInspector::scrollContentsBy(int, int) {
    d->setTop(verticalScrollBar()->value());
}

} // namespace controls
