// TField: one column or calculated value of a record set, with its display and entry texts.
#pragma once

#include "core/Money.h"
#include "data/DataEvents.h"
#include "engine/CursorValue.h"

#include <QDateTime>
#include <QString>
#include <functional>
#include <optional>
#include <variant>

namespace data {

class TDataSet;

enum class TFieldKind { fkData, fkCalculated };
// ftWideString text (size 255), ftMemo, ftDateTime, ftBCD decimal money (precision 19, four
// decimals), ftFloat calculated money kept as a double, ftAutoInc key, ftInteger.
enum class TFieldType { ftWideString, ftMemo, ftDateTime, ftBCD, ftFloat, ftAutoInc, ftInteger };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

// Owned by its record set (created by TDataSet::addField). Reads and writes go to the record
// buffer the set names: the active record, or the buffer being calculated. A value is the
// engine's (cursor::Value): null, or one of the field type's form.
class TField {
public:
    TField(TDataSet& dataSet, const QString& fieldName, TFieldType type, TFieldKind kind);
    virtual ~TField();
    TField(const TField&) = delete;
    TField& operator=(const TField&) = delete;

    TDataSet& dataSet() const { return dataSet_; }
    const QString& fieldName() const { return fieldName_; }
    TFieldType dataType() const { return type_; }
    TFieldKind fieldKind() const { return kind_; }
    bool isCalculated() const { return kind_ == TFieldKind::fkCalculated; }
    bool isCurrency() const { return currency_; }
    void setCurrency(bool on) { currency_ = on; }
    int size() const { return size_; } // characters, for text fields
    void setSize(int size) { size_ = size; }
    TAlignment alignment() const; // numbers right, others left

    // Display properties; changes send layout-changed while the set is active.
    QString displayLabel() const { return displayLabel_; }
    void setDisplayLabel(const QString& label); // a label equal to the field name is stored empty
    QString displayName() const; // the label, or the field name when the label is empty
    int displayWidth() const { return displayWidth_; }
    void setDisplayWidth(int width);
    bool visible() const { return visible_; }
    void setVisible(bool visible);
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly) { readOnly_ = readOnly; }
    bool required() const { return required_; }
    void setRequired(bool required) { required_ = required; }
    // Position in the set's field list; a change sends field-list-changed and layout-changed.
    int index() const;
    void setIndex(int position);
    QString displayFormat() const { return {}; } // none of the program's fields has one
    QString editMask() const { return {}; }

    // Reading (of an inactive or empty set: null).
    bool isNull() const;
    QString asString() const;
    qint64 asInteger() const;
    Money asMoney() const;
    // The same without raising: nullopt where asMoney fails (a stored decimal the money range
    // cannot hold, a text or blob that is no amount, a double out of range).
    std::optional<Money> tryAsMoney() const;
    double asFloat() const;
    QDateTime asDateTime() const; // invalid when null
    cursor::Value value() const;

    // Writing: only in edit, insert or (calculated fields) calculating state.
    void setAsInteger(qint64 value);
    void setAsMoney(Money value);
    void setAsFloat(double value);
    // Text and memo fields refuse a text holding the NUL character (a database server cannot
    // store it), and a text field one longer than its size; nothing is cut.
    void setAsString(const QString& value);
    void setAsDateTime(const QDateTime& value);
    void clear();
    // The text-entry conversion of typed text (empty text clears, except for text fields). An
    // amount may group its whole part by thousands with the regional thousands separator
    // ("1.250,75"); that separator anywhere else is refused, never dropped.
    void setText(const QString& text);

    // Runs before a new value is stored into a data field in edit or insert state, with that
    // value (null as std::monostate); raising refuses it and leaves the record as it was.
    std::function<void(TField& field, const cursor::Value& newValue)> OnValidate;

    // Texts under the regional settings at the moment of the call.
    QString displayText() const;
    QString editText() const;
    // Whether an editor may accept the typed character at all (amounts: also the thousands
    // separator, which setText accepts only where it groups).
    bool isValidChar(QChar c) const;
    // False for calculated fields, read-only fields, and when the set cannot be modified.
    bool canModify() const;

    // The name of a field type as error messages give it ("WideString", "BCD", "AutoInc"...).
    static QString typeName(TFieldType type);

private:
    friend class TDataSet;
    void writeValue(const cursor::Value& value);
    // Raises EDatabaseError naming the field for a text it cannot hold (see setAsString).
    void checkText(const QString& value) const;
    // The value held in the buffer the set points reads at (null while inactive or empty).
    cursor::Value stored() const;

    TDataSet& dataSet_;
    QString fieldName_;
    TFieldType type_;
    TFieldKind kind_;
    QString displayLabel_;
    int displayWidth_ = 10;
    int size_ = 0;
    bool visible_ = true;
    bool readOnly_ = false;
    bool required_ = false;
    bool currency_ = false;
    int slot_ = -1; // the field's place in every record buffer (fixed when the field is added)
};

} // namespace data
