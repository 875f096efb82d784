// Field text conversions: currency patterns, fixed text, date-time pictures and typed dates.
#include "data/FieldText.h"
#include "data/DatePicture.h"

#include <gtest/gtest.h>

using namespace data::fieldtext;
using core::FormatSettings;

namespace {

FormatSettings dollars(int positive, int negative) {
    FormatSettings fs;
    fs.currencyString = "$";
    fs.currencyFormat = positive;
    fs.negCurrFormat = negative;
    fs.thousandSeparator = ',';
    fs.decimalSeparator = '.';
    return fs;
}

struct PatternCase {
    int negCurrFormat;
    const char* negative; // -1234.5
};

class NegativeCurrencyPattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(NegativeCurrencyPattern, PlacesSignSymbolAndBlankAsWindowsDoes) {
    const PatternCase& c = GetParam();
    EXPECT_EQ(currencyText(Money::fromRaw(-12345000), dollars(0, c.negCurrFormat)), c.negative);
    EXPECT_EQ(currencyText(-1234.5, dollars(0, c.negCurrFormat)), c.negative);
}

INSTANTIATE_TEST_SUITE_P(
    AllSixteen, NegativeCurrencyPattern,
    ::testing::Values(PatternCase{0, "($1,234.50)"}, PatternCase{1, "-$1,234.50"},
                      PatternCase{2, "$-1,234.50"}, PatternCase{3, "$1,234.50-"},
                      PatternCase{4, "(1,234.50$)"}, PatternCase{5, "-1,234.50$"},
                      PatternCase{6, "1,234.50-$"}, PatternCase{7, "1,234.50$-"},
                      PatternCase{8, "-1,234.50 $"}, PatternCase{9, "-$ 1,234.50"},
                      PatternCase{10, "1,234.50 $-"}, PatternCase{11, "$ 1,234.50-"},
                      PatternCase{12, "$ -1,234.50"}, PatternCase{13, "1,234.50- $"},
                      PatternCase{14, "($ 1,234.50)"}, PatternCase{15, "(1,234.50 $)"}));

TEST(CurrencyText, ADoubleIsCutToFifteenDigitsBeforeItsCentsAreRounded) {
    const FormatSettings tr = core::turkishFormatSettings();
    struct Case {
        std::int64_t raw;
        const char* currency;
        const char* fixed;
    };
    for (const Case& c : {Case{10050, "1,01 TL", "1,01"}, Case{10150, "1,02 TL", "1,02"},
                          Case{26750, "2,68 TL", "2,68"}, Case{-10050, "-1,01 TL", "-1,01"}}) {
        const Money m = Money::fromRaw(c.raw);
        EXPECT_EQ(currencyText(m, tr), c.currency);
        EXPECT_EQ(currencyText(m.toDouble(), tr), c.currency) << c.raw;
        EXPECT_EQ(fixedText(m, tr), c.fixed);
        EXPECT_EQ(fixedText(m.toDouble(), tr), c.fixed) << c.raw;
    }
    // The cut itself carries: 0.999999999999999999 is 1 at fifteen digits.
    EXPECT_EQ(currencyText(0.99999999999999999, tr), "1,00 TL");
    EXPECT_EQ(currencyText(999999999999.995, tr), "1.000.000.000.000,00 TL");
}

TEST(CurrencyText, PositivePatternsRoundingAndGrouping) {
    const Money amount = Money::fromRaw(12345000);
    EXPECT_EQ(currencyText(amount, dollars(0, 0)), "$1,234.50");
    EXPECT_EQ(currencyText(amount, dollars(1, 0)), "1,234.50$");
    EXPECT_EQ(currencyText(amount, dollars(2, 0)), "$ 1,234.50");
    EXPECT_EQ(currencyText(amount, dollars(3, 0)), "1,234.50 $");
    const FormatSettings tr = core::turkishFormatSettings();
    EXPECT_EQ(currencyText(amount, tr), "1.234,50 TL");
    EXPECT_EQ(currencyText(Money::fromRaw(-305000), tr), "-30,50 TL");
    EXPECT_EQ(currencyText(Money::fromRaw(9999950), tr), "1.000,00 TL"); // 999.995 rounds up
    EXPECT_EQ(currencyText(Money::fromRaw(-40), tr), "0,00 TL");         // -0.004: no sign
    EXPECT_EQ(currencyText(Money::fromRaw(12345678912), tr), "1.234.567,89 TL");
    EXPECT_EQ(currencyText(0.1 + 0.2, tr), "0,30 TL");
    EXPECT_EQ(currencyText(0.125, tr), "0,13 TL"); // half away from zero
    FormatSettings none = tr;
    none.currencyDecimals = 0;
    EXPECT_EQ(currencyText(amount, none), "1.235 TL");
    none.currencyDecimals = 4;
    EXPECT_EQ(currencyText(Money::fromRaw(12345678), none), "1.234,5678 TL");
}

TEST(FixedAndPlainText, NoSymbolNoGrouping) {
    const FormatSettings tr = core::turkishFormatSettings();
    EXPECT_EQ(fixedText(Money::fromRaw(12345000), tr), "1234,50");
    EXPECT_EQ(fixedText(Money::fromRaw(-305000), tr), "-30,50");
    EXPECT_EQ(fixedText(150.5, tr), "150,50");
    EXPECT_EQ(plainText(Money::fromRaw(12345000), ','), "1234,5");
    EXPECT_EQ(plainText(Money::fromRaw(-1), ','), "-0,0001");
    EXPECT_EQ(plainText(0.1 + 0.2, ','), "0,3");
    EXPECT_EQ(plainText(1e20, '.'), "1E20");
}

TEST(DateTimeText, PicturesAndTheMidnightRule) {
    const FormatSettings tr = core::turkishFormatSettings();
    const QDateTime midnight(QDate(2008, 12, 25), QTime(0, 0), Qt::UTC);
    const QDateTime afternoon(QDate(2008, 12, 25), QTime(14, 30), Qt::UTC);
    EXPECT_EQ(dateTimeText(midnight, tr), "25.12.2008");
    EXPECT_EQ(dateTimeText(afternoon, tr), "25.12.2008 14:30:00");
    EXPECT_EQ(dateTimeText(QDateTime(), tr), "");
    FormatSettings us = tr;
    us.dateSeparator = '/';
    EXPECT_EQ(formatDateTime("m/d/yy", QDateTime(QDate(2008, 1, 5), QTime(9, 7, 3), Qt::UTC), us),
              "1/5/08");
    EXPECT_EQ(formatDateTime("h:mm:ss am/pm", afternoon, us), "2:30:00 pm");
    EXPECT_EQ(formatDateTime("\"at\" hh:nn", afternoon, us), "at 14:30");
    EXPECT_EQ(turkishUpper("istanbul ılık"), "İSTANBUL ILIK");
}

struct ParseCase {
    const char* text;
    const char* expected; // ISO "yyyy-MM-dd HH:mm:ss", or empty when the text is refused
};

class DateParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(DateParsing, ReadsTypedTextWithTheShortDateOrder) {
    const ParseCase& c = GetParam();
    const auto parsed = parseDateTime(c.text, core::turkishFormatSettings());
    const QString got = parsed ? parsed->toString("yyyy-MM-dd HH:mm:ss") : QString();
    EXPECT_EQ(got, c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Turkish, DateParsing,
    ::testing::Values(ParseCase{"25.12.2008", "2008-12-25 00:00:00"},
                      ParseCase{"25.12.2008 14:30", "2008-12-25 14:30:00"},
                      ParseCase{" 25.12.2008  14:30:15 ", "2008-12-25 14:30:15"},
                      ParseCase{"1.2.2008", "2008-02-01 00:00:00"},
                      ParseCase{"29.02.2008", "2008-02-29 00:00:00"},
                      ParseCase{"25.12.08", "2008-12-25 00:00:00"},
                      ParseCase{"25.12.99", "1999-12-25 00:00:00"},
                      ParseCase{"25.12.2008 2:30 pm", "2008-12-25 14:30:00"},
                      ParseCase{"14:30", "1899-12-30 14:30:00"}, ParseCase{"31.02.2008", ""},
                      ParseCase{"29.02.2007", ""}, ParseCase{"25.13.2008", ""},
                      ParseCase{"25.12.2008 24:00", ""}, ParseCase{"25.12.2008 12:60", ""},
                      ParseCase{"25/12/2008", ""}, ParseCase{"25.12.2008x", ""},
                      ParseCase{"abc", ""}, ParseCase{"", ""}));

TEST(DateParsingOrder, FollowsTheShortDateFormat) {
    FormatSettings us = core::turkishFormatSettings();
    us.shortDateFormat = "m/d/yyyy";
    us.dateSeparator = '/';
    EXPECT_EQ(parseDateTime("12/25/2008", us)->date(), QDate(2008, 12, 25));
    us.shortDateFormat = "yyyy-mm-dd";
    us.dateSeparator = '-';
    EXPECT_EQ(parseDateTime("2008-12-25", us)->date(), QDate(2008, 12, 25));
    const data::TTodayOverride today(QDate(2026, 6, 15));
    EXPECT_EQ(parseDateTime("12-25", us)->date(), QDate(2026, 12, 25));
}

} // namespace
