// ChangeFeed: which rows of t_musteri and t_servis any connection changed, read from the
// database's change log, and a wake-up on the event loop when another connection commits.
#pragma once

#include <QByteArray>
#include <functional>
#include <optional>
#include <vector>

namespace cursor {

// What happened to a row.
enum class ChangeKind { Insert, Update, Delete };

// One row written by a committed change. A visit moved to another customer (or a row whose key
// was changed by hand) comes as a Delete under its old customer and key followed by an Insert
// under the new ones, so a reader that shows one customer's visits sees it leave or arrive.
struct Change {
    qint64 seq = 0;                 // rising with every change, in commit order
    QByteArray table;               // "t_musteri" or "t_servis"
    qint64 key = 0;                 // the row's id
    std::optional<qint64> customer; // t_servis: the id_musteri the row has (a Delete: had)
    ChangeKind kind = ChangeKind::Update;
    bool operator==(const Change&) const = default;
};

// A place in the feed: the last change read, by its sequence number and a random check value
// the log keeps beside it, so that a place in a history a restore has replaced is never taken
// for the same number in the new one. hasLog is false for a place taken from a database that
// had no change log.
struct FeedPosition {
    qint64 seq = 0;
    qint64 check = 0;
    bool hasLog = false;
    bool operator==(const FeedPosition&) const = default;
};

// The answer to "what changed since this place".
struct ChangeBatch {
    enum class Outcome {
        Changes, // changes holds every change after the place, in order (maybe none)
        Reload,  // they cannot be told: the place fell behind the pruned part of the log, lies
                 // in a history a restore replaced, more changes wait than were asked for, or
                 // the log appeared or went away. Read everything again, then go on from next.
        NoLog,   // the database has no change log (made by an earlier build): no live refresh
    };
    Outcome outcome = Outcome::NoLog;
    std::vector<Change> changes;
    FeedPosition next; // where the next read starts
};

// The feed of one open database, the same on every engine. Triggers in the database (installed
// by korvela-admin create and upgrade) log every insert, update and delete of t_musteri and
// t_servis, by this program, another workstation or any other client, and keep only the latest
// few thousand; the feed reads that log through the engine's connection. Owned by the engine
// (Backend::changeFeed): do not delete it, and do not keep it past the connection's close.
// Errors are core::EOleException with the engine's text. One thread, the one with the event loop.
class ChangeFeed {
public:
    virtual ~ChangeFeed() = default;

    // Whether the database has the change log now.
    virtual bool hasLog() = 0;
    // The place after the last committed change: take it before reading the rows it stands for,
    // so a change committed in between is read again rather than missed.
    virtual FeedPosition position() = 0;
    // The changes committed after `from`, at most maxChanges of them (more give Reload).
    virtual ChangeBatch changesSince(const FeedPosition& from, int maxChanges) = 0;

    // From now on, calls wakeUp from the event loop soon after another connection may have
    // committed a change (at most one tick of the file's timer later; on a server when its
    // notification arrives, and once more whenever the feed reconnected after losing the server,
    // as changes may have been missed meanwhile). A wake-up may find nothing new. Nothing is
    // called while idle. After a changesSince that failed, the next tick (file) or a second
    // later (server) wakes again, so a failed read is retried. An empty function stops watching.
    // wakeUp may read the feed and stop watching, but must not close the connection (which
    // deletes the feed while it calls): post that to the event loop.
    virtual void watch(std::function<void()> wakeUp) = 0;
};

} // namespace cursor
