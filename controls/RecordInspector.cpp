// TRecordInspector: binding, rows, layout, painting, hints, row moves and writing typed values.
#include "controls/RecordInspector.h"
#include "controls/Canvas.h"
#include "controls/InspectorDateEdit.h"
#include "controls/InspectorEdit.h"
#include "controls/InspectorHintWindow.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "data/Field.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>

namespace controls {

using data::TDataSetState;
using platform::TColor;

namespace {

constexpr int kSizingZone = 3;       // pixels either side of the caption column's edge
constexpr int kRowSizingZone = 2;    // pixels either side of a row's bottom edge
constexpr int kHintInterval = 250;   // ms between hint timer ticks
constexpr int kHintHidePause = 2500; // the application's hint hide pause, ms
constexpr int kMinCaptionWidth = 10;
constexpr int kCaptionRightMargin = 20;

std::function<void()>& beepHandler() {
    static std::function<void()> handler;
    return handler;
}

// Whether w is inspector or lies inside it, following popups back to the widget that owns them.
bool isInside(const QWidget* w, const QWidget* inspector) {
    for (; w; w = w->parentWidget())
        if (w == inspector)
            return true;
    return false;
}

bool isEditing(data::TDataSet* set) {
    return set &&
           (set->state() == TDataSetState::dsEdit || set->state() == TDataSetState::dsInsert);
}

} // namespace

// The stand-in for the thread keyboard hook: an application event filter, installed while an
// inspector has the focus, that routes row keys pressed in a custom editor to its inspector.
// One filter serves all inspectors; its slot is process-wide.
class InspectorKeyHook : public QObject {
public:
    static void install();
    static void remove();
    // The widget whose next mouse press (and its release) is dropped: the control that tried to
    // take the focus while the inspector could not give it up.
    static QPointer<QWidget>& swallowTarget() {
        static QPointer<QWidget> target;
        return target;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static InspectorKeyHook*& slot() {
        static InspectorKeyHook* hook = nullptr;
        return hook;
    }
};

void InspectorKeyHook::install() {
    if (slot())
        return;
    slot() = new InspectorKeyHook;
    qApp->installEventFilter(slot());
}

void InspectorKeyHook::remove() {
    if (!slot())
        return;
    qApp->removeEventFilter(slot());
    slot()->deleteLater(); // it may be running its own filter right now
    slot() = nullptr;
}

// The link through which the inspector follows its record set.
class InspectorLink : public data::TDataLink {
public:
    explicit InspectorLink(TRecordInspector::Private* owner) : d(owner) {}

protected:
    void activeChanged() override;
    void editingChanged() override {} // the indicator that would show it is not used
    void recordChanged(data::TField* field) override;
    void dataSetChanged() override;
    void dataSetScrolled(int distance) override;
    void layoutChanged() override;
    void updateData() override;
    void focusControl(data::TField* field) override;

private:
    TRecordInspector::Private* d;
};

struct TRecordInspector::Private {
    explicit Private(TRecordInspector* owner) : q(owner), link(this) {}

    TRecordInspector* q;
    InspectorLink link;
    std::vector<std::unique_ptr<TInspectorItem>> items;
    bool autoItems = false; // the items stand for the set's fields until items are added
    std::vector<TInspectorItem*> rows;
    int current = 0;
    int top = 0;

    int captionWidth = 100;
    int captionIndent = 12;
    int defaultRowHeight = 0;
    TInspectorOptions options =
        ovColumnResize | ovRowResize | ovEnterToTab | ovHighlightActiveRow | ovCenterCaptionVert;
    TInspectorLineStyle lineStyleCaption = TInspectorLineStyle::ovDark3DLine;
    TInspectorLineStyle lineStyleData = TInspectorLineStyle::ovDark3DLine;
    TColor dottedLineColor = platform::clBtnShadow;
    TColor color = platform::clBtnFace;
    TColor captionColor = platform::clBtnFace;
    QFont captionFont;
    bool captionFontSet = false;
    TInspectorPaintOptions paintOptions;
    bool pictureMaskFromDataSet = false;
    bool readOnly = false;
    TInspectorSetFocusTabStyle focusTabStyle = TInspectorSetFocusTabStyle::itsPreserveActiveItem;

