// The paper preview: the toolkit's print preview in Turkish, with a command that saves a PDF.
#include "app/PaperPreview.h"

#include "platform/Application.h"
#include "reports/Paper.h"

#include <QAction>
#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QToolBar>

namespace app {

namespace {

// The preview's own commands in Turkish, by their English captions (the "&" taken out).
struct Caption {
    const char* english;
    const char* turkish;
};
const Caption kCaptions[] = {
    {"Next page", "Sonraki sayfa"},
    {"Previous page", "Önceki sayfa"},
    {"First page", "İlk sayfa"},
    {"Last page", "Son sayfa"},
    {"Fit width", "Genişliğe sığdır"},
    {"Fit page", "Sayfaya sığdır"},
    {"Zoom in", "Yakınlaştır"},
    {"Zoom out", "Uzaklaştır"},
    {"Show single page", "Tek sayfa"},
    {"Show facing pages", "Karşılıklı sayfalar"},
    {"Show overview of all pages", "Bütün sayfalar"},
    {"Print", "Yazdır"},
    {"Close", "Kapat"},
};
// Commands that would change the paper's A4 portrait page: not offered.
const char* const kHidden[] = {"Portrait", "Landscape", "Page setup"};

void translate(QPrintPreviewDialog& dialog) {
    for (QAction* action : dialog.findChildren<QAction*>()) {
        const QString english = action->text().remove('&');
        for (const char* hidden : kHidden)
            if (english == QLatin1String(hidden))
                action->setVisible(false);
        for (const Caption& c : kCaptions) {
            if (english == QLatin1String(c.english)) {
                action->setText(QString::fromUtf8(c.turkish));
                action->setToolTip(QString::fromUtf8(c.turkish));
            }
        }
    }
}

void savePdf(QWidget* parent, const reports::TPaper& paper) {
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("PDF Olarak Kaydet"),
                                                      paper.title + QStringLiteral(".pdf"),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (path.isEmpty())
        return;
    platform::guarded([&] { reports::writePdf(paper, path); });
}

} // namespace

void previewPaper(QWidget* parent, const reports::TPaper& paper) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(paper.title);
    printer.setFullPage(true); // the paper keeps its own margins
    reports::prepareDevice(printer);
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setObjectName(QStringLiteral("frmPaperPreview"));
    dialog.setWindowTitle(QStringLiteral("Baskı Önizleme - ") + paper.title);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&paper](QPrinter* target) {
                         platform::guarded([&] { reports::printPaper(paper, *target); });
                     });
    translate(dialog);
    if (auto* bar = dialog.findChild<QToolBar*>()) {
        bar->addSeparator();
        QAction* save = bar->addAction(QStringLiteral("PDF Olarak Kaydet"));
        save->setObjectName(QStringLiteral("actSavePdf"));
        QObject::connect(save, &QAction::triggered, &dialog,
                         [&dialog, &paper] { savePdf(&dialog, paper); });
    }
    dialog.resize(760, 820);
    dialog.exec();
}

} // namespace app
