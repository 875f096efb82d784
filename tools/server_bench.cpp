// korvela-server-bench: the server engine's select path against a bare libpq loop.
//
//   korvela-server-bench [--connection STRING] [--customers N] [--runs R]
//
// Makes a schema of its own on the server the connection string names (default: the PG*
// environment, e.g. under pg_virtualenv), fills N customers (default 100000) with ten visits
// each on the server, prints one figure a line (medians of R runs, default 5, wall time: the
// server works in another process) and drops the schema again.
//   open-customers-server: select path <ms>, bare <ms>, ratio=<select/bare>
//       "select * from t_musteri": the backend's select (column types, base table and key from
//       the catalog, cached) and a walk over every cell in the row store's form, against
//       PQexecParams and a walk over every cell's text
//   decode-customers-server: <ms>   the select path with every cell decoded to a cursor value
//   move-10-visits-server: select path <ms>, bare <ms>   one customer's visits re-queried
#include "pgengine/PgError.h"
#include "pgengine/PgSession.h"
#include "pgengine/PgValue.h"
#include "pgengine/ServerBackend.h"
#include "pgengine/ServerSchema.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <libpq-fe.h>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Median milliseconds of runs calls of f.
double measure(int runs, const std::function<void()>& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        f();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return median(times);
}

// Something every walk returns, so no loop is optimised away.
volatile std::uint64_t sink = 0;

std::uint64_t walkBare(PGconn* conn, const char* sql) {
    PGresult* r = PQexecParams(conn, sql, 0, nullptr, nullptr, nullptr, nullptr, 0);
    if (PQresultStatus(r) != PGRES_TUPLES_OK)
        throw pgengine::ServerError(pgengine::ServerError::Kind::Statement,
                                    QString::fromUtf8(PQresultErrorMessage(r)));
    std::uint64_t sum = 0;
    const int rows = PQntuples(r), columns = PQnfields(r);
    for (int row = 0; row < rows; ++row)
        for (int c = 0; c < columns; ++c)
            if (!PQgetisnull(r, row, c))
                sum += std::uint64_t(PQgetlength(r, row, c)) + std::uint8_t(*PQgetvalue(r, row, c));
    PQclear(r);
    return sum;
}

std::uint64_t walkSelect(pgengine::ServerBackend& backend, const QString& sql) {
    std::uint64_t sum = 0;
    std::vector<cursor::CellData> cells;
    backend.select(
        sql, [&](const cursor::ResultShape& shape) { cells.resize(shape.columns.size()); },
        [&](const cursor::RowSource& row) {
            row.read(cells.data());
            for (const cursor::CellData& cell : cells)
                sum += cell.type == cursor::CellData::Integer ? std::uint64_t(cell.integer)
                                                              : cell.bytes.size();
        });
    return sum;
}

// The select path with every cell decoded to a cursor value by its column's type.
std::uint64_t decodeSelect(pgengine::ServerBackend& backend, const QString& sql) {
    std::uint64_t sum = 0;
    std::vector<cursor::ColumnInfo> columns;
    std::vector<cursor::CellData> cells;
    backend.select(
        sql,
        [&](const cursor::ResultShape& shape) {
            columns = shape.columns;
            cells.resize(columns.size());
        },
        [&](const cursor::RowSource& row) {
            row.read(cells.data());
            for (std::size_t c = 0; c < cells.size(); ++c)
                sum += pgengine::decode(cells[c], columns[c].type).index();
        });
    return sum;
}

