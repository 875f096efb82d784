// Reducing a run of changes to one per row and customer.
#include "engine/ChangeFeed.h"

#include <algorithm>
#include <map>
#include <tuple>

namespace cursor {

std::vector<Change> collapsed(const std::vector<Change>& changes) {
    using RowKey = std::tuple<QByteArray, qint64, bool, qint64>;
    struct Run {
        ChangeKind first;
        Change last;
    };
    std::map<RowKey, Run> runs;
    for (const Change& change : changes) {
        const RowKey key{change.table, change.key, change.customer.has_value(),
                         change.customer.value_or(0)};
        const auto [it, added] = runs.try_emplace(key, Run{change.kind, change});
        if (!added)
            it->second.last = change;
    }
    std::vector<Change> result;
    result.reserve(runs.size());
    for (const auto& [key, run] : runs) {
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
