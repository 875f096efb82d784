// Values and column descriptions of the cursor engine.
#pragma once

#include "core/Money.h"

#include <QDateTime>
#include <QString>
#include <variant>

namespace cursor {

// A cell value: null, integer, float, money, text or date-time. Date-times are naive (no time
// zone): they carry Qt::UTC only so that no daylight-saving rule ever shifts them.
using Value = std::variant<std::monostate, qint64, double, Money, QString, QDateTime>;

inline bool isNull(const Value& v) {
    return std::holds_alternative<std::monostate>(v);
}

// Column types as the database file declares them:
//   INTEGER PRIMARY KEY AUTOINCREMENT -> AutoIncrement, INTEGER -> Integer,
//   VARCHAR(n) -> Text of size n, LONGTEXT -> Memo, DATETIME -> DateTime (ISO-8601 text),
//   CURRENCY TEXT -> Currency (exact decimal text with four decimals), REAL/DOUBLE -> Float.
enum class ColumnType { Integer, AutoIncrement, Text, Memo, DateTime, Currency, Float, Other };

// Reading decodes each cell by its column's type: Currency gives Money (numbers written by
// other tools as well), DateTime gives QDateTime; text that does not parse is passed on as
// QString rather than lost.
struct ColumnInfo {
    QString name;
    ColumnType type = ColumnType::Other;
    int size = 0;           // characters, for Text
    bool updatable = false; // false for the key and for computed columns
    bool key = false;
};

// Date-time helpers for the stored ISO-8601 text ("2008-12-25 14:30:00").
QString dateTimeToStorage(const QDateTime& dt);
QDateTime dateTimeFromStorage(const QString& text); // invalid QDateTime on bad text

} // namespace cursor
