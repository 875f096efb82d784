// The benchmarks' own SQLite calls, each checked: a set-up that fails ends the run with SQLite's
// message rather than measuring nothing, and every connection waits for a lock.
#pragma once

#include <QFile>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <sqlite3.h>

namespace bench::sql {

// How long a benchmark's connection waits for another's lock (the program's check of the file
// holds a read lock for a moment after it opens it).
constexpr int kBusyTimeoutMs = 10000;

[[noreturn]] inline void fail(sqlite3* db, const char* what) {
    std::fprintf(stderr, "korvela-bench: %s: %s\n", what, db ? sqlite3_errmsg(db) : "no memory");
    std::exit(1);
}

// Ends the run unless rc is a success (OK, ROW or DONE).
inline int check(int rc, sqlite3* db, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(db, what);
    return rc;
}

inline sqlite3* open(const QString& path, int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, flags, nullptr) != SQLITE_OK)
        fail(db, "open");
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return db;
}

inline void exec(sqlite3* db, const char* sql) {
    check(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), db, sql);
}

inline sqlite3_stmt* prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* statement = nullptr;
    check(sqlite3_prepare_v2(db, sql, -1, &statement, nullptr), db, sql);
    return statement;
}

// Steps once: true on a row, false when done; ends the run on an error.
inline bool step(sqlite3_stmt* statement) {
    return check(sqlite3_step(statement), sqlite3_db_handle(statement), sqlite3_sql(statement)) ==
           SQLITE_ROW;
}

// Steps a statement that writes to its end and resets it.
inline void run(sqlite3_stmt* statement) {
    while (step(statement)) {
    }
    sqlite3_reset(statement);
}

} // namespace bench::sql
