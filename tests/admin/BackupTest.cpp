// Backup while another process keeps saving visits, checked restore, check and the CSV export.
#include "AdminTestSupport.h"

#include "tools/admin/Backup.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace admintest;

namespace {

// A database with many customers, so that a backup takes long enough for saves to meet it.
QString makeDatabase(const QString& dir, int customers) {
    const QString path = dir + "/Korvela.mdb";
    EXPECT_EQ(runAdmin({"create", path}).exitCode, 0);
    Reader db(path);
    db.exec("BEGIN");
    db.exec(
        QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE "
                       "i < %1) INSERT INTO t_musteri (f_adi, f_adres, f_not) SELECT 'Müşteri ' "
                       "|| i, printf('%.200c', 'x'), printf('%.400c', 'y') FROM n")
            .arg(customers));
    db.exec("COMMIT");
    return path;
}

TEST(Backup, TakenWhileAnotherProcessSavesHoldsEveryEarlierVisit) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.path(), 60000);
    QProcess writer;
    writer.start(QStringLiteral(KORVELA_WRITER_PROGRAM), {db});
    ASSERT_TRUE(writer.waitForStarted());
    // The writer prints each visit's id after its commit.
    QStringList committed;
    auto readIds = [&] {
        while (writer.canReadLine())
            committed << QString::fromUtf8(writer.readLine()).trimmed();
    };
    while (committed.size() < 50 && writer.state() == QProcess::Running) {
        writer.waitForReadyRead(5000);
        readIds();
    }
    ASSERT_GE(committed.size(), 50) << writer.readAllStandardError().toStdString();
    const qint64 lastBefore = committed.last().toLongLong();

    const QString backup = dir.filePath("backup.mdb");
    QProcess backupRun;
    backupRun.start(adminProgram(), {"backup", db, backup});
    const qsizetype countAtStart = committed.size();
    while (backupRun.state() != QProcess::NotRunning) {
        writer.waitForReadyRead(20);
        readIds();
        backupRun.waitForFinished(1);
    }
    ASSERT_EQ(backupRun.exitCode(), 0) << backupRun.readAllStandardError().toStdString();
    writer.waitForReadyRead(200);
    readIds();
    writer.kill();
    writer.waitForFinished();
    EXPECT_GT(committed.size(), countAtStart) << "the writer went on saving around the backup";

    // Restore into a new place; the result passes the check and holds every visit committed
    // before the backup began.
    const QString restored = dir.filePath("restored.mdb");
    const AdminRun restore = runAdmin({"restore", backup, restored});
    ASSERT_EQ(restore.exitCode, 0) << restore.err.toStdString();
    const AdminRun check = runAdmin({"check", restored});
    EXPECT_EQ(check.exitCode, 0) << check.out.toStdString();
    EXPECT_TRUE(check.out.contains("integrity: ok\nschema: ok\n"));
    Reader r(restored);
    EXPECT_EQ(r.scalar(QStringLiteral("SELECT count(*) FROM t_servis WHERE id <= %1 AND f_ariza "
                                      "LIKE 'Kayıt %%'")
                           .arg(lastBefore)),
              QString::number(lastBefore));
    EXPECT_EQ(r.scalar("SELECT count(*) FROM t_musteri"), "60000");
    // The visits form one unbroken run: a snapshot, not a mixture.
    EXPECT_EQ(r.scalar("SELECT max(id) = count(*) FROM t_servis"), "1");
}

TEST(Backup, ExistingDestinationIsKeptAndADirectoryGetsADatedName) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.path(), 10);
    const QString dest = dir.filePath("b.mdb");
    writeBytes(dest, "old");
    AdminRun r = runAdmin({"backup", db, dest});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.toStdString(),
              QStringLiteral("korvela-admin: '%1' already exists (--force replaces it)\n")
                  .arg(dest)
                  .toStdString());
    EXPECT_EQ(fileBytes(dest), "old");
    EXPECT_EQ(runAdmin({"backup", db, dest, "--force"}).exitCode, 0);
    EXPECT_EQ(Reader(dest).scalar("SELECT count(*) FROM t_musteri"), "10");

    QDir(dir.path()).mkdir("daily");
    r = runAdmin({"backup", db, dir.filePath("daily")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    const QStringList files = entries(dir.filePath("daily"));
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(QRegularExpression("^Korvela-\\d{8}-\\d{6}\\.mdb$").match(files[0]).hasMatch())
        << files[0].toStdString();
}

TEST(Restore, KeepsTheReplacedFileAside) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.path(), 5);
    const QString backup = dir.filePath("backup.mdb");
    ASSERT_EQ(runAdmin({"backup", db, backup}).exitCode, 0);
    Reader(db).exec("DELETE FROM t_musteri WHERE id > 2");
    const AdminRun r = runAdmin({"restore", backup, db});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(Reader(db).scalar("SELECT count(*) FROM t_musteri"), "5");
    QStringList aside = entries(dir.path()).filter(".replaced-");
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(Reader(dir.filePath(aside[0])).scalar("SELECT count(*) FROM t_musteri"), "2");
    EXPECT_TRUE(r.out.contains(
        QStringLiteral("the replaced database is kept as '%1'").arg(dir.filePath(aside[0]))));
}

