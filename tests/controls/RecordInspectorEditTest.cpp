// Tests of inspector editing: writing typed values, refused keys, Esc, moves, focus and errors.
#include "core/RegionalSettings.h"
#include "tests/controls/InspectorTestSupport.h"
#include "tests/support/Ink.h"

#include <QClipboard>
#include <QSignalSpy>

using namespace inspector_test;

namespace {

constexpr int kDate = 0, kKm = 1, kAriza = 2, kLabour = 6, kMaterial = 7, kTotal = 8, kPaid = 9,
              kBalance = 10, kNote = 11;

QString decimalSeparator() {
    return QString(core::formatSettings().decimalSeparator);
}

// The data cell of a row as it would look with only text drawn on the cream area: the part
// inside the cell's lines and edges.
QImage expectedDataText(const TRecordInspector* insp, int row, const QString& text,
                        const QString& secondLine = {}) {
    const QRect cell = insp->cellRect(row, 1);
    QImage image(cell.size(), QImage::Format_RGB32);
    image.fill(platform::clCream.toQColor());
    controls::TCanvas canvas(image);
    canvas.font = insp->font();
    canvas.brushClear = true;
    canvas.textOut(2, 1, text);
    if (!secondLine.isEmpty())
        canvas.textOut(2, 1 + platform::windowsTextHeight(canvas.font), secondLine);
    return image.copy(2, 0, cell.width() - 4, cell.height() - 1);
}

QImage shownDataText(const QImage& grabbed, const TRecordInspector* insp, int row) {
    const QRect cell = insp->cellRect(row, 1);
    return grabbed.copy(cell.left() + 2, cell.top(), cell.width() - 4, cell.height() - 1);
}

} // namespace

class InspectorEditTest : public InspectorFixture {
protected:
    // The service dialog on the stored visit in the edit state, on the given row.
    TRecordInspector* editVisitAt(int row) {
        sets->qryServis.edit();
        TRecordInspector* insp = showService();
        for (int i = 0; i < row; ++i)
            key(Qt::Key_Down);
        EXPECT_EQ(insp->currentRow(), row);
        return insp;
    }
};

TEST_F(InspectorEditTest, EnterWritesTheNameAndSelectsTheNextRowsText) {
    sets->db.exec("update t_musteri set f_tel = '0212 555 00 00' where id = 1");
    sets->qryMain.close();
    sets->qryMain.open();
    sets->qryMain.edit();
    TRecordInspector* insp = showCustomer();
    EXPECT_EQ(insp->currentRow(), 0);
    EXPECT_EQ(selectedText(), QString::fromUtf8("Ahmet Yılmaz")); // typing replaces the value

    type(QString::fromUtf8("Mehmet Öz"));
    EXPECT_EQ(musteri("f_adi").asString(), QString::fromUtf8("Ahmet Yılmaz")); // not yet
    key(Qt::Key_Return);

    EXPECT_EQ(musteri("f_adi").asString(), QString::fromUtf8("Mehmet Öz"));
    EXPECT_EQ(insp->currentRow(), 1);
    EXPECT_EQ(editorText(), "0212 555 00 00");
    EXPECT_EQ(selectedText(), "0212 555 00 00");
    EXPECT_EQ(focused(), editor());
    EXPECT_FALSE(insp->isModified());
}

TEST_F(InspectorEditTest, NewCustomerNameGoesIntoThePendingRecord) {
    sets->qryMain.insert();
    showCustomer();
    type("Yeni");
    key(Qt::Key_Return);
    EXPECT_EQ(sets->qryMain.state(), data::TDataSetState::dsInsert);
    EXPECT_EQ(musteri("f_adi").asString(), "Yeni");
    EXPECT_EQ(editorText(), "");
    EXPECT_EQ(dialog->inspector->currentRow(), 1);
}

