// TField: reading and writing a record buffer's value, text entry and display texts.
#include "data/Field.h"
#include "data/DatePicture.h"

#include "core/Errors.h"
#include "data/DataSet.h"
#include "data/FieldText.h"

#include <cmath>

namespace data {

namespace {

bool isTextType(TFieldType t) {
    return t == TFieldType::ftWideString || t == TFieldType::ftMemo;
}

bool isIntegerType(TFieldType t) {
    return t == TFieldType::ftInteger || t == TFieldType::ftAutoInc;
}

const core::FormatSettings& settings() {
    return core::formatSettings();
}

// A decimal integer of the 32-bit range, leading blanks allowed.
std::optional<qint64> parseInteger(const QString& text) {
    int i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i == text.size())
        return std::nullopt;
    qint64 v = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
        if (v > qint64(2147483648))
            return std::nullopt;
    }
    v = negative ? -v : v;
    if (v > 2147483647 || v < -2147483648LL)
        return std::nullopt;
    return v;
}

// A floating-point number typed with the given decimal separator (sign, digits, exponent).
std::optional<double> parseFloat(const QString& input, QChar decimalSeparator) {
    const QString text = input.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    QString plain;
    for (QChar c : text) {
        if (c == decimalSeparator)
            plain += '.';
        else if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == 'e' || c == 'E')
            plain += c;
        else
            return std::nullopt;
    }
    bool ok = false;
    const double v = plain.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// Characters as the databases count them: one outside the basic plane is one, though it takes
// two UTF-16 units.
qsizetype characterCount(const QString& text) {
    qsizetype n = text.size();
    for (QChar c : text)
        if (c.isLowSurrogate())
            --n;
    return n;
}

// An amount's text without the thousands separators that group its whole part ("1.250,75" to
// "1250,75": a first group of one to three digits, then groups of three). Text without the
// separator is returned as it is; nullopt when the separator stands anywhere else ("1250.75",
// "1.25", "1.250.7", "0,1.000").
std::optional<QString> withoutGrouping(const QString& input, const core::FormatSettings& fs) {
    const QChar separator = fs.thousandSeparator;
    if (separator == fs.decimalSeparator || !input.contains(separator))
        return input;
    const QString text = input.trimmed();
    const qsizetype start = text.startsWith('+') || text.startsWith('-') ? 1 : 0;
    qsizetype end = start;
    while (end < text.size() && (text[end].isDigit() || text[end] == separator))
        ++end;
    if (text.indexOf(separator, end) >= 0)
        return std::nullopt; // in the decimals or the exponent
    const QStringList groups = text.mid(start, end - start).split(separator);
    for (qsizetype g = 0; g < groups.size(); ++g) {
        const qsizetype digits = groups[g].size();
        if (g == 0 ? digits < 1 || digits > 3 : digits != 3)
            return std::nullopt;
    }
    return text.left(start) + groups.join(QString()) + text.mid(end);
}

[[noreturn]] void cannotAccess(const TField& f, const char* as) {
    throw EDatabaseError(QStringLiteral("Cannot access field '%1' as type %2")
                             .arg(f.displayName(), QString::fromLatin1(as)));
}

[[noreturn]] void bcdOverflow() {
    throw EDatabaseError(QStringLiteral("BCD overflow"));
}

Money moneyOfUnits(qint64 units) {
    if (auto m = Money::checkedFromUnits(units))
        return *m;
    bcdOverflow();
}

} // namespace

TField::TField(TDataSet& dataSet, const QString& fieldName, TFieldType type, TFieldKind kind)
    : dataSet_(dataSet), fieldName_(fieldName), type_(type), kind_(kind) {
    if (type == TFieldType::ftWideString)
        size_ = 255;
}

TField::~TField() = default;

QString TField::typeName(TFieldType type) {
    switch (type) {
    case TFieldType::ftWideString:
        return QStringLiteral("WideString");
    case TFieldType::ftMemo:
        return QStringLiteral("Memo");
    case TFieldType::ftDateTime:
        return QStringLiteral("DateTime");
    case TFieldType::ftBCD:
        return QStringLiteral("BCD");
    case TFieldType::ftFloat:
        return QStringLiteral("Float");
    case TFieldType::ftAutoInc:
        return QStringLiteral("AutoInc");
    case TFieldType::ftInteger:
        return QStringLiteral("Integer");
    }
    return QStringLiteral("Unknown");
}

