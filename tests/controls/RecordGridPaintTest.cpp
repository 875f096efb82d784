// Record grid tests: glyphs, alternating rows, the current-row highlight, looks and fast scrolling.
#include "tests/controls/RecordGridTestSupport.h"

#include "core/RegionalSettings.h"
#include "platform/Fonts.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

namespace grid_test {
namespace {

// Checks the 6 x 11 glyph at the indicator position of a data row, pixel by pixel.
void expectGlyph(const QImage& image, int dataRow, const std::vector<const char*>& glyph) {
    const int x0 = (11 - 6) / 2 + 1;
    const int y0 = (2 * rowTop(dataRow) + 16 - 11) / 2;
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 6; ++x) {
            const TColor expected = glyph[size_t(y)][x] == '#' ? kBlack : kFace;
            EXPECT_EQ(hexOf(pixelOf(image, x0 + x, y0 + y)), hexOf(expected))
                << "glyph pixel " << x << "," << y;
        }
}

const std::vector<const char*> kArrow = {"#.....", "##....", "###...", "####..", "#####.", "######",
                                         "#####.", "####..", "###...", "##....", "#....."};
const std::vector<const char*> kIBeam = {"##..##", "..##..", "..##..", "..##..", "..##..", "..##..",
                                         "..##..", "..##..", "..##..", "..##..", "##..##"};
const std::vector<const char*> kStar = {"......", "......", "......", ".#..#.", "..##..", "######",
                                        "..##..", ".#..#.", "......", "......", "......"};
const std::vector<const char*> kNone(11, "......");

TEST_F(GridTest, IndicatorGlyphFollowsTheState) {
    showCustomers(5);
    EXPECT_EQ((2 * rowTop(0) + 16 - 11) / 2, 20); // the arrow's top row in the first data row
    expectGlyph(shot(), 0, kArrow);
    expectGlyph(shot(), 1, kNone);
    key(Qt::Key_Down);
    expectGlyph(shot(), 0, kNone);
    expectGlyph(shot(), 1, kArrow);
    qryMain.edit();
    expectGlyph(shot(), 1, kIBeam);
    qryMain.cancel();
    qryMain.insert();
    expectGlyph(shot(), 1, kStar);
    qryMain.cancel();
    expectGlyph(shot(), 1, kArrow);
}

// Sampled right of the text in the first data column.
void expectShading(const QImage& image, const std::vector<bool>& shaded) {
    for (size_t r = 0; r < shaded.size(); ++r) {
        const int y = rowTop(int(r)) + 8;
        EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 118, y)),
                  hexOf(shaded[r] ? kShade : kWhite))
            << "row " << r;
        // Every row, shaded or not, is underlined in the data line colour.
        EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 118, rowTop(int(r)) + 16)), hexOf(kLine))
            << "row line " << r;
    }
}

TEST_F(GridTest, AlternateRowsAreShadedAndTheShadeStaysWithTheRecordOnAOneRowScroll) {
    showCustomers(30);
    EXPECT_FALSE(grid->rowParity());
    expectShading(shot(), {false, true, false, true, false, true, false, true, false, true});
    // To the bottom row, then one further: the window slides by one record.
    key(Qt::Key_Down, Qt::ControlModifier);
    EXPECT_EQ(qryMain.recNo(), 10);
    key(Qt::Key_Down);
    EXPECT_EQ(qryMain.recNo(), 11);
    EXPECT_TRUE(grid->rowParity());
    expectShading(shot(), {true, false, true, false, true, false, true, false, true, false});
    // A jump larger than the rows shown repaints all and keeps the parity.
    key(Qt::Key_End);
    EXPECT_TRUE(grid->rowParity());
    key(Qt::Key_Home);
    expectShading(shot(), {true, false, true, false, true, false, true, false, true, false});
}

