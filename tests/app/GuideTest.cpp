// Tests of the user guide: it names every command and dialog row, and its pictures are the real
// windows as this build draws them; the menu icons exist at every size.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradButton.h"
#include "controls/InspectorItem.h"
#include "controls/RecordGrid.h"
#include "controls/RecordInspector.h"
#include "dialogs/Customer.h"
#include "dialogs/Service.h"
#include "platform/Application.h"
#include "tests/support/TestDatabase.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QRegularExpression>
#include <gtest/gtest.h>

using testsupport::TestDatabase;

namespace {

QString guideText() {
    QFile f(QStringLiteral(KORVELA_SOURCE_DIR "/resources/guide.html"));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QString::fromUtf8(f.readAll());
}

QString picturePath(const QString& name) {
    return QStringLiteral(KORVELA_BINARY_DIR "/guide/") + name;
}

// The pictures the guide shows, in the order it shows them.
QStringList guidePictures(const QString& html) {
    QStringList names;
    static const QRegularExpression img(QStringLiteral("<img src=\"guide/([^\"]+)\""));
    for (const auto& m : img.globalMatch(html))
        names << m.captured(1);
    return names;
}

QImage part(const QImage& image, QWidget* child) {
    return image.copy(QRect(child->mapTo(child->window(), QPoint(0, 0)), child->size()));
}

QImage grabbed(QWidget& w) {
    QApplication::processEvents();
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage picture(const QString& name) {
    return QImage(picturePath(name)).convertToFormat(QImage::Format_RGB32);
}

} // namespace

TEST(Guide, ExplainsEveryCommandOfTheMainWindowByItsCaption) {
    TestDatabase db;
    app::TfrmMain w(db.directory());
    const QString html = guideText();
    const auto buttons = w.findChildren<controls::TGradButton*>();
    ASSERT_EQ(buttons.size(), 7);
    for (controls::TGradButton* b : buttons)
        EXPECT_TRUE(html.contains(QStringLiteral("<dt><b>%1</b></dt>").arg(b->caption())))
            << b->caption().toStdString();
    // The papers of the grids' right-click menus, by their captions.
    int entries = 0;
    for (QMenu* menu : w.findChildren<QMenu*>())
        for (QAction* action : menu->actions()) {
            const QString caption = action->text().section('\t', 0, 0);
            EXPECT_TRUE(html.contains(QStringLiteral("<dt><b>%1</b></dt>").arg(caption)))
                << caption.toStdString();
            ++entries;
        }
    EXPECT_EQ(entries, 3);
    for (const char* heading : {"Müşteri arama", "Toplamlar", "Yönetici işleri"})
        EXPECT_TRUE(html.contains(QStringLiteral(">%1</h2>").arg(QString::fromUtf8(heading))))
            << heading;
}

TEST(Guide, ListsEveryRowOfBothDialogsInTheirOrder) {
    TestDatabase db;
    app::TfrmMain w(db.directory());
    const app::MainParts parts(w);
    const QString html = guideText();
    dialogs::TfrmCustomer customer(&parts.srcMain);
    dialogs::TfrmService service(&parts.srcServis);
    for (dialogs::TEditDialog* d : {static_cast<dialogs::TEditDialog*>(&customer),
                                    static_cast<dialogs::TEditDialog*>(&service)}) {
        QStringList captions;
        for (int i = 0; i < d->findChild<controls::TRecordInspector*>("insMain")->itemCount(); ++i)
            captions << d->findChild<controls::TRecordInspector*>("insMain")->item(i).caption();
        ASSERT_FALSE(captions.isEmpty());
        // "Satırlar sırasıyla: A, B, ... ve Z." with the bold markers taken away.
        QString expected = captions.mid(0, captions.size() - 1).join(QStringLiteral(", ")) +
                           QStringLiteral(" ve ") + captions.last() + QLatin1Char('.');
        QString plain = html;
        plain.remove(QStringLiteral("<b>")).remove(QStringLiteral("</b>")).replace('\n', ' ');
        EXPECT_TRUE(plain.contains(QStringLiteral("Satırlar sırasıyla: ") + expected))
            << d->windowTitle().toStdString() << ": " << expected.toStdString();
    }
}

TEST(Guide, ShowsExactlyThePicturesTheBuildMade) {
    const QStringList shown = guidePictures(guideText());
    EXPECT_EQ(shown,
              QStringList({"ana-pencere.png", "musteri-penceresi.png", "servis-penceresi.png",
                           "sag-tik-menusu.png", "hesap-ekstresi.png", "servis-formu.png",
                           "borclu-musteriler.png"}));
    QStringList made = QDir(QStringLiteral(KORVELA_BINARY_DIR "/guide"))
                           .entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    QStringList sorted = shown;
    sorted.sort();
    EXPECT_EQ(made, sorted);
}

// The pictures come from the real widgets of this build: their sizes are the windows' sizes, and
// the button bars (which show no data) are pixel for pixel what the windows draw now.
TEST(Guide, PicturesAreTheWindowsAsThisBuildDrawsThem) {
    TestDatabase db;
    db.addCustomer("Veli");
    app::TfrmMain w(db.directory());
    const app::MainParts parts(w);
    w.show();
    const QImage main = grabbed(w);
    const QImage mainPicture = picture("ana-pencere.png");
    ASSERT_FALSE(mainPicture.isNull());
    EXPECT_EQ(mainPicture.size(), main.size());
    EXPECT_EQ(part(mainPicture, parts.pnlButtons), part(main, parts.pnlButtons));
    EXPECT_EQ(part(mainPicture, parts.pnlHeader), part(main, parts.pnlHeader));
    // The right-click menu lies over the window as it is: its button bar is the window's.
    const QImage menuPicture = picture("sag-tik-menusu.png");
    EXPECT_EQ(menuPicture.size(), main.size());
    EXPECT_EQ(part(menuPicture, parts.pnlButtons), part(main, parts.pnlButtons));
    EXPECT_NE(part(menuPicture, parts.grdMain), part(mainPicture, parts.grdMain));
    // The papers' first pages: A4 at 100 dots per inch.
    for (const char* paper : {"hesap-ekstresi.png", "servis-formu.png", "borclu-musteriler.png"})
        EXPECT_EQ(picture(paper).size(), QSize(827, 1169)) << paper;

    {
        parts.qryMain.edit();
        dialogs::TfrmCustomer d(&parts.srcMain);
        d.show();
        const QImage now = grabbed(d);
        const QImage shot = picture("musteri-penceresi.png");
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), now.size());
        EXPECT_EQ(part(shot, d.findChild<QWidget*>("pnlButtons")),
                  part(now, d.findChild<QWidget*>("pnlButtons")));
        d.close();
        parts.qryMain.cancel();
    }
    {
        parts.qryServis.edit(); // an empty visit list: a new visit
        dialogs::TfrmService d(&parts.srcServis);
        d.show();
        const QImage now = grabbed(d);
        const QImage shot = picture("servis-penceresi.png");
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), now.size());
        EXPECT_EQ(part(shot, d.findChild<QWidget*>("pnlButtons")),
                  part(now, d.findChild<QWidget*>("pnlButtons")));
        d.close();
    }
}

TEST(MenuIcon, IsMadeFromTheLogoAtEveryHicolorSize) {
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QImage icon(
            QStringLiteral(KORVELA_BINARY_DIR "/icons/%1x%1/apps/korvela.png").arg(size));
        ASSERT_FALSE(icon.isNull()) << size;
        EXPECT_EQ(icon.size(), QSize(size, size));
        // The logo: an orange ring on black, so the corner is dark and the middle row has orange.
        EXPECT_LT(qGray(icon.pixel(0, 0)), 40) << size;
        bool orange = false;
        for (int x = 0; x < size; ++x) {
            const QRgb p = icon.pixel(x, size / 2);
            orange = orange || (qRed(p) > 180 && qGreen(p) > 80 && qBlue(p) < 100);
        }
        EXPECT_TRUE(orange) << size;
    }
}
