// TInspectorItem: row definition, field binding and the texts its row shows.
#include "controls/InspectorItem.h"
#include "controls/RecordInspector.h"
#include "data/DataSet.h"
#include "data/Field.h"

namespace controls {

TInspectorItem::TInspectorItem(TRecordInspector* inspector) : inspector_(inspector) {
    // A change of the item's own field (or of the whole record) repaints the whole inspector,
    // so rows computed from this field follow a written value at once.
    link_.onDataChange = [this] {
        if (inspector_)
            inspector_->itemChanged(false);
    };
    link_.onActiveChange = [this] {
        if (inspector_)
            inspector_->itemChanged(false);
    };
}

TInspectorItem::~TInspectorItem() = default;

void TInspectorItem::setDataSource(data::TDataSource* source) {
    if (link_.dataSource() == source)
        return;
    link_.setDataSource(source);
    changed(false);
}

void TInspectorItem::setDataField(const QString& fieldName) {
    if (link_.fieldName() == fieldName)
        return;
    link_.setFieldName(fieldName);
    changed(false);
}

data::TField* TInspectorItem::field() const {
    if (link_.fieldName().isEmpty() || !link_.dataSource() || !link_.dataSource()->dataSet())
        return nullptr;
    return link_.dataSource()->dataSet()->findField(link_.fieldName());
}

void TInspectorItem::setCaption(const QString& caption) {
    if (caption_ == caption)
        return;
    caption_ = caption;
    changed(false);
}

void TInspectorItem::setWordWrap(bool on) {
    if (wordWrap_ == on)
        return;
    wordWrap_ = on;
    changed(false);
}

void TInspectorItem::setVisible(bool on) {
    if (visible_ == on)
        return;
    visible_ = on;
    changed(true);
}

void TInspectorItem::setEnabled(bool on) {
    if (enabled_ == on)
        return;
    enabled_ = on;
    changed(false);
}

void TInspectorItem::setCellHeight(int height) {
    if (cellHeight_ == height)
        return;
    cellHeight_ = qMax(0, height);
    changed(true);
}

void TInspectorItem::setAlignment(TInspectorAlignment alignment) {
    if (alignment_ == alignment)
        return;
    alignment_ = alignment;
    changed(false);
}

void TInspectorItem::setEditText(const QString& text) {
    if (editText_ == text)
        return;
    editText_ = text;
    changed(false);
}

bool TInspectorItem::isMemo() const {
    data::TField* f = field();
    return f && f->dataType() == data::TFieldType::ftMemo;
}

bool TInspectorItem::isDateTime() const {
    data::TField* f = field();
    return f && f->dataType() == data::TFieldType::ftDateTime;
}

bool TInspectorItem::usesDateEditor() const {
    return (options_ & iioAutoDateTimePicker) && isDateTime();
}

QString TInspectorItem::displayText() const {
    data::TField* f = field();
    if (!f)
        return link_.fieldName().isEmpty() ? editText_ : QString();
    if (f->dataType() == data::TFieldType::ftMemo)
        return f->asString();
    return f->displayText();
}

QString TInspectorItem::editorText() const {
    data::TField* f = field();
    if (!f)
        return link_.fieldName().isEmpty() ? editText_ : QString();
    if (f->dataType() == data::TFieldType::ftMemo)
        return f->asString();
    return f->editText();
}

void TInspectorItem::changed(bool rowsChanged) {
    if (inspector_)
        inspector_->itemChanged(rowsChanged);
}

} // namespace controls
