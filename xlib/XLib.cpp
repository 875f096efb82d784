// XLib: application directory, shell open, zero padding and the grouped money text.
#include "xlib/XLib.h"
#include "core/RegionalSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace xlib {

namespace {

// a / b rounded to the nearest integer, ties to even (b > 0).
std::int64_t divRoundHalfEven(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b, r = a % b;
    std::int64_t twice = (r < 0 ? -r : r) * 2;
    if (twice > b || (twice == b && (q % 2 != 0)))
        q += (a < 0) ? -1 : 1;
    return q;
}

} // namespace

QString applicationDirectory() {
    QString dir;
    if (QCoreApplication::instance())
        dir = QCoreApplication::applicationDirPath();
    if (dir.isEmpty())
        dir = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath().section('/', 0, -2);
    dir = QDir::toNativeSeparators(dir);
    if (!dir.endsWith(QDir::separator()))
        dir += QDir::separator();
    return dir;
}

void shellOpen(const QString& target) {
    // Detached: returns at once; a missing handler or a failure stays silent.
    QProcess::startDetached(QStringLiteral("xdg-open"), {target});
}

QString padLeftZeros(const QString& s, int width) {
    QString r = s.left(qMax(0, width));
    while (r.size() < width)
        r.prepend('0');
    return r;
}

QString moneyText(Money amount, QChar decimalSeparator, QChar thousandSeparator) {
    std::int64_t n = divRoundHalfEven(amount.raw, 100); // hundredths
    std::uint64_t magnitude = n < 0 ? std::uint64_t(0) - std::uint64_t(n) : std::uint64_t(n);
    QString digits = QString::number(magnitude);
    if (digits.size() < 3)
        digits = padLeftZeros(digits, 3);
    QString result;
    for (int k = 1; k <= digits.size(); ++k) {
        result.prepend(digits[digits.size() - k]);
        if (k == 2)
            result.prepend(decimalSeparator);
        else if (k > 2 && (k - 2) % 3 == 0 && k != digits.size())
            result.prepend(thousandSeparator);
    }
    if (n < 0)
        result.prepend('-');
    return result;
}

QString moneyText(Money amount) {
    const auto& s = core::formatSettings();
    return moneyText(amount, s.decimalSeparator, s.thousandSeparator);
}

QString moneyTextFromHundredths(Money hundredths) {
    return moneyText(Money::fromRaw(divRoundHalfEven(hundredths.raw, 100)));
}

} // namespace xlib
