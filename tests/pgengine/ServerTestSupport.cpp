// Server test helpers over a separate session and pg_ctlcluster.
#include "tests/pgengine/ServerTestSupport.h"

#include "pgengine/PgError.h"
#include "pgengine/ServerSchema.h"

#include <QProcess>
#include <gtest/gtest.h>
#include <stdexcept>

namespace servertest {

using pgengine::ServerError;

QString connectionString() {
    return QStringLiteral("dbname=%1").arg(qEnvironmentVariable("PGDATABASE", "postgres"));
}

void resetTables() {
    pgengine::Session s;
    s.open(connectionString());
    s.exec("DROP TABLE IF EXISTS t_servis, t_musteri, t_degisiklik, t_degisiklik_ufuk CASCADE");
    for (const QByteArray& statement : pgengine::serverSchemaStatements())
        s.exec(statement);
}

void dropChangeLog() {
    pgengine::Session s;
    s.open(connectionString());
    // The functions take their triggers with them.
    s.exec("DROP FUNCTION IF EXISTS korvela_musteri_degisti(), korvela_servis_degisti(), "
           "korvela_degisiklik_bosaltildi(), korvela_degisiklik_yazildi() CASCADE");
    s.exec("DROP TABLE IF EXISTS t_degisiklik, t_degisiklik_ufuk");
}

QString scalar(const QByteArray& sql, const std::vector<pgengine::Param>& params) {
    pgengine::Session s;
    s.open(connectionString());
    const pgengine::Result r = s.exec(sql, params);
    if (r.rowCount() == 0)
        return QStringLiteral("<none>");
    if (r.isNull(0, 0))
        return QStringLiteral("<null>");
    const std::string_view t = r.text(0, 0);
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

void exec(const QByteArray& sql, const std::vector<pgengine::Param>& params) {
    pgengine::Session s;
    s.open(connectionString());
    s.exec(sql, params);
}

void cluster(const QString& action) {
    const QStringList args{qEnvironmentVariable("PGVERSION"), QStringLiteral("regress"), action};
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("pg_ctlcluster"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        throw std::runtime_error("pg_ctlcluster " + action.toStdString() +
                                 " failed: " + p.readAll().toStdString());
}

ServerError errorOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const ServerError& e) {
        return e;
    }
    ADD_FAILURE() << "no ServerError";
    return ServerError(ServerError::Kind::Statement, QString());
}

const QString kLostSentence =
    QStringLiteral("Veritabanı sunucusuyla bağlantı koptu. Ağ bağlantısını denetleyip yeniden "
                   "deneyin; program yeniden bağlanır. Ayrıntı: ");

} // namespace servertest
