// Tests of the inspector's layout, painted pixels, hints, caption drag and scrolling.
#include "tests/controls/InspectorTestSupport.h"

#include <QScrollBar>
#include <QWheelEvent>

using namespace inspector_test;

namespace {

const std::string kCream = "#FFFBF0";
const std::string kFace = "#F0F0F0";   // button face of the colour table
const std::string kShadow = "#A0A0A0"; // button shadow
const std::string kBlack = "#000000";
const std::string kSilver = "#C0C0C0";
const std::string kWhite = "#FFFFFF";
const std::string kInfoBk = "#FFFFE1";

constexpr int kClientWidth = 352 - 4; // the sunken border takes 2 pixels on each side
constexpr int kCaption = 145;

void moveMouse(QWidget* w, const QPoint& pos) {
    QMouseEvent move(QEvent::MouseMove, pos, w->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

} // namespace

class InspectorPaintTest : public InspectorFixture {
protected:
    // The service dialog on the stored visit with the focus elsewhere (no editor shown).
    TRecordInspector* unfocusedService() {
        sets->qryServis.edit();
        TRecordInspector* insp = showService();
        dialog->save->setFocus();
        EXPECT_FALSE(insp->hasFocusInside());
        return insp;
    }
};

TEST_F(InspectorPaintTest, DialogSettingsGiveTheDialogsLayout) {
    sets->qryMain.edit();
    TRecordInspector* insp = showCustomer();
    using namespace controls;
    EXPECT_EQ(insp->options(), ovColumnResize | ovRowResize | ovEnterToTab | ovCenterCaptionVert |
                                   ovShowCaptionHints | ovShowCellHints | ovActiveRecord3DLines |
                                   ovAllowInsert);
    EXPECT_EQ(insp->captionIndent(), 20);
    EXPECT_EQ(insp->defaultRowHeight(), 20);
    EXPECT_TRUE(insp->captionFont().bold());
    EXPECT_EQ(insp->captionFont().family(), "Tahoma");
    EXPECT_EQ(insp->font().pixelSize(), 11);

    EXPECT_EQ(insp->viewport()->width(), kClientWidth);
    EXPECT_EQ(insp->captionWidth(), kCaption);
    // Every item is a row, also the fields the customer grid hides.
    ASSERT_EQ(insp->rowCount(), 14);
    EXPECT_EQ(insp->rowItem(3)->dataField(), "f_mail");
    EXPECT_EQ(insp->rowItem(4)->dataField(), "f_adres");
    for (int row : {0, 5, 13}) {
        EXPECT_EQ(insp->cellRect(row, 0), QRect(0, 20 * row, kCaption, 20));
        EXPECT_EQ(insp->cellRect(row, 1), QRect(kCaption, 20 * row, kClientWidth - kCaption, 20));
    }
    EXPECT_FALSE(insp->verticalScrollBar()->isVisible());
}

TEST_F(InspectorPaintTest, AreasLinesAndEdgesWithoutFocus) {
    TRecordInspector* insp = unfocusedService();
    const QImage img = grabViewport();
    const int rowsBottom = 12 * 20;

    // Below the rows the caption strip and the cream data area simply continue.
    EXPECT_EQ(hexAt(img, 200, 300), kCream);
    EXPECT_EQ(hexAt(img, kClientWidth - 3, 370), kCream);
    EXPECT_EQ(hexAt(img, 5, 300), kFace);
    EXPECT_EQ(hexAt(img, kCaption - 2, 370), kFace);

    // Dotted lines on the last pixel row of every row: every second pixel from each left end.
    for (int y : {19, 39, 119, rowsBottom - 1}) {
        for (int x = 0; x < 12; ++x)
            EXPECT_EQ(hexAt(img, x, y), x % 2 == 0 ? kShadow : kFace) << x << "," << y;
        for (int x = kCaption + 1; x < kCaption + 12; ++x)
            EXPECT_EQ(hexAt(img, x, y), (x - kCaption) % 2 == 0 ? kShadow : kCream)
                << x << "," << y;
    }
    EXPECT_EQ(hexAt(img, 4, 38), kFace);
    EXPECT_EQ(hexAt(img, kCaption + 2, 38), kCream);

    // The four edges of the data column run from the top to the bottom of the last row.
    for (int y : {0, 100, rowsBottom - 1}) {
        EXPECT_EQ(hexAt(img, kCaption - 1, y), kShadow) << y;
        EXPECT_EQ(hexAt(img, kCaption, y), kBlack) << y;
        EXPECT_EQ(hexAt(img, kClientWidth - 2, y), kSilver) << y;
        EXPECT_EQ(hexAt(img, kClientWidth - 1, y), kWhite) << y;
    }
    EXPECT_EQ(hexAt(img, kCaption - 1, rowsBottom), kFace);
    EXPECT_EQ(hexAt(img, kCaption, rowsBottom), kCream);
    EXPECT_EQ(hexAt(img, kClientWidth - 1, rowsBottom), kCream);
    Q_UNUSED(insp);
}

TEST_F(InspectorPaintTest, CaptionAndValueStandWhereTheRulesPutThem) {
    TRecordInspector* insp = unfocusedService();
    const QImage img = grabViewport();
    const int row = 4; // "Kullanılan Malzeme", no value
    const int top = row * 20;

    // Bold caption 20 pixels in; centred: (20 - 1 - 13 - 2) / 2 = 2 below its rectangle's top.
    QImage caption(kCaption, 20, QImage::Format_RGB32);
    caption.fill(platform::clBtnFace.toQColor());
    controls::TCanvas canvas(caption);
    canvas.font = insp->captionFont();
    canvas.brushClear = true;
    canvas.textOut(20, 3, QString::fromUtf8("Kullanılan Malzeme"));
    EXPECT_TRUE(
        sameImage(img.copy(0, top, kCaption - 1, 19), caption.copy(0, 0, kCaption - 1, 19)));

    // Value text 2 pixels in and 1 down from the data cell's corner.
    QImage value(kClientWidth - kCaption, 20, QImage::Format_RGB32);
    value.fill(platform::clCream.toQColor());
    controls::TCanvas valueCanvas(value);
    valueCanvas.font = insp->font();
    valueCanvas.brushClear = true;
    valueCanvas.textOut(2, 1, "120000");
    EXPECT_TRUE(sameImage(img.copy(kCaption + 1, 20, kClientWidth - kCaption - 3, 19),
                          value.copy(1, 0, kClientWidth - kCaption - 3, 19)));
}

TEST_F(InspectorPaintTest, LongValueIsCutWithAnEllipsis) {
    sets->db.exec("update t_servis set f_ariza = 'Motor sesi var, yağ kaçağı kontrol edildi, "
                  "conta değişti'");
    sets->qryServis.close();
    sets->qryServis.open();
    TRecordInspector* insp = unfocusedService();
    const QString full = servis("f_ariza").asString();
    const int room = kClientWidth - kCaption - 2;
    QString shown;
    for (int n = int(full.size()) - 1; n > 0; --n)
        if (platform::textWidth(insp->font(), full.left(n) + "...") <= room) {
            shown = full.left(n) + "...";
            break;
        }
    QImage value(kClientWidth - kCaption, 20, QImage::Format_RGB32);
    value.fill(platform::clCream.toQColor());
    controls::TCanvas canvas(value);
    canvas.font = insp->font();
    canvas.brushClear = true;
    canvas.textOut(2, 1, shown);
    EXPECT_TRUE(sameImage(grabViewport().copy(kCaption + 1, 40, room - 1, 19),
                          value.copy(1, 0, room - 1, 19)));
}

TEST_F(InspectorPaintTest, FocusLeavesOutTheCurrentCellsLineAndDrawsASolidLineAbove) {
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    ASSERT_EQ(insp->currentRow(), 2);
    const QImage img = grabViewport();

    // The line above the current data cell is solid button shadow across the cell.
    for (int x = kCaption + 1; x <= kClientWidth - 3; ++x)
        ASSERT_EQ(hexAt(img, x, 39), kShadow) << x;
    EXPECT_EQ(hexAt(img, 1, 39), kFace); // the caption column keeps its dots
    // The current cell's own line is left out; the caption column keeps its dots.
    EXPECT_EQ(hexAt(img, kCaption + 2, 59), kCream);
    EXPECT_EQ(hexAt(img, kCaption + 3, 59), kCream);
    EXPECT_EQ(hexAt(img, 0, 59), kShadow);
    // Other rows keep theirs.
    EXPECT_EQ(hexAt(img, kCaption + 2, 19), kShadow);
    EXPECT_EQ(hexAt(img, kCaption + 2, 79), kShadow);
    EXPECT_EQ(hexAt(img, kCaption, 50), kBlack);
    EXPECT_EQ(hexAt(img, kClientWidth - 1, 50), kWhite);

    // The editor covers the cell from one pixel inside its side edges, from its top to one
    // pixel above its bottom, in the window colour.
    EXPECT_EQ(insp->textEditor()->geometry(),
              QRect(kCaption + 1, 40, kClientWidth - kCaption - 2, 19));
    EXPECT_EQ(hexAt(img, kCaption + 1, 40), kWhite);
    EXPECT_EQ(hexAt(img, kClientWidth - 2, 58), kWhite);

    // Losing the focus brings the dots back.
    dialog->save->setFocus();
    const QImage after = grabViewport();
    EXPECT_EQ(hexAt(after, kCaption + 2, 59), kShadow);
    EXPECT_EQ(hexAt(after, kCaption + 3, 59), kCream);
    EXPECT_EQ(hexAt(after, kCaption + 1, 39), kCream);
    EXPECT_EQ(hexAt(after, kCaption + 2, 39), kShadow);
}

TEST_F(InspectorPaintTest, TopRowHasNoSolidLineAbove) {
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    ASSERT_EQ(insp->currentRow(), 0);
    const QImage img = grabViewport();
    EXPECT_EQ(hexAt(img, kCaption + 2, 19), kCream); // the current cell's line is left out
    EXPECT_EQ(hexAt(img, kCaption + 2, 39), kShadow);
    EXPECT_EQ(insp->dateEditor()->geometry(),
              QRect(kCaption + 1, 0, kClientWidth - kCaption - 2, 19));
}

TEST_F(InspectorPaintTest, HintShowsOnlyForTextThatDoesNotFit) {
    sets->qryMain.edit();
    TRecordInspector* insp = showCustomer();
    dialog->save->setFocus();
    QWidget* vp = insp->viewport();

    moveMouse(vp, insp->cellRect(0, 1).center()); // "Ahmet Yılmaz" fits
    EXPECT_EQ(insp->hintWindow(), nullptr);
    moveMouse(vp, insp->cellRect(0, 0).center()); // so does its caption
    EXPECT_EQ(insp->hintWindow(), nullptr);

    // The note has two lines: taller than its row.
    const QRect cell = insp->cellRect(13, 1);
    moveMouse(vp, cell.center());
    controls::TInspectorHintWindow* hint = insp->hintWindow();
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), QString::fromUtf8("Fren balataları\nve disk değişti"));
    const int textWidth = platform::textWidth(insp->font(), QString::fromUtf8("Fren balataları"));
    EXPECT_EQ(hint->geometry(),
              QRect(vp->mapToGlobal(cell.topLeft()), QSize(textWidth + 8, cell.height())));
    const QImage face = hint->grab().toImage();
    EXPECT_EQ(hexAt(face, 1, 1), kInfoBk);
    EXPECT_EQ(hexAt(face, face.width() - 1, face.height() - 1), kInfoBk);

