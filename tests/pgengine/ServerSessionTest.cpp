// The libpq session: error texts, parameters, transactions, timeouts, a server that goes away.
#include "pgengine/PgError.h"
#include "pgengine/PgSession.h"
#include "tests/pgengine/ServerTestSupport.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <functional>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using pgengine::ServerError;
using pgengine::Session;
using pgengine::Transaction;
using servertest::errorOf;
using servertest::kLostSentence;

namespace {

QString text(const pgengine::Result& r, int row = 0, int column = 0) {
    const std::string_view t = r.text(row, column);
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

// The Turkish sentences in front of the server's common failures (and the file's: see the
// cursor engine's tests), each followed by "Ayrıntı: " and the engine's own text.
const QString kUnreachable = QStringLiteral(
    "Veritabanı sunucusuna bağlanılamadı. Sunucunun açık olduğunu, ağ bağlantısını ve "
    "Korvela.ini'deki sunucu bilgilerini denetleyin. Ayrıntı: ");
const QString kPassword = QStringLiteral(
    "Veritabanı sunucusu parolayı kabul etmedi. Kullanıcı adını ve .pgpass dosyasındaki parolayı "
    "denetleyin ya da yöneticinize başvurun. Ayrıntı: ");
const QString kBusy = QStringLiteral("Veritabanı sunucusu meşgul ya da kayıt başka bir "
                                     "bilgisayarda kilitli. Birkaç saniye bekleyip yeniden "
                                     "deneyin. Ayrıntı: ");
const QString kReadOnly =
    QStringLiteral("Veritabanı sunucusu şu anda yalnızca okumaya açık; değişiklik saklanmadı. "
                   "Sunucunun yöneticisine başvurun. Ayrıntı: ");

} // namespace

TEST(ServerSession, RefusedConnectionGivesPostgresMessageOnOneLine) {
    Session s;
    const ServerError e = errorOf([&] { s.open("host=127.0.0.1 port=1"); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_EQ(e.message(), kUnreachable + e.engineText());
    EXPECT_TRUE(e.engineText().startsWith(
        R"(connection to server at "127.0.0.1", port 1 failed: Connection refused)"))
        << e.message().toStdString();
    EXPECT_FALSE(e.message().contains('\n'));
    EXPECT_FALSE(e.message().endsWith('.'));
    EXPECT_FALSE(s.isOpen());
    // libpq's hint on a line of its own reads as a sentence of its own.
    EXPECT_TRUE(e.message().endsWith(
        "failed: Connection refused. Is the server running on that host and accepting TCP/IP "
        "connections?"))
        << e.message().toStdString();
}

// A password the server refuses, or none where one is needed, says so (not "cannot connect").
TEST(ServerSession, ARefusedPasswordIsSaidAsSuch) {
    Session s;
    ServerError e =
        errorOf([&] { s.open(servertest::connectionString() + " host=localhost password=wrong"); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_EQ(e.message(), kPassword + e.engineText());
    EXPECT_TRUE(e.engineText().endsWith(R"(password authentication failed for user "postgres")"))
        << e.message().toStdString();

    const QByteArray password = qgetenv("PGPASSWORD");
    qunsetenv("PGPASSWORD");
    e = errorOf(
        [&] { s.open(servertest::connectionString() + " host=localhost passfile=/nonexistent"); });
    qputenv("PGPASSWORD", password);
    EXPECT_EQ(e.message(), kPassword + e.engineText());
    EXPECT_TRUE(e.engineText().endsWith("fe_sendauth: no password supplied"))
        << e.message().toStdString();
}

// A row another session holds, and a server that takes no writes: the server's refusal with the
// sentence in front. A refusal of another kind stays the server's text alone.
TEST(ServerSession, BusyAndReadOnlyRefusalsSayWhatToDo) {
    servertest::resetTables();
    servertest::exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    Session holder;
    holder.open(servertest::connectionString());
    Transaction held(holder);
    holder.exec("UPDATE t_musteri SET f_adi = 'Veli'");

    Session s;
    s.open(servertest::connectionString() + " options='-c lock_timeout=200'");
    ServerError e = errorOf([&] { s.exec("UPDATE t_musteri SET f_adi = 'Ayşe'"); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_EQ(e.message(), kBusy + "canceling statement due to lock timeout");
    EXPECT_EQ(e.engineText(), "canceling statement due to lock timeout");

    s.exec("SET default_transaction_read_only = on");
    e = errorOf([&] { s.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ayşe')"); });
    EXPECT_EQ(e.message(), kReadOnly + "cannot execute INSERT in a read-only transaction");
    EXPECT_EQ(e.diagnostics().sqlState, "25006");

    e = errorOf([&] { s.exec("SELECT 1/0"); });
    EXPECT_EQ(e.message(), "division by zero");
}

TEST(ServerSession, MessagesAreCleanedToOneLine) {
    EXPECT_EQ(ServerError::clean("a\n\tb  c.\n"), "a b c");
    EXPECT_EQ(ServerError::clean("failed: Connection refused\n\tIs the server up?\n"),
              "failed: Connection refused. Is the server up?");
    EXPECT_EQ(ServerError::clean("value too long.\n"), "value too long");
    EXPECT_EQ(ServerError::clean("syntax error at end of input\nLINE 1: select\n"),
              "syntax error at end of input. LINE 1: select");
    EXPECT_EQ(ServerError::clean(""), "");
}

TEST(ServerSession, UnknownDatabaseNamesIt) {
    Session s;
    const ServerError e = errorOf([&] { s.open("dbname=no_such_shop"); });
    EXPECT_TRUE(e.message().endsWith(R"(database "no_such_shop" does not exist)"))
        << e.message().toStdString();
}

// A port that takes connections and never answers (a hung server): the connect timeout ends the
// wait, the one the string gives or else the default of 10 s.
TEST(ServerSession, ConnectTimeoutEndsTheWait) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const QString target =
        QStringLiteral("host=127.0.0.1 port=%1 sslmode=disable").arg(ntohs(address.sin_port));
    for (const auto& [extra, seconds] : {std::pair{" connect_timeout=2", 2}, {"", 10}}) {
        Session s;
        QElapsedTimer timer;
        timer.start();
        const ServerError e = errorOf([&] { s.open(target + extra); });
        EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
        EXPECT_TRUE(e.message().contains("timeout expired")) << e.message().toStdString();
        EXPECT_GE(timer.elapsed(), seconds * 1000 - 100);
        EXPECT_LT(timer.elapsed(), seconds * 1000 + 3000);
    }
    close(listener);
}

TEST(ServerSession, DefaultsAndSettingsOfANewSession) {
    Session s;
    s.open(servertest::connectionString());
    EXPECT_EQ(text(s.exec("SHOW statement_timeout")), "30s");
    EXPECT_EQ(text(s.exec("SHOW DateStyle")), "ISO, YMD");
    EXPECT_EQ(text(s.exec("SHOW client_encoding")), "UTF8");
    // A statement timeout the connection string gives is kept.
    Session t;
    t.open(servertest::connectionString() + " options='-c statement_timeout=5s'");
    EXPECT_EQ(text(t.exec("SHOW statement_timeout")), "5s");
}

TEST(ServerSession, StatementErrorKeepsTheSessionUsable) {
    Session s;
    s.open(servertest::connectionString());
    const ServerError e = errorOf([&] { s.exec("SELECT * FROM no_such_table"); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_EQ(e.message(), R"(relation "no_such_table" does not exist)");
    EXPECT_EQ(text(s.exec("SELECT 1 + 1")), "2");
}

TEST(ServerSession, AStatementWithoutTextIsRefusedWithAText) {
    Session s;
    s.open(servertest::connectionString());
    for (const char* sql : {"", "  ", ";", "-- nothing"}) {
        const ServerError e = errorOf([&] { s.exec(sql); });
        EXPECT_EQ(e.kind(), ServerError::Kind::Statement) << sql;
        EXPECT_EQ(e.message(), "Command text was not set for the command object") << sql;
    }
    EXPECT_EQ(text(s.exec("SELECT 1 + 1")), "2");
}

TEST(ServerSession, StatementTimeoutCancelsALongStatement) {
    Session s;
    s.open(servertest::connectionString() + " options='-c statement_timeout=200'");
    const ServerError e = errorOf([&] { s.exec("SELECT pg_sleep(5)"); });
    EXPECT_EQ(e.message(), kBusy + "canceling statement due to statement timeout");
}

// Values travel as parameters, so quotes, backslashes and statement text stay data.
TEST(ServerSession, ParametersAreNeverPartOfTheStatement) {
    Session s;
    s.open(servertest::connectionString());
    const QByteArray nasty = "O'Neil \\\" ); DROP TABLE x; -- \r\n\tİğüşöç";
    const pgengine::Result r = s.exec("SELECT $1::text, $2::text IS NULL", {nasty, std::nullopt});
    EXPECT_EQ(text(r, 0, 0).toUtf8(), nasty);
    EXPECT_EQ(text(r, 0, 1), "t");
}

TEST(ServerSession, UncommittedTransactionRollsBack) {
    servertest::resetTables();
    Session s;
    s.open(servertest::connectionString());
    {
        Transaction t(s);
        s.exec("INSERT INTO t_musteri (f_adi) VALUES ($1)", {QByteArray("Ali")});
        EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_musteri"), "0"); // not yet visible
    }
    EXPECT_FALSE(s.inTransaction());
    EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_musteri"), "0");
    {
        Transaction t(s);
        s.exec("INSERT INTO t_musteri (f_adi) VALUES ($1)", {QByteArray("Veli")});
        {
            Transaction inner(s); // a savepoint: its failure leaves the outer work intact
            EXPECT_THROW(s.exec("INSERT INTO t_servis (id_musteri) VALUES (999)"), ServerError);
        }
        t.commit();
    }
    EXPECT_EQ(servertest::scalar("SELECT f_adi FROM t_musteri"), "Veli");
    EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_servis"), "0");
}

// The server stopped while a session is open: a clear error (no wait), every try while it is
// down fails the same way, and once it is back the next statement reconnects.
TEST(ServerSession, ServerStoppedAndStartedReconnectsOnTheNextStatement) {
    Session s;
    s.open(servertest::connectionString());
    EXPECT_EQ(text(s.exec("SELECT 1")), "1");
    const int generation = s.generation();
    servertest::cluster("stop");
    QElapsedTimer timer;
    timer.start();
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ServerError e =
            errorOf([&] { s.exec("SELECT 2", {}, Session::Repeat::IfLostBeforeStart); });
        EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
        EXPECT_TRUE(e.message().startsWith(kLostSentence +
                                           "The connection to the database server was lost: "))
            << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("Connection refused")) << e.message().toStdString();
    }
    EXPECT_LT(timer.elapsed(), 5000);
    servertest::cluster("start");
    EXPECT_EQ(text(s.exec("SELECT 3")), "3");
    EXPECT_GT(s.generation(), generation);
}

// A restart between two commands: a read goes again on a fresh connection without an error; a
// write that is not repeatable reports the loss, and the next one works.
TEST(ServerSession, RestartBetweenCommands) {
    servertest::resetTables();
    Session s;
    s.open(servertest::connectionString());
    EXPECT_EQ(text(s.exec("SELECT 1")), "1");
    servertest::cluster("restart");
    EXPECT_EQ(text(s.exec("SELECT 2", {}, Session::Repeat::IfLostBeforeStart)), "2");

    servertest::cluster("restart");
    const ServerError e =
        errorOf([&] { s.exec("INSERT INTO t_musteri (f_adi) VALUES ($1)", {QByteArray("A")}); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_musteri"), "0");
    s.exec("INSERT INTO t_musteri (f_adi) VALUES ($1)", {QByteArray("B")});
    EXPECT_EQ(servertest::scalar("SELECT f_adi FROM t_musteri"), "B");

    // A transaction's start is repeatable: the restart is not seen.
    servertest::cluster("restart");
    {
        Transaction t(s);
        s.exec("INSERT INTO t_musteri (f_adi) VALUES ($1)", {QByteArray("C")});
        t.commit();
    }
    EXPECT_EQ(servertest::scalar("SELECT count(*) FROM t_musteri"), "2");
}
