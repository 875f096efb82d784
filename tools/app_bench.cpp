// Window and record-set timings on a large database: customer moves with their visit reload,
// locate by name prefix, and a Down key in the customer grid up to the repainted visit list.
//
//   void runAppBenchmarks(const QString& directory, std::FILE* out, int runs);
//   void runDownKeyBenchmark(const QString& directory, std::FILE* out, int runs);
//
// `directory` holds a "Korvela.mdb" whose customers have 10 visits each; one more customer
// with 1,000 visits is added here. Needs a QApplication (the offscreen platform will do).
// Each line is a median; "bare" is a prepared sqlite3 query reading the same visits (for the moves
// compiled once and each cell read in its stored type, as the engine does).
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "engine/BenchmarkSwitches.h"
#include "engine/CursorConnection.h"
#include "tools/BenchSqlite.h"
#include "tools/BenchTiming.h"

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <vector>

using bench::cpuMilliseconds;
using bench::median;

namespace {

// A prepared query of one customer's visits, stepped through with every column read as text.
double bareVisits(sqlite3* db, qint64 customer) {
    const double start = cpuMilliseconds();
    sqlite3_stmt* st = bench::sql::prepare(db, "select * from t_servis where id_musteri=?");
    sqlite3_bind_int64(st, 1, customer);
    std::size_t bytes = 0;
    while (bench::sql::step(st))
        for (int c = 0; c < sqlite3_column_count(st); ++c)
            bytes +=
                std::size_t(sqlite3_column_bytes(st, c)) + (sqlite3_column_text(st, c) != nullptr);
    sqlite3_finalize(st);
    const double elapsed = cpuMilliseconds() - start;
    if (bytes == 0)
        std::fprintf(stderr, "korvela-bench: the bare query read no visits\n");
    return elapsed;
}

// The least a move can cost: the visits query compiled once (as the engine keeps it), then per
// move bound to the customer and stepped over every row, each cell read in the type it is
// stored in and its text copied out, as the engine's reader does.
class BareVisits {
public:
    explicit BareVisits(sqlite3* db) {
        st_ = bench::sql::prepare(db, "select * from t_servis where id_musteri=?");
    }
    ~BareVisits() { sqlite3_finalize(st_); }
    BareVisits(const BareVisits&) = delete;
    BareVisits& operator=(const BareVisits&) = delete;

