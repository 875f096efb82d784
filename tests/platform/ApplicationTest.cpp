// Tests of the default error path, the application title, fonts and regional settings.
#include "platform/Application.h"
#include "core/RegionalSettings.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"
#include "tests/support/Ink.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

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
        scope.set(h);
    }
    platform::ScopedDialogHooks scope; // last member: goes first
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
    core::FormatSettings s = core::systemFormatSettings();
    EXPECT_EQ(s.currencyString, "TL");
    EXPECT_EQ(s.decimalSeparator, ',');
    EXPECT_EQ(s.thousandSeparator, '.');
    EXPECT_EQ(s.shortDateFormat, "dd.mm.yyyy");
    EXPECT_EQ(s.currencyFormat, 3);
    EXPECT_EQ(s.negCurrFormat, 8);
    qputenv("LC_ALL", "en_US.UTF-8");
    core::FormatSettings us = core::systemFormatSettings();
    EXPECT_EQ(us.decimalSeparator, '.');
    EXPECT_EQ(us.thousandSeparator, ',');
    EXPECT_EQ(us.currencyString, "$");
    qputenv("LC_ALL", "C");
}

TEST(RegionalSettings, AnOwnerIsInForceForItsLifetimeAndTheOneBeforeReturns) {
    ASSERT_EQ(core::formatSettings().decimalSeparator, ','); // the test program's Turkish owner
    core::FormatSettings english = core::turkishFormatSettings();
    english.decimalSeparator = '.';
    {
        core::RegionalSettings outer(english);
        EXPECT_EQ(core::formatSettings().decimalSeparator, '.');
        {
            core::FormatSettings other = english;
            other.decimalSeparator = '/';
            const core::RegionalSettings inner(other);
            EXPECT_EQ(core::formatSettings().decimalSeparator, '/');
        }
        EXPECT_EQ(core::formatSettings().decimalSeparator, '.');
        english.currencyString = "$";
        outer.set(english);
        EXPECT_EQ(core::formatSettings().currencyString, "$");
    }
    EXPECT_EQ(core::formatSettings().decimalSeparator, ',');
    EXPECT_EQ(core::formatSettings().currencyString, "TL");
}

TEST(ApplicationSeams, HooksAndBeepHandlerOfAnOwnerAnswerForItsLifetimeAndTheOnesBeforeReturn) {
    QStringList shown;
    int outerBeeps = 0, innerBeeps = 0;
    {
        CapturedErrors outer;
        const platform::ScopedBeepHandler outerBeep([&] { ++outerBeeps; });
        {
            platform::DialogHooks h;
            h.errorBox = [&](const QString&, const QString& t) { shown << t; };
            const platform::ScopedDialogHooks inner(h);
            const platform::ScopedBeepHandler innerBeep([&] { ++innerBeeps; });
            platform::showErrorMessage("iç");
            platform::beep();
        }
        platform::showErrorMessage("dış");
        platform::beep();
        EXPECT_EQ(outer.texts, QStringList{"dış."});
    }
    EXPECT_EQ(shown, QStringList{"iç."});
    EXPECT_EQ(innerBeeps, 1);
    EXPECT_EQ(outerBeeps, 1);
    EXPECT_FALSE(platform::dialogHooks().errorBox); // no owner left: the real boxes
}

} // namespace

namespace {

// Shows a standard box through the given call and grabs the named children of it while it is
// open, then closes it.
struct BoxGrabs {
    QImage label, line;
    QRect firstLetter; // in the edit line: inside its frame, the columns of the first letter
};

BoxGrabs grabStandardBox(const std::function<void()>& show) {
    BoxGrabs grabs;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box)
            return;
        poll.stop();
        QLabel* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
        if (!label) {
            for (QLabel* l : box->findChildren<QLabel*>())
                if (!l->text().isEmpty())
                    label = l;
        }
        if (label)
            grabs.label = label->grab().toImage();
        if (QLineEdit* line = box->findChild<QLineEdit*>()) {
            line->deselect(); // dark text on a light ground, as typed
            line->setCursorPosition(1);
            const int frame = line->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
            grabs.firstLetter = QRect(
                QPoint(frame, frame),
                QPoint(line->inputMethodQuery(Qt::ImCursorRectangle).toRect().center().x() - 1,
                       line->height() - 1 - frame));
            line->setCursorPosition(int(line->text().size()));
            grabs.line = line->grab().toImage();
        }
        QMetaObject::invokeMethod(box, "reject", Qt::QueuedConnection);
    });
    poll.start();
    show();
    return grabs;
}

} // namespace

TEST(StandardBoxes, TurkishCapitalsShowWholeInMessageAndInputBoxes) {
    const QString dotted = QString::fromUtf8("İ");
    const BoxGrabs plainMessage =
        grabStandardBox([] { platform::messageDlg("I", platform::MsgType::Warning, 4); });
    const BoxGrabs dottedMessage =
        grabStandardBox([&] { platform::messageDlg(dotted, platform::MsgType::Warning, 4); });
    ASSERT_FALSE(plainMessage.label.isNull());
    EXPECT_TRUE(test_support::dotShowsAboveTheStem(plainMessage.label, dottedMessage.label))
        << "message box label";

    QString value = "IX";
    const BoxGrabs plainInput = grabStandardBox([&] { platform::inputQuery("Bul", "I", value); });
    value = dotted + "X";
    const BoxGrabs dottedInput =
        grabStandardBox([&] { platform::inputQuery("Bul", dotted, value); });
    ASSERT_FALSE(plainInput.label.isNull());
    ASSERT_FALSE(plainInput.line.isNull());
    EXPECT_TRUE(test_support::dotShowsAboveTheStem(plainInput.label, dottedInput.label))
        << "input box prompt";
    EXPECT_TRUE(test_support::dotShowsAboveTheStem(plainInput.line, dottedInput.line,
                                                   plainInput.firstLetter))
        << "input box edit line";
}

TEST(ClassicLook, ToolkitWidgetsUseTheWindowsStyleAndTheWindowFont) {
    EXPECT_EQ(QApplication::style()->name(), "windows");
    EXPECT_EQ(QApplication::font().family(), "Tahoma");
    EXPECT_EQ(QApplication::font().pixelSize(), 11);
    // A 16-pixel scroll bar with raised arrow buttons and a checkered trough.
    QScrollBar bar(Qt::Vertical);
    bar.setRange(0, 100);
    bar.setPageStep(10);
    bar.resize(bar.sizeHint().width(), 200);
    EXPECT_EQ(bar.sizeHint().width(), 16);
    const QImage img = bar.grab().toImage();
    const QRgb white = qRgb(255, 255, 255);
    EXPECT_EQ(img.pixel(1, 1), white) << "arrow button's raised top-left edge";
    // Somewhere in the trough below the thumb, neighbouring pixels alternate.
    const int y = 150;
    EXPECT_NE(img.pixel(6, y), img.pixel(7, y));
    EXPECT_EQ(img.pixel(6, y), img.pixel(7, y + 1));
}
