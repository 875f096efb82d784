// korvela-admin upgrade: bringing a database file of an earlier build to the current schema.
#pragma once

#include <QString>
#include <QStringList>

namespace admin {

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
// have it open see the result): rebuilds t_servis with the foreign key to t_musteri where it
// lacks it (every row, column, index, trigger and the key counter are kept) and adds the change
// log where it is missing, so the file is either upgraded whole or left as it was. Visits whose
// customer is missing would break the key; they are listed and the file is not changed
// (Refused). A file the program would not open (missing, foreign, without
// the tables, damaged) raises the engine's EOleException; a statement that fails raises Error
// whose cause is SQLite's message.
UpgradeReport upgradeDatabase(const QString& path);

} // namespace admin