    TInspectorEdit* edit = nullptr;
    TInspectorDateEdit* dateEdit = nullptr;
    QWidget* shownEditor = nullptr;
    bool focusInside = false;
    bool editorKeys = false;
    bool selfWriting = false;

    QPointer<TInspectorHintWindow> hint;
    QTimer hintTimer;
    int hintTicks = 0;
    int hintRow = -1;
    int hintColumn = -1;
    QPoint lastMouse;
    bool mouseInside = false;
    bool pointerOverHint = false; // left the viewport for the hint window laid over its cell

    enum class Drag { None, Column, Row } drag = Drag::None;
    int dragRow = -1;
    int wheelRemainder = 0;
    // The lines last drawn in each row's data cell: a repaint with the same text reuses them.
    mutable std::vector<TTextLines> cellLines;

    // Rows and geometry.
    void rebuildRows();
    void addRows(const std::vector<std::unique_ptr<TInspectorItem>>& list);
    void addRows(TInspectorItem* item);
    TInspectorItem* currentItem() const {
        return current >= 0 && current < int(rows.size()) ? rows[size_t(current)] : nullptr;
    }
    int clientWidth() const { return q->viewport()->width(); }
    int clientHeight() const { return q->viewport()->height(); }
    int effectiveCaptionWidth() const {
        return std::max(kMinCaptionWidth,
                        std::min(captionWidth, clientWidth() - kCaptionRightMargin));
    }
    int textRowHeight() const { return platform::windowsTextHeight(q->font()) + 3; }
    int rowHeight(int row) const;
    int rowTop(int row) const;
    int fullyVisibleRows() const;
    int maxTop() const;
    void scrollIntoView(int row);
    void setTop(int row);
    void updateScrollBar();
    struct Hit {
        int row = -1;
        int column = -1;
    };
    Hit hitTest(const QPoint& pos) const;

    // Painting.
    void paint(TCanvas& canvas);
    void drawRowLine(TCanvas& canvas, TInspectorLineStyle style, int x1, int x2, int y) const;
    void paintCaptionCell(TCanvas& canvas, int row, const QRect& cell) const;
    void paintDataCell(TCanvas& canvas, int row, const QRect& cell) const;
    void drawEdges(TCanvas& canvas, int bottom) const;
    unsigned dataTextFlags(const TInspectorItem* item) const;

    // Editors.
    TInspectorDateEdit* ensureDateEdit();
    void showEditor(bool reload);
    void hideEditors();
    void placeEditor();
    void reloadEditor(bool keepSelection);
    QString editorText() const;

    // Moves and keys.
    void moveTo(int row);
    bool moveGuarded(int row);
    void tabKey(bool backward);
    void rowKey(int key, Qt::KeyboardModifiers modifiers);
    bool handleKey(QKeyEvent* event);
    bool mayEdit();
    void leaveControl(bool forward);
    TInspectorItem* nextTabItem(TInspectorItem* item) const;
    TInspectorItem* prevTabItem(TInspectorItem* item) const;
    int tabTarget(bool backward);
    void collapseOrExpand(bool expand);

    // Focus.
    void focusEntered(QWidget* now);
    void focusLeft(QWidget* now);

    // Hints.
    void updateHint(const QPoint& pos);
    void hideHint();
    bool pointerOnHint() const;
    QString cellText(int row, int column) const;

