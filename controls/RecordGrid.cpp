// TRecordGrid: properties, binding, column layout, the column list, scroll bars and link reactions.
#include "controls/RecordGridPrivate.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

#include <QEvent>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QSet>
#include <QStyle>
#include <algorithm>
#include <cstdlib>

namespace controls {

using data::TDataSetState;

namespace {

// Width of an empty column while no field is mapped.
constexpr int kEmptyColumnWidth = 64;

} // namespace

QString TGridColumn::entry() const {
    return fieldName + '\t' + QString::number(width) + '\t' + title;
}

TGridColumn TGridColumn::fromEntry(const QString& entry) {
    const QStringList parts = entry.split('\t');
    if (parts.size() < 3)
        throw core::Exception(QStringLiteral("List index out of bounds (%1)").arg(parts.size()));
    bool ok = false;
    const int width = parts[1].toInt(&ok);
    if (!ok)
        throw core::Exception(QStringLiteral("'%1' is not a valid integer value").arg(parts[1]));
    return {parts[0], width, parts[2]};
}

TRecordGrid::Private::Private(TRecordGrid& grid) : q(grid), link(*this) {}

data::TDataSet* TRecordGrid::Private::dataSet() const {
    return link.dataSet();
}

bool TRecordGrid::Private::linkActive() const {
    return link.active() && link.dataSet();
}

data::TField* TRecordGrid::Private::field(int dataColumn) const {
    if (dataColumn < 0 || dataColumn >= int(fieldMap.size()) || !dataSet())
        return nullptr;
    data::TDataSet* ds = dataSet();
    const int index = fieldMap[size_t(dataColumn)];
    return index < ds->fieldCount() ? &ds->field(index) : nullptr;
}

int TRecordGrid::Private::columnOfField(const data::TField* f) const {
    if (!f)
        return -1;
    for (int c = 0; c < int(fieldMap.size()); ++c)
        if (field(c) == f)
            return c;
    return -1;
}

bool TRecordGrid::Private::run(const std::function<void()>& operation) {
    if (platform::guarded(operation))
        return true;
    // The operation may have stopped between two notifications: show what the set reports now.
    updateRowCount();
    updateVertScrollBar();
    invalidateAll();
    return false;
}

// ---------------------------------------------------------------------------------------------
// Layout

void TRecordGrid::Private::layout() {
    if (inLayout || destroying)
        return;
    const QScopedValueRollback busy(inLayout, true);

    titleRows = options.testFlag(dgTitles) ? 1 : 0;
    indicatorCols = options.testFlag(dgIndicator) ? 1 : 0;
    computeRowHeights();

    fieldMap.clear();
    if (linkActive()) {
        data::TDataSet* ds = dataSet();
        for (int i = 0; i < ds->fieldCount(); ++i)
            if (ds->field(i).visible())
                fieldMap.push_back(i);
    }
    computeColumnWidths();
    currentCol = std::clamp(currentCol, 0, dataColumns() - 1);

    arrangeScrollBars();
    updateRowCount();
    updateVertScrollBar();
    invalidateAll();
}

void TRecordGrid::Private::computeRowHeights() {
    const int e = rowLine();
    dataHeight = platform::windowsTextHeight(q.font()) + 2 + e;
    titleHeight =
        titleRows ? platform::windowsTextHeight(titleFont) * titleLines + 4 + (e ? 0 : 1) : 0;
}

void TRecordGrid::Private::computeColumnWidths() {
    widths.clear();
    const int z = platform::textWidth(q.font(), QStringLiteral("0"));
    const bool titleBound = options.testFlag(dgTitles) && !options.testFlag(dgNoLimitColSize);
    for (int c = 0; c < int(fieldMap.size()); ++c) {
        const data::TField* f = field(c);
        int w = z * f->displayWidth() + 4;
        if (titleBound) {
            int titleWidth = 0;
            for (const QString& piece : f->displayName().split('~'))
                titleWidth = std::max(titleWidth, platform::textWidth(titleFont, piece));
            w = std::max(w, titleWidth + 4);
        }
        widths.push_back(w);
    }
    if (widths.empty())
        widths.push_back(kEmptyColumnWidth);
}

void TRecordGrid::Private::applyColumnList() {
    data::TDataSet* ds = dataSet();
    if (!ds || selected.isEmpty() || ds->hasCalculatedFields())
        return;
    ds->disableControls();
    const auto resume = qScopeGuard([ds] { ds->enableControls(); });
    for (int i = 0; i < ds->fieldCount(); ++i)
        ds->field(i).setVisible(false);
    QSet<const data::TField*> applied;
    for (int i = 0; i < selected.size(); ++i) {
        const TGridColumn column = TGridColumn::fromEntry(selected[i]);
        // The first entry naming a field wins; an entry without a field still counts for i.
        data::TField* f = ds->findField(column.fieldName);
        if (!f || applied.contains(f))
            continue;
        applied.insert(f);
        f->setDisplayWidth(column.width);
        f->setDisplayLabel(column.title);
        f->setIndex(std::min(i, ds->fieldCount() - 1));
        f->setVisible(true);
    }
}

void TRecordGrid::Private::arrangeScrollBars() {
    const int extent = q.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, vbar);
    clientW = std::max(0, q.width() - extent);
    const bool needHorz = maxLeftCol() > 0;
    const int hh = needHorz ? extent : 0;
    clientH = std::max(0, q.height() - hh);
    if (!barsHeld) {
        vbar->setGeometry(clientW, 0, extent, clientH);
        vbar->setVisible(true);
        hbar->setGeometry(0, clientH, clientW, hh);
        hbar->setVisible(needHorz);
    }
    leftCol = std::clamp(leftCol, 0, std::max(0, maxLeftCol()));
    updateHorzScrollBar();
}

