// Field text conversions: decimal digits, currency and fixed patterns, date-time pictures.
#include "data/FieldText.h"
#include "data/DatePicture.h"

#include <cmath>

namespace data::fieldtext {

namespace {

using core::FormatSettings;

// A decimal number as digits: value = 0.digits × 10^exponent (digits without leading zeros,
// empty for zero).
struct Decimal {
    bool negative = false;
    QString digits;
    int exponent = 0;

    // Rounds half away from zero so that at most `keep` digits remain (keep may be <= 0).
    void roundDigits(int keep) {
        if (keep >= digits.size())
            return;
        if (keep < 0) {
            digits.clear();
            return;
        }
        const bool up = digits[keep].unicode() >= '5';
        digits.truncate(keep);
        if (up) {
            int i = keep - 1;
            while (i >= 0 && digits[i] == '9') {
                digits[i] = '0';
                --i;
            }
            if (i < 0) {
                digits.prepend('1');
                ++exponent;
            } else {
                digits[i] = QChar(digits[i].unicode() + 1);
            }
        }
        normalize();
    }
    void normalize() {
        while (!digits.isEmpty() && digits.back() == '0')
            digits.chop(1);
        while (!digits.isEmpty() && digits.front() == '0') {
            digits.remove(0, 1);
            --exponent;
        }
        if (digits.isEmpty()) {
            negative = false;
            exponent = 0;
        }
    }
    // Rounded to `decimals` places. With maxSignificant the value is first cut to that many
    // significant digits and only then to the places: a double's 17-digit form of 1.005 is
    // 1.00499999999999989, which must show the same cents as the amount 1.005 itself.
    void roundTo(int decimals, int maxSignificant = 0) {
        if (maxSignificant > 0)
            roundDigits(maxSignificant);
        roundDigits(exponent + decimals);
    }
    QString integerPart() const {
        if (exponent <= 0 || digits.isEmpty())
            return QStringLiteral("0");
        QString s = digits.left(exponent);
        if (s.size() < exponent)
            s += QString(exponent - s.size(), '0');
        return s;
    }
    QString fractionPart(int decimals) const {
        QString s;
        for (int i = 0; i < decimals; ++i) {
            const int pos = exponent + i;
            s += pos >= 0 && pos < digits.size() ? digits[pos] : QChar('0');
        }
        return s;
    }
    // All significant fraction digits.
    QString fractionDigits() const {
        const int count = int(digits.size()) - exponent;
        return count > 0 ? fractionPart(count) : QString();
    }
};

Decimal fromMoney(Money amount) {
    Decimal d;
    d.negative = amount.raw < 0;
    const std::uint64_t m =
        amount.raw < 0 ? std::uint64_t(0) - std::uint64_t(amount.raw) : std::uint64_t(amount.raw);
    d.digits = QString::number(m);
    d.exponent = int(d.digits.size()) - 4;
    d.normalize();
    return d;
}

// Exact enough for any double: 17 significant digits identify it.
Decimal fromDouble(double value) {
    Decimal d;
    d.negative = std::signbit(value);
    const QString e = QString::number(std::fabs(value), 'e', 16); // "d.dddddddddddddddde+XX"
    const int ePos = e.indexOf('e');
    d.digits = e.left(1) + e.mid(2, ePos - 2);
    d.exponent = e.mid(ePos + 1).toInt() + 1;
    d.normalize();
    return d;
}

QString grouped(const QString& integer, QChar separator) {
    QString out;
    const int n = integer.size();
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += separator;
        out += integer[i];
    }
    return out;
}

QString currencyFromDecimal(Decimal d, const FormatSettings& fs, int maxSignificant) {
    const int decimals = std::max(0, fs.currencyDecimals);
    d.roundTo(decimals, maxSignificant);
    QString n = grouped(d.integerPart(), fs.thousandSeparator);
    if (decimals > 0)
        n += fs.decimalSeparator + d.fractionPart(decimals);
    const QString& s = fs.currencyString;
    if (!d.negative) {
        switch (fs.currencyFormat) {
        case 0:
            return s + n;
        case 1:
            return n + s;
        case 2:
            return s + ' ' + n;
        default:
            return n + ' ' + s;
        }
    }
    switch (fs.negCurrFormat) {
    case 0:
        return '(' + s + n + ')';
    case 1:
        return '-' + s + n;
    case 2:
        return s + '-' + n;
    case 3:
        return s + n + '-';
    case 4:
        return '(' + n + s + ')';
    case 5:
        return '-' + n + s;
    case 6:
        return n + '-' + s;
    case 7:
        return n + s + '-';
    case 8:
        return '-' + n + ' ' + s;
    case 9:
        return '-' + s + ' ' + n;
    case 10:
        return n + ' ' + s + '-';
    case 11:
        return s + ' ' + n + '-';
    case 12:
        return s + ' ' + '-' + n;
    case 13:
        return n + '-' + ' ' + s;
    case 14:
        return '(' + s + ' ' + n + ')';
    default:
        return '(' + n + ' ' + s + ')';
    }
}

QString fixedFromDecimal(Decimal d, const FormatSettings& fs, int maxSignificant) {
    const int decimals = std::max(0, fs.currencyDecimals);
    d.roundTo(decimals, maxSignificant);
    QString n = d.integerPart();
    if (decimals > 0)
        n += fs.decimalSeparator + d.fractionPart(decimals);
    return d.negative ? '-' + n : n;
}

std::optional<QString> nonFinite(double value) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    return std::nullopt;
}

} // namespace

