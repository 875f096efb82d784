// The database care commands of korvela-admin: import, backup, restore, check, export.
#pragma once

#include <QStringList>

namespace admin {

inline constexpr int kNotACareCommand = -1;

// Runs the command named by args[1] (args[0] is the program) and returns its exit code, or
// kNotACareCommand when args[1] is none of them.
int runCareCommand(const QStringList& args);

// The usage lines of these commands.
const char* careUsage();

} // namespace admin
