// Statement parameters from values and cells, in the forms the server reads exactly.
#include "pgengine/PgValue.h"

#include <charconv>

namespace pgengine {

Param cellParam(const cursor::CellData& cell) {
    switch (cell.type) {
    case cursor::CellData::Null:
        return std::nullopt;
    case cursor::CellData::Integer:
        return QByteArray::number(qint64(cell.integer));
    case cursor::CellData::Float: {
        char buffer[32];
        const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, cell.real);
        return QByteArray(buffer, error == std::errc() ? end - buffer : 0);
    }
    case cursor::CellData::Text:
    case cursor::CellData::Blob:
        break;
    }
    return QByteArray(cell.bytes.data(), qsizetype(cell.bytes.size()));
}

Param toParam(const cursor::Value& value) {
    QByteArray storage;
    return cellParam(cursor::storedForm(value, &storage));
}

} // namespace pgengine
