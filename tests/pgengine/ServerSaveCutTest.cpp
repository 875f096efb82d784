// Saves whose connection is cut exactly at COMMIT: the server is asked what became of them, so a
// stored save counts as done and one that was not counts as failed; only when the server cannot
// be asked does the warning that the outcome is not known remain.
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "pgengine/PgError.h"
#include "pgengine/ServerBackend.h"
#include "tests/pgengine/CutRelay.h"
#include "tests/pgengine/ServerTestSupport.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using pgengine::ServerBackend;
using pgengine::ServerError;
using servertest::CutRelay;
using servertest::errorOf;
using servertest::kLostSentence;

namespace {

const QString kLost = QStringLiteral("The connection to the database server was lost: ");
const QString kNotStoredSentence = QStringLiteral(
    "Değişiklik yazılırken veritabanı sunucusuyla bağlantı koptu; sunucu değişikliğin "
    "saklanmadığını bildirdi. Bağlantı düzelince yeniden deneyin. Ayrıntı: ");
const QString kUnknownSentence = QStringLiteral(
    "Değişiklik yazılırken veritabanı sunucusuyla bağlantı koptu ve saklanıp saklanmadığı "
    "öğrenilemedi. Yeniden kaydetmeden önce kaydın listede olup olmadığına bakın. Ayrıntı: ");
const QString kNotStoredEnd =
    QStringLiteral(" (while saving: the server says the change was not stored)");
const QString kUnknownEnd = QStringLiteral(" (while saving: whether the change was stored is not "
                                           "known; look before saving it again)");

// The customers through the relay, as the program's record set reads and writes them.
class SaveCut : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::resetTables();
        servertest::exec("INSERT INTO t_musteri (f_adi, f_tel) VALUES ('Ahmet', '0532')");
        auto owned = std::make_unique<ServerBackend>(relay.connectionString());
        backend = owned.get();
        connection.open(std::move(owned));
        customers.open(connection, "select * from t_musteri order by id");
    }
    int column(const char* name) const { return customers.findColumn(name); }
    static QString stored(const QByteArray& sql) { return servertest::scalar(sql); }
    // The sessions of the server other than the one asking, by state.
    static QString sessions(const char* state) {
        return stored(QByteArray("SELECT count(*) FROM pg_stat_activity WHERE state = '") + state +
                      "' AND pid <> pg_backend_pid() AND backend_type = 'client backend'");
    }

    CutRelay relay;
    cursor::Connection connection;
    ServerBackend* backend = nullptr;
    cursor::Recordset customers;
};

} // namespace

// The server stored the new customer but its answer never came: the save is done, the new row
// with its generated key is in the view, and nothing is left to save a second time.
TEST_F(SaveCut, AnInsertCutAfterTheServerCommittedIsDone) {
    customers.addNew();
    customers.setValue(column("f_adi"), QString("Veli"));
    relay.arm(CutRelay::Cut::AfterCommit);
    customers.update();
    EXPECT_TRUE(relay.hasCut());
    EXPECT_FALSE(customers.addPending());
    EXPECT_EQ(customers.recordCount(), 2);
    EXPECT_EQ(std::get<QString>(customers.value(column("f_adi"))), "Veli");
    const qint64 key = std::get<qint64>(customers.value(column("id")));
    EXPECT_EQ(stored("SELECT string_agg(id || ':' || f_adi, ',' ORDER BY id) FROM t_musteri"),
              QStringLiteral("1:Ahmet,%1:Veli").arg(key));
    customers.update(); // nothing pending: nothing written twice
    EXPECT_EQ(stored("SELECT count(*) FROM t_musteri"), "2");
}

// The COMMIT never reached the server: the save failed, nothing is stored, the values stay
// pending, and saving again stores them once.
TEST_F(SaveCut, AnInsertCutBeforeTheCommitFailedAndSavingAgainStoresItOnce) {
    customers.addNew();
    customers.setValue(column("f_adi"), QString("Veli"));
    relay.arm(CutRelay::Cut::BeforeCommit);
    const ServerError e = errorOf([&] { customers.update(); });
    EXPECT_TRUE(relay.hasCut());
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_TRUE(e.message().startsWith(kNotStoredSentence + kLost)) << e.message().toStdString();
    EXPECT_TRUE(e.message().endsWith(kNotStoredEnd)) << e.message().toStdString();
    EXPECT_TRUE(customers.addPending());
    EXPECT_EQ(stored("SELECT count(*) FROM t_musteri"), "1");
    customers.update();
    EXPECT_EQ(stored("SELECT string_agg(f_adi, ',' ORDER BY id) FROM t_musteri"), "Ahmet,Veli");
}