    // Moving within the cell keeps it; moving to another cell hides it.
    moveMouse(vp, cell.center() + QPoint(5, 0));
    EXPECT_EQ(insp->hintWindow(), hint);
    moveMouse(vp, insp->cellRect(12, 1).center());
    EXPECT_EQ(insp->hintWindow(), nullptr);
}

TEST_F(InspectorPaintTest, CaptionHintFollowsTheCaptionColumnWidth) {
    TRecordInspector* insp = unfocusedService();
    insp->setCaptionWidth(70); // 50 pixels of caption text room
    QWidget* vp = insp->viewport();
    moveMouse(vp, insp->cellRect(1, 0).center()); // "KM"
    EXPECT_EQ(insp->hintWindow(), nullptr);
    moveMouse(vp, insp->cellRect(4, 0).center()); // "Kullanılan Malzeme"
    ASSERT_NE(insp->hintWindow(), nullptr);
    EXPECT_EQ(insp->hintWindow()->text(), QString::fromUtf8("Kullanılan Malzeme"));
    EXPECT_EQ(insp->hintWindow()->width(),
              platform::textWidth(insp->captionFont(), QString::fromUtf8("Kullanılan Malzeme")) +
                  8);
}

TEST_F(InspectorPaintTest, HintTimerHidesOnTheSeventeenthTickOrWhenTheMouseLeaves) {
    sets->qryMain.edit();
    TRecordInspector* insp = showCustomer();
    dialog->save->setFocus();
    QWidget* vp = insp->viewport();
    moveMouse(vp, insp->cellRect(13, 1).center());
    ASSERT_NE(insp->hintWindow(), nullptr);
    for (int i = 0; i < 16; ++i)
        insp->hintTimerTick();
    EXPECT_NE(insp->hintWindow(), nullptr);
    insp->hintTimerTick();
    EXPECT_EQ(insp->hintWindow(), nullptr);

    // Leaving the control hides it at the next tick.
    moveMouse(vp, insp->cellRect(12, 1).center());
    moveMouse(vp, insp->cellRect(13, 1).center());
    ASSERT_NE(insp->hintWindow(), nullptr);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(vp, &leave);
    EXPECT_NE(insp->hintWindow(), nullptr);
    insp->hintTimerTick();
    EXPECT_EQ(insp->hintWindow(), nullptr);
}