    // CPU milliseconds for one customer's visits.
    double run(qint64 customer) {
        const double start = cpuMilliseconds();
        sqlite3_bind_int64(st_, 1, customer);
        cells_.clear();
        text_.clear();
        const int columns = sqlite3_column_count(st_);
        while (sqlite3_step(st_) == SQLITE_ROW)
            for (int c = 0; c < columns; ++c) {
                sqlite3_value* v = sqlite3_column_value(st_, c);
                switch (sqlite3_value_type(v)) {
                case SQLITE_INTEGER:
                    cells_.push_back(sqlite3_value_int64(v));
                    break;
                case SQLITE_FLOAT:
                    cells_.push_back(qint64(sqlite3_value_double(v)));
                    break;
                case SQLITE_TEXT:
                case SQLITE_BLOB: {
                    const auto* bytes = static_cast<const char*>(sqlite3_value_blob(v));
                    const int size = sqlite3_value_bytes(v);
                    cells_.push_back(qint64(text_.size()));
                    text_.insert(text_.end(), bytes, bytes + size);
                    break;
                }
                default:
                    cells_.push_back(0);
                }
            }
        sqlite3_reset(st_);
        const double ms = cpuMilliseconds() - start;
        if (cells_.empty())
            std::fprintf(stderr, "korvela-bench: the bare query read no visits\n");
        return ms;
    }

private:
    sqlite3_stmt* st_ = nullptr;
    std::vector<qint64> cells_;
    std::vector<char> text_;
};

qint64 addBigCustomer(sqlite3* db) {
    bench::sql::exec(db, "begin");
    bench::sql::exec(
        db, "insert into t_musteri (f_adi, f_arac_plaka) values ('Zz Büyük Filo', '34 ZZ 1')");
    const qint64 id = sqlite3_last_insert_rowid(db);
    sqlite3_stmt* st = bench::sql::prepare(
        db, "insert into t_servis (id_musteri, f_tarih, f_km, f_ariza, f_iscilik, "
            "f_tutar, f_odeme) values (?, '2009-01-02 10:00:00', '1000', 'Bakım', "
            "'250.0000', '99.9000', '300.0000')");
    for (int i = 0; i < 1000; ++i) {
        sqlite3_bind_int64(st, 1, id);
        bench::sql::run(st);
    }
    sqlite3_finalize(st);
    bench::sql::exec(db, "commit");
    return id;
}

// Times a move of the customer set onto a record, with everything its after-scroll runs.
void moveLine(std::FILE* out, const char* name, app::TfrmMain& w, sqlite3* db, qint64 customer,
              int runs) {
    const app::MainParts parts(w);
    BareVisits bareQuery(db);
    std::vector<double> engine, bare;
    for (int i = 0; i < runs; ++i) {
        parts.qryMain.locate("id", {QString::number(customer)}, {}); // stand on it first
        parts.qryMain.prior();
        const double start = cpuMilliseconds();
        parts.qryMain.next();
        engine.push_back(cpuMilliseconds() - start);
        bare.push_back(bareQuery.run(customer));
    }
    const double e = median(engine), b = median(bare);
    std::fprintf(out, "%s: %.2f ms, bare %.2f ms, ratio=%.2f\n", name, e, b, b > 0 ? e / b : 0);
}

// Start-up: the main window built, shown and painted on the database (the connection, the customer
// list and the first customer's visits), with the connection's check of the file for damage and
// without it (the baseline), the two alternating in one run. The check runs on a thread of its
// own beside the start-up; the file is writable when it has passed (a save made before then
// waits for it). Wall time is what the user waits; CPU time counts both threads.
void startupLine(std::FILE* out, const QString& directory, int runs) {
    std::vector<double> painted[2], cpu[2], writable;
    // Other work on the machine moves single start-ups by tens of percent: at least 11 pairs.
    const int pairs = std::max(runs, 11);
    for (int i = 0; i < 2 * (pairs + 1); ++i) {
        const bool check = i % 2 == 0;
        cursor::benchmark::setFileCheckOnOpen(check);
        const auto start = std::chrono::steady_clock::now();
        const auto since = [&start] {
            return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                             start)
                .count();
        };
        const double cpuStart = cpuMilliseconds();
        double paintedMs = 0, writableMs = 0;
        {
            app::TfrmMain w(directory);
            w.show();
            QCoreApplication::processEvents();
            paintedMs = since();
            const app::MainParts parts(w);
            if (!parts.qryMain.active())
                std::fprintf(stderr, "korvela-bench: the window did not open the database\n");
            parts.dbsPRJ.engine().requireWritable();
            writableMs = since();
        }
        if (i >= 2) { // the first pair warms the page cache
            painted[check].push_back(paintedMs);
            cpu[check].push_back(cpuMilliseconds() - cpuStart);
            if (check)
                writable.push_back(writableMs);
        }
    }
    cursor::benchmark::setFileCheckOnOpen(true);
    const double p1 = median(painted[1]), p0 = median(painted[0]);
    std::fprintf(out,
                 "start-up: first paint %.1f ms, without the file check %.1f ms, ratio=%.2f; "
                 "writable after %.1f ms (CPU %.1f ms vs %.1f ms)\n",
                 p1, p0, p0 > 0 ? p1 / p0 : 0, median(writable), median(cpu[1]), median(cpu[0]));
}

// A Down key in the customer grid up to the repainted visit grid and totals line, the way a
// person sees it: the key, then one turn of the event loop, which paints what the move left due
// (the customer grid repaints itself within the key). Wall time, with the CPU time beside it.
// Never inlined, so that a profiler can count this line alone:
//   valgrind --tool=callgrind --toggle-collect='*downKeyLine*' korvela-bench --customers 2000
// Counts the paint events a widget receives.
struct PaintCount : QObject {
    explicit PaintCount(QObject* target) { target->installEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == QEvent::Paint;
        return false;
    }
    int count = 0;
};

