// korvela-bench: timings of the cursor engine on a large generated database.
//
//   korvela-bench [--customers N] [--runs R] [--only NAME,...]
//   korvela-bench --server [--connection STRING] [--customers N] [--runs R]
//
// Builds a temporary database with N customers (default 100000) and ten visits each, then prints
// one figure a line, each the median of R runs (default 5). Times are the process's CPU time, so
// other work on the machine disturbs them little; on an idle machine they equal the wall time.
//   open-customers: <engine> ms, bare <bare> ms, ratio=<the median of engine/bare over the
//                   alternating pairs>; the bare read copies every cell into a compact array
//                   reserved at its final size
//   open-customers-10000, -100000, -1000000 (group "open-scale"): the same on databases of that
//                   many customers, per row, and how a row's cost grows from the least to the most
//   sort-names: <ms>        clone and sort by f_adi on a freshly opened recordset
//   find-prefix: <ms>       clear the filter and find a name prefix on the sorted clone
//   start-up-vs-cli: the program as a process from its start to its first painted window, against
//   the sqlite3 client reading every customer to /dev/null (wall time, alternating runs);
//   memory-steady, memory-peak: the program's resident memory once settled (window painted, file
//   checked) less that on an empty database, against a compact array of the customers (8-byte
//   cells plus their text), and its highest resident memory likewise, against that steady state
//   (tools/process_bench.cpp)
//   start-up (first paint with and without the file check, and when the file is writable),
//   move-10-visits, move-1000-visits, locate-first, locate-next: the main window's record sets
//   on the same database; down-key-to-visits (group "down-key"): a Down key in its customer grid
//   up to the repainted visit grid and totals line (tools/app_bench.cpp)
//   grid-full-repaint, grid-scroll-fast: the record grid (tools/grid_bench.cpp)
//   backup: the online backup against a plain file copy, wall time (tools/backup_bench.cpp)
//   memo-row-paint-20000: the customer dialog's memo row with a 20,000-character note against a
//   plain drawText of the same note (tools/inspector_bench.cpp)
//   feed-idle-tick, feed-read-one-change: the change feed's timer tick while nothing changes, and
//   reading one change another connection committed (tools/feed_bench.cpp)
//   debtors, statement-1000, search-plate-phone: the papers and the search by plate and phone
//   (tools/paper_bench.cpp)
//   peak-rss: <MiB>
// --only runs the named groups of the table in main() alone ("papers", "window", "down-key"...).
// Further measurements are added to the table in main(). With --server the program runs on a
// database server instead (tools/server_bench.cpp).
#include "core/Errors.h"
#include "data/Schema.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "engine/SqliteBackend.h"
#include "platform/Application.h"
#include "platform/Fonts.h"
#include "tools/BenchSqlite.h"
#include "tools/BenchTiming.h"

#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <sys/resource.h>
#include <time.h>
#include <utility>
#include <vector>

using bench::median;

namespace {

// The process's CPU time as a std::chrono clock.
struct Clock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<Clock>;
    static constexpr bool is_steady = true;
    static time_point now() {
        timespec t{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return time_point(duration(rep(t.tv_sec) * 1000000000 + t.tv_nsec));
    }
};

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void check(int rc, sqlite3* db) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "korvela-bench: %s\n", sqlite3_errmsg(db));
        std::exit(1);
    }
}

const char* const kFirstNames[] = {"Ahmet",  "Mehmet", "Ayşe",    "Fatma",  "Çağlar", "Gökhan",
                                   "İsmail", "Işıl",   "Özlem",   "Şükrü",  "Ümit",   "Ebru",
                                   "Serkan", "Gülşen", "Hüseyin", "Zeynep", "Oğuz",   "Derya"};
const char* const kSurnames[] = {"Yılmaz", "Kaya",  "Demir",   "Şahin",  "Çelik", "Yıldız",
                                 "Öztürk", "Aydın", "Özdemir", "Arslan", "Doğan", "Kılıç",
                                 "Aslan",  "Çetin", "Koç",     "Kurt",   "Özkan", "Şimşek"};
const char* const kMakes[] = {"Fiat", "Renault", "Ford", "Toyota", "Volkswagen", "Hyundai"};