TEST_F(GridTest, CurrentRowIsBlackOnlyWhileTheGridHasTheFocus) {
    showCustomers(5);
    key(Qt::Key_Down);
    const int y = rowTop(1) + 8;
    QImage image = shot();
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 118, y)), hexOf(kShade));
    focusGrid();
    image = shot();
    for (int x : {kFirstDataLeft + 1, kFirstDataLeft + 118, kFirstDataLeft + 3 * 125 + 100})
        EXPECT_EQ(hexOf(pixelOf(image, x, y)), hexOf(kBlack)) << x;
    // The text is drawn in the highlight text colour.
    int whiteText = 0;
    for (int x = kFirstDataLeft + 2; x < kFirstDataLeft + 60; ++x)
        for (int yy = rowTop(1) + 2; yy < rowTop(1) + 15; ++yy)
            whiteText += pixelOf(image, x, yy) == kWhite;
    EXPECT_GT(whiteText, 10);
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 118, rowTop(1) + 16)), hexOf(kLine));
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 118, rowTop(0) + 8)), hexOf(kWhite));
    other->setFocus();
    QApplication::processEvents();
    EXPECT_FALSE(grid->focusFlag());
    image = shot();
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 118, y)), hexOf(kShade));
    expectGlyph(image, 1, kArrow);
}

TEST_F(GridTest, ClosedSetShowsOneEmptyTitleCellAndOneBlankRow) {
    db.addCustomers(3);
    grid->setDataSource(&srcMain);
    showWindow();
    const QImage image = shot();
    EXPECT_EQ(grid->dataColumnCount(), 1);
    // The empty title cell: light top and left edges, black right and bottom, no text.
    const int left = kFirstDataLeft, right = left + grid->columnWidth(0);
    EXPECT_EQ(hexOf(pixelOf(image, left, 5)), hexOf(kWhite));
    EXPECT_EQ(hexOf(pixelOf(image, right, 5)), hexOf(kBlack));
    EXPECT_EQ(hexOf(pixelOf(image, left + 10, 17)), hexOf(kBlack));
    for (int x = left + 1; x < right; ++x)
        for (int y = 1; y < 17; ++y)
            ASSERT_EQ(hexOf(pixelOf(image, x, y)), hexOf(kFace)) << x << "," << y;
    expectGlyph(image, 0, kNone);
    EXPECT_EQ(hexOf(pixelOf(image, left + 20, rowTop(0) + 8)), hexOf(kWhite));
    // Below the blank row and right of the column: the title colour.
    EXPECT_EQ(hexOf(pixelOf(image, left + 20, rowTop(2) + 8)), hexOf(kFace));
    EXPECT_EQ(hexOf(pixelOf(image, 400, rowTop(0) + 8)), hexOf(kFace));
}

TEST_F(GridTest, EmptySetShowsTitlesOneBlankRowAndTheArrow) {
    db.addCustomers(1);
    grid->setDataSource(&srcServis);
    openVisits(999);
    showWindow();
    const QImage image = shot();
    EXPECT_EQ(grid->dataColumnCount(), 11);
    EXPECT_EQ(grid->rowCount(), 2);
    expectGlyph(image, 0, kArrow);
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 20, rowTop(0) + 8)), hexOf(kWhite));
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 20, rowTop(0) + 16)), hexOf(kLine));
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 20, rowTop(2) + 8)), hexOf(kWhite));
    EXPECT_EQ(hexOf(pixelOf(image, 5, rowTop(2) + 8)), hexOf(kWhite)); // nothing indicated
}

