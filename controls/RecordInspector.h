// TRecordInspector: the data-bound caption/value list that fills the two editing dialogs.
#pragma once

#include "controls/AlternatingRowRegion.h"
#include "controls/InspectorItem.h"
#include "platform/Colors.h"

#include <QAbstractScrollArea>
#include <QFlags>
#include <QFont>
#include <memory>

namespace data {
class TDataSource;
class TField;
} // namespace data

namespace controls {

class TCanvas;
class TInspectorEdit;
class TInspectorDateEdit;
class TInspectorHintWindow;

using platform::TColor;

enum TInspectorOption : unsigned {
    ovColumnResize = 1u << 0,
    ovRowResize = 1u << 1,
    ovEnterToTab = 1u << 2,
    ovCenterCaptionVert = 1u << 3,
    ovShowCaptionHints = 1u << 4,
    ovShowCellHints = 1u << 5,
    ovActiveRecord3DLines = 1u << 6,
    ovAllowInsert = 1u << 7,
};
Q_DECLARE_FLAGS(TInspectorOptions, TInspectorOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TInspectorOptions)

struct TInspectorPaintOptions {
    TAlternatingRowRegions alternatingRowRegions =
        arrFixedColumns | arrDataColumns | arrActiveDataColumn;
    TColor alternatingRowColor = platform::clNone;
};

// Shows one record of a record set as rows of caption and value, one row per visible item, and
// writes what the user types into the pending record's fields. Holds no data of its own.
// Owned by its dialog; owns its items, its text editor, its date editor (created on first use),
// its hint window and its data link. The data source and the record set are not owned.
class TRecordInspector : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TRecordInspector(QWidget* parent = nullptr);
    ~TRecordInspector() override;

    // Gives the inspector every property value of the two editing dialogs and binds it to source:
    // cream data area, bold Tahoma captions 145 px wide with a 20-px indent, 20-px rows, dotted
    // lines, the dialogs' options, vertical scrolling only.
    void applyDialogSettings(data::TDataSource* source);
    // Appends a row bound to fieldName of the inspector's data source.
    TInspectorItem& addItem(const QString& fieldName, const QString& caption);
    // Appends an unbound row.
    TInspectorItem& addItem();
    int itemCount() const;
    TInspectorItem& item(int index) const;
    void clearItems();
    // Called by an item whose look changed; rowsChanged: also its visibility, expansion or
    // height, so that the rows are laid out again.
    void itemChanged(bool rowsChanged);

    // Properties.
    data::TDataSource* dataSource() const;
    void setDataSource(data::TDataSource* source);
    int captionWidth() const; // as laid out: clamped to 10 ... client width - 20
    void setCaptionWidth(int width);
    int captionIndent() const;
    void setCaptionIndent(int indent);
    int defaultRowHeight() const; // 0: the text height of "0" plus 3
    void setDefaultRowHeight(int height);
    TInspectorOptions options() const;
    void setOptions(TInspectorOptions options);
    TColor dottedLineColor() const;
    void setDottedLineColor(TColor color);
    TColor color() const;
    void setColor(TColor color);
    TColor captionColor() const;
    void setCaptionColor(TColor color);
    QFont captionFont() const;
    void setCaptionFont(const QFont& font);
    TInspectorPaintOptions paintOptions() const;
    void setPaintOptions(const TInspectorPaintOptions& options);
    bool readOnly() const;
    void setReadOnly(bool on);

    // Rows: the visible items in order.
    int rowCount() const;
    TInspectorItem* rowItem(int row) const;
    int currentRow() const;
    // Makes row current the way a key does: writes the current row first (throws when that
    // fails, and the row stays), scrolls it into view and shows its editor when focused.
    void setCurrentRow(int row);
    int topRow() const;
    int rowHeight(int row) const;
    int fullyVisibleRowCount() const; // at least 1
    // The cell of a row in viewport coordinates (column 0 caption, 1 data); null when the row
    // does not exist.
    QRect cellRect(int row, int column) const;

    // Editing.
    // The may-edit check of a key that would change the current row; marks the link modified.
    bool canEditCurrentRow();
    // Writes the current row's typed value into its field when the link is marked modified and
    // the set is in edit or insert; throws the field's conversion error and stays modified.
    void writeCurrentRow();
    // Esc: discards typed text that was not written yet.
    void revertCurrentRow();
    bool isModified() const;
    bool editorKeysMode() const;
    bool hasFocusInside() const;
    TInspectorEdit* textEditor() const;
    TInspectorDateEdit* dateEditor() const;   // nullptr until a date row was first entered
    QWidget* activeEditor() const;            // the editor shown for the current row, if any
    TInspectorHintWindow* hintWindow() const; // the hint window while a hint shows, else nullptr
    // One tick of the hint timer (250 ms); public so that its counting can be checked.
    void hintTimerTick();

protected:
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace controls
