// SqliteBackend: the engine over an SQLite database file, opened without ever creating or changing
// it.
#pragma once

#include "engine/Backend.h"

#include <QString>
#include <memory>

struct sqlite3;

namespace cursor {

// True when the file is a regular file (through any links) that starts with the SQLite header;
// an empty or foreign file does not (SQLite itself would take an empty file for a new database).
// Opened without blocking, so a FIFO in its place cannot hang the caller, and judged by what was
// opened, not by an earlier look at the name. Otherwise error (when given) says why: the file
// cannot be opened, is missing (no regular file), or is no Korvela database.
bool hasSqliteHeader(const QString& path, QString* error = nullptr);

// Owns one SQLite handle. Opening never creates the file and never modifies it: a missing file
// (or one that is no regular file: a FIFO, a directory, a device), a file that is not an SQLite
// database, one without the program's tables, or a damaged one fails with EOleException and a
// clear text. While open it holds the file's OpenMark, so korvela-admin never replaces the file
// under it.
class SqliteBackend : public Backend {
public:
    // How long a statement waits for another program's lock on the file.
    static constexpr int kBusyTimeoutMs = 3000;

    SqliteBackend();
    ~SqliteBackend() override;
    SqliteBackend(const SqliteBackend&) = delete;
    SqliteBackend& operator=(const SqliteBackend&) = delete;

    // Opens the file for reading and writing. It also starts a check of the whole file for
    // damage on a thread of its own, so that it runs while the first result is read.
    void open(const QString& path);
    // Waits for that check: a damaged file (or one the check could not read) closes the handle
    // and raises EOleException. select() calls it before it returns, so nothing is ever written
    // to a file that has not passed.
    void requireWhole();

    // Whether opening checks the file for damage (damageOf in CursorCheck.h); on unless turned
    // off, which only the benchmark does, to time the start-up without the check in one run.
    static void setCheckOnOpen(bool on);

    // The SQLite handle of the open file (null when closed), for the admin tool's work on it.
    sqlite3* handle() const;
    const QString& path() const;

    bool isOpen() const override;
    void close() override;
    // t_servis.id_musteri is not yet a foreign key to t_musteri.
    bool schemaNeedsUpgrade() override;
    void select(const QString& sql, const std::function<void(ResultShape)>& describe,
                const RowReader& read) override;
    Inserted insert(const BaseTable& table, const std::vector<ColumnValue>& values,
                    const RowReader& stored) override;
    ReadBack update(const BaseTable& table, const CellData& key,
                    const std::vector<ColumnChange>& changes, const RowReader& stored) override;
    void remove(const BaseTable& table, const CellData& key,
                const std::vector<ColumnCell>& originals) override;
    bool reread(const BaseTable& table, const CellData& key, const RowReader& row) override;
    ChangeFeed& changeFeed() override; // a SqliteChangeFeed

private:
    sqlite3* db() const; // the open handle; raises when closed
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cursor
