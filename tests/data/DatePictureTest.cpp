// Tests of the date picture reader: tokens, formatting, the two-digit-year rule and today.
#include "data/DatePicture.h"
#include "data/FieldText.h"

#include <gtest/gtest.h>

namespace {

using data::TDatePart;
using data::TDatePicture;

TEST(DatePicture, ReadsPartsSeparatorsQuotesAndMinutesAfterAnHour) {
    const core::FormatSettings tr = core::turkishFormatSettings();
    const TDatePicture p(QStringLiteral("dd/mm/yyyy \"saat\" h:mm:ss am/pm zzz"), tr);
    std::vector<TDatePart> kinds;
    QStringList texts;
    for (const data::TPictureToken& t : p.tokens()) {
        kinds.push_back(t.kind);
        texts << t.text;
    }
    using K = TDatePart;
    EXPECT_EQ(kinds,
              (std::vector<TDatePart>{K::Day, K::Literal, K::Month, K::Literal, K::Year, K::Literal,
                                      K::Hour, K::Literal, K::Minute, K::Literal, K::Second,
                                      K::Literal, K::AmPm, K::Literal, K::Millisecond}));
    EXPECT_EQ(texts.join('|'), "dd|.|mm|.|yyyy| saat |h|:|mm|:|ss| |am/pm| |zzz");
    EXPECT_TRUE(p.hasDate());
    EXPECT_TRUE(p.hasTime());
    EXPECT_TRUE(p.twelveHour());
    EXPECT_EQ(p.format(QDateTime(QDate(2008, 12, 25), QTime(14, 30, 5, 7))),
              "25.12.2008 saat 2:30:05 pm 007");
    EXPECT_EQ(TDatePicture("mmm d, yy", tr).format(QDateTime(QDate(2009, 2, 1), QTime())),
              "Feb 1, 09");
    EXPECT_EQ(TDatePicture("m/d/yyyy", tr).dateOrder(), TDatePicture::Order::MDY);
    EXPECT_EQ(TDatePicture("yyyy-mm-dd", tr).dateOrder(), TDatePicture::Order::YMD);
    EXPECT_EQ(TDatePicture("dd.mm.yyyy", tr).dateOrder(), TDatePicture::Order::DMY);
    EXPECT_FALSE(TDatePicture("hh:nn", tr).hasDate());
}

TEST(DatePicture, ShortYearsFallInTheFiftyYearsBeforeAndFortyNineAfterToday) {
    const QDate in2026(2026, 6, 15), in2008(2008, 12, 25);
    EXPECT_EQ(data::expandYear(9, 2, in2026), 2009);
    EXPECT_EQ(data::expandYear(7, 1, in2026), 2007);
    EXPECT_EQ(data::expandYear(75, 2, in2026), 2075);
    EXPECT_EQ(data::expandYear(76, 2, in2026), 1976);
    EXPECT_EQ(data::expandYear(60, 2, in2026), 2060);
    EXPECT_EQ(data::expandYear(60, 2, in2008), 1960);
    EXPECT_EQ(data::expandYear(57, 2, in2008), 2057);
    EXPECT_EQ(data::expandYear(58, 2, in2008), 1958);
    EXPECT_EQ(data::expandYear(9, 3, in2026), 9);
    EXPECT_EQ(data::expandYear(1850, 4, in2026), 1850);
}

TEST(DatePicture, TodayCanBePinnedAndTheTextConversionUsesIt) {
    const core::FormatSettings tr = core::turkishFormatSettings();
    {
        const data::TTodayOverride pinned(QDate(2026, 6, 15));
        EXPECT_EQ(data::today(), QDate(2026, 6, 15));
        EXPECT_EQ(data::fieldtext::parseDateTime("25.12", tr)->date(), QDate(2026, 12, 25));
        EXPECT_EQ(data::fieldtext::parseDateTime("1.2.60", tr)->date(), QDate(2060, 2, 1));
        {
            const data::TTodayOverride inner(QDate(2008, 12, 25));
            EXPECT_EQ(data::fieldtext::parseDateTime("25.12", tr)->date(), QDate(2008, 12, 25));
            EXPECT_EQ(data::fieldtext::parseDateTime("1.2.60", tr)->date(), QDate(1960, 2, 1));
        }
        EXPECT_EQ(data::today(), QDate(2026, 6, 15));
    }
    EXPECT_EQ(data::today(), QDate::currentDate());
}

TEST(DatePicture, OnlyRealDaysAreMadeOfParts) {
    EXPECT_EQ(data::dateFromParts(2008, 2, 29), QDate(2008, 2, 29));
    EXPECT_FALSE(data::dateFromParts(2008, 2, 31));
    EXPECT_FALSE(data::dateFromParts(2007, 2, 29));
    EXPECT_FALSE(data::dateFromParts(0, 0, 0));
    EXPECT_FALSE(data::dateFromParts(2008, 0, 1));
    EXPECT_FALSE(data::dateFromParts(2008, 1, 0));
    EXPECT_FALSE(data::dateFromParts(10000, 1, 1));
    EXPECT_EQ(data::invalidDateTimeMessage("31.02.2008"),
              "'31.02.2008' is not a valid date and time");
}

} // namespace
