// Statement parameters from the cursor engine's values and cells (exact money, naive date-times).
#pragma once

#include "engine/Backend.h"
#include "pgengine/PgSession.h"

namespace pgengine {

// A value as a statement parameter: null stays null, money as exact decimal text
// ("-922337203685477.5808"), date-times as "YYYY-MM-DD HH:MM:SS", text as UTF-8 (the forms of
// cursor::storedForm). Cells read back decode with cursor::decodeCell.
Param toParam(const cursor::Value& value);

// A cell as it was read, as a statement parameter: null stays null, an integer in decimal, a
// float in the shortest form that reads back as the same double, text and blobs as their bytes.
Param cellParam(const cursor::CellData& cell);

} // namespace pgengine