TEST_F(InspectorEditTest, AmountIsWrittenOnTabAndTotalsFollowAtOnce) {
    TRecordInspector* insp = editVisitAt(kLabour);
    const QImage before = grabViewport();

    type("12" + decimalSeparator() + "5");
    // Still typing: nothing written, the totals show their old values.
    EXPECT_EQ(servis("f_iscilik").asMoney(), Money::fromUnits(100));
    EXPECT_EQ(servis("c_toplam").displayText(), "150,00 TL");
    QImage typing = grabViewport();
    EXPECT_TRUE(
        sameImage(shownDataText(typing, insp, kTotal), shownDataText(before, insp, kTotal)));
    EXPECT_TRUE(
        sameImage(shownDataText(typing, insp, kBalance), shownDataText(before, insp, kBalance)));

    key(Qt::Key_Tab);
    EXPECT_EQ(servis("f_iscilik").asMoney(), Money::fromRaw(125000));
    EXPECT_EQ(servis("c_toplam").displayText(), "62,50 TL");
    EXPECT_EQ(servis("c_kalan").displayText(), "32,50 TL");
    EXPECT_EQ(insp->currentRow(), kMaterial);
    const QImage after = grabViewport();
    EXPECT_TRUE(
        sameImage(shownDataText(after, insp, kTotal), expectedDataText(insp, kTotal, "62,50 TL")));
    EXPECT_TRUE(sameImage(shownDataText(after, insp, kBalance),
                          expectedDataText(insp, kBalance, "32,50 TL")));
    EXPECT_TRUE(sameImage(shownDataText(after, insp, kLabour),
                          expectedDataText(insp, kLabour, "12,50 TL")));
}

struct CharCase {
    int row;
    const char* text;
    bool accepted;
};

class InspectorCharTest : public InspectorEditTest,
                          public ::testing::WithParamInterface<CharCase> {};

TEST_P(InspectorCharTest, FieldDecidesWhichCharactersAreAccepted) {
    const CharCase c = GetParam();
    TRecordInspector* insp = editVisitAt(c.row);
    key(Qt::Key_F2); // caret to the end, nothing selected
    const QString before = editorText();
    type(QString::fromUtf8(c.text));
    if (c.accepted) {
        EXPECT_EQ(editorText(), before + QString::fromUtf8(c.text));
        EXPECT_EQ(beeps, 0);
        EXPECT_TRUE(insp->isModified());
    } else {
        EXPECT_EQ(editorText(), before);
        EXPECT_EQ(beeps, 1);
        EXPECT_FALSE(insp->isModified()); // a refused key does not start an edit
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InspectorCharTest,
    ::testing::Values(CharCase{kLabour, "a", false}, CharCase{kLabour, ".", true}, // thousands
                      CharCase{kLabour, ",", true}, CharCase{kLabour, "-", true},
                      CharCase{kLabour, "+", true}, CharCase{kLabour, "7", true},
                      CharCase{kLabour, "E", false}, CharCase{kPaid, "x", false},
                      CharCase{kTotal, "E", true}, CharCase{kTotal, "e", true},
                      CharCase{kTotal, ".", true}, CharCase{kKm, "a", true},
                      CharCase{kKm, ".", true}, CharCase{kAriza, "ş", true}));

TEST_F(InspectorEditTest, EscRestoresOnlyWhatWasNotWrittenYet) {
    TRecordInspector* insp = editVisitAt(kLabour);
    type("999");
    key(Qt::Key_Escape);
    EXPECT_EQ(editorText(), "100,00");
    EXPECT_EQ(selectedText(), "100,00");
    EXPECT_FALSE(insp->isModified());
    EXPECT_TRUE(dialog->isVisible()); // Esc stays in the inspector
    key(Qt::Key_Tab);                 // nothing to write
    EXPECT_EQ(servis("f_iscilik").asMoney(), Money::fromUnits(100));

    key(Qt::Key_Backtab, Qt::ShiftModifier);
    type("77");
    key(Qt::Key_Tab);
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(insp->currentRow(), kLabour);
    key(Qt::Key_Escape);
    EXPECT_EQ(editorText(), "77,00");
    EXPECT_EQ(servis("f_iscilik").asMoney(), Money::fromUnits(77));
    EXPECT_EQ(sets->qryServis.state(), data::TDataSetState::dsEdit); // the edit is not cancelled
}

TEST_F(InspectorEditTest, TypedTotalShowsUntilTheNextRecalculationAndIsNeverStored) {
    TRecordInspector* insp = editVisitAt(kTotal);
    type("500");
    key(Qt::Key_Tab);
    EXPECT_EQ(servis("c_toplam").displayText(), "500,00 TL");
    EXPECT_TRUE(sameImage(shownDataText(grabViewport(), insp, kTotal),
                          expectedDataText(insp, kTotal, "500,00 TL")));

    key(Qt::Key_Up);
    key(Qt::Key_Up);
    key(Qt::Key_Up);
    ASSERT_EQ(insp->currentRow(), kLabour);
    type("200");
    key(Qt::Key_Tab);
    EXPECT_EQ(servis("c_toplam").displayText(), "250,00 TL");
    EXPECT_TRUE(sameImage(shownDataText(grabViewport(), insp, kTotal),
                          expectedDataText(insp, kTotal, "250,00 TL")));

    key(Qt::Key_Tab);
    type("999");
    key(Qt::Key_Tab);
    sets->qryServis.post();
    sets->qryServis.close();
    sets->qryServis.open();
    EXPECT_EQ(servis("c_toplam").displayText(), "250,00 TL");
    EXPECT_EQ(sets->db.scalar("select f_iscilik from t_servis"), "200.0000");
}

TEST_F(InspectorEditTest, TabOnTheLastRowWritesAndMovesToTheNextControl) {
    sets->qryMain.edit();
    TRecordInspector* insp = showCustomer();
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(insp->currentRow(), 13);
    key(Qt::Key_F2);
    type("!");
    key(Qt::Key_Tab);
    EXPECT_EQ(focused(), dialog->save);
    EXPECT_EQ(musteri("f_not").asString(), QString::fromUtf8("Fren balataları\nve disk değişti!"));
    EXPECT_FALSE(insp->hasFocusInside());
    EXPECT_FALSE(editor()->isVisible());
}

TEST_F(InspectorEditTest, ShiftTabOnTheFirstRowMovesToThePreviousControl) {
    sets->qryMain.edit();
    showCustomer();
    key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), dialog->cancel);
    // Coming back by Shift+Tab from "Kaydet" keeps the row.
    dialog->save->setFocus();
    QTest::keyClick(dialog->save, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(focused(), editor());
    EXPECT_EQ(dialog->inspector->currentRow(), 0);
}

