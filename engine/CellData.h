// CellData: one cell of a row as an engine reads it and hands it to the row store.
#pragma once

#include <cstdint>
#include <string_view>

namespace cursor {

// One cell as an engine reads it and the row store keeps it: null, a 64-bit integer, a double,
// or bytes (UTF-8 text or a blob). Money is exact decimal text ("-1234.5000"), a date-time the
// text "YYYY-MM-DD HH:MM:SS". The bytes belong to whoever handed the cell over and stay valid
// only for the call that received it.
struct CellData {
    enum Type : std::uint8_t { Null, Integer, Float, Text, Blob };
    Type type = Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view bytes;
};

} // namespace cursor
