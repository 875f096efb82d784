// korvela-bench's backup figures: the online backup of the benchmark database against a plain
// copy of its file, in the same run (wall time: both are mostly reading and writing).
#include "tools/BenchSqlite.h"
#include "tools/admin/Backup.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

using WallClock = std::chrono::steady_clock;

double msSince(WallClock::time_point start) {
    return std::chrono::duration<double, std::milli>(WallClock::now() - start).count();
}

double middle(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The bare online copy: one backup step over the whole file into a copy without journal or
// flushes, as the backup command makes it.
void onlineCopy(const QString& from, const QString& to) {
    sqlite3* src = bench::sql::open(from, SQLITE_OPEN_READONLY);
    sqlite3* dst = bench::sql::open(to);
    bench::sql::exec(dst, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF");
    sqlite3_backup* b = sqlite3_backup_init(dst, "main", src, "main");
    if (!b)
        bench::sql::fail(dst, "backup");
    bench::sql::check(sqlite3_backup_step(b, -1), dst, "backup step");
    bench::sql::check(sqlite3_backup_finish(b), dst, "backup");
    sqlite3_close(dst);
    sqlite3_close(src);
}

} // namespace

// backup: the online copy and the plain file copy with their ratio, and the whole backup command
// (copy, integrity and schema check, rename).
std::string backupBenchmark(const QString& database, int runs) {
    QTemporaryDir dir;
    std::vector<double> online, plain, command;
    for (int i = 0; i < runs; ++i) {
        const QString a = dir.filePath("online.mdb"), b = dir.filePath("plain.mdb"),
                      c = dir.filePath("command.mdb");
        QFile::remove(a);
        QFile::remove(b);
        QFile::remove(c);
        WallClock::time_point start = WallClock::now();
        QFile::copy(database, b);
        plain.push_back(msSince(start));
        start = WallClock::now();
        onlineCopy(database, a);
        online.push_back(msSince(start));
        start = WallClock::now();
        admin::backupDatabase(database, c, false);
        command.push_back(msSince(start));
    }
    const double o = middle(online), p = middle(plain), k = middle(command);
    char text[200];
    std::snprintf(text, sizeof text,
                  "online copy %.1f ms, plain file copy %.1f ms, ratio=%.2f; backup command with "
                  "its check %.1f ms (%.1f MiB)",
                  o, p, o / p, k, double(QFile(database).size()) / 1048576.0);
    return text;
}
