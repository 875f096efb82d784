// Connection of the cursor engine: the engine a connection string names, behind one interface.
#pragma once

#include "engine/Backend.h"

#include <QString>
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

    // Opening a file starts a check of the whole file for damage on a thread of its own, so that
    // it runs while the first record set reads its rows. This waits for it: a damaged file (or
    // one the check could not read) closes the connection and raises EOleException. Every
    // statement waits for it too, so nothing is ever written to a file that has not passed.
    // Nothing to wait for with another engine.
    void requireWhole();

    // Whether opening a file checks it for damage (damageOf in CursorCheck.h); on unless turned
    // off, which only the benchmark does, to time the start-up without the check in one run.
    static void setCheckOnOpen(bool on);

    // The value of a name in a connection string (empty when it is not there), and the file path
    // its Data Source names.
    static QString valueOf(const QString& connectionString, const QString& name);
    static QString dataSourceOf(const QString& connectionString);

    // The path of an open file (empty with another engine).
    const QString& path() const;

private:
    std::unique_ptr<Backend> backend_;
    SqliteBackend* file_ = nullptr; // backend_ when it is a file
};

} // namespace cursor
