// Record grid tests: columns, the column list, row heights and counts, the vertical scroll bar.
#include "tests/controls/RecordGridTestSupport.h"

#include "platform/Fonts.h"

#include <QScrollBar>

namespace grid_test {
namespace {

QStringList titlesOf(const TRecordGrid& grid) {
    QStringList titles;
    for (int c = 0; c < grid.dataColumnCount(); ++c)
        titles << grid.columnTitle(c);
    return titles;
}

TEST_F(GridTest, CustomerGridShowsFourColumnsOf124PixelsAndHidesTheRest) {
    showCustomers(30);
    EXPECT_EQ(platform::textWidth(grid->font(), "0"), 6);
    EXPECT_EQ(titlesOf(*grid),
              QStringList({"Araç Plakası", "Müşteri Adı", "Telefon", "Cep Telefonu"}));
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(grid->columnWidth(c), 124) << c;
        EXPECT_EQ(grid->columnTitleRect(c).left(), kFirstDataLeft + 125 * c) << c;
    }
    EXPECT_EQ(qryMain.field(0).fieldName(), "f_arac_plaka");
    EXPECT_EQ(qryMain.field(3).fieldName(), "f_gsm");
    EXPECT_FALSE(qryMain.fieldByName("f_mail").visible());
    EXPECT_FALSE(qryMain.fieldByName("id").visible());
    EXPECT_EQ(grid->dataRowHeight(), 16);
    EXPECT_EQ(grid->titleRowHeight(), 17);
    // 189 pixels: a title row of 18 and ten data rows of 17.
    EXPECT_EQ(grid->visibleDataRows(), 10);
    EXPECT_EQ(grid->rowCount(), 11);
}

TEST_F(GridTest, ServiceGridKeepsItsFieldsBecauseOfCalculatedFields) {
    db.addCustomers(1);
    db.addVisits(1, 3);
    grid->setSelected({"id\t10\tKayıt No", "f_yok\t20\tYok", "f_baska\t20\tBaşka", "f_uc\t20\tÜç",
                       "f_dort\t20\tDört", "f_bes\t20\tBeş", "f_alti\t20\tAltı",
                       "f_yedi\t20\tYedi"});
    grid->setDataSource(&srcServis);
    openVisits(1);
    EXPECT_EQ(titlesOf(*grid),
              QStringList({"Tarih", "KM", "Arıza", "Yapılan İşlem", "Parça", "Kullanılan Malzeme",
                           "İşçilik Tutarı", "Malzeme Tutarı", "Toplam Tutar", "Alınan Ödeme",
                           "Kalan Ödeme"}));
    EXPECT_FALSE(qryServis.fieldByName("id").visible());
    EXPECT_EQ(qryServis.fieldByName("id").displayWidth(), 10);
    EXPECT_EQ(qryServis.fieldByName("id").index(), 11);
    EXPECT_EQ(grid->selected().size(), 8); // stays as stored
    // Closing shows the closed look; reopening rebuilds the same columns.
    qryServis.close();
    EXPECT_EQ(grid->dataColumnCount(), 1);
    EXPECT_EQ(grid->columnTitle(0), "");
    openVisits(1);
    EXPECT_EQ(grid->dataColumnCount(), 11);
}

TEST_F(GridTest, ColumnListSetsWidthsLabelsAndPositionsCountingMissingFields) {
    db.addCustomers(2);
    grid->setSelected({"F_TEL\t10\tTel", "f_yok\t5\tYok", "f_adi\t15\tAd", "f_tel\t30\tİkinci"});
    grid->setDataSource(&srcMain);
    qryMain.open();
    EXPECT_EQ(titlesOf(*grid), QStringList({"Tel", "Ad"}));
    EXPECT_EQ(qryMain.fieldByName("f_tel").index(), 0);
    EXPECT_EQ(qryMain.fieldByName("f_adi").index(), 2);
    EXPECT_EQ(qryMain.fieldByName("f_tel").displayWidth(), 10); // the first entry wins
    EXPECT_EQ(grid->columnWidth(0), 6 * 10 + 4);
    EXPECT_EQ(grid->columnWidth(1), 6 * 15 + 4);
    EXPECT_FALSE(qryMain.fieldByName("f_arac_plaka").visible());
}

struct ListErrorCase {
    const char* entry;
    const char* message;
};

class ColumnListErrorTest : public GridTest, public ::testing::WithParamInterface<ListErrorCase> {};

TEST_P(ColumnListErrorTest, BadEntryFailsTheOpenWithItsText) {
    db.addCustomers(1);
    grid->setSelected({"f_arac_plaka\t20\tPlaka", QString::fromUtf8(GetParam().entry)});
    grid->setDataSource(&srcMain);
    try {
        qryMain.open();
        FAIL() << "open succeeded";
    } catch (const core::Exception& e) {
        EXPECT_EQ(e.message(), QString::fromUtf8(GetParam().message));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ColumnListErrorTest,
    ::testing::Values(ListErrorCase{"f_adi\t20", "List index out of bounds (2)"},
                      ListErrorCase{"f_adi", "List index out of bounds (1)"},
                      ListErrorCase{"f_adi\tyirmi\tAd", "'yirmi' is not a valid integer value"}));

TEST_F(GridTest, TitleFontBoundsTheColumnWidth) {
    db.addCustomers(1);
    grid->setSelected({"f_adi\t2\tÇok Uzun Bir Başlık~Kısa"});
    grid->setDataSource(&srcMain);
    qryMain.open();
    const int title = platform::textWidth(grid->titleFont(), "Çok Uzun Bir Başlık");
    EXPECT_EQ(grid->columnWidth(0), title + 4);
    grid->setOptions(grid->options() | controls::dgNoLimitColSize);
    EXPECT_EQ(grid->columnWidth(0), 6 * 2 + 4);
}

struct ScrollCase {
    int records;
    controls::TScrollBarValues values;
    bool enabled;
};

class VerticalBarTest : public GridTest, public ::testing::WithParamInterface<ScrollCase> {};

TEST_P(VerticalBarTest, ValuesFollowRecordCountAndVisibleRows) {
    showCustomers(GetParam().records);
    EXPECT_EQ(grid->vertScrollValues(), GetParam().values);
    EXPECT_EQ(grid->verticalScrollBar()->isEnabled(), GetParam().enabled);
    EXPECT_TRUE(grid->verticalScrollBar()->isVisible());
}

INSTANTIATE_TEST_SUITE_P(Counts, VerticalBarTest,
                         ::testing::Values(ScrollCase{0, {1, 1001, 1000, 1}, false},
                                           ScrollCase{1, {1, 1001, 1000, 1}, false},
                                           ScrollCase{3, {1, 5, 3, 1}, true},
                                           ScrollCase{30, {1, 39, 10, 1}, true}));

TEST_F(GridTest, VerticalBarGivesOnePositionPerRecordAndIsWrittenOnlyOnChange) {
    showCustomers(30);
    QScrollBar* bar = grid->verticalScrollBar();
    EXPECT_EQ(bar->minimum(), 1);
    EXPECT_EQ(bar->maximum(), 30);
    const int writes = grid->vertScrollWrites();
    grid->resize(grid->width() + 10, grid->height()); // same rows: nothing to write
    qryMain.resync();
    EXPECT_EQ(grid->vertScrollWrites(), writes);
    key(Qt::Key_Down);
    EXPECT_EQ(grid->vertScrollWrites(), writes + 1);
    EXPECT_EQ(grid->vertScrollValues().pos, 2);
    EXPECT_EQ(bar->value(), 2);
    // While a record is being inserted the position stays.
    qryMain.insert();
    EXPECT_EQ(grid->vertScrollValues().pos, 2);
    qryMain.cancel();
}

TEST_F(GridTest, HorizontalBarScrollsWholeColumnsAndKeepsTheIndicator) {
    db.addCustomers(1);
    db.addVisits(1, 2);
    grid->setDataSource(&srcServis);
    openVisits(1);
    showWindow();
    QScrollBar* bar = grid->horizontalScrollBar();
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(grid->clientArea().height(), grid->height() - bar->height());
    bar->setValue(2);
    EXPECT_EQ(grid->leftColumn(), 2);
    EXPECT_EQ(grid->columnTitleRect(2).left(), kFirstDataLeft);
    EXPECT_TRUE(grid->columnTitleRect(1).isEmpty());
    focusGrid();
    key(Qt::Key_Right, Qt::ControlModifier); // last column current: scrolled into view
    EXPECT_EQ(grid->currentColumn(), 10);
    EXPECT_LE(grid->columnTitleRect(10).right(), grid->clientArea().right());
    key(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(grid->leftColumn(), 0);
    // The indicator column never scrolls: its title cell keeps its raised light edge.
    EXPECT_EQ(pixelOf(shot(), 0, 5), kWhite);
}

// Counts the paints of the widgets it watches.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(std::initializer_list<QWidget*> widgets) {
        for (QWidget* w : widgets)
            w->installEventFilter(this);
    }
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint;
        return false;
    }
};

