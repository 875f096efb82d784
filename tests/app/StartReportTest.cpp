// The program's hidden start report, which the benchmark times and weighs the whole process by:
// the real program beside a real database, as installed, reporting its first paint and the end
// of the file's check on the machine's monotonic clock.
#include "tests/support/TestDatabase.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <chrono>
#include <gtest/gtest.h>

namespace {

long long nowNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The program copied beside a database with one customer.
class InstalledProgram {
public:
    InstalledProgram() {
        db.addCustomer("Ali", "34 AB 123");
        program = db.directory() + "korvela";
        copied = QFile::copy(QStringLiteral(KORVELA_PROGRAM), program);
    }
    void start(QProcess& process, const QString& argument) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process.setProcessEnvironment(environment);
        process.start(program, {argument});
    }
    testsupport::TestDatabase db;
    QString program;
    bool copied = false;
};

// One line "<word> <nanoseconds>" of the report; -1 when the line is not that.
long long stamp(const QByteArray& line, const char* word) {
    const QList<QByteArray> parts = line.trimmed().split(' ');
    if (parts.size() != 2 || parts[0] != word)
        return -1;
    bool ok = false;
    const long long value = parts[1].toLongLong(&ok);
    return ok ? value : -1;
}

TEST(StartReport, PaintPrintsTheFirstPaintsMomentAndEnds) {
    InstalledProgram installed;
    ASSERT_TRUE(installed.copied);
    QProcess process;
    const long long before = nowNanoseconds();
    installed.start(process, "--start-report=paint");
    ASSERT_TRUE(process.waitForFinished(30000));
    const long long after = nowNanoseconds();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    const QByteArray out = process.readAllStandardOutput();
    EXPECT_EQ(out.count('\n'), 1) << out.toStdString();
    const long long painted = stamp(out, "painted");
    EXPECT_GT(painted, before) << out.toStdString();
    EXPECT_LT(painted, after);
}

TEST(StartReport, SettledWaitsForTheChecksEndThenForItsInputToClose) {
    InstalledProgram installed;
    ASSERT_TRUE(installed.copied);
    QProcess process;
    const long long before = nowNanoseconds();
    installed.start(process, "--start-report=settled");
    QList<QByteArray> lines;
    while (lines.size() < 2 && process.waitForReadyRead(30000))
        while (process.canReadLine())
            lines << process.readLine();
    ASSERT_EQ(lines.size(), 2);
    const long long painted = stamp(lines[0], "painted");
    const long long settled = stamp(lines[1], "settled");
    EXPECT_GT(painted, before) << lines[0].toStdString();
    EXPECT_GE(settled, painted) << lines[1].toStdString();
    // Still there, its memory readable, until its input closes. On a database file it has not
    // loaded the server engine's client library.
    EXPECT_FALSE(process.waitForFinished(300));
    QFile maps(QString("/proc/%1/maps").arg(process.processId()));
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    EXPECT_TRUE(mapped.contains("libsqlite3.so"));
    EXPECT_FALSE(mapped.contains("libpq.so"));
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(10000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
}

TEST(StartReport, AnUnknownReportIsRefusedBeforeAnyWindow) {
    InstalledProgram installed;
    ASSERT_TRUE(installed.copied);
    QProcess process;
    installed.start(process, "--start-report=later");
    ASSERT_TRUE(process.waitForFinished(30000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    EXPECT_TRUE(process.readAllStandardError().contains(
        "korvela: --start-report takes paint or settled\n"));
}

} // namespace
