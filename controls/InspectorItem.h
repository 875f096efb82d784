// TInspectorItem: one row definition of the record inspector, bound to a field by name.
#pragma once

#include "data/DataSource.h"

#include <QFlags>
#include <QString>
#include <memory>
#include <vector>

namespace controls {

class TRecordInspector;

enum TInspectorItemOption : unsigned {
    iioAutoDateTimePicker = 0x1, // date-time fields get the date editor
    iioAutoLookupCombo = 0x2,    // lookup fields would get a lookup list (no lookup fields exist)
};
Q_DECLARE_FLAGS(TInspectorItemOptions, TInspectorItemOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TInspectorItemOptions)

enum class TInspectorAlignment { taLeftJustify, taRightJustify };

// A row of the inspector: caption, field binding and row flags. Owned by the inspector; owns the
// field link through which a change of its field repaints the inspector.
class TInspectorItem {
public:
    explicit TInspectorItem(TRecordInspector* inspector);
    ~TInspectorItem();
    TInspectorItem(const TInspectorItem&) = delete;
    TInspectorItem& operator=(const TInspectorItem&) = delete;

    TRecordInspector* inspector() const { return inspector_; }

    // Binding: the field is looked up by name in the data source's set each time it is needed.
    data::TDataSource* dataSource() const { return link_.dataSource(); }
    void setDataSource(data::TDataSource* source);
    const QString& dataField() const { return link_.fieldName(); }
    void setDataField(const QString& fieldName);
    data::TField* field() const; // nullptr when unbound or the set lacks the field

    const QString& caption() const { return caption_; }
    void setCaption(const QString& caption);
    bool wordWrap() const { return wordWrap_; }
    void setWordWrap(bool on);
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool on) { readOnly_ = on; }
    bool visible() const { return visible_; }
    void setVisible(bool on);
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    bool tabStop() const { return tabStop_; }
    void setTabStop(bool on) { tabStop_ = on; }
    bool resizeable() const { return resizeable_; }
    void setResizeable(bool on) { resizeable_ = on; }
    int cellHeight() const { return cellHeight_; } // 0: the inspector's row height
    void setCellHeight(int height);
    TInspectorAlignment alignment() const { return alignment_; }
    void setAlignment(TInspectorAlignment alignment);
    TInspectorItemOptions options() const { return options_; }
    void setOptions(TInspectorItemOptions options) { options_ = options; }
    // The row's text when it has no field.
    const QString& editText() const { return editText_; }
    void setEditText(const QString& text);

    // What the data cell shows: the field's display text, a memo's full text, or EditText.
    QString displayText() const;
    // What the text editor starts from: the field's edit text, a memo's full text, or EditText.
    QString editorText() const;
    bool isMemo() const;
    bool isDateTime() const;
    // Whether the row gets the date editor (a date-time field with iioAutoDateTimePicker).
    bool usesDateEditor() const;

private:
    void changed(bool rowsChanged); // tells the inspector

    TRecordInspector* inspector_;
    data::TFieldDataLink link_;
    QString caption_;
    QString editText_;
    bool wordWrap_ = false;
    bool readOnly_ = false;
    bool visible_ = true;
    bool enabled_ = true;
    bool tabStop_ = true;
    bool resizeable_ = false;
    int cellHeight_ = 0;
    TInspectorAlignment alignment_ = TInspectorAlignment::taLeftJustify;
    TInspectorItemOptions options_ = iioAutoDateTimePicker;
};

} // namespace controls
