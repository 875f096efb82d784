// Database files made by earlier builds: recognising them and bringing them to the current schema.
#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;

namespace data {

// True when t_servis.id_musteri is not yet a foreign key to t_musteri (files made before visits
// were tied to their customers). Fails with EOleException when the schema cannot be read.
bool schemaNeedsUpgrade(sqlite3* db);

// What the program says, instead of opening such a file, to tell the user how to upgrade it.
QString upgradeNeededMessage(const QString& path);

// The one-line notice for a database without the change log (made by an earlier build), which the
// program opens without live refresh; target is the file's path or the server's connection
// string, as korvela-admin upgrade takes it.
QString liveRefreshMissingNotice(const QString& target);

// The outcome of upgradeDatabase.
struct UpgradeReport {
    enum class Outcome { Upgraded, AlreadyCurrent, Refused };
    Outcome outcome = Outcome::Refused;
    int customers = 0; // rows after an upgrade
    int visits = 0;
    // Refused: one line per visit whose customer does not exist ("visit 12: customer 7").
    QStringList orphans;
    QString reason; // Refused: why, in one sentence
};

// Brings the file to the current schema in one exclusive transaction, in place (programs that
// have it open see the result): rebuilds t_servis with the foreign key where it lacks it (every
// row, column, index, trigger and the key counter are kept) and adds the change log where it is
// missing, so the file is either upgraded whole or left as it was. Visits whose customer is
// missing would break the key; they are listed and the file is not changed (Refused). Fails with
// EOleException when the file cannot be opened or written.
UpgradeReport upgradeDatabase(const QString& path);

} // namespace data
