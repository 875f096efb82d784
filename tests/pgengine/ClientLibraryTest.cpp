// The PostgreSQL client library opened when the server engine first needs it: a program run with
// a library of that name that lacks libpq's functions says so at every attempt, and with the
// real one the engine's calls reach it.
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

namespace {

struct Opened {
    int exitCode = -1;
    QStringList lines;
};

// The opener on a server that is not there, with libraryPath (if any) searched first.
Opened openServer(const QString& libraryPath) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!libraryPath.isEmpty())
        environment.insert(QStringLiteral("LD_LIBRARY_PATH"), libraryPath);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(SERVER_OPENER),
                  {QStringLiteral("host=/nonexistent-korvela-socket-dir dbname=korvela "
                                  "connect_timeout=5")});
    Opened run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        ADD_FAILURE() << "the opener did not end";
        return run;
    }
    run.exitCode = process.exitCode();
    run.lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    return run;
}

} // namespace

TEST(ClientLibrary, ALibraryWithoutLibpqsFunctionsIsReportedAtEveryAttempt) {
    const Opened run = openServer(QStringLiteral(LIBPQ_STUB_DIR));
    EXPECT_EQ(run.exitCode, 1);
    const QString expected = QStringLiteral(
        "The PostgreSQL client library could not be loaded: libpq.so.5 lacks PQbackendPID");
    ASSERT_EQ(run.lines.size(), 2) << run.lines.join('|').toStdString();
    EXPECT_EQ(run.lines[0], expected);
    EXPECT_EQ(run.lines[1], expected) << "a later attempt is refused the same way";
}

TEST(ClientLibrary, TheRealLibraryIsReachedAndItsFailureExplained) {
    const Opened run = openServer(QString());
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.lines.size(), 2) << run.lines.join('|').toStdString();
    for (const QString& line : run.lines) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("Veritabanı sunucusuna bağlanılamadı.")))
            << line.toStdString();
        EXPECT_TRUE(line.contains(QStringLiteral("/nonexistent-korvela-socket-dir")))
            << "libpq's own text follows: " << line.toStdString();
    }
}
