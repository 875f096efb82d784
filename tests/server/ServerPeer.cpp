// A second workstation for the server tests: the cursor engine on the server in a process of its
// own, driven line by line through stdin (one reply line per command on stdout).
//
//   open <TAB> sql               -> ok <TAB> record count
//   find <TAB> criterion         -> ok | none
//   set <TAB> column <TAB> text  -> ok            (starts an edit, or fills the new row)
//   add                          -> ok            (starts a new row)
//   update | cancel | delete     -> ok
//   value <TAB> column           -> ok <TAB> text
// A failing command answers "error <TAB> message".
#include "core/Errors.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "pgengine/ServerBackend.h"
#include "tests/support/ValueText.h"

#include <QStringList>
#include <iostream>
#include <string>

namespace {

int column(const cursor::Recordset& rs, const QString& name) {
    const int c = rs.findColumn(name);
    if (c < 0)
        throw core::EOleException(QStringLiteral("no column ") + name);
    return c;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: server_peer CONNECTION\n";
        return 2;
    }
    cursor::Connection connection;
    cursor::Recordset rs;
    try {
        connection.open(std::make_unique<pgengine::ServerBackend>(QString::fromUtf8(argv[1])));
    } catch (const core::Exception& e) {
        std::cout << "error\t" << e.message().toStdString() << std::endl;
        return 1;
    }
    std::cout << "ready" << std::endl;
    std::string line;
    while (std::getline(std::cin, line)) {
        const QStringList parts = QString::fromStdString(line).split('\t');
        const QString& command = parts.first();
        const auto arg = [&](int i) { return i < parts.size() ? parts[i] : QString(); };
        QString reply = QStringLiteral("ok");
        try {
            if (command == "open") {
                rs.open(connection, arg(1));
                reply += '\t' + QString::number(rs.recordCount());
            } else if (command == "find") {
                rs.moveFirst();
                if (!rs.find(arg(1)))
                    reply = QStringLiteral("none");
            } else if (command == "set") {
                rs.setValue(column(rs, arg(1)), arg(2));
            } else if (command == "add") {
                rs.addNew();
            } else if (command == "update") {
                rs.update();
            } else if (command == "cancel") {
                rs.cancelUpdate();
            } else if (command == "delete") {
                rs.deleteCurrent();
            } else if (command == "value") {
                reply += '\t' + testsupport::valueText(rs.value(column(rs, arg(1))));
            } else {
                reply = QStringLiteral("error\tunknown command ") + command;
            }
        } catch (const core::Exception& e) {
            reply = QStringLiteral("error\t") + e.message();
        }
        std::cout << reply.toStdString() << std::endl;
    }
    return 0;
}
