// SqliteBackend: the engine over an SQLite database file, opened without ever creating or changing
// it.
#pragma once

#include "engine/Backend.h"

#include <QString>
#include <functional>
#include <memory>

struct sqlite3;

namespace cursor {

// True when the file is a regular file (through any links) that starts with the SQLite header;
// an empty or foreign file does not (SQLite itself would take an empty file for a new database).
// Opened without blocking, so a FIFO in its place cannot hang the caller, and judged by what was
// opened, not by an earlier look at the name. Otherwise error (when given) says why: the file
// cannot be opened, is missing (no regular file), or is no Korvela database.
bool hasSqliteHeader(const QString& path, QString* error = nullptr);

// Owns one SQLite handle and the check of its file. Opening never creates the file and never
// modifies it: a missing file (or one that is no regular file: a FIFO, a directory, a device), a
// file that is not an SQLite database, one without the program's tables, or one whose schema
// cannot be read fails with EOleException and a clear text. No write reaches the file before the
// check has passed, nor after damage was found. While open it holds the file's OpenMark, so
// korvela-admin never replaces the file under it.
class SqliteBackend : public Backend {
public:
    // How long a statement waits for another program's lock on the file.
    static constexpr int kBusyTimeoutMs = 3000;

    SqliteBackend();
    ~SqliteBackend() override;
    SqliteBackend(const SqliteBackend&) = delete;
    SqliteBackend& operator=(const SqliteBackend&) = delete;

    // Opens the file for reading and writing. Reading may begin at once; no write reaches the
    // file before SQLite's full integrity check of it has passed (see startCheck and
    // requireWritable). stateChanged is called when writeState() changes (on the check's thread
    // when the check ends, on the caller's when an operation meets damage).
    void open(const QString& path, std::function<void()> stateChanged = {});
    // Starts the check (FileCheck: a thread and a read-only connection of its own), unless it
    // runs or ran already. The first write starts it at the latest.
    void startCheck();

    // Checking until the check has passed, Writable once it has, ReadOnly for the rest of the
    // session once the check failed or any statement met a damaged page ("database disk image
    // is malformed", a file that is no database).
    WriteState writeState() const;
    // What every write does first: starts the check if need be and waits for it (telling the wait
    // observer before and after), then raises EOleException saying the file is damaged and
    // nothing was saved when the state is ReadOnly. A check that could not run (the file stayed
    // locked) raises SQLite's message, and the next call checks again.
    void requireWritable();
    // Raises the report of the damage once: when the state is ReadOnly and no operation has
    // raised it yet. Nothing otherwise.
    void reportDamage();
    // Called with true before a write starts to wait for the check and with false when the wait
    // is over, on the writing thread.
    void setWaitObserver(std::function<void(bool waiting)> observer);

    // The SQLite handle of the open file (null when closed), for the admin tool's work on it.
    sqlite3* handle() const;
    const QString& path() const;

    bool isOpen() const override;
    void close() override;
    // t_servis.id_musteri is not yet a foreign key to t_musteri.
    bool schemaNeedsUpgrade() override;
    void select(const QString& sql, const std::function<void(ResultShape)>& describe,
                const RowReader& read) override;
    void selectInto(const QString& sql,
                    const std::function<RowStore&(ResultShape)>& describe) override;
    Inserted insert(const BaseTable& table, const std::vector<ColumnValue>& values,
                    const RowReader& stored) override;
    ReadBack update(const BaseTable& table, const CellData& key,
                    const std::vector<ColumnChange>& changes, const RowReader& stored) override;
    void remove(const BaseTable& table, const CellData& key,
                const std::vector<ColumnCell>& originals) override;
    bool reread(const BaseTable& table, const CellData& key, const RowReader& row) override;
    ChangeFeed& changeFeed() override; // a SqliteChangeFeed

private:
    friend class SqliteChangeFeed; // its reads on the handle meet damage as the engine's do
    sqlite3* db() const;           // the open handle; raises when closed
    // Takes the check's outcome into the state once it has ended.
    void settle();
    // Marks the file damaged (the state turns ReadOnly) and raises the report.
    [[noreturn]] void failDamaged(const QString& finding);
    // Runs an operation's body; SQLite's word that the file is damaged becomes failDamaged.
    template <typename Body> auto watched(Body&& body);
    // Prepares and checks a select, describes its result and hands the statement to eachRow,
    // which steps through it and returns the last step's result code.
    template <typename EachRow>
    void runSelect(const QString& sql, const std::function<void(ResultShape)>& describeTo,
                   EachRow&& eachRow);
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cursor
