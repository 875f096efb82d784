// Tests of the default error path, the application title, fonts and regional settings.
#include "platform/Application.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"
#include "platform/RegionalSettings.h"

#include <gtest/gtest.h>

namespace {

struct CapturedErrors {
    QStringList captions, texts;
    CapturedErrors() {
        platform::DialogHooks h;
        h.errorBox = [this](const QString& c, const QString& t) {
            captions << c;
            texts << t;
        };
        platform::setDialogHooks(h);
    }
    ~CapturedErrors() { platform::setDialogHooks({}); }
};

TEST(ApplicationTitle, FileNameCutAtTheFirstDotWithTheRestLowerCase) {
    EXPECT_EQ(platform::applicationTitleFrom("C:/prog/KAYIT.EXE"), "Kayit");
    EXPECT_EQ(platform::applicationTitleFrom("/opt/korvela/korvela"), "korvela");
    EXPECT_EQ(platform::applicationTitleFrom("/opt/Korvela"), "Korvela");
    EXPECT_EQ(platform::applicationTitleFrom("kORVELA.tar.gz"), "korvela");
}

TEST(ErrorBoxText, AppendsAFullStopOnlyAfterCodesAbove46) {
    EXPECT_EQ(platform::errorBoxText("Record not found"), "Record not found.");
    EXPECT_EQ(platform::errorBoxText("value 7"), "value 7.");
    EXPECT_EQ(platform::errorBoxText("Done."), "Done.");
    EXPECT_EQ(platform::errorBoxText("(x)"), "(x)");
    EXPECT_EQ(platform::errorBoxText("it's '"), "it's '");
    EXPECT_EQ(platform::errorBoxText("Stop!"), "Stop!");
    EXPECT_EQ(platform::errorBoxText(""), "");
}

TEST(DefaultErrorPath, ShowsTheMessageWithTheTitleAndGoesOn) {
    CapturedErrors box;
    bool after = false;
    EXPECT_FALSE(platform::guarded([] { throw EDatabaseError("qryServis: Record not found"); }));
    after = true;
    ASSERT_EQ(box.texts.size(), 1);
    EXPECT_EQ(box.texts[0], "qryServis: Record not found.");
    EXPECT_FALSE(box.captions[0].isEmpty());
    EXPECT_TRUE(after);
}

TEST(DefaultErrorPath, SilentAbortShowsNothing) {
    CapturedErrors box;
    EXPECT_FALSE(platform::guarded([] { throw EAbort(); }));
    EXPECT_TRUE(box.texts.isEmpty());
}

TEST(ProviderErrors, TrailingBlanksControlCharactersAndFullStopsAreRemoved) {
    EXPECT_EQ(EOleException("Could not find file 'x'. \r\n").message(), "Could not find file 'x'");
    EXPECT_EQ(EOleException("no such table: t_musteri...").message(), "no such table: t_musteri");
}

TEST(Fonts, TahomaEightPointMeasuresTheWindowsWay) {
    QFont f = platform::tahoma(11);
    EXPECT_EQ(platform::windowsTextHeight(f), 13);
    EXPECT_EQ(platform::windowsAscent(f), 11);
    EXPECT_EQ(platform::textWidth(f, "0"), 6);
    EXPECT_EQ(platform::windowsTextHeight(platform::tahoma(11, true)), 13);
}

TEST(Colors, StoredNumbersHaveRedInTheLowestByte) {
    EXPECT_EQ(platform::TColor::fromNumber(14408667).toQColor(), QColor(0xDB, 0xDB, 0xDB));
    EXPECT_EQ(platform::TColor::fromHex(0xF3F3F3).value, 15987699u);
    EXPECT_EQ(platform::TColor::fromHex(0xFF8040).value, 4227327u);
    EXPECT_NE(platform::clNone, platform::clBlack);
    EXPECT_EQ(platform::clNone.value, 536870911u);
}

TEST(RegionalSettings, CLocaleGivesTheTurkishSettings) {
    qputenv("LC_ALL", "C");
    platform::FormatSettings s = platform::systemFormatSettings();
    EXPECT_EQ(s.currencyString, "TL");
    EXPECT_EQ(s.decimalSeparator, ',');
    EXPECT_EQ(s.thousandSeparator, '.');
    EXPECT_EQ(s.shortDateFormat, "dd.mm.yyyy");
    EXPECT_EQ(s.currencyFormat, 3);
    EXPECT_EQ(s.negCurrFormat, 8);
    qputenv("LC_ALL", "en_US.UTF-8");
    platform::FormatSettings us = platform::systemFormatSettings();
    EXPECT_EQ(us.decimalSeparator, '.');
    EXPECT_EQ(us.thousandSeparator, ',');
    EXPECT_EQ(us.currencyString, "$");
    qputenv("LC_ALL", "C");
}

} // namespace