TEST_F(GridTest, LinesTitlesAndPadAreaHaveTheRaisedLook) {
    showCustomers(30);
    const QImage image = shot();
    const int lastRight = kFirstDataLeft + 4 * 125 - 1; // line right of the fourth column
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 124, rowTop(3) + 5)), hexOf(kLine));
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 124, 5)), hexOf(kBlack)); // title edge
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 50, 17)), hexOf(kBlack));
    EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 50, 0)), hexOf(kWhite));
    EXPECT_EQ(hexOf(pixelOf(image, lastRight, rowTop(5))), hexOf(kLine));
    EXPECT_EQ(hexOf(pixelOf(image, lastRight + 1, rowTop(5))), hexOf(kWhite)); // pad edge
    EXPECT_EQ(hexOf(pixelOf(image, lastRight + 30, rowTop(5))), hexOf(kFace));
    EXPECT_EQ(hexOf(pixelOf(image, lastRight + 30, 0)), hexOf(kWhite));
    EXPECT_EQ(hexOf(pixelOf(image, lastRight + 30, 187)), hexOf(kFace));
    // Indicator cells: black bottom and right edges with a light line beside each.
    EXPECT_EQ(hexOf(pixelOf(image, 5, rowTop(4) + 15)), hexOf(kBlack));
    EXPECT_EQ(hexOf(pixelOf(image, 5, rowTop(4) + 16)), hexOf(kWhite));
    EXPECT_EQ(hexOf(pixelOf(image, 10, rowTop(4) + 5)), hexOf(kBlack));
    EXPECT_EQ(hexOf(pixelOf(image, 11, rowTop(4) + 5)), hexOf(kWhite));
    EXPECT_EQ(hexOf(pixelOf(image, 0, rowTop(4) + 5)), hexOf(kWhite));
    // The title text is drawn in black from 2 pixels into the cell.
    int dark = 0;
    for (int x = kFirstDataLeft + 2; x < kFirstDataLeft + 70; ++x)
        for (int y = 2; y < 15; ++y)
            dark += pixelOf(image, x, y) == kBlack;
    EXPECT_GT(dark, 20);
    for (int y = 1; y < 17; ++y)
        EXPECT_EQ(hexOf(pixelOf(image, kFirstDataLeft + 1, y)), hexOf(kFace)) << y;
}

// The text rectangle of a right-aligned data cell in the top row (the cell less 2 pixels at the
// left, top and right and 1 at the bottom), as the toolkit alone draws it: black text on white,
// its right end at the rectangle's, its baseline 11 pixels down (Tahoma 8 pt, plain or bold).
QImage rightAlignedText(const QFont& font, const QString& text, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setFont(font);
    p.setPen(Qt::black);
    p.drawText(QPoint(size.width() - QFontMetrics(font).horizontalAdvance(text), 11), text);
    return image;
}

// The visits of one customer in a grid wide enough for all eleven columns, focus elsewhere.
class WideVisitGridTest : public GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        window.resize(1800, 600);
        grid->setGeometry(5, 5, 1750, 189);
        db.addCustomers(1);
        db.addVisits(1, 3);
        grid->setDataSource(&srcServis);
        openVisits(1);
        showWindow();
        qryServis.first();
    }

    // Every right-aligned column's text in the top row equals the toolkit's own drawing of the
    // field's display text, measured in `font`.
    void expectRightAlignedTexts(const QFont& font) {
        const QImage image = shot().convertToFormat(QImage::Format_RGB32);
        int left = kFirstDataLeft;
        int checked = 0;
        for (int c = 0; c < grid->dataColumnCount(); ++c) {
            const data::TField& f = fieldTitled(grid->columnTitle(c));
            const int w = grid->columnWidth(c);
            if (f.alignment() == data::TAlignment::taRightJustify) {
                const QRect text(left + 2, rowTop(0) + 2, w - 4, 13);
                EXPECT_EQ(image.copy(text), rightAlignedText(font, f.displayText(), text.size()))
                    << f.fieldName().toStdString() << " showing " << f.displayText().toStdString();
                ++checked;
            }
            left += w + 1;
        }
        EXPECT_EQ(checked, 5); // the five amounts
    }

    const data::TField& fieldTitled(const QString& title) const {
        for (int i = 0; i < qryServis.fieldCount(); ++i)
            if (qryServis.field(i).displayName() == title)
                return qryServis.field(i);
        throw std::runtime_error("no field titled " + title.toStdString());
    }
};

TEST_F(WideVisitGridTest, AFontChangeRepaintsTheAmountsAtTheNewFontsWidths) {
    expectRightAlignedTexts(platform::tahoma(11));
    const int plainWidth = grid->columnWidth(6);
    grid->setFont(platform::tahoma(11, true));
    QApplication::processEvents();
    EXPECT_GT(grid->columnWidth(6), plainWidth);
    expectRightAlignedTexts(platform::tahoma(11, true));
    grid->setFont(platform::tahoma(11));
    QApplication::processEvents();
    expectRightAlignedTexts(platform::tahoma(11));
}

