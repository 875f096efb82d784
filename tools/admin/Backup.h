// Online backup of a live Korvela database, checked restore, and the CSV export.
#pragma once

#include <QString>

namespace admin {

// Copies DB with SQLite's online backup API (a consistent snapshot while the program is open
// and saving) into DEST, or into DEST/<name>-YYYYMMDD-HHMMSS.mdb when DEST is a directory. The
// copy is written under a temporary name, checked and only then renamed into place; an existing
// file is replaced only with REPLACE. Returns the report; throws Error.
QString backupDatabase(const QString& db, const QString& dest, bool replace);

// Checks BACKUP (integrity and the schema) and only then copies it over DB. An existing DB is
// first kept aside as "DB.replaced-YYYYMMDD-HHMMSS". A readable DB is written through SQLite,
// in place, so programs that have it open see the restored rows (their change feeds reload); one
// SQLite cannot read is moved aside, which is refused while a program has it open. Returns the
// report; throws Error.
QString restoreDatabase(const QString& backup, const QString& db);

// Writes DIR/t_musteri.csv and DIR/t_servis.csv (RFC 4180, UTF-8, a header line, CRLF line
// ends; amounts with four decimals and "."; dates ISO-8601; NULL is an empty field and an empty
// text is ""); BOM puts a UTF-8 byte-order mark first for spreadsheets that need it.
QString exportDatabase(const QString& db, const QString& dir, bool bom);

// One CSV field as RFC 4180 writes it (exposed for the tests).
QString csvField(const QString& value, bool null);

} // namespace admin
