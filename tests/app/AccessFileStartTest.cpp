// The main window on a shop's old Access file (the box names the conversion command) and on the
// database the import made of it (customers, visits, dates, money and the totals line).
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradPanel.h"
#include "platform/Application.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct ErrorBoxes {
    QStringList errors;
    ErrorBoxes() {
        platform::DialogHooks h;
        h.errorBox = [this](const QString&, const QString& t) { errors << t; };
        scope.set(h);
    }
    platform::ScopedDialogHooks scope; // last member: goes first
};

const QString kAccessFile =
    QStringLiteral(KORVELA_SOURCE_DIR "/tests/data/access/Korvela-access2000.mdb");

TEST(AccessFileStart, TheErrorBoxNamesTheConversionCommand) {
    QTemporaryDir dir;
    const QString directory = dir.filePath("Eski Dükkân") + '/';
    ASSERT_TRUE(QDir().mkpath(directory));
    ASSERT_TRUE(QFile::copy(kAccessFile, directory + "Korvela.mdb"));
    ErrorBoxes boxes;
    app::TfrmMain w(directory);
    const app::MainParts parts(w);
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(boxes.errors[0].toStdString(),
              QStringLiteral("'%1Korvela.mdb' bir Access veritabanı dosyası; Korvela Takip onu "
                             "doğrudan açamaz.\nProgramı kapatıp dosyayı şu komutla "
                             "dönüştürün:\n\nkorvela-admin import --in-place '%1Korvela.mdb'\n\n"
                             "Eski Access dosyası aynı klasörde yeni bir adla saklanır.")
                  .arg(directory)
                  .toStdString());
    EXPECT_FALSE(parts.dbsPRJ.connected());
    EXPECT_FALSE(parts.qryMain.active());
}

TEST(AccessFileStart, TheImportedFileShowsCustomersVisitsAndTotals) {
    QTemporaryDir dir;
    QProcess import;
    import.start(QStringLiteral(KORVELA_ADMIN_PROGRAM),
                 {"import", kAccessFile, dir.filePath("Korvela.mdb")});
    ASSERT_TRUE(import.waitForFinished(60000));
    ASSERT_EQ(import.exitCode(), 0) << import.readAllStandardError().toStdString();
    ErrorBoxes boxes;
    app::TfrmMain w(dir.path() + '/');
    const app::MainParts parts(w);
    w.show();
    EXPECT_TRUE(boxes.errors.isEmpty()) << boxes.errors.join('\n').toStdString();
    EXPECT_EQ(parts.qryMain.recordCount(), 30);
    EXPECT_EQ(parts.qryMain.fieldByName("f_adi").displayText(), "Hatice Arslan");
    EXPECT_EQ(parts.qryServis.recordCount(), 2);
    EXPECT_EQ(parts.pnlToplam->caption().toStdString(),
              "Toplam Tutar:  7.230,50 TL  -   Toplam Ödeme:  5.430,50 TL  -   Kalan Ödeme:  "
              "1.800,00 TL  ");
    // A date before 1930 and the Turkish letters as the Access file held them.
    ASSERT_TRUE(parts.qryMain.locate("id", {"15"}, {}));
    EXPECT_EQ(parts.qryMain.fieldByName("f_tarih").displayText(), "29.02.1928 09:30:00");
    ASSERT_TRUE(parts.qryMain.locate("id", {"3"}, {}));
    EXPECT_EQ(parts.qryMain.fieldByName("f_arac_plaka").displayText(), "06 ÇĞ 1923");
    ASSERT_TRUE(parts.qryMain.locate("id", {"22"}, {}));
    EXPECT_EQ(parts.qryServis.recordCount(), 2);
    EXPECT_EQ(parts.pnlToplam->caption().toStdString(),
              "Toplam Tutar:  2.600,50 TL  -   Toplam Ödeme:  750,00 TL  -   Kalan Ödeme:  "
              "1.850,50 TL  ");
}

} // namespace