TEST_F(WideVisitGridTest, ARegionalSettingsChangeRepaintsTheAmountsInTheNewFormat) {
    expectRightAlignedTexts(platform::tahoma(11));
    const QString turkish = qryServis.fieldByName("f_iscilik").displayText();
    core::FormatSettings dollars = core::turkishFormatSettings();
    dollars.currencyString = QStringLiteral("$");
    dollars.currencyFormat = 0;
    dollars.decimalSeparator = '.';
    dollars.thousandSeparator = ',';
    {
        const core::RegionalSettings regional(dollars);
        ASSERT_NE(qryServis.fieldByName("f_iscilik").displayText(), turkish);
        expectRightAlignedTexts(platform::tahoma(11));
    }
    EXPECT_EQ(qryServis.fieldByName("f_iscilik").displayText(), turkish);
    expectRightAlignedTexts(platform::tahoma(11));
}

// Records the regions the grid repaints, to see what a scroll repaints.
class RecordingGrid : public TRecordGrid {
public:
    using TRecordGrid::TRecordGrid;
    QRegion painted;

protected:
    void paintEvent(QPaintEvent* event) override {
        painted += event->region();
        TRecordGrid::paintEvent(event);
    }
};

class FastScrollTest : public GridTest {
protected:
    void SetUp() override {
        GridTest::SetUp();
        delete grid;
        recording = new RecordingGrid(&window);
        grid = recording;
        grid->useMainWindowConfiguration();
        grid->setGeometry(5, 5, 680, 189);
    }

    // What the window's backing store holds for the grid, as the screen would show it.
    QImage onScreen() {
        const QPoint at = grid->mapTo(&window, QPoint(0, 0));
        return QGuiApplication::primaryScreen()
            ->grabWindow(window.winId(), at.x(), at.y(), grid->width(), grid->height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    RecordingGrid* recording = nullptr;
};

TEST_F(FastScrollTest, OneRowScrollRepaintsOnlyTheNewRowAndTwoIndicatorCells) {
    showCustomers(30);
    key(Qt::Key_Down, Qt::ControlModifier);
    QApplication::processEvents();
    recording->painted = QRegion();
    key(Qt::Key_Down);
    QApplication::processEvents();
    const QRegion painted = recording->painted;
    const QRect bottomRow(0, rowTop(9), grid->clientArea().width(), kPitch);
    EXPECT_TRUE(painted.contains(bottomRow));
    EXPECT_TRUE(painted.contains(QRect(0, rowTop(8), 12, kPitch))); // old current record
    EXPECT_FALSE(painted.contains(QPoint(kFirstDataLeft + 50, rowTop(8) + 8)));
    EXPECT_FALSE(painted.contains(QPoint(kFirstDataLeft + 50, rowTop(3) + 8)));
    EXPECT_FALSE(painted.contains(QPoint(kFirstDataLeft + 50, 8)));
    // The scrolled pixels and the repainted strip give exactly the full picture.
    EXPECT_EQ(onScreen(), shot().convertToFormat(QImage::Format_RGB32));
}

TEST_F(FastScrollTest, ScrollWithHighlightRepaintsBothRowsAndMatchesAFullPaint) {
    showCustomers(30);
    focusGrid();
    key(Qt::Key_Down, Qt::ControlModifier);
    for (int k : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up}) {
        key(k);
        QApplication::processEvents();
        EXPECT_EQ(onScreen(), shot().convertToFormat(QImage::Format_RGB32)) << k;
    }
    // Three records up from the top shown row: the rows slide down.
    key(Qt::Key_Up, Qt::ControlModifier);
    recording->painted = QRegion();
    grid->verticalScrollBar()->triggerAction(QAbstractSlider::SliderPageStepSub);
    QApplication::processEvents();
    EXPECT_EQ(onScreen(), shot().convertToFormat(QImage::Format_RGB32));
}

TEST_F(FastScrollTest, WithoutFastScrollingEveryRowIsRepainted) {
    showCustomers(30);
    controls::TGridPaintOptions paint = grid->paintOptions();
    paint.FastRecordScrolling = false;
    grid->setPaintOptions(paint);
    key(Qt::Key_Down, Qt::ControlModifier);
    QApplication::processEvents();
    recording->painted = QRegion();
    key(Qt::Key_Down);
    QApplication::processEvents();
    EXPECT_TRUE(
        recording->painted.contains(QRect(0, kDataTop, grid->clientArea().width(), 10 * kPitch)));
    EXPECT_TRUE(grid->rowParity());
}

} // namespace
} // namespace grid_test