TAlignment TField::alignment() const {
    switch (type_) {
    case TFieldType::ftBCD:
    case TFieldType::ftFloat:
    case TFieldType::ftAutoInc:
    case TFieldType::ftInteger:
        return TAlignment::taRightJustify;
    default:
        return TAlignment::taLeftJustify;
    }
}

void TField::setDisplayLabel(const QString& label) {
    const QString stored = label == fieldName_ ? QString() : label;
    if (stored == displayLabel_)
        return;
    displayLabel_ = stored;
    dataSet_.fieldDisplayChanged(false);
}

QString TField::displayName() const {
    return displayLabel_.isEmpty() ? fieldName_ : displayLabel_;
}

void TField::setDisplayWidth(int width) {
    if (width == displayWidth_)
        return;
    displayWidth_ = width;
    dataSet_.fieldDisplayChanged(false);
}

void TField::setVisible(bool visible) {
    if (visible == visible_)
        return;
    visible_ = visible;
    dataSet_.fieldDisplayChanged(false);
}

int TField::index() const {
    return dataSet_.fieldIndex(*this);
}

void TField::setIndex(int position) {
    dataSet_.moveField(*this, position);
}

// Reading ------------------------------------------------------------------------------------

cursor::Value TField::stored() const {
    const cursor::Value* v = dataSet_.readSlot(*this);
    if (!v)
        return std::monostate{};
    return *v;
}

cursor::Value TField::value() const {
    return stored();
}

bool TField::isNull() const {
    return cursor::isNull(stored());
}

QString TField::asString() const {
    const cursor::Value v = stored();
    if (cursor::isNull(v))
        return {};
    if (const auto* s = std::get_if<QString>(&v))
        return *s;
    if (const auto* i = std::get_if<qint64>(&v))
        return QString::number(*i);
    if (const auto* m = std::get_if<Money>(&v))
        return fieldtext::plainText(*m, settings().decimalSeparator);
    if (const auto* d = std::get_if<double>(&v))
        return fieldtext::plainText(*d, settings().decimalSeparator);
    if (const auto* t = std::get_if<QDateTime>(&v))
        return fieldtext::dateTimeText(*t, settings());
    return {};
}

qint64 TField::asInteger() const {
    const cursor::Value v = stored();
    if (cursor::isNull(v))
        return 0;
    if (const auto* i = std::get_if<qint64>(&v))
        return *i;
    if (const auto* m = std::get_if<Money>(&v))
        return std::llrint(double(m->raw) / Money::Scale);
    if (const auto* d = std::get_if<double>(&v))
        return std::llrint(*d);
    if (const auto* s = std::get_if<QString>(&v)) {
        if (auto i = parseInteger(*s))
            return *i;
        throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value").arg(*s));
    }
    cannotAccess(*this, "Integer");
}

Money TField::asMoney() const {
    const cursor::Value v = stored();
    if (cursor::isNull(v))
        return Money{};
    if (const auto* m = std::get_if<Money>(&v))
        return *m;
    if (const auto* d = std::get_if<double>(&v)) {
        if (auto m = Money::fromDouble(*d))
            return *m;
        bcdOverflow();
    }
    if (const auto* i = std::get_if<qint64>(&v))
        return moneyOfUnits(*i);
    if (const auto* s = std::get_if<QString>(&v)) {
        if (type_ == TFieldType::ftBCD)
            bcdOverflow(); // a stored decimal the money range cannot hold
        if (auto m = Money::parse(*s, settings().decimalSeparator))
            return *m;
        throw EDatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(*s));
    }
    cannotAccess(*this, "Currency");
}

std::optional<Money> TField::tryAsMoney() const {
    try {
        return asMoney();
    } catch (const EDatabaseError&) {
        return std::nullopt;
    }
}

