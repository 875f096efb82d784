// Checking a Korvela database: integrity, the two tables' columns, row counts and orphan visits.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace admin {

// A visit whose id_musteri names no customer (or is NULL).
struct Orphan {
    std::int64_t id = 0;
    std::optional<std::int64_t> customer;
};
QString orphanText(const Orphan& orphan); // "t_servis id 71: id_musteri 9999, no such customer"

struct CheckResult {
    QStringList integrity; // "ok", or SQLite's findings
    QStringList schemaProblems;
    std::int64_t customers = 0;
    std::int64_t services = 0;
    std::vector<Orphan> orphans;
    bool changeLog = false; // made by an earlier build without it: no live refresh, still ok
    bool ok() const {
        return integrity == QStringList{QStringLiteral("ok")} && schemaProblems.isEmpty();
    }
};

// Reads PATH without changing it. Throws Error when it is not an SQLite file at all.
CheckResult checkDatabase(const QString& path);
// The lines `korvela-admin check` prints.
QString checkReport(const QString& path, const CheckResult& result);

} // namespace admin
