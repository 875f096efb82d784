// The real program started on a large database file and ended at random moments of its start-up
// (the window's close box, or SIGTERM) while the machine is loaded: every start must end as asked,
// promptly, without a crash or an abort, and the file must stay as it was.
//
// By default 100 starts on 20,000 customers with 10 visits each; more by hand:
//   KORVELA_STRESS_STARTS=1000 KORVELA_STRESS_CUSTOMERS=100000
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/tests/stress_tests
// (the two lines as one command)
// Further settings: KORVELA_STRESS_MAX_DELAY_MS (the latest moment to end a start, counted from
// the start for SIGTERM and from the window being up for the close box; default 2000),
// KORVELA_STRESS_LOAD (busy threads beside it, default 2), KORVELA_STRESS_SEED.
#include "data/Schema.h"
#include "tests/stress/CloseBox.h"
#include "tests/support/DamagedFile.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <signal.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

using stresstest::CloseBox;

namespace {

int setting(const char* name, int fallback) {
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

// A database with the program's schema: customers with `visits` visits each.
void makeDatabase(const QString& path, int customers, int visits) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const QByteArray fill =
        data::schemaSql().toUtf8() +
        QStringLiteral(
            "BEGIN;"
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
            "INSERT INTO t_musteri (f_adi, f_arac_plaka, f_tel) SELECT 'Müşteri ' || i, "
            "'34 AB ' || i, '0212 555 ' || i FROM n;"
            "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1 * %2 - 1) "
            "INSERT INTO t_servis (id_musteri, f_tarih, f_km, f_ariza, f_iscilik, f_tutar, "
            "f_odeme) SELECT i / %2 + 1, '2009-01-02 10:00:00', i, 'Fren sesi ' || i, "
            "'250.0000', '99.9000', '300.0000' FROM n;"
            "COMMIT;")
            .arg(customers)
            .arg(visits)
            .toUtf8();
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, fill.constData(), nullptr, nullptr, &error), SQLITE_OK)
        << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
}

QByteArray hashOf(const QString& path) {
    QFile f(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (f.open(QIODevice::ReadOnly))
        hash.addData(&f);
    return hash.result().toHex();
}

// Busy threads beside the program, as other work on the machine.
class Load {
public:
    explicit Load(int threads) {
        for (int i = 0; i < threads; ++i)
            threads_.emplace_back([this] {
                volatile unsigned long n = 0;
                while (!stop_)
                    n = n + 1;
            });
    }
    ~Load() {
        stop_ = true;
        for (std::thread& t : threads_)
            t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

struct Ended {
    bool exited = false;
    int code = -1; // exit code, or the signal's number
    qint64 afterMs = -1;
};

// Waits for the child to end, up to the limit; kills it when it does not.
Ended waitForEnd(pid_t pid, int limitMs) {
    QElapsedTimer timer;
    timer.start();
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (timer.elapsed() > limitMs) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Ended e;
    e.exited = WIFEXITED(status);
    e.code = e.exited ? WEXITSTATUS(status) : WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    e.afterMs = timer.elapsed();
    return e;
}

QString textOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

TEST(StartStop, EveryStartEndsAsAskedWithoutACrashAndLeavesTheFileAsItWas) {
    const int starts = setting("KORVELA_STRESS_STARTS", 100);
    const int customers = setting("KORVELA_STRESS_CUSTOMERS", 20000);
    const int maxDelay = setting("KORVELA_STRESS_MAX_DELAY_MS", 2000);
    const unsigned seed = unsigned(setting("KORVELA_STRESS_SEED", int(std::random_device{}())));
    std::printf("%d starts on %d customers, ended within %d ms, seed %u\n", starts, customers,
                maxDelay, seed);

    CloseBox closeBox;
    ASSERT_TRUE(closeBox.connected()) << "no X display: run under xvfb-run";

    // The program beside its database, as installed: it finds the file beside its executable.
    QTemporaryDir dir;
    const QString program = dir.path() + "/korvela";
    ASSERT_TRUE(QFile::copy(QStringLiteral(KORVELA_PROGRAM), program));
    const QString database = dir.path() + "/Korvela.mdb";
    makeDatabase(database, customers, 10);
    const QByteArray hash = hashOf(database);
    const QString output = dir.path() + "/output.txt";

    const QByteArray programPath = QFile::encodeName(program);
    std::vector<QByteArray> environment = {"QT_QPA_PLATFORM=xcb", "LC_ALL=C"};
    for (char** e = environ; *e; ++e)
        if (!QByteArray(*e).startsWith("QT_QPA_PLATFORM=") && !QByteArray(*e).startsWith("LC_ALL="))
            environment.emplace_back(*e);
    std::vector<char*> envp;
    for (QByteArray& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    std::mt19937 random(seed);
    std::uniform_int_distribution<int> moment(0, maxDelay);
    const Load load(setting("KORVELA_STRESS_LOAD", 2));
    int closed = 0, terminated = 0;
    qint64 slowestClose = 0, slowestWindow = 0;
    for (int i = 0; i < starts && !HasFailure(); ++i) {
        const bool byCloseBox = random() % 2 == 0;
        const int delay = moment(random);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const QByteArray outputPath = QFile::encodeName(output);
        posix_spawn_file_actions_addopen(&actions, 1, outputPath.constData(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        char* argv[] = {const_cast<char*>(programPath.constData()), nullptr};
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, programPath.constData(), &actions, nullptr, argv, envp.data()),
                  0);
        posix_spawn_file_actions_destroy(&actions);

        Ended ended;
        if (byCloseBox) {
            // The close box needs the window: the moment is counted from when it is on the
            // screen, and so falls into the reading, the first paint or the file's check.
            QElapsedTimer waited;
            waited.start();
            while (!closeBox.shows(pid) && waited.elapsed() < 30000)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            slowestWindow = std::max(slowestWindow, waited.elapsed());
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            ASSERT_TRUE(closeBox.click(pid)) << "start " << i << ": no window after 30 s\n"
                                             << textOf(output).toStdString();
            ended = waitForEnd(pid, 20000);
            ++closed;
            slowestClose = std::max(slowestClose, ended.afterMs);
            EXPECT_TRUE(ended.exited && ended.code == 0)
                << "start " << i << " (closed after " << delay << " ms) ended "
                << (ended.afterMs < 0 ? "never"
                    : ended.exited    ? "with code "
                                      : "by signal ")
                << ended.code << "\n"
                << textOf(output).toStdString();
            EXPECT_LT(ended.afterMs, 5000) << "start " << i << ": closing took too long";
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(delay));
            kill(pid, SIGTERM);
            ended = waitForEnd(pid, 20000);
            ++terminated;
            EXPECT_TRUE(!ended.exited && ended.code == SIGTERM)
                << "start " << i << " (SIGTERM after " << delay << " ms) ended "
                << (ended.afterMs < 0 ? "never"
                    : ended.exited    ? "with code "
                                      : "by signal ")
                << ended.code << "\n"
                << textOf(output).toStdString();
        }
        const QString said = textOf(output);
        EXPECT_FALSE(said.contains("terminate") || said.contains("QThread") ||
                     said.contains("ASSERT") || said.contains("Aborted"))
            << "start " << i << ":\n"
            << said.toStdString();
    }
    std::printf("%d closed, %d terminated; the window was up after at most %lld ms, the slowest "
                "close took %lld ms\n",
                closed, terminated, static_cast<long long>(slowestWindow),
                static_cast<long long>(slowestClose));
    EXPECT_EQ(hashOf(database), hash) << "the file was written";
    EXPECT_EQ(testsupport::integrityReport(database), "ok");
}

} // namespace