double TField::asFloat() const {
    const cursor::Value v = stored();
    if (cursor::isNull(v))
        return 0.0;
    if (const auto* d = std::get_if<double>(&v))
        return *d;
    if (const auto* m = std::get_if<Money>(&v))
        return m->toDouble();
    if (const auto* i = std::get_if<qint64>(&v))
        return double(*i);
    if (const auto* s = std::get_if<QString>(&v)) {
        if (auto d = parseFloat(*s, settings().decimalSeparator))
            return *d;
        throw EDatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(*s));
    }
    cannotAccess(*this, "Float");
}

QDateTime TField::asDateTime() const {
    const cursor::Value v = stored();
    if (const auto* t = std::get_if<QDateTime>(&v))
        return *t;
    if (cursor::isNull(v))
        return {};
    cannotAccess(*this, "DateTime");
}

// Writing ------------------------------------------------------------------------------------

void TField::writeValue(const cursor::Value& value) {
    if (OnValidate && !isCalculated() && !readOnly_) {
        if (isEditing(dataSet_.state()))
            OnValidate(*this, value);
    }
    dataSet_.writeField(*this, value);
}

void TField::setAsInteger(qint64 value) {
    if (isIntegerType(type_))
        writeValue(value);
    else if (type_ == TFieldType::ftBCD)
        writeValue(moneyOfUnits(value));
    else if (type_ == TFieldType::ftFloat)
        writeValue(double(value));
    else if (isTextType(type_))
        setAsString(QString::number(value));
    else
        cannotAccess(*this, "Integer");
}

void TField::setAsMoney(Money value) {
    if (type_ == TFieldType::ftBCD)
        writeValue(value);
    else if (type_ == TFieldType::ftFloat)
        writeValue(value.toDouble());
    else if (isIntegerType(type_))
        writeValue(qint64(std::llrint(double(value.raw) / Money::Scale)));
    else if (isTextType(type_))
        setAsString(fieldtext::plainText(value, settings().decimalSeparator));
    else
        cannotAccess(*this, "Currency");
}

void TField::setAsFloat(double value) {
    if (type_ == TFieldType::ftFloat) {
        writeValue(value);
    } else if (type_ == TFieldType::ftBCD) {
        const auto m = Money::fromDouble(value);
        if (!m)
            bcdOverflow();
        writeValue(*m);
    } else if (isIntegerType(type_)) {
        writeValue(qint64(std::llrint(value)));
    } else if (isTextType(type_)) {
        setAsString(fieldtext::plainText(value, settings().decimalSeparator));
    } else {
        cannotAccess(*this, "Float");
    }
}

void TField::checkText(const QString& value) const {
    if (value.contains(QChar(0)))
        throw EDatabaseError(
            QStringLiteral("'%1' alanındaki metinde NUL (kodu 0) karakteri var; veritabanı bu "
                           "karakteri saklayamaz. Karakteri silip yeniden deneyin.")
                .arg(displayName()));
    if (type_ == TFieldType::ftWideString && size_ > 0 && value.size() > size_) {
        const qsizetype characters = characterCount(value);
        if (characters > size_)
            throw EDatabaseError(
                QStringLiteral("'%1' alanına en çok %2 karakter yazılabilir; yazılan metin %3 "
                               "karakter. Metni kısaltıp yeniden deneyin.")
                    .arg(displayName())
                    .arg(size_)
                    .arg(characters));
    }
}

void TField::setAsString(const QString& value) {
    if (type_ == TFieldType::ftWideString) {
        checkText(value);
        writeValue(value);
    } else if (type_ == TFieldType::ftMemo) {
        checkText(value);
        writeValue(value.isEmpty() ? cursor::Value(std::monostate{}) : cursor::Value(value));
    } else {
        setText(value);
    }
}

void TField::setAsDateTime(const QDateTime& value) {
    if (type_ == TFieldType::ftDateTime)
        writeValue(value.isValid() ? cursor::Value(value) : cursor::Value(std::monostate{}));
    else if (isTextType(type_))
        setAsString(fieldtext::dateTimeText(value, settings()));
    else
        cannotAccess(*this, "DateTime");
}

void TField::clear() {
    writeValue(std::monostate{});
}

