// korvela-bench --server: the program on a database server against bare libpq loops.
//
//   korvela-bench --server [--connection STRING] [--customers N] [--runs R]
//
// Makes a schema of its own on the server the connection string names (default: the PG*
// environment, e.g. under pg_virtualenv), fills N customers (default 100000) with ten visits
// each on the server, prints one figure a line (medians of R runs, default 5, wall time: the
// server works in another process) and drops the schema again.
//   open-customers-server: <engine> ms, bare <ms>, ratio=<engine/bare>
//       "select * from t_musteri" opened in the cursor engine (the whole result read into the
//       row store, column types, base table and key from the catalog, cached), against
//       PQexecParams and a walk over every cell's text
//   move-10-visits-server: <ms>, bare <ms>   the main window on the server: a move to another
//       customer with everything its after-scroll runs (the visits re-queried, the totals
//       pass), against the visits' query in a bare libpq loop; the median over 100 customers
//   start-up-server: <ms>   the main window built and shown on the server
//   feed-read-one-change-server: <ms>, bare <ms>   reading one change another session committed
//       from the change feed, against a bare libpq query of that row by its key
#include "app/Main.h"
#include "app/MainParts.h"
#include "engine/ChangeFeed.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "pgengine/PgError.h"
#include "pgengine/PgSession.h"
#include "pgengine/PgValue.h"
#include "pgengine/ServerBackend.h"
#include "pgengine/ServerSchema.h"
#include "tools/BenchTiming.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <libpq-fe.h>
#include <random>
#include <vector>

using bench::median;

namespace {

using Clock = std::chrono::steady_clock;

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

// Reading one change another session committed, against a bare query of that row by its key.
void feedLine(std::FILE* out, cursor::Connection& engine, pgengine::Session& other, PGconn* conn,
              int runs) {
    cursor::ChangeFeed& feed = engine.backend().changeFeed();
    cursor::FeedPosition place = feed.position();
    std::vector<double> read, bare;
    for (int i = 0; i < 20 * runs; ++i) {
        const QByteArray key = QByteArray::number(1 + (i * 7919) % 1000);
        other.exec("UPDATE t_musteri SET f_tel = f_tel WHERE id = $1", {key});
        read.push_back(measure(1, [&] {
            const cursor::ChangeBatch batch = feed.changesSince(place, 1000);
            place = batch.next;
            sink = sink + batch.changes.size();
        }));
        const QByteArray sql = "select * from t_musteri where id = " + key;
        bare.push_back(measure(1, [&] { sink = sink + walkBare(conn, sql.constData()); }));
    }
    const double r = median(read), b = median(bare);
    std::fprintf(out,
                 "feed-read-one-change-server: %.2f ms, bare query of the row by key %.2f ms, "
                 "ratio=%.2f\n",
                 r, b, r / b);
}

// The main window on the server's benchmark schema, through a settings file in a directory.
void windowLines(std::FILE* out, const QString& connection, const QByteArray& schema, PGconn* conn,
                 int customers, int runs) {
    QTemporaryDir dir;
    QFile ini(dir.path() + "/Korvela.ini");
    if (!ini.open(QIODevice::WriteOnly))
        throw pgengine::ServerError(pgengine::ServerError::Kind::Connection,
                                    QStringLiteral("cannot write ") + ini.fileName());
    ini.write("[Database]\nServer=" + connection.toUtf8() + " options=-csearch_path=" + schema +
              "\n");
    ini.close();
    const QString directory = dir.path() + '/';
    std::vector<double> startUp;
    for (int i = 0; i < runs; ++i) {
        startUp.push_back(measure(1, [&] {
            app::TfrmMain w(directory);
            w.show();
            QCoreApplication::processEvents();
        }));
    }
    app::TfrmMain w(directory);
    const app::MainParts parts(w);
    w.show();
    QCoreApplication::processEvents();
    if (!parts.qryMain.active())
        throw pgengine::ServerError(pgengine::ServerError::Kind::Connection,
                                    QStringLiteral("the window did not open the server"));
    std::mt19937 random(7);
    std::uniform_int_distribution<int> pick(2, customers);
    std::vector<double> moves, bare;
    for (int i = 0; i < 100; ++i) {
        const int customer = pick(random);
        parts.qryMain.locate("id", {QString::number(customer)}, {}); // stand on it first
        parts.qryMain.prior();
        moves.push_back(measure(1, [&] { parts.qryMain.next(); }));
        const QByteArray q = "select * from " + schema +
                             ".t_servis where id_musteri=" + QByteArray::number(customer);
        bare.push_back(measure(1, [&] { sink = sink + walkBare(conn, q.constData()); }));
    }
    std::fprintf(out, "move-10-visits-server: %.3f ms, bare %.3f ms\n", median(moves),
                 median(bare));
    std::fprintf(out, "start-up-server: %.1f ms\n", median(startUp));
}

} // namespace

int runServerBenchmarks(const QStringList& args, std::FILE* out) {
    QString connection;
    int customers = 100000, runs = 5;
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == "--connection")
            connection = args[++i];
        else if (args[i] == "--customers")
            customers = std::max(2, args[++i].toInt());
        else if (args[i] == "--runs")
            runs = std::max(1, args[++i].toInt());
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
        cursor::Connection engine;
        engine.open(std::make_unique<pgengine::ServerBackend>(
            connection + " options=-csearch_path=" + QString::fromUtf8(schema)));
        {
            cursor::Recordset warm; // the catalog, cached now
            warm.open(engine, "select * from t_musteri where false");
        }
        const double bare =
            measure(runs, [&] { sink = sink + walkBare(conn, "select * from t_musteri"); });
        const double opened = measure(runs, [&] {
            cursor::Recordset rs;
            rs.open(engine, "select * from t_musteri");
            sink = sink + std::uint64_t(rs.recordCount());
        });
        std::fprintf(out, "open-customers-server: %.1f ms, bare %.1f ms, ratio=%.2f\n", opened,
                     bare, opened / bare);
        feedLine(out, engine, session, conn, runs);

        windowLines(out, connection, schema, conn, customers, runs);

    } catch (...) {
        dropSchema();
        throw;
    }
    dropSchema();
    return 0;
}
