// korvela-admin's server commands: create the tables on a server, copy a shop's data between a
// database file and a server.
#pragma once

#include <QStringList>

namespace serveradmin {

// True when a create or copy target names a server: a libpq URI ("postgresql://...",
// "postgres://...") or a key=value connection string ("host=... dbname=...").
bool isServerTarget(const QString& target);

// Runs the command in args (the whole command line, program name first) when it is one of the
// server commands and returns the exit code; returns -1 when the command is not one of them:
//   create CONNECTION [--keep]         the tables on a server (--keep: succeed when present)
//   copy SOURCE TARGET [--force]       file to server or server to file, ids kept, in one
//                                      transaction; a target holding rows is refused unless
//                                      --force, which replaces them
int run(const QStringList& args);

// korvela-admin upgrade CONNECTION: adds what a server database made by an earlier build lacks
// (the change log), in one transaction, and wakes the programs that have it open so they take it
// up. Returns the exit code: 0 upgraded or already current, 1 failed (nothing changed).
int upgrade(const QString& connection);

} // namespace serveradmin
