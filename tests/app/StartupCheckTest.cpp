// The main window on a damaged database file or a special file named like it: the error is shown
// at start-up, the window stays empty and nothing can be written.
#include "app/Main.h"
#include "platform/Application.h"
#include "tests/support/Boxes.h"
#include "tests/support/TestDatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::TestDatabase;

namespace {

using testsupport::Boxes;

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(StartupCheck, ADamagedFileIsReportedAndTheWindowStaysEmptyAndUnwritten) {
    TestDatabase db;
    for (int c = 0; c < 30; ++c) {
        const qint64 id = db.addCustomer(QString("Müşteri %1").arg(c));
        for (int v = 0; v < 30; ++v)
            db.addVisit(id, "100.0000", "50.0000", "");
    }
    const qint64 leaf = db.scalar("select pageno from dbstat where name = 't_servis' and "
                                  "pagetype = 'leaf' order by pageno desc limit 1")
                            .toLongLong();
    ASSERT_GT(leaf, 1);
    {
        QFile f(db.path());
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.seek((leaf - 1) * 4096));
        f.write(QByteArray(4096, 'x'));
    }
    const QByteArray before = fileBytes(db.path());

    Boxes boxes;
    app::TfrmMain w(db.directory());
    ASSERT_EQ(boxes.errors.size(), 1);
    EXPECT_EQ(boxes.errors[0], "'" + db.path() + "' is damaged (page " + QString::number(leaf) +
                                   " is no b-tree page): it was not opened; restore it from a "
                                   "backup.");
    EXPECT_FALSE(w.dbsPRJ.connected());
    EXPECT_FALSE(w.qryMain.active());
    EXPECT_FALSE(w.qryServis.active());

    // Every command that would write fails, and the file stays as it was.
    boxes.errors.clear();
    platform::guarded([&] { w.qryMain.insert(); });
    platform::guarded([&] { w.btnServisSilClick(); });
    ASSERT_EQ(boxes.errors.size(), 2);
    EXPECT_EQ(boxes.errors[0], "qryMain: Cannot perform this operation on a closed dataset.");
    EXPECT_EQ(boxes.errors[1], "qryServis: Cannot perform this operation on a closed dataset.");
    EXPECT_EQ(fileBytes(db.path()), before);
}

TEST(StartupCheck, AFifoNamedLikeTheDatabaseDoesNotHangTheStart) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    Boxes boxes;
    QElapsedTimer timer;
    timer.start();
    // (On the old code this constructor never returned; ctest's time-out ended the test.)
    app::TfrmMain w(dir.path() + '/');
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(boxes.errors, QStringList{"Could not find file '" + path + "'"});
    EXPECT_FALSE(w.qryMain.active());
}

} // namespace
