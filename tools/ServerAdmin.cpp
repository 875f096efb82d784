// korvela-admin create/copy against a PostgreSQL server, value for value, in one transaction.
#include "tools/ServerAdmin.h"

#include "data/Schema.h"
#include "pgengine/PgError.h"
#include "pgengine/PgSession.h"
#include "pgengine/ServerChangeLog.h"
#include "pgengine/ServerSchema.h"
#include "tools/admin/Sqlite.h"

#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <functional>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <stdexcept>

namespace serveradmin {

namespace {

using pgengine::Param;
using pgengine::ServerError;
using pgengine::Session;

// The columns of both tables in the schema's order; integer columns are bound as integers when
// written to a file, everything else as the text the other side stores. The text columns hold
// at most kTextSize characters on a server (the memo f_not has no limit).
struct TableColumns {
    const char* table;
    QByteArrayList names;
    QByteArrayList integers;
    QByteArrayList texts;
};

constexpr int kTextSize = 255;

const TableColumns kCustomers{
    "t_musteri",
    {"f_arac_plaka", "f_adi", "f_tel", "f_gsm", "f_mail", "f_vd", "f_vn", "f_tarih", "f_adres",
     "f_arac_marka", "f_arac_model", "f_arac_yil", "f_arac_yakit", "f_arac_renk", "f_not", "id"},
    {"id"},
    {"f_arac_plaka", "f_adi", "f_tel", "f_gsm", "f_mail", "f_vd", "f_vn", "f_adres", "f_arac_marka",
     "f_arac_model", "f_arac_yil", "f_arac_yakit", "f_arac_renk"}};
const TableColumns kVisits{"t_servis",
                           {"f_tarih", "f_km", "f_ariza", "f_islem", "f_parca", "f_malzeme",
                            "f_iscilik", "f_tutar", "f_odeme", "id", "id_musteri", "f_not"},
                           {"id", "id_musteri"},
                           {"f_km", "f_ariza", "f_islem", "f_parca", "f_malzeme"}};

// Rows per INSERT sent to the server (each row's values are parameters of that statement).
constexpr int kRowsPerInsert = 200;

// A command that cannot be carried out, SQLite's failures included.
using Failure = admin::Error;

void print(const QString& text) {
    std::printf("korvela-admin: %s\n", text.toUtf8().constData());
}

int fail(const QString& text) {
    std::fprintf(stderr, "korvela-admin: %s\n", text.toUtf8().constData());
    return 1;
}

// "dbname on host" of an open session, for messages (never the password of a connection string).
QString describe(const Session& session) {
    const char* host = PQhost(session.handle());
    return QStringLiteral("the server database '%1' on %2")
        .arg(QString::fromUtf8(PQdb(session.handle())),
             QString::fromUtf8(host && *host ? host : "the local socket"));
}

bool hasTables(admin::Sqlite& file) {
    return file.integer("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                        "('t_musteri', 't_servis')") == 2;
}

QByteArray columnList(const TableColumns& t) {
    return t.names.join(", ");
}

bool serverHasTables(Session& session) {
    const pgengine::Result r =
        session.exec("SELECT count(*) FROM pg_catalog.pg_tables WHERE schemaname = "
                     "current_schema() AND tablename IN ('t_musteri', 't_servis')");
    return r.text(0, 0) == "2";
}

qint64 serverRows(Session& session) {
    const pgengine::Result r =
        session.exec("SELECT (SELECT count(*) FROM t_musteri) + (SELECT count(*) FROM t_servis)");
    return QByteArray(r.text(0, 0).data(), qsizetype(r.text(0, 0).size())).toLongLong();
}

// Texts are counted in characters only in a UTF8 database (SQL_ASCII counts bytes, so a name of
// 255 Turkish letters would not fit), so the tables are made only there.
void createOnServer(Session& session) {
    const pgengine::Result r = session.exec(
        "SELECT pg_encoding_to_char(encoding) FROM pg_database WHERE datname = current_database()");
    const QByteArray encoding(r.text(0, 0).data(), qsizetype(r.text(0, 0).size()));
    if (encoding != "UTF8")
        throw Failure(QStringLiteral("the server database uses the %1 encoding; Korvela's tables "
                                     "need a UTF8 database (CREATE DATABASE ... ENCODING 'UTF8')")
                          .arg(QString::fromLatin1(encoding)));
    for (const QByteArray& statement : pgengine::serverSchemaStatements())
        session.exec(statement);
}

// Characters of UTF-8 text: every byte that does not continue a character starts one.
qsizetype characterCount(std::string_view utf8) {
    qsizetype n = 0;
    for (const char c : utf8)
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// The cells of a table that a server would not store as they are, each named by table, key and
// column: a text holding the NUL character (a server's text cannot hold it, and libpq would send
// the text only up to it) and a text longer than its column.
QStringList cellsTheServerCannotStore(admin::Sqlite& file, const TableColumns& t) {
    sqlite3_stmt* select =
        file.prepare("SELECT " + columnList(t) + " FROM " + t.table + " ORDER BY id");
    const int n = int(t.names.size());
    const int key = int(t.names.indexOf("id"));
    QStringList found;
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            const int type = sqlite3_column_type(select, c);
            if (type != SQLITE_TEXT && type != SQLITE_BLOB)
                continue;
            const char* bytes = static_cast<const char*>(sqlite3_column_blob(select, c));
            const std::string_view cell(bytes ? bytes : "",
                                        std::size_t(sqlite3_column_bytes(select, c)));
            QString why;
            if (cell.find('\0') != std::string_view::npos)
                why = QStringLiteral("the text holds the character NUL (code 0), which a server "
                                     "cannot store");
            else if (t.texts.contains(t.names[c]) && characterCount(cell) > kTextSize)
                why = QStringLiteral("the text has %1 characters, more than the column's %2")
                          .arg(characterCount(cell))
                          .arg(kTextSize);
            if (!why.isEmpty())
                found << QStringLiteral("%1 id %2, %3: %4")
                             .arg(QLatin1String(t.table))
                             .arg(sqlite3_column_int64(select, key))
                             .arg(QString::fromLatin1(t.names[c]), why);
        }
    }
    sqlite3_finalize(select);
    if (rc != SQLITE_DONE)
        throw Failure(QStringLiteral("'%1': %2").arg(file.path(), file.message()));
    return found;
}

// One table from the file to the server, ids kept, then the identity moved past the highest id.
int copyTableToServer(admin::Sqlite& file, Session& session, const TableColumns& t) {
    sqlite3_stmt* select =
        file.prepare("SELECT " + columnList(t) + " FROM " + t.table + " ORDER BY id");
    const int n = int(t.names.size());
    int copied = 0;
    std::vector<Param> params;
    const auto flush = [&]() {
        if (params.empty())
            return;
        QByteArray sql = QByteArray("INSERT INTO ") + t.table + " (" + columnList(t) +
                         ") OVERRIDING SYSTEM VALUE VALUES ";
        for (std::size_t i = 0; i < params.size(); i += std::size_t(n)) {
            sql += i == 0 ? "(" : ", (";
            for (int c = 0; c < n; ++c)
                sql += (c == 0 ? "$" : ", $") + QByteArray::number(qulonglong(i) + c + 1);
            sql += ')';
        }
        session.exec(sql, params);
        params.clear();
    };
    int rc;
    while ((rc = sqlite3_step(select)) == SQLITE_ROW) {
        for (int c = 0; c < n; ++c) {
            switch (sqlite3_column_type(select, c)) {
            case SQLITE_NULL:
                params.emplace_back(std::nullopt);
                break;
            case SQLITE_FLOAT: // written by another tool; the server keeps what it can
                params.emplace_back(QByteArray::number(sqlite3_column_double(select, c), 'g', 17));
                break;
            default:
                params.emplace_back(
                    QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(select, c)),
                               sqlite3_column_bytes(select, c)));
                break;
            }
        }
        ++copied;
        if (copied % kRowsPerInsert == 0)
            flush();
    }
    sqlite3_finalize(select);
    if (rc != SQLITE_DONE)
        throw Failure(QStringLiteral("'%1': %2").arg(file.path(), file.message()));
    flush();
    session.exec(QByteArray("SELECT setval(pg_get_serial_sequence('") + t.table +
                 "', 'id'), COALESCE(max(id), 0) + 1, false) FROM " + t.table);
    return copied;
}

