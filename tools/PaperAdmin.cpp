// korvela-admin statement/form/debtors: the papers written as PDF through the program's own
// data layer and page layout.
#include "tools/PaperAdmin.h"

#include "core/Errors.h"
#include "data/Connection.h"
#include "reports/Papers.h"
#include "tools/ServerAdmin.h"
#include "xlib/XLib.h"

#include <QFileInfo>
#include <cstdio>

namespace paperadmin {

namespace {

int fail(const QString& text) {
    std::fprintf(stderr, "korvela-admin: %s\n", text.toUtf8().constData());
    return 1;
}

// A record id as typed: a positive integer.
std::optional<qint64> idOf(const QString& text) {
    bool ok = false;
    const qint64 id = text.toLongLong(&ok);
    if (!ok || id <= 0)
        return std::nullopt;
    return id;
}

} // namespace

bool isPaperCommand(const QStringList& args) {
    return args.size() >= 2 &&
           (args[1] == QLatin1String("statement") || args[1] == QLatin1String("form") ||
            args[1] == QLatin1String("debtors"));
}

const char* usage() {
    return "       korvela-admin statement DB CUSTOMER_ID OUT.pdf\n"
           "       korvela-admin form DB VISIT_ID OUT.pdf\n"
           "       korvela-admin debtors DB OUT.pdf\n";
}

int run(const QStringList& args) {
    const QString command = args.value(1);
    const bool debtors = command == QLatin1String("debtors");
    if (args.size() != (debtors ? 4 : 5)) {
        std::fputs(usage(), stderr);
        return 2;
    }
    const QString database = args[2];
    const QString out = args.last();
    std::optional<qint64> id;
    if (!debtors) {
        id = idOf(args[3]);
        if (!id)
            return fail(QStringLiteral("'%1' is not a %2 id (a whole number above 0)")
                            .arg(args[3], command == QLatin1String("form")
                                              ? QStringLiteral("visit")
                                              : QStringLiteral("customer")));
    }
    const bool server = serveradmin::isServerTarget(database);
    if (!server && !QFileInfo(database).isFile())
        return fail(QStringLiteral("there is no database file '%1'").arg(database));
    try {
        data::TConnection connection;
        connection.setConnectionString(server ? data::serverConnectionString(database)
                                              : data::fileConnectionString(database));
        connection.open();
        // The heading of the program beside which this tool lies.
        const reports::TPaperHeading heading = reports::paperHeading(xlib::applicationDirectory());
        const reports::TPaper paper = debtors ? reports::debtorsPaper(connection, heading)
                                      : command == QLatin1String("form")
                                          ? reports::serviceFormPaper(connection, *id, heading)
                                          : reports::statementPaper(connection, *id, heading);
        const int pages = reports::writePdf(paper, out);
        std::printf("korvela-admin: wrote '%s' (%s, %d %s)\n", out.toUtf8().constData(),
                    paper.title.toUtf8().constData(), pages, pages == 1 ? "page" : "pages");
        return 0;
    } catch (const core::Exception& e) {
        return fail(e.message());
    }
}

} // namespace paperadmin