int TRecordGrid::Private::maxLeftCol() const {
    const int n = dataColumns();
    const int available = clientW - fixedLeft();
    int first = n;
    int sum = 0;
    while (first > 0 && sum + widths[size_t(first - 1)] + colLine() <= available) {
        sum += widths[size_t(first - 1)] + colLine();
        --first;
    }
    if (first == n)
        first = n - 1; // the last column alone is wider than the area
    return std::max(first, 0);
}

void TRecordGrid::Private::updateHorzScrollBar() {
    if (barsHeld)
        return;
    QSignalBlocker block(hbar);
    hbar->setRange(0, std::max(0, maxLeftCol()));
    hbar->setSingleStep(1);
    int inView = 0;
    const std::vector<int> lefts = columnLefts();
    for (int c = 0; c < dataColumns(); ++c)
        if (lefts[size_t(c)] >= 0)
            ++inView;
    hbar->setPageStep(std::max(1, inView));
    hbar->setValue(leftCol);
}

void TRecordGrid::Private::setLeftCol(int col) {
    col = std::clamp(col, 0, std::max(0, maxLeftCol()));
    if (col == leftCol)
        return;
    leftCol = col;
    updateHorzScrollBar();
    invalidateAll();
}

void TRecordGrid::Private::makeColumnVisible(int col) {
    if (col < 0)
        return;
    if (col < leftCol) {
        setLeftCol(col);
        return;
    }
    // Scroll right until the column's right edge is in view (or it is the first scrolling one).
    int left = leftCol;
    for (;;) {
        int x = fixedLeft();
        for (int c = left; c < col; ++c)
            x += widths[size_t(c)] + colLine();
        if (x + widths[size_t(col)] <= clientW || left >= col || left >= maxLeftCol())
            break;
        ++left;
    }
    setLeftCol(left);
}

void TRecordGrid::Private::updateRowCount() {
    if (inRowCount)
        return;
    const QScopedValueRollback busy(inRowCount, true);
    data::TDataSet* ds = dataSet();
    if (linkActive() && ds->active() && ds->windowRecordCount() > 0) {
        const int fit = std::max(1, (clientH - dataTop()) / pitch());
        link.setBufferCount(fit);
        rows = titleRows + std::max(1, link.recordCount());
        currentRow = titleRows + std::clamp(link.activeRecord(), 0, dataRows() - 1);
    } else {
        rows = titleRows + 1;
        currentRow = titleRows;
    }
}

void TRecordGrid::Private::clientResized() {
    arrangeScrollBars();
    updateRowCount();
    updateVertScrollBar();
    invalidateAll();
}

