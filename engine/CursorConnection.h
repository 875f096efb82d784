// Connection of the cursor engine: the engine a connection string names, behind one interface.
#pragma once

#include "engine/Backend.h"

#include <QString>
#include <functional>
#include <memory>

namespace cursor {

class SqliteBackend;

// Holds the engine the recordsets run on: an SQLite file named by a connection string's Data
// Source, or another engine (a database server) handed over ready to use. Recordsets speak only
// to the Backend interface.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Reads "Data Source" from an OLE DB style string (name=value pairs separated by ";",
    // a value may be enclosed in double quotes) and opens that file for reading and writing.
    // Opening never creates the file and never modifies it: a missing file (or one that is no
    // regular file: a FIFO, a directory, a device), a file that is not an SQLite database, one
    // without the program's tables, or a damaged one fails with EOleException and a clear text.
    void open(const QString& connectionString);
    // Takes an engine that is already open.
    void open(std::unique_ptr<Backend> backend);
    void close();
    bool isOpen() const;
    Backend& backend() const; // raises when closed

    // Whether writes may reach the database. A file is checked for damage with SQLite's full
    // integrity check on a thread of its own (startCheck): reading goes ahead at once, while
    // every write (insert, update, delete, a statement that may write) first waits for the
    // check and is refused when the file failed it. A file that failed the check, or in which any
    // statement met damage later, is ReadOnly for the rest of the session: every write raises
    // EOleException saying the file is damaged and that nothing was saved. When the check could
    // not run (another program kept the file locked), the write fails with SQLite's message and
    // the next write checks again. Another engine is Writable at once.
    WriteState writeState() const;
    // Starts the check of an open file beside whatever runs next (the program starts it once its
    // window is painted, so the two do not compete for the processor before that). The first
    // write starts it at the latest. Nothing to check with another engine.
    void startCheck();
    // Starts the check if need be, waits for it (telling the wait observer) and raises that
    // refusal when the state is ReadOnly; what every write does first. Nothing to wait for with
    // another engine.
    void requireWritable();
    // Raises the report of the damage once: when the state is ReadOnly and no operation has
    // raised it yet (the check ended in damage while nothing was being written). Nothing
    // otherwise.
    void reportDamage();
    // Called when writeState() changes, on the thread that changed it: the check's own thread
    // when the check ends (the receiver passes it on to its own thread), or the thread of an
    // operation that met damage. Set it before open(); it holds for every file opened later.
    void setStateObserver(std::function<void()> observer);
    // Called with true when a write starts to wait for the check and with false when the wait
    // is over, on the writing thread (so the wait can be shown).
    void setWaitObserver(std::function<void(bool waiting)> observer);

    // The value of a name in a connection string (empty when it is not there), and the file path
    // its Data Source names.
    static QString valueOf(const QString& connectionString, const QString& name);
    static QString dataSourceOf(const QString& connectionString);

    // The path of an open file (empty with another engine).
    const QString& path() const;

private:
    std::unique_ptr<Backend> backend_;
    SqliteBackend* file_ = nullptr; // backend_ when it is a file
    std::function<void()> stateObserver_;
    std::function<void(bool)> waitObserver_;
};

} // namespace cursor
