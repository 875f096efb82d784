// Cell values between the server's text forms and the cursor engine's values (exact money, naive
// date-times, UTF-8 text).
#pragma once

#include "engine/CursorValue.h"
#include "pgengine/PgSession.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace pgengine {

// One cell in the compact form of the cursor engine's row store: integers as numbers, floats as
// doubles, everything else (text, money as decimal text "-1234.5000", date-times as
// "YYYY-MM-DD HH:MM:SS") as UTF-8 bytes that live as long as the result.
struct CellRef {
    enum Type : std::uint8_t { Null, Integer, Float, Text };
    Type type = Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view text;
};

// Exact money text both ways ("-922337203685477.5808"): the file's storage form out; in, four
// decimals at most (more only as trailing zeros), no exponent, no blanks, the whole 64-bit range.
QByteArray moneyToText(Money money);
std::optional<Money> moneyFromText(std::string_view text);

// "YYYY-MM-DD HH:MM:SS" (also a bare date, fractional seconds dropped); invalid on other text.
QByteArray dateTimeToText(const QDateTime& dateTime);
QDateTime dateTimeFromText(std::string_view text);

// A value as a statement parameter for a column of the given type: null stays null, money and
// date-times in the forms above, text as UTF-8.
Param toParam(const cursor::Value& value);

// Decodes a cell for a column type; text that does not parse is passed on as QString.
cursor::Value decode(const CellRef& cell, cursor::ColumnType type);

} // namespace pgengine
