// The main window's front-desk additions: the search's plate and phone tries, the papers from
// the grids' right-click menus and Ctrl+P, and the visit grid keeping its sideways position.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/RecordGrid.h"
#include "tests/support/Boxes.h"
#include "tests/support/TestDatabase.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <gtest/gtest.h>
#include <optional>

using testsupport::Boxes;
using testsupport::TestDatabase;

namespace {

class FrontDesk : public ::testing::Test {
protected:
    void SetUp() override {
        ahmet = customer("Ahmet Yılmaz", "34 ABC 123", "0216 345 12 34", "0532 412 55 10");
        numara = customer("34 Numara Oto", "06 XX 1", "", "");
        zeynep = customer("Zeynep Koç", "41 KOC 11", "0262 321 54 54", "0532 600 70 80");
        for (int i = 0; i < 6; ++i)
            db.addVisit(ahmet, "100.0000", "50.5000", "120.0000",
                        QString("2008-12-%1 00:00:00").arg(10 + i));
        db.addVisit(zeynep, "10.0000", "", "");
        w = std::make_unique<app::TfrmMain>(db.directory());
        parts.emplace(*w);
        w->show();
        QApplication::setActiveWindow(w.get());
    }
    qint64 customer(const char* name, const char* plate, const char* phone, const char* cell) {
        const qint64 id = db.addCustomer(QString::fromUtf8(name), QString::fromUtf8(plate));
        db.exec(QString("update t_musteri set f_tel = '%1', f_gsm = '%2' where id = %3")
                    .arg(QString::fromUtf8(phone), QString::fromUtf8(cell))
                    .arg(id));
        return id;
    }
    QString current() const { return parts->qryMain.fieldByName("f_adi").asString(); }
    QString search(const QString& text) {
        boxes.typed = text;
        parts->btnMusteriAra->click();
        return current();
    }
    // Opens a grid's right-click menu over a row and runs the steps while it is shown.
    QStringList menuOf(controls::TRecordGrid* grid, int row,
                       const std::function<void(QMenu*)>& steps = {}) {
        const QPoint at(60, grid->titleRowHeight() + row * grid->dataRowHeight() + 5);
        QTest::mouseClick(grid, Qt::RightButton, {}, at);
        QStringList texts;
        QTimer::singleShot(0, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            for (QAction* a : menu->actions())
                texts << a->objectName() + "|" + a->text();
            if (steps)
                steps(menu);
            else
                menu->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, grid->mapToGlobal(at));
        QApplication::sendEvent(grid, &event);
        return texts;
    }
    // Runs the steps inside the next preview once it is shown, then closes it.
    void inPreview(const std::function<void(QPrintPreviewDialog*)>& steps) {
        auto* poll = new QTimer;
        QObject::connect(poll, &QTimer::timeout, [this, poll, steps] {
            auto* preview = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (!preview)
                return;
            poll->stop();
            poll->deleteLater();
            steps(preview);
            previews << preview->windowTitle();
            preview->close();
        });
        poll->start(20);
    }

