// Recognising an Access (Jet) "Korvela.mdb" and the message that points to its conversion.
#include "data/AccessFile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace data {

namespace {

// The path as a shell word: bare when it holds only safe characters, else in single quotes.
QString shellWord(const QString& path) {
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_./+:,=@%-]+$"));
    if (safe.match(path).hasMatch())
        return path;
    QString quoted = path;
    quoted.replace('\'', QStringLiteral("'\\''"));
    return '\'' + quoted + '\'';
}

} // namespace

bool isAccessFile(const QString& path) {
    // Only a regular file (or a link to one) is read: opening a FIFO would wait for a writer.
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray signature = file.read(20).mid(4);
    return signature == QByteArray("Standard Jet DB\0", 16) ||
           signature == QByteArray("Standard ACE DB\0", 16);
}

QString accessFileMessage(const QString& path) {
    // The command is not the last line: the error box ends its text with a full stop.
    return QStringLiteral("'%1' bir Access veritabanı dosyası; Korvela Takip onu doğrudan "
                          "açamaz.\nProgramı kapatıp dosyayı şu komutla dönüştürün:\n\n"
                          "korvela-admin import --in-place %2\n\n"
                          "Eski Access dosyası aynı klasörde yeni bir adla saklanır")
        .arg(path, shellWord(path));
}

} // namespace data
