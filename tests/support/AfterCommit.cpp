// Watching a connection's statements to run an action right after a commit.
#include "tests/support/AfterCommit.h"

#include <cstring>

namespace testsupport {

AfterCommit::AfterCommit(sqlite3* db, std::function<void()> action)
    : db_(db), action_(std::move(action)) {
    sqlite3_trace_v2(db_, SQLITE_TRACE_STMT, &AfterCommit::onStatement, this);
}

AfterCommit::~AfterCommit() {
    sqlite3_trace_v2(db_, 0, nullptr, nullptr);
}

int AfterCommit::onStatement(unsigned, void* self, void*, void* sql) {
    auto* watcher = static_cast<AfterCommit*>(self);
    const char* text = static_cast<const char*>(sql);
    if (!text || watcher->fired_)
        return 0;
    if (std::strncmp(text, "COMMIT", 6) == 0) {
        watcher->committed_ = true;
    } else if (watcher->committed_ && std::strncmp(text, "SELECT", 6) == 0) {
        watcher->fired_ = true;
        watcher->action_();
    }
    return 0;
}

} // namespace testsupport
