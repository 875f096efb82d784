// Tests of the money text, zero padding, trailing backslash and the Money type.
#include "xlib/XLib.h"
#include "core/RegionalSettings.h"

#include <gtest/gtest.h>
#include <limits>

namespace {

Money m(const char* text) {
    return *Money::fromStorageText(QString::fromLatin1(text));
}

struct MoneyCase {
    const char* amount;
    const char* turkish;
};

class MoneyTextTurkish : public ::testing::TestWithParam<MoneyCase> {};

TEST_P(MoneyTextTurkish, MatchesTheGroupedTwoDecimalText) {
    EXPECT_EQ(xlib::moneyText(m(GetParam().amount), ',', '.'),
              QString::fromUtf8(GetParam().turkish));
}

INSTANTIATE_TEST_SUITE_P(
    Examples, MoneyTextTurkish,
    ::testing::Values(MoneyCase{"0", "0,00"}, MoneyCase{"0.05", "0,05"}, MoneyCase{"7", "7,00"},
                      MoneyCase{"123.45", "123,45"}, MoneyCase{"1234.5", "1.234,50"},
                      MoneyCase{"12345.67", "12.345,67"}, MoneyCase{"1234567", "1.234.567,00"},
                      MoneyCase{"-123.45", "-123,45"}, MoneyCase{"1.005", "1,00"},
                      MoneyCase{"1.015", "1,02"}, MoneyCase{"1.025", "1,02"},
                      MoneyCase{"-1.015", "-1,02"}, MoneyCase{"999.99", "999,99"},
                      MoneyCase{"1000", "1.000,00"}, MoneyCase{"-1234.5", "-1.234,50"},
                      MoneyCase{"-0.004", "0,00"}, MoneyCase{"100000", "100.000,00"}));

TEST(MoneyText, FollowsTheRegionalSeparatorsAtTheMomentOfTheCall) {
    core::FormatSettings english = core::turkishFormatSettings();
    english.decimalSeparator = '.';
    english.thousandSeparator = ',';
    {
        const core::RegionalSettings owner(english);
        EXPECT_EQ(xlib::moneyText(m("1234.5")), "1,234.50");
    }
    EXPECT_EQ(xlib::moneyText(m("1234.5")), "1.234,50");
}

TEST(MoneyText, FromHundredthsCancelsTheTimesHundred) {
    EXPECT_EQ(xlib::moneyTextFromHundredths(m("15050")), "150,50");
    EXPECT_EQ(xlib::moneyTextFromHundredths(m("-3050")), "-30,50");
    EXPECT_EQ(xlib::moneyTextFromHundredths(m("0")), "0,00");
}

TEST(MoneyText, ExtremesOfTheRangeDoNotCrash) {
    Money lo = Money::fromRaw(std::numeric_limits<std::int64_t>::min());
    Money hi = Money::fromRaw(std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(xlib::moneyText(hi, ',', '.'), "922.337.203.685.477,58");
    EXPECT_EQ(xlib::moneyText(lo, ',', '.'), "-922.337.203.685.477,58");
}

TEST(PadLeftZeros, CutsThenPads) {
    EXPECT_EQ(xlib::padLeftZeros("5", 3), "005");
    EXPECT_EQ(xlib::padLeftZeros("45", 3), "045");
    EXPECT_EQ(xlib::padLeftZeros("", 3), "000");
    EXPECT_EQ(xlib::padLeftZeros("12345", 3), "123");
}

TEST(ApplicationDirectory, EndsInExactlyOneSeparator) {
    QString dir = xlib::applicationDirectory();
    ASSERT_FALSE(dir.isEmpty());
    EXPECT_TRUE(dir.endsWith('/'));
    EXPECT_FALSE(dir.endsWith("//"));
}

TEST(MoneyStorage, RoundTripsEveryExtremeBitForBit) {
    for (std::int64_t raw :
         {std::numeric_limits<std::int64_t>::min(), std::numeric_limits<std::int64_t>::min() + 1,
          std::int64_t(-1), std::int64_t(0), std::int64_t(1), std::int64_t(123456789),
          std::numeric_limits<std::int64_t>::max()}) {
        Money a = Money::fromRaw(raw);
        auto back = Money::fromStorageText(a.toStorageText());
        ASSERT_TRUE(back.has_value()) << a.toStorageText().toStdString();
        EXPECT_EQ(back->raw, raw);
    }
    EXPECT_EQ(Money::fromRaw(-12345000).toStorageText(), "-1234.5000");
}

TEST(MoneyParse, RejectsOverflowAndGarbage) {
    EXPECT_FALSE(Money::fromStorageText("922337203685478").has_value());
    EXPECT_FALSE(Money::parse("12a", ',').has_value());
    EXPECT_FALSE(Money::parse("", ',').has_value());
    EXPECT_FALSE(Money::parse("1.5", ',').has_value());
    EXPECT_EQ(Money::parse("12,5", ',')->raw, 125000);
    EXPECT_EQ(Money::parse("1,5E2", ',')->raw, 1500000);
    EXPECT_EQ(Money::parse("0,00005", ',')->raw, 0); // tie to even
    EXPECT_EQ(Money::parse("0,00015", ',')->raw, 2);
}

TEST(MoneyArithmetic, EveryOperationReportsOverflowInsteadOfWrapping) {
    constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const Money half = *Money::fromStorageText("500000000000000");
    // 500.000.000.000.000 twice once wrapped to -844.674.407.370.955,1616.
    EXPECT_FALSE(Money::sum(half, half).has_value());
    EXPECT_THROW(half + half, MoneyOverflow);
    Money total = half;
    EXPECT_THROW(total += half, MoneyOverflow);
    EXPECT_EQ(total, half); // unchanged by the refused addition
    EXPECT_FALSE(Money::difference(Money::fromRaw(min), Money::fromRaw(1)).has_value());
    EXPECT_FALSE(Money::difference({}, Money::fromRaw(min)).has_value());
    EXPECT_THROW(Money::fromRaw(min) - Money::fromRaw(1), MoneyOverflow);
    EXPECT_FALSE(Money::checkedFromUnits(max / 10000 + 1).has_value());
    EXPECT_THROW(Money::fromUnits(min / 10000 - 1), MoneyOverflow);
    // The edges themselves are exact.
    EXPECT_EQ(Money::sum(Money::fromRaw(max - 1), Money::fromRaw(1))->raw, max);
    EXPECT_EQ(Money::difference(Money::fromRaw(min + 1), Money::fromRaw(1))->raw, min);
    EXPECT_EQ((Money::fromRaw(-5) - Money::fromRaw(max - 5)).raw, min + 1);
    EXPECT_EQ(Money::fromUnits(max / 10000).raw, max / 10000 * 10000);
    EXPECT_STREQ(MoneyOverflow().what(), "BCD overflow");
}

} // namespace
