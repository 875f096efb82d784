// The record window on its own: filling, moving with shifts and flags, re-reading, resizing and
// the blank record of an insert, over a recordset of a real database file.
#include "DataTestSupport.h"

#include "data/RecordWindow.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"

#include <gtest/gtest.h>

using data::RecordBuffer;
using data::RecordWindow;

namespace {

class RecordWindowTest : public ::testing::Test {
protected:
    // Customers named by the letters, in this order.
    void open(const QString& letters) {
        for (QChar c : letters)
            db.addCustomer(QString(c));
        connection.open(data::fileConnectionString(db.path()));
        rs.open(connection, "select id, f_adi from t_musteri order by id");
        window.attach(rs, [this] {
            RecordBuffer b;
            b.values.push_back(rs.value(1));
            b.stored = true;
            b.bookmark = rs.bookmark();
            b.recNo = rs.absolutePosition();
            ++reads;
            return b;
        });
    }
    // The window's names, the active one in brackets, a blank record as "+".
    QString shown() const {
        QStringList names;
        for (int i = 0; i < window.size(); ++i) {
            const RecordBuffer& b = window.record(i);
            const QString name = b.stored ? std::get<QString>(b.values[0]) : QStringLiteral("+");
            names << (i == window.active() ? '[' + name + ']' : name);
        }
        return names.join(' ');
    }
    QString flags() const {
        return QStringLiteral("%1%2").arg(window.bof() ? "bof" : "-", window.eof() ? " eof" : " -");
    }
    QString cursorName() { return rs.eof() || rs.bof() ? "-" : std::get<QString>(rs.value(1)); }
    QString moved(int distance) {
        const RecordWindow::Moved m = window.moveBy(distance);
        return QStringLiteral("%1 %2%3").arg(m.steps).arg(m.shift).arg(m.countChanged ? " +" : "");
    }