    // Notification reactions.
    void onActiveChanged();
    void onRecordChanged(data::TField* field);
    void onSetChanged();
    void onFocusControl(data::TField* field);
};

// ---------------------------------------------------------------------------------------------
// Data link reactions

void InspectorLink::activeChanged() {
    d->onActiveChanged();
}

void InspectorLink::recordChanged(data::TField* field) {
    d->onRecordChanged(field);
}

void InspectorLink::dataSetChanged() {
    d->onSetChanged();
}

void InspectorLink::dataSetScrolled(int) {
    d->onSetChanged();
}

void InspectorLink::layoutChanged() {
    d->onSetChanged();
}

void InspectorLink::updateData() {
    d->q->writeCurrentRow();
}

void InspectorLink::focusControl(data::TField* field) {
    d->onFocusControl(field);
}

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
    for (const auto& root : items) {
        std::vector<TInspectorItem*> stack{root.get()};
        while (!stack.empty()) {
            TInspectorItem* it = stack.back();
            stack.pop_back();
            if (it->field() == field) {
                for (TInspectorItem* p = it->parentItem(); p; p = p->parentItem())
                    p->setExpanded(true);
                auto pos = std::find(rows.begin(), rows.end(), it);
                if (pos != rows.end() && moveGuarded(int(pos - rows.begin())))
                    q->setFocus(Qt::OtherFocusReason);
                return;
            }
            for (int i = 0; i < it->childCount(); ++i)
                stack.push_back(it->child(i));
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Rows and geometry

void TRecordInspector::Private::addRows(TInspectorItem* item) {
    if (!item->visible())
        return;
    rows.push_back(item);
    if (item->expanded())
        for (int i = 0; i < item->childCount(); ++i)
            addRows(item->child(i));
}

void TRecordInspector::Private::addRows(const std::vector<std::unique_ptr<TInspectorItem>>& list) {
    for (const auto& item : list)
        addRows(item.get());
}

void TRecordInspector::Private::rebuildRows() {
    TInspectorItem* was = currentItem();
    rows.clear();
    addRows(items);
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
// Painting

void TRecordInspector::Private::drawRowLine(TCanvas& canvas, TInspectorLineStyle style, int x1,
                                            int x2, int y) const {
    switch (style) {
    case TInspectorLineStyle::ovNoLines:
        return;
    case TInspectorLineStyle::ovDottedLine:
        // Every second pixel, starting at the left end.
        for (int x = x1; x < x2; x += 2)
            canvas.setPixel(x, y, dottedLineColor);
        return;
    case TInspectorLineStyle::ovLight3DLine:
        canvas.penColor = platform::clBtnHighlight;
        break;
    case TInspectorLineStyle::ovDark3DLine:
        canvas.penColor = platform::clBtnShadow;
        break;
    case TInspectorLineStyle::ovButtonLine:
        canvas.penColor = platform::cl3DDkShadow;
        break;
    }
    canvas.moveTo(x1, y);
    canvas.lineTo(x2, y);
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
    const int indent = captionIndent * (item->level() + 1);
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
    if ((options & ovFillNonCellArea) && bottom < h) {
        canvas.brushColor = captionColor;
        canvas.fillRect(0, bottom, w, h);
    }
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
        drawRowLine(canvas, lineStyleCaption, 0, cw, ly);
        if (!(focused && s.row == current))
            drawRowLine(canvas, lineStyleData, cw, w, ly);
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

// ---------------------------------------------------------------------------------------------
// Editors

TInspectorDateEdit* TRecordInspector::Private::ensureDateEdit() {
    if (!dateEdit) {
        dateEdit = new TInspectorDateEdit(q, q->viewport());
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

TInspectorItem* TRecordInspector::Private::nextTabItem(TInspectorItem* item) const {
    const bool visibleOnly = options & ovTabToVisibleOnly;
    auto firstVisibleChild = [](TInspectorItem* it) -> TInspectorItem* {
        for (int i = 0; i < it->childCount(); ++i)
            if (it->child(i)->visible())
                return it->child(i);
        return nullptr;
    };
    if (item->hasVisibleChildren() && (item->expanded() || !visibleOnly))
        return firstVisibleChild(item);
    for (TInspectorItem* it = item; it; it = it->parentItem()) {
        TInspectorItem* parent = it->parentItem();
        bool after = false;
        auto scan = [&](TInspectorItem* candidate) -> TInspectorItem* {
            if (after && candidate->visible())
                return candidate;
            if (candidate == it)
                after = true;
            return nullptr;
        };
        if (parent) {
            for (int i = 0; i < parent->childCount(); ++i)
                if (TInspectorItem* s = scan(parent->child(i)))
                    return s;
        } else {
            for (const auto& top : items)
                if (TInspectorItem* s = scan(top.get()))
                    return s;
        }
    }
    return nullptr;
}

TInspectorItem* TRecordInspector::Private::prevTabItem(TInspectorItem* item) const {
    const bool visibleOnly = options & ovTabToVisibleOnly;
    TInspectorItem* parent = item->parentItem();
    std::vector<TInspectorItem*> siblings;
    if (parent)
        for (int i = 0; i < parent->childCount(); ++i)
            siblings.push_back(parent->child(i));
    else
        for (const auto& top : items)
            siblings.push_back(top.get());
    TInspectorItem* previous = nullptr;
    for (TInspectorItem* s : siblings) {
        if (s == item)
            break;
        if (s->visible())
            previous = s;
    }
    if (!previous)
        return parent;
    while (previous->hasVisibleChildren() && (previous->expanded() || !visibleOnly)) {
        TInspectorItem* last = nullptr;
        for (int i = 0; i < previous->childCount(); ++i)
            if (previous->child(i)->visible())
                last = previous->child(i);
        previous = last;
    }
    return previous;
}

int TRecordInspector::Private::tabTarget(bool backward) {
    TInspectorItem* item = currentItem();
    if (!item)
        return -1;
    for (;;) {
        item = backward ? prevTabItem(item) : nextTabItem(item);
        if (!item)
            return -1;
        if (item->tabStop() && item->enabled())
            break;
    }
    // An item reached inside a collapsed parent expands its ancestors.
    bool expanded = false;
    for (TInspectorItem* p = item->parentItem(); p; p = p->parentItem())
        if (!p->expanded()) {
            p->setExpanded(true);
            expanded = true;
        }
    if (expanded)
        rebuildRows();
    auto pos = std::find(rows.begin(), rows.end(), item);
    return pos == rows.end() ? -1 : int(pos - rows.begin());
}

void TRecordInspector::Private::leaveControl(bool forward) {
    QWidget* w = forward ? q->nextInFocusChain() : q->previousInFocusChain();
    while (w && w != q) {
        if (!isInside(w, q) && w->window() == q->window() && (w->focusPolicy() & Qt::TabFocus) &&
            w->isEnabled() && w->isVisible()) {
            w->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
            return;
        }
        w = forward ? w->nextInFocusChain() : w->previousInFocusChain();
    }
}

void TRecordInspector::Private::tabKey(bool backward) {
    platform::guarded([&] {
        if (options & ovTabExits) {
            leaveControl(!backward);
            return;
        }
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

void TRecordInspector::Private::collapseOrExpand(bool expand) {
    TInspectorItem* item = currentItem();
    if (item && item->childCount() > 0 && item->expanded() != expand)
        platform::guarded([&] {
            q->writeCurrentRow();
            item->setExpanded(expand);
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
    case Qt::Key_Left:
        collapseOrExpand(false);
        break;
    case Qt::Key_Right:
        collapseOrExpand(true);
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
        // With Ctrl: collapse or expand (the caret does not jump by words); without it only for
        // a read-only item with children.
        if (ctrl || (item && item->readOnly() && item->childCount() > 0)) {
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
                TRecordInspector::beep();
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

// ---------------------------------------------------------------------------------------------
// Focus

// Follows the application's focus for all inspectors at once, so that every inspector losing the
// focus reacts before any inspector gaining it (the hook slot is freed before it is taken again).
class InspectorFocusTracker : public QObject {
public:
    static void add(TRecordInspector* inspector) { instance().inspectors_.push_back(inspector); }
    static void remove(TRecordInspector* inspector) {
        auto& list = instance().inspectors_;
        list.erase(std::remove(list.begin(), list.end(), inspector), list.end());
    }

private:
    InspectorFocusTracker() {
        connect(qApp, &QApplication::focusChanged, this, [this] { focusChanged(); });
    }
    static InspectorFocusTracker& instance() {
        static auto* tracker = new InspectorFocusTracker; // lives as long as the application
        return *tracker;
    }
    void focusChanged() {
        // A reaction may move the focus again; each step looks at where it is now.
        std::vector<QPointer<TRecordInspector>> all(inspectors_.begin(), inspectors_.end());
        for (const auto& insp : all) {
            QWidget* now = QApplication::focusWidget();
            // Focus passing to another window (a message box, the window being deactivated)
            // is not the inspector losing it to another control.
            if (insp && insp->d->focusInside && !isInside(now, insp) && now &&
                now->window() == insp->window())
                insp->d->focusLeft(now);
        }
        for (const auto& insp : all) {
            QWidget* now = QApplication::focusWidget();
            if (insp && !insp->d->focusInside && isInside(now, insp))
                insp->d->focusEntered(now);
        }
    }

    std::vector<TRecordInspector*> inspectors_;
};

void TRecordInspector::Private::focusEntered(QWidget*) {
    focusInside = true;
    InspectorKeyHook::install();
    if (focusTabStyle == TInspectorSetFocusTabStyle::itsResetActiveItem && !link.isModified())
        current = 0;
    scrollIntoView(current);
    showEditor(!link.isModified());
    q->viewport()->update();
}

void TRecordInspector::Private::focusLeft(QWidget* now) {
    InspectorKeyHook::remove();
    focusInside = false;
    try {
        q->writeCurrentRow();
    } catch (...) {
        // The inspector keeps the focus, the row keeps its text, and the control that tried to
        // take the focus does not get the click that tried.
        if (QApplication::mouseButtons() != Qt::NoButton)
            InspectorKeyHook::swallowTarget() = now;
        q->setFocus(Qt::OtherFocusReason);
        platform::handleException();
        return;
    }
    editorKeys = false;
    hideHint();
    hideEditors();
    q->viewport()->update();
}

void TRecordInspector::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    if (d->focusInside && d->shownEditor && d->shownEditor->isVisible() &&
        d->shownEditor->isEnabled())
        d->shownEditor->setFocus(event->reason());
}

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
        available = cell.width() - captionIndent * (item->level() + 1);
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
    hintTimer.start(kHintInterval);
}

void TRecordInspector::hintTimerTick() {
    if (!d->hint)
        return;
    ++d->hintTicks;
    const QPoint pointer =
        d->pointerOverHint ? viewport()->mapFromGlobal(QCursor::pos()) : d->lastMouse;
    bool inside = d->mouseInside && d->hintRow >= 0 && d->hintRow < rowCount() &&
                  cellRect(d->hintRow, d->hintColumn).adjusted(-1, -1, 1, 1).contains(pointer);
    if (!inside || d->hintTicks > std::max(kHintHidePause / kHintInterval, 16))
        d->hideHint();
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
    d->edit = new TInspectorEdit(this, viewport());
    d->edit->setFont(font());
    d->edit->hide();
    d->hintTimer.setInterval(kHintInterval);
    connect(&d->hintTimer, &QTimer::timeout, this, [this] { hintTimerTick(); });
    InspectorFocusTracker::add(this);
    d->link.setBufferCount(1);
}

TRecordInspector::~TRecordInspector() {
    InspectorFocusTracker::remove(this);
    if (d->focusInside)
        InspectorKeyHook::remove();
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
               ovTabToVisibleOnly | ovShowTreeLines | ovShowCaptionHints | ovShowCellHints |
               ovActiveRecord3DLines | ovAllowInsert | ovUseOwnBackgroundColors);
    setLineStyleCaption(TInspectorLineStyle::ovDottedLine);
    setLineStyleData(TInspectorLineStyle::ovDottedLine);
    setDottedLineColor(platform::clBtnShadow);
    setColor(platform::clCream);
    setCaptionColor(platform::clBtnFace);
    setFont(platform::tahoma(11));
    setCaptionFont(platform::tahoma(11, true));
    TInspectorPaintOptions paint;
    paint.alternatingRowRegions = arrDataColumns | arrActiveDataColumn;
    setPaintOptions(paint);
    setPictureMaskFromDataSet(true);
    setReadOnly(false);
    setSetFocusTabStyle(TInspectorSetFocusTabStyle::itsPreserveActiveItem);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameStyle(QFrame::WinPanel | QFrame::Sunken);
}

TInspectorItem& TRecordInspector::addItem(const QString& fieldName, const QString& caption) {
    if (d->autoItems)
        clearItems();
    d->items.push_back(std::make_unique<TInspectorItem>(this, nullptr));
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
    d->items.push_back(std::make_unique<TInspectorItem>(this, nullptr));
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

void TRecordInspector::itemChanged(TInspectorItem*, bool rowsChanged) {
    if (rowsChanged)
        d->rebuildRows();
    viewport()->update();
}

void TRecordInspector::itemDataChanged(TInspectorItem*) {
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

TInspectorLineStyle TRecordInspector::lineStyleCaption() const {
    return d->lineStyleCaption;
}

void TRecordInspector::setLineStyleCaption(TInspectorLineStyle style) {
    d->lineStyleCaption = style;
    viewport()->update();
}

TInspectorLineStyle TRecordInspector::lineStyleData() const {
    return d->lineStyleData;
}

void TRecordInspector::setLineStyleData(TInspectorLineStyle style) {
    d->lineStyleData = style;
    viewport()->update();
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

bool TRecordInspector::pictureMaskFromDataSet() const {
    return d->pictureMaskFromDataSet;
}

void TRecordInspector::setPictureMaskFromDataSet(bool on) {
    d->pictureMaskFromDataSet = on;
}

bool TRecordInspector::readOnly() const {
    return d->readOnly;
}

void TRecordInspector::setReadOnly(bool on) {
    d->readOnly = on;
    if (d->dateEdit && d->currentItem())
        d->dateEdit->setReadOnly(on || d->currentItem()->readOnly());
}

int TRecordInspector::dataColumns() const {
    return 1;
}

TInspectorSetFocusTabStyle TRecordInspector::setFocusTabStyle() const {
    return d->focusTabStyle;
}

void TRecordInspector::setSetFocusTabStyle(TInspectorSetFocusTabStyle style) {
    d->focusTabStyle = style;
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

void TRecordInspector::setTopRow(int row) {
    d->setTop(row);
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
    if (!d->link.edit() || !isEditing(set))
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
            d->selfWriting = true;
            try {
                d->dateEdit->commit();
            } catch (...) {
                d->selfWriting = false;
                throw;
            }
            d->selfWriting = false;
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
    if (!isEditing(d->link.dataSet()))
        return;
    const QString before = item->editorText();
    d->selfWriting = true;
    try {
        if (f->dataType() == data::TFieldType::ftMemo)
            f->setAsString(text);
        else
            f->setText(text); // the field's text-entry conversion
    } catch (...) {
        d->selfWriting = false;
        throw;
    }
    d->selfWriting = false;
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

void TRecordInspector::setBeepHandler(std::function<void()> handler) {
    beepHandler() = std::move(handler);
}

void TRecordInspector::beep() {
    if (beepHandler())
        beepHandler()();
    else
        QApplication::beep();
}

bool TRecordInspector::editorKeyPress(QKeyEvent* event) {
    return d->handleKey(event);
}

void TRecordInspector::hookKey(int key, Qt::KeyboardModifiers modifiers) {
    d->hideHint();
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        d->tabKey(key == Qt::Key_Backtab || (modifiers & Qt::ShiftModifier));
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        d->tabKey(modifiers & Qt::ShiftModifier);
        break;
    default:
        d->rowKey(key, modifiers);
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

void TRecordInspector::scrollContentsBy(int, int) {
    d->setTop(verticalScrollBar()->value());
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
    if ((d->options & ovColumnResize) && hit.row >= 0 && std::abs(pos.x() - cw) <= kSizingZone) {
        if (platform::guarded([&] { writeCurrentRow(); }))
            d->drag = Private::Drag::Column;
        return;
    }
    // Row drag: only for resizeable items, inside the caption column.
    if ((d->options & ovRowResize) && pos.x() < cw) {
        for (int r = d->top; r < rowCount(); ++r) {
            const int bottom = d->rowTop(r) + d->rowHeight(r);
            if (std::abs(pos.y() - bottom) <= kRowSizingZone) {
                if (d->rows[size_t(r)]->resizeable() &&
                    platform::guarded([&] { writeCurrentRow(); })) {
                    d->drag = Private::Drag::Row;
                    d->dragRow = r;
                    return;
                }
                break;
            }
            if (bottom > pos.y() + kRowSizingZone)
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
    if ((d->options & ovColumnResize) && hit.row >= 0 && std::abs(pos.x() - cw) <= kSizingZone)
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
// The keyboard hook stand-in

bool InspectorKeyHook::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (swallowTarget() && watched == swallowTarget().data())
            return true;
        return false;
    case QEvent::MouseButtonRelease:
        if (swallowTarget() && watched == swallowTarget().data()) {
            swallowTarget() = nullptr;
            return true;
        }
        return false;
    case QEvent::KeyPress:
        break;
    default:
        return false;
    }
    // Only keys pressed in a custom editor (the date editor), not in its popup.
    TInspectorDateEdit* editor = nullptr;
    for (QWidget* w = qobject_cast<QWidget*>(watched); w; w = w->parentWidget()) {
        if (auto* de = qobject_cast<TInspectorDateEdit*>(w)) {
            editor = de;
            break;
        }
        if (w->isWindow())
            break;
    }
    if (!editor)
        return false;
    TRecordInspector* inspector = nullptr;
    for (QWidget* w = editor->parentWidget(); w && !inspector; w = w->parentWidget())
        inspector = qobject_cast<TRecordInspector*>(w);
    if (!inspector || !inspector->d->focusInside || inspector->d->shownEditor != editor)
        return false;

    auto* key = static_cast<QKeyEvent*>(event);
    const int k = key->key();
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    const bool ctrlOrAlt = mods & (Qt::ControlModifier | Qt::AltModifier);
    const bool ctrl = mods & Qt::ControlModifier;
    bool route = false;
    if (!ctrlOrAlt && (k == Qt::Key_Tab || k == Qt::Key_Backtab))
        route = true;
    else if (!ctrlOrAlt && (k == Qt::Key_Return || k == Qt::Key_Enter))
        route = inspector->d->options & ovEnterToTab;
    else if (!ctrlOrAlt &&
             (k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_PageUp || k == Qt::Key_PageDown))
        route = !editor->isDropDownOpen() && !inspector->d->editorKeys;
    else if (ctrl && (k == Qt::Key_Up || k == Qt::Key_Down || k == Qt::Key_Left ||
                      k == Qt::Key_Right || k == Qt::Key_PageUp || k == Qt::Key_PageDown))
        route = true;
    else if (!ctrlOrAlt && k == Qt::Key_F2)
        inspector->d->editorKeys = !inspector->d->editorKeys; // and passed on to the editor
    if (!route)
        return false;
    inspector->hookKey(k, mods);
    return true;
}

} // namespace controls
