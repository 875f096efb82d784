// Connection of the cursor engine: an SQLite file named by a connection string's Data Source.
#pragma once

#include <QString>
#include <memory>

struct sqlite3;

namespace cursor {

// Owns one SQLite handle. Opening never creates the file and never modifies it: a missing file
// (or one that is no regular file: a FIFO, a directory, a device), a file that is not an SQLite
// database, one without the program's tables, or a damaged one fails with EOleException and a
// clear text.
class Connection {
public:
    Connection();
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Reads "Data Source" from an OLE DB style string (name=value pairs separated by ";",
    // a value may be enclosed in double quotes) and opens that file for reading and writing.
    void open(const QString& connectionString);
    void close();
    bool isOpen() const;
    // Opening starts a check of the whole file for damage on a thread of its own, so that it
    // runs while the first record set reads its rows. This waits for it: a damaged file (or one
    // the check could not read) closes the connection and raises EOleException. Record sets call
    // it before they return from open or run a statement, so nothing is ever written to a file
    // that has not passed.
    void requireWhole();

    // Whether opening checks the file for damage (damageOf in CursorCheck.h); on unless turned
    // off, which only the benchmark does, to time the start-up without the check in one run.
    static void setCheckOnOpen(bool on);

    // The file path a connection string names (empty when it names none).
    static QString dataSourceOf(const QString& connectionString);

    sqlite3* handle() const;
    const QString& path() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cursor