// One table from the server to the file, ids kept (the file's AUTOINCREMENT follows them).
int copyTableToFile(Session& session, admin::Sqlite& file, const TableColumns& t) {
    const pgengine::Result rows =
        session.exec("SELECT " + columnList(t) + " FROM " + t.table + " ORDER BY id");
    QByteArray marks;
    for (int c = 0; c < int(t.names.size()); ++c)
        marks += c == 0 ? "?" : ", ?";
    sqlite3_stmt* insert = file.prepare(QByteArray("INSERT INTO ") + t.table + " (" +
                                        columnList(t) + ") VALUES (" + marks + ")");
    for (int row = 0; row < rows.rowCount(); ++row) {
        sqlite3_reset(insert);
        for (int c = 0; c < int(t.names.size()); ++c) {
            const std::string_view v = rows.text(row, c);
            if (rows.isNull(row, c))
                sqlite3_bind_null(insert, c + 1);
            else if (t.integers.contains(t.names[c]))
                sqlite3_bind_int64(insert, c + 1,
                                   QByteArray(v.data(), qsizetype(v.size())).toLongLong());
            else
                sqlite3_bind_text(insert, c + 1, v.data(), int(v.size()), SQLITE_TRANSIENT);
        }
        if (sqlite3_step(insert) != SQLITE_DONE) {
            const QString message = file.message();
            sqlite3_finalize(insert);
            throw Failure(QStringLiteral("'%1': %2").arg(file.path(), message));
        }
    }
    sqlite3_finalize(insert);
    return rows.rowCount();
}