TEST_F(InspectorEditTest, AltTabAndInsertAreNotHandled) {
    TRecordInspector* insp = editVisitAt(kKm);
    key(Qt::Key_Tab, Qt::AltModifier);
    EXPECT_EQ(insp->currentRow(), kKm);
    key(Qt::Key_Insert);
    EXPECT_EQ(editorText(), "120000");
    EXPECT_FALSE(insp->isModified());
}

TEST_F(InspectorEditTest, MemoKeepsItsLineBreaksAndShowsItsFirstLine) {
    sets->qryMain.edit();
    TRecordInspector* insp = showCustomer();
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_TRUE(editor()->wordWrapMode());
    EXPECT_EQ(editorText(), QString::fromUtf8("Fren balataları\nve disk değişti"));
    // Up and Down change rows even inside a memo of several lines.
    key(Qt::Key_F2);
    key(Qt::Key_Up);
    EXPECT_EQ(insp->currentRow(), 12);
    dialog->save->setFocus();
    EXPECT_TRUE(sameImage(shownDataText(grabViewport(), insp, 13),
                          expectedDataText(insp, 13, QString::fromUtf8("Fren balataları"),
                                           QString::fromUtf8("ve disk değişti"))));
}

TEST_F(InspectorEditTest, InvalidAmountShowsTheFieldsErrorAndKeepsRowAndFocus) {
    TRecordInspector* insp = editVisitAt(kLabour);
    type("1-2");
    key(Qt::Key_Tab);
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0],
              QString::fromUtf8("'1-2' is not a valid floating point value for field 'İşçilik "
                                "Tutarı'"));
    EXPECT_EQ(insp->currentRow(), kLabour);
    EXPECT_EQ(editorText(), "1-2");
    EXPECT_TRUE(insp->isModified());
    EXPECT_EQ(focused(), editor());
    EXPECT_EQ(servis("f_iscilik").asMoney(), Money::fromUnits(100));

    // A paste is not filtered by character; its text fails the same way on the next try.
    key(Qt::Key_Escape);
    QApplication::clipboard()->setText("12a");
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editorText(), "12a");
    key(Qt::Key_Down);
    ASSERT_EQ(errors.size(), 2);
    EXPECT_EQ(errors[1],
              QString::fromUtf8("'12a' is not a valid floating point value for field 'İşçilik "
                                "Tutarı'"));
    EXPECT_EQ(insp->currentRow(), kLabour);

    // Clicking "Kaydet" fails to take the focus away, and the click does not happen.
    QSignalSpy clicks(dialog->save, &QPushButton::clicked);
    QTest::mouseClick(dialog->save, Qt::LeftButton, {}, QPoint(50, 10));
    ASSERT_EQ(errors.size(), 3);
    EXPECT_TRUE(insp->hasFocusInside());
    EXPECT_EQ(focused(), editor());
    EXPECT_EQ(editorText(), "12a");
    EXPECT_EQ(clicks.count(), 0);

    key(Qt::Key_Escape);
    QTest::mouseClick(dialog->save, Qt::LeftButton, {}, QPoint(50, 10));
    EXPECT_EQ(focused(), dialog->save);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(errors.size(), 3);
}

