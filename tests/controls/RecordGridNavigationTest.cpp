// Record grid tests: keys, clicks, wheel, scroll bar actions, column resizing and moving, focus.
#include "tests/controls/RecordGridTestSupport.h"

#include "platform/Fonts.h"

#include <QScrollBar>
#include <QWheelEvent>

namespace grid_test {
namespace {

// Counts the scroll events of qryMain, in order ("B" before-scroll, "A" after-scroll).
class NavigationTest : public GridTest {
protected:
    void showCustomersRecorded(int n) {
        showCustomers(n);
        qryMain.BeforeScroll = [this](data::TDataSet&) { events += "B"; };
        qryMain.AfterScroll = [this](data::TDataSet&) { events += "A"; };
    }
    void wheel(int delta) {
        const QPointF at = rowPoint(2);
        QWheelEvent event(at, grid->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(grid, &event);
    }
    QString events;
};

struct KeyCase {
    int startRecord;
    int key;
    Qt::KeyboardModifiers modifiers;
    int expectedRecord;
};

class KeyMoveTest : public NavigationTest, public ::testing::WithParamInterface<KeyCase> {};

// Each key is one record-set operation: one before-scroll and one after-scroll.
TEST_P(KeyMoveTest, KeyMovesTheCurrentRecordInOneOperation) {
    showCustomersRecorded(30);
    focusGrid();
    qryMain.moveBy(GetParam().startRecord - 1);
    events.clear();
    key(GetParam().key, GetParam().modifiers);
    EXPECT_EQ(qryMain.recNo(), GetParam().expectedRecord);
    EXPECT_EQ(events, "BA");
    EXPECT_TRUE(errors.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Keys, KeyMoveTest,
                         ::testing::Values(KeyCase{5, Qt::Key_Up, Qt::NoModifier, 4},
                                           KeyCase{5, Qt::Key_Left, Qt::NoModifier, 4},
                                           KeyCase{5, Qt::Key_Down, Qt::NoModifier, 6},
                                           KeyCase{5, Qt::Key_Right, Qt::NoModifier, 6},
                                           KeyCase{1, Qt::Key_PageDown, Qt::NoModifier, 11},
                                           KeyCase{25, Qt::Key_PageUp, Qt::NoModifier, 15},
                                           KeyCase{12, Qt::Key_Home, Qt::NoModifier, 1},
                                           KeyCase{12, Qt::Key_End, Qt::NoModifier, 30},
                                           KeyCase{12, Qt::Key_Home, Qt::ControlModifier, 1},
                                           KeyCase{12, Qt::Key_End, Qt::ControlModifier, 30},
                                           KeyCase{5, Qt::Key_Up, Qt::ControlModifier, 1},
                                           KeyCase{5, Qt::Key_PageUp, Qt::ControlModifier, 1},
                                           KeyCase{5, Qt::Key_Down, Qt::ControlModifier, 10},
                                           KeyCase{5, Qt::Key_PageDown, Qt::ControlModifier, 10}));

TEST_F(NavigationTest, DownOnTheLastRecordStaysAndAppendsNothing) {
    showCustomersRecorded(5);
    focusGrid();
    key(Qt::Key_End);
    events.clear();
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(qryMain.recNo(), 5);
    EXPECT_EQ(qryMain.recordCount(), 5);
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(events, "BB"); // the last record already has end-of-set: nothing moves
    EXPECT_EQ(grid->rowCount(), 6);
}

TEST_F(NavigationTest, EditingKeysAndTypedCharactersChangeNothing) {
    showCustomersRecorded(5);
    focusGrid();
    key(Qt::Key_Down);
    events.clear();
    key(Qt::Key_Delete, Qt::ControlModifier);
    key(Qt::Key_Insert);
    key(Qt::Key_F2);
    key(Qt::Key_Return);
    QTest::keyClicks(grid, "ab1");
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(qryMain.recNo(), 2);
    EXPECT_EQ(qryMain.recordCount(), 5);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_TRUE(questions.isEmpty());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(NavigationTest, TabLeavesTheGrid) {
    showCustomersRecorded(5);
    focusGrid();
    key(Qt::Key_Tab);
    EXPECT_FALSE(grid->hasFocus());
    EXPECT_EQ(qryMain.recNo(), 1);
}

TEST_F(NavigationTest, ClickMovesByTheRowDifferenceInOneMove) {
    showCustomersRecorded(30);
    key(Qt::Key_Down); // no focus yet: the keys still move
    events.clear();
    QTest::mouseClick(grid, Qt::LeftButton, {}, rowPoint(4));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(qryMain.recNo(), 5);
    EXPECT_EQ(events, "BA");
    // The indicator column and the right button move too.
    QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(5, rowTop(0) + 8));
    EXPECT_EQ(qryMain.recNo(), 1);
    QTest::mouseClick(grid, Qt::RightButton, {}, QPoint(kFirstDataLeft + 300, rowTop(9) + 3));
    EXPECT_EQ(qryMain.recNo(), 10);
    events.clear();
    QTest::mouseClick(grid, Qt::LeftButton, {}, rowPoint(9));
    EXPECT_TRUE(events.isEmpty()); // already current
}

TEST_F(NavigationTest, ClickBelowTheLastRowOnlyTakesTheFocus) {
    showCustomersRecorded(3);
    key(Qt::Key_Down);
    events.clear();
    QTest::mouseClick(grid, Qt::LeftButton, {}, rowPoint(6));
    EXPECT_TRUE(grid->hasFocus());
    EXPECT_EQ(qryMain.recNo(), 2);
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(NavigationTest, WheelMovesOneRecordPerNotch) {
    showCustomersRecorded(30);
    wheel(-120);
    EXPECT_EQ(qryMain.recNo(), 2);
    wheel(-240);
    EXPECT_EQ(qryMain.recNo(), 4);
    wheel(60);
    EXPECT_EQ(qryMain.recNo(), 4);
    wheel(60);
    EXPECT_EQ(qryMain.recNo(), 3);
}

struct DropCase {
    int from;
    int position;
    int expected;
};

class ThumbDropTest : public NavigationTest, public ::testing::WithParamInterface<DropCase> {};

TEST_P(ThumbDropTest, DroppingTheThumbMovesOnlyOnRelease) {
    showCustomersRecorded(30);
    qryMain.moveBy(GetParam().from - 1);
    QScrollBar* bar = grid->verticalScrollBar();
    bar->setSliderDown(true);
    bar->setSliderPosition(GetParam().position);
    EXPECT_EQ(qryMain.recNo(), GetParam().from); // no live tracking
    bar->setSliderDown(false);
    EXPECT_EQ(qryMain.recNo(), GetParam().expected);
    EXPECT_EQ(bar->value(), GetParam().expected);
    EXPECT_EQ(grid->vertScrollValues().pos, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Positions, ThumbDropTest,
                         ::testing::Values(DropCase{10, 1, 1}, DropCase{1, 30, 30},
                                           DropCase{1, 17, 17}, DropCase{20, 29, 29}));

TEST_F(NavigationTest, ScrollBarArrowsAndPagesActLikeKeys) {
    showCustomersRecorded(30);
    QScrollBar* bar = grid->verticalScrollBar();
    bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(qryMain.recNo(), 2);
    bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(qryMain.recNo(), 12);
    bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    EXPECT_EQ(qryMain.recNo(), 11);
    bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    EXPECT_EQ(qryMain.recNo(), 1);
    bar->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(qryMain.recNo(), 30);
    EXPECT_EQ(bar->value(), 30);
    bar->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(qryMain.recNo(), 1);
    EXPECT_EQ(bar->value(), 1);
}

TEST_F(NavigationTest, DraggingAnEdgeTo50PixelsStoresDisplayWidth7) {
    showCustomersRecorded(5);
    const int edge = kFirstDataLeft + 124;
    QTest::mousePress(grid, Qt::LeftButton, {}, QPoint(edge, 8));
    QTest::mouseMove(grid, QPoint(edge - 40, 8));
    QTest::mouseMove(grid, QPoint(kFirstDataLeft + 50, 8));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, QPoint(kFirstDataLeft + 50, 8));
    EXPECT_EQ(qryMain.fieldByName("f_arac_plaka").displayWidth(), 7);
    EXPECT_EQ(qryMain.fieldByName("f_adi").displayWidth(), 20);
    const int title = platform::textWidth(grid->titleFont(), "Araç Plakası") + 4;
    EXPECT_EQ(grid->columnWidth(0), std::max(46, title));
    EXPECT_EQ(grid->columnTitleRect(1).left(), kFirstDataLeft + std::max(46, title) + 1);
    // Reopening applies the column list again, which sets the stored width back.
    qryMain.close();
    qryMain.open();
    EXPECT_EQ(grid->columnWidth(0), 124);
}

TEST_F(NavigationTest, ResizedVisitColumnKeepsItsWidthAcrossReopening) {
    db.addCustomers(1);
    db.addVisits(1, 2);
    grid->setDataSource(&srcServis);
    openVisits(1);
    showWindow();
    const int edge = kFirstDataLeft + 124;
    QTest::mousePress(grid, Qt::LeftButton, {}, QPoint(edge + 1, 8));
    QTest::mouseMove(grid, QPoint(kFirstDataLeft + 51, 8));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, QPoint(kFirstDataLeft + 51, 8));
    EXPECT_EQ(qryServis.fieldByName("f_tarih").displayWidth(), 7);
    qryServis.close();
    openVisits(1);
    EXPECT_EQ(grid->columnWidth(0), 46);
    EXPECT_EQ(grid->columnWidth(1), 124);
}

TEST_F(NavigationTest, DraggingTelefonOntoAracPlakasiReordersTheFields) {
    showCustomersRecorded(5);
    const QPoint start = grid->columnTitleRect(2).center();
    QTest::mousePress(grid, Qt::LeftButton, {}, start);
    for (int x = start.x() - 20; x > kFirstDataLeft + 30; x -= 40)
        QTest::mouseMove(grid, QPoint(x, start.y()));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, QPoint(kFirstDataLeft + 30, start.y()));
    EXPECT_EQ(qryMain.field(0).fieldName(), "f_tel");
    QStringList titles;
    for (int c = 0; c < grid->dataColumnCount(); ++c)
        titles << grid->columnTitle(c);
    EXPECT_EQ(titles, QStringList({"Telefon", "Araç Plakası", "Müşteri Adı", "Cep Telefonu"}));
}

TEST_F(NavigationTest, TitleMovesBelowTheThresholdChangeNothing) {
    showCustomersRecorded(5);
    const QPoint start = grid->columnTitleRect(2).center();
    QTest::mousePress(grid, Qt::LeftButton, {}, start);
    QTest::mouseMove(grid, start + QPoint(-2, 2));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, start + QPoint(-2, 2));
    EXPECT_EQ(qryMain.field(2).fieldName(), "f_tel");
    // Released right of the last column: the dragged one becomes the last.
    QTest::mousePress(grid, Qt::LeftButton, {}, start);
    QTest::mouseMove(grid, start + QPoint(0, 3));
    QTest::mouseMove(grid, QPoint(600, start.y()));
    QTest::mouseRelease(grid, Qt::LeftButton, {}, QPoint(600, start.y()));
    EXPECT_EQ(qryMain.field(3).fieldName(), "f_tel");
    EXPECT_EQ(qryMain.field(2).fieldName(), "f_gsm");
}

TEST_F(NavigationTest, DraggedTitleNearAnEdgeScrollsOneColumnPerTimerTick) {
    db.addCustomers(1);
    db.addVisits(1, 2);
    grid->setDataSource(&srcServis);
    openVisits(1);
    showWindow();
    const int right = grid->clientArea().right();
    const QPoint start = grid->columnTitleRect(1).center();
    QTest::mousePress(grid, Qt::LeftButton, {}, start);
    QTest::mouseMove(grid, QPoint(right - 40, start.y()));
    QTest::mouseMove(grid, QPoint(right - 5, start.y()));
    EXPECT_EQ(grid->leftColumn(), 0); // nothing before the first tick
    EXPECT_TRUE(QTest::qWaitFor([this] { return grid->leftColumn() >= 1; }, 3000));
    // Moving leftwards near the right edge does not scroll; near the left edge it scrolls back.
    QTest::mouseMove(grid, QPoint(right - 8, start.y()));
    const int scrolled = grid->leftColumn();
    QTest::qWait(250);
    EXPECT_EQ(grid->leftColumn(), scrolled);
    QTest::mouseMove(grid, QPoint(kFirstDataLeft + 5, start.y()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return grid->leftColumn() < scrolled; }, 3000));
    // Dropped on the first column in view: "KM" takes that field's place.
    const int target = grid->leftColumn();
    const QString targetName = grid->columnField(target)->fieldName();
    const int targetIndex = qryServis.fieldByName(targetName).index();
    QTest::mouseRelease(grid, Qt::LeftButton, {}, QPoint(kFirstDataLeft + 5, start.y()));
    EXPECT_EQ(qryServis.fieldByName("f_km").index(), targetIndex);
}

TEST_F(NavigationTest, EscapeOnAModifiedPendingInsertAsksBeforeDiscarding) {
    showCustomersRecorded(5);
    focusGrid();
    qryMain.insert();
    qryMain.fieldByName("f_adi").setAsString("Yeni");
    key(Qt::Key_Escape);
    ASSERT_EQ(questions, QStringList({"Discard changes to this record?"}));
    EXPECT_EQ(questionTypes[0], platform::MsgType::Confirmation);
    EXPECT_EQ(questionButtons[0], int(platform::MsgButton::Yes) | int(platform::MsgButton::No));
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsInsert);
    EXPECT_EQ(qryMain.fieldByName("f_adi").asString(), "Yeni");
    answer = platform::MsgButton::Yes;
    key(Qt::Key_Escape);
    EXPECT_EQ(questions.size(), 2);
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(qryMain.recordCount(), 5);
}