TEST_F(GridTest, BarsOfASetClosedAndOpenedAgainInOneEventChangeOnlyWhereTheyShowOtherValues) {
    db.addCustomers(2);
    db.addVisits(1, 20);
    db.addVisits(2, 3);
    grid->setDataSource(&srcServis);
    openVisits(1);
    showWindow();
    QScrollBar* vbar = grid->verticalScrollBar();
    QScrollBar* hbar = grid->horizontalScrollBar();
    const QRect vbarGeometry = vbar->geometry();
    ASSERT_TRUE(hbar->isVisible());
    ASSERT_TRUE(vbar->isEnabled());
    const int writes = grid->vertScrollWrites();
    PaintCounter bars{vbar, hbar};

    // The same visits again, as the next customer's would be: the bars are neither written nor
    // painted, though the closed set in between had no columns and nothing to scroll.
    qryServis.close();
    EXPECT_EQ(grid->vertScrollValues(), (controls::TScrollBarValues{1, 1001, 1000, 1}));
    openVisits(1);
    QApplication::processEvents();
    EXPECT_EQ(grid->vertScrollWrites(), writes);
    EXPECT_EQ(bars.paints, 0);
    EXPECT_TRUE(hbar->isVisible());
    EXPECT_TRUE(vbar->isEnabled());
    EXPECT_EQ(vbar->geometry(), vbarGeometry);

    // Other visits: the vertical bar takes their values when the event loop turns.
    qryServis.close();
    openVisits(2);
    EXPECT_EQ(grid->vertScrollValues(), (controls::TScrollBarValues{1, 5, 3, 1}));
    QApplication::processEvents();
    EXPECT_EQ(grid->vertScrollWrites(), writes + 1);
    EXPECT_EQ(vbar->maximum(), 3);
    EXPECT_EQ(vbar->value(), 1);
    EXPECT_GT(bars.paints, 0);

    // A set that stays closed: its bars show the closed look once the event loop turns.
    qryServis.close();
    QApplication::processEvents();
    EXPECT_FALSE(hbar->isVisible());
    EXPECT_FALSE(vbar->isEnabled());
    EXPECT_EQ(vbar->geometry(),
              QRect(vbarGeometry.topLeft(), QSize(vbarGeometry.width(), grid->height())));
    EXPECT_EQ(vbar->minimum(), 1);
    EXPECT_EQ(vbar->pageStep(), 1000);
}

} // namespace
} // namespace grid_test