int run(const QStringList& args) {
    QString connection;
    int customers = 100000, runs = 5;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == "--connection")
            connection = args[i + 1];
        else if (args[i] == "--customers")
            customers = args[i + 1].toInt();
        else if (args[i] == "--runs")
            runs = std::max(1, args[i + 1].toInt());
    }
    pgengine::ServerBackend backend(connection);
    pgengine::Session& session = backend.session();
    const QByteArray schema =
        "korvela_bench_" + QByteArray::number(QCoreApplication::applicationPid());
    session.exec("CREATE SCHEMA " + schema);
    const auto dropSchema = [&]() { session.exec("DROP SCHEMA " + schema + " CASCADE"); };
    try {
        session.exec("SELECT set_config('search_path', $1, false)", {schema});
        session.exec("SET statement_timeout = 0"); // filling a million rows takes a while
        for (const QByteArray& statement : pgengine::serverSchemaStatements())
            session.exec(statement);
        session.exec(
            "INSERT INTO t_musteri (f_arac_plaka, f_adi, f_tel, f_gsm, f_mail, f_vd, f_vn, "
            "f_tarih, f_adres, f_arac_marka, f_arac_model, f_arac_yil, f_arac_yakit, f_arac_renk, "
            "f_not) SELECT '34 ABC ' || i, 'Müşteri ' || md5(i::text), '0216 345 12 34', "
            "'0532 412 55 10', 'musteri' || i || '@example.com', 'Kadıköy', '9876543210', "
            "timestamp '2007-03-12 10:15:00' + i * interval '1 minute', "
            "'Moda Cad. No: 14 Kadıköy / İstanbul', 'Fiat', 'Doblo', '2005', 'Dizel', 'Beyaz', "
            "CASE WHEN i % 3 = 0 THEN 'Ticari araç, hafta içi gelir.' END "
            "FROM generate_series(1, $1) AS i",
            {QByteArray::number(customers)});
        session.exec("INSERT INTO t_servis (f_tarih, f_km, f_ariza, f_islem, f_parca, f_malzeme, "
                     "f_iscilik, f_tutar, f_odeme, id_musteri, f_not) SELECT "
                     "timestamp '2008-01-01 09:00:00' + v * interval '47 days', "
                     "(45000 + v * 7400)::text, 'Fren sesi', 'Ön balata değişimi', 'Ön balata', "
                     "'Fren hidroliği DOT4', 120.0000, 185.5000, 305.5000, m.id, NULL "
                     "FROM t_musteri m, generate_series(0, 9) AS v");
        session.exec("ANALYZE");
        session.exec("RESET statement_timeout");

        PGconn* conn = session.handle();
        walkSelect(backend, "select * from t_musteri where false"); // the catalog, cached now
        const double bare =
            measure(runs, [&] { sink = sink + walkBare(conn, "select * from t_musteri"); });
        const double select =
            measure(runs, [&] { sink = sink + walkSelect(backend, "select * from t_musteri"); });
        std::printf("open-customers-server: select path %.1f ms, bare %.1f ms, ratio=%.2f\n",
                    select, bare, select / bare);

        const double decode =
            measure(runs, [&] { sink = sink + decodeSelect(backend, "select * from t_musteri"); });
        std::printf("decode-customers-server: %.1f ms\n", decode);

        std::mt19937 random(42);
        std::uniform_int_distribution<int> pick(1, customers);
        const int moves = 200;
        std::vector<QByteArray> queries;
        for (int i = 0; i < moves; ++i)
            queries.push_back("select * from t_servis where id_musteri=" +
                              QByteArray::number(pick(random)));
        std::vector<double> bareMoves, selectMoves;
        for (const QByteArray& q : queries) {
            bareMoves.push_back(measure(1, [&] { sink = sink + walkBare(conn, q.constData()); }));
            selectMoves.push_back(
                measure(1, [&] { sink = sink + walkSelect(backend, QString::fromUtf8(q)); }));
        }
        std::printf("move-10-visits-server: select path %.3f ms, bare %.3f ms\n",
                    median(selectMoves), median(bareMoves));
    } catch (...) {
        dropSchema();
        throw;
    }
    dropSchema();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        return run(app.arguments());
    } catch (const pgengine::ServerError& e) {
        std::fprintf(stderr, "korvela-server-bench: %s\n", e.what());
        return 1;
    }
}