// The editor takes no more than the column holds; a paste that does not fit takes what does and
// beeps, so the cut is never silent.
TEST_F(InspectorEditTest, TextStopsAt255Characters) {
    sets->qryMain.edit();
    showCustomer();
    QTest::keyClicks(focused(), QString(260, 'x'));
    EXPECT_EQ(editorText().size(), 255);
    EXPECT_EQ(beeps, 0);
    QApplication::clipboard()->setText(QString(10, 'y'));
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editorText().size(), 255);
    EXPECT_EQ(beeps, 1);
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editorText(), QString(10, 'y'));
    EXPECT_EQ(beeps, 1);
    key(Qt::Key_A, Qt::ControlModifier);
    QApplication::clipboard()->setText(QString(300, 'z'));
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(editorText(), QString(255, 'z'));
    EXPECT_EQ(beeps, 2);
}

TEST_F(InspectorEditTest, PostStoresTheTextOfTheRowBeingTyped) {
    editVisitAt(kKm);
    type("130500");
    sets->qryServis.post(); // update-record reaches the inspector first
    EXPECT_EQ(sets->db.scalar("select f_km from t_servis"), "130500");
    EXPECT_FALSE(dialog->inspector->isModified());
}

TEST_F(InspectorEditTest, ReadOnlyInspectorDropsEditingKeysSilently) {
    TRecordInspector* insp = editVisitAt(kKm);
    insp->setReadOnly(true);
    type("9");
    key(Qt::Key_Backspace);
    key(Qt::Key_Delete);
    EXPECT_EQ(editorText(), "120000");
    EXPECT_EQ(beeps, 0);
    EXPECT_FALSE(insp->isModified());
}

TEST_F(InspectorEditTest, TypingIntoAnEmptySetInBrowseStateStartsAnInsert) {
    sets->qryServis.close();
    sets->qryServis.clearSql();
    sets->qryServis.addSql("select * from t_servis where id_musteri=2");
    sets->qryServis.open();
    ASSERT_EQ(sets->qryServis.state(), data::TDataSetState::dsBrowse);
    TRecordInspector* insp = showService();
    key(Qt::Key_Down);
    type("5");
    EXPECT_EQ(sets->qryServis.state(), data::TDataSetState::dsInsert);
    key(Qt::Key_Tab);
    EXPECT_EQ(servis("f_km").asString(), "5");

    // Without ovAllowInsert the key is dropped.
    sets->qryServis.cancel();
    insp->setOptions(insp->options() & ~controls::ovAllowInsert);
    type("6");
    EXPECT_EQ(sets->qryServis.state(), data::TDataSetState::dsBrowse);
    EXPECT_EQ(editorText(), "");
}

