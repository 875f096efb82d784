// The error the server engine raises: PostgreSQL's own message, and what kind of failure it was.
#pragma once

#include "core/Errors.h"
#include "engine/EngineMessage.h"

#include <QByteArray>
#include <QString>

namespace pgengine {

// Raised by every failing server operation. The message is PostgreSQL's text on one line (a
// hint libpq puts on a line of its own becomes a sentence of its own) with trailing blanks,
// control characters and full stops removed (the form the cursor engine's
// provider errors take), so the record-set layer can show it unchanged: it is a provider error.
// For the common failures (server unreachable, password refused, connection lost, busy,
// read-only, disk full, a save cut off) a Turkish sentence stands in front of that text.
class ServerError : public core::EOleException {
public:
    enum class Kind {
        Connection, // could not connect, or the connection was lost
        Conflict,   // optimistic check: the row was changed or deleted by another session
        Statement,  // the server refused a statement (syntax, constraint, type, timeout)
    };
    // What the server said about a refused statement (empty for other failures).
    struct Diagnostics {
        QByteArray sqlState; // "23503"
        QByteArray schema;   // of the table the statement was refused on
        QByteArray table;
        QByteArray constraint; // the constraint it violated
    };
    ServerError(Kind kind, const QString& message, Diagnostics diagnostics = {});
    // A common failure: the Turkish sentence for it stands in front of the server's text.
    ServerError(Kind kind, cursor::EngineProblem problem, const QString& message,
                Diagnostics diagnostics = {});
    Kind kind() const { return kind_; }
    const Diagnostics& diagnostics() const { return diagnostics_; }
    // PostgreSQL's (or libpq's) text as cleaned, without a sentence in front.
    const QString& engineText() const { return engineText_; }

    // One line: runs of white space (libpq's messages carry "\n\t") become one blank; trailing
    // blanks, control characters and full stops go.
    static QString clean(const QString& raw);

private:
    Kind kind_;
    Diagnostics diagnostics_;
    QString engineText_;
};

} // namespace pgengine
