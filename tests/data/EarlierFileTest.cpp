// Files of earlier builds: refused by the program's connection, which names the command that
// upgrades them; files made now need no upgrade.
#include "tests/support/EarlierFile.h"
#include "core/Errors.h"
#include "data/Connection.h"
#include "engine/SqliteBackend.h"
#include "tests/support/TestDatabase.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace data;
using testsupport::EarlierFile;

namespace {

TEST(SchemaUpgrade, TheProgramRefusesAnEarlierFileWithTheCommandThatUpgradesIt) {
    EarlierFile file;
    file.exec("INSERT INTO t_musteri (f_adi) VALUES ('Ali')");
    const QByteArray before = file.bytes();
    TConnection connection;
    connection.setConnectionString(korvelaConnectionString(QFileInfo(file.path()).path() + '/'));
    try {
        connection.open();
        ADD_FAILURE() << "an earlier file was opened";
    } catch (const EOleException& e) {
        EXPECT_EQ(e.message(), upgradeNeededMessage(file.path()));
        EXPECT_TRUE(e.message().contains("korvela-admin upgrade \"" + file.path() + "\""));
    }
    EXPECT_FALSE(connection.connected());
    EXPECT_EQ(file.bytes(), before);
}

TEST(SchemaUpgrade, NewFilesNeedNone) {
    testsupport::TestDatabase db;
    cursor::SqliteBackend file;
    file.open(db.path());
    EXPECT_FALSE(file.schemaNeedsUpgrade());
    EarlierFile earlier;
    file.open(earlier.path());
    EXPECT_TRUE(file.schemaNeedsUpgrade());
}

} // namespace