int copyFileToServer(const QString& source, const QString& target, bool force) {
    if (!QFileInfo(source).isFile())
        return fail(QStringLiteral("cannot copy: '%1' does not exist").arg(source));
    admin::Sqlite file(source, SQLITE_OPEN_READONLY, 0);
    if (!hasTables(file))
        return fail(QStringLiteral("'%1' is not a Korvela database").arg(source));
    // Every cell is looked at before anything reaches the server: a value it would cut or refuse
    // stops the copy with all such cells named, so the file can be mended first.
    file.exec("BEGIN"); // one consistent reading of the file, for the look and the copy
    const QStringList unstorable =
        cellsTheServerCannotStore(file, kCustomers) + cellsTheServerCannotStore(file, kVisits);
    if (!unstorable.isEmpty())
        throw Failure(QStringLiteral("'%1' holds values a server cannot store as they are: %2")
                          .arg(source, unstorable.join(QStringLiteral("; "))));
    Session session;
    session.open(target);
    pgengine::Transaction transaction(session);
    if (!serverHasTables(session)) {
        createOnServer(session);
    } else if (serverRows(session) > 0) {
        if (!force)
            return fail(QStringLiteral("nothing was copied: %1 already holds customers or visits "
                                       "(--force replaces them)")
                            .arg(describe(session)));
        session.exec("DELETE FROM t_servis");
        session.exec("DELETE FROM t_musteri");
    }
    const int customers = copyTableToServer(file, session, kCustomers);
    const int visits = copyTableToServer(file, session, kVisits);
    file.exec("COMMIT");
    transaction.commit();
    print(QStringLiteral("copied %1 customers and %2 visits from '%3' to %4")
              .arg(customers)
              .arg(visits)
              .arg(source, describe(session)));
    return 0;
}

