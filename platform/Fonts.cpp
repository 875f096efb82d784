// Fonts: loading the bundled Windows fonts and measuring text the way Windows does.
#include "platform/Fonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHash>
#include <QRawFont>
#include <cmath>

namespace platform {

namespace {

const char* kFontDir = "/usr/share/wine/fonts/";

quint16 readU16(const QByteArray& table, int offset) {
    if (offset + 1 >= table.size())
        return 0;
    return quint16((quint8(table[offset]) << 8) | quint8(table[offset + 1]));
}

struct WinMetrics {
    int ascent = 0;
    int height = 0;
};

WinMetrics winMetrics(const QFont& font) {
    static QHash<QString, WinMetrics> cache;
    QString key = font.key();
    auto it = cache.find(key);
    if (it != cache.end())
        return *it;
    WinMetrics m;
    QRawFont raw = QRawFont::fromFont(font);
    QByteArray os2 = raw.fontTable("OS/2");
    QByteArray head = raw.fontTable("head");
    int unitsPerEm = readU16(head, 18);
    int pixel = font.pixelSize() > 0 ? font.pixelSize() : qRound(font.pointSizeF() * 96 / 72);
    if (os2.size() >= 78 && unitsPerEm > 0) {
        double winAscent = readU16(os2, 74), winDescent = readU16(os2, 76);
        m.ascent = int(std::lround(winAscent * pixel / unitsPerEm));
        m.height = m.ascent + int(std::lround(winDescent * pixel / unitsPerEm));
    } else {
        QFontMetrics fm(font);
        m.ascent = fm.ascent();
        m.height = fm.height();
    }
    cache.insert(key, m);
    return m;
}

} // namespace

bool loadFonts() {
    bool ok = true;
    for (const char* file : {"tahoma.ttf", "tahomabd.ttf", "ms_sans_serif.ttf"})
        ok = QFontDatabase::addApplicationFont(QString(kFontDir) + file) >= 0 && ok;
    return ok;
}

QFont makeFont(const QString& family, int pixelHeight, bool bold) {
    QFont f(family);
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    f.setStyleStrategy(QFont::StyleStrategy(QFont::NoAntialias | QFont::PreferMatch));
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setKerning(false);
    return f;
}

int windowsAscent(const QFont& font) {
    return winMetrics(font).ascent;
}

int windowsTextHeight(const QFont& font) {
    return winMetrics(font).height;
}

int textWidth(const QFont& font, const QString& text) {
    return QFontMetrics(font).horizontalAdvance(text);
}

} // namespace platform
