// korvela-bench's change feed figures on the benchmark file: the idle tick of the file's timer
// against a bare data-version query, and reading one change another connection committed
// against a bare query of that row by its key (the row the window reads next), in one run.
#include "engine/ChangeFeed.h"
#include "engine/CursorConnection.h"
#include "engine/SqliteChangeFeed.h"
#include "tools/BenchSqlite.h"

#include <QFile>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <string>
#include <time.h>
#include <vector>

namespace {

// CPU time of the process, in microseconds.
double cpuMicroseconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

double medianOf(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The mean time of one call, over a batch of calls.
template <typename Call> double perCall(int calls, Call call) {
    const double start = cpuMicroseconds();
    for (int i = 0; i < calls; ++i)
        call();
    return (cpuMicroseconds() - start) / calls;
}

} // namespace

// feed-idle-tick and feed-read-one-change, printed to out.
void runFeedBenchmarks(const QString& database, cursor::Connection& connection, std::FILE* out,
                       int runs) {
    auto& feed = dynamic_cast<cursor::SqliteChangeFeed&>(connection.backend().changeFeed());
    // another workstation, and the bare reader
    sqlite3* other = bench::sql::open(database, SQLITE_OPEN_READWRITE);

    sqlite3_stmt* version = bench::sql::prepare(other, "PRAGMA data_version");
    constexpr int kTicks = 2000;
    std::vector<double> tick, bareTick;
    int woke = 0;
    for (int r = 0; r < runs; ++r) {
        bareTick.push_back(perCall(kTicks, [&] { bench::sql::run(version); }));
        tick.push_back(perCall(kTicks, [&] { woke += feed.checkForChanges(); }));
    }
    sqlite3_finalize(version);
    const double t = medianOf(tick), bt = medianOf(bareTick);
    std::fprintf(out,
                 "feed-idle-tick: %.2f us, bare data version %.2f us, ratio=%.2f (under 50 us; "
                 "%d of %d ticks woke)\n",
                 t, bt, t / bt, woke, kTicks * runs);

    sqlite3_stmt* change =
        bench::sql::prepare(other, "UPDATE t_musteri SET f_tel = f_tel WHERE id = ?");
    // The bare reader is a connection of its own: like the feed's, its page cache is stale after
    // the other's commit.
    sqlite3* reader = bench::sql::open(database, SQLITE_OPEN_READONLY);
    sqlite3_stmt* row = bench::sql::prepare(reader, "SELECT * FROM t_musteri WHERE id = ?");
    std::vector<double> read, bareRead;
    cursor::FeedPosition place = feed.position();
    std::size_t readChanges = 0;
    for (int i = 0; i < 20 * runs; ++i) {
        const int key = 1 + (i * 7919) % 1000;
        sqlite3_bind_int(change, 1, key);
        bench::sql::run(change);

        double start = cpuMicroseconds();
        const cursor::ChangeBatch batch = feed.changesSince(place, 1000);
        read.push_back(cpuMicroseconds() - start);
        readChanges += batch.changes.size();
        place = batch.next;

        start = cpuMicroseconds();
        sqlite3_bind_int(row, 1, key);
        while (sqlite3_step(row) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(row); ++c)
                sqlite3_column_text(row, c);
        sqlite3_reset(row);
        bareRead.push_back(cpuMicroseconds() - start);
    }
    sqlite3_finalize(change);
    sqlite3_finalize(row);
    sqlite3_close(reader);
    sqlite3_close(other);
    const double rd = medianOf(read), brd = medianOf(bareRead);
    std::fprintf(out,
                 "feed-read-one-change: %.1f us, bare query of the row by key %.1f us, "
                 "ratio=%.2f (%zu changes read in %zu reads)\n",
                 rd, brd, rd / brd, readChanges, read.size());
}