TEST_F(SaveCut, AnUpdateIsSettledEitherWay) {
    customers.setValue(column("f_tel"), QString("0533"));
    relay.arm(CutRelay::Cut::BeforeCommit);
    const ServerError e = errorOf([&] { customers.update(); });
    EXPECT_TRUE(e.message().startsWith(kNotStoredSentence)) << e.message().toStdString();
    EXPECT_TRUE(customers.editPending());
    EXPECT_EQ(stored("SELECT f_tel FROM t_musteri"), "0532");

    relay.arm(CutRelay::Cut::AfterCommit);
    customers.update();
    EXPECT_TRUE(relay.hasCut());
    EXPECT_FALSE(customers.editPending());
    EXPECT_EQ(std::get<QString>(customers.value(column("f_tel"))), "0533");
    EXPECT_EQ(stored("SELECT f_tel FROM t_musteri"), "0533");
    // The view holds what was stored, so the next save's optimistic check still holds.
    customers.setValue(column("f_tel"), QString("0534"));
    customers.update();
    EXPECT_EQ(stored("SELECT f_tel FROM t_musteri"), "0534");
}

TEST_F(SaveCut, ADeleteIsSettledEitherWay) {
    relay.arm(CutRelay::Cut::BeforeCommit);
    const ServerError e = errorOf([&] { customers.deleteCurrent(); });
    EXPECT_TRUE(e.message().startsWith(kNotStoredSentence)) << e.message().toStdString();
    EXPECT_EQ(customers.recordCount(), 1);
    EXPECT_EQ(stored("SELECT count(*) FROM t_musteri"), "1");

    relay.arm(CutRelay::Cut::AfterCommit);
    customers.deleteCurrent();
    EXPECT_TRUE(relay.hasCut());
    EXPECT_EQ(customers.recordCount(), 0);
    EXPECT_EQ(stored("SELECT count(*) FROM t_musteri"), "0");
}

// The network went away without a word: the server's session still holds the transaction. After
// a wait it is ended (only that session), which settles the save as not stored and lets go of
// what it held.
TEST_F(SaveCut, ATransactionTheServerStillHoldsIsEndedAndCountsAsNotStored) {
    customers.setValue(column("f_tel"), QString("0533"));
    relay.arm(CutRelay::Cut::Hold);
    QElapsedTimer timer;
    timer.start();
    const ServerError e = errorOf([&] { customers.update(); });
    EXPECT_TRUE(relay.hasCut());
    EXPECT_TRUE(e.message().startsWith(kNotStoredSentence)) << e.message().toStdString();
    EXPECT_GE(timer.elapsed(), 1900);
    EXPECT_LT(timer.elapsed(), 8000);
    EXPECT_EQ(sessions("idle in transaction"), "0");
    // The row is free: another workstation writes it at once.
    pgengine::Session other;
    other.open(servertest::connectionString() + " options='-c lock_timeout=1000'");
    other.exec("UPDATE t_musteri SET f_tel = '0999'");
    EXPECT_EQ(stored("SELECT f_tel FROM t_musteri"), "0999");
}

// When the server cannot be reached after the cut, nobody can say: the warning remains, in
// Turkish first. The server did commit here, which is why the user is told to look.
TEST_F(SaveCut, WhenTheServerCannotBeAskedTheOutcomeIsNotKnown) {
    customers.addNew();
    customers.setValue(column("f_adi"), QString("Veli"));
    relay.arm(CutRelay::Cut::AfterCommit, "COMMIT", true);
    const ServerError e = errorOf([&] { customers.update(); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_TRUE(e.message().startsWith(kUnknownSentence + kLost)) << e.message().toStdString();
    EXPECT_TRUE(e.message().endsWith(kUnknownEnd)) << e.message().toStdString();
    EXPECT_EQ(stored("SELECT count(*) FROM t_musteri"), "2");
    relay.allowConnections();
    EXPECT_EQ(backend->session().exec("SELECT 1").rowCount(), 1);
}

// The server ends the session (FATAL) and libpq has not yet seen the socket close, so it still
// counts the connection good: that is a lost connection too, never the server's bare text. The
// next statement runs on a fresh connection.
TEST_F(SaveCut, AFatalErrorBeforeTheSocketClosesIsALostConnection) {
    pgengine::Session& session = backend->session();
    const int generation = session.generation();
    relay.arm(CutRelay::Cut::Fatal, "SELECT 1");
    const ServerError e = errorOf([&] { session.exec("SELECT 1"); });
    EXPECT_TRUE(relay.hasCut());
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_EQ(e.message(),
              kLostSentence + kLost + "FATAL: terminating connection due to administrator command")
        << e.message().toStdString();
    EXPECT_FALSE(session.connected());
    EXPECT_EQ(session.exec("SELECT 2").rowCount(), 1);
    EXPECT_GT(session.generation(), generation);
}

// The same at COMMIT: the server never got it, so the save was not stored, and the user is told
// so (not the server's bare text, which would hide that the connection went).
TEST_F(SaveCut, AFatalErrorAtCommitIsSettledLikeAnyCut) {
    customers.setValue(column("f_tel"), QString("0533"));
    relay.arm(CutRelay::Cut::Fatal, "COMMIT");
    const ServerError e = errorOf([&] { customers.update(); });
    EXPECT_TRUE(relay.hasCut());
    EXPECT_TRUE(e.message().startsWith(kNotStoredSentence + kLost)) << e.message().toStdString();
    EXPECT_TRUE(customers.editPending());
    EXPECT_EQ(stored("SELECT f_tel FROM t_musteri"), "0532");
    customers.update();
    EXPECT_EQ(stored("SELECT f_tel FROM t_musteri"), "0533");
}
