// Regional settings: the Turkish defaults and the values derived from the system locale.
#include "core/RegionalSettings.h"

#include <QLocale>

namespace core {

namespace {

// The locale name the C library would use for a category, or empty.
QString localeName() {
    for (const char* var : {"LC_ALL", "LC_MONETARY", "LC_NUMERIC", "LANG"}) {
        QString v = qEnvironmentVariable(var);
        if (!v.isEmpty())
            return v;
    }
    return {};
}

// A Qt date or time pattern turned into the Windows picture (minutes as "nn").
QString windowsPicture(const QString& qtFormat, bool time) {
    QString out;
    for (int i = 0; i < qtFormat.size(); ++i) {
        QChar c = qtFormat[i];
        if (c == 'M')
            out += time ? 'n' : 'm';
        else if (c == 'm')
            out += 'n';
        else if (c == 'H')
            out += 'h';
        else if (c == 'a' || c == 'A' || c == 'p' || c == 'P' || c == 't')
            continue;
        else if (c == 'd' && i + 2 < qtFormat.size() && qtFormat.mid(i, 3) == "ddd")
            out += c; // day names kept as given
        else
            out += c;
    }
    return out.trimmed();
}

QChar firstSeparator(const QString& picture) {
    for (QChar c : picture)
        if (!c.isLetter())
            return c;
    return '/';
}

} // namespace

FormatSettings turkishFormatSettings() {
    return FormatSettings{};
}

FormatSettings systemFormatSettings() {
    QString name = localeName();
    QString base = name.section('.', 0, 0);
    if (base.isEmpty() || base == "C" || base == "POSIX")
        return turkishFormatSettings();
    QLocale locale(base);
    if (locale.language() == QLocale::C)
        return turkishFormatSettings();
    FormatSettings s;
    s.currencyString = locale.currencySymbol(QLocale::CurrencySymbol);
    s.decimalSeparator = locale.decimalPoint().isEmpty() ? QChar('.') : locale.decimalPoint()[0];
    s.thousandSeparator =
        locale.groupSeparator().isEmpty() ? QChar(',') : locale.groupSeparator()[0];
    s.currencyDecimals = 2;
    // Where the symbol stands: compare the formatted amount with the bare number.
    QString sample = locale.toCurrencyString(1.0);
    bool before = sample.indexOf(s.currencyString) <= sample.indexOf(QLocale(locale).toString(1));
    bool spaced =
        sample.contains(' ') || sample.contains(QChar(0xA0)) || sample.contains(QChar(0x202F));
    s.currencyFormat = before ? (spaced ? 2 : 0) : (spaced ? 3 : 1);
    s.negCurrFormat = before ? (spaced ? 9 : 1) : (spaced ? 8 : 5);
    s.shortDateFormat =
        windowsPicture(locale.dateFormat(QLocale::ShortFormat), false).replace("yyyy", "yyyy");
    if (!s.shortDateFormat.contains("yyyy"))
        s.shortDateFormat.replace("yy", "yyyy");
    s.longTimeFormat =
        windowsPicture(locale.timeFormat(QLocale::LongFormat).section(' ', 0, 0), true);
    s.dateSeparator = firstSeparator(s.shortDateFormat);
    s.timeSeparator = firstSeparator(s.longTimeFormat);
    s.localeName = locale.name();
    s.firstDayOfWeek = locale.firstDayOfWeek();
    return s;
}

const FormatSettings& formatSettings() {
    if (const FormatSettings* installed = RegionalSettings::current())
        return *installed;
    static const FormatSettings system = systemFormatSettings();
    return system;
}

} // namespace core
