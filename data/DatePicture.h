// The one reader of date and time pictures and typed dates: tokens, formatting, two-digit years.
#pragma once

#include "core/RegionalSettings.h"
#include "core/ScopedOverride.h"

#include <QDateTime>
#include <QString>
#include <optional>
#include <vector>

namespace data {

// What a token of a picture stands for.
enum class TDatePart {
    Literal,     // text shown as it stands (separators resolved, quotes removed)
    Day,         // d dd
    Month,       // m mm (but right after an hour: Minute)
    Year,        // yy yyyy
    Hour,        // h hh
    Minute,      // n nn, or m mm right after an hour
    Second,      // s ss
    Millisecond, // z zzz
    DayName,     // ddd dddd
    MonthName,   // mmm mmmm
    AmPm,        // am/pm a/p
};

struct TPictureToken {
    TDatePart kind = TDatePart::Literal;
    QString text;  // the literal, or the picture letters as written
    int count = 0; // letters of a part ("dd" 2, "yyyy" 4)
};

// A Windows-style date/time picture: d dd ddd dddd, m mm mmm mmmm (minutes right after an
// hour), yy yyyy, h hh, n nn, s ss, z zzz, am/pm, a/p, "/" the date separator, ":" the time
// separator, quoted text literally. Every date and time text of the program is read with it.
class TDatePicture {
public:
    TDatePicture(const QString& picture, const core::FormatSettings& settings);

    const std::vector<TPictureToken>& tokens() const { return tokens_; }
    bool hasDate() const; // a day, month or year part
    bool hasTime() const; // an hour, minute or second part
    bool twelveHour() const { return twelveHour_; }

    // The whole value, and one token of it.
    QString format(const QDateTime& value) const;
    QString format(const TPictureToken& token, const QDateTime& value) const;

    enum class Order { DMY, MDY, YMD };
    // The order of day, month and year, by the first of them in the picture.
    Order dateOrder() const;

private:
    std::vector<TPictureToken> tokens_;
    bool twelveHour_ = false;
};

// Today's date as every date rule of the program sees it. A test pins it with TTodayOverride.
QDate today();

// Pins today() while it exists (see core::ScopedOverride).
class TTodayOverride : public core::ScopedOverride<QDate, TTodayOverride> {
public:
    explicit TTodayOverride(QDate date) : ScopedOverride(date) {}
};

// The year meant by a year typed with `digits` digits: one or two digits fall in the fifty
// years before and the forty-nine after the current year (in 2026: 76 gives 1976, 75 gives
// 2075); three or four digits are the year itself.
int expandYear(int year, int digits, QDate currentDate = today());

// The date made of typed parts, or nothing when there is no such day (31.02.2008, 00.00.0000,
// a year outside 1...9999).
std::optional<QDate> dateFromParts(int year, int month, int day);

// The text of the error raised for a date and time that cannot be read.
QString invalidDateTimeMessage(const QString& text);

} // namespace data
