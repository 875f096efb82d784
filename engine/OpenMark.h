// OpenMark: the lock by which a program shows that it has a database file open, so that a tool
// never replaces a file under a program that would go on writing into the old one.
#pragma once

#include <QString>
#include <memory>

namespace cursor {

// A lock on one byte of the database file far past anything SQLite locks (an open file
// description lock: the kernel drops it when the program ends, however it ends, and SQLite's
// own locks on other bytes never meet it). Every program holds it shared while the file is open;
// a tool that replaces or moves the file takes it exclusively for as long as it works. Where the
// file system has no such locks, nothing is marked and nothing is refused.
class OpenMark {
public:
    ~OpenMark();
    OpenMark(const OpenMark&) = delete;
    OpenMark& operator=(const OpenMark&) = delete;

    // The shared mark of a program opening the file at path. While a tool holds the file, waits
    // up to waitMs for it and then raises EOleException; the mark is always on the file that the
    // path names once the tool is done (a file replaced meanwhile is let go, the new one marked).
    static std::unique_ptr<OpenMark> forProgram(const QString& path, int waitMs);
    // The exclusive mark of a tool about to replace or move the file: null when a program has it
    // open. A path that names no file needs none and gets an empty mark. Raises EOleException
    // when the file cannot be opened to look.
    static std::unique_ptr<OpenMark> forReplacing(const QString& path);

private:
    explicit OpenMark(int fd);
    int fd_ = -1;
};

} // namespace cursor