// A database with the program's schema, filled in one transaction through prepared statements.
void buildDatabase(const QString& path, int customers, int visitsEach) {
    sqlite3* db = nullptr;
    check(sqlite3_open(path.toUtf8().constData(), &db), db);
    sqlite3_busy_timeout(db, bench::sql::kBusyTimeoutMs);
    check(sqlite3_exec(db, "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF", nullptr, nullptr,
                       nullptr),
          db);
    check(sqlite3_exec(db, data::schemaSql().toUtf8().constData(), nullptr, nullptr, nullptr), db);
    check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db);
    sqlite3_stmt* customer = nullptr;
    sqlite3_stmt* visit = nullptr;
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO t_musteri (f_arac_plaka, f_adi, f_tel, f_gsm, f_mail, "
                             "f_vd, f_vn, f_tarih, f_adres, f_arac_marka, f_arac_model, "
                             "f_arac_yil, f_arac_yakit, f_arac_renk, f_not) VALUES "
                             "(?, ?, ?, ?, ?, 'Kadıköy', ?, ?, ?, ?, 'Model', ?, 'Benzin', "
                             "'Beyaz', ?)",
                             -1, &customer, nullptr),
          db);
    check(sqlite3_prepare_v2(db,
                             "INSERT INTO t_servis (f_tarih, f_km, f_ariza, f_islem, f_parca, "
                             "f_malzeme, f_iscilik, f_tutar, f_odeme, id_musteri) VALUES "
                             "(?, ?, 'Fren sesi', 'Balata değişimi', 'Balata', 'Fren hidroliği', "
                             "?, ?, ?, ?)",
                             -1, &visit, nullptr),
          db);
    unsigned seed = 12345;
    const auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    const auto text = [](sqlite3_stmt* s, int i, const std::string& v) {
        sqlite3_bind_text(s, i, v.c_str(), int(v.size()), SQLITE_TRANSIENT);
    };
    for (int c = 1; c <= customers; ++c) {
        const std::string name = std::string(kFirstNames[next() % std::size(kFirstNames)]) + " " +
                                 kSurnames[next() % std::size(kSurnames)];
        text(customer, 1,
             std::to_string(1 + next() % 81) + " ABC " + std::to_string(next() % 1000));
        text(customer, 2, name);
        text(customer, 3, "0216 " + std::to_string(1000000 + next() * 7));
        text(customer, 4, "0532 " + std::to_string(1000000 + next() * 11));
        text(customer, 5, "musteri" + std::to_string(c) + "@example.com");
        text(customer, 6, std::to_string(1000000000 + c));
        text(customer, 7, "2008-12-25 14:30:00");
        text(customer, 8, "Bağdat Caddesi No: " + std::to_string(c % 500));
        text(customer, 9, kMakes[next() % std::size(kMakes)]);
        text(customer, 10, std::to_string(1995 + next() % 15));
        text(customer, 11, c % 7 ? std::string() : std::string("Düzenli müşteri"));
        check(sqlite3_step(customer), db);
        sqlite3_reset(customer);
        for (int v = 0; v < visitsEach; ++v) {
            text(visit, 1,
                 "2009-0" + std::to_string(1 + v % 9) + "-1" + std::to_string(v % 10) +
                     " 10:00:00");
            text(visit, 2, std::to_string(10000 + v * 5000));
            text(visit, 3, std::to_string(100 + next() % 400) + ".0000");
            text(visit, 4, std::to_string(next() % 900) + ".5000");
            text(visit, 5, std::to_string(next() % 500) + ".0000");
            sqlite3_bind_int(visit, 6, c);
            check(sqlite3_step(visit), db);
            sqlite3_reset(visit);
        }
    }
    sqlite3_finalize(customer);
    sqlite3_finalize(visit);
    check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db);
    sqlite3_close(db);
}

// What a compact copy of a result takes: its cells and the bytes of its text.
struct CompactSize {
    std::size_t cells = 0, bytes = 0;
};

