// TLiveRefresh: reading the change feed, gathering keys per record set, and showing them.
#include "data/LiveRefresh.h"

#include "core/Errors.h"
#include "data/Connection.h"
#include "data/DataSet.h"
#include "engine/Backend.h"
#include "engine/ChangeFeed.h"
#include "engine/ChangeLog.h"

#include <QTimer>
#include <algorithm>
#include <exception>
#include <set>

namespace data {

namespace {

// The feed is asked for as many changes as its log can hold: a reader still inside the log reads
// them as changes, and only one behind it reads everything again.
constexpr int kMostChanges = cursor::changelog::kKept + cursor::changelog::kPruneStep;

} // namespace

struct TLiveRefresh::Private {
    explicit Private(TLiveRefresh& owner, TConnection& c) : q(owner), connection(c) {}

    struct Follower {
        TDataSet* set = nullptr;
        QByteArray table;
        std::optional<qint64> customer; // only this customer's rows count
        std::set<qint64> keys;          // to read again
        bool everything = false;        // to read again in full
        bool owed() const { return everything || !keys.empty(); }
    };

    TLiveRefresh& q;
    TConnection& connection;
    cursor::ChangeFeed* feed = nullptr; // while started
    cursor::Backend* backend = nullptr; // the engine that owns the feed
    cursor::FeedPosition place;
    std::vector<Follower> followers;
    QTimer gather;       // a wake-up answered once a burst is over
    QTimer retry;        // what waits for mayShow, or for a failed read to be tried again
    bool unread = false; // the feed may hold changes not read yet

    Follower* followerOf(TDataSet& set) {
        for (Follower& f : followers)
            if (f.set == &set)
                return &f;
        return nullptr;
    }

    void wakeUp() {
        unread = true;
        if (!gather.isActive())
            gather.start();
    }

    bool mayShowNow() const {
        if (q.mayShow && !q.mayShow())
            return false;
        return std::none_of(followers.begin(), followers.end(),
                            [](const Follower& f) { return isEditing(f.set->state()); });
    }

    // Reads what the feed holds after the place and hands each change to the sets it concerns.
    // False when the feed could not be read (it is read again later).
    bool readFeed() {
        if (!feed || !unread)
            return true;
        cursor::ChangeBatch batch;
        try {
            batch = feed->changesSince(place, kMostChanges);
        } catch (const core::Exception&) {
            return false;
        }
        unread = false;
        place = batch.next;
        switch (batch.outcome) {
        case cursor::ChangeBatch::Outcome::NoLog:
            break;
        case cursor::ChangeBatch::Outcome::Reload:
            for (Follower& f : followers)
                f.everything = true;
            break;
        case cursor::ChangeBatch::Outcome::Changes:
            // Not collapsed first: a follower keeps keys, and a row changed many times adds its
            // key once.
            for (const cursor::Change& change : batch.changes)
                hand(change);
            break;
        }
        return true;
    }

    void hand(const cursor::Change& change) {
        for (Follower& f : followers) {
            // A closed set reads everything anew when it opens.
            if (f.table != change.table || f.everything || !f.set->active())
                continue;
            if (f.customer && change.customer != f.customer)
                continue;
            f.keys.insert(change.key);
            if (int(f.keys.size()) > kMostKeys)
                f.everything = true;
        }
    }

