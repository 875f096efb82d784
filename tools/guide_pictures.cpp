// korvela-guide-pictures: renders the main window and both editing dialogs for the user guide.
//
//   korvela-guide-pictures DBDIR OUTDIR
//
// DBDIR holds a "Korvela.mdb" with the demonstration data (korvela-admin create --demo); the
// pictures are grabbed from the real windows working on it and written to OUTDIR as
// ana-pencere.png, musteri-penceresi.png, servis-penceresi.png and sag-tik-menusu.png (the
// customer grid's right-click menu over the window); the first page of each paper, drawn by the
// program's own page layout, as hesap-ekstresi.png, servis-formu.png and borclu-musteriler.png.
// Nothing is saved to the file.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/RecordGrid.h"
#include "data/DataEvents.h"
#include "dialogs/Customer.h"
#include "dialogs/Service.h"
#include "platform/Application.h"
#include "platform/Fonts.h"
#include "reports/Papers.h"

#include <QDir>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <cstdio>

namespace {

// The customer the pictures show: several visits, one of them overpaid.
const char* const kCustomer = "Ayşe Öztürk";

bool save(QWidget& widget, const QString& path) {
    QApplication::setActiveWindow(&widget);
    QApplication::processEvents();
    const QImage image = widget.grab().toImage();
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "korvela-guide-pictures: cannot write '%s'\n", qPrintable(path));
        return false;
    }
    std::printf("korvela-guide-pictures: %s (%dx%d)\n", qPrintable(path), image.width(),
                image.height());
    return true;
}

bool saveImage(const QImage& image, const QString& path) {
    if (image.isNull() || !image.save(path, "PNG")) {
        std::fprintf(stderr, "korvela-guide-pictures: cannot write '%s'\n", qPrintable(path));
        return false;
    }
    std::printf("korvela-guide-pictures: %s (%dx%d)\n", qPrintable(path), image.width(),
                image.height());
    return true;
}

// The window with the customer grid's right-click menu open over the current customer's row.
QImage withCustomerMenu(app::TfrmMain& frmMain) {
    const app::MainParts parts(frmMain);
    QImage image = frmMain.grab().toImage();
    auto* menu = parts.grdMain->findChild<QMenu*>(QStringLiteral("mnuMusteri"));
    if (!menu)
        return {};
    controls::TRecordGrid* grid = parts.grdMain;
    // Where the pointer would be: on the current row (grid row 0 is the title row).
    const int rowMiddle = grid->titleRowHeight() +
                          (grid->currentRow() - 1) * grid->dataRowHeight() +
                          grid->dataRowHeight() / 2;
    const QPoint at = grid->mapTo(&frmMain, QPoint(140, rowMiddle));
    menu->popup(frmMain.mapToGlobal(at));
    menu->setActiveAction(menu->actions().value(0));
    QApplication::processEvents();
    const QImage shown = menu->grab().toImage();
    menu->close();
    QPainter(&image).drawImage(at, shown);
    return image;
}

// The resolution of the papers' pictures: a page is 827 x 1169 pixels.
constexpr int kPaperDotsPerInch = 100;

} // namespace

int main(int argc, char** argv) {
    platform::TApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: korvela-guide-pictures DBDIR OUTDIR\n");
        return 2;
    }
    if (!platform::loadFonts()) {
        std::fprintf(stderr, "korvela-guide-pictures: the window fonts are missing\n");
        return 1;
    }
    platform::useClassicLook();
    QString dbDir = QDir(args[1]).absolutePath();
    if (!dbDir.endsWith('/'))
        dbDir += '/';
    const QString outDir = args[2];
    if (!QDir().mkpath(outDir)) {
        std::fprintf(stderr, "korvela-guide-pictures: cannot make '%s'\n", qPrintable(outDir));
        return 1;
    }

    app::TfrmMain frmMain(dbDir);
    const app::MainParts parts(frmMain);
    frmMain.show();
    if (!parts.qryMain.active() || parts.qryMain.isEmpty()) {
        std::fprintf(stderr, "korvela-guide-pictures: no customers in '%sKorvela.mdb'\n",
                     qPrintable(dbDir));
        return 1;
    }
    // The search the guide describes: the customer found by the start of the name.
    parts.qryMain.locate(QStringLiteral("f_adi"), {QString::fromUtf8(kCustomer)},
                         data::TLocateOption::loPartialKey);
    parts.grdMain->setFocus();
    bool ok = save(frmMain, outDir + QStringLiteral("/ana-pencere.png"));

    {
        parts.qryMain.edit();
        dialogs::TfrmCustomer frmCustomer(&parts.srcMain);
        frmCustomer.show();
        ok = save(frmCustomer, outDir + QStringLiteral("/musteri-penceresi.png")) && ok;
        frmCustomer.close();
        parts.qryMain.cancel();
    }
    {
        // From the last visit (where the totals pass leaves the cursor) back to one not yet paid
        // in full, so that the picture shows a balance.
        while (!parts.qryServis.bof() &&
               parts.qryServis.fieldByName(QStringLiteral("c_kalan")).asMoney().raw == 0)
            parts.qryServis.prior();
        parts.qryServis.edit();
        dialogs::TfrmService frmService(&parts.srcServis);
        frmService.show();
        ok = save(frmService, outDir + QStringLiteral("/servis-penceresi.png")) && ok;
        frmService.close();
        if (parts.qryServis.state() != data::TDataSetState::dsBrowse)
            parts.qryServis.cancel();
    }
    ok = saveImage(withCustomerMenu(frmMain), outDir + QStringLiteral("/sag-tik-menusu.png")) && ok;

    // The papers of the same customer and of her last visit with a balance.
    const reports::TPaperHeading heading = reports::paperHeading(dbDir);
    const qint64 customer = parts.qryMain.fieldByName(QStringLiteral("id")).asInteger();
    const qint64 visit = parts.qryServis.fieldByName(QStringLiteral("id")).asInteger();
    const struct {
        reports::TPaper paper;
        const char* file;
    } papers[] = {
        {reports::statementPaper(parts.dbsPRJ, customer, heading), "/hesap-ekstresi.png"},
        {reports::serviceFormPaper(parts.dbsPRJ, visit, heading), "/servis-formu.png"},
        {reports::debtorsPaper(parts.dbsPRJ, heading), "/borclu-musteriler.png"},
    };
    for (const auto& p : papers)
        ok = saveImage(reports::pageImage(p.paper, 0, kPaperDotsPerInch),
                       outDir + QLatin1String(p.file)) &&
             ok;
    return ok ? 0 : 1;
}
