// Tests of the inspector's date editor: display, typing, stepping, calendar, writing, routed keys.
#include "tests/controls/InspectorTestSupport.h"

#include "core/RegionalSettings.h"
#include "data/DatePicture.h"
#include "data/FieldText.h"
#include <QCalendarWidget>
#include <QTableView>
#include <QToolButton>

using namespace inspector_test;

namespace {

const QDateTime kStored(QDate(2008, 12, 25), QTime(14, 30));

} // namespace

class InspectorDateTest : public InspectorFixture {
protected:
    TInspectorDateEdit* editVisit() {
        sets->qryServis.edit();
        showService();
        return date();
    }
    TInspectorDateEdit* newVisit() {
        sets->qryServis.insert();
        servis("id_musteri").setAsInteger(1);
        showService();
        return date();
    }
    TInspectorDateEdit* date() const { return dialog->inspector->dateEditor(); }
    int row() const { return dialog->inspector->currentRow(); }
};

TEST_F(InspectorDateTest, ShowsShortDateAndLongTimeWithTheFirstPartSelected) {
    TInspectorDateEdit* de = editVisit();
    ASSERT_NE(de, nullptr);
    EXPECT_EQ(dialog->inspector->activeEditor(), de);
    EXPECT_EQ(focused(), de);
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
    EXPECT_EQ(de->selectedText(), "25");
    EXPECT_EQ(de->partCount(), 6);
    EXPECT_EQ(de->focusPolicy() & Qt::TabFocus, 0); // not in the dialog's tab order

    // The arrow button stands at the right edge, at least 15 pixels wide.
    QWidget* arrow = de->arrowButton();
    EXPECT_GE(arrow->width(), 15);
    EXPECT_EQ(arrow->geometry().right(), de->width() - 1);
    EXPECT_EQ(arrow->height(), de->height());
}

TEST_F(InspectorDateTest, TypedDateAndTimeRoundTripAndClearToNull) {
    TInspectorDateEdit* de = newVisit();
    EXPECT_EQ(de->text(), "");
    type("2512");
    EXPECT_EQ(de->currentPart(), 2); // day and month complete, the year next
    type("2008");
    EXPECT_EQ(de->currentPart(), 3);
    type("1430");
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
    EXPECT_EQ(servis("f_tarih").isNull(), true); // not written while typing
    key(Qt::Key_Tab);
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(servis("f_tarih").asDateTime(), kStored);
    EXPECT_EQ(servis("f_tarih").displayText(), "25.12.2008 14:30:00");

    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), de);
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
    key(Qt::Key_Backspace);
    EXPECT_EQ(de->text(), "");
    key(Qt::Key_Return);
    EXPECT_EQ(row(), 1);
    EXPECT_TRUE(servis("f_tarih").isNull());
}

struct YearCase {
    const char* today; // ISO date the program takes as today
    const char* typed;
    int year;
};

class InspectorYearTest : public InspectorDateTest,
                          public ::testing::WithParamInterface<YearCase> {};

TEST_P(InspectorYearTest, ShortYearsFallInTheCenturyAroundToday) {
    const data::TTodayOverride today(QDate::fromString(GetParam().today, Qt::ISODate));
    newVisit();
    type("0103");
    type(GetParam().typed);
    key(Qt::Key_Space);
    key(Qt::Key_Tab);
    EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime(QDate(GetParam().year, 3, 1), QTime(0, 0)));
    // The text conversion reads the same year.
    EXPECT_EQ(data::fieldtext::parseDateTime(QStringLiteral("1.3.") + GetParam().typed,
                                             core::formatSettings())
                  ->date()
                  .year(),
              GetParam().year);
}

// Fifty years before and forty-nine after today's year.
INSTANTIATE_TEST_SUITE_P(
    Years, InspectorYearTest,
    ::testing::Values(YearCase{"2026-06-15", "7", 2007}, YearCase{"2026-06-15", "09", 2009},
                      YearCase{"2026-06-15", "49", 2049}, YearCase{"2026-06-15", "60", 2060},
                      YearCase{"2026-06-15", "75", 2075}, YearCase{"2026-06-15", "76", 1976},
                      YearCase{"2026-06-15", "99", 1999}, YearCase{"2008-12-25", "60", 1960},
                      YearCase{"2008-12-25", "57", 2057}, YearCase{"2008-12-25", "58", 1958},
                      YearCase{"2026-06-15", "1850", 1850}));