void TRecordGrid::Private::updateVertScrollBar() {
    if (destroying)
        return;
    TScrollBarValues v;
    bool canScroll = false;
    data::TDataSet* ds = dataSet();
    if (linkActive() && ds->active()) {
        const int shown = dataRows();
        if (ds->isSequenced()) {
            v.min = 1;
            v.page = shown;
            v.max = ds->recordCount() + shown - 1;
            v.pos =
                ds->state() == TDataSetState::dsInsert && vertWritten ? wantVert.pos : ds->recNo();
        } else {
            v.min = 0;
            v.page = 0;
            v.max = 4;
            v.pos = ds->bof() ? 0 : ds->eof() ? 4 : 2;
        }
        canScroll = true;
    }
    if (v.max - v.min <= 1) {
        // A thumb that fills the bar.
        v.min = 1;
        v.max = 1001;
        v.page = 1000;
        canScroll = false;
    }
    v.pos = std::clamp(v.pos, v.min, v.max);
    wantVert = v;
    wantVertEnabled = canScroll;
    if (barsHeld)
        return;
    if (!vertWritten || !(v == vert)) {
        vert = v;
        vertWritten = true;
        ++vertWrites;
        QSignalBlocker block(vbar);
        vbar->setRange(v.min, std::max(v.min, v.max - std::max(1, v.page) + 1));
        vbar->setPageStep(std::max(1, v.page));
        vbar->setSingleStep(1);
        vbar->setSliderPosition(v.pos);
        vbar->setValue(v.pos);
    }
    vbar->setEnabled(canScroll);
}

void TRecordGrid::Private::holdBars() {
    if (barsHeld || !q.isVisible())
        return;
    barsHeld = true;
    QMetaObject::invokeMethod(
        &q, [this] { releaseBars(); }, Qt::QueuedConnection);
}

void TRecordGrid::Private::releaseBars() {
    if (!barsHeld)
        return;
    barsHeld = false;
    if (destroying)
        return;
    arrangeScrollBars();
    updateVertScrollBar();
}

// ---------------------------------------------------------------------------------------------
// Geometry

std::vector<int> TRecordGrid::Private::columnLefts() const {
    std::vector<int> lefts(size_t(dataColumns()), -1);
    int x = fixedLeft();
    for (int c = 0; c < dataColumns(); ++c) {
        if (c < leftCol)
            continue;
        if (x >= clientW)
            break;
        lefts[size_t(c)] = x;
        x += widths[size_t(c)] + colLine();
    }
    return lefts;
}

QRect TRecordGrid::Private::rowRect(int dataRow) const {
    return QRect(0, rowTop(dataRow), clientW, pitch());
}

QRect TRecordGrid::Private::indicatorRect(int dataRow) const {
    if (!indicatorCols)
        return {};
    return QRect(0, rowTop(dataRow), indicatorWidth() + colLine(), pitch());
}

QRect TRecordGrid::Private::cellRect(int dataColumn, int dataRow) const {
    const std::vector<int> lefts = columnLefts();
    if (dataColumn < 0 || dataColumn >= dataColumns() || lefts[size_t(dataColumn)] < 0)
        return {};
    // One pixel to the left too: the alternating fill reaches over the column line.
    return QRect(lefts[size_t(dataColumn)] - 1, rowTop(dataRow),
                 widths[size_t(dataColumn)] + 1 + colLine(), pitch());
}

int TRecordGrid::Private::dataRowAt(int y) const {
    if (y < dataTop())
        return -1;
    return (y - dataTop()) / pitch();
}

int TRecordGrid::Private::dataColumnAt(int x) const {
    if (indicatorCols && x < fixedLeft())
        return -1;
    const std::vector<int> lefts = columnLefts();
    for (int c = 0; c < dataColumns(); ++c) {
        const int l = lefts[size_t(c)];
        if (l >= 0 && x >= l && x < l + widths[size_t(c)] + colLine())
            return c;
    }
    return -2;
}

int TRecordGrid::Private::edgeAt(int x) const {
    const std::vector<int> lefts = columnLefts();
    int best = -1;
    int bestDistance = 3;
    for (int c = 0; c < dataColumns(); ++c) {
        const int l = lefts[size_t(c)];
        if (l < 0)
            continue;
        const int distance = std::abs(x - (l + widths[size_t(c)]));
        if (distance < bestDistance) {
            bestDistance = distance;
            best = c;
        }
    }
    return best;
}