QString currencyText(Money amount, const FormatSettings& fs) {
    return currencyFromDecimal(fromMoney(amount), fs, 0);
}

QString currencyText(double amount, const FormatSettings& fs) {
    if (auto s = nonFinite(amount))
        return *s;
    return currencyFromDecimal(fromDouble(amount), fs, 15);
}

QString fixedText(Money amount, const FormatSettings& fs) {
    return fixedFromDecimal(fromMoney(amount), fs, 0);
}

QString fixedText(double amount, const FormatSettings& fs) {
    if (auto s = nonFinite(amount))
        return *s;
    return fixedFromDecimal(fromDouble(amount), fs, 15);
}

QString plainText(Money amount, QChar decimalSeparator) {
    const Decimal d = fromMoney(amount);
    QString s = d.integerPart();
    const QString fraction = d.fractionDigits();
    if (!fraction.isEmpty())
        s += decimalSeparator + fraction;
    return d.negative ? '-' + s : s;
}

QString plainText(double amount, QChar decimalSeparator) {
    if (auto s = nonFinite(amount))
        return *s;
    Decimal d = fromDouble(amount);
    d.roundDigits(15);
    if (d.digits.isEmpty())
        return QStringLiteral("0");
    QString s;
    if (d.exponent > 15 || d.exponent < -4) {
        // Scientific form: one digit before the separator.
        s = d.digits.left(1);
        if (d.digits.size() > 1)
            s += decimalSeparator + d.digits.mid(1);
        const int e = d.exponent - 1;
        s += (e < 0 ? QStringLiteral("E-") : QStringLiteral("E")) + QString::number(std::abs(e));
    } else {
        s = d.integerPart();
        const QString fraction = d.fractionDigits();
        if (!fraction.isEmpty())
            s += decimalSeparator + fraction;
    }
    return d.negative ? '-' + s : s;
}

QString formatDateTime(const QString& picture, const QDateTime& value, const FormatSettings& fs) {
    return TDatePicture(picture, fs).format(value);
}

QString dateTimeText(const QDateTime& value, const FormatSettings& fs) {
    if (!value.isValid())
        return {};
    QString s = formatDateTime(fs.shortDateFormat, value, fs);
    const QTime t = value.time();
    if (t.hour() != 0 || t.minute() != 0 || t.second() != 0)
        s += ' ' + formatDateTime(fs.longTimeFormat, value, fs);
    return s;
}

namespace {

// A cursor over typed text.
struct Scanner {
    const QString& text;
    int pos = 0;

