// TConnection: opening and closing the engine connection; the program's connection string.
#include "data/Connection.h"

#include "core/Errors.h"
#include "data/AccessFile.h"
#include "data/SchemaUpgrade.h"

namespace data {

void TConnection::setConnected(bool on) {
    if (on == connected())
        return;
    if (!on) {
        engine_.close();
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
        if (schemaNeedsUpgrade(engine_.handle()))
            throw EOleException(upgradeNeededMessage(engine_.path()));
    } catch (...) {
        engine_.close();
        throw;
    }
}

QString korvelaConnectionString(const QString& applicationDirectory) {
    QString source = applicationDirectory + QLatin1String(kDatabaseFileName);
    // Unquoted, a ";" in the directory would end the Data Source value early.
    if (source.contains(';'))
        source = '"' + source + '"';
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + source +
           QStringLiteral(";Persist Security Info=False");
}

} // namespace data