bool TRecordGrid::Private::highlightShown() const {
    return (focusFlag || options.testFlag(dgAlwaysShowSelection)) &&
           !paintOptions.ActiveRecordColor.isNone();
}

// ---------------------------------------------------------------------------------------------
// Invalidation

void TRecordGrid::Private::invalidate(const QRect& rect) {
    const QRect r = rect.intersected(q.rect());
    if (r.isEmpty())
        return;
    // Already due (the toolkit holds every pending area as due too): nothing to add.
    if (pending.rectCount() == 1 && pending.boundingRect().contains(r))
        return;
    pending += r;
    q.update(r);
}

bool TRecordGrid::Private::wholeAreaPending(const QRect& area) const {
    return pending.rectCount() == 1 ? pending.boundingRect().contains(area)
                                    : QRegion(area).subtracted(pending).isEmpty();
}

void TRecordGrid::Private::invalidateAll() {
    invalidate(q.rect());
}

void TRecordGrid::Private::invalidateRow(int gridRow, bool wholeRow) {
    const int r = gridRow - titleRows;
    if (r < 0 || r >= dataRows())
        return;
    invalidate(wholeRow ? rowRect(r) : indicatorRect(r));
}

void TRecordGrid::Private::flush() {
    releaseBars();
    if (!pending.isEmpty() && q.isVisible())
        q.repaint(pending);
}

// ---------------------------------------------------------------------------------------------
// Link reactions

void TRecordGrid::Private::syncActive() {
    if (destroying || link.active() == lastActive)
        return;
    lastActive = link.active();
    // A set that closes is mostly opened again at once (the next customer's visits): the bars
    // wait for the end of that, so that the closed look reaches them only if it stays.
    if (!lastActive)
        holdBars();
    layout();
    if (lastActive) {
        applyColumnList();
        layout();
    }
    updateVertScrollBar();
}

void TRecordGrid::Private::linkEditingChanged() {
    if (destroying)
        return;
    invalidateRow(currentRow, false);
}

void TRecordGrid::Private::linkRecordChanged(data::TField* f) {
    if (destroying || !linkActive())
        return;
    const int col = columnOfField(f);
    if (f && col >= 0)
        invalidate(cellRect(col, currentDataRow()));
    else
        invalidateRow(currentRow, true);
}

void TRecordGrid::Private::linkDataSetChanged() {
    if (destroying)
        return;
    updateRowCount();
    updateVertScrollBar();
    invalidateAll();
}

// Records read again where they stand (another workstation changed them): the rows shown and the
// current row stay, so only those rows are painted again; anything else that moved, everything.
void TRecordGrid::Private::linkRecordsReread(const std::vector<int>& reread) {
    if (destroying)
        return;
    const int rowsBefore = rows, currentBefore = currentRow;
    updateRowCount();
    updateVertScrollBar();
    if (rows != rowsBefore || currentRow != currentBefore) {
        invalidateAll();
        return;
    }
    for (const int r : reread)
        if (r >= 0 && r < dataRows())
            invalidate(rowRect(r));
}

void TRecordGrid::Private::linkDataSetScrolled(int distance) {
    if (destroying)
        return;
    updateVertScrollBar();
    const int oldRow = currentRow;
    updateRowCount();
    if (distance == 0) {
        invalidateRow(oldRow, true);
        invalidateRow(currentRow, true);
        return;
    }
    if (std::abs(distance) > dataRows()) {
        invalidateAll();
        return;
    }
    // An odd shift flips the parity, so that each record keeps its colour as it moves.
    if (distance % 2 != 0)
        parity = !parity;
    const QRect area(0, dataTop(), clientW, dataRows() * pitch());
    // Pixels that are all to be painted again need not move: a walk through a list that was
    // just opened paints once, at its end.
    if (wholeAreaPending(area))
        return;
    if (!paintOptions.FastRecordScrolling || !q.isVisible() || !q.updatesEnabled()) {
        invalidate(area);
        return;
    }
    // Areas still due move with the pixels (the toolkit moves its own record of them too).
    const int dy = pitch() * distance;
    const QRegion due = pending.intersected(area);
    pending = pending.subtracted(due).united(due.translated(0, -dy).intersected(area));
    q.scroll(0, -dy, area);
    invalidate(distance > 0 ? QRect(0, area.bottom() + 1 - dy, clientW, dy)
                            : QRect(0, area.top(), clientW, -dy));
    // The old current record now stands distance rows higher; a visible highlight moves with
    // the whole row, otherwise only the indicator glyph does.
    const bool whole = highlightShown();
    invalidateRow(oldRow - distance, whole);
    invalidateRow(currentRow, whole);
}

