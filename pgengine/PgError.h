// The error the server engine raises: PostgreSQL's own message, and what kind of failure it was.
#pragma once

#include "core/Errors.h"

#include <QString>

namespace pgengine {

// The text a write gets when its row was changed or deleted by someone else since it was read.
// Trailing full stop left off, as with every engine message: the error box adds it.
extern const QString kRowConflict;

// Raised by every failing server operation. The message is PostgreSQL's text on one line with
// trailing blanks, control characters and full stops removed (the form the cursor engine's
// provider errors take), so the record-set layer can show it unchanged: it is a provider error.
class ServerError : public core::EOleException {
public:
    enum class Kind {
        Connection, // could not connect, or the connection was lost
        Conflict,   // optimistic check: the row was changed or deleted by another session
        Statement,  // the server refused a statement (syntax, constraint, type, timeout)
    };
    ServerError(Kind kind, const QString& message);
    Kind kind() const { return kind_; }

    // One line: runs of white space (libpq's messages carry "\n\t") become one blank; trailing
    // blanks, control characters and full stops go.
    static QString clean(const QString& raw);

private:
    Kind kind_;
};

} // namespace pgengine