int copyServerToFile(const QString& source, const QString& target, bool force) {
    Session session;
    session.open(source);
    if (!serverHasTables(session))
        return fail(QStringLiteral("%1 has no Korvela tables").arg(describe(session)));
    const bool created = !QFileInfo::exists(target);
    int customers = 0, visits = 0;
    try {
        admin::Sqlite file(target, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, 0);
        file.exec("BEGIN IMMEDIATE");
        if (created) {
            file.exec(data::schemaSql());
        } else if (!hasTables(file)) {
            throw Failure(QStringLiteral("'%1' is not a Korvela database").arg(target));
        } else if (file.integer("SELECT (SELECT count(*) FROM t_musteri) + "
                                "(SELECT count(*) FROM t_servis)") > 0) {
            if (!force)
                throw Failure(QStringLiteral("'%1' already holds customers or visits (--force "
                                             "replaces them)")
                                  .arg(target));
            file.exec("DELETE FROM t_servis; DELETE FROM t_musteri; DELETE FROM sqlite_sequence "
                      "WHERE name IN ('t_musteri', 't_servis')");
        }
        // One consistent reading of the server: both tables as of one moment.
        session.exec("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        customers = copyTableToFile(session, file, kCustomers);
        visits = copyTableToFile(session, file, kVisits);
        session.exec("COMMIT");
        file.exec("COMMIT");
    } catch (...) {
        if (created)
            QFile::remove(target); // never leave a half-made database behind
        throw;
    }
    print(QStringLiteral("copied %1 customers and %2 visits from %3 to '%4'")
              .arg(customers)
              .arg(visits)
              .arg(describe(session), target));
    return 0;
}

int usage() {
    std::fprintf(stderr, "usage: korvela-admin create CONNECTION [--keep]\n"
                         "       korvela-admin copy SOURCE TARGET [--force]\n"
                         "CONNECTION is a libpq connection string (\"host=... dbname=...\" or "
                         "\"postgresql://...\"); copy takes one database file and one server\n");
    return 2;
}

int create(const QStringList& args) {
    QString target;
    bool keep = false;
    for (int i = 2; i < args.size(); ++i) {
        if (args[i] == "--keep")
            keep = true;
        else if (args[i] == "--demo")
            return fail(QStringLiteral("--demo makes database files; copy a demo file to the "
                                       "server instead (korvela-admin copy FILE CONNECTION)"));
        else if (target.isEmpty() && !args[i].startsWith("--"))
            target = args[i];
        else
            return usage();
    }
    Session session;
    session.open(target);
    pgengine::Transaction transaction(session);
    if (serverHasTables(session)) {
        if (keep) {
            print(QStringLiteral("kept the existing tables of %1").arg(describe(session)));
            return 0;
        }
        return fail(QStringLiteral("%1 already has the Korvela tables (--keep leaves them as "
                                   "they are)")
                        .arg(describe(session)));
    }
    createOnServer(session);
    transaction.commit();
    print(QStringLiteral("created the empty tables in %1").arg(describe(session)));
    return 0;
}

int copy(const QStringList& args) {
    QStringList places;
    bool force = false;
    for (int i = 2; i < args.size(); ++i) {
        if (args[i] == "--force")
            force = true;
        else if (!args[i].startsWith("--"))
            places << args[i];
        else
            return usage();
    }
    if (places.size() != 2)
        return usage();
    const bool fromServer = isServerTarget(places[0]);
    const bool toServer = isServerTarget(places[1]);
    if (fromServer == toServer)
        return fail(QStringLiteral("copy takes one database file and one server"));
    return toServer ? copyFileToServer(places[0], places[1], force)
                    : copyServerToFile(places[0], places[1], force);
}

} // namespace

// A key=value string counts only when libpq accepts every keyword, so a file named "a=b.mdb"
// stays a file.
bool isServerTarget(const QString& target) {
    if (target.startsWith(QLatin1String("postgresql://")) ||
        target.startsWith(QLatin1String("postgres://")))
        return true;
    if (!target.contains('='))
        return false;
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(target.toUtf8().constData(), &error);
    PQfreemem(error);
    PQconninfoFree(options);
    return options != nullptr;
}

int upgrade(const QString& connection) {
    try {
        Session session;
        session.open(connection);
        pgengine::Transaction transaction(session);
        if (!serverHasTables(session))
            return fail(QStringLiteral("%1 has no Korvela tables (korvela-admin create makes them)")
                            .arg(describe(session)));
        if (session.exec(pgengine::kHasChangeLogSql).text(0, 0) == "t") {
            print(QStringLiteral("%1 is already up to date").arg(describe(session)));
            return 0;
        }
        for (const QByteArray& statement : pgengine::serverChangeLogStatements())
            session.exec(statement);
        // Programs that have the database open read the new log from the start, at the commit.
        session.exec("SELECT pg_notify($1, '')", {QByteArray(pgengine::kChangeChannel)});
        transaction.commit();
        print(QStringLiteral("upgraded %1: changes now show on every workstation at once")
                  .arg(describe(session)));
        return 0;
    } catch (const ServerError& e) {
        return fail(QStringLiteral("cannot upgrade: %1; nothing was changed").arg(e.message()));
    }
}

int run(const QStringList& args) {
    if (args.size() < 2)
        return -1;
    const bool copying = args[1] == "copy";
    bool serverCreate = false;
    if (args[1] == "create")
        for (int i = 2; i < args.size(); ++i)
            serverCreate = serverCreate || (!args[i].startsWith("--") && isServerTarget(args[i]));
    if (!copying && !serverCreate)
        return -1;
    try {
        return copying ? copy(args) : serveradmin::create(args);
    } catch (const ServerError& e) {
        return fail(copying ? QStringLiteral("nothing was copied: %1").arg(e.message())
                            : e.message());
    } catch (const Failure& e) {
        return fail(copying ? QStringLiteral("nothing was copied: %1").arg(e.what())
                            : QString::fromUtf8(e.what()));
    }
}

} // namespace serveradmin
