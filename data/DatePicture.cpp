// The date and time picture reader, today's date and the two-digit-year rule.
#include "data/DatePicture.h"

#include <QLocale>

namespace data {

namespace {

QString twoDigits(int v) {
    return QString::number(v).rightJustified(2, '0');
}

} // namespace

TDatePicture::TDatePicture(const QString& picture, const core::FormatSettings& fs) {
    twelveHour_ = picture.contains(QStringLiteral("am/pm"), Qt::CaseInsensitive) ||
                  picture.contains(QStringLiteral("a/p"), Qt::CaseInsensitive);
    auto literal = [&](const QString& s) {
        if (!tokens_.empty() && tokens_.back().kind == TDatePart::Literal)
            tokens_.back().text += s;
        else
            tokens_.push_back({TDatePart::Literal, s, 0});
    };
    bool afterHour = false; // "m" right after an hour means minutes
    for (int i = 0; i < picture.size();) {
        const QChar c = picture[i];
        const QChar lower = c.toLower();
        if (c == '"' || c == '\'') {
            int end = int(picture.indexOf(c, i + 1));
            if (end < 0)
                end = int(picture.size());
            literal(picture.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        if (c == '/') {
            literal(QString(fs.dateSeparator));
            ++i;
            continue;
        }
        if (c == ':') {
            literal(QString(fs.timeSeparator));
            ++i;
            continue;
        }
        if (lower == 'a') {
            const int n =
                picture.mid(i, 5).compare(QStringLiteral("am/pm"), Qt::CaseInsensitive) == 0 ? 5
                : picture.mid(i, 3).compare(QStringLiteral("a/p"), Qt::CaseInsensitive) == 0 ? 3
                                                                                             : 0;
            if (n > 0) {
                tokens_.push_back({TDatePart::AmPm, picture.mid(i, n), n});
                i += n;
                continue;
            }
        }
        if (!QStringLiteral("dmyhnsz").contains(lower)) {
            literal(QString(c));
            ++i;
            continue;
        }
        int n = 1;
        while (i + n < picture.size() && picture[i + n].toLower() == lower)
            ++n;
        TPictureToken t{TDatePart::Literal, picture.mid(i, n), n};
        switch (lower.unicode()) {
        case 'd':
            t.kind = n <= 2 ? TDatePart::Day : TDatePart::DayName;
            break;
        case 'm':
            t.kind =
                n <= 2 ? (afterHour ? TDatePart::Minute : TDatePart::Month) : TDatePart::MonthName;
            break;
        case 'y':
            t.kind = TDatePart::Year;
            break;
        case 'h':
            t.kind = TDatePart::Hour;
            break;
        case 'n':
            t.kind = TDatePart::Minute;
            break;
        case 's':
            t.kind = TDatePart::Second;
            break;
        default:
            t.kind = TDatePart::Millisecond;
            break;
        }
        afterHour = t.kind == TDatePart::Hour;
        tokens_.push_back(t);
        i += n;
    }
}

bool TDatePicture::hasDate() const {
    for (const TPictureToken& t : tokens_)
        if (t.kind == TDatePart::Day || t.kind == TDatePart::Month || t.kind == TDatePart::Year)
            return true;
    return false;
}

bool TDatePicture::hasTime() const {
    for (const TPictureToken& t : tokens_)
        if (t.kind == TDatePart::Hour || t.kind == TDatePart::Minute || t.kind == TDatePart::Second)
            return true;
    return false;
}

QString TDatePicture::format(const TPictureToken& t, const QDateTime& value) const {
    const QDate date = value.date();
    const QTime time = value.time();
    const QLocale names = QLocale::c();
    auto number = [&](int v) { return t.count == 1 ? QString::number(v) : twoDigits(v); };
    switch (t.kind) {
    case TDatePart::Literal:
        return t.text;
    case TDatePart::Day:
        return number(date.day());
    case TDatePart::DayName:
        return names.dayName(date.dayOfWeek(),
                             t.count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
    case TDatePart::Month:
        return number(date.month());
    case TDatePart::MonthName:
        return names.monthName(date.month(),
                               t.count == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
    case TDatePart::Year:
        return t.count <= 2 ? twoDigits(date.year() % 100)
                            : QString::number(date.year()).rightJustified(4, '0');
    case TDatePart::Hour: {
        int hour = time.hour();
        if (twelveHour_) {
            hour %= 12;
            if (hour == 0)
                hour = 12;
        }
        return number(hour);
    }
    case TDatePart::Minute:
        return number(time.minute());
    case TDatePart::Second:
        return number(time.second());
    case TDatePart::Millisecond:
        return t.count < 3 ? QString::number(time.msec())
                           : QString::number(time.msec()).rightJustified(3, '0');
    case TDatePart::AmPm:
        if (t.count == 5)
            return time.hour() < 12 ? QStringLiteral("am") : QStringLiteral("pm");
        return time.hour() < 12 ? QStringLiteral("a") : QStringLiteral("p");
    }
    return {};
}

QString TDatePicture::format(const QDateTime& value) const {
    QString out;
    for (const TPictureToken& t : tokens_)
        out += format(t, value);
    return out;
}

TDatePicture::Order TDatePicture::dateOrder() const {
    for (const TPictureToken& t : tokens_) {
        if (t.kind == TDatePart::Year)
            return Order::YMD;
        if (t.kind == TDatePart::Month || t.kind == TDatePart::MonthName)
            return Order::MDY;
        if (t.kind == TDatePart::Day || t.kind == TDatePart::DayName)
            return Order::DMY;
    }
    return Order::DMY;
}

QDate today() {
    const QDate* pinned = TTodayOverride::current();
    return pinned ? *pinned : QDate::currentDate();
}

int expandYear(int year, int digits, QDate currentDate) {
    if (digits > 2)
        return year;
    const int base = currentDate.year() - 50;
    int y = year + base / 100 * 100;
    if (y < base)
        y += 100;
    return y;
}

std::optional<QDate> dateFromParts(int year, int month, int day) {
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return std::nullopt;
    return QDate(year, month, day);
}

QString invalidDateTimeMessage(const QString& text) {
    return QStringLiteral("'%1' is not a valid date and time").arg(text);
}

} // namespace data
