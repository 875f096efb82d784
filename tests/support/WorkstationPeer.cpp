// Another workstation for the live refresh tests: the program's own record sets on the same
// database (a file or a server) in a process of its own, saving what it is told line by line on
// stdin (one reply line per command on stdout).
//
//   add-customer <TAB> name                        -> ok <TAB> id
//   set-customer <TAB> id <TAB> field <TAB> text   -> ok
//   delete-customer <TAB> id                       -> ok
//   add-visit <TAB> customer <TAB> km <TAB> labour -> ok <TAB> id   (labour in whole liras)
//   set-visit <TAB> id <TAB> field <TAB> text      -> ok
//   delete-visit <TAB> id                          -> ok
// A failing command answers "error <TAB> message".
#include "core/Errors.h"
#include "data/Connection.h"
#include "data/Query.h"
#include "data/Schema.h"
#include "data/Totals.h"

#include <QCoreApplication>
#include <QStringList>
#include <iostream>
#include <string>

namespace {

// A set over one row of a table (or none: an empty set to insert into).
std::unique_ptr<data::TQuery> rowOf(data::TConnection& connection, const char* table, qint64 id) {
    auto q = std::make_unique<data::TQuery>(QString::fromLatin1(table), &connection);
    if (QLatin1String(table) == QLatin1String("t_musteri")) {
        data::declareCustomerFields(*q);
    } else {
        data::declareServiceFields(*q);
        q->OnCalcFields = [](data::TDataSet& ds) { data::calculateVisit(ds); };
    }
    q->addSql(QStringLiteral("select * from %1 where id=%2").arg(QLatin1String(table)).arg(id));
    q->open();
    return q;
}

QString run(data::TConnection& connection, const QStringList& parts) {
    const QString& command = parts.first();
    const auto arg = [&](int i) { return i < parts.size() ? parts[i] : QString(); };
    const char* table = command.endsWith(QLatin1String("customer")) ? "t_musteri" : "t_servis";
    if (command == QLatin1String("add-customer")) {
        auto q = rowOf(connection, table, -1);
        q->insert();
        q->fieldByName(QStringLiteral("f_adi")).setText(arg(1));
        q->post();
        return QStringLiteral("ok\t") + q->fieldByName(QStringLiteral("id")).asString();
    }
    if (command == QLatin1String("add-visit")) {
        auto q = rowOf(connection, table, -1);
        q->insert();
        q->fieldByName(QStringLiteral("id_musteri")).setAsInteger(arg(1).toLongLong());
        q->fieldByName(QStringLiteral("f_km")).setText(arg(2));
        q->fieldByName(QStringLiteral("f_iscilik"))
            .setAsMoney(Money::fromUnits(arg(3).toLongLong()));
        q->post();
        return QStringLiteral("ok\t") + q->fieldByName(QStringLiteral("id")).asString();
    }
    if (command.startsWith(QLatin1String("set-"))) {
        auto q = rowOf(connection, table, arg(1).toLongLong());
        q->edit();
        q->fieldByName(arg(2)).setText(arg(3));
        q->post();
        return QStringLiteral("ok");
    }
    if (command.startsWith(QLatin1String("delete-"))) {
        auto q = rowOf(connection, table, arg(1).toLongLong());
        q->remove();
        return QStringLiteral("ok");
    }
    throw core::EOleException(QStringLiteral("unknown command ") + command);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: workstation_peer CONNECTION-STRING\n";
        return 2;
    }
    data::TConnection connection;
    try {
        connection.setConnectionString(QString::fromUtf8(argv[1]));
        connection.open();
    } catch (const core::Exception& e) {
        std::cout << "error\t" << e.message().toStdString() << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList parts = QString::fromStdString(line).split(QLatin1Char('\t'));
        QString reply;
        try {
            reply = run(connection, parts);
        } catch (const core::Exception& e) {
            reply = QStringLiteral("error\t") + e.message();
        }
        std::cout << reply.toStdString() << std::endl;
    }
    return 0;
}
