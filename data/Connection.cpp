// TConnection: opening the engine a connection string names; the program's connection string.
#include "data/Connection.h"

#include "core/Errors.h"
#include "data/AccessFile.h"
#include "data/SettingsFile.h"
#include "pgengine/PgConnectionString.h"
#include "pgengine/ServerBackend.h"

#include <QFile>
#include <QFileInfo>

namespace data {

namespace {

// A connection-string value, quoted when it holds what would end it early.
QString quotedValue(QString value) {
    if (!value.contains(';') && !value.contains('"') && !value.contains('\'') &&
        value.trimmed() == value)
        return value;
    value.replace('"', QStringLiteral("\"\""));
    return '"' + value + '"';
}

// The Server value of the settings file's [Database] section; empty when there is no settings
// file or it names no server.
QString serverInSettings(const QString& path) {
    const QString server =
        TSettingsFile::read(path).value(QStringLiteral("Database"), QStringLiteral("Server"));
    if (server.isEmpty())
        return {};
    const QString problem = pgengine::connectionStringProblem(server);
    if (!problem.isEmpty())
        throw EOleException(QStringLiteral("'%1': %2").arg(path, problem));
    return server;
}

} // namespace

void TConnection::setConnected(bool on) {
    if (on == connected())
        return;
    if (!on) {
        engine_.close();
        return;
    }
    const QString provider = cursor::Connection::valueOf(connectionString_, "Provider");
    if (provider.compare(QLatin1String(kServerProvider), Qt::CaseInsensitive) == 0) {
        engine_.open(std::make_unique<pgengine::ServerBackend>(
            cursor::Connection::valueOf(connectionString_, "Server")));
        return;
    }
    // A shop's old Access file: say how to convert it instead of only refusing it.
    const QString path = cursor::Connection::dataSourceOf(connectionString_);
    if (isAccessFile(path))
        throw core::EOleException(accessFileMessage(path));
    engine_.open(connectionString_);
    // A file of an earlier build lacks the key that ties visits to customers: it is not opened,
    // and the user is told how to upgrade it.
    try {
        if (engine_.backend().schemaNeedsUpgrade())
            throw EOleException(upgradeNeededMessage(engine_.path()));
    } catch (...) {
        engine_.close();
        throw;
    }
}

QString upgradeNeededMessage(const QString& path) {
    return QStringLiteral("Bu veritabanı dosyası programın eski bir sürümüyle oluşturulmuş: "
                          "'%1'. Servis kayıtlarının müşterilerine bağlı kalması için dosyanın "
                          "yükseltilmesi gerekiyor. Programı kapatıp şu komutu çalıştırın: "
                          "korvela-admin upgrade \"%1\"")
        .arg(path);
}

QString liveRefreshMissingNotice(const QString& target) {
    return QStringLiteral("Diğer bilgisayarlarda yapılan değişiklikler kendiliğinden görünmüyor: "
                          "veritabanı programın eski bir sürümüyle oluşturulmuş. Canlı yenileme "
                          "için şu komutu çalıştırın (program açık kalabilir): korvela-admin "
                          "upgrade \"%1\"")
        .arg(target);
}

QString fileConnectionString(const QString& path) {
    // Unquoted, a ";" in the directory would end the Data Source value early.
    QString source = path;
    if (source.contains(';'))
        source = '"' + source + '"';
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + source +
           QStringLiteral(";Persist Security Info=False");
}

QString serverConnectionString(const QString& libpqConnectionString) {
    return QStringLiteral("Provider=") + QLatin1String(kServerProvider) +
           QStringLiteral(";Server=") + quotedValue(libpqConnectionString);
}

QString korvelaConnectionString(const QString& applicationDirectory) {
    const QString server =
        serverInSettings(applicationDirectory + QLatin1String(kSettingsFileName));
    if (!server.isEmpty())
        return serverConnectionString(server);
    return fileConnectionString(applicationDirectory + QLatin1String(kDatabaseFileName));
}

} // namespace data
