// Record grid timings: a full repaint and a one-row scroll with and without fast scrolling.
//
//   void runGridBenchmarks(std::FILE* out, int runs);
//
// Needs a QApplication (the offscreen platform will do). Builds a temporary database with one
// customer and 400 visits, shows a service grid configured like the main window's with 30
// visible rows and all 11 columns, and prints, each the median of `runs` runs:
//   grid-full-repaint: <ms>                          paint of the whole grid
//   grid-scroll-fast: <ms>, full <ms>, ratio=<f/F>   next() at the bottom row and the repaint it
//                                                    causes, with FastRecordScrolling on and off
#include "controls/RecordGrid.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "platform/Fonts.h"
#include "tools/BenchTiming.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScrollBar>
#include <QStyle>
#include <QTemporaryDir>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

using bench::median;
using bench::millisecondsSince;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kVisibleRows = 30;
constexpr int kVisits = 400;

bool buildDatabase(const QString& path) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK;
    auto exec = [&](const QString& sql) {
        ok = ok &&
             sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr) == SQLITE_OK;
    };
    exec(data::schemaSql());
    exec(QStringLiteral("begin"));
    exec(QStringLiteral("insert into t_musteri (f_adi, f_arac_plaka) values ('Ayşe Yılmaz', "
                        "'34 ABC 123')"));
    for (int i = 1; i <= kVisits; ++i)
        exec(QStringLiteral("insert into t_servis (id_musteri, f_tarih, f_km, f_ariza, f_islem, "
                            "f_parca, f_malzeme, f_iscilik, f_tutar, f_odeme) values (1, "
                            "'2008-12-25 14:30:00', '%1', 'Fren sesi', 'Balata değişimi', "
                            "'Balata', 'Fren hidroliği', '1234.5000', '%2.2500', '100.0000')")
                 .arg(1000 * i)
                 .arg(i));
    exec(QStringLiteral("commit"));
    sqlite3_close(db);
    return ok;
}

// Times one move at the bottom row and the repaint it leaves due.
std::vector<double> timeScrolls(controls::TRecordGrid& grid, data::TDataSet& set, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        set.next();
        grid.repaintPending();
        times.push_back(millisecondsSince(start));
        QApplication::processEvents();
    }
    return times;
}

} // namespace

void runGridBenchmarks(std::FILE* out, int runs) {
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        platform::loadFonts();
    runs = std::clamp(runs, 1, (kVisits - kVisibleRows) / 2 - 1);
    QTemporaryDir dir;
    if (!buildDatabase(dir.path() + '/' + QLatin1String(data::kDatabaseFileName))) {
        std::fprintf(stderr, "grid-bench: cannot build the database\n");
        return;
    }
    data::TConnection connection;
    connection.setConnectionString(data::korvelaConnectionString(dir.path() + '/'));
    data::TQuery qryServis(QStringLiteral("qryServis"), &connection);
    data::declareServiceFields(qryServis);
    qryServis.setSql({QStringLiteral("select * from t_servis where id_musteri=1")});
    data::TDataSource srcServis(&qryServis);

    QWidget window;
    auto* grid = new controls::TRecordGrid(&window);
    grid->useMainWindowConfiguration();
    grid->setDataSource(&srcServis);
    try {
        qryServis.open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "grid-bench: %s\n", e.what());
        return;
    }
    // Wide enough for all eleven columns, tall enough for exactly 30 rows.
    const int bar = grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    int width = 12 + bar + 1;
    for (int c = 0; c < grid->dataColumnCount(); ++c)
        width += grid->columnWidth(c) + 1;
    grid->setGeometry(0, 0, width, grid->titleRowHeight() + 1 + kVisibleRows * 17);
    window.resize(grid->size());
    window.show();
    QApplication::processEvents();
    if (grid->visibleDataRows() != kVisibleRows || grid->horizontalScrollBar()->isVisible())
        std::fprintf(stderr, "grid-bench: %d rows shown instead of %d\n", grid->visibleDataRows(),
                     kVisibleRows);

    std::vector<double> full;
    grid->repaint(); // warm the glyph caches
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        grid->repaint();
        full.push_back(millisecondsSince(start));
    }
    std::fprintf(out, "grid-full-repaint: %.1f ms\n", median(full));

    qryServis.moveBy(grid->visibleDataRows() - 1); // the bottom row: every next() scrolls
    QApplication::processEvents();
    const std::vector<double> fast = timeScrolls(*grid, qryServis, runs);
    controls::TGridPaintOptions paint = grid->paintOptions();
    paint.FastRecordScrolling = false;
    grid->setPaintOptions(paint);
    QApplication::processEvents();
    const std::vector<double> slow = timeScrolls(*grid, qryServis, runs);
    const double f = median(fast), s = median(slow);
    std::fprintf(out, "grid-scroll-fast: %.1f ms, full %.1f ms, ratio=%.2f\n", f, s,
                 s > 0 ? f / s : 0.0);
    std::fflush(out);
}
