// korvela-admin upgrade: brings a database file of an earlier build to the current schema.
#pragma once

#include <QStringList>

// Runs "korvela-admin upgrade PATH" (args as the program received them); returns the exit code:
// 0 upgraded or already current, 1 refused or failed (the file is then unchanged), 2 usage.
int adminUpgrade(const QStringList& args);
