// Import of a real Access 2000 file: every expected value, ids, orphans, the report, bad files,
// a reader that crashes, and an import killed midway.
#include "AdminTestSupport.h"

#include "tools/admin/AccessReader.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace admintest;

namespace {

// The value of one field of the expected files, unescaped; NULL is returned as "\N".
QString unescapeTsv(const QString& field) {
    if (field == QLatin1String("\\N"))
        return field;
    QString out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] != '\\' || i + 1 == field.size()) {
            out += field[i];
            continue;
        }
        const QChar c = field[++i];
        out += c == 'n' ? QChar('\n') : c == 'r' ? QChar('\r') : c == 't' ? QChar('\t') : c;
    }
    return out;
}

class ImportedFile : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        target = dir->filePath("Korvela.mdb");
        run = new AdminRun(runAdmin({"import", dataDir() + "Korvela-access2000.mdb", target}));
    }
    static void TearDownTestSuite() {
        delete run;
        delete dir;
    }
    static QTemporaryDir* dir;
    static QString target;
    static AdminRun* run;
};
QTemporaryDir* ImportedFile::dir = nullptr;
QString ImportedFile::target;
AdminRun* ImportedFile::run = nullptr;

TEST_F(ImportedFile, EveryExpectedValueIsReproducedExactly) {
    ASSERT_EQ(run->exitCode, 0) << run->err.toStdString();
    Reader db(target);
    for (const char* table : {"t_musteri", "t_servis"}) {
        QFile file(dataDir() + "expected/" + table + ".tsv");
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
        if (lines.last().isEmpty())
            lines.removeLast();
        const QStringList columns = lines.takeFirst().split('\t');
        const auto rows = db.rows(QStringLiteral("SELECT %1 FROM %2 ORDER BY id")
                                      .arg(columns.join(", "), QLatin1String(table)));
        ASSERT_EQ(rows.size(), lines.size()) << table;
        int compared = 0;
        for (int r = 0; r < lines.size(); ++r) {
            const QStringList expected = lines[r].split('\t');
            ASSERT_EQ(expected.size(), columns.size());
            for (int c = 0; c < columns.size(); ++c) {
                QString want = unescapeTsv(expected[c]);
                if (columns[c] == QLatin1String("f_tarih") && want != QLatin1String("\\N"))
                    want[10] = ' '; // stored as "YYYY-MM-DD HH:MM:SS"
                EXPECT_EQ(rows[r][c].toStdString(), want.toStdString())
                    << table << " id " << expected[0].toStdString() << " "
                    << columns[c].toStdString();
                ++compared;
            }
        }
        EXPECT_EQ(compared, lines.size() * columns.size());
    }
}

TEST_F(ImportedFile, StorageTypesIdsAndTheNextAutoNumber) {
    ASSERT_EQ(run->exitCode, 0);
    // On a copy: the other cases read the imported file as it is.
    const QString copy = dir->filePath("copy.mdb");
    QFile::remove(copy);
    ASSERT_TRUE(QFile::copy(target, copy));
    Reader db(copy);
    // Keys and the customer link are integers; money and dates are text the engine reads.
    EXPECT_EQ(
        db.rows("SELECT id, id_musteri, f_odeme, f_tarih, f_km FROM t_servis WHERE id = 81", true),
        (QList<QStringList>{{"81|int", "8|int", "-922337203685477.5808|text",
                             "2010-02-28 13:14:15|text", "\\N|other"}}));
    EXPECT_EQ(db.scalar("SELECT f_tutar FROM t_servis WHERE id = 81"), "922337203685477.5807");
    EXPECT_EQ(db.scalar("SELECT group_concat(id) FROM (SELECT id FROM t_musteri WHERE id < 14 "
                        "ORDER BY id)"),
              "1,2,3,5,6,7,8,9,10,13");
    // The sequence goes on after the highest id, not into the gaps.
    ASSERT_EQ(db.exec("INSERT INTO t_musteri (f_adi) VALUES ('yeni')"), SQLITE_OK);
    EXPECT_EQ(db.scalar("SELECT max(id) FROM t_musteri"), "34");
    ASSERT_EQ(db.exec("INSERT INTO t_servis (id_musteri) VALUES (34)"), SQLITE_OK);
    EXPECT_EQ(db.scalar("SELECT max(id) FROM t_servis"), "85");
    QFile::remove(copy);
}

