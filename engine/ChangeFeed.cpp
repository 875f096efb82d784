// Reducing a run of changes to one per row and customer.
#include "engine/ChangeFeed.h"

#include <algorithm>
#include <functional>
#include <unordered_map>

namespace cursor {

std::vector<Change> collapsed(const std::vector<Change>& changes) {
    // A row is its table (numbered in the order met: a feed names few tables), key and customer.
    struct RowKey {
        std::size_t table;
        qint64 key;
        bool hasCustomer;
        qint64 customer;
        bool operator==(const RowKey&) const = default;
    };
    struct RowHash {
        std::size_t operator()(const RowKey& k) const {
            return std::hash<qint64>()(k.key) ^ (std::hash<qint64>()(k.customer) * 31) ^
                   (k.table << 1) ^ std::size_t(k.hasCustomer);
        }
    };
    struct Run {
        ChangeKind first;
        Change last;
    };
    std::vector<QByteArray> tables;
    std::vector<Run> runs;
    std::unordered_map<RowKey, std::size_t, RowHash> runOf;
    runOf.reserve(changes.size());
    for (const Change& change : changes) {
        std::size_t table = 0;
        while (table < tables.size() && tables[table] != change.table)
            ++table;
        if (table == tables.size())
            tables.push_back(change.table);
        const RowKey key{table, change.key, change.customer.has_value(),
                         change.customer.value_or(0)};
        const auto [it, added] = runOf.try_emplace(key, runs.size());
        if (added)
            runs.push_back({change.kind, change});
        else
            runs[it->second].last = change;
    }
    std::vector<Change> result;
    result.reserve(runs.size());
    for (const Run& run : runs) {
        Change change = run.last;
        if (change.kind != ChangeKind::Delete)
            change.kind = run.first == ChangeKind::Insert ? ChangeKind::Insert : ChangeKind::Update;
        result.push_back(change);
    }
    std::sort(result.begin(), result.end(),
              [](const Change& a, const Change& b) { return a.seq < b.seq; });
    return result;
}

} // namespace cursor
