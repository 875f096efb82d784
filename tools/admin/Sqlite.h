// The admin commands' error type, an owner of one SQLite connection, and safe file placement.
#pragma once

#include "engine/OpenMark.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace admin {

// A command that cannot be carried out: the message says why; cause is the part that came from
// elsewhere (SQLite's own message for a failed statement), or the message itself.
class Error : public std::runtime_error {
public:
    explicit Error(const QString& message, const QString& cause = {})
        : std::runtime_error(message.toStdString()), text(message),
          cause(cause.isNull() ? message : cause) {}
    QString text;
    QString cause;
};

// The admin tool's one SQLite connection: opened and owned, or borrowed from the engine. Every
// failure raises Error ("'PATH': SQLite's message"; opening: "cannot open 'PATH': ...").
class Sqlite {
public:
    // Opens PATH (flags as sqlite3_open_v2), waiting up to busyTimeoutMs for another program's
    // lock (0: not at all).
    Sqlite(const QString& path, int flags, int busyTimeoutMs = 10000);
    // Works on a connection someone else owns and closes.
    Sqlite(sqlite3* borrowed, const QString& path);
    ~Sqlite();
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    sqlite3* handle() const { return db_; }
    QString path() const { return path_; }
    // SQLite's message for the last failure.
    QString message() const;
    void exec(const QString& sql);
    // The first column of the first row of a query as text (empty when there is no row).
    QString text(const QString& sql);
    std::int64_t integer(const QString& sql) { return text(sql).toLongLong(); }
    // Every row of a query, each value as text (null as a null QString).
    std::vector<QStringList> rows(const QString& sql);
    // A prepared statement the caller finalizes.
    sqlite3_stmt* prepare(const QByteArray& sql);
    // Runs an INSERT with text parameters (an empty text binds null); returns the new row id.
    std::int64_t insert(const char* sql, const QStringList& values);
    [[noreturn]] void fail(const QString& what) const;

    // Begins with the given statement; rolled back on destruction unless committed.
    class Transaction {
    public:
        Transaction(Sqlite& db, const QString& begin = QStringLiteral("BEGIN"));
        ~Transaction();
        Transaction(const Transaction&) = delete;
        Transaction& operator=(const Transaction&) = delete;
        void commit();

    private:
        Sqlite& db_;
        bool open_ = true;
    };

private:
    sqlite3* db_ = nullptr;
    QString path_;
    bool owned_ = true;
};

// A temporary name beside PATH for a file being written ("PATH.partial-PID"). Files of that kind
// left by a killed run whose process is gone are removed first.
QString partialNameFor(const QString& path);
// Removes a partial file and its journal.
void removePartial(const QString& partial);
// The claim of a tool about to replace or move PATH, held until it is done: while held, no
// program opens the file. Throws Error when a program has it open (on this computer or another
// that shares it), which would go on writing into the replaced file.
std::unique_ptr<cursor::OpenMark> claimForReplacing(const QString& path);
// Flushes FILE to disk and renames it to TARGET; without REPLACE an existing TARGET is an error
// (checked atomically), with it a TARGET that a program has open is (claimForReplacing). The
// directory is flushed too. Throws Error.
void placeFile(const QString& file, const QString& target, bool replace);
// Gives FILE, a new file about to take TARGET's place, the owner, group and mode of the file it
// replaces: LIKE when given (a file already moved aside), else TARGET when it exists. A file that
// replaces nothing takes the group of TARGET's folder, and that group may write it when it may
// write the folder (the package's folder, root:korvela 2775, so gives a 664 file). The owner is
// kept only where the system allows it (as root); a group that cannot be kept is an Error, so
// nothing is replaced by a file the group could no longer write.
void takeAttributes(const QString& file, const QString& target, const QString& like = {});
// "20261209-021500": for names of kept and dated files.
QString timeStamp();

} // namespace admin