[[gnu::noinline]] void downKeyLine(std::FILE* out, app::TfrmMain& w, sqlite3* db, int runs) {
    const app::MainParts parts(w);
    PaintCount totalsPaints(parts.pnlToplam);
    parts.qryMain.first();
    parts.grdMain->setFocus();
    QCoreApplication::processEvents();
    std::vector<double> keys, cpu, bare;
    int unpainted = 0;
    for (int i = 0; i < std::max(runs, 20); ++i) {
        if (parts.qryMain.eof())
            parts.qryMain.first();
        QCoreApplication::processEvents();
        const int paints = totalsPaints.count;
        const double cpuStart = cpuMilliseconds();
        const auto start = std::chrono::steady_clock::now();
        QTest::keyClick(parts.grdMain, Qt::Key_Down);
        QCoreApplication::processEvents();
        keys.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
        cpu.push_back(cpuMilliseconds() - cpuStart);
        unpainted += totalsPaints.count == paints;
        const auto bareStart = std::chrono::steady_clock::now();
        bareVisits(db, parts.qryMain.fieldByName("id").asInteger());
        bare.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - bareStart)
                .count());
    }
    if (unpainted)
        std::fprintf(stderr, "korvela-bench: %d Down keys left the totals line unpainted\n",
                     unpainted);
    const double k = median(keys), b = median(bare);
    std::fprintf(out, "down-key-to-visits: %.2f ms (CPU %.2f ms), bare %.2f ms, ratio=%.2f\n", k,
                 median(cpu), b, b > 0 ? k / b : 0);
}

} // namespace

void runAppBenchmarks(const QString& directory, std::FILE* out, int runs) {
    sqlite3* db = bench::sql::open(directory + "Korvela.mdb");
    const qint64 big = addBigCustomer(db);

    startupLine(out, directory, runs);

    app::TfrmMain w(directory);
    const app::MainParts parts(w);
    w.show();
    QCoreApplication::processEvents();

    // Customer moves: the visit list is re-queried, calculated and summed each time.
    parts.qryMain.first();
    parts.qryMain.next();
    const qint64 ten = parts.qryMain.fieldByName("id").asInteger();
    moveLine(out, "move-10-visits", w, db, ten, std::max(runs, 20));
    moveLine(out, "move-1000-visits", w, db, big, runs);

    // Locate of a name prefix: the first call sorts the look-up copy.
    std::vector<double> first, later;
    const QStringList prefixes = {"Ah", "Mehmet Y", "Şük", "İsmail", "Zeynep", "Ümit", "Ay"};
    for (int i = 0; i < runs; ++i) {
        parts.qryMain.close();
        parts.qryMain.open();
        double start = cpuMilliseconds();
        parts.qryMain.locate("f_adi", {prefixes[i % prefixes.size()]},
                             data::TLocateOption::loPartialKey);
        first.push_back(cpuMilliseconds() - start);
        for (int k = 0; k < 10; ++k) {
            start = cpuMilliseconds();
            parts.qryMain.locate("f_adi", {prefixes[(i + k + 1) % prefixes.size()]},
                                 data::TLocateOption::loPartialKey);
            later.push_back(cpuMilliseconds() - start);
        }
    }
    std::fprintf(out, "locate-first: %.1f ms\n", median(first));
    std::fprintf(out, "locate-next: %.2f ms\n", median(later));

    sqlite3_close(db);
}

void runDownKeyBenchmark(const QString& directory, std::FILE* out, int runs) {
    sqlite3* db = bench::sql::open(directory + "Korvela.mdb");
    {
        app::TfrmMain w(directory);
        w.show();
        QCoreApplication::processEvents();
        downKeyLine(out, w, db, runs);
    }
    sqlite3_close(db);
}
