// Record inspector timing: painting the memo row of a customer whose note is 20,000 characters.
//
//   void runInspectorBenchmarks(std::FILE* out, int runs);
//
// Needs a QApplication (the offscreen platform will do). Builds a temporary database with one
// customer whose note is a single paragraph of 20,000 characters, shows the customer dialog on
// it with the focus in the note row (as while the caret blinks there), and prints the median of
// `runs` runs of each, measured in the same run:
//   memo-row-paint-20000: <ms>, plain drawText <ms>, ratio=<row/plain>
// "row" is a repaint of the memo row's data cell (the whole inspector composes its picture);
// "plain drawText" is QPainter::drawText of the same note into an image of the same cell.
#include "controls/RecordInspector.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "dialogs/Customer.h"
#include "platform/Fonts.h"
#include "tools/BenchTiming.h"

#include <QApplication>
#include <QFontDatabase>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <sqlite3.h>
#include <vector>

using bench::median;
using bench::millisecondsSince;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kNoteLength = 20000;

QString longNote() {
    const QString sentence = QStringLiteral("Fren balataları ve ön diskler değişti, İşçilik ve "
                                            "malzeme ödendi; müşteri Öğüt bey aracı teslim "
                                            "aldı. ");
    QString note;
    while (note.size() < kNoteLength)
        note += sentence;
    note.truncate(kNoteLength);
    return note;
}

bool buildDatabase(const QString& path, const QString& note) {
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.toUtf8().constData(), &db) == SQLITE_OK;
    ok = ok && sqlite3_exec(db, data::schemaSql().toUtf8().constData(), nullptr, nullptr,
                            nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    ok = ok && sqlite3_prepare_v2(db, "insert into t_musteri (f_adi, f_not) values (?, ?)", -1, &st,
                                  nullptr) == SQLITE_OK;
    if (ok) {
        const QByteArray name = QStringLiteral("İpek Öğüt").toUtf8();
        const QByteArray text = note.toUtf8();
        sqlite3_bind_text(st, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        ok = sqlite3_step(st) == SQLITE_DONE;
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return ok;
}

} // namespace

void runInspectorBenchmarks(std::FILE* out, int runs) {
    if (!QFontDatabase::families().contains(QStringLiteral("Tahoma")))
        platform::loadFonts();
    const QString note = longNote();
    QTemporaryDir dir;
    if (!buildDatabase(dir.path() + '/' + QLatin1String(data::kDatabaseFileName), note)) {
        std::fprintf(stderr, "inspector-bench: cannot build the database\n");
        return;
    }
    data::TConnection connection;
    connection.setConnectionString(data::korvelaConnectionString(dir.path() + '/'));
    data::TQuery qryMain(QStringLiteral("qryMain"), &connection);
    data::declareCustomerFields(qryMain);
    qryMain.setSql({QStringLiteral("select * from t_musteri")});
    data::TDataSource srcMain(&qryMain);
    try {
        qryMain.open();
        qryMain.edit();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "inspector-bench: %s\n", e.what());
        return;
    }

    dialogs::TfrmCustomer dialog(&srcMain);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QApplication::processEvents();
    controls::TRecordInspector* inspector =
        dialog.findChild<controls::TRecordInspector*>("insMain");
    const int memoRow = inspector->rowCount() - 1;
    try {
        inspector->setCurrentRow(memoRow);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "inspector-bench: %s\n", e.what());
        return;
    }
    QApplication::processEvents();
    const QRect cell = inspector->cellRect(memoRow, 1);

    // Warm the glyph caches of both.
    inspector->viewport()->repaint(cell);
    QImage plainImage(cell.size(), QImage::Format_RGB32);
    auto plain = [&] {
        plainImage.fill(Qt::white);
        QPainter p(&plainImage);
        p.setFont(inspector->font());
        p.drawText(QRect(QPoint(0, 0), cell.size()), Qt::AlignLeft | Qt::AlignTop, note);
    };
    plain();

    std::vector<double> row, bare;
    for (int i = 0; i < runs; ++i) {
        Clock::time_point start = Clock::now();
        inspector->viewport()->repaint(cell);
        row.push_back(millisecondsSince(start));
        start = Clock::now();
        plain();
        bare.push_back(millisecondsSince(start));
    }
    const double r = median(row), b = median(bare);
    std::fprintf(out, "memo-row-paint-%d: %.2f ms, plain drawText %.2f ms, ratio=%.2f\n",
                 kNoteLength, r, b, b > 0 ? r / b : 0.0);
    std::fflush(out);
    qryMain.cancel();
}