TEST_F(InspectorEditTest, OutsideChangesReloadTheEditor) {
    TRecordInspector* insp = editVisitAt(kKm);
    servis("f_km").setAsString("99");
    EXPECT_EQ(editorText(), "99");
    EXPECT_EQ(selectedText(), "99");

    // Another field's change leaves typed text alone.
    type("1234");
    servis("f_ariza").setAsString("Fren");
    EXPECT_EQ(editorText(), "1234");
    EXPECT_TRUE(insp->isModified());

    // Cancel brings the stored values back into the editor.
    sets->qryServis.cancel();
    EXPECT_EQ(editorText(), "120000");
    EXPECT_FALSE(insp->isModified());
}

TEST_F(InspectorEditTest, FieldAskingForTheFocusGetsItsRow) {
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    dialog->save->setFocus();
    sets->qryServis.dataEvent(data::TDataEvent::deFocusControl, {.field = &servis("f_odeme")});
    EXPECT_EQ(insp->currentRow(), kPaid);
    EXPECT_EQ(focused(), editor());
    EXPECT_EQ(selectedText(), "30,00");
}

TEST_F(InspectorEditTest, ClosedSetShowsEmptyRows) {
    TRecordInspector* insp = editVisitAt(kKm);
    sets->qryServis.cancel();
    sets->qryServis.close();
    EXPECT_EQ(editorText(), "");
    EXPECT_EQ(insp->rowCount(), 12);
    dialog->save->setFocus();
    EXPECT_TRUE(
        sameImage(shownDataText(grabViewport(), insp, kKm), expectedDataText(insp, kKm, "")));
    sets->qryServis.open();
    EXPECT_TRUE(
        sameImage(shownDataText(grabViewport(), insp, kKm), expectedDataText(insp, kKm, "120000")));
}

struct MoveCase {
    const char* name;
    int start;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    int expected;
};

class InspectorMoveTest : public InspectorEditTest,
                          public ::testing::WithParamInterface<MoveCase> {};

// Four rows fit in the shortened inspector: PgUp and PgDn move by four.
TEST_P(InspectorMoveTest, KeyMovesToRow) {
    const MoveCase c = GetParam();
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    insp->resize(352, 4 * 20 + 4 + 5);
    EXPECT_EQ(insp->fullyVisibleRowCount(), 4);
    insp->setCurrentRow(c.start);
    key(c.key, c.mods);
    EXPECT_EQ(insp->currentRow(), c.expected);
    EXPECT_LE(insp->topRow(), c.expected);
    EXPECT_GE(insp->topRow() + insp->fullyVisibleRowCount(), c.expected + 1);
    EXPECT_TRUE(insp->activeEditor()->hasFocus());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, InspectorMoveTest,
    ::testing::Values(MoveCase{"DownFromKm", kKm, Qt::Key_Down, {}, kAriza},
                      MoveCase{"UpFromKm", kKm, Qt::Key_Up, {}, kDate},
                      MoveCase{"UpOnFirst", kDate, Qt::Key_Up, {}, kDate},
                      MoveCase{"DownOnLast", kNote, Qt::Key_Down, {}, kNote},
                      MoveCase{"PageDown", kKm, Qt::Key_PageDown, {}, 5},
                      MoveCase{"PageDownStopsAtLast", 9, Qt::Key_PageDown, {}, kNote},
                      MoveCase{"PageUp", 9, Qt::Key_PageUp, {}, 5},
                      MoveCase{"PageUpStopsAtFirst", 2, Qt::Key_PageUp, {}, kDate},
                      MoveCase{"CtrlEnd", kKm, Qt::Key_End, Qt::ControlModifier, kNote},
                      MoveCase{"CtrlHome", 9, Qt::Key_Home, Qt::ControlModifier, kDate},
                      MoveCase{"EnterIsTab", kKm, Qt::Key_Return, {}, kAriza},
                      MoveCase{"ShiftEnter", kAriza, Qt::Key_Return, Qt::ShiftModifier, kKm},
                      MoveCase{"CtrlRightWithoutChildren", kKm, Qt::Key_Right, Qt::ControlModifier,
                               kKm}),
    [](const ::testing::TestParamInfo<MoveCase>& info) { return info.param.name; });

