// The error classes' messages.
#include "core/Errors.h"

namespace core {

const char* Exception::what() const noexcept {
    utf8_ = message_.toUtf8();
    return utf8_.constData();
}

QString EOleException::cleanMessage(const QString& raw) {
    QString s = raw;
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '.' || s.back().unicode() < 32))
        s.chop(1);
    return s;
}

EOleException::EOleException(const QString& providerMessage)
    : Exception(cleanMessage(providerMessage)) {}

} // namespace core