// The least a reader that keeps the rows has to do: every cell copied into a compact array, 8
// bytes a cell (an integer, or the size and place of its bytes; a float's bits) and the bytes of
// text and blobs in one buffer, both reserved once at their final size (known from an earlier
// read, which no real reader knows). Returns the milliseconds; size receives what was kept.
double bareOpen(sqlite3* db, const char* sql, CompactSize* size = nullptr) {
    const Clock::time_point start = Clock::now();
    std::vector<std::uint64_t> cells;
    std::vector<char> bytes;
    if (size) {
        cells.reserve(size->cells);
        bytes.reserve(size->bytes);
    }
    sqlite3_stmt* statement = nullptr;
    check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db);
    const int columns = sqlite3_column_count(statement);
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            sqlite3_value* value = sqlite3_column_value(statement, c);
            switch (sqlite3_value_type(value)) {
            case SQLITE_INTEGER:
                cells.push_back(std::uint64_t(sqlite3_value_int64(value)));
                break;
            case SQLITE_FLOAT: {
                const double real = sqlite3_value_double(value);
                std::uint64_t bits = 0;
                std::memcpy(&bits, &real, sizeof bits);
                cells.push_back(bits);
                break;
            }
            case SQLITE_TEXT:
            case SQLITE_BLOB: {
                const auto* data = static_cast<const char*>(sqlite3_value_blob(value));
                const std::size_t size = std::size_t(sqlite3_value_bytes(value));
                cells.push_back(std::uint64_t(bytes.size()) << 24 | size);
                bytes.insert(bytes.end(), data, data + size);
                break;
            }
            default:
                cells.push_back(0);
                break;
            }
        }
    }
    sqlite3_finalize(statement);
    const double elapsed = millisecondsSince(start);
    if (bytes.empty())
        std::fprintf(stderr, "korvela-bench: the bare read saw no data\n");
    if (size)
        *size = {cells.size(), bytes.size()};
    return elapsed;
}

struct Context {
    cursor::Connection connection;
    int runs = 5;
};

struct Measurement {
    const char* name;
    std::function<std::string(Context&)> run; // the text after "name: "
};

// A group that prints its own lines.
Measurement group(const char* name, std::function<void(Context&)> run) {
    return {name, [run = std::move(run)](Context& c) {
                run(c);
                return std::string();
            }};
}

std::string format(const char* pattern, double a, double b = 0, double c = 0) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

// The file engine's own handle: the bare reading runs on the same connection and page cache.
sqlite3* fileHandle(const cursor::Connection& connection) {
    return dynamic_cast<cursor::SqliteBackend&>(connection.backend()).handle();
}

// SQLite's own stepping through a statement, every value's size asked and nothing kept.
double stepOnly(sqlite3* db, const char* sql) {
    const Clock::time_point start = Clock::now();
    sqlite3_stmt* statement = nullptr;
    check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db);
    const int columns = sqlite3_column_count(statement);
    std::size_t bytes = 0;
    while (sqlite3_step(statement) == SQLITE_ROW)
        for (int c = 0; c < columns; ++c)
            bytes += std::size_t(sqlite3_value_bytes(sqlite3_column_value(statement, c)));
    sqlite3_finalize(statement);
    const double elapsed = millisecondsSince(start);
    if (bytes == 0)
        std::fprintf(stderr, "korvela-bench: the stepping saw no data\n");
    return elapsed;
}

// The engine's open against the bare copy of the same statement, the two alternating: the medians
// of each in milliseconds, and the median of the ratios of each pair (a pair runs at one moment
// of a machine whose speed drifts; the ratio of the medians may take them from two). Each side
// runs once untimed first: a process's first read of a result this size has the system clear
// fresh memory for it (here the engine's first open takes about 2.5 times a later one, the bare
// copy's first into arrays of their final size 1.3 times), which the pairs leave out on both
// sides alike. The program's own first open is in start-up-vs-cli. Three pairs for every run
// asked: the ratio of one pair strays by a few hundredths either way on this kind of machine.
struct OpenComparison {
    double engine = 0, bare = 0, ratio = 0;
    int pairs = 0;
};

OpenComparison compareOpen(cursor::Connection& connection, const char* sql, int runs) {
    CompactSize size;
    bareOpen(fileHandle(connection), sql, &size); // warms the page cache, learns the size
    bareOpen(fileHandle(connection), sql, &size); // its arrays at their final size
    cursor::Recordset().open(connection, sql);
    std::vector<double> engine, bare, ratios;
    for (int i = 0; i < 3 * runs; ++i) {
        bare.push_back(bareOpen(fileHandle(connection), sql, &size));
        const Clock::time_point start = Clock::now();
        cursor::Recordset rs;
        rs.open(connection, sql);
        engine.push_back(millisecondsSince(start));
        ratios.push_back(engine.back() / bare.back());
    }
    return {median(engine), median(bare), median(ratios), int(ratios.size())};
}

