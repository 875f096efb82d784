// Regional settings: currency, separators and date/time formats, from the system locale.
#pragma once

#include "core/ScopedOverride.h"

#include <QChar>
#include <QString>

namespace core {

// The values the program formats with, named after the Windows locale entries they stand for.
struct FormatSettings {
    QString currencyString = "TL";
    int currencyFormat = 3; // positive pattern 0..3: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $"
    int negCurrFormat = 8;  // negative pattern 0..15, as the Windows LOCALE_INEGCURR values
    int currencyDecimals = 2;
    QChar thousandSeparator = '.';
    QChar decimalSeparator = ',';
    QChar dateSeparator = '.';
    QChar timeSeparator = ':';
    QString shortDateFormat = "dd.mm.yyyy"; // Windows picture: d dd m mm yy yyyy
    QString longTimeFormat = "hh:nn:ss";    // Windows picture: h hh n nn s ss (nn = minutes)
    QString localeName = "tr_TR";           // the language of month and day names
    Qt::DayOfWeek firstDayOfWeek = Qt::Monday;
};

// The Turkish settings, used when the locale is C/POSIX or unset.
FormatSettings turkishFormatSettings();
// Settings read from the system locale (LC_ALL, LC_MONETARY/LC_NUMERIC/LC_TIME, LANG).
FormatSettings systemFormatSettings();

// The settings in force, owned by the application object (or by a test) and installed for the
// owner's lifetime (see ScopedOverride).
class RegionalSettings : public ScopedOverride<FormatSettings, RegionalSettings> {
public:
    explicit RegionalSettings(FormatSettings settings) : ScopedOverride(std::move(settings)) {}

    const FormatSettings& settings() const { return value(); }
    // Reads the system settings again (when the toolkit reports a locale change).
    void reload() { set(systemFormatSettings()); }
};

// The settings every display and entry conversion reads at the moment of the call: those of the
// owner in force, or while there is none the system settings as read at the first call.
const FormatSettings& formatSettings();

} // namespace core
