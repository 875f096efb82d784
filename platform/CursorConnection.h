// Connection of the cursor engine: an SQLite file named by a connection string's Data Source.
#pragma once

#include <QString>
#include <memory>

struct sqlite3;

namespace cursor {

// Owns one SQLite handle. Opening never creates the file and never modifies it: a missing file,
// a file that is not an SQLite database, or one without the program's tables fails with
// EOleException and a clear text.
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

    // The file path a connection string names (empty when it names none).
    static QString dataSourceOf(const QString& connectionString);

    sqlite3* handle() const;
    const QString& path() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cursor
