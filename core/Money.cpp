// Money conversions: exact decimal text both ways, rounding from doubles.
#include "core/Money.h"

#include <cmath>
#include <limits>

namespace {

__extension__ typedef unsigned __int128 u128;

// Digits of |raw| as an unsigned value (safe for INT64_MIN).
std::uint64_t magnitude(std::int64_t raw) {
    return raw < 0 ? std::uint64_t(0) - std::uint64_t(raw) : std::uint64_t(raw);
}

// Builds a raw value from sign, integer digits and fraction digits (any number of fraction
// digits; beyond four they round half to even). nullopt on overflow.
std::optional<Money> fromParts(bool negative, const QString& intDigits, const QString& fracDigits) {
    // Accumulate in unsigned 128-bit so INT64_MIN is reachable.
    u128 acc = 0;
    const u128 limit = (u128)std::numeric_limits<std::int64_t>::max() + 1;
    for (QChar c : intDigits) {
        acc = acc * 10 + (c.unicode() - '0');
        if (acc > limit * 10000)
            return std::nullopt;
    }
    acc *= 10000;
    for (int i = 0; i < 4; ++i) {
        int digit = i < fracDigits.size() ? fracDigits[i].unicode() - '0' : 0;
        u128 scale = 1;
        for (int k = 0; k < 3 - i; ++k)
            scale *= 10;
        acc += digit * scale;
    }
    if (fracDigits.size() > 4) {
        int first = fracDigits[4].unicode() - '0';
        bool rest = false;
        for (int i = 5; i < fracDigits.size(); ++i)
            rest = rest || fracDigits[i] != '0';
        if (first > 5 || (first == 5 && (rest || (acc & 1))))
            acc += 1;
    }
    if (acc > limit || (!negative && acc == limit))
        return std::nullopt;
    std::int64_t raw = negative ? std::int64_t(std::uint64_t(0) - std::uint64_t(acc))
                                : std::int64_t(std::uint64_t(acc));
    return Money::fromRaw(raw);
}

} // namespace

std::optional<Money> Money::fromDouble(double value) {
    if (!std::isfinite(value))
        return std::nullopt;
    const long double scaled = (long double)value * Scale;
    // Rounded in the current rounding mode (ties to even by default), as nearbyintl would, but
    // by adding and taking away 2^63: the sum has no bits below the units, so the addition
    // rounds. A value of 2^62 or more is whole already.
    constexpr long double kUnitsOnly = 9223372036854775808.0L;
    long double rounded = scaled;
    if (scaled >= 0 && scaled < kUnitsOnly / 2)
        rounded = (scaled + kUnitsOnly) - kUnitsOnly;
    else if (scaled < 0 && scaled > -kUnitsOnly / 2)
        rounded = (scaled - kUnitsOnly) + kUnitsOnly;
    if (rounded >= 9223372036854775808.0L || rounded < -9223372036854775808.0L)
        return std::nullopt;
    return fromRaw(static_cast<std::int64_t>(rounded));
}

QString Money::toStorageText() const {
    std::uint64_t m = magnitude(raw);
    QString digits = QString::number(m / Scale);
    QString frac = QString::number(m % Scale).rightJustified(4, '0');
    return (raw < 0 ? QStringLiteral("-") : QString()) + digits + '.' + frac;
}

std::optional<Money> Money::fromStorageText(const QString& text) {
    return parse(text, '.');
}

std::optional<Money> Money::parse(const QString& input, QChar decimalSeparator) {
    QString text = input.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    int i = 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    QString intDigits, fracDigits;
    while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128)
        intDigits += text[i++];
    if (i < text.size() && text[i] == decimalSeparator) {
        ++i;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128)
            fracDigits += text[i++];
    }
    if (intDigits.isEmpty() && fracDigits.isEmpty())
        return std::nullopt;
    int exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            ++i;
        }
        QString expDigits;
        while (i < text.size() && text[i].isDigit() && text[i].unicode() < 128)
            expDigits += text[i++];
        if (expDigits.isEmpty() || expDigits.size() > 4)
            return std::nullopt;
        exponent = expDigits.toInt() * (expNegative ? -1 : 1);
    }
    if (i != text.size())
        return std::nullopt;
    // Shift the decimal point by the exponent.
    QString all = intDigits + fracDigits;
    int point = intDigits.size() + exponent;
    if (point < 0) {
        all = QString(-point, '0') + all;
        point = 0;
    }
    if (point > all.size())
        all += QString(point - all.size(), '0');
    QString ip = all.left(point);
    while (ip.size() > 1 && ip[0] == '0')
        ip.remove(0, 1);
    if (ip.size() > 20)
        return std::nullopt;
    return fromParts(negative, ip, all.mid(point));
}