TEST_F(InspectorDateTest, ImpossiblePartsAreRefusedAndImpossibleDatesAreNotWritten) {
    TInspectorDateEdit* de = newVisit();
    type("35"); // no 35th day
    EXPECT_EQ(beeps, 1);
    type("1");
    EXPECT_EQ(de->currentPart(), 1);
    type("13"); // no 13th month
    EXPECT_EQ(beeps, 2);
    type("2");
    type("2008");
    type("25"); // no hour 25
    EXPECT_EQ(beeps, 3);
    EXPECT_EQ(de->text(), "31.12.2008 02:00:00");

    // The day typed stays as typed while the month changes; a 31 April is not written.
    key(Qt::Key_Home);
    key(Qt::Key_Right);
    EXPECT_EQ(de->selectedText(), "12");
    type("04");
    EXPECT_EQ(de->text(), "31.04.2008 02:00:00");
    key(Qt::Key_Tab);
    EXPECT_EQ(errors.join('|').toStdString(),
              "'31.04.2008 02:00:00' is not a valid date and time.");
    EXPECT_EQ(row(), 0);
    EXPECT_EQ(focused(), de);
    EXPECT_EQ(de->text(), "31.04.2008 02:00:00");
    EXPECT_TRUE(de->isChanged());
    EXPECT_TRUE(servis("f_tarih").isNull());

    key(Qt::Key_Home);
    key(Qt::Key_Right);
    type("05");
    key(Qt::Key_Tab);
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime(QDate(2008, 5, 31), QTime(2, 0)));
    EXPECT_EQ(errors.size(), 1);
}

struct TypedCase {
    const char* typed;
    const char* stored; // ISO date and time, or empty when the date is refused
    const char* shown;  // the editor's text
};

class InspectorTypedDateTest : public InspectorDateTest,
                               public ::testing::WithParamInterface<TypedCase> {};

TEST_P(InspectorTypedDateTest, TheDateSeparatorEndsAPartAndImpossibleDatesStayTyped) {
    const data::TTodayOverride today(QDate(2026, 6, 15));
    TInspectorDateEdit* de = newVisit();
    type(GetParam().typed);
    EXPECT_EQ(de->text(), GetParam().shown);
    key(Qt::Key_Tab);
    const QString stored = GetParam().stored;
    if (stored.isEmpty()) {
        EXPECT_EQ(errors.join('|').toStdString(),
                  QStringLiteral("'%1' is not a valid date and time.")
                      .arg(GetParam().shown)
                      .toStdString());
        EXPECT_EQ(row(), 0);
        EXPECT_EQ(de->text(), GetParam().shown);
        EXPECT_TRUE(servis("f_tarih").isNull());
    } else {
        EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
        EXPECT_EQ(row(), 1);
        EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime::fromString(stored, Qt::ISODate));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Turkish, InspectorTypedDateTest,
    ::testing::Values(TypedCase{"1.2.09", "2009-02-01T00:00:00", "01.02.0009 00:00:00"},
                      TypedCase{"25.12", "2026-12-25T00:00:00", "25.12.2026 00:00:00"},
                      TypedCase{"01.02.2009", "2009-02-01T00:00:00", "01.02.2009 00:00:00"},
                      TypedCase{"1.2.200914", "2009-02-01T14:00:00", "01.02.2009 14:00:00"},
                      TypedCase{"01022009", "2009-02-01T00:00:00", "01.02.2009 00:00:00"},
                      TypedCase{"3.4", "2026-04-03T00:00:00", "03.04.2026 00:00:00"},
                      TypedCase{"31.02.2008", "", "31.02.2008 00:00:00"},
                      TypedCase{"29.02.2007", "", "29.02.2007 00:00:00"},
                      TypedCase{"00.00.0000", "", "00.00.0000 00:00:00"}));

TEST_F(InspectorDateTest, TheCalendarSpeaksTheRegionalLanguageFromItsFirstDay) {
    const data::TTodayOverride today(QDate(2026, 6, 15));
    newVisit();
    type("1.2.09"); // the year still being typed is completed when the calendar opens
    key(Qt::Key_F4);
    QCalendarWidget* cal = date()->calendar();
    ASSERT_NE(cal, nullptr);
    EXPECT_EQ(cal->selectedDate(), QDate(2009, 2, 1));
    EXPECT_EQ(cal->locale().language(), QLocale::Turkish);
    EXPECT_EQ(cal->firstDayOfWeek(), Qt::Monday);
    auto* month = cal->findChild<QToolButton*>(QStringLiteral("qt_calendar_monthbutton"));
    ASSERT_NE(month, nullptr);
    EXPECT_EQ(month->text(), "Şubat");
    key(Qt::Key_Escape);
    EXPECT_EQ(date()->text(), "01.02.2009 00:00:00");
}

