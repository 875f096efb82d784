// The engines' shared texts and the stored form of a value.
#include "engine/Backend.h"

namespace cursor {

const QString kRowConflict = QStringLiteral("Row cannot be located for updating. Some values may "
                                            "have been changed since it was last read");

QString relatedRecordRequired(const QStringList& ownerTables) {
    return QStringLiteral("You cannot add or change a record because a related record is "
                          "required in table '%1'")
        .arg(ownerTables.join(QStringLiteral("', '")));
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

} // namespace cursor
