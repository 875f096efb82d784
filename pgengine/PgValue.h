// Cell values between the server's text forms and the cursor engine's values (exact money, naive
// date-times, UTF-8 text).
#pragma once

#include "engine/Backend.h"
#include "pgengine/PgSession.h"

#include <optional>
#include <string_view>

namespace pgengine {

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

// A cell as it was read, as a statement parameter: null stays null, an integer in decimal, a
// float in the shortest form that reads back as the same double, text and blobs as their bytes.
Param cellParam(const cursor::CellData& cell);

// Decodes a cell for a column type; text that does not parse is passed on as QString.
cursor::Value decode(const cursor::CellData& cell, cursor::ColumnType type);

} // namespace pgengine
