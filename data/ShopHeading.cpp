// The shop's heading read from the settings file's [Shop] section.
#include "data/ShopHeading.h"

#include "core/Errors.h"
#include "data/Connection.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace data {

TShopHeading shopHeading(const QString& applicationDirectory) {
    const QString path = applicationDirectory + QLatin1String(kSettingsFileName);
    if (!QFileInfo(path).isFile())
        return {};
    // QSettings reads an unreadable file as an empty one: say so instead.
    if (QFile file(path); !file.open(QIODevice::ReadOnly))
        throw core::EOleException(
            QStringLiteral("Could not read '%1': %2").arg(path, file.errorString()));
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() == QSettings::FormatError)
        throw core::EOleException(
            QStringLiteral("'%1': the settings file cannot be read as sections and values")
                .arg(path));
    settings.beginGroup(QStringLiteral("Shop"));
    const auto text = [&settings](const char* key) {
        const QVariant v = settings.value(QLatin1String(key));
        if (v.typeId() == QMetaType::QStringList)
            return v.toStringList().join(QStringLiteral(", "));
        return v.toString().trimmed();
    };
    return TShopHeading{text("Name"), text("Address"), text("Phone"), text("TaxOffice"),
                        text("TaxNumber")};
}

} // namespace data
