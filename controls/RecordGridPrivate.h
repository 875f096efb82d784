// The record grid's private state and the functions its source files share.
#pragma once

#include "controls/RecordGrid.h"
#include "data/DataSet.h"
#include "data/DataSource.h"

#include <QImage>
#include <QRegion>
#include <QTimer>
#include <functional>
#include <vector>

namespace controls {

struct TRecordGrid::Private {
    // The grid's link to its data source: passes each notification to the grid's reaction.
    class Link : public data::TDataLink {
    public:
        explicit Link(Private& grid) : grid_(grid) {}

    protected:
        void activeChanged() override { grid_.syncActive(); }
        void editingChanged() override { grid_.linkEditingChanged(); }
        void recordChanged(data::TField* field) override { grid_.linkRecordChanged(field); }
        void dataSetChanged() override { grid_.linkDataSetChanged(); }
        void recordsReread(const std::vector<int>& rows) override { grid_.linkRecordsReread(rows); }
        void dataSetScrolled(int distance) override { grid_.linkDataSetScrolled(distance); }
        void layoutChanged() override { grid_.layout(); }
        void focusControl(data::TField* field) override { grid_.linkFocusControl(field); }

    private:
        Private& grid_;
    };

    enum class MouseMode { None, Resizing, MovePending, Moving };

    explicit Private(TRecordGrid& grid);

    TRecordGrid& q;
    Link link;
    bool destroying = false;

    // Properties.
    TGridOptions options = kDefaultGridOptions;
    QStringList selected;
    TColor color = platform::clWindow;
    TColor fontColor = platform::clWindowText;
    TColor titleColor = platform::clBtnFace;
    QFont titleFont;
    bool titleFontSet = false;
    TColor titleFontColor = platform::clWindowText;
    data::TAlignment titleAlignment = data::TAlignment::taLeftJustify;
    int titleLines = 1;
    TGridPaintOptions paintOptions;

    // Layout, rebuilt by layout().
    int titleRows = 1;
    int indicatorCols = 1;
    int dataHeight = 16;       // data row height without its line
    int titleHeight = 17;      // title row height without its line
    std::vector<int> fieldMap; // field-list positions of the shown fields
    std::vector<int> widths;   // pixel width per data column
    int leftCol = 0;           // first scrolling data column in view
    int rows = 2;              // title rows + data rows
    int currentRow = 1;
    int currentCol = 0; // data column
    int clientW = 0;
    int clientH = 0;
    bool inLayout = false;
    bool inRowCount = false;
    bool lastActive = false;

    // Painting and focus.
    bool focusFlag = false;
    bool parity = false;
    QImage image;
    QRegion pending;

    // Scroll bars. `wantVert` and `wantVertEnabled` are what the vertical bar should show, `vert`
    // what was last written to it. While `barsHeld`, nothing is written to either bar: a set
    // closed and opened again within one event (a customer's visits) leaves bars that show the
    // same as before unpainted, as they would be had it not closed.
    QScrollBar* vbar = nullptr;
    QScrollBar* hbar = nullptr;
    TScrollBarValues wantVert;
    bool wantVertEnabled = false;
    TScrollBarValues vert;
    bool vertWritten = false;
    int vertWrites = 0;
    bool barsHeld = false;

    // Mouse.
    MouseMode mouse = MouseMode::None;
    int mouseCol = -1; // column being resized or moved
    int pressX = 0;
    int pressY = 0;
    int originalWidth = 0;
    int pointerX = 0;
    int lastDirection = 0;
    int grabOffset = 0;
    QImage dragPicture;
    QTimer dragTimer;
    int wheelAccumulator = 0;

    // Data access.
    data::TDataSet* dataSet() const; // the bound set, or nullptr
    bool linkActive() const;
    bool onScrollBar(const QPoint& pos) const;
    data::TField* field(int dataColumn) const;
    int columnOfField(const data::TField* field) const;
    bool run(const std::function<void()>& operation); // a set operation through the error path

    // Layout (RecordGrid.cpp).
    void layout();
    void computeRowHeights();
    void computeColumnWidths();
    void applyColumnList();
    void arrangeScrollBars();
    void updateRowCount();
    void updateVertScrollBar();
    void updateHorzScrollBar();
    // Holds the bars as they are until the event loop turns or the grid repaints itself.
    void holdBars();
    void releaseBars();
    void setLeftCol(int col);
    void makeColumnVisible(int col);
    int maxLeftCol() const;
    void clientResized();

    // Geometry.
    int colLine() const { return options.testFlag(dgColLines) ? 1 : 0; }
    int rowLine() const {
        return options.testFlag(dgRowLines) || !options.testFlag(dgRowLinesDisableFixed) ? 1 : 0;
    }
    int pitch() const { return dataHeight + rowLine(); }
    int dataTop() const { return titleRows ? titleHeight + rowLine() : 0; }
    int rowTop(int dataRow) const { return dataTop() + dataRow * pitch(); }
    int indicatorWidth() const { return indicatorCols ? 11 : 0; }
    int fixedLeft() const { return indicatorCols ? indicatorWidth() + colLine() : 0; }
    int dataColumns() const { return int(widths.size()); }
    int dataRows() const { return rows - titleRows; }
    int currentDataRow() const { return currentRow - titleRows; }
    std::vector<int> columnLefts() const; // -1 for columns out of view
    QRect rowRect(int dataRow) const;     // the full row with its line
    QRect indicatorRect(int dataRow) const;
    QRect cellRect(int dataColumn, int dataRow) const; // with its lines; empty when hidden
    int dataRowAt(int y) const;                        // -1 in the title row
    int dataColumnAt(int x) const;                     // -1 indicator, -2 right of the columns
    int edgeAt(int x) const; // data column whose right edge is under x, or -1
    bool highlightShown() const;

    // Invalidation.
    void invalidate(const QRect& rect);
    void invalidateAll();
    // Whether every pixel of the area is already due to be painted again.
    bool wholeAreaPending(const QRect& area) const;
    void invalidateRow(int gridRow, bool wholeRow);
    void flush();

    // Link reactions.
    void syncActive();
    void linkEditingChanged();
    void linkRecordChanged(data::TField* field);
    void linkDataSetChanged();
    void linkRecordsReread(const std::vector<int>& reread);
    void linkDataSetScrolled(int distance);
    void linkFocusControl(data::TField* field);

    // Painting (RecordGridPaint.cpp).
    void paintArea(TCanvas& canvas, const QRect& area);
    // The ground of an active grid: the grid's colour, less the data cells paintArea fills again.
    void fillGround(TCanvas& canvas, const QRect& reach, const std::vector<int>& lefts);
    void paintTitleCell(TCanvas& canvas, int dataColumn, int left);
    void paintIndicatorCell(TCanvas& canvas, int dataRow);
    void paintDataCell(TCanvas& canvas, int dataColumn, int left, int dataRow, bool hasRecord);
    void drawColumnLines(TCanvas& canvas, const std::vector<int>& lefts);
    void drawFixedLines(TCanvas& canvas, const std::vector<int>& lefts);
    void paintPad(TCanvas& canvas, const std::vector<int>& lefts);
    QString cellText(const data::TField& field) const;
    QImage makeDragPicture(int dataColumn) const;

    // Navigation (RecordGridInput.cpp).
    bool insertUntouched() const;
    void priorKey();
    void nextKey();
    void moveBy(int distance);
    void escapeKey();
    void vertScrollAction(int action);
    void thumbDropped(int position);
    void dragTick();
    void cancelMouseMode();
    void finishResize();
    void finishMove(int x);
};

} // namespace controls
