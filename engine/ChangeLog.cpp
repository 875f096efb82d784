// Reading the change log: the statement, and how a place is checked against it.
#include "engine/ChangeLog.h"

#include <algorithm>

namespace cursor::changelog {

// The same text on both engines: SQLite takes "$1" as a named parameter, PostgreSQL as the first.
// No ORDER BY over the parts: batchOf puts the rows in order. The table and the kind come as
// numbers: SQLite copies every text a subquery of a compound hands on (an allocation each).
// The typed nulls let PostgreSQL match the parts' columns.
#define KORVELA_NO_CHANGE "CAST(NULL AS INTEGER), CAST(NULL AS BIGINT), CAST(NULL AS BIGINT), 0"
const char* const kReadSql =
    "SELECT 0, f_sira, f_etiket, " KORVELA_NO_CHANGE " FROM t_degisiklik_ufuk "
    "UNION ALL SELECT 1, id, f_etiket, " KORVELA_NO_CHANGE " FROM t_degisiklik WHERE id = $1 "
    "UNION ALL SELECT * FROM (SELECT 2, id, f_etiket, " KORVELA_NO_CHANGE " FROM t_degisiklik "
    "ORDER BY id DESC LIMIT 1) AS son "
    "UNION ALL SELECT * FROM (SELECT 3, id, f_etiket, CASE f_tablo WHEN 't_musteri' THEN 1 "
    "WHEN 't_servis' THEN 2 ELSE 0 END, f_anahtar, f_musteri, CASE f_tur WHEN 'I' THEN 1 WHEN "
    "'D' THEN 2 ELSE 3 END FROM t_degisiklik WHERE id > $1 ORDER BY id LIMIT $2) AS yeni";
#undef KORVELA_NO_CHANGE

namespace {

const Row* partOf(const std::vector<Row>& rows, int part) {
    for (const Row& row : rows)
        if (row.part == part)
            return &row;
    return nullptr;
}

FeedPosition placeOf(const Row& row) {
    return {row.seq, row.check, true};
}

// Whether `from` is a place in the history the log holds now: the horizon itself, or a change
// after it that is still there with the same check value.
bool isPlaceInLog(const std::vector<Row>& rows, const FeedPosition& from) {
    const Row* horizon = partOf(rows, 0);
    if (!horizon || from.seq < horizon->seq)
        return false;
    if (from.seq == horizon->seq)
        return from.check == horizon->check;
    const Row* atPlace = partOf(rows, 1);
    return atPlace && atPlace->check == from.check;
}

ChangeKind kindOf(int code) {
    switch (code) {
    case 1:
        return ChangeKind::Insert;
    case 2:
        return ChangeKind::Delete;
    default:
        return ChangeKind::Update;
    }
}

// The names the table numbers stand for: no allocation per change.
QByteArray tableOf(int code) {
    switch (code) {
    case 1:
        return QByteArrayLiteral("t_musteri");
    case 2:
        return QByteArrayLiteral("t_servis");
    default:
        return {};
    }
}

} // namespace

FeedPosition positionOf(const std::vector<Row>& rows) {
    if (const Row* last = partOf(rows, 2))
        return placeOf(*last);
    if (const Row* horizon = partOf(rows, 0))
        return placeOf(*horizon);
    return {};
}

ChangeBatch batchOf(std::vector<Row>& rows, const FeedPosition& from, int maxChanges) {
    // The statement leaves the order to the engine (sorting there costs more than here).
    const auto before = [](const Row& a, const Row& b) {
        return a.part != b.part ? a.part < b.part : a.seq < b.seq;
    };
    if (!std::is_sorted(rows.begin(), rows.end(), before))
        std::sort(rows.begin(), rows.end(), before);
    ChangeBatch batch;
    batch.next = positionOf(rows);
    if (!partOf(rows, 0)) // the horizon row is gone: the log cannot be trusted
        return batchWithoutLog(from);
    if (!from.hasLog || !isPlaceInLog(rows, from)) {
        batch.outcome = ChangeBatch::Outcome::Reload;
        return batch;
    }
    batch.next = from;
    batch.changes.reserve(rows.size());
    for (const Row& row : rows) {
        if (row.part != 3)
            continue;
        if (int(batch.changes.size()) == maxChanges) {
            batch.changes.clear();
            batch.next = positionOf(rows);
            batch.outcome = ChangeBatch::Outcome::Reload;
            return batch;
        }
        batch.next = placeOf(row);
        if (row.table == 0) // not a table of the log's triggers
            continue;
        batch.changes.push_back(
            {row.seq, tableOf(row.table), row.key, row.customer, kindOf(row.kind)});
    }
    batch.outcome = ChangeBatch::Outcome::Changes;
    return batch;
}

ChangeBatch batchWithoutLog(const FeedPosition& from) {
    ChangeBatch batch;
    batch.outcome = from.hasLog ? ChangeBatch::Outcome::Reload : ChangeBatch::Outcome::NoLog;
    return batch;
}

} // namespace cursor::changelog