void TRecordGrid::Private::linkFocusControl(data::TField* f) {
    const int col = columnOfField(f);
    if (col < 0)
        return;
    currentCol = col;
    makeColumnVisible(col);
    q.setFocus(Qt::OtherFocusReason);
}

// ---------------------------------------------------------------------------------------------
// TRecordGrid

TRecordGrid::TRecordGrid(QWidget* parent)
    : TOwnerDrawnControl(parent), d(std::make_unique<Private>(*this)) {
    // Tab reaches the grid and a press on its cells takes the focus (mousePressEvent); a press on
    // a scroll bar, which the toolkit would hand to the bar's parent, leaves the focus alone.
    setFocusPolicy(Qt::TabFocus);
    setMouseTracking(true);
    d->titleFont = font();
    d->vbar = new QScrollBar(Qt::Vertical, this);
    d->vbar->setFocusPolicy(Qt::NoFocus);
    d->vbar->setContextMenuPolicy(Qt::NoContextMenu);
    d->vbar->setTracking(false); // the thumb acts when dropped, not while dragged
    d->vbar->installEventFilter(this);
    d->hbar = new QScrollBar(Qt::Horizontal, this);
    d->hbar->setFocusPolicy(Qt::NoFocus);
    d->hbar->setContextMenuPolicy(Qt::NoContextMenu);
    d->hbar->hide();
    connect(d->vbar, &QAbstractSlider::actionTriggered, this,
            [this](int action) { d->vertScrollAction(action); });
    connect(d->hbar, &QAbstractSlider::valueChanged, this, [this](int value) {
        d->setLeftCol(value);
        d->flush();
    });
    d->dragTimer.setInterval(100);
    connect(&d->dragTimer, &QTimer::timeout, this, [this] { d->dragTick(); });
    d->layout();
    d->updateVertScrollBar();
}

TRecordGrid::~TRecordGrid() {
    d->destroying = true;
    d->dragTimer.stop();
    d->link.setDataSource(nullptr);
}

data::TDataSource* TRecordGrid::dataSource() const {
    return d->link.dataSource();
}

void TRecordGrid::setDataSource(data::TDataSource* source) {
    if (source == d->link.dataSource())
        return;
    d->link.setDataSource(source);
    if (d->link.active() != d->lastActive) {
        d->syncActive();
    } else {
        d->layout();
        d->updateVertScrollBar();
    }
}

TGridOptions TRecordGrid::options() const {
    return d->options;
}
void TRecordGrid::setOptions(TGridOptions options) {
    if (options == d->options)
        return;
    d->options = options;
    d->layout();
    d->updateVertScrollBar();
}

const QStringList& TRecordGrid::selected() const {
    return d->selected;
}
void TRecordGrid::setSelected(const QStringList& entries) {
    d->selected = entries;
}
void TRecordGrid::setColumns(const std::vector<TGridColumn>& columns) {
    QStringList entries;
    for (const TGridColumn& c : columns)
        entries << c.entry();
    setSelected(entries);
}

TColor TRecordGrid::color() const {
    return d->color;
}
void TRecordGrid::setColor(TColor color) {
    d->color = color;
    d->invalidateAll();
}

TColor TRecordGrid::fontColor() const {
    return d->fontColor;
}
void TRecordGrid::setFontColor(TColor color) {
    d->fontColor = color;
    d->invalidateAll();
}

TColor TRecordGrid::titleColor() const {
    return d->titleColor;
}
void TRecordGrid::setTitleColor(TColor color) {
    d->titleColor = color;
    d->layout();
}

QFont TRecordGrid::titleFont() const {
    return d->titleFont;
}
void TRecordGrid::setTitleFont(const QFont& font) {
    d->titleFont = font;
    d->titleFontSet = true;
    d->layout();
}

TColor TRecordGrid::titleFontColor() const {
    return d->titleFontColor;
}
void TRecordGrid::setTitleFontColor(TColor color) {
    d->titleFontColor = color;
    d->invalidateAll();
}

