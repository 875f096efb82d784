// Date-time text of the database file: ISO-8601 "YYYY-MM-DD HH:MM:SS", naive (no time zone).
#include "engine/CursorValue.h"

namespace cursor {

namespace {

// Reads exactly n ASCII digits at text[pos]; -1 when they are not all digits.
int digits(const QString& text, int pos, int n) {
    if (pos + n > text.size())
        return -1;
    int v = 0;
    for (int i = 0; i < n; ++i) {
        const char16_t c = text[pos + i].unicode();
        if (c < '0' || c > '9')
            return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

bool allDigits(const QString& text, int pos) {
    for (int i = pos; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return pos < text.size();
}

} // namespace

QString dateTimeToStorage(const QDateTime& dt) {
    return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

// Accepts "YYYY-MM-DD", "YYYY-MM-DD HH:MM", "YYYY-MM-DD HH:MM:SS" (also with "T" between date
// and time, and with fractional seconds, which are dropped).
QDateTime dateTimeFromStorage(const QString& text) {
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0 || text.size() < 10 || text[4] != '-' || text[7] != '-')
        return {};
    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    if (text.size() == 10)
        return QDateTime(date, QTime(0, 0), Qt::UTC);
    if (text.size() < 16 || (text[10] != ' ' && text[10] != 'T') || text[13] != ':')
        return {};
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    int second = 0;
    if (text.size() > 16) {
        if (text.size() < 19 || text[16] != ':')
            return {};
        second = digits(text, 17, 2);
        if (text.size() > 19) {
            if (text[19] != '.' || !allDigits(text, 20))
                return {};
        }
    }
    const QTime time(hour, minute, second);
    if (hour < 0 || minute < 0 || second < 0 || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

} // namespace cursor
