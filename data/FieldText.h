// Field text conversions under the regional settings: currency, fixed, date-time text and parsing.
#pragma once

#include "core/Money.h"
#include "core/RegionalSettings.h"

#include <QDateTime>
#include <QString>
#include <optional>

namespace data::fieldtext {

// Money in the currency format: currency decimals (rounded half away from zero), grouped
// thousands, the positive pattern (0-3) or the negative pattern (0-15, as LOCALE_INEGCURR).
QString currencyText(Money amount, const core::FormatSettings& fs);
// The same from a double rounded to 15 significant digits first ("INF"/"NAN" when not finite).
QString currencyText(double amount, const core::FormatSettings& fs);
// Fixed format: currency decimals, decimal separator, "-" when negative, nothing else.
QString fixedText(Money amount, const core::FormatSettings& fs);
QString fixedText(double amount, const core::FormatSettings& fs);
// Shortest exact decimal text with the given separator ("1234,5", "-3", "0,0001").
QString plainText(Money amount, QChar decimalSeparator);
// General float text with up to 15 significant digits ("0,3", "1E20").
QString plainText(double amount, QChar decimalSeparator);

// A value in a Windows-style date/time picture, as read by TDatePicture (data/DatePicture.h).
QString formatDateTime(const QString& picture, const QDateTime& value,
                       const core::FormatSettings& fs);
// The short date, then a blank and the long time unless the time is exactly midnight.
QString dateTimeText(const QDateTime& value, const core::FormatSettings& fs);
// Typed date and time: the short date's field order and separator, optionally followed by a time
// (hour, minutes, optional seconds, optional AM/PM); or a time alone (on 30.12.1899). Years of
// one or two digits follow expandYear, a date without a year takes today's year (today()).
std::optional<QDateTime> parseDateTime(const QString& text, const core::FormatSettings& fs);

// Upper case with the Turkish dotted and dotless i (i to İ, ı to I).
QString turkishUpper(const QString& text);

} // namespace data::fieldtext