    void skipBlanks() {
        while (pos < text.size() && text[pos] == ' ')
            ++pos;
    }
    bool atEnd() const { return pos >= text.size(); }
    // Up to four ASCII digits; the digit count goes to `length`.
    bool number(int& value, int& length) {
        skipBlanks();
        value = 0;
        length = 0;
        while (pos < text.size() && text[pos].unicode() >= '0' && text[pos].unicode() <= '9') {
            if (length == 4)
                return false;
            value = value * 10 + (text[pos].unicode() - '0');
            ++length;
            ++pos;
        }
        return length > 0;
    }
    bool character(QChar c) {
        skipBlanks();
        if (pos < text.size() && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
    bool word(const QString& w) {
        skipBlanks();
        if (text.mid(pos, w.size()).compare(w, Qt::CaseInsensitive) == 0) {
            pos += int(w.size());
            return true;
        }
        return false;
    }
};

bool scanDate(Scanner& s, const FormatSettings& fs, QDate& date) {
    int n1 = 0, n2 = 0, n3 = 0, l1 = 0, l2 = 0, l3 = 0;
    if (!s.number(n1, l1) || !s.character(fs.dateSeparator) || !s.number(n2, l2))
        return false;
    using Order = TDatePicture::Order;
    const QDate now = today();
    int y = 0, m = 0, d = 0, yearDigits = 4;
    const Order order = TDatePicture(fs.shortDateFormat, fs).dateOrder();
    if (s.character(fs.dateSeparator)) {
        if (!s.number(n3, l3))
            return false;
        switch (order) {
        case Order::DMY:
            d = n1, m = n2, y = n3, yearDigits = l3;
            break;
        case Order::MDY:
            m = n1, d = n2, y = n3, yearDigits = l3;
            break;
        case Order::YMD:
            y = n1, m = n2, d = n3, yearDigits = l1;
            break;
        }
        y = expandYear(y, yearDigits, now);
    } else {
        y = now.year();
        if (order == Order::DMY)
            d = n1, m = n2;
        else
            m = n1, d = n2;
    }
    const std::optional<QDate> typed = dateFromParts(y, m, d);
    if (!typed)
        return false;
    date = *typed;
    return true;
}

bool scanTime(Scanner& s, const FormatSettings& fs, QTime& time) {
    int hour = 0, minute = 0, second = 0, msec = 0, length = 0;
    if (!s.number(hour, length))
        return false;
    if (s.character(fs.timeSeparator)) {
        if (!s.number(minute, length))
            return false;
        if (s.character(fs.timeSeparator)) {
            if (!s.number(second, length))
                return false;
            if (s.character(fs.decimalSeparator) && !s.number(msec, length))
                return false;
        }
    }
    bool pm = false, twelve = false;
    if (s.word(QStringLiteral("am")) || s.word(QStringLiteral("a"))) {
        twelve = true;
    } else if (s.word(QStringLiteral("pm")) || s.word(QStringLiteral("p"))) {
        twelve = pm = true;
    }
    if (twelve) {
        if (hour == 0 || hour > 12)
            return false;
        if (hour == 12)
            hour = 0;
        if (pm)
            hour += 12;
    }
    if (hour > 23 || minute > 59 || second > 59 || msec > 999)
        return false;
    time = QTime(hour, minute, second, msec);
    return true;
}

} // namespace

std::optional<QDateTime> parseDateTime(const QString& text, const FormatSettings& fs) {
    {
        Scanner s{text};
        QDate date;
        QTime time(0, 0);
        if (scanDate(s, fs, date)) {
            s.skipBlanks();
            if (s.atEnd())
                return QDateTime(date, time, Qt::UTC);
            if (scanTime(s, fs, time)) {
                s.skipBlanks();
                if (s.atEnd())
                    return QDateTime(date, time, Qt::UTC);
            }
        }
    }
    Scanner s{text};
    QTime time;
    if (scanTime(s, fs, time)) {
        s.skipBlanks();
        if (s.atEnd())
            return QDateTime(QDate(1899, 12, 30), time, Qt::UTC);
    }
    return std::nullopt;
}

QString turkishUpper(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == QChar('i'))
            out += QChar(0x0130);
        else if (c == QChar(0x0131))
            out += QChar('I');
        else
            out += c.toUpper();
    }
    return out;
}

} // namespace data::fieldtext
