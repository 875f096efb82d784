// XLib: application directory, shell open, zero padding and the grouped money text.
#pragma once

#include "core/Money.h"

#include <QString>

namespace xlib {

// Directory of the running executable, ending in the platform's path separator.
QString applicationDirectory();

// Asks the desktop to open a document or address; returns at once, silent on failure.
void shellOpen(const QString& target);

// Cuts s to its first width characters, then pads it on the left with "0" to width.
QString padLeftZeros(const QString& s, int width);

// Two decimals (half to even), grouped thousands, separators from the regional settings
// at the moment of the call; empty text when the amount cannot be converted.
QString moneyText(Money amount);
// The amount counts hundredths: divided by 100 (to four decimals), then moneyText.
QString moneyTextFromHundredths(Money hundredths);
// The same with explicit separators (the two above pass the regional ones).
QString moneyText(Money amount, QChar decimalSeparator, QChar thousandSeparator);

} // namespace xlib
