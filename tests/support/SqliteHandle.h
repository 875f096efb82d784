// The SQLite handle under a connection to a file, for tests that act on the program's own
// connection at a chosen moment (a pragma, a lock taken right after a commit).
#pragma once

#include "engine/CursorConnection.h"
#include "engine/SqliteBackend.h"

namespace testsupport {

// Null when the connection holds another engine; raises when it is closed.
inline sqlite3* sqliteHandleOf(const cursor::Connection& connection) {
    auto* file = dynamic_cast<cursor::SqliteBackend*>(&connection.backend());
    return file ? file->handle() : nullptr;
}

} // namespace testsupport
