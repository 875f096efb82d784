// Importing an Access "Korvela.mdb" into a new SQLite Korvela database.
#pragma once

#include <QString>
#include <cstdio>

namespace admin {

struct ImportOptions {
    QString source;       // the Access file
    QString target;       // the new database; empty with inPlace
    bool inPlace = false; // the new database takes the Access file's place, which is kept aside
    bool force = false;   // an existing target may be replaced
};

// Exit codes: 0 imported; 1 nothing written (the message is on ERR); 3 written, but some values
// could not be converted (listed in the report; --in-place then changes nothing and gives 1).
// The report and, on a terminal, a progress line go to OUT and ERR.
int runImport(const ImportOptions& options, std::FILE* out, std::FILE* err);

} // namespace admin
