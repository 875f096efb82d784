// ChangeLog: the change log as every engine keeps it, the one statement that reads it, and how
// that statement's rows become a ChangeBatch.
#pragma once

#include "engine/ChangeFeed.h"

#include <QByteArray>
#include <optional>
#include <vector>

namespace cursor::changelog {

// The log's two tables. t_degisiklik: one row per changed row, id the rising sequence number;
// f_tablo, f_anahtar (the row's id), f_musteri (a visit's customer), f_tur ('I', 'U' or 'D') and
// f_etiket, a random check value. t_degisiklik_ufuk: one row, f_sira and f_etiket of the last
// change pruned (0 and a random value before any): a place before it is lost. The engines'
// triggers write them (SqliteChangeFeed.cpp, pgengine/ServerChangeLog.cpp); nothing else does.
inline constexpr const char* kLogTable = "t_degisiklik";
inline constexpr const char* kHorizonTable = "t_degisiklik_ufuk";

// The log keeps the latest kKept changes: once kKept + kPruneStep are there, the writer that
// adds the next one prunes all older ones, so a burst costs one prune per kPruneStep changes.
inline constexpr int kKept = 20000;
inline constexpr int kPruneStep = 2000;

// The statement every engine runs to read the log, with two integer parameters: $1 the place's
// sequence number (-1 for none), $2 how many changes to read at most. One statement, so it reads
// one moment of the log. Its rows (part, seq, check, table, key, customer, kind) are all numbers,
// in no set order, by part: 0 the pruned horizon; 1 the change at the place, if it is still
// there; 2 the last change, if any; 3 the first $2 changes after the place, with the table as 1
// for t_musteri, 2 for t_servis (0 for any other), and the kind as 1 for 'I', 2 for 'D', 3 for
// 'U'.
extern const char* const kReadSql;

// One row of kReadSql.
struct Row {
    int part = 0;
    qint64 seq = 0;
    qint64 check = 0;
    int table = 0;
    qint64 key = 0;
    std::optional<qint64> customer;
    int kind = 0;
};

// The place after the last change, from kReadSql's rows.
FeedPosition positionOf(const std::vector<Row>& rows);
// The answer to changesSince(from, maxChanges), from kReadSql's rows read with from's sequence
// number and maxChanges + 1 as the parameters. Puts the rows in order.
ChangeBatch batchOf(std::vector<Row>& rows, const FeedPosition& from, int maxChanges);
// The answer when the database has no log: Reload from a place that had one, else NoLog.
ChangeBatch batchWithoutLog(const FeedPosition& from);

} // namespace cursor::changelog