data::TAlignment TRecordGrid::titleAlignment() const {
    return d->titleAlignment;
}
void TRecordGrid::setTitleAlignment(data::TAlignment alignment) {
    d->titleAlignment = alignment;
    d->layout();
}

int TRecordGrid::titleLines() const {
    return d->titleLines;
}
void TRecordGrid::setTitleLines(int lines) {
    if (lines < 1)
        return;
    d->titleLines = lines;
    d->layout();
}

const TGridPaintOptions& TRecordGrid::paintOptions() const {
    return d->paintOptions;
}
void TRecordGrid::setPaintOptions(const TGridPaintOptions& options) {
    d->paintOptions = options;
    d->invalidateAll();
}

void TRecordGrid::useMainWindowConfiguration() {
    setFont(platform::tahoma(11));
    setFontColor(platform::clWindowText);
    setTitleFont(platform::tahoma(11, true));
    setTitleFontColor(platform::clWindowText);
    setTitleColor(platform::clBtnFace);
    setTitleAlignment(data::TAlignment::taLeftJustify);
    setTitleLines(1);
    TGridPaintOptions paint;
    paint.AlternatingRowRegions = arrDataColumns | arrActiveDataColumn;
    paint.AlternatingRowColor = TColor::fromNumber(14408667); // #DBDBDB
    paint.ActiveRecordColor = platform::clBlack;
    paint.FastRecordScrolling = true;
    setPaintOptions(paint);
    setOptions(kDefaultGridOptions | dgRowSelect);
}

int TRecordGrid::dataColumnCount() const {
    return d->dataColumns();
}

int TRecordGrid::columnWidth(int dataColumn) const {
    if (dataColumn < 0 || dataColumn >= d->dataColumns())
        return 0;
    return d->widths[size_t(dataColumn)];
}

data::TField* TRecordGrid::columnField(int dataColumn) const {
    return d->field(dataColumn);
}

QString TRecordGrid::columnTitle(int dataColumn) const {
    const data::TField* f = d->field(dataColumn);
    return f ? f->displayName() : QString();
}

QRect TRecordGrid::columnTitleRect(int dataColumn) const {
    const std::vector<int> lefts = d->columnLefts();
    if (!d->titleRows || dataColumn < 0 || dataColumn >= d->dataColumns() ||
        lefts[size_t(dataColumn)] < 0)
        return {};
    return QRect(lefts[size_t(dataColumn)], 0, d->widths[size_t(dataColumn)], d->titleHeight);
}

int TRecordGrid::dataRowHeight() const {
    return d->dataHeight;
}
int TRecordGrid::titleRowHeight() const {
    return d->titleHeight;
}
int TRecordGrid::visibleDataRows() const {
    return d->dataRows();
}
int TRecordGrid::rowCount() const {
    return d->rows;
}
int TRecordGrid::currentRow() const {
    return d->currentRow;
}
int TRecordGrid::currentColumn() const {
    return d->currentCol;
}
int TRecordGrid::leftColumn() const {
    return d->leftCol;
}

void TRecordGrid::setLeftColumn(int column) {
    d->setLeftCol(column);
}
bool TRecordGrid::rowParity() const {
    return d->parity;
}
bool TRecordGrid::focusFlag() const {
    return d->focusFlag;
}
QRect TRecordGrid::clientArea() const {
    return QRect(0, 0, d->clientW, d->clientH);
}

QScrollBar* TRecordGrid::verticalScrollBar() const {
    return d->vbar;
}
QScrollBar* TRecordGrid::horizontalScrollBar() const {
    return d->hbar;
}
TScrollBarValues TRecordGrid::vertScrollValues() const {
    return d->wantVert;
}
int TRecordGrid::vertScrollWrites() const {
    return d->vertWrites;
}

void TRecordGrid::repaintPending() {
    d->flush();
}

void TRecordGrid::resizeEvent(QResizeEvent* event) {
    TOwnerDrawnControl::resizeEvent(event);
    d->clientResized();
}

void TRecordGrid::changeEvent(QEvent* event) {
    TOwnerDrawnControl::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        if (!d->titleFontSet)
            d->titleFont = font();
        d->layout();
        d->updateVertScrollBar();
    }
}

} // namespace controls
