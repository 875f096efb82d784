// The change log on a server: its tables, and the triggers that fill it and send the wake-up.
#pragma once

#include <QByteArrayList>

namespace pgengine {

// The channel the triggers notify when a transaction that changed t_musteri or t_servis commits.
inline constexpr const char* kChangeChannel = "korvela_degisiklik";

// One row, one column: 't' when the database has the change log and all eight of its triggers
// (a log some of whose triggers are missing would miss changes without a word).
extern const char* const kHasChangeLogSql;

// The statements that add the change log (engine/ChangeLog.h) to a server database whose tables
// exist, one per entry. Each one replaces or skips what is there already, so they run on new and
// on older databases alike, in one transaction.
QByteArrayList serverChangeLogStatements();

} // namespace pgengine
