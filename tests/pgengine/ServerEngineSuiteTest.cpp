// The shared cursor engine cases on the server engine, against the throwaway cluster.
#include "pgengine/ServerBackend.h"
#include "pgengine/ServerChangeFeed.h"
#include "pgengine/ServerChangeLog.h"
#include "pgengine/ServerSchema.h"
#include "tests/enginesuite/EngineSuite.h"
#include "tests/pgengine/ServerTestSupport.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// Fresh t_musteri and t_servis on the server, with a session of its own (another workstation).
class ServerStore : public enginesuite::TestStore {
public:
    ServerStore() {
        servertest::resetTables();
        session_.open(servertest::connectionString());
    }

    void open(cursor::Connection& connection) override {
        connection.open(std::make_unique<pgengine::ServerBackend>(servertest::connectionString()));
    }
    void exec(const QString& sql) override { session_.exec(sql.toUtf8()); }
    QString scalar(const QString& sql) override {
        const pgengine::Result r = session_.exec(sql.toUtf8());
        if (r.rowCount() == 0 || r.columnCount() == 0)
            return QStringLiteral("<none>");
        if (r.isNull(0, 0))
            return QStringLiteral("<null>");
        const std::string_view t = r.text(0, 0);
        return QString::fromUtf8(t.data(), qsizetype(t.size()));
    }
    QString storageOf(const QString& table, const QString& column, const QString& where) override {
        return scalar(
            QString("select pg_typeof(%1)::text from %2 where %3").arg(column, table, where));
    }
    QString storageFor(cursor::ColumnType type) const override {
        // Exact decimals, and date-times in whole seconds without a time zone.
        return type == cursor::ColumnType::Currency   ? "numeric"
               : type == cursor::ColumnType::DateTime ? "timestamp without time zone"
                                                      : "<other>";
    }
    void refuseCustomerName(const QString& name, const QString& message) override {
        exec(QString("create or replace function refuse_name() returns trigger language plpgsql "
                     "as $$ begin if new.f_adi = %1 then raise exception %2; end if; "
                     "return new; end $$")
                 .arg(quote(name), quote(message)));
        exec("create trigger no_names before update on t_musteri for each row execute function "
             "refuse_name()");
    }
    QString cascadingVisitReferences() override {
        return scalar("select count(*) from pg_constraint where contype = 'f' and conrelid = "
                      "'t_servis'::regclass and confrelid = 't_musteri'::regclass and "
                      "confdeltype = 'c'");
    }
    QString missingTableText(const QString& table) const override {
        return QString("relation \"%1\" does not exist").arg(table);
    }
    void execByClient(const QString& sql) override {
        QProcess client;
        client.start("psql",
                     {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", servertest::connectionString()});
        client.write(sql.toUtf8() + "\n");
        client.closeWriteChannel();
        if (!client.waitForFinished(60000) || client.exitCode() != 0)
            ADD_FAILURE() << "psql failed on: " << sql.toStdString() << "\n"
                          << client.readAllStandardError().toStdString();
    }
    void dropChangeLog() override { servertest::dropChangeLog(); }
    void installChangeLog() override {
        for (const QByteArray& statement : pgengine::serverChangeLogStatements())
            session_.exec(statement);
    }
    bool feedIsListening(cursor::ChangeFeed& feed) override {
        return dynamic_cast<pgengine::ServerChangeFeed&>(feed).listening();
    }

private:
    pgengine::Session session_;
};

std::unique_ptr<enginesuite::TestStore> newServerDatabase() {
    return std::make_unique<ServerStore>();
}
const enginesuite::EngineKind kServer{"Server", newServerDatabase};

} // namespace

namespace enginesuite {
KORVELA_ENGINE_SUITE(Server, kServer);
} // namespace enginesuite