TEST_F(InspectorDateTest, ArrowsChangeRowsUnlessEditorKeysModeIsOn) {
    TInspectorDateEdit* de = editVisit();
    key(Qt::Key_Down);
    EXPECT_EQ(row(), 1);
    key(Qt::Key_Up);
    EXPECT_EQ(row(), 0);
    EXPECT_EQ(focused(), de);

    key(Qt::Key_F2);
    EXPECT_TRUE(dialog->inspector->editorKeysMode());
    key(Qt::Key_End); // seconds
    key(Qt::Key_Left);
    key(Qt::Key_Left); // hours
    EXPECT_EQ(de->selectedText(), "14");
    type("23");
    key(Qt::Key_Left);
    key(Qt::Key_Up);
    EXPECT_EQ(de->text(), "25.12.2008 00:30:00"); // hours wrap without touching the date
    key(Qt::Key_Down);
    EXPECT_EQ(de->text(), "25.12.2008 23:30:00");
    key(Qt::Key_Right);
    type("59");
    key(Qt::Key_Left);
    type("+");
    EXPECT_EQ(de->text(), "25.12.2008 23:00:00");
    type("-");
    EXPECT_EQ(de->text(), "25.12.2008 23:59:00");
    type("=");
    EXPECT_EQ(de->text(), "25.12.2008 23:00:00");
    key(Qt::Key_Home);
    key(Qt::Key_Down);
    EXPECT_EQ(de->text(), "24.12.2008 23:00:00");
    key(Qt::Key_PageDown); // stays in the editor too
    EXPECT_EQ(row(), 0);

    // Ctrl+arrows always move rows; a row change switches the mode off.
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(row(), 1);
    EXPECT_FALSE(dialog->inspector->editorKeysMode());
    EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime(QDate(2008, 12, 24), QTime(23, 0)));
    key(Qt::Key_Up);
    key(Qt::Key_F2);
    key(Qt::Key_F2);
    key(Qt::Key_Down);
    EXPECT_EQ(row(), 1);
}

TEST_F(InspectorDateTest, EmptyValueTakesTodayOnUpDownHomeEnd) {
    const QString today = QDate::currentDate().toString("dd.MM.yyyy") + " 00:00:00";
    for (Qt::Key k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Home, Qt::Key_End}) {
        TInspectorDateEdit* de = newVisit();
        key(Qt::Key_F2);
        key(k);
        EXPECT_EQ(de->text(), today) << k;
        dialog.reset();
        sets->qryServis.cancel();
    }
}

TEST_F(InspectorDateTest, DeleteIsIgnoredForARequiredField) {
    TInspectorDateEdit* de = editVisit();
    servis("f_tarih").setRequired(true);
    key(Qt::Key_Delete);
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
    key(Qt::Key_Backspace);
    EXPECT_EQ(de->text(), "");
    servis("f_tarih").setRequired(false);
    key(Qt::Key_Escape); // back to the field's value
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
    key(Qt::Key_Delete);
    EXPECT_EQ(de->text(), "");
}

TEST_F(InspectorDateTest, CalendarKeysOpenCloseAndTakeTheDate) {
    TInspectorDateEdit* de = editVisit();
    key(Qt::Key_F4);
    ASSERT_TRUE(de->isDropDownOpen());
    ASSERT_NE(de->calendar(), nullptr);
    EXPECT_EQ(de->calendar()->selectedDate(), kStored.date());
    key(Qt::Key_Right);
    key(Qt::Key_Return);
    EXPECT_FALSE(de->isDropDownOpen());
    EXPECT_EQ(de->text(), "26.12.2008 14:30:00"); // the editor's time is kept
    EXPECT_EQ(focused(), de);

    key(Qt::Key_Down, Qt::AltModifier);
    ASSERT_TRUE(de->isDropDownOpen());
    key(Qt::Key_Right);
    key(Qt::Key_Escape);
    EXPECT_FALSE(de->isDropDownOpen());
    EXPECT_EQ(de->text(), "26.12.2008 14:30:00");

    key(Qt::Key_Up, Qt::AltModifier);
    ASSERT_TRUE(de->isDropDownOpen());
    key(Qt::Key_Left);
    key(Qt::Key_Tab);
    EXPECT_FALSE(de->isDropDownOpen());
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
    EXPECT_EQ(row(), 0); // Tab only closed the calendar

    key(Qt::Key_F4);
    key(Qt::Key_Left);
    key(Qt::Key_F4);
    EXPECT_FALSE(de->isDropDownOpen());
    EXPECT_EQ(de->text(), "24.12.2008 14:30:00");
    key(Qt::Key_Tab);
    EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime(QDate(2008, 12, 24), QTime(14, 30)));
}

