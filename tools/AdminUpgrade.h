// korvela-admin upgrade: brings a database file or server database of an earlier build to the
// current schema.
#pragma once

#include <QStringList>

// Runs "korvela-admin upgrade PATH" or "upgrade CONNECTION" (args as the program received them);
// returns the exit code: 0 upgraded or already current, 1 refused or failed (the database is then
// unchanged), 2 usage. Programs may keep the database open meanwhile.
int adminUpgrade(const QStringList& args);
