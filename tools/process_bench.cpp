// The program as a whole process on the generated database: its start to the first painted window
// against the sqlite3 command-line client reading the customers, and its memory once settled.
//
//   void runStartVsCliBenchmark(const QString& directory, std::FILE* out, int runs);
//   void runMemoryBenchmark(const QString& directory, std::FILE* out, int runs);
//
// `directory` holds the bench's "Korvela.mdb"; the program (korvela, the build's own) is copied
// beside it, as installed, and started there with its hidden start report (app/main.cpp):
// "--start-report=paint" prints the monotonic clock at the end of its first paint and ends,
// "--start-report=settled" prints it again when the file's check has ended and then waits for its
// standard input to close, while this reads /proc/<pid>/status.
#include "data/Schema.h"
#include "tools/BenchSqlite.h"
#include "tools/BenchTiming.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using bench::Clock;
using bench::median;
using bench::millisecondsSince;

double millisecondsBetween(Clock::time_point from, long long toNanoseconds) {
    return double(toNanoseconds -
                  std::chrono::duration_cast<std::chrono::nanoseconds>(from.time_since_epoch())
                      .count()) /
           1e6;
}

// A started process: its id and, when asked for, the parent's ends of pipes to its standard
// input and output.
struct Child {
    pid_t pid = -1;
    int input = -1;  // write end, -1: its input is /dev/null
    int output = -1; // read end, -1: its output goes to /dev/null
};

Child spawn(const std::vector<std::string>& arguments, bool pipeInput, bool pipeOutput) {
    Child child;
    int in[2] = {-1, -1}, out[2] = {-1, -1};
    if ((pipeInput && pipe2(in, O_CLOEXEC) != 0) || (pipeOutput && pipe2(out, O_CLOEXEC) != 0)) {
        std::perror("korvela-bench: pipe");
        return child;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (pipeInput)
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    else
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (pipeOutput)
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    else
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    // The toolkit's notes on its platform are no part of the figures.
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int rc = posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (pipeInput) {
        close(in[0]);
        child.input = in[1];
    }
    if (pipeOutput) {
        close(out[1]);
        child.output = out[0];
    }
    if (rc != 0) {
        std::fprintf(stderr, "korvela-bench: cannot start %s: %s\n", argv[0], std::strerror(rc));
        child.pid = -1;
    }
    return child;
}

// Waits for the child's end; false (and a message) unless it ended with code 0.
bool finish(Child& child) {
    if (child.input >= 0)
        close(child.input);
    if (child.output >= 0)
        close(child.output);
    int status = 0;
    if (child.pid < 0 || waitpid(child.pid, &status, 0) != child.pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "korvela-bench: a started process did not end with code 0\n");
        return false;
    }
    return true;
}

// The child's next line on its output, "<word> <nanoseconds>"; -1 when the word is not there.
// A child that says nothing for a minute (a box waiting for an answer) is ended.
long long readStamp(const Child& child, const char* word) {
    std::string line;
    char c = 0;
    pollfd waiting{child.output, POLLIN, 0};
    while (poll(&waiting, 1, 60000) == 1 && read(child.output, &c, 1) == 1 && c != '\n')
        line += c;
    if (c != '\n')
        kill(child.pid, SIGKILL);
    const std::string prefix = std::string(word) + ' ';
    if (line.compare(0, prefix.size(), prefix) != 0) {
        std::fprintf(stderr, "korvela-bench: the program said \"%s\", not %s\n", line.c_str(),
                     word);
        return -1;
    }
    return std::stoll(line.substr(prefix.size()));
}

// The program copied beside a database, as installed (it opens the "Korvela.mdb" beside itself).
std::string installProgram(const QString& directory) {
    const QString program = directory + "korvela";
    QFile::remove(program);
    if (!QFile::copy(QStringLiteral(KORVELA_PROGRAM), program))
        std::fprintf(stderr, "korvela-bench: cannot copy the program to %s\n",
                     qPrintable(directory));
    return QFile::encodeName(program).toStdString();
}

double mebibytes(double kibibytes) {
    return kibibytes / 1024.0;
}

// VmRSS and VmHWM of a process, in KiB.
struct Memory {
    double rss = 0;
    double hwm = 0;
};

Memory memoryOf(pid_t pid) {
    Memory m;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return m;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const QList<QByteArray> parts = line.simplified().split(' ');
        if (parts.size() >= 2 && parts[0] == "VmRSS:")
            m.rss = parts[1].toDouble();
        else if (parts.size() >= 2 && parts[0] == "VmHWM:")
            m.hwm = parts[1].toDouble();
    }
    return m;
}

// The program settled on the database in its directory: started, painted, the file checked.
Memory settledMemory(const std::string& program) {
    Child child = spawn({program, "--start-report=settled"}, true, true);
    Memory m;
    if (child.pid < 0)
        return m;
    if (readStamp(child, "painted") >= 0 && readStamp(child, "settled") >= 0)
        m = memoryOf(child.pid);
    finish(child);
    return m;
}

