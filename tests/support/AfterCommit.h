// Injects an action between a connection's next COMMIT and the statement it runs after it.
#pragma once

#include <functional>
#include <sqlite3.h>

namespace testsupport {

// While alive, watches a connection's statements: the first SELECT it starts after a COMMIT
// (the read-back of a row just saved) first runs the action, once. SQLite calls the watcher
// before the statement takes any lock, so the action may lock the file from another connection.
class AfterCommit {
public:
    AfterCommit(sqlite3* db, std::function<void()> action);
    ~AfterCommit();
    AfterCommit(const AfterCommit&) = delete;
    AfterCommit& operator=(const AfterCommit&) = delete;
    bool fired() const { return fired_; }

private:
    static int onStatement(unsigned type, void* self, void* statement, void* sql);
    sqlite3* db_;
    std::function<void()> action_;
    bool committed_ = false;
    bool fired_ = false;
};

} // namespace testsupport
