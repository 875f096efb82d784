// TRecordGrid: the read-only, data-bound grid that shows a record set and moves through it.
#pragma once

#include "controls/AlternatingRowRegion.h"
#include "controls/OwnerDrawnControl.h"
#include "data/Field.h"

#include <QFlags>
#include <QFont>
#include <QRect>
#include <QStringList>
#include <memory>
#include <vector>

class QScrollBar;

namespace data {
class TDataSource;
class TField;
} // namespace data

namespace controls {

// Grid options.
enum TGridOption : quint32 {
    dgTitles = 1u << 0,
    dgIndicator = 1u << 1,
    dgColumnResize = 1u << 2,
    dgColLines = 1u << 3,
    dgRowLines = 1u << 4,
    dgRowSelect = 1u << 5,
    dgAlwaysShowSelection = 1u << 6,
    dgCancelOnExit = 1u << 7,
    dgWordWrap = 1u << 8,
    dgNoLimitColSize = 1u << 9,
    dgTrailingEllipsis = 1u << 10,
    dgRowLinesDisableFixed = 1u << 11,
};
Q_DECLARE_FLAGS(TGridOptions, TGridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridOptions)

inline constexpr TGridOptions kDefaultGridOptions =
    TGridOptions(dgTitles | dgIndicator | dgColumnResize | dgColLines | dgRowLines |
                 dgCancelOnExit | dgWordWrap);

struct TGridPaintOptions {
    TAlternatingRowRegions AlternatingRowRegions =
        arrFixedColumns | arrDataColumns | arrActiveDataColumn;
    TColor AlternatingRowColor = platform::clNone;
    TColor ActiveRecordColor = platform::clNone;
    bool FastRecordScrolling = true;
};

// One entry of a grid's column list: the field it shows, its width in characters and its title.
// The list keeps each entry as text, its parts separated by tabs: "f_adi\t20\tMüşteri Adı".
struct TGridColumn {
    QString fieldName;
    int width = 0;
    QString title;

    QString entry() const;
    // An entry's first three parts (any further parts are not used); fails with "List index out
    // of bounds (%d)" for fewer than three parts and "'%s' is not a valid integer value" for a
    // width that is no integer.
    static TGridColumn fromEntry(const QString& entry);
};

// The four values last written to the vertical scroll bar, in the system's terms: a thumb of
// `page` positions moves between `min` and `max` (so it stands at min..max-page+1).
struct TScrollBarValues {
    int min = 0;
    int max = 0;
    int page = 0;
    int pos = 0;
    friend bool operator==(const TScrollBarValues&, const TScrollBarValues&) = default;
};

// Shows the record set of its data source: a title row, an indicator column and one row per
// record of the set's window, reading each cell from the field objects while painting. The user
// moves the current record with keys, mouse, wheel and scroll bars, and resizes and moves columns
// (which changes the field objects). It never edits, inserts or deletes. Owned by its parent
// widget; owns its link and scroll bars; does not own the data source.
class TRecordGrid : public TOwnerDrawnControl {
    Q_OBJECT
public:
    explicit TRecordGrid(QWidget* parent = nullptr);
    ~TRecordGrid() override;

    // Binding.
    data::TDataSource* dataSource() const;
    void setDataSource(data::TDataSource* source);

    // Properties (setters ask for a repaint later; layout properties lay the columns out again).
    TGridOptions options() const;
    void setOptions(TGridOptions options);
    const QStringList& selected() const;
    void setSelected(const QStringList& entries); // applied when the link next becomes active
    void setColumns(const std::vector<TGridColumn>& columns); // the list made of these entries
    TColor color() const;
    void setColor(TColor color);
    TColor fontColor() const; // colour of the data font (QWidget::font() is the Font)
    void setFontColor(TColor color);
    TColor titleColor() const;
    void setTitleColor(TColor color);
    QFont titleFont() const; // follows the Font until set
    void setTitleFont(const QFont& font);
    TColor titleFontColor() const;
    void setTitleFontColor(TColor color);
    data::TAlignment titleAlignment() const;
    void setTitleAlignment(data::TAlignment alignment);
    int titleLines() const;
    void setTitleLines(int lines); // below 1 is ignored
    const TGridPaintOptions& paintOptions() const;
    void setPaintOptions(const TGridPaintOptions& options);

    // The configuration both main-window grids share: whole-row selection added to
    // the default options, Tahoma 8 pt data font, bold title font, #DBDBDB alternating rows in
    // the data columns, a black current row while focused.
    void useMainWindowConfiguration();

    // Layout as it stands (for the window and for tests).
    int dataColumnCount() const; // mapped columns (1 with no mapped field)
    int columnWidth(int dataColumn) const;
    data::TField* columnField(int dataColumn) const; // nullptr for the empty column
    QString columnTitle(int dataColumn) const;
    QRect columnTitleRect(int dataColumn) const; // empty when scrolled out of view
    int dataRowHeight() const;
    int titleRowHeight() const;
    int visibleDataRows() const; // data rows shown
    int rowCount() const;        // title rows + data rows
    int currentRow() const;      // grid row of the current record
    int currentColumn() const;   // data column
    int leftColumn() const;      // first scrolling data column in view
    // Scrolls sideways so that column (clamped to the columns there are) is the first in view.
    void setLeftColumn(int column);
    bool rowParity() const;
    bool focusFlag() const;
    QRect clientArea() const; // the painted area, without the scroll bars
    QScrollBar* verticalScrollBar() const;
    QScrollBar* horizontalScrollBar() const;
    TScrollBarValues vertScrollValues() const;
    int vertScrollWrites() const; // how often the four values were written

    // Repaints what was invalidated, now.
    void repaintPending();

signals:
    void doubleClicked(); // OnDblClick

protected:
    void paint(TCanvas& canvas) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace controls
