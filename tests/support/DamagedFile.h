// Damaged database files made by the tests from a small generated one: every way a shop's file
// was seen to fail SQLite's integrity check while looking whole to a quick glance.
#pragma once

#include "tests/support/TestDatabase.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace testsupport {

enum class Damage {
    SwappedLeafPages,      // two leaf pages of the visits trade places: rowids out of order
    OverlappingCells,      // two cell pointers of one page name the same cell
    RowsMissingFromIndex,  // visits saved, then the index page put back as it was before
    BitFlipInUnreadPage,   // a bit of a record header on a page the start-up does not read
    IncrementalVacuumFlag, // the header says auto-vacuum and incremental vacuum; no pointer maps
    WrongValueType,        // a visit's customer number stored as text, unlike its index entry
    CellOffItsPage,        // a cell's payload size runs past the end of its page
    ScribbledPage,         // a whole visits page overwritten with text
    PageClaimedTwice,      // the freelist names the customers' root page
};

struct DamageKind {
    Damage damage;
    const char* name;
    // Words of SQLite's integrity check report for this damage.
    const char* finding;
};

// Every kind, for table-driven tests.
const std::vector<DamageKind>& damageKinds();

// Fills the database with 40 customers of 12 visits each, customer 10 with a long note: the
// visits on several leaf pages under an interior page, their index on more than one page, a few
// free pages.
void fillForDamage(TestDatabase& db);

// Damages the file the way the kind says. The database must have been filled by fillForDamage
// and nothing may hold the file open for writing.
void damage(TestDatabase& db, Damage kind);

// Overwrites a page of a file (1-based) with the bytes, and moves the header's change counter on
// so that connections that have the page cached read it again.
void overwritePage(const QString& path, qint64 page, const QByteArray& bytes);
QByteArray readPage(const QString& path, qint64 page);

// The file's bytes, and the integrity check's whole report read through a connection of its own
// ("ok" for a whole file; an error SQLite raised instead of a report comes as its message).
QByteArray fileBytes(const QString& path);
QString integrityReport(const QString& path);

} // namespace testsupport
