// Test helper: opens the server engine on the libpq connection string it is given, as the program
// does for a workstation on a server, twice; prints "open" or the message of each failure.
#include "core/Errors.h"
#include "engine/CursorConnection.h"
#include "pgengine/ServerBackend.h"

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    int failures = 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        cursor::Connection connection;
        try {
            connection.open(
                std::make_unique<pgengine::ServerBackend>(QString::fromLocal8Bit(argv[1])));
            std::printf("open\n");
        } catch (const core::Exception& e) {
            std::printf("%s\n", e.message().toUtf8().constData());
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