TEST_F(ImportedFile, ReportCountsRowsAndListsOrphans) {
    ASSERT_EQ(run->exitCode, 0);
    const QString source = dataDir() + "Korvela-access2000.mdb";
    EXPECT_EQ(run->out.toStdString(),
              QStringLiteral("import: '%1' (Access 2000/2002-2003 (Jet 4)) into '%2'\n"
                             "table            read    written    next id\n"
                             "t_musteri          30         30         34\n"
                             "t_servis           80         80         85\n"
                             "orphan visits (kept): 3\n"
                             "  t_servis id 10: id_musteri 11, no such customer\n"
                             "  t_servis id 17: id_musteri is empty (NULL)\n"
                             "  t_servis id 71: id_musteri 9999, no such customer\n"
                             "not converted (imported as NULL): 0\n"
                             "ignored columns: none\n"
                             "check: integrity ok, schema ok, row counts match\n"
                             "done: '%2' is ready\n")
                  .arg(source, target)
                  .toStdString());
    EXPECT_EQ(entries(dir->path()), QStringList{"Korvela.mdb"}) << "no temporary file is left";
}

TEST_F(ImportedFile, CheckListsTheSameOrphans) {
    const AdminRun check = runAdmin({"check", target});
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_EQ(check.out.toStdString(),
              QStringLiteral("database: %1\nintegrity: ok\nschema: ok\n"
                             "rows: t_musteri 30, t_servis 80\norphan visits: 3\n"
                             "  t_servis id 10: id_musteri 11, no such customer\n"
                             "  t_servis id 17: id_musteri is empty (NULL)\n"
                             "  t_servis id 71: id_musteri 9999, no such customer\n"
                             "result: ok\n")
                  .arg(target)
                  .toStdString());
}

// ---- bad files: a message, exit code 1, nothing written ----

struct BadCase {
    const char* name;
    std::function<QString(const QString& dir)> make; // returns the source path
    QString message;                                 // %1 the source, %2 the target
};

QByteArray goodFile() {
    return fileBytes(dataDir() + "Korvela-access2000.mdb");
}

QString writeVariant(const QString& dir, const QByteArray& bytes) {
    const QString path = dir + "/old.mdb";
    writeBytes(path, bytes);
    return path;
}

class BadFiles : public testing::TestWithParam<BadCase> {};

TEST_P(BadFiles, GiveTheirMessageAndWriteNothing) {
    QTemporaryDir dir;
    const QString source = GetParam().make(dir.path());
    const QString target = dir.filePath("new.mdb");
    const QStringList before = entries(dir.path());
    const AdminRun r = runAdmin({"import", source, target});
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.toStdString(), (QStringLiteral("korvela-admin: ") +
                                    QString(GetParam().message).replace("%1", source) +
                                    QStringLiteral("\nnothing was written to '%1'\n").arg(target))
                                       .toStdString());
    EXPECT_EQ(entries(dir.path()), before) << "no file may be left";
}

