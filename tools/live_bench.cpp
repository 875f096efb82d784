// korvela-bench's live refresh figures in the main window on the benchmark file, each against a
// bare baseline measured in the same run:
//
//   void runLiveBenchmarks(const QString& directory, std::FILE* out, int runs);
//
// live-one-customer: another connection changes one customer among all of them; from the
// wake-up (the feed read) to the repainted customer grid, painted as the event loop paints what
// the refresh left due, main-thread CPU, against a bare query of that row by key on a connection
// of its own plus a repaint of the whole grid through the event loop.
// live-burst-visits: another connection changes all 10,000 visits of the customer on screen in
// one statement; the refresh up to the repainted visit grid and totals line, against reopening
// the visit set as selecting the customer does (a locate of it by key).
// live-idle: a second of the event loop with the window open and nothing changing.
#include "app/Main.h"
#include "app/MainParts.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "tools/BenchSqlite.h"
#include "tools/BenchTiming.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <vector>

using bench::cpuMilliseconds;
using bench::median;

namespace {

qint64 addCustomerWithVisits(sqlite3* db, int visits) {
    bench::sql::exec(db, "begin");
    bench::sql::exec(db, "insert into t_musteri (f_adi) values ('Zz Canlı Filo')");
    const qint64 id = sqlite3_last_insert_rowid(db);
    sqlite3_stmt* st = bench::sql::prepare(
        db, "insert into t_servis (id_musteri, f_tarih, f_km, f_iscilik, f_tutar, "
            "f_odeme) values (?, '2009-01-02 10:00:00', '1000', '250.0000', "
            "'99.9000', '300.0000')");
    for (int i = 0; i < visits; ++i) {
        sqlite3_bind_int64(st, 1, id);
        bench::sql::run(st);
    }
    sqlite3_finalize(st);
    bench::sql::exec(db, "commit");
    return id;
}

// One changed customer: the window's refresh against a bare read of the row plus a repaint.
void oneCustomerLine(std::FILE* out, const app::MainParts& w, sqlite3* other, sqlite3* reader,
                     int runs) {
    const qint64 key = w.qryMain.fieldByName("id").asInteger() + 1; // a row the grid shows
    sqlite3_stmt* change =
        bench::sql::prepare(other, "update t_musteri set f_tel = ? where id = ?");
    sqlite3_stmt* row = bench::sql::prepare(reader, "select * from t_musteri where id = ?");
    std::vector<double> refresh, bare;
    int shown = 0;
    const auto shownBefore = w.liveRefresh.shown;
    w.liveRefresh.shown = [&](data::TDataSet& set) {
        ++shown;
        shownBefore(set);
    };
    for (int i = 0; i < 20 * runs + 1; ++i) {
        const QByteArray phone = "0532 " + QByteArray::number(100000 + i);
        sqlite3_bind_text(change, 1, phone.constData(), int(phone.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(change, 2, key);
        bench::sql::run(change);

        double start = cpuMilliseconds();
        w.liveRefresh.refreshNow();
        QCoreApplication::processEvents(); // the grid paints what the refresh left due
        const double r = cpuMilliseconds() - start;

        start = cpuMilliseconds();
        sqlite3_bind_int64(row, 1, key);
        while (sqlite3_step(row) == SQLITE_ROW)
            for (int c = 0; c < sqlite3_column_count(row); ++c)
                sqlite3_column_text(row, c);
        sqlite3_reset(row);
        w.grdMain->update();
        QCoreApplication::processEvents();
        const double b = cpuMilliseconds() - start;
        if (i > 0) { // the first builds the key index
            refresh.push_back(r);
            bare.push_back(b);
        }
    }
    w.liveRefresh.shown = shownBefore;
    sqlite3_finalize(change);
    sqlite3_finalize(row);
    const double r = median(refresh), b = median(bare);
    std::fprintf(out,
                 "live-one-customer: %.2f ms, bare query of the row by key + grid repaint %.2f ms, "
                 "ratio=%.2f (under 5 ms and 2; %d refreshes for %zu changes, among %d "
                 "customers)\n",
                 r, b, b > 0 ? r / b : 0, shown, refresh.size() + 1, w.qryMain.recordCount());
}

// A burst of changed visits of the customer on screen: one refresh against reopening the set.
void burstLine(std::FILE* out, const app::MainParts& w, sqlite3* other, qint64 big, int visits,
               int runs) {
    w.qryMain.locate("id", {QString::number(big)}, {});
    std::vector<double> refresh, reopen;
    int shown = 0;
    const auto shownBefore = w.liveRefresh.shown;
    w.liveRefresh.shown = [&](data::TDataSet& set) {
        ++shown;
        shownBefore(set);
    };
    const int rounds = std::max(runs, 5);
    for (int i = 0; i < rounds; ++i) {
        const QByteArray sql = "update t_servis set f_km = '" + QByteArray::number(2000 + i) +
                               "' where id_musteri = " + QByteArray::number(big);
        bench::sql::exec(other, sql.constData());

        double start = cpuMilliseconds();
        w.liveRefresh.refreshNow();
        w.grdServis->repaint();
        w.pnlToplam->repaint();
        refresh.push_back(cpuMilliseconds() - start);

        start = cpuMilliseconds();
        w.qryMain.locate("id", {QString::number(big)}, {}); // what selecting the customer does
        w.grdServis->repaint();
        w.pnlToplam->repaint();
        reopen.push_back(cpuMilliseconds() - start);
    }
    w.liveRefresh.shown = shownBefore;
    const double r = median(refresh), o = median(reopen);
    std::fprintf(out,
                 "live-burst-visits: %.1f ms, reopening the visit set %.1f ms, ratio=%.2f (at "
                 "most 1; %d visits changed in one statement, %d refreshes in %d rounds)\n",
                 r, o, o > 0 ? r / o : 0, visits, shown, rounds);
}

// The window left alone: the feed's timer ticks, nothing is read or shown.
void idleLine(std::FILE* out, const app::MainParts& w) {
    int shown = 0;
    const auto shownBefore = w.liveRefresh.shown;
    w.liveRefresh.shown = [&](data::TDataSet&) { ++shown; };
    const double start = cpuMilliseconds();
    QEventLoop loop;
    QTimer::singleShot(1000, &loop, &QEventLoop::quit);
    loop.exec();
    const double cpu = cpuMilliseconds() - start;
    w.liveRefresh.shown = shownBefore;
    std::fprintf(out,
                 "live-idle: %.2f ms CPU in a second of the event loop, %d refreshes (the file's "
                 "tick is feed-idle-tick; a server sends nothing)\n",
                 cpu, shown);
}

} // namespace

void runLiveBenchmarks(const QString& directory, std::FILE* out, int runs) {
    const QByteArray path = (directory + "Korvela.mdb").toUtf8();
    sqlite3* other = bench::sql::open(QString::fromUtf8(path)); // another workstation
    // The bare reader is a connection of its own: like the program's, its page cache is stale
    // after the other's commit.
    sqlite3* reader = bench::sql::open(QString::fromUtf8(path), SQLITE_OPEN_READONLY);
    constexpr int kBurst = 10000;
    const qint64 big = addCustomerWithVisits(other, kBurst);
    {
        app::TfrmMain window(directory);
        window.show();
        QApplication::processEvents();
        const app::MainParts w(window);
        w.dbsPRJ.engine().requireWritable(); // the file's check is done
        QApplication::processEvents();
        oneCustomerLine(out, w, other, reader, runs);
        burstLine(out, w, other, big, kBurst, runs);
        idleLine(out, w);
    }
    sqlite3_close(reader);
    sqlite3_close(other);
}
