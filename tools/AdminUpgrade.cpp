// korvela-admin upgrade: runs the schema upgrade on one file (or server) and reports the outcome.
#include "tools/AdminUpgrade.h"

#include "core/Errors.h"
#include "tools/ServerAdmin.h"
#include "tools/admin/SchemaUpgrade.h"
#include "tools/admin/Sqlite.h"

#include <cstdio>

namespace {

int cannotUpgrade(const QByteArray& shown, const QString& why) {
    std::fprintf(stderr, "korvela-admin: cannot upgrade '%s': %s; the file was not changed\n",
                 shown.constData(), why.toUtf8().constData());
    return 1;
}

} // namespace

int adminUpgrade(const QStringList& args) {
    if (args.size() != 3 || args[2].startsWith("--")) {
        std::fprintf(stderr, "usage: korvela-admin upgrade PATH\n"
                             "       korvela-admin upgrade CONNECTION\n");
        return 2;
    }
    if (serveradmin::isServerTarget(args[2]))
        return serveradmin::upgrade(args[2]);
    const QByteArray shown = args[2].toUtf8();
    admin::UpgradeReport report;
    try {
        report = admin::upgradeDatabase(args[2]);
    } catch (const core::Exception& e) {
        return cannotUpgrade(shown, e.message());
    } catch (const admin::Error& e) {
        return cannotUpgrade(shown, e.cause);
    }
    switch (report.outcome) {
    case admin::UpgradeReport::Outcome::AlreadyCurrent:
        std::printf("korvela-admin: '%s' is already up to date\n", shown.constData());
        return 0;
    case admin::UpgradeReport::Outcome::Upgraded:
        std::printf("korvela-admin: upgraded '%s' (%d customers, %d visits kept)\n",
                    shown.constData(), report.customers, report.visits);
        return 0;
    case admin::UpgradeReport::Outcome::Refused:
        break;
    }
    std::fprintf(stderr, "korvela-admin: cannot upgrade '%s': %s\n", shown.constData(),
                 report.reason.toUtf8().constData());
    for (const QString& line : report.orphans)
        std::fprintf(stderr, "  %s\n", line.toUtf8().constData());
    if (!report.orphans.isEmpty())
        std::fprintf(stderr, "Delete these visits or add the customers they name (with those ids), "
                             "then run the upgrade again.\n");
    std::fprintf(stderr, "The file was not changed.\n");
    return 1;
}
