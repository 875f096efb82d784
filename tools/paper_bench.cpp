// Timings of the front desk's papers and search on a large database, each against a bare
// baseline measured in the same run.
//
//   void runPaperBenchmarks(const QString& directory, std::FILE* out, int runs);
//
// `directory` holds a "Korvela.mdb" with 100,000 customers of 10 visits each. Needs a
// QApplication (the offscreen platform will do). Each line is a median of CPU times:
//   debtors: the list of every customer who owes (visits summed per customer, the list sorted)
//     and the layout of its pages, against a bare SQL query forming the same sums per customer
//     plus the same layout;
//   statement-1000: a customer's statement of 1,000 visits laid out and written as PDF, against
//     QPdfWriter writing the same table as plain text lines;
//   search-plate-phone: the search by plate and phone over every customer, against a bare loop
//     comparing the same values held in memory.
#include "data/Connection.h"
#include "data/CustomerSearch.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "reports/Papers.h"
#include "tools/BenchSqlite.h"
#include "tools/BenchTiming.h"

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <sqlite3.h>
#include <vector>

using bench::cpuMilliseconds;
using bench::median;

namespace {

// Every customer's three sums by one aggregate query, stepped through as a reader would.
double bareDebtorSums(sqlite3* db) {
    const double start = cpuMilliseconds();
    sqlite3_stmt* st = bench::sql::prepare(
        db, "select m.id, m.f_arac_plaka, m.f_adi, m.f_tel, m.f_gsm, t, p, t - p from "
            "t_musteri m join (select id_musteri, "
            "sum(coalesce(f_iscilik, 0) + coalesce(f_tutar, 0)) t, "
            "sum(coalesce(f_odeme, 0)) p from t_servis group by id_musteri) s "
            "on s.id_musteri = m.id where t - p > 0 order by t - p desc");
    double owed = 0;
    while (bench::sql::step(st)) {
        for (int c = 1; c <= 4; ++c)
            sqlite3_column_text(st, c);
        owed += sqlite3_column_double(st, 7);
    }
    sqlite3_finalize(st);
    const double elapsed = cpuMilliseconds() - start;
    if (owed <= 0)
        std::fprintf(stderr, "korvela-bench: nobody owes anything\n");
    return elapsed;
}

double layoutPages(const reports::TPaper& paper, int* pages) {
    QPdfWriter probe(QStringLiteral("/dev/null"));
    reports::prepareDevice(probe);
    const double start = cpuMilliseconds();
    const reports::TPaperLayout layout(paper, probe);
    *pages = layout.pageCount();
    return cpuMilliseconds() - start;
}

void debtorsLine(std::FILE* out, data::TConnection& connection, sqlite3* db, int runs) {
    std::vector<double> ours, bare, layout;
    int pages = 0;
    std::size_t rows = 0;
    const reports::TPaperHeading heading{QStringLiteral("Korvela Takip"), {}, {}};
    for (int i = 0; i < runs; ++i) {
        bare.push_back(bareDebtorSums(db));
        const double start = cpuMilliseconds();
        const reports::TPaper paper = reports::debtorsPaper(connection, heading);
        ours.push_back(cpuMilliseconds() - start);
        layout.push_back(layoutPages(paper, &pages));
        rows = std::get<reports::TPaperTable>(paper.blocks.front()).rows.size();
    }
    const double o = median(ours), b = median(bare), l = median(layout);
    std::fprintf(out,
                 "debtors: %.1f ms + layout %.1f ms (%zu debtors, %d pages), bare query %.1f ms "
                 "+ layout, ratio=%.2f\n",
                 o, l, rows, pages, b, (o + l) / (b + l));
}

// A customer with 1,000 visits in a database of its own.
qint64 addStatementCustomer(sqlite3* db) {
    bench::sql::exec(db, data::schemaSql().toUtf8().constData());
    bench::sql::exec(db, "begin");
    bench::sql::exec(db, "insert into t_musteri (f_adi, f_arac_plaka, f_tel, f_gsm, f_arac_marka, "
                         "f_arac_model, f_arac_yil) values ('Şükrü Güneş', '34 SG 1907', "
                         "'0212 274 55 66', '0532 909 12 12', 'Ford', 'Transit', '2003')");
    const qint64 id = sqlite3_last_insert_rowid(db);
    sqlite3_stmt* st =
        bench::sql::prepare(db, "insert into t_servis (id_musteri, f_tarih, f_km, f_islem, "
                                "f_iscilik, f_tutar, f_odeme) values (?, ?, ?, ?, ?, ?, ?)");
    const char* const works[] = {"Periyodik bakım", "Ön balata değişimi", "Klima gazı dolumu",
                                 "Triger seti ve devirdaim değişimi", "Rot balans ayarı"};
    for (int i = 0; i < 1000; ++i) {
        const QByteArray date = QStringLiteral("20%1-%2-%3 10:00:00")
                                    .arg(8 + i / 300, 2, 10, QChar('0'))
                                    .arg(1 + i / 25 % 12, 2, 10, QChar('0'))
                                    .arg(1 + i % 25, 2, 10, QChar('0'))
                                    .toUtf8();
        const QByteArray km = QByteArray::number(40000 + i * 150);
        const QByteArray labour = QByteArray::number(50 + i % 300) + ".2500";
        const QByteArray material = QByteArray::number(i * 13 % 900) + ".5000";
        const QByteArray paid = QByteArray::number(40 + i % 600) + ".0000";
        sqlite3_bind_int64(st, 1, id);
        const QByteArray* texts[] = {&date, &km, nullptr, &labour, &material, &paid};
        for (int c = 0; c < 6; ++c) {
            if (texts[c])
                sqlite3_bind_text(st, c + 2, texts[c]->constData(), int(texts[c]->size()),
                                  SQLITE_TRANSIENT);
            else
                sqlite3_bind_text(st, c + 2, works[i % 5], -1, SQLITE_STATIC);
        }
        bench::sql::run(st);
    }
    sqlite3_finalize(st);
    bench::sql::exec(db, "commit");
    return id;
}

// The statement's table as plain lines of text, one a row, written with QPdfWriter.
double plainLines(const reports::TPaper& paper) {
    const auto& table = std::get<reports::TPaperTable>(paper.blocks[1]);
    const double start = cpuMilliseconds();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    reports::prepareDevice(writer);
    QPainter painter(&writer);
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(8.5);
    painter.setFont(font);
    const double line = painter.fontMetrics().height();
    const double top = writer.logicalDpiY() * 15 / 25.4;
    const double bottom = writer.height() - top;
    double y = top;
    for (const QStringList& row : table.rows) {
        if (y + line > bottom) {
            writer.newPage();
            y = top;
        }
        painter.drawText(QPointF(top, y + painter.fontMetrics().ascent()), row.join("  "));
        y += line;
    }
    painter.end();
    return cpuMilliseconds() - start;
}

void statementLine(std::FILE* out, int runs) {
    QTemporaryDir dir;
    const QString path = dir.path() + QStringLiteral("/Korvela.mdb");
    sqlite3* db = bench::sql::open(path);
    const qint64 id = addStatementCustomer(db);
    sqlite3_close(db);
    data::TConnection connection;
    connection.setConnectionString(data::fileConnectionString(path));
    connection.open();
    const reports::TPaperHeading heading = reports::paperHeading(dir.path() + '/');
    const QString pdf = dir.path() + QStringLiteral("/ekstre.pdf");
    std::vector<double> ours, bare;
    int pages = 0;
    for (int i = 0; i < runs; ++i) {
        const double start = cpuMilliseconds();
        const reports::TPaper paper = reports::statementPaper(connection, id, heading);
        pages = reports::writePdf(paper, pdf);
        ours.push_back(cpuMilliseconds() - start);
        bare.push_back(plainLines(paper));
    }
    const double o = median(ours), b = median(bare);
    std::fprintf(out, "statement-1000: %.1f ms (%d pages), plain lines %.1f ms, ratio=%.2f\n", o,
                 pages, b, o / b);
}

void searchLine(std::FILE* out, data::TConnection& connection, int runs) {
    data::TQuery customers(QStringLiteral("qryMain"), &connection);
    customers.addSql(QStringLiteral("select * from t_musteri"));
    data::declareCustomerFields(customers);
    customers.open();
    // The same values in memory, for the bare loop.
    std::vector<QString> plates, phones, cells;
    customers.readRecords({&customers.fieldByName(QStringLiteral("f_arac_plaka")),
                           &customers.fieldByName(QStringLiteral("f_tel")),
                           &customers.fieldByName(QStringLiteral("f_gsm"))},
                          [&](const data::TRecordValues& v) {
                              const auto text = [](const cursor::Value& value) {
                                  const QString* s = std::get_if<QString>(&value);
                                  return s ? *s : QString();
                              };
                              plates.push_back(text(v[0]));
                              phones.push_back(text(v[1]));
                              cells.push_back(text(v[2]));
                          });
    // Typed texts that no plate begins with, so that both tries run over every customer.
    const QString typed[] = {QStringLiteral("0532 100"), QStringLiteral("99 XYZ 1")};
    std::vector<double> ours, bare;
    int found = 0;
    for (int i = 0; i < runs; ++i) {
        for (const QString& text : typed) {
            double start = cpuMilliseconds();
            found += data::findCustomerByPlateOrPhone(customers, text).has_value();
            ours.push_back(cpuMilliseconds() - start);
            start = cpuMilliseconds();
            const std::u16string plate = data::plateKey(text);
            const std::string phone = data::phoneKey(text);
            std::size_t matches = 0;
            for (std::size_t r = 0; r < plates.size(); ++r) {
                matches += data::plateKey(plates[r]).starts_with(plate);
                if (!phone.empty())
                    matches += data::phoneKey(phones[r]).starts_with(phone) +
                               data::phoneKey(cells[r]).starts_with(phone);
            }
            bare.push_back(cpuMilliseconds() - start);
            found += matches > 0;
        }
    }
    const double o = median(ours), b = median(bare);
    std::fprintf(out, "search-plate-phone: %.1f ms, bare loop %.1f ms, ratio=%.2f%s\n", o, b, o / b,
                 found ? "" : " (nothing found)");
}

} // namespace

void runPaperBenchmarks(const QString& directory, std::FILE* out, int runs) {
    const QString path = directory + QStringLiteral("Korvela.mdb");
    data::TConnection connection;
    connection.setConnectionString(data::fileConnectionString(path));
    connection.open();
    sqlite3* db = bench::sql::open(path);
    debtorsLine(out, connection, db, runs);
    std::fflush(out);
    sqlite3_close(db);
    statementLine(out, runs);
    std::fflush(out);
    searchLine(out, connection, runs);
    std::fflush(out);
}