void TField::setText(const QString& text) {
    if (type_ == TFieldType::ftWideString) {
        setAsString(text);
        return;
    }
    if (text.isEmpty()) {
        clear();
        return;
    }
    const core::FormatSettings& fs = settings();
    switch (type_) {
    case TFieldType::ftMemo:
        checkText(text);
        writeValue(text);
        return;
    case TFieldType::ftDateTime:
        if (auto dt = fieldtext::parseDateTime(text, fs)) {
            writeValue(*dt);
            return;
        }
        throw EDatabaseError(invalidDateTimeMessage(text));
    case TFieldType::ftBCD:
        if (const auto plain = withoutGrouping(text, fs))
            if (auto m = Money::parse(*plain, fs.decimalSeparator)) {
                writeValue(*m);
                return;
            }
        break;
    case TFieldType::ftFloat:
        if (const auto plain = withoutGrouping(text, fs))
            if (auto d = parseFloat(*plain, fs.decimalSeparator)) {
                writeValue(*d);
                return;
            }
        break;
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc:
        if (auto i = parseInteger(text)) {
            writeValue(*i);
            return;
        }
        throw EDatabaseError(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                                 .arg(text, displayName()));
    case TFieldType::ftWideString:
        break;
    }
    QString message = QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                          .arg(text, displayName());
    // A separator that would have changed the amount's size says which one it is.
    if (text.contains(fs.thousandSeparator) && fs.thousandSeparator != fs.decimalSeparator) {
        const QString point = fs.decimalSeparator, group = fs.thousandSeparator;
        message +=
            QStringLiteral("\n\nOndalık ayırıcı \"%1\" işaretidir (%2); \"%3\" yalnızca "
                           "binlikleri ayırır (%4).")
                .arg(point, "1250" + point + "75", group, "1" + group + "250" + point + "75");
    }
    throw EDatabaseError(message);
}

// Texts --------------------------------------------------------------------------------------

QString TField::displayText() const {
    const cursor::Value v = stored();
    if (type_ == TFieldType::ftMemo)
        return cursor::isNull(v) ? QStringLiteral("(Memo)")
                                 : fieldtext::turkishUpper(QStringLiteral("(Memo)"));
    if (cursor::isNull(v))
        return {};
    const core::FormatSettings& fs = settings();
    switch (type_) {
    case TFieldType::ftBCD:
        if (const auto* m = std::get_if<Money>(&v))
            return currency_ ? fieldtext::currencyText(*m, fs)
                             : fieldtext::plainText(*m, fs.decimalSeparator);
        return QStringLiteral("BCD overflow");
    case TFieldType::ftFloat: {
        const double d = asFloat();
        return currency_ ? fieldtext::currencyText(d, fs)
                         : fieldtext::plainText(d, fs.decimalSeparator);
    }
    default:
        return asString();
    }
}

QString TField::editText() const {
    const cursor::Value v = stored();
    if (cursor::isNull(v))
        return {};
    const core::FormatSettings& fs = settings();
    switch (type_) {
    case TFieldType::ftBCD:
        if (const auto* m = std::get_if<Money>(&v))
            return currency_ ? fieldtext::fixedText(*m, fs)
                             : fieldtext::plainText(*m, fs.decimalSeparator);
        return QStringLiteral("BCD overflow");
    case TFieldType::ftFloat: {
        const double d = asFloat();
        return currency_ ? fieldtext::fixedText(d, fs)
                         : fieldtext::plainText(d, fs.decimalSeparator);
    }
    default:
        return asString();
    }
}

bool TField::isValidChar(QChar c) const {
    const bool digitOrSign = (c >= '0' && c <= '9') || c == '+' || c == '-';
    switch (type_) {
    case TFieldType::ftBCD:
        return digitOrSign || c == settings().decimalSeparator || c == settings().thousandSeparator;
    case TFieldType::ftFloat:
        return digitOrSign || c == settings().decimalSeparator ||
               c == settings().thousandSeparator || c == 'E' || c == 'e';
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc:
        return digitOrSign;
    default:
        return true;
    }
}

bool TField::canModify() const {
    return !isCalculated() && !readOnly_ && dataSet_.canModify();
}

} // namespace data