    // Shows what the sets owe, in the order they were added. False when a set could not be
    // refreshed (its keys stay owed).
    bool show() {
        bool ok = true;
        // A refresh may move the customer set's current record, whose AfterScroll opens the visit
        // set for another customer (setCustomer): look each follower up again by position.
        for (std::size_t i = 0; i < followers.size(); ++i) {
            Follower& f = followers[i];
            if (!f.owed())
                continue;
            TDataSet& set = *f.set;
            if (!set.active()) { // it reads everything anew when it opens
                f.keys.clear();
                f.everything = false;
                continue;
            }
            const bool everything = f.everything || tooManyFor(set, f.keys.size());
            const std::vector<qint64> keys(f.keys.begin(), f.keys.end());
            f.keys.clear();
            f.everything = false;
            try {
                if (everything ? set.refreshAll() : set.refreshRecords(keys)) {
                    if (q.shown)
                        q.shown(set);
                    continue;
                }
            } catch (const std::exception&) {
                ok = false;
            }
            // Not shown: owed again (the follower may have been dropped meanwhile).
            if (i < followers.size() && followers[i].set == &set) {
                followers[i].everything |= everything;
                if (!everything)
                    followers[i].keys.insert(keys.begin(), keys.end());
            }
        }
        return ok;
    }

    static bool tooManyFor(const TDataSet& set, std::size_t keys) {
        if (keys > std::size_t(kMostKeys))
            return true;
        try {
            return keys > 64 && keys * 2 > std::size_t(set.recordCount());
        } catch (const core::Exception&) {
            return false;
        }
    }

    // The gathering is over, or a retry is due: read, then show when allowed.
    void run() {
        retry.stop();
        const bool read = readFeed();
        bool shownAll = true;
        if (anythingOwed()) {
            if (!mayShowNow()) {
                retry.start(kRetryMs);
                return;
            }
            shownAll = show();
        }
        if (!read || !shownAll)
            retry.start(kFailedRetryMs);
    }

    bool anythingOwed() const {
        return std::any_of(followers.begin(), followers.end(),
                           [](const Follower& f) { return f.owed(); });
    }
};

TLiveRefresh::TLiveRefresh(TConnection& connection, QObject* parent)
    : QObject(parent), d(std::make_unique<Private>(*this, connection)) {
    d->gather.setSingleShot(true);
    d->gather.setInterval(kGatherMs);
    QObject::connect(&d->gather, &QTimer::timeout, [this] { d->run(); });
    d->retry.setSingleShot(true);
    QObject::connect(&d->retry, &QTimer::timeout, [this] { d->run(); });
}

TLiveRefresh::~TLiveRefresh() {
    stop();
}

void TLiveRefresh::follow(TDataSet& set, const QByteArray& table) {
    d->followers.push_back({&set, table, std::nullopt, {}, false});
}

void TLiveRefresh::setCustomer(TDataSet& set, std::optional<qint64> customer) {
    if (Private::Follower* f = d->followerOf(set)) {
        f->customer = customer;
        f->keys.clear();
        f->everything = false;
    }
}

bool TLiveRefresh::start() {
    stop();
    cursor::Backend& backend = d->connection.engine().backend();
    cursor::ChangeFeed& feed = backend.changeFeed();
    d->place = feed.position();
    d->feed = &feed;
    d->backend = &backend;
    d->unread = false;
    feed.watch([this] { d->wakeUp(); });
    return d->place.hasLog;
}

void TLiveRefresh::stop() {
    d->gather.stop();
    d->retry.stop();
    if (!d->feed)
        return;
    // A connection closed meanwhile has dropped its feed with its engine.
    if (d->connection.connected() && &d->connection.engine().backend() == d->backend)
        d->feed->watch({});
    d->feed = nullptr;
    d->backend = nullptr;
    for (Private::Follower& f : d->followers) {
        f.keys.clear();
        f.everything = false;
    }
}

bool TLiveRefresh::started() const {
    return d->feed != nullptr;
}

void TLiveRefresh::reread(TDataSet& set, qint64 key) {
    if (Private::Follower* f = d->followerOf(set)) {
        f->keys.insert(key);
        if (!d->gather.isActive())
            d->gather.start();
    }
}

void TLiveRefresh::refreshNow() {
    d->gather.stop();
    d->unread = d->feed != nullptr;
    d->run();
}

bool TLiveRefresh::pending() const {
    return d->unread || d->anythingOwed();
}

} // namespace data