// A compact array of the customers: 8 bytes a cell plus the bytes of every text.
double compactBytes(const QString& database) {
    sqlite3* db = bench::sql::open(database, SQLITE_OPEN_READONLY);
    double bytes = 0;
    sqlite3_stmt* st = bench::sql::prepare(db, "select * from t_musteri");
    const int columns = sqlite3_column_count(st);
    while (bench::sql::step(st))
        for (int c = 0; c < columns; ++c) {
            bytes += 8;
            const int type = sqlite3_column_type(st, c);
            if (type == SQLITE_TEXT || type == SQLITE_BLOB)
                bytes += sqlite3_column_bytes(st, c);
        }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return bytes;
}

} // namespace

// start-up-vs-cli: the program from its start to its first painted window, against the sqlite3
// client from its start to its end reading every customer ("select * from t_musteri", its output
// to /dev/null); wall time, the two alternating, the first pair left out (it fills the page cache).
void runStartVsCliBenchmark(const QString& directory, std::FILE* out, int runs) {
    const QString cli = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
    if (cli.isEmpty()) {
        std::fprintf(stderr, "korvela-bench: start-up-vs-cli needs the sqlite3 program\n");
        return;
    }
    const std::string program = installProgram(directory);
    const std::vector<std::string> cliArguments = {QFile::encodeName(cli).toStdString(),
                                                   (directory + "Korvela.mdb").toStdString(),
                                                   "select * from t_musteri"};
    std::vector<double> painted, client;
    // Single starts vary by tens of percent on a busy machine: at least 11 pairs.
    const int pairs = std::max(runs, 11);
    for (int i = 0; i <= pairs; ++i) {
        auto start = Clock::now();
        Child sqlite = spawn(cliArguments, false, false);
        const bool cliOk = finish(sqlite);
        const double cliMs = millisecondsSince(start);

        start = Clock::now();
        Child korvela = spawn({program, "--start-report=paint"}, false, true);
        const long long paintedAt = korvela.pid < 0 ? -1 : readStamp(korvela, "painted");
        const bool programOk = finish(korvela);
        if (i == 0 || !cliOk || !programOk || paintedAt < 0)
            continue;
        client.push_back(cliMs);
        painted.push_back(millisecondsBetween(start, paintedAt));
    }
    const double p = median(painted), c = median(client);
    std::fprintf(out,
                 "start-up-vs-cli: first paint %.1f ms, sqlite3 client %.1f ms, ratio=%.2f "
                 "(%zu pairs)\n",
                 p, c, c > 0 ? p / c : 0, painted.size());
}

// memory-steady, memory-peak: the program settled on the database (painted, the file's check
// ended), less the same program settled on an empty database (the toolkit's and the program's
// fixed memory): its resident memory (VmRSS) against a compact array of the customers, and its
// highest resident memory (VmHWM) against that steady state.
void runMemoryBenchmark(const QString& directory, std::FILE* out, int runs) {
    const std::string program = installProgram(directory);
    QTemporaryDir emptyDir;
    const QString empty = emptyDir.path() + '/';
    {
        sqlite3* db = bench::sql::open(empty + "Korvela.mdb");
        bench::sql::exec(db, data::schemaSql().toUtf8().constData());
        sqlite3_close(db);
    }
    const std::string emptyProgram = installProgram(empty);
    std::vector<double> rss, hwm, emptyRss, emptyHwm;
    for (int i = 0; i < std::max(3, std::min(runs, 5)); ++i) {
        const Memory base = settledMemory(emptyProgram);
        const Memory full = settledMemory(program);
        if (base.rss <= 0 || full.rss <= 0)
            continue;
        emptyRss.push_back(base.rss);
        emptyHwm.push_back(base.hwm);
        rss.push_back(full.rss);
        hwm.push_back(full.hwm);
    }
    const double steady = mebibytes(median(rss) - median(emptyRss));
    const double peak = mebibytes(median(hwm) - median(emptyHwm));
    const double compact = compactBytes(directory + "Korvela.mdb") / (1024.0 * 1024.0);
    std::fprintf(out,
                 "memory-steady: %.1f MiB (VmRSS settled %.1f MiB, on an empty database %.1f "
                 "MiB), compact array %.1f MiB, ratio=%.2f\n",
                 steady, mebibytes(median(rss)), mebibytes(median(emptyRss)), compact,
                 compact > 0 ? steady / compact : 0);
    std::fprintf(out,
                 "memory-peak: %.1f MiB (VmHWM %.1f MiB, on an empty database %.1f MiB), steady "
                 "%.1f MiB, ratio=%.2f\n",
                 peak, mebibytes(median(hwm)), mebibytes(median(emptyHwm)), steady,
                 steady > 0 ? peak / steady : 0);
}
