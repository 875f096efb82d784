// Checking a libpq connection string before it is used: its syntax, and that it holds no password.
#pragma once

#include <QString>

namespace pgengine {

// Empty when libpq can read the string ("host=... dbname=..." or "postgresql://...") and it
// names no password; otherwise what is wrong, in one line. Passwords belong in libpq's password
// file (~/.pgpass, or the file PGPASSFILE names), never in a settings file beside the program.
QString connectionStringProblem(const QString& connectionString);

} // namespace pgengine