    testsupport::TestDatabase db;
    cursor::Connection connection;
    cursor::Recordset rs;
    RecordWindow window;
    int reads = 0;
};

TEST_F(RecordWindowTest, FillsFromEitherEndUpToItsCapacity) {
    open("ABCDE");
    window.setCapacity(3);
    EXPECT_EQ(reads, 0) << "an empty window reads nothing when it grows";
    window.fillFromFirst();
    EXPECT_EQ(shown(), "[A] B C");
    EXPECT_EQ(flags(), "bof -");
    EXPECT_EQ(window.record(0).recNo, 1);
    window.fillFromLast();
    EXPECT_EQ(shown(), "C D [E]");
    EXPECT_EQ(flags(), "- eof");
    EXPECT_EQ(window.record(0).recNo, 3);
}

TEST_F(RecordWindowTest, AnEmptyResultGivesAnEmptyWindowWithBothFlags) {
    open("");
    window.setCapacity(3);
    window.fillFromFirst();
    EXPECT_TRUE(window.empty());
    EXPECT_EQ(flags(), "bof eof");
    EXPECT_FALSE(window.canMove(1));
    EXPECT_FALSE(window.canMove(-1));
    window.fillFromLast();
    EXPECT_EQ(flags(), "bof eof");
    EXPECT_EQ(window.reread(RecordWindow::Placement::KeepPosition, false),
              RecordWindow::Reread::Empty);
}

TEST_F(RecordWindowTest, MovesInsideTheWindowThenFetchesAndCountsTheShift) {
    open("ABCDE");
    window.setCapacity(3);
    window.fillFromFirst();
    EXPECT_FALSE(window.canMove(0));
    EXPECT_FALSE(window.canMove(-1)) << "at the beginning of the set";
    EXPECT_EQ(moved(1), "1 0");
    EXPECT_EQ(shown(), "A [B] C");
    EXPECT_EQ(moved(2), "2 -1");
    EXPECT_EQ(shown(), "B C [D]");
    EXPECT_EQ(flags(), "- -");
    EXPECT_EQ(moved(5), "1 -1") << "stops on the last record";
    EXPECT_EQ(shown(), "C D [E]");
    EXPECT_EQ(flags(), "- eof");
    EXPECT_FALSE(window.canMove(1));
    EXPECT_EQ(moved(-4), "-4 2");
    EXPECT_EQ(shown(), "[A] B C");
    EXPECT_EQ(flags(), "- -");
    EXPECT_EQ(moved(-1), "0 0");
    EXPECT_EQ(flags(), "bof -");
}

TEST_F(RecordWindowTest, ASmallerResultThanTheCapacityMovesWithoutShifting) {
    open("AB");
    window.setCapacity(3);
    window.fillFromFirst();
    EXPECT_EQ(moved(3), "1 0");
    EXPECT_EQ(shown(), "A [B]");
    EXPECT_EQ(flags(), "- eof");
}

TEST_F(RecordWindowTest, RereadPlacesTheRecordWhereItWasOrInTheMiddle) {
    open("ABCDEFGHIJ");
    window.setCapacity(5);
    window.fillFromFirst();
    window.setActive(4);
    rs.setAbsolutePosition(7); // G
    EXPECT_EQ(window.reread(RecordWindow::Placement::KeepPosition, false),
              RecordWindow::Reread::Read);
    EXPECT_EQ(shown(), "C D E F [G]");
    rs.setAbsolutePosition(7);
    EXPECT_EQ(window.reread(RecordWindow::Placement::Centre, true), RecordWindow::Reread::Read);
    EXPECT_EQ(shown(), "E F [G] H I");
    rs.setAbsolutePosition(2); // B: too few records before it for the middle
    window.reread(RecordWindow::Placement::Centre, true);
    EXPECT_EQ(shown(), "A [B] C D E");
    rs.setAbsolutePosition(10); // J: the window fills backwards
    window.reread(RecordWindow::Placement::Centre, true);
    EXPECT_EQ(shown(), "F G H I [J]");
    EXPECT_EQ(flags(), "- -");
}

TEST_F(RecordWindowTest, RereadWithoutACurrentRowTakesTheNextThenThePriorUnlessExact) {
    open("ABCD");
    window.setCapacity(3);
    window.fillFromFirst();
    rs.setAbsolutePosition(2);
    rs.deleteCurrent(); // B goes; the recordset stands on C
    window.reread(RecordWindow::Placement::KeepPosition, false);
    EXPECT_EQ(shown(), "A [C] D");
    rs.moveLast();
    rs.moveNext(); // past the end
    const QString before = shown();
    EXPECT_EQ(window.reread(RecordWindow::Placement::Centre, true), RecordWindow::Reread::NotFound);
    EXPECT_EQ(shown(), before) << "an exact re-read changes nothing when it finds nothing";
    EXPECT_EQ(window.reread(RecordWindow::Placement::Centre, false), RecordWindow::Reread::Read);
    EXPECT_EQ(shown(), "A C [D]") << "at the end: the prior record";
}

TEST_F(RecordWindowTest, ShrinkingDropsRecordsAfterTheActiveOneFirst) {
    open("ABCDEF");
    window.setCapacity(5);
    window.fillFromFirst();
    window.setActive(3);
    EXPECT_EQ(window.setCapacity(3), -1);
    EXPECT_EQ(shown(), "B C [D]");
    EXPECT_EQ(window.setCapacity(5), 0) << "growing fills forwards first";
    EXPECT_EQ(shown(), "B C [D] E F");
    EXPECT_EQ(window.setCapacity(6), 1);
    EXPECT_EQ(shown(), "A B C [D] E F");
    EXPECT_EQ(window.setCapacity(6), 0);
}

TEST_F(RecordWindowTest, ABlankRecordStandsInFrontOfTheActiveOne) {
    open("ABCD");
    window.setCapacity(3);
    window.fillFromFirst();
    window.setActive(1);
    RecordBuffer blank;
    blank.values.resize(1);
    window.insertBlank(blank);
    EXPECT_EQ(shown(), "A [+] B") << "the last record drops out of the full window";
    EXPECT_EQ(window.activeRecord().insertBefore, window.record(2).bookmark);
    rs.moveLast();
    window.cursorToActive();
    EXPECT_EQ(cursorName(), "B") << "the record the blank stands before";
    window.removeActive();
    EXPECT_EQ(shown(), "A [B]");
    window.cursorToActive();
    EXPECT_EQ(cursorName(), "B");
}

TEST_F(RecordWindowTest, ABlankRecordOfAnEmptySetStandsAtTheEnd) {
    open("");
    window.setCapacity(3);
    window.fillFromFirst();
    RecordBuffer blank;
    blank.values.resize(1);
    window.insertBlank(blank);
    EXPECT_EQ(shown(), "[+]");
    EXPECT_FALSE(window.activeRecord().insertBefore);
    window.cursorToActive(); // no record to stand on
    EXPECT_TRUE(rs.eof());
    window.removeActive();
    EXPECT_TRUE(window.empty());
    EXPECT_EQ(window.active(), 0);
}

} // namespace
