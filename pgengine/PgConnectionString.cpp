// Connection string checks through libpq's own parser.
#include "pgengine/PgConnectionString.h"

#include "pgengine/PgError.h"

#include <libpq-fe.h>
#include <memory>

namespace pgengine {

QString connectionStringProblem(const QString& connectionString) {
    char* error = nullptr;
    const QByteArray text = connectionString.toUtf8();
    std::unique_ptr<PQconninfoOption, void (*)(PQconninfoOption*)> options(
        PQconninfoParse(text.constData(), &error), PQconninfoFree);
    if (!options) {
        const QString message =
            ServerError::clean(error ? QString::fromUtf8(error) : QStringLiteral("out of memory"));
        PQfreemem(error);
        return QStringLiteral("The server connection string cannot be read: ") + message;
    }
    for (const PQconninfoOption* o = options.get(); o->keyword; ++o) {
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            return QStringLiteral("The server connection string must not hold a password: put "
                                  "it in the PostgreSQL password file (~/.pgpass)");
    }
    return {};
}

} // namespace pgengine
