// The date sections on their own, without a widget: typing digit by digit, completing sections,
// separators, stepping, refusing impossible values and the text with each section's place.
#include "controls/DateSections.h"
#include "core/RegionalSettings.h"

#include <gtest/gtest.h>

using controls::TDateSections;

namespace {

// Under the test program's Turkish settings: "dd.mm.yyyy hh:nn:ss".
TDateSections sections(const QString& picture = QString()) {
    const core::FormatSettings& fs = core::formatSettings();
    TDateSections s;
    s.setPicture(picture.isEmpty() ? fs.shortDateFormat + ' ' + fs.longTimeFormat : picture, fs);
    return s;
}

// Types the characters: digits (refused ones marked "!"), "." the date separator; then the
// text, the current section in brackets.
QString typed(TDateSections& s, const QString& keys, QDate today = QDate(2026, 6, 15)) {
    QString refused;
    for (QChar c : keys) {
        if (c == '.')
            s.typeSeparator();
        else if (s.acceptsDigit(c))
            s.typeDigit(c, today);
        else
            refused += '!';
    }
    const std::vector<std::pair<int, int>> ranges = s.ranges();
    QString text = s.text();
    if (s.current() < int(ranges.size())) {
        const auto [start, length] = ranges[std::size_t(s.current())];
        text.insert(start + length, ']').insert(start, '[');
    }
    return refused + text;
}

struct TypingCase {
    const char* keys;
    const char* shown;
};

class DateTyping : public ::testing::TestWithParam<TypingCase> {};

TEST_P(DateTyping, SectionsCompleteByTheirDigitsAndRefuseImpossibleValues) {
    TDateSections s = sections();
    EXPECT_EQ(typed(s, QString::fromLatin1(GetParam().keys)).toStdString(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Turkish, DateTyping,
    ::testing::Values(
        // The first digit starts from today at midnight; two digits complete a day.
        TypingCase{"2", "[02].06.2026 00:00:00"}, TypingCase{"25", "25.[06].2026 00:00:00"},
        // A day of 4 (or a minute of 6) cannot take a second digit: complete at once.
        TypingCase{"4", "04.[06].2026 00:00:00"},
        // The separator typed along after a section completed itself moves nowhere ...
        TypingCase{"25.12", "25.12.[2026] 00:00:00"},
        // ... but ends a section typed short.
        TypingCase{"5.3", "05.03.[2026] 00:00:00"}, TypingCase{"5..", "05.06.[2026] 00:00:00"},
        TypingCase{"251220081430", "25.12.2008 14:30:[00]"},
        // A 32nd day, a 13th month, hour 24 are refused; the section waits for a digit.
        TypingCase{"32", "![03].06.2026 00:00:00"}, TypingCase{"2513", "!25.[01].2026 00:00:00"},
        TypingCase{"2512200824", "!25.12.2008 [02]:00:00"},
        TypingCase{"25122008146", "25.12.2008 14:06:[00]"},
        // The last section stays current once complete.
        TypingCase{"25122008143059", "25.12.2008 14:30:[59]"}));

TEST(DateSections, AYearTypedShortIsExpandedWhenTheSectionEnds) {
    TDateSections s = sections();
    const data::TTodayOverride today(QDate(2026, 6, 15));
    typed(s, "2512");
    s.typeDigit('7', QDate(2026, 6, 15));
    s.typeDigit('6', QDate(2026, 6, 15));
    EXPECT_EQ(s.text(), "25.12.0076 00:00:00") << "shown as typed while typing";
    s.moveTo(3);
    EXPECT_EQ(s.text(), "25.12.1976 00:00:00");
    TDateSections twoDigits = sections("dd.mm.yy");
    EXPECT_EQ(typed(twoDigits, "251209"), "25.12.[09]");
    EXPECT_EQ(twoDigits.typed(), QDateTime(QDate(2009, 12, 25), QTime(0, 0)));
}

TEST(DateSections, SteppingMovesTheDateAndTurnsTheTimeRound) {
    TDateSections s = sections();
    s.load(QDateTime(QDate(2008, 1, 31), QTime(23, 59, 0)));
    s.moveTo(1);
    s.step(1);
    EXPECT_EQ(s.text(), "29.02.2008 23:59:00") << "the month moves, the day is brought in range";
    s.moveTo(0);
    s.step(-29);
    EXPECT_EQ(s.text(), "31.01.2008 23:59:00");
    s.moveTo(3);
    s.step(1);
    EXPECT_EQ(s.text(), "31.01.2008 00:59:00") << "the hour turns round, the date stays";
    s.moveTo(5);
    s.step(-1);
    EXPECT_EQ(s.text(), "31.01.2008 00:59:59");
}

TEST(DateSections, SectionsNeedNotMakeADateUntilRead) {
    TDateSections s = sections();
    EXPECT_TRUE(s.isNull());
    EXPECT_EQ(s.text(), "");
    typed(s, "31022008");
    EXPECT_EQ(s.text(), "31.02.2008 00:00:00");
    EXPECT_FALSE(s.typed());
    EXPECT_EQ(s.nearest(), QDateTime(QDate(2008, 2, 29), QTime(0, 0)));
    s.clear();
    EXPECT_TRUE(s.isNull());
    EXPECT_EQ(s.text(), "");
    EXPECT_EQ(s.count(), 6);
    s.load(QDateTime(QDate(2008, 12, 25), QTime(14, 30)));
    EXPECT_EQ(s.ranges(), (std::vector<std::pair<int, int>>{
                              {0, 2}, {3, 2}, {6, 4}, {11, 2}, {14, 2}, {17, 2}}));
    s.moveTo(9);
    EXPECT_EQ(s.current(), 5) << "moves are kept inside the sections";
    s.moveTo(-1);
    EXPECT_EQ(s.current(), 0);
}

} // namespace
