// Money: a signed 64-bit count of ten-thousandths, with exact sums and decimal text conversion.
#pragma once

#include <QString>
#include <compare>
#include <cstdint>
#include <optional>

struct Money {
    std::int64_t raw = 0; // ten-thousandths

    static constexpr std::int64_t Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromRaw(std::int64_t r) {
        Money m;
        m.raw = r;
        return m;
    }
    static constexpr Money fromUnits(std::int64_t units) { return fromRaw(units * Scale); }
    // Rounds to the nearest ten-thousandth, ties to even; nullopt when out of range or not finite.
    static std::optional<Money> fromDouble(double value);
    double toDouble() const { return static_cast<double>(raw) / Scale; }

    // Plain decimal text with exactly four decimals and "." as separator ("-1234.5000"):
    // the form stored in the database file.
    QString toStorageText() const;
    // Parses the storage form (also accepts fewer decimals, a leading sign, no exponent).
    // Exact: every value of the 64-bit range round-trips. nullopt on bad text or overflow.
    static std::optional<Money> fromStorageText(const QString& text);
    // Parses a user-typed decimal with the given decimal separator (digits, optional sign,
    // optional exponent "E"); more than four decimals round half to even.
    static std::optional<Money> parse(const QString& text, QChar decimalSeparator);

    friend constexpr Money operator+(Money a, Money b) { return fromRaw(a.raw + b.raw); }
    friend constexpr Money operator-(Money a, Money b) { return fromRaw(a.raw - b.raw); }
    constexpr Money& operator+=(Money b) {
        raw += b.raw;
        return *this;
    }
    friend constexpr auto operator<=>(Money, Money) = default;
};