TEST_F(InspectorPaintTest, CaptionDragFollowsTheMouseWithinItsLimits) {
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    QWidget* vp = insp->viewport();
    key(Qt::Key_Down);
    type("42");

    moveMouse(vp, QPoint(kCaption + 3, 30));
    EXPECT_EQ(vp->cursor().shape(), Qt::SplitHCursor);
    moveMouse(vp, QPoint(kCaption + 4, 30));
    EXPECT_EQ(vp->cursor().shape(), Qt::ArrowCursor);
    moveMouse(vp, QPoint(kCaption - 3, 30));
    EXPECT_EQ(vp->cursor().shape(), Qt::SplitHCursor);

    // Starting the drag writes the row being typed.
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(kCaption - 3, 30));
    EXPECT_EQ(servis("f_km").asString(), "42");
    QTest::mouseMove(vp, QPoint(200, 30));
    EXPECT_EQ(insp->captionWidth(), 200);
    EXPECT_EQ(insp->cellRect(1, 1).left(), 200);
    QTest::mouseMove(vp, QPoint(340, 30));
    EXPECT_EQ(insp->captionWidth(), kClientWidth - 20);
    QTest::mouseMove(vp, QPoint(4, 30));
    EXPECT_EQ(insp->captionWidth(), 10);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(90, 30));
    EXPECT_EQ(insp->captionWidth(), 90);
    EXPECT_EQ(insp->textEditor()->geometry().left(), 91);

    // After the release the mouse moves without resizing.
    moveMouse(vp, QPoint(250, 30));
    EXPECT_EQ(insp->captionWidth(), 90);
}