std::string openCustomers(Context& context) {
    const OpenComparison c =
        compareOpen(context.connection, "select * from t_musteri", context.runs);
    return format("%.1f ms, bare %.1f ms, ratio=%.2f", c.engine, c.bare, c.ratio) +
           " (the median of " + std::to_string(c.pairs) + " pairs' ratios)";
}

// The customers opened at 10,000, 100,000 and 1,000,000 rows (databases of customers alone),
// each against the bare copy, per row; then how the cost per row grows from the smallest to the
// largest.
void openScale(Context& context) {
    double first = 0, firstBare = 0, last = 0, lastBare = 0;
    for (const int rows : {10000, 100000, 1000000}) {
        QTemporaryDir dir;
        const QString path = dir.path() + "/Korvela.mdb";
        buildDatabase(path, rows, 0);
        cursor::Connection connection;
        connection.open("Data Source=\"" + path + "\"");
        const char* sql = "select * from t_musteri";
        const OpenComparison c = compareOpen(connection, sql, context.runs);
        const double e = c.engine, b = c.bare;
        std::vector<double> stepping;
        for (int i = 0; i < context.runs; ++i)
            stepping.push_back(stepOnly(fileHandle(connection), sql));
        const double perRow = e * 1000 / rows, perRowBare = b * 1000 / rows;
        std::printf("open-customers-%d: %.1f ms, %.3f us a row, bare %.3f us a row, ratio=%.2f; "
                    "SQLite stepping alone %.3f us a row\n",
                    rows, e, perRow, perRowBare, c.ratio, median(stepping) * 1000 / rows);
        std::fflush(stdout);
        if (first == 0) {
            first = perRow;
            firstBare = perRowBare;
        }
        last = perRow;
        lastBare = perRowBare;
    }
    std::printf(
        "open-customers-growth: a row at 1,000,000 costs %.2fx a row at 10,000 (bare %.2fx)\n",
        last / first, lastBare / firstBare);
}

std::string sortNames(Context& context) {
    std::vector<double> times;
    for (int i = 0; i < context.runs; ++i) {
        cursor::Recordset rs;
        rs.open(context.connection, "select * from t_musteri");
        const Clock::time_point start = Clock::now();
        const std::unique_ptr<cursor::Recordset> copy = rs.clone();
        copy->setSort("f_adi");
        times.push_back(millisecondsSince(start));
    }
    return format("%.1f ms", median(times));
}

std::string findPrefix(Context& context) {
    cursor::Recordset rs;
    rs.open(context.connection, "select * from t_musteri");
    const std::unique_ptr<cursor::Recordset> copy = rs.clone();
    copy->setSort("f_adi");
    const char* const prefixes[] = {"Ah",     "Mehmet Y", "Şük",  "İsmail Ö",
                                    "Işıl K", "Zeynep Ş", "Ümit", "Yok"};
    std::vector<double> times;
    int found = 0;
    for (int i = 0; i < 50 * context.runs; ++i) {
        const QString criterion =
            QStringLiteral("(f_adi like '%1*')")
                .arg(QString::fromUtf8(prefixes[std::size_t(i) % std::size(prefixes)]));
        const Clock::time_point start = Clock::now();
        copy->setFilter(QString());
        found += copy->find(criterion);
        rs.gotoBookmark(copy->eof() ? rs.bookmark() : copy->bookmark());
        times.push_back(millisecondsSince(start));
    }
    if (found == 0)
        std::fprintf(stderr, "korvela-bench: no prefix was found\n");
    return format("%.3f ms", median(times));
}

std::string peakRss(Context&) {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return format("%.1f MiB", double(usage.ru_maxrss) / 1024.0);
}

// A box the program would have shown: a set-up went wrong, so the run ends with the box's text
// rather than waiting for someone to answer it.
[[noreturn]] void boxShown(const QString& text) {
    std::fprintf(stderr, "korvela-bench: the program would have shown a box: %s\n",
                 qPrintable(text));
    std::exit(1);
}