TEST_F(InspectorEditTest, HomeEndAndF2MoveTheCaretInsideTheText) {
    editVisitAt(kKm);
    key(Qt::Key_F2);
    EXPECT_EQ(selectedText(), "");
    EXPECT_EQ(editor()->textCursor().position(), 6);
    key(Qt::Key_Home);
    EXPECT_EQ(editor()->textCursor().position(), 0);
    key(Qt::Key_Right, Qt::ControlModifier); // no jump by words
    EXPECT_EQ(editor()->textCursor().position(), 0);
    key(Qt::Key_End);
    EXPECT_EQ(editor()->textCursor().position(), 6);
    EXPECT_EQ(dialog->inspector->currentRow(), kKm);
}

TEST_F(InspectorEditTest, PressesOnCellsMoveTheCurrentRow) {
    TRecordInspector* insp = editVisitAt(kKm);
    QWidget* vp = insp->viewport();
    type("7");
    QTest::mouseClick(vp, Qt::LeftButton, {}, insp->cellRect(3, 0).center());
    EXPECT_EQ(insp->currentRow(), 3);
    EXPECT_EQ(servis("f_km").asString(), "7"); // written when the row changed
    EXPECT_EQ(focused(), editor());

    servis("f_malzeme").setAsString("Yağ");
    QTest::mouseClick(vp, Qt::LeftButton, {}, insp->cellRect(4, 1).topLeft() + QPoint(30, 19));
    EXPECT_EQ(insp->currentRow(), 4);
    EXPECT_EQ(selectedText(), QString::fromUtf8("Yağ"));

    // A double click writes and stays; so does a press below the last row.
    type("Filtre");
    QTest::mouseDClick(vp, Qt::LeftButton, {}, insp->cellRect(4, 0).center());
    EXPECT_EQ(servis("f_malzeme").asString(), "Filtre");
    EXPECT_EQ(insp->currentRow(), 4);
    EXPECT_EQ(focused(), editor());
    key(Qt::Key_A, Qt::ControlModifier);
    type("Conta");
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(50, 300));
    EXPECT_EQ(servis("f_malzeme").asString(), "Conta");
    EXPECT_EQ(insp->currentRow(), 4);
}

TEST_F(InspectorEditTest, FocusReturningFromOutsideShowsTheEditorWithItsTextSelected) {
    TRecordInspector* insp = editVisitAt(kKm);
    type("55");
    dialog->save->setFocus();
    EXPECT_EQ(servis("f_km").asString(), "55");
    EXPECT_FALSE(editor()->isVisible());
    QTest::mouseClick(insp->viewport(), Qt::LeftButton, {}, insp->cellRect(kKm, 0).center());
    EXPECT_TRUE(editor()->isVisible());
    EXPECT_EQ(focused(), editor());
    EXPECT_EQ(selectedText(), "55");
    EXPECT_EQ(insp->currentRow(), kKm);
}

TEST_F(InspectorEditTest, TypedTurkishCapitalsShowWholeInTheEditor) {
    sets->qryMain.edit();
    showCustomer();
    // The columns of the first letter only: the caret stands after the second.
    const int letter = platform::textWidth(editor()->font(), "I");
    const QRect firstLetter(0, 0, TInspectorEdit::kTextLeft + letter, editor()->height());
    type("IX");
    const QImage plain = editor()->grab().toImage();
    key(Qt::Key_Escape);
    type(QString::fromUtf8("İX"));
    ASSERT_EQ(editorText(), QString::fromUtf8("İX"));
    const QImage dotted = editor()->grab().toImage();
    EXPECT_TRUE(test_support::dotShowsAboveTheStem(plain, dotted, firstLetter))
        << "stem top " << test_support::topInkRow(plain, firstLetter) << ", dotted top "
        << test_support::topInkRow(dotted, firstLetter);
    // The text still stands where the painted cell puts it: the stem's top row is the same.
    const int cellStem = test_support::topInkRow(expectedDataText(dialog->inspector, 0, "I"),
                                                 QRect(0, 0, letter, 19));
    EXPECT_EQ(test_support::topInkRow(plain, firstLetter), cellStem);
}
