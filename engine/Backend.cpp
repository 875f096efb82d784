// The engines' shared texts, and values to and from the cells engines read and write.
#include "engine/Backend.h"

#include <limits>

namespace cursor {

const QString kRowConflict = QStringLiteral("Row cannot be located for updating. Some values may "
                                            "have been changed since it was last read");

QString relatedRecordRequired(const QStringList& ownerTables) {
    return QStringLiteral("You cannot add or change a record because a related record is "
                          "required in table '%1'")
        .arg(ownerTables.join(QStringLiteral("', '")));
}

void Backend::selectInto(const QString& sql,
                         const std::function<RowStore&(ResultShape)>& describe) {
    RowStore* store = nullptr;
    select(
        sql, [&](ResultShape shape) { store = &describe(std::move(shape)); },
        [&](const RowSource& row) { store->appendRow(row); });
}

CellData storedForm(const Value& value, QByteArray* storage) {
    CellData cell;
    if (isNull(value))
        return cell;
    if (const qint64* n = std::get_if<qint64>(&value)) {
        cell.type = CellData::Integer;
        cell.integer = *n;
        return cell;
    }
    if (const double* d = std::get_if<double>(&value)) {
        cell.type = CellData::Float;
        cell.real = *d;
        return cell;
    }
    if (const Money* m = std::get_if<Money>(&value))
        *storage = m->toStorageText().toUtf8();
    else if (const QDateTime* dt = std::get_if<QDateTime>(&value))
        *storage = dateTimeToStorage(*dt).toUtf8();
    else
        *storage = std::get<QString>(value).toUtf8();
    cell.type = CellData::Text;
    cell.bytes = {storage->constData(), std::size_t(storage->size())};
    return cell;
}

std::optional<Money> moneyOfCell(const CellData& cell) {
    switch (cell.type) {
    case CellData::Text: {
        // Fast path for the stored form "-1234.5000"; anything else goes through Money's parser.
        const std::string_view b = cell.bytes;
        std::size_t i = 0;
        const bool negative = !b.empty() && b[0] == '-';
        if (negative)
            ++i;
        std::int64_t units = 0;
        const std::size_t intStart = i;
        while (i < b.size() && b[i] >= '0' && b[i] <= '9' && i - intStart < 14)
            units = units * 10 + (b[i++] - '0');
        const std::size_t intDigits = i - intStart;
        if (intDigits > 0 && i + 5 == b.size() && b[i] == '.') {
            std::int64_t fraction = 0;
            bool ok = true;
            for (std::size_t k = i + 1; k < b.size(); ++k) {
                ok = ok && b[k] >= '0' && b[k] <= '9';
                fraction = fraction * 10 + (b[k] - '0');
            }
            if (ok) {
                const std::int64_t raw = units * Money::Scale + fraction;
                return Money::fromRaw(negative ? -raw : raw);
            }
        }
        return Money::fromStorageText(QString::fromUtf8(b.data(), qsizetype(b.size())));
    }
    case CellData::Integer:
        if (cell.integer > std::numeric_limits<std::int64_t>::max() / Money::Scale ||
            cell.integer < std::numeric_limits<std::int64_t>::min() / Money::Scale)
            return std::nullopt;
        return Money::fromUnits(cell.integer);
    case CellData::Float:
        return Money::fromDouble(cell.real);
    default:
        return std::nullopt;
    }
}

QString textOfCell(const CellData& cell) {
    switch (cell.type) {
    case CellData::Text:
    case CellData::Blob:
        return QString::fromUtf8(cell.bytes.data(), qsizetype(cell.bytes.size()));
    case CellData::Integer:
        return QString::number(cell.integer);
    case CellData::Float:
        return QString::number(cell.real, 'g', 15);
    case CellData::Null:
        break;
    }
    return {};
}

Value decodeCell(const CellData& cell, ColumnType type) {
    if (cell.type == CellData::Null)
        return {};
    switch (type) {
    case ColumnType::Integer:
    case ColumnType::AutoIncrement:
        if (cell.type == CellData::Integer)
            return qint64(cell.integer);
        if (cell.type == CellData::Float)
            return qint64(cell.real);
        return textOfCell(cell).toLongLong();
    case ColumnType::Float:
        if (cell.type == CellData::Float)
            return cell.real;
        if (cell.type == CellData::Integer)
            return double(cell.integer);
        return textOfCell(cell);
    case ColumnType::Currency: {
        if (const std::optional<Money> m = moneyOfCell(cell))
            return *m;
        // Kept as text (it shows as an overflow) unless it is an amount's text in a blob.
        const QString text = textOfCell(cell);
        if (const std::optional<Money> m = Money::fromStorageText(text))
            return *m;
        return text;
    }
    case ColumnType::DateTime:
        if (cell.type == CellData::Text) {
            const QString text = textOfCell(cell);
            const QDateTime dt = dateTimeFromStorage(text);
            if (dt.isValid())
                return dt;
            return text;
        }
        break;
    case ColumnType::Text:
    case ColumnType::Memo:
        return textOfCell(cell);
    case ColumnType::Other:
        break;
    }
    if (cell.type == CellData::Integer)
        return qint64(cell.integer);
    if (cell.type == CellData::Float)
        return cell.real;
    return textOfCell(cell);
}

} // namespace cursor