    TestDatabase db;
    Boxes boxes;
    std::unique_ptr<app::TfrmMain> w;
    std::optional<app::MainParts> parts; // found once the window is built
    qint64 ahmet = 0, numara = 0, zeynep = 0;
    QStringList previews;
};

TEST_F(FrontDesk, TheSearchFallsBackToPlatesThenNumbersAndNamesStillWin) {
    EXPECT_EQ(search("34abc123"), "Ahmet Yılmaz");
    EXPECT_EQ(boxes.inputs.first(), "Müşteri Arama|Müşteri Adı:|Ahmet Yılmaz"); // as today
    EXPECT_EQ(search("41 koc"), "Zeynep Koç");
    EXPECT_EQ(search("0532 412"), "Ahmet Yılmaz");
    EXPECT_EQ(search("532-600-70-80"), "Zeynep Koç");
    EXPECT_EQ(search("34"), "34 Numara Oto"); // a name begins with it: the name wins
    EXPECT_EQ(search("Ahm"), "Ahmet Yılmaz");
    // Nothing found: nothing changes, nothing is said; the visits follow every move.
    EXPECT_EQ(search("99 ZZ 9"), "Ahmet Yılmaz");
    EXPECT_EQ(parts->qryServis.recordCount(), 6);
    EXPECT_TRUE(boxes.errors.isEmpty());
    EXPECT_TRUE(boxes.messages.isEmpty());
}

TEST_F(FrontDesk, TheGridsRightClickMenusOfferThePapers) {
    EXPECT_EQ(menuOf(parts->grdMain, 1), QStringList({"mnuHesapEkstresi|Hesap Ekstresi\tCtrl+P",
                                                      "mnuBorcluMusteriler|Borçlu Müşteriler"}));
    EXPECT_EQ(current(), "34 Numara Oto"); // the right button chose the row, as it always did
    EXPECT_EQ(menuOf(parts->grdServis, 0), QStringList({"mnuServisFormu|Servis Formu"}));
}

TEST_F(FrontDesk, EachPaperOpensInTheTurkishPreviewWithItsPages) {
    int pages = 0;
    QStringList captions;
    const auto look = [&](QPrintPreviewDialog* preview) {
        EXPECT_EQ(preview->objectName(), "frmPaperPreview");
        auto* view = preview->findChild<QPrintPreviewWidget*>();
        ASSERT_NE(view, nullptr);
        pages = view->pageCount();
        captions.clear();
        for (QAction* a : preview->findChild<QToolBar*>()->actions())
            if (a->isVisible() && !a->isSeparator())
                captions << a->text();
    };
    inPreview(look);
    menuOf(parts->grdMain, 0, [](QMenu* menu) { menu->actions()[0]->trigger(); });
    EXPECT_EQ(previews.value(0), "Baskı Önizleme - Hesap Ekstresi");
    EXPECT_EQ(pages, 1);
    for (const char* caption : {"Yazdır", "Sonraki sayfa", "Yakınlaştır", "PDF Olarak Kaydet"})
        EXPECT_TRUE(captions.contains(QString::fromUtf8(caption))) << caption;
    for (const char* hidden : {"Portrait", "Landscape", "Page setup"})
        EXPECT_FALSE(captions.contains(hidden)) << hidden;

    inPreview(look);
    menuOf(parts->grdMain, 0, [](QMenu* menu) { menu->actions()[1]->trigger(); });
    EXPECT_EQ(previews.value(1), "Baskı Önizleme - Borçlu Müşteriler");

    inPreview(look);
    menuOf(parts->grdServis, 0, [](QMenu* menu) { menu->actions()[0]->trigger(); });
    EXPECT_EQ(previews.value(2), "Baskı Önizleme - Servis Formu");

    // Ctrl+P: the current customer's statement.
    inPreview(look);
    QApplication::setActiveWindow(w.get());
    parts->grdMain->setFocus();
    QTest::keyClick(parts->grdMain, Qt::Key_P, Qt::ControlModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return previews.size() == 4; }, 5000));
    EXPECT_EQ(previews.value(3), "Baskı Önizleme - Hesap Ekstresi");
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
}

TEST_F(FrontDesk, APaperWithoutItsRecordSaysWhatToChoose) {
    parts->qryMain.locate("f_adi", {"34 Numara Oto"}, {}); // no visits
    parts->grdServis->findChild<QAction*>("mnuServisFormu")->trigger();
    EXPECT_EQ(boxes.messages,
              QStringList({"Servis formu için önce bir servis kaydı seçilmelidir."}));
}

TEST_F(FrontDesk, TheVisitGridKeepsItsSidewaysPositionForTheNextCustomer) {
    controls::TRecordGrid* grid = parts->grdServis;
    ASSERT_GT(grid->horizontalScrollBar()->maximum(), 5);
    grid->horizontalScrollBar()->setValue(5); // the user scrolls right to the amounts
    ASSERT_EQ(grid->leftColumn(), 5);
    const int columns = grid->dataColumnCount();
    std::vector<int> widths;
    for (int c = 0; c < columns; ++c)
        widths.push_back(grid->columnWidth(c));

    parts->qryMain.locate("f_adi", {"Zeynep Koç"}, {});
    EXPECT_EQ(parts->qryServis.recordCount(), 1);
    EXPECT_EQ(grid->leftColumn(), 5);
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 5);
    EXPECT_EQ(grid->dataColumnCount(), columns);
    for (int c = 0; c < columns; ++c)
        EXPECT_EQ(grid->columnWidth(c), widths[std::size_t(c)]) << c;
    // Back to a customer with several visits: still there, on the last visit as always.
    parts->qryMain.locate("f_adi", {"Ahmet"}, data::TLocateOption::loPartialKey);
    EXPECT_EQ(grid->leftColumn(), 5);
    EXPECT_EQ(parts->qryServis.recNo(), 6);
    EXPECT_TRUE(parts->qryServis.eof());
}

} // namespace
