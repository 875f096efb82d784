// ServerChangeFeed: the change feed of a server database, woken by the server's notifications.
#pragma once

#include "engine/ChangeFeed.h"

#include <QTimer>
#include <memory>
#include <vector>

namespace cursor::changelog {
struct Row;
}

namespace pgengine {

class Session;

// Reads the change log through the engine's session. While watched, a connection of its own
// listens on kChangeChannel, which the triggers notify when a transaction that changed t_musteri
// or t_servis commits; the event loop watches its socket, so nothing is sent or polled while
// nothing changes. It connects without blocking the event loop; when the server goes away, it
// tries again after 1 s, then less often (at most every kMostRetryMs), and wakes once it listens
// again. Owned by the ServerBackend.
class ServerChangeFeed final : public cursor::ChangeFeed {
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kMostRetryMs = 8000;

    explicit ServerChangeFeed(Session& session);
    ~ServerChangeFeed() override;
    ServerChangeFeed(const ServerChangeFeed&) = delete;
    ServerChangeFeed& operator=(const ServerChangeFeed&) = delete;

    bool hasLog() override;
    cursor::FeedPosition position() override;
    cursor::ChangeBatch changesSince(const cursor::FeedPosition& from, int maxChanges) override;
    void watch(std::function<void()> wakeUp) override;

    // Whether notifications reach the feed now (watched, connected, listening).
    bool listening() const;

private:
    struct Listener;
    // kReadSql's rows for a place and a count; false when the database has no log.
    bool readLog(qint64 from, int count, std::vector<cursor::changelog::Row>* rows);

    Session& session_;
    std::unique_ptr<Listener> listener_;
    std::function<void()> wakeUp_;
    QTimer wakeTimer_; // wakeUp_ from the event loop: after a notification, or to read again
};

} // namespace pgengine
