// Visit amounts the program cannot read or sum: the visit list, its calculated cells, the totals
// line and the refusal of a typed amount whose visit sums would overflow.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/InspectorEdit.h"
#include "controls/RecordInspector.h"
#include "dialogs/Service.h"
#include "platform/Application.h"
#include "tests/support/Boxes.h"
#include "tests/support/CommandDialog.h"
#include "tests/support/TestDatabase.h"

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <array>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

using testsupport::TestDatabase;

namespace {

const char* const kUnreadable = "Toplamlar hesaplanamadı: okunamayan bir tutar var";
const char* const kTooLarge = "Toplamlar hesaplanamadı: tutarlar çok büyük";
const char* const kNotOpened = "Servis listesi açılamadı: toplamlar gösterilemiyor";

using testsupport::Boxes;

class VisitAmounts : public ::testing::Test {
protected:
    TestDatabase db;
    Boxes boxes;
    std::unique_ptr<app::TfrmMain> w;
    std::optional<app::MainParts> parts; // found once the window is built

    void open() {
        w = std::make_unique<app::TfrmMain>(db.directory());
        parts.emplace(*w);
        w->show();
        QApplication::setActiveWindow(w.get());
    }
    QString totals() const { return parts->pnlToplam->caption(); }
    data::TField& visit(const char* name) { return parts->qryServis.fieldByName(name); }
    // Moves the visit list onto the visit with the given key.
    void goToVisit(qint64 id) {
        parts->qryServis.first();
        while (!parts->qryServis.eof() && visit("id").asInteger() != id)
            parts->qryServis.next();
        ASSERT_EQ(visit("id").asInteger(), id);
    }
    QString errors() const { return boxes.errors.join('\n'); }
    // Clicks a command button; the steps run inside the modal dialog it opens.
    void run(controls::TGradButton* button, std::function<void(dialogs::TEditDialog&)> steps) {
        testsupport::runCommandDialog(button, std::move(steps), testsupport::DialogFocus::Any);
    }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = {}) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    }
    static void type(const QString& text) {
        for (QChar c : text)
            QTest::keyClick(QApplication::focusWidget(), char(c.unicode()));
    }
};

struct BadCell {
    const char* column;
    const char* sql; // the value as an SQL literal
};

class UnreadableAmount : public VisitAmounts, public ::testing::WithParamInterface<BadCell> {};