INSTANTIATE_TEST_SUITE_P(
    Import, BadFiles,
    testing::Values(
        BadCase{"Missing", [](const QString& d) { return d + "/none.mdb"; }, "'%1' does not exist"},
        BadCase{"Directory",
                [](const QString& d) {
                    QDir(d).mkdir("sub.mdb");
                    return d + "/sub.mdb";
                },
                "'%1' is a directory, not an Access file"},
        BadCase{"TextFile", [](const QString& d) { return writeVariant(d, "id;name\n1;Ali\n"); },
                "'%1' is not an Access file"},
        BadCase{"SqliteDatabase",
                [](const QString& d) {
                    runAdmin({"create", d + "/old.mdb"});
                    return d + "/old.mdb";
                },
                "'%1' is not an Access file: it is already an SQLite database"},
        BadCase{"OtherTables", [](const QString&) { return dataDir() + "not-korvela.mdb"; },
                "'%1' is an Access file but not a Korvela database: it has no table t_musteri"},
        BadCase{"ColumnMissing",
                [](const QString& d) {
                    // Renames the column f_odeme (UTF-16 in the table definition) to f_odemx.
                    QByteArray bytes = goodFile();
                    const QByteArray name = QByteArray("f\0_\0o\0d\0e\0m\0e\0", 14);
                    bytes.replace(name, QByteArray("f\0_\0o\0d\0e\0m\0x\0", 14));
                    return writeVariant(d, bytes);
                },
                "'%1' is an Access file but not a Korvela database: the table t_servis lacks "
                "the column(s) f_odeme"},
        BadCase{"Truncated", [](const QString&) { return dataDir() + "truncated.mdb"; },
                "'%1' is truncated or damaged: 75366 bytes is not a whole number of 4096-byte "
                "pages"},
        BadCase{"TruncatedAtAPageEnd",
                [](const QString& d) { return writeVariant(d, goodFile().left(45 * 4096)); },
                "'%1' is truncated or damaged: the table t_servis should hold 80 rows, but only "
                "72 can be read"},
        BadCase{"MemoOutsideTheFile",
                [](const QString& d) { return writeVariant(d, goodFile().left(35 * 4096)); },
                "'%1' is damaged: t_musteri id 13, f_not: the memo points to page 35, outside "
                "the file"},
        BadCase{"TextLongerThanItsColumn",
                [](const QString& d) {
                    // f_adi and f_not of t_musteri swap names (both five letters, UTF-16 in the
                    // table definition): the memo stands where the name should be, and customer
                    // 13's note of 5,000 characters and more becomes a name.
                    QByteArray bytes = goodFile();
                    const QByteArray name = QByteArray("f\0_\0a\0d\0i\0", 10);
                    const QByteArray note = QByteArray("f\0_\0n\0o\0t\0", 10);
                    const qsizetype at = bytes.indexOf(name), noteAt = bytes.indexOf(note, at);
                    bytes.replace(at, 10, note);
                    bytes.replace(noteAt, 10, name);
                    return writeVariant(d, bytes);
                },
                "'%1' holds texts longer than their column's 255 characters: t_musteri id 13, "
                "f_adi (5000 characters)"},
        BadCase{"CrashesTheReader",
                [](const QString& d) {
                    // Two bytes of the table catalogue changed: the library's row reader runs
                    // off its buffer and the process gets a segmentation fault.
                    QByteArray bytes = goodFile();
                    bytes[8247] = char(0x22);
                    bytes[8538] = char(0x01);
                    return writeVariant(d, bytes);
                },
                "'%1' is damaged: the Access reader stopped on it (Segmentation fault)"}),
    [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

TEST(Import, UnreadableFileIsRefused) {
    // Root reads every file: then the tool runs as the unprivileged user "nobody".
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFileDevice::Permissions(0x7777));
    const QString source = writeVariant(dir.path(), goodFile());
    QFile::setPermissions(source, QFileDevice::Permissions());
    const QString target = dir.filePath("new.mdb");
    QProcess p;
    if (geteuid() == 0)
        p.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", adminProgram(),
                            "import", source, target});
    else
        p.start(adminProgram(), {"import", source, target});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardError()).toStdString(),
              QStringLiteral("korvela-admin: '%1' cannot be read: Permission denied\n"
                             "nothing was written to '%2'\n")
                  .arg(source, target)
                  .toStdString());
    EXPECT_FALSE(QFileInfo::exists(target));
}

