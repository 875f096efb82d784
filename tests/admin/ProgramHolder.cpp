// Test helper: a program that has a database file open through the engine, as Korvela Takip has
// it, until its standard input ends; it prints "open" once it holds the file.
#include "core/Errors.h"
#include "engine/CursorConnection.h"

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    cursor::Connection connection;
    try {
        connection.open(QStringLiteral("Data Source=\"%1\"").arg(QString::fromLocal8Bit(argv[1])));
        connection.requireWritable(); // its check has passed, as before a save
    } catch (const core::Exception& e) {
        std::fprintf(stderr, "%s\n", e.message().toUtf8().constData());
        return 1;
    }
    std::printf("open\n");
    std::fflush(stdout);
    std::string line;
    std::getline(std::cin, line);
    return 0;
}