TEST_F(NavigationTest, EscapeCancelsAnUntouchedEditWithoutAskingAndIgnoresBrowse) {
    showCustomersRecorded(5);
    focusGrid();
    key(Qt::Key_Escape);
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    qryMain.edit();
    key(Qt::Key_Escape);
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_TRUE(questions.isEmpty());
}

TEST_F(NavigationTest, ArrowsOnAnUntouchedInsertCancelIt) {
    showCustomersRecorded(5);
    focusGrid();
    key(Qt::Key_Down);
    qryMain.insert();
    key(Qt::Key_Down); // not at the end: cancel, back on record 2
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(qryMain.recNo(), 2);
    qryMain.insert();
    key(Qt::Key_Up); // the move drops the blank record first
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(qryMain.recNo(), 1);
    EXPECT_EQ(qryMain.recordCount(), 5);
}

TEST_F(NavigationTest, LeavingTheGridCancelsOnlyAnUntouchedInsert) {
    showCustomersRecorded(5);
    focusGrid();
    qryMain.insert();
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsBrowse);
    EXPECT_FALSE(grid->focusFlag());
    focusGrid();
    qryMain.insert();
    qryMain.fieldByName("f_adi").setAsString("Yeni");
    other->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsInsert);
    qryMain.cancel();
}

TEST_F(NavigationTest, AnotherWindowTakingOverKeepsTheHighlight) {
    showCustomersRecorded(5);
    focusGrid();
    qryMain.insert();
    QFocusEvent away(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
    QApplication::sendEvent(grid, &away);
    EXPECT_TRUE(grid->focusFlag());
    EXPECT_EQ(qryMain.state(), data::TDataSetState::dsInsert);
    qryMain.cancel();
}

TEST_F(NavigationTest, FailingMoveGoesToTheErrorBox) {
    showCustomersRecorded(5);
    focusGrid();
    qryMain.BeforeScroll = [](data::TDataSet&) { throw EDatabaseError("qryMain: kapalı"); };
    key(Qt::Key_Down);
    EXPECT_EQ(errors, QStringList({"qryMain: kapalı."}));
    EXPECT_EQ(qryMain.recNo(), 1);
}

} // namespace
} // namespace grid_test