TEST_F(InspectorPaintTest, RowsCannotBeDraggedInTheDialogs) {
    TRecordInspector* insp = unfocusedService();
    QWidget* vp = insp->viewport();
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(40, 19));
    QTest::mouseMove(vp, QPoint(40, 45));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(40, 45));
    EXPECT_EQ(insp->rowHeight(0), 20);
    EXPECT_EQ(insp->cellRect(1, 0).top(), 20);

    // A resizeable item's row can be, down to the text height of "0" plus 3.
    insp->rowItem(1)->setResizeable(true);
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(40, 39));
    QTest::mouseMove(vp, QPoint(40, 60));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(40, 60));
    EXPECT_EQ(insp->rowHeight(1), 40);
    QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(40, 59));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(40, 22));
    EXPECT_EQ(insp->rowHeight(1), platform::windowsTextHeight(insp->font()) + 3);
}

TEST_F(InspectorPaintTest, WheelScrollsOneRowAndKeepsTheCurrentRow) {
    sets->qryServis.edit();
    TRecordInspector* insp = showService();
    insp->resize(352, 4 * 20 + 4);
    QApplication::processEvents(); // the scroll bar shows on a queued call
    ASSERT_TRUE(insp->verticalScrollBar()->isVisible());
    key(Qt::Key_Down);
    QWidget* vp = insp->viewport();
    auto wheel = [&](int delta) {
        QWheelEvent e(QPointF(50, 30), vp->mapToGlobal(QPointF(50, 30)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(vp, &e);
    };
    wheel(-120);
    EXPECT_EQ(insp->topRow(), 1);
    EXPECT_EQ(insp->currentRow(), 1);
    EXPECT_EQ(insp->cellRect(2, 0).top(), 20);
    EXPECT_EQ(insp->textEditor()->geometry().top(), 0);
    wheel(-120);
    EXPECT_EQ(insp->topRow(), 2);
    EXPECT_EQ(insp->currentRow(), 1);
    EXPECT_EQ(insp->verticalScrollBar()->value(), 2);
    wheel(120);
    wheel(120);
    wheel(120);
    EXPECT_EQ(insp->topRow(), 0);

    // Moving to a row scrolls it into view.
    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(insp->topRow(), 8);
    EXPECT_EQ(insp->textEditor()->geometry().top(), 60);
}

TEST_F(InspectorPaintTest, ALongNoteShowsTheSameCutAsItsStart) {
    // A one-paragraph note of 20,000 characters: only its start can show in the row, so the row
    // looks exactly as it does with a note of the first 300 characters.
    QString note;
    while (note.size() < 20000)
        note += QStringLiteral("Fren balataları ve ön diskler değişti, İşçilik ödendi. ");
    note.truncate(20000);
    sets->qryMain.edit();
    TRecordInspector* insp = showCustomer();
    const int memoRow = insp->rowCount() - 1;
    const QRect cell = insp->cellRect(memoRow, 1);
    auto grabCell = [&](const QString& text) {
        musteri("f_not").setAsString(text);
        insp->viewport()->repaint();
        return grabViewport().copy(cell);
    };
    const QImage shortNote = grabCell(note.left(300));
    const QImage longNote = grabCell(note);
    EXPECT_TRUE(sameImage(longNote, shortNote));
    EXPECT_EQ(musteri("f_not").asString().size(), 20000);
}
