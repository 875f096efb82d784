// The database care commands of korvela-admin: argument parsing and exit codes.
#include "tools/admin/Commands.h"

#include "tools/admin/AccessImport.h"
#include "tools/admin/Backup.h"
#include "tools/admin/DatabaseCheck.h"
#include "tools/admin/Sqlite.h"

#include <cstdio>

namespace admin {

namespace {

// Splits the arguments after the command into options (from ALLOWED) and paths.
bool parse(const QStringList& args, const QStringList& allowed, QStringList* options,
           QStringList* paths) {
    for (int i = 2; i < args.size(); ++i) {
        if (args[i].startsWith(QStringLiteral("--"))) {
            if (!allowed.contains(args[i]))
                return false;
            *options << args[i];
        } else {
            *paths << args[i];
        }
    }
    return true;
}

int usage() {
    std::fputs(careUsage(), stderr);
    return 2;
}

int fail(const Error& e) {
    std::fprintf(stderr, "korvela-admin: %s\n", e.text.toUtf8().constData());
    return 1;
}

} // namespace

const char* careUsage() {
    return "       korvela-admin import OLD.mdb NEW.mdb [--force]\n"
           "       korvela-admin import --in-place PATH\n"
           "       korvela-admin backup DB DEST [--force]\n"
           "       korvela-admin restore BACKUP DB\n"
           "       korvela-admin check DB\n"
           "       korvela-admin export DB DIR [--bom]\n";
}

int runCareCommand(const QStringList& args) {
    if (args.size() < 2)
        return kNotACareCommand;
    const QString command = args[1];
    QStringList options, paths;
    if (command == QLatin1String("import")) {
        if (!parse(args, {QStringLiteral("--force"), QStringLiteral("--in-place")}, &options,
                   &paths))
            return usage();
        ImportOptions o;
        o.inPlace = options.contains(QStringLiteral("--in-place"));
        o.force = options.contains(QStringLiteral("--force"));
        if (o.inPlace ? (paths.size() != 1 || o.force) : paths.size() != 2)
            return usage();
        o.source = paths[0];
        if (!o.inPlace)
            o.target = paths[1];
        return runImport(o, stdout, stderr);
    }
    try {
        if (command == QLatin1String("backup")) {
            if (!parse(args, {QStringLiteral("--force")}, &options, &paths) || paths.size() != 2)
                return usage();
            std::fputs(backupDatabase(paths[0], paths[1], !options.isEmpty()).toUtf8().constData(),
                       stdout);
            return 0;
        }
        if (command == QLatin1String("restore")) {
            if (!parse(args, {}, &options, &paths) || paths.size() != 2)
                return usage();
            std::fputs(restoreDatabase(paths[0], paths[1]).toUtf8().constData(), stdout);
            return 0;
        }
        if (command == QLatin1String("check")) {
            if (!parse(args, {}, &options, &paths) || paths.size() != 1)
                return usage();
            const CheckResult r = checkDatabase(paths[0]);
            std::fputs(checkReport(paths[0], r).toUtf8().constData(), stdout);
            return r.ok() ? 0 : 1;
        }
        if (command == QLatin1String("export")) {
            if (!parse(args, {QStringLiteral("--bom")}, &options, &paths) || paths.size() != 2)
                return usage();
            std::fputs(exportDatabase(paths[0], paths[1], !options.isEmpty()).toUtf8().constData(),
                       stdout);
            return 0;
        }
    } catch (const Error& e) {
        return fail(e);
    }
    return kNotACareCommand;
}

} // namespace admin
