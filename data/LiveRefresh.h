// TLiveRefresh: record sets kept up to date with what other workstations save, from the
// database's change feed.
#pragma once

#include <QByteArray>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace data {

class TConnection;
class TDataSet;

// Follows the change feed of a connection's database (cursor::ChangeFeed) for record sets that
// show rows of t_musteri or t_servis, and shows in them what any connection saved: the rows each
// set shows are read again by key (TDataSet::refreshRecords), or the set reads everything again
// (TDataSet::refreshAll) when the feed cannot tell what changed or when that is cheaper. A wake-up
// is answered after kGatherMs, so a burst of commits is read and shown once; each set is told
// its links once per refresh. A set of one customer's visits (its customer set with
// setCustomer) counts only that customer's visits, so other customers' cost nothing visible.
// While mayShow says no (a dialog or box is open) or any followed set is in edit or insert,
// what was read waits and is shown once it may (asked every kRetryMs): the record being edited
// is never touched. A read or refresh that fails (the server away, the file locked) is tried
// again at the next wake-up or after kFailedRetryMs; nothing is reported. The sets and the
// connection are the caller's and must outlive this object; it must be stopped (or destroyed)
// before the connection closes. A QObject only so that its owner's tools can find it by name.
// One thread, the event loop's.
class TLiveRefresh : public QObject {
    Q_OBJECT
public:
    static constexpr int kGatherMs = 25;
    static constexpr int kRetryMs = 100;
    static constexpr int kFailedRetryMs = 1000;
    // More keys than this, or than half the set's rows, are shown by reading the set again.
    static constexpr int kMostKeys = 2000;

    explicit TLiveRefresh(TConnection& connection, QObject* parent = nullptr);
    ~TLiveRefresh() override;
    TLiveRefresh(const TLiveRefresh&) = delete;
    TLiveRefresh& operator=(const TLiveRefresh&) = delete;

    // A set showing rows of `table` ("t_musteri", "t_servis"). Sets are refreshed in the order
    // they were added: a customer set before the visit set that follows its current customer.
    void follow(TDataSet& set, const QByteArray& table);
    // The customer whose visits the set shows (none: every row of its table counts). What was
    // gathered for the set before is dropped: it reads its rows anew for another customer.
    void setCustomer(TDataSet& set, std::optional<qint64> customer);

    // Takes the feed's place and starts watching; call it before the sets read their rows, so
    // that nothing committed meanwhile is missed. Returns false when the database has no change
    // log (made by an earlier build): then nothing is shown until an upgrade adds it, which the
    // feed notices by itself. Raises what the engine raises.
    bool start();
    void stop();
    bool started() const;

    // Asked before showing anything; false keeps it waiting. Unset: always.
    std::function<bool()> mayShow;
    // Called once after a set showed what changed (for example to sum the visits again).
    std::function<void(TDataSet&)> shown;

    // Reads the record with this key again at the next refresh, soon (a delete that failed
    // because another workstation changed or deleted the row).
    void reread(TDataSet& set, qint64 key);
    // Reads the feed now and shows what it holds, as a wake-up would.
    void refreshNow();
    // Whether something read waits to be shown.
    bool pending() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace data