TEST(Import, TargetInAMissingDirectoryIsRefused) {
    QTemporaryDir dir;
    const QString target = dir.filePath("none/new.mdb");
    const AdminRun r = runAdmin({"import", dataDir() + "Korvela-access2000.mdb", target});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.toStdString(),
              QStringLiteral("korvela-admin: the directory of '%1' does not exist\n"
                             "nothing was written to '%1'\n")
                  .arg(target)
                  .toStdString());
    EXPECT_TRUE(entries(dir.path()).isEmpty());
}

TEST(Import, ExistingTargetIsKeptUnlessForced) {
    QTemporaryDir dir;
    const QString target = dir.filePath("new.mdb");
    writeBytes(target, "keep me");
    const QString source = dataDir() + "Korvela-access2000.mdb";
    AdminRun r = runAdmin({"import", source, target});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.toStdString(),
              QStringLiteral("korvela-admin: '%1' already exists (--force replaces it)\n"
                             "nothing was written to '%1'\n")
                  .arg(target)
                  .toStdString());
    EXPECT_EQ(fileBytes(target), "keep me");
    r = runAdmin({"import", source, target, "--force"});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Reader(target).scalar("SELECT count(*) FROM t_servis"), "80");
}

TEST(Import, ValueThatCannotBeConvertedIsListedAndExitCodeSaysSo) {
    QTemporaryDir dir;
    // Visit 28's date (1925-04-23 08:15, day 9245.34375) becomes day 10,000,000: past 9999.
    QByteArray bytes = goodFile();
    double was = 9245.34375, now = 1e7;
    const qsizetype at = bytes.indexOf(QByteArray(reinterpret_cast<const char*>(&was), 8));
    ASSERT_GT(at, 0);
    bytes.replace(at, 8, QByteArray(reinterpret_cast<const char*>(&now), 8));
    const QString source = writeVariant(dir.path(), bytes);
    const QString target = dir.filePath("new.mdb");
    const AdminRun r = runAdmin({"import", source, target});
    EXPECT_EQ(r.exitCode, 3);
    EXPECT_TRUE(r.out.contains("not converted (imported as NULL): 1\n"
                               "  t_servis id 28, f_tarih: the date 10000000 is outside the "
                               "years 100 to 9999\n"))
        << r.out.toStdString();
    EXPECT_EQ(Reader(target).scalar("SELECT f_tarih FROM t_servis WHERE id = 28"), "\\N");
    // In place, such a file is left alone.
    const AdminRun inPlace = runAdmin({"import", "--in-place", source});
    EXPECT_EQ(inPlace.exitCode, 1);
    EXPECT_EQ(fileBytes(source), bytes);
}

TEST(Import, InPlaceKeepsTheAccessFileUnderANewName) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Korvela.mdb");
    writeBytes(path, goodFile());
    const AdminRun r = runAdmin({"import", "--in-place", path});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList files = entries(dir.path());
    ASSERT_EQ(files.size(), 2) << files.join(' ').toStdString();
    EXPECT_EQ(files[1], "Korvela.mdb");
    EXPECT_TRUE(files[0].startsWith("Korvela-access-")) << files[0].toStdString();
    EXPECT_EQ(fileBytes(dir.filePath(files[0])), goodFile()) << "the Access file is kept as it was";
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("the Access file is kept as '%1'\n").arg(dir.filePath(files[0]))))
        << r.out.toStdString();
    EXPECT_EQ(Reader(path).scalar("SELECT count(*) FROM t_musteri"), "30");
    // A second run finds an SQLite database and changes nothing.
    const AdminRun again = runAdmin({"import", "--in-place", path});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(entries(dir.path()), files);
}

