// The server engine's error and its message cleaning.
#include "pgengine/PgError.h"

#include <QRegularExpression>

namespace pgengine {

QString ServerError::clean(const QString& raw) {
    // libpq puts a hint on a line of its own ("...failed: Connection refused\n\tIs the server
    // running..."): on one line it becomes a sentence of its own.
    static const QRegularExpression sentenceBreak(QStringLiteral("(\\w)\\s*\\n\\s*(?=\\p{Lu})"));
    QString s = raw;
    s.replace(sentenceBreak, QStringLiteral("\\1. "));
    s = s.simplified();
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '.' || s.back().unicode() < 32))
        s.chop(1);
    return s;
}

ServerError::ServerError(Kind kind, const QString& message, Diagnostics diagnostics)
    : core::EOleException(clean(message)), kind_(kind), diagnostics_(std::move(diagnostics)),
      engineText_(clean(message)) {}

ServerError::ServerError(Kind kind, cursor::EngineProblem problem, const QString& message,
                         Diagnostics diagnostics)
    : core::EOleException(cursor::explainedMessage(problem, clean(message))), kind_(kind),
      diagnostics_(std::move(diagnostics)), engineText_(clean(message)) {}

} // namespace pgengine
