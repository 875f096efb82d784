// TSettingsFile: reading the lines of the settings file.
#include "data/SettingsFile.h"

#include "core/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

namespace data {

TSettingsFile TSettingsFile::read(const QString& path) {
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw EOleException(
            QStringLiteral("Could not read '%1': %2").arg(path, file.errorString()));
    return parse(QString::fromUtf8(file.readAll()));
}

TSettingsFile TSettingsFile::parse(const QString& text) {
    TSettingsFile settings;
    QString section;
    bool inSection = false;
    for (QString line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(';') || line.startsWith('#'))
            continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            section = line.mid(1, line.size() - 2).trimmed();
            inSection = true;
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals < 0 || !inSection)
            continue;
        QString value = line.mid(equals + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        settings.entries_.push_back({section, line.left(equals).trimmed(), value});
    }
    return settings;
}

QString TSettingsFile::value(const QString& section, const QString& name) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it)
        if (it->section.compare(section, Qt::CaseInsensitive) == 0 &&
            it->name.compare(name, Qt::CaseInsensitive) == 0)
            return it->value.isNull() ? QStringLiteral("") : it->value;
    return {};
}

} // namespace data
