// SqliteChangeFeed: the change feed of a database file, woken by a timer that asks the file
// whether another connection committed.
#pragma once

#include "engine/ChangeFeed.h"

#include <QString>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;
class QTimer;

namespace cursor {

class SqliteBackend;

// Reads the file's change log on the engine's own connection. While watched, a timer asks that
// connection every kTickMs for SQLite's data version, which changes only when another connection
// (another program, workstation, the sqlite3 shell) has committed; the program's own saves do
// not wake it. An idle tick reads nothing but the file's header. Owned by the SqliteBackend.
class SqliteChangeFeed final : public ChangeFeed {
public:
    static constexpr int kTickMs = 250;

    // The statements that add the change log and its triggers to a database file; each is skipped
    // when what it makes is there already, so they run on new and on older files alike.
    static QString installSql();
    // Whether the file has the change log and all its triggers (fails with EOleException when it
    // cannot be read).
    static bool hasChangeLog(sqlite3* db);

    explicit SqliteChangeFeed(SqliteBackend& backend);
    ~SqliteChangeFeed() override;
    SqliteChangeFeed(const SqliteChangeFeed&) = delete;
    SqliteChangeFeed& operator=(const SqliteChangeFeed&) = delete;

    bool hasLog() override;
    FeedPosition position() override;
    ChangeBatch changesSince(const FeedPosition& from, int maxChanges) override;
    void watch(std::function<void()> wakeUp) override;

    // One tick of the timer: true (and the wake-up called, when watched) when another connection
    // committed since the last tick or position(), or the last read failed. Never waits for a lock:
    // a file locked just now is asked again at the next tick.
    bool checkForChanges();

private:
    qint64 dataVersion(bool wait);
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cursor