TEST_F(InspectorDateTest, ClickingADayTakesItAndAnEmptyEditorGetsMidnight) {
    TInspectorDateEdit* de = newVisit();
    QTest::mouseClick(de->arrowButton(), Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(de->isDropDownOpen());
    QCalendarWidget* cal = de->calendar();
    cal->setSelectedDate(QDate(2009, 3, 1));
    auto* view = cal->findChild<QTableView*>();
    ASSERT_NE(view, nullptr);
    QModelIndex day15;
    for (int r = 0; r < view->model()->rowCount() && !day15.isValid(); ++r)
        for (int c = 0; c < view->model()->columnCount(); ++c) {
            const QModelIndex i = view->model()->index(r, c);
            if (view->model()->data(i).toString() == "15") {
                day15 = i;
                break;
            }
        }
    ASSERT_TRUE(day15.isValid());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(day15).center());
    EXPECT_FALSE(de->isDropDownOpen());
    EXPECT_EQ(de->text(), "15.03.2009 00:00:00");
    key(Qt::Key_Tab);
    EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime(QDate(2009, 3, 15), QTime(0, 0)));
}

TEST_F(InspectorDateTest, PressOnTheArrowOfAnotherRowSelectsTheRowAndOpensTheCalendar) {
    TInspectorDateEdit* de = editVisit();
    key(Qt::Key_Down);
    ASSERT_EQ(row(), 1);
    EXPECT_FALSE(de->isVisible());
    TRecordInspector* insp = dialog->inspector;
    const QRect cell = insp->cellRect(0, 1);
    QTest::mouseClick(insp->viewport(), Qt::LeftButton, {}, QPoint(cell.right() - 6, 8));
    EXPECT_EQ(row(), 0);
    EXPECT_TRUE(de->isDropDownOpen());
    key(Qt::Key_Escape);
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
}

TEST_F(InspectorDateTest, WritesOnUpdateRecordAndOnFocusLoss) {
    TInspectorDateEdit* de = editVisit();
    type("01012009");
    EXPECT_EQ(de->text(), "01.01.2009 14:30:00");
    sets->qryServis.post();
    sets->qryServis.close();
    sets->qryServis.open();
    EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime(QDate(2009, 1, 1), QTime(14, 30)));

    dialog.reset();
    sets->qryServis.edit();
    de = editVisit();
    type("02");
    QTest::mouseClick(dialog->save, Qt::LeftButton);
    EXPECT_EQ(focused(), dialog->save);
    EXPECT_EQ(servis("f_tarih").asDateTime(), QDateTime(QDate(2009, 1, 2), QTime(14, 30)));
}

TEST_F(InspectorDateTest, RoutedKeysLeaveTheInspectorFromTheFirstRow) {
    TInspectorDateEdit* de = editVisit();
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), dialog->cancel);
    dialog->inspector->setFocus();
    EXPECT_EQ(focused(), de);
    key(Qt::Key_Return);
    EXPECT_EQ(row(), 1);
    key(Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(row(), 0);
    // Left and Right stay in the editor.
    key(Qt::Key_Right);
    EXPECT_EQ(row(), 0);
    EXPECT_EQ(de->selectedText(), "12");
}

TEST_F(InspectorDateTest, ReadOnlyInspectorKeepsTheDate) {
    TInspectorDateEdit* de = editVisit();
    dialog->inspector->setReadOnly(true);
    type("11");
    key(Qt::Key_Backspace);
    EXPECT_EQ(de->text(), "25.12.2008 14:30:00");
    EXPECT_FALSE(de->isChanged());
}

TEST_F(InspectorDateTest, OneHookServesTwoInspectors) {
    TInspectorDateEdit* de = editVisit();
    auto* other = new TRecordInspector(dialog.get());
    other->setGeometry(10, 300, 352, 80);
    other->applyDialogSettings(&sets->srcServis);
    other->addItem("f_tarih", "Tarih");
    other->addItem("f_km", "KM");
    other->show();

    other->setFocus();
    ASSERT_NE(other->dateEditor(), nullptr);
    EXPECT_EQ(focused(), other->dateEditor());
    key(Qt::Key_Down);
    EXPECT_EQ(other->currentRow(), 1);
    EXPECT_EQ(row(), 0);

    dialog->inspector->setFocus();
    EXPECT_EQ(focused(), de);
    key(Qt::Key_Down);
    EXPECT_EQ(row(), 1);
    EXPECT_EQ(other->currentRow(), 1);
}