// Killed at any moment, the import leaves either no target or a complete one, never a file
// under the target's name that is only part of the data.
TEST(Import, KilledMidwayLeavesNothingThatLooksFinished) {
    QTemporaryDir dir;
    const QString source = dataDir() + "Korvela-access2000.mdb";
    QElapsedTimer timer;
    timer.start();
    ASSERT_EQ(runAdmin({"import", source, dir.filePath("timing.mdb")}).exitCode, 0);
    const qint64 full = std::max<qint64>(timer.elapsed(), 20);
    int killedBeforeTheEnd = 0;
    for (int i = 0; i < 24; ++i) {
        const QString target = dir.filePath(QStringLiteral("kill%1.mdb").arg(i));
        QProcess p;
        p.start(adminProgram(), {"import", source, target});
        ASSERT_TRUE(p.waitForStarted());
        QThread::msleep(std::uint64_t(full * i / 24));
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
        if (!QFileInfo::exists(target)) {
            ++killedBeforeTheEnd;
            continue;
        }
        const AdminRun check = runAdmin({"check", target});
        EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
        EXPECT_TRUE(check.out.contains("rows: t_musteri 30, t_servis 80")) << i;
    }
    EXPECT_GT(killedBeforeTheEnd, 0);
    // What a killed run may leave carries the temporary name, and the next run to the same
    // target clears it away.
    for (const QString& name : entries(dir.path()))
        EXPECT_TRUE(QRegularExpression("^(timing|kill\\d+)\\.mdb(\\.partial-\\d+(-journal)?)?$")
                        .match(name)
                        .hasMatch())
            << name.toStdString();
    for (int i = 0; i < 24; ++i) {
        const QString target = dir.filePath(QStringLiteral("kill%1.mdb").arg(i));
        ASSERT_EQ(runAdmin({"import", source, target, "--force"}).exitCode, 0);
    }
    for (const QString& name : entries(dir.path()))
        EXPECT_FALSE(name.contains(".partial-")) << name.toStdString();
}

// ---- the conversions themselves ----

QString date(double days) {
    QString text;
    return admin::jetDateText(days, &text) ? text : QStringLiteral("<none>");
}

TEST(JetDate, DayCountsAroundTheEpochAndAtTheEnds) {
    EXPECT_EQ(date(0), "1899-12-30 00:00:00");
    EXPECT_EQ(date(1.5), "1899-12-31 12:00:00");
    // Before the epoch the day counts down, the time of day still counts up.
    EXPECT_EQ(date(-1.25), "1899-12-29 06:00:00");
    EXPECT_EQ(date(-0.5), "1899-12-30 12:00:00");
    EXPECT_EQ(date(-18261.75), "1849-12-31 18:00:00");
    EXPECT_EQ(date(-620724.0), "0200-07-06 00:00:00"); // year 200
    EXPECT_EQ(date(-657434.0), "0100-01-01 00:00:00");
    EXPECT_EQ(date(2958465.0 + 86399.0 / 86400.0), "9999-12-31 23:59:59");
    EXPECT_EQ(date(73051.0), "2100-01-01 00:00:00");
    // Rounded to the second, also across midnight.
    EXPECT_EQ(date(0.99999999), "1899-12-31 00:00:00");
    EXPECT_EQ(date(-1.99999999), "1899-12-30 00:00:00");
    EXPECT_EQ(date(40908.0 + 86399.0 / 86400.0), "2011-12-31 23:59:59");
    EXPECT_EQ(date(2958466.0), "<none>");
    EXPECT_EQ(date(-657435.0), "<none>");
    EXPECT_EQ(date(std::nan("")), "<none>");
}

TEST(Jet4Text, PlainCompressedAndMixed) {
    const unsigned char plain[] = {'A', 0, 0x5F, 0x01, 0x31, 0x01}; // "Aşı"
    EXPECT_EQ(admin::jet4Text(plain, sizeof plain), QStringLiteral("Aşı"));
    const unsigned char compressed[] = {0xFF, 0xFE, 'a', 'b', 0xE7}; // "abç"
    EXPECT_EQ(admin::jet4Text(compressed, sizeof compressed), QStringLiteral("abç"));
    // 00 switches to two bytes a character and back.
    const unsigned char mixed[] = {0xFF, 0xFE, 'K', 0, 0x5F, 0x01, 0, 'x'};
    EXPECT_EQ(admin::jet4Text(mixed, sizeof mixed), QStringLiteral("Kşx"));
    EXPECT_EQ(admin::jet4Text(compressed, 2), QString());
}

} // namespace