TEST(Restore, DamagedOrForeignBackupReplacesNothing) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.path(), 300);
    const QByteArray before = fileBytes(db);
    // A cut-off copy, a copy with a page overwritten, and an SQLite file of other tables.
    writeBytes(dir.filePath("cut.mdb"), before.left(before.size() / 2));
    QByteArray scribbled = before;
    for (qsizetype i = 8192; i < 8192 + 4096 && i < scribbled.size(); ++i)
        scribbled[i] = char(0x5A);
    writeBytes(dir.filePath("scribbled.mdb"), scribbled);
    { Reader other(dir.filePath("other.mdb")); }
    sqlite3* raw = nullptr;
    sqlite3_open(QFile::encodeName(dir.filePath("other.mdb")).constData(), &raw);
    sqlite3_exec(raw, "CREATE TABLE parts (x)", nullptr, nullptr, nullptr);
    sqlite3_close(raw);
    const QStringList files = entries(dir.path());
    for (const char* name : {"cut.mdb", "scribbled.mdb", "other.mdb", "missing.mdb"}) {
        const AdminRun r = runAdmin({"restore", dir.filePath(name), db});
        EXPECT_EQ(r.exitCode, 1) << name;
        EXPECT_TRUE(r.err.contains("nothing was replaced") || r.err.contains("does not exist"))
            << name << ": " << r.err.toStdString();
        EXPECT_EQ(fileBytes(db), before) << name;
        EXPECT_EQ(entries(dir.path()), files) << name;
    }
}

TEST(Check, ReportsIntegritySchemaAndFailsOnAForeignFile) {
    QTemporaryDir dir;
    const QString db = makeDatabase(dir.path(), 3);
    Reader(db).exec("INSERT INTO t_servis (id_musteri) VALUES (77); ALTER TABLE t_musteri "
                    "RENAME COLUMN f_gsm TO f_cep");
    const AdminRun r = runAdmin({"check", db});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out.toStdString(),
              QStringLiteral("database: %1\nintegrity: ok\nschema: t_musteri lacks the column "
                             "f_gsm\nrows: t_musteri 3, t_servis 1\norphan visits: 1\n"
                             "  t_servis id 1: id_musteri 77, no such customer\nresult: FAILED\n")
                  .arg(db)
                  .toStdString());
    const AdminRun access = runAdmin({"check", dataDir() + "not-korvela.mdb"});
    EXPECT_EQ(access.exitCode, 1);
    EXPECT_EQ(access.err.toStdString(),
              QStringLiteral("korvela-admin: '%1' is an Access file, not a Korvela database "
                             "(korvela-admin import converts it)\n")
                  .arg(dataDir() + "not-korvela.mdb")
                  .toStdString());
}

// ---- CSV export ----

// Splits RFC 4180 text into records of fields; a quoted empty field comes back as "\"\"" so
// that it stays apart from a field with nothing in it.
QList<QStringList> parseCsv(const QString& text) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, wasQuoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = wasQuoted = true;
        } else if (c == ',' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
            record << (wasQuoted && field.isEmpty() ? QStringLiteral("\"\"") : field);
            field.clear();
            wasQuoted = false;
            if (c == '\r') {
                ++i;
                records << record;
                record.clear();
            }
        } else {
            field += c;
        }
    }
    return records;
}

TEST(Export, WritesEveryValueOfTheImportedFileAsRfc4180) {
    QTemporaryDir dir;
    const QString db = dir.filePath("Korvela.mdb");
    ASSERT_EQ(runAdmin({"import", dataDir() + "Korvela-access2000.mdb", db}).exitCode, 0);
    const AdminRun r = runAdmin({"export", db, dir.filePath("csv")});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char* table : {"t_musteri", "t_servis"}) {
        const QByteArray bytes = fileBytes(dir.filePath(QStringLiteral("csv/%1.csv").arg(table)));
        ASSERT_FALSE(bytes.startsWith("\xEF\xBB\xBF"));
        const QList<QStringList> csv = parseCsv(QString::fromUtf8(bytes));
        QFile tsv(dataDir() + "expected/" + table + ".tsv");
        ASSERT_TRUE(tsv.open(QIODevice::ReadOnly));
        QStringList lines = QString::fromUtf8(tsv.readAll()).split('\n');
        lines.removeAll(QString());
        const QStringList columns = lines.takeFirst().split('\t');
        ASSERT_EQ(csv.size(), lines.size() + 1);
        const QStringList header = csv[0];
        for (int row = 0; row < lines.size(); ++row) {
            const QStringList want = lines[row].split('\t');
            for (int c = 0; c < columns.size(); ++c) {
                const qsizetype at = header.indexOf(columns[c]);
                ASSERT_GE(at, 0) << columns[c].toStdString();
                QString expected = want[c];
                if (expected == QLatin1String("\\N"))
                    expected = QString(); // NULL: nothing between the commas
                else if (expected.isEmpty())
                    expected = QStringLiteral("\"\""); // an empty text: ""
                else
                    expected.replace("\\n", "\n")
                        .replace("\\r", "\r")
                        .replace("\\t", "\t")
                        .replace("\\\\", "\\");
                EXPECT_EQ(csv[row + 1][at].toStdString(), expected.toStdString())
                    << table << " row " << row << " " << columns[c].toStdString();
            }
        }
    }
    EXPECT_EQ(admin::csvField("a \"b\", c", false), "\"a \"\"b\"\", c\"");
    EXPECT_EQ(admin::csvField("x\r\ny", false), "\"x\r\ny\"");
    EXPECT_EQ(runAdmin({"export", db, dir.filePath("bom"), "--bom"}).exitCode, 0);
    EXPECT_TRUE(fileBytes(dir.filePath("bom/t_servis.csv")).startsWith("\xEF\xBB\xBFid,") ||
                fileBytes(dir.filePath("bom/t_servis.csv"))
                    .startsWith("\xEF\xBB\xBF"
                                "f_tarih,"));
}

} // namespace