TEST_P(UnreadableAmount, ShowsBcdOverflowAndLeavesTheOtherVisitsUsable) {
    const BadCell& bad = GetParam();
    const qint64 first = db.addCustomer("Birinci");
    db.addVisit(first, "7.0000", "", "");
    const qint64 a = db.addCustomer("Ahmet");
    const qint64 good = db.addVisit(a, "100.0000", "50.5000", "120.0000");
    const qint64 broken = db.addVisit(a, "1.0000", "2.0000", "3.0000");
    db.exec(
        QString("update t_servis set %1 = %2 where id = %3").arg(bad.column, bad.sql).arg(broken));
    open();
    EXPECT_EQ(totals(), "Toplam Tutar:  7,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  7,00 TL  ");

    parts->qryMain.next(); // onto Ahmet
    EXPECT_TRUE(boxes.errors.isEmpty()) << errors().toStdString();
    ASSERT_TRUE(parts->qryServis.active());
    EXPECT_EQ(parts->qryServis.recordCount(), 2);
    // Never the previous customer's sums, never a sum that leaves the bad cell out.
    EXPECT_EQ(totals(), QString::fromUtf8(kUnreadable));

    goToVisit(broken);
    EXPECT_EQ(visit(bad.column).displayText(), "BCD overflow");
    EXPECT_EQ(visit("c_toplam").displayText(), "");
    EXPECT_EQ(visit("c_kalan").displayText(), "");
    goToVisit(good);
    EXPECT_EQ(visit("c_toplam").displayText(), "150,50 TL");
    EXPECT_EQ(visit("c_kalan").displayText(), "30,50 TL");

    // The good visit can be edited and saved.
    platform::guarded([&] {
        parts->qryServis.edit();
        visit("f_km").setText("12000");
        parts->qryServis.post();
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << errors().toStdString();
    EXPECT_EQ(db.scalar(QString("select f_km from t_servis where id = %1").arg(good)), "12000");
    EXPECT_EQ(totals(), QString::fromUtf8(kUnreadable));

    // The unreadable visit can be deleted, and the sums are then whole again.
    goToVisit(broken);
    parts->btnServisSil->click();
    EXPECT_TRUE(boxes.errors.isEmpty()) << errors().toStdString();
    EXPECT_EQ(db.count("t_servis"), 2);
    EXPECT_EQ(totals(), "Toplam Tutar:  150,50 TL  -   Toplam Ödeme:  120,00 TL  -   "
                        "Kalan Ödeme:  30,50 TL  ");

    // And a new visit can be added.
    platform::guarded([&] {
        parts->qryServis.insert();
        visit("id_musteri").setAsInteger(a);
        visit("f_iscilik").setText("10");
        parts->qryServis.post();
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << errors().toStdString();
    EXPECT_EQ(db.scalar(QString("select count(*) from t_servis where id_musteri = %1").arg(a)),
              "2");
}

INSTANTIATE_TEST_SUITE_P(
    CellsTheProgramCannotRead, UnreadableAmount,
    ::testing::Values(BadCell{"f_iscilik", "'12,50'"}, BadCell{"f_iscilik", "'1e300'"},
                      BadCell{"f_tutar", "'abc'"}, BadCell{"f_odeme", "X'00FF10'"},
                      BadCell{"f_iscilik", "'99999999999999999999.0000'"},
                      BadCell{"f_odeme", "1e300"}),
    [](const auto& info) { return std::to_string(info.index) + "_" + info.param.column; });

TEST_F(VisitAmounts, AVisitListThatCannotOpenIsSaidInTheTotalsLine) {
    const qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "100.0000", "", "");
    db.addCustomer("Veli");
    open();
    EXPECT_EQ(totals(), "Toplam Tutar:  100,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  100,00 TL  ");
    // Another program holds the file locked while the next customer's visits are read.
    db.exec("begin exclusive");
    platform::guarded([&] { parts->qryMain.next(); });
    db.exec("commit");
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(boxes.errors[0],
              "Veritabanı dosyası şu anda başka bir bilgisayar ya da program tarafından "
              "kullanılıyor (kilitli). Birkaç saniye bekleyip yeniden deneyin. Ayrıntı: "
              "database is locked.");
    EXPECT_FALSE(parts->qryServis.active());
    EXPECT_EQ(totals(), QString::fromUtf8(kNotOpened));
}

struct Overflow {
    const char* name;
    std::vector<std::array<const char*, 3>> visits; // labour, material, paid
};

class SumOutsideTheRange : public VisitAmounts, public ::testing::WithParamInterface<Overflow> {};

TEST_P(SumOutsideTheRange, IsReportedInsteadOfWrappingOrLeftBlank) {
    const qint64 a = db.addCustomer("Ahmet");
    for (const auto& v : GetParam().visits)
        db.addVisit(a, v[0], v[1], v[2]);
    open();
    EXPECT_TRUE(boxes.errors.isEmpty()) << errors().toStdString();
    EXPECT_EQ(parts->qryServis.recordCount(), int(GetParam().visits.size()));
    EXPECT_EQ(totals(), QString::fromUtf8(kTooLarge));
}

INSTANTIATE_TEST_SUITE_P(
    Sums, SumOutsideTheRange,
    ::testing::Values(
        // Each visit sums, their totals do not (this once read -844.674.407.370.955,00 TL).
        Overflow{"TwoVisits", {{"500000000000000.0000", "", ""}, {"500000000000000.0000", "", ""}}},
        // The visit's own total lies outside the range: its calculated cells stay empty.
        Overflow{"OneVisit", {{"922337203685477.5807", "1.0000", ""}}},
        // A balance below the range.
        Overflow{"Balance", {{"", "", "922337203685477.0000"}, {"-922337203685477.0000", "", ""}}},
        // Inside the range, but too large for the money text, which would show a blank.
        Overflow{"Text", {{"90000000000000.0000", "", ""}, {"90000000000000.0000", "", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VisitAmounts, AVisitsCalculatedCellsAreEmptyWhenItsOwnSumOverflows) {
    const qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "922337203685477.5807", "1.0000", "");
    open();
    EXPECT_EQ(visit("f_iscilik").displayText(), "922.337.203.685.477,58 TL");
    EXPECT_EQ(visit("c_toplam").displayText(), "");
    EXPECT_EQ(visit("c_kalan").displayText(), "");
}

TEST_F(VisitAmounts, AnAmountTheVisitCannotSumIsRefusedWhenTypedAndKeepsItsText) {
    const qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "500000000000000.0000", "", "");
    open();
    run(parts->btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(7); // "Malzeme Tutarı"
        type("500000000000000");
        key(Qt::Key_Tab);
        ASSERT_EQ(boxes.errors.size(), 1);
        EXPECT_EQ(boxes.errors[0], QString::fromUtf8("Malzeme Tutarı çok büyük: bu tutarla "
                                                     "servisin toplamı hesaplanamaz."));
        EXPECT_EQ(d.findChild<controls::TRecordInspector*>("insMain")->currentRow(), 7);
        EXPECT_EQ(d.findChild<controls::TRecordInspector*>("insMain")->textEditor()->text(),
                  "500000000000000");
        EXPECT_TRUE(visit("f_tutar").isNull());
        EXPECT_EQ(visit("c_toplam").displayText(), "500.000.000.000.000,00 TL");
        // A payment the balance cannot hold is refused the same way.
        key(Qt::Key_Escape);
        type("1");
        key(Qt::Key_Tab);
        ASSERT_EQ(boxes.errors.size(), 1) << errors().toStdString();
        EXPECT_EQ(visit("c_toplam").displayText(), "500.000.000.000.001,00 TL");
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(9); // "Alınan Ödeme"
        type("-500000000000000");
        key(Qt::Key_Tab);
        ASSERT_EQ(boxes.errors.size(), 2);
        EXPECT_TRUE(boxes.errors[1].startsWith(QString::fromUtf8("Alınan Ödeme çok büyük")));
        EXPECT_TRUE(visit("f_odeme").isNull());
        key(Qt::Key_Escape);
        type("-5");
        key(Qt::Key_Tab);
        QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_EQ(boxes.errors.size(), 2) << errors().toStdString();
    EXPECT_EQ(db.scalar("select f_tutar from t_servis"), "1.0000");
    EXPECT_EQ(db.scalar("select f_odeme from t_servis"), "-5.0000");
    // Sums of ten trillion and more are beyond the totals line's money text.
    EXPECT_EQ(totals(), QString::fromUtf8(kTooLarge));
}

// Two processes on one file: the sqlite3 shell writes an unreadable amount while the program
// runs; the program's window shows it when it next lists that customer's visits.
TEST_F(VisitAmounts, ABadCellWrittenByAnotherProgramShowsInTheRunningWindow) {
    const QString shell = QStandardPaths::findExecutable("sqlite3");
    ASSERT_FALSE(shell.isEmpty()) << "the sqlite3 shell is needed (package sqlite3)";
    const qint64 a = db.addCustomer("Ahmet");
    db.addVisit(a, "100.0000", "", "");
    const qint64 second = db.addVisit(a, "20.0000", "", "");
    db.addCustomer("Veli");
    open();
    EXPECT_EQ(totals(), "Toplam Tutar:  120,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  120,00 TL  ");

    QProcess other;
    other.start(shell, {db.path(), QString("update t_servis set f_tutar = '12,50' where id = %1; "
                                           "select changes();")
                                       .arg(second)});
    ASSERT_TRUE(other.waitForFinished(10000));
    EXPECT_EQ(other.exitCode(), 0) << other.readAllStandardError().toStdString();
    EXPECT_EQ(other.readAllStandardOutput().trimmed(), "1");

    parts->qryMain.next(); // Veli, then back to Ahmet: the list is read again
    parts->qryMain.first();
    EXPECT_TRUE(boxes.errors.isEmpty()) << errors().toStdString();
    ASSERT_TRUE(parts->qryServis.active());
    EXPECT_EQ(parts->qryServis.recordCount(), 2);
    EXPECT_EQ(totals(), QString::fromUtf8(kUnreadable));
    goToVisit(second);
    EXPECT_EQ(visit("f_tutar").displayText(), "BCD overflow");
    EXPECT_EQ(visit("c_toplam").displayText(), "");

    // The window shows it too, in the visit grid's cells.
    run(parts->btnServisDuzenle, [&](dialogs::TEditDialog& d) {
        EXPECT_EQ(visit("f_tutar").editText(), "BCD overflow");
        d.findChild<controls::TRecordInspector*>("insMain")->setCurrentRow(1); // "KM"
        type("5");
        QTest::mouseClick(d.findChild<QPushButton*>("btnTamam"), Qt::LeftButton);
        EXPECT_FALSE(d.isVisible());
    });
    EXPECT_TRUE(boxes.errors.isEmpty()) << errors().toStdString();
    // The edit stored the typed kilometres and left the other program's cell as it was.
    EXPECT_EQ(
        db.scalar(QString("select f_km || '|' || f_tutar from t_servis where id = %1").arg(second)),
        "5|12,50");
}

// A customer with more visits than the list shows: the totals line gives the sums of every visit
// as the file holds them, read back by a second connection, and so does it after a visit changed
// elsewhere and the list was read again on coming back to the customer.
TEST_F(VisitAmounts, TheTotalsLineGivesTheSumsOfEveryVisitInTheFile) {
    const qint64 other = db.addCustomer("Ayşe");
    db.addVisit(other, "5.0000", "", "");
    const qint64 fleet = db.addCustomer("Büyük Filo");
    for (int i = 0; i < 180; ++i)
        db.addVisit(
            fleet,
            QStringLiteral("%1.%2").arg(1000 + 37 * i).arg(i * 7 % 100, 2, 10, QChar('0')) + "00",
            QStringLiteral("%1.5000").arg(i * 13 % 700), QStringLiteral("%1.0000").arg(900 + i));
    // Money text as the totals line writes it: grouped thousands, a comma before the hundredths.
    const auto text = [](qint64 hundredths) {
        QString units = QString::number(std::abs(hundredths) / 100);
        for (int at = int(units.size()) - 3; at > 0; at -= 3)
            units.insert(at, '.');
        return (hundredths < 0 ? "-" : "") + units + ',' +
               QStringLiteral("%1").arg(std::abs(hundredths) % 100, 2, 10, QChar('0'));
    };
    const auto expected = [&] {
        const auto sum = [&](const char* expression) {
            return db
                .scalar(QStringLiteral("select sum(%1) from t_servis where id_musteri = %2")
                            .arg(QString::fromLatin1(expression))
                            .arg(fleet))
                .toLongLong();
        };
        const qint64 total = sum("cast(round(f_iscilik * 100) as integer) + "
                                 "cast(round(f_tutar * 100) as integer)");
        const qint64 paid = sum("cast(round(f_odeme * 100) as integer)");
        return "Toplam Tutar:  " + text(total) + " TL  -   Toplam Ödeme:  " + text(paid) +
               " TL  -   Kalan Ödeme:  " + text(total - paid) + " TL  ";
    };
    open();
    ASSERT_TRUE(parts->qryMain.locate("id", {QString::number(fleet)}, {}));
    EXPECT_EQ(parts->qryServis.recordCount(), 180);
    EXPECT_LT(parts->qryServis.windowRecordCount(), 180);
    EXPECT_EQ(totals(), expected());

    db.exec(QStringLiteral("update t_servis set f_iscilik = '123456.7800', f_odeme = null "
                           "where id_musteri = %1 and id % 3 = 0")
                .arg(fleet));
    ASSERT_TRUE(parts->qryMain.locate("id", {QString::number(other)}, {}));
    EXPECT_EQ(totals(), "Toplam Tutar:  5,00 TL  -   Toplam Ödeme:  0,00 TL  -   "
                        "Kalan Ödeme:  5,00 TL  ");
    ASSERT_TRUE(parts->qryMain.locate("id", {QString::number(fleet)}, {}));
    EXPECT_EQ(totals(), expected());
}

} // namespace
