// Entry of the server engine tests: they need the throwaway cluster pg_virtualenv makes.
#include <QCoreApplication>
#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("PG_CLUSTER_CONF_ROOT") ||
        qEnvironmentVariableIsEmpty("PGVERSION")) {
        std::fprintf(stderr, "These tests start and stop a PostgreSQL cluster of their own: run "
                             "them under pg_virtualenv -t (ctest does).\n");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
