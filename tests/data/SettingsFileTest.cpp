// The settings file beside the program: naming a database server instead of the file.
#include "data/SettingsFile.h"
#include "core/Errors.h"
#include "data/Connection.h"
#include "engine/CursorConnection.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace data;

namespace {

class SettingsFile : public testing::Test {
protected:
    QString directory() const { return dir_.path() + '/'; }
    void write(const QByteArray& text) {
        QFile file(directory() + "Korvela.ini");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QString fileString() const {
        return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + directory() +
               "Korvela.mdb;Persist Security Info=False";
    }
    QString refusal() {
        try {
            korvelaConnectionString(directory());
        } catch (const core::EOleException& e) {
            return e.message();
        }
        return "<no error>";
    }
    QTemporaryDir dir_;
};

TEST_F(SettingsFile, AbsentOrNamingNoServerLeavesTheFileBesideTheProgram) {
    EXPECT_EQ(korvelaConnectionString(directory()), fileString());
    for (const QByteArray& text :
         {QByteArray(""), QByteArray("; nothing here\n"), QByteArray("[Database]\nServer=\n"),
          QByteArray("[Other]\nServer=host=elsewhere\n"), QByteArray("[Database]\nPort=5\n")}) {
        write(text);
        EXPECT_EQ(korvelaConnectionString(directory()), fileString()) << text.constData();
    }
    QFile::remove(directory() + "Korvela.ini");
    ASSERT_TRUE(QDir(directory()).mkdir("Korvela.ini")); // a folder is no settings file
    EXPECT_EQ(korvelaConnectionString(directory()), fileString());
}

TEST_F(SettingsFile, AServerLineNamesTheServerWithItsLibpqString) {
    write(
        "; the shop's server\r\n[ database ]\r\n  Server = host=10.0.0.5 port=5433 dbname=korvela "
        "user=tezgah sslmode=require  \r\n");
    const QString s = korvelaConnectionString(directory());
    EXPECT_EQ(s, "Provider=PostgreSQL;Server=host=10.0.0.5 port=5433 dbname=korvela user=tezgah "
                 "sslmode=require");
    EXPECT_EQ(cursor::Connection::valueOf(s, "Provider"), "PostgreSQL");
    EXPECT_EQ(cursor::Connection::valueOf(s, "Server"),
              "host=10.0.0.5 port=5433 dbname=korvela user=tezgah sslmode=require");
    EXPECT_EQ(cursor::Connection::dataSourceOf(s), "");
}

TEST_F(SettingsFile, ServerStringsWithSemicolonsAndQuotesSurviveTheConnectionString) {
    write("[Database]\nServer=\"host=a application_name='Tezgah; \"\"1\"\"'\"\n");
    const QString s = korvelaConnectionString(directory());
    EXPECT_EQ(cursor::Connection::valueOf(s, "Server"),
              "host=a application_name='Tezgah; \"\"1\"\"'");
    write("[Database]\nServer=postgresql://tezgah@db.local:5432/korvela?sslmode=prefer\n");
    EXPECT_EQ(cursor::Connection::valueOf(korvelaConnectionString(directory()), "Server"),
              "postgresql://tezgah@db.local:5432/korvela?sslmode=prefer");
}

TEST_F(SettingsFile, APasswordOrAnUnreadableServerStringIsRefusedWithTheFileNamed) {
    const QString path = directory() + "Korvela.ini";
    write("[Database]\nServer=host=db user=tezgah password=gizli\n");
    EXPECT_EQ(refusal(), "'" + path +
                             "': The server connection string must not hold a password: put it "
                             "in the PostgreSQL password file (~/.pgpass)");
    write("[Database]\nServer=postgresql://tezgah:gizli@db/korvela\n");
    EXPECT_EQ(refusal(), "'" + path +
                             "': The server connection string must not hold a password: put it "
                             "in the PostgreSQL password file (~/.pgpass)");
    write("[Database]\nServer=host=db nosuchoption=1\n");
    EXPECT_EQ(refusal(), "'" + path +
                             "': The server connection string cannot be read: invalid connection "
                             "option \"nosuchoption\"");
    write("[Database]\nServer=host='db\n");
    EXPECT_TRUE(
        refusal().startsWith("'" + path + "': The server connection string cannot be read: "))
        << refusal().toStdString();
}

TEST_F(SettingsFile, AServerThatCannotBeReachedFailsWithPostgresqlsMessage) {
    // Port 1 on this machine: nothing listens, the refusal is immediate.
    write("[Database]\nServer=host=127.0.0.1 port=1 dbname=korvela connect_timeout=3\n");
    TConnection connection;
    connection.setConnectionString(korvelaConnectionString(directory()));
    try {
        connection.open();
        FAIL() << "connected to port 1";
    } catch (const core::EOleException& e) {
        EXPECT_TRUE(e.message().contains("127.0.0.1")) << e.message().toStdString();
        EXPECT_TRUE(e.message().contains("Connection refused")) << e.message().toStdString();
        EXPECT_FALSE(e.message().endsWith('.'));
        EXPECT_FALSE(e.message().contains('\n'));
    }
    EXPECT_FALSE(connection.connected());
}

// Every kind of line the reader meets, each followed by "[Database]\nServer=kept" so that a line
// that is not taken for what it is not leaves the value found.
struct SettingsLine {
    const char* text;
    const char* server; // [Database] Server after the line, then "Server=kept" in [Database]
};

class SettingsLines : public ::testing::TestWithParam<SettingsLine> {};

TEST_P(SettingsLines, EachLineIsTakenForWhatItIsOrIgnored) {
    const QString text = QString::fromUtf8(GetParam().text);
    EXPECT_EQ(TSettingsFile::parse(text).value("Database", "Server").toStdString(),
              GetParam().server)
        << GetParam().text;
    EXPECT_EQ(TSettingsFile::parse(text + "\n[Database]\nServer=kept\n")
                  .value("DATABASE", "server")
                  .toStdString(),
              "kept")
        << "a later value holds";
}

INSTANTIATE_TEST_SUITE_P(
    Korvela, SettingsLines,
    ::testing::Values(SettingsLine{"[Database]\nServer=a", "a"},
                      SettingsLine{"  [ database ]  \r\n  SERVER  =  a b  \r\n", "a b"},
                      SettingsLine{"[Database]\nServer=\"a=b\"", "a=b"},
                      SettingsLine{"[Database]\nServer=\"a", "\"a"}, // one quote: kept as it stands
                      SettingsLine{"[Database]\nServer=\"\"", ""},   // empty in quotes
                      SettingsLine{"[Database]\nServer=", ""},       // present, empty
                      SettingsLine{"Server=a\n[Database]", ""},      // before the first section
                      SettingsLine{"[Database\nServer=a", ""}, // "[" without "]": no section starts
                      SettingsLine{"[Database]\nServer a", ""},   // no "="
                      SettingsLine{"[Database]\n; Server=a", ""}, // comment
                      SettingsLine{"[Database]\n# Server=a", ""}, // comment
                      SettingsLine{"[Database]\n=a", ""},         // no name
                      SettingsLine{"[Database]\nServer=a\n[Other]\nServer=b", "a"},
                      SettingsLine{"[Database]\nServer=a=b;c", "a=b;c"}, SettingsLine{"", ""}));

TEST(SettingsFileRead, AMissingFileOrAFolderHoldsNoValues) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.ini";
    EXPECT_TRUE(TSettingsFile::read(path).value("Database", "Server").isNull());
    ASSERT_TRUE(QDir(dir.path()).mkdir("Korvela.ini"));
    EXPECT_TRUE(TSettingsFile::read(path).value("Database", "Server").isNull());
}

} // namespace
