// Exact conversions of money, date-times and text between server text and cursor values.
#include "pgengine/PgValue.h"

#include <QDate>
#include <QTime>
#include <charconv>
#include <limits>

namespace pgengine {

namespace {

__extension__ typedef unsigned __int128 u128;

int digits(std::string_view text, std::size_t pos, std::size_t n) {
    if (pos + n > text.size())
        return -1;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return -1;
        v = v * 10 + (text[i] - '0');
    }
    return v;
}

} // namespace

QByteArray moneyToText(Money money) {
    return money.toStorageText().toLatin1();
}

std::optional<Money> moneyFromText(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    u128 acc = 0;
    const u128 limit = u128(std::numeric_limits<std::int64_t>::max()) + 1; // |INT64_MIN|
    std::size_t intDigits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++intDigits) {
        acc = acc * 10 + u128(text[i] - '0');
        if (acc > limit)
            return std::nullopt;
    }
    acc *= Money::Scale;
    std::size_t fracDigits = 0;
    if (i < text.size() && text[i] == '.') {
        u128 scale = Money::Scale / 10;
        for (++i; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++fracDigits) {
            if (fracDigits >= 4) {
                if (text[i] != '0') // more than four decimals would not be exact
                    return std::nullopt;
                continue;
            }
            acc += u128(text[i] - '0') * scale;
            scale /= 10;
        }
    }
    if (i != text.size() || intDigits + fracDigits == 0)
        return std::nullopt;
    if (acc > (negative ? limit : limit - 1))
        return std::nullopt;
    const std::int64_t raw =
        negative ? std::int64_t(std::uint64_t(0) - std::uint64_t(acc)) : std::int64_t(acc);
    return Money::fromRaw(raw);
}

QByteArray dateTimeToText(const QDateTime& dateTime) {
    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    char buffer[40];
    const int n =
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", date.year(),
                      date.month(), date.day(), time.hour(), time.minute(), time.second());
    return QByteArray(buffer, n);
}

QDateTime dateTimeFromText(std::string_view text) {
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    if (year < 0 || month < 0 || day < 0 || text[4] != '-' || text[7] != '-')
        return {};
    const QDate date(year, month, day);
    if (!date.isValid())
        return {};
    if (text.size() == 10)
        return QDateTime(date, QTime(0, 0), Qt::UTC);
    if (text.size() < 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return {};
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (text.size() > 19 && (text[19] != '.' || digits(text, 20, text.size() - 20) < 0))
        return {}; // " BC", a time zone or anything else: not a plain timestamp
    const QTime time(hour, minute, second);
    if (hour < 0 || minute < 0 || second < 0 || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

Param toParam(const cursor::Value& value) {
    return std::visit(
        [](const auto& v) -> Param {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return std::nullopt;
            else if constexpr (std::is_same_v<T, qint64>)
                return QByteArray::number(v);
            else if constexpr (std::is_same_v<T, double>)
                return QByteArray::number(v, 'g', 17);
            else if constexpr (std::is_same_v<T, Money>)
                return moneyToText(v);
            else if constexpr (std::is_same_v<T, QString>)
                return v.toUtf8();
            else
                return dateTimeToText(v);
        },
        value);
}

Param cellParam(const cursor::CellData& cell) {
    switch (cell.type) {
    case cursor::CellData::Null:
        return std::nullopt;
    case cursor::CellData::Integer:
        return QByteArray::number(qint64(cell.integer));
    case cursor::CellData::Float: {
        char buffer[32];
        const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, cell.real);
        return QByteArray(buffer, error == std::errc() ? end - buffer : 0);
    }
    case cursor::CellData::Text:
    case cursor::CellData::Blob:
        break;
    }
    return QByteArray(cell.bytes.data(), qsizetype(cell.bytes.size()));
}

cursor::Value decode(const cursor::CellData& cell, cursor::ColumnType type) {
    using cursor::CellData;
    using cursor::ColumnType;
    switch (cell.type) {
    case CellData::Null:
        return {};
    case CellData::Integer:
        if (type == ColumnType::Currency)
            return Money::fromUnits(cell.integer);
        return qint64(cell.integer);
    case CellData::Float:
        return cell.real;
    case CellData::Text:
    case CellData::Blob:
        break;
    }
    const std::string_view text = cell.bytes;
    if (type == ColumnType::Currency) {
        if (const std::optional<Money> m = moneyFromText(text))
            return *m;
    } else if (type == ColumnType::DateTime) {
        const QDateTime dt = dateTimeFromText(text);
        if (dt.isValid())
            return dt;
    }
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

} // namespace pgengine