// --customers N, --runs R and --only NAME,...; false for anything else or a count below 1.
bool readOptions(const QStringList& args, int& customers, int& runs, QStringList& only) {
    for (int i = 1; i < args.size(); ++i) {
        bool ok = false;
        if (args[i] == "--customers" && i + 1 < args.size())
            customers = args[++i].toInt(&ok);
        else if (args[i] == "--runs" && i + 1 < args.size())
            runs = args[++i].toInt(&ok);
        else if (args[i] == "--only" && i + 1 < args.size())
            ok = !(only = args[++i].split(',')).isEmpty();
        if (!ok || customers < 1 || runs < 1)
            return false;
    }
    return true;
}

} // namespace

void runGridBenchmarks(std::FILE* out, int runs);
void runInspectorBenchmarks(std::FILE* out, int runs);
void runAppBenchmarks(const QString& directory, std::FILE* out, int runs);
void runDownKeyBenchmark(const QString& directory, std::FILE* out, int runs);
void runPaperBenchmarks(const QString& directory, std::FILE* out, int runs);
std::string backupBenchmark(const QString& database, int runs);
int runServerBenchmarks(const QStringList& args, std::FILE* out);
void runFeedBenchmarks(const QString& database, cursor::Connection& connection, std::FILE* out,
                       int runs);
void runLiveBenchmarks(const QString& directory, std::FILE* out, int runs);
void runStartVsCliBenchmark(const QString& directory, std::FILE* out, int runs);
void runMemoryBenchmark(const QString& directory, std::FILE* out, int runs);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const platform::ScopedDialogHooks noBoxes(platform::DialogHooks{
        [](const QString& caption, const QString& text) { boxShown(caption + ": " + text); },
        [](const QString& text, platform::MsgType, int) -> platform::MsgButton { boxShown(text); },
        [](const QString& caption, const QString& prompt, QString&) -> bool {
            boxShown(caption + ": " + prompt);
        }});
    platform::loadFonts();
    platform::useClassicLook(); // the program's style and font, so windows paint as it shows them
    int customers = 100000;
    Context context;
    const QStringList args = app.arguments();
    if (args.contains(QStringLiteral("--server"))) {
        try {
            return runServerBenchmarks(args, stdout);
        } catch (const core::Exception& e) {
            std::fprintf(stderr, "korvela-bench: %s\n", e.what());
            return 1;
        }
    }
    QStringList only;
    if (!readOptions(args, customers, context.runs, only)) {
        std::fprintf(stderr, "usage: korvela-bench [--customers N] [--runs R] [--only NAME,...]\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    buildDatabase(path, customers, 10);

    const Measurement measurements[] = {
        {"open-customers", openCustomers},
        group("open-scale", openScale),
        {"sort-names", sortNames},
        {"find-prefix", findPrefix},
        // Before the window group, which adds a customer with many visits.
        group("start-up-vs-cli",
              [&dir](Context& c) { runStartVsCliBenchmark(dir.path() + '/', stdout, c.runs); }),
        group("memory",
              [&dir](Context& c) { runMemoryBenchmark(dir.path() + '/', stdout, c.runs); }),
        group("window", [&dir](Context& c) { runAppBenchmarks(dir.path() + '/', stdout, c.runs); }),
        group("down-key",
              [&dir](Context& c) { runDownKeyBenchmark(dir.path() + '/', stdout, c.runs); }),
        group("grid", [](Context& c) { runGridBenchmarks(stdout, c.runs); }),
        {"backup", [&path](Context& c) { return backupBenchmark(path, c.runs); }},
        group("inspector", [](Context& c) { runInspectorBenchmarks(stdout, c.runs); }),
        group("feed",
              [&path](Context& c) { runFeedBenchmarks(path, c.connection, stdout, c.runs); }),
        group("papers",
              [&dir](Context& c) { runPaperBenchmarks(dir.path() + '/', stdout, c.runs); }),
        // After the papers: it adds a customer with many visits.
        group("live", [&dir](Context& c) { runLiveBenchmarks(dir.path() + '/', stdout, c.runs); }),
        {"peak-rss", peakRss}, // keep last: it reports the whole run
    };
    try {
        context.connection.open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"" + path + "\"");
        for (const Measurement& m : measurements) {
            if (!only.isEmpty() && !only.contains(QString::fromLatin1(m.name)))
                continue;
            const std::string result = m.run(context);
            if (!result.empty()) // groups print their own lines
                std::printf("%s: %s\n", m.name, result.c_str());
            std::fflush(stdout);
        }
    } catch (const core::Exception& e) {
        std::fprintf(stderr, "korvela-bench: %s\n", e.what());
        return 1;
    }
    return 0;
}
