// FileCheck: SQLite's full integrity check of a database file, on a thread and a connection of its
// own.
#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>

struct sqlite3;

namespace cursor {

// Runs PRAGMA integrity_check on the file at a path, on a read-only connection that only its own
// thread uses, from construction until it ends or the object goes. The check sees one consistent
// moment of the file (it runs in one read transaction) and writes nothing. Destroying the object
// interrupts the check (sqlite3_interrupt on the thread's connection) and joins the thread, so
// nothing of it outlives its owner. Owned by the engine of the file (SqliteBackend).
class FileCheck {
public:
    enum class Outcome {
        Running,
        Whole,     // integrity_check answered "ok"
        Damaged,   // it found damage: finding() holds SQLite's first finding
        Unchecked, // it could not run (another program kept the file locked, it could not be
                   // opened): finding() holds SQLite's message, errorCode() its result code
    };

    // Starts the check. finished is called once when the check has ended (on the check's own
    // thread, so the receiver passes it on to its own), not when it was stopped by destruction.
    FileCheck(const QString& path, std::function<void()> finished);
    ~FileCheck();
    FileCheck(const FileCheck&) = delete;
    FileCheck& operator=(const FileCheck&) = delete;

    Outcome outcome() const;
    QString finding() const;
    int errorCode() const; // SQLite's primary result code when the check could not run
    // What the check's page cache held when it ended (bytes): it stays small however large the
    // file, as the check reads each page once.
    std::size_t cacheBytes() const;
    // Blocks until the check has ended and finished has returned; returns the outcome.
    Outcome wait();

    // Test seam: runs on the check's thread with its connection, before the check itself, for
    // every check started while it is set. A test slows the check down with it, or holds it until
    // the test is ready; an interrupt stops a statement the hook runs on the connection.
    static void setBeforeCheck(std::function<void(sqlite3*)> hook);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cursor
