// The server engine's error and its message cleaning.
#include "pgengine/PgError.h"

namespace pgengine {

const QString kRowConflict = QStringLiteral("Row cannot be located for updating. Some values may "
                                            "have been changed since it was last read");

QString ServerError::clean(const QString& raw) {
    QString s = raw.simplified();
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '.' || s.back().unicode() < 32))
        s.chop(1);
    return s;
}

const QString kRelatedRecordRequired =
    QStringLiteral("You cannot add or change a record because a related record is required in "
                   "table '%1'");

ServerError::ServerError(Kind kind, const QString& message, Diagnostics diagnostics)
    : core::EOleException(clean(message)), kind_(kind), diagnostics_(std::move(diagnostics)) {}

} // namespace pgengine
