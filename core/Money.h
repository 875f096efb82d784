// Money: a signed 64-bit count of ten-thousandths, with exact sums and decimal text conversion.
#pragma once

#include <QString>
#include <compare>
#include <cstdint>
#include <optional>
#include <stdexcept>

// Raised by a money operation whose result the 64-bit range cannot hold.
class MoneyOverflow : public std::overflow_error {
public:
    MoneyOverflow() : std::overflow_error("BCD overflow") {}
};

struct Money {
    std::int64_t raw = 0; // ten-thousandths

    static constexpr std::int64_t Scale = 10000;

    constexpr Money() = default;
    static constexpr Money fromRaw(std::int64_t r) {
        Money m;
        m.raw = r;
        return m;
    }
    // Whole units; fromUnits raises MoneyOverflow where checkedFromUnits gives nullopt.
    static constexpr std::optional<Money> checkedFromUnits(std::int64_t units) {
        std::int64_t r = 0;
        if (__builtin_mul_overflow(units, Scale, &r))
            return std::nullopt;
        return fromRaw(r);
    }
    static constexpr Money fromUnits(std::int64_t units) {
        return orOverflow(checkedFromUnits(units));
    }
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

    // Exact sums and differences; nullopt when the result lies outside the range.
    static constexpr std::optional<Money> sum(Money a, Money b) {
        std::int64_t r = 0;
        if (__builtin_add_overflow(a.raw, b.raw, &r))
            return std::nullopt;
        return fromRaw(r);
    }
    static constexpr std::optional<Money> difference(Money a, Money b) {
        std::int64_t r = 0;
        if (__builtin_sub_overflow(a.raw, b.raw, &r))
            return std::nullopt;
        return fromRaw(r);
    }
    // The same as operators: an overflow raises MoneyOverflow instead of wrapping around.
    friend constexpr Money operator+(Money a, Money b) { return orOverflow(sum(a, b)); }
    friend constexpr Money operator-(Money a, Money b) { return orOverflow(difference(a, b)); }
    constexpr Money& operator+=(Money b) { return *this = *this + b; }
    constexpr Money& operator-=(Money b) { return *this = *this - b; }
    friend constexpr auto operator<=>(Money, Money) = default;

private:
    static constexpr Money orOverflow(std::optional<Money> m) {
        if (!m)
            throw MoneyOverflow();
        return *m;
    }
};
