// TConnection: the database connection (dbsPRJ) and its connection string.
#pragma once

#include "engine/CursorConnection.h"

#include <QString>

namespace data {

// Opening connects the engine the string names: the file its Data Source names, or, when its
// Provider is kServerProvider, the database server its Server value names (a libpq connection
// string).
class TConnection {
public:
    TConnection() = default;
    const QString& connectionString() const { return connectionString_; }
    void setConnectionString(const QString& s) { connectionString_ = s; }
    bool connected() const { return engine_.isOpen(); }
    void setConnected(bool on);
    void open() { setConnected(true); }
    void close() { setConnected(false); }
    cursor::Connection& engine() { return engine_; }

private:
    QString connectionString_;
    cursor::Connection engine_;
};

inline constexpr const char* kDatabaseFileName = "Korvela.mdb";
inline constexpr const char* kSettingsFileName = "Korvela.ini";
inline constexpr const char* kServerProvider = "PostgreSQL";

// The program's connection string for a directory (ending in a separator): the database server
// that the settings file there names, or else the database file there. The settings file is
// optional; it names a server in its [Database] section:
//     [Database]
//     Server=host=192.168.1.10 port=5432 dbname=korvela user=tezgah sslmode=prefer
// A settings file that cannot be read, or whose Server value libpq cannot read or that holds a
// password, raises EOleException saying so.
QString korvelaConnectionString(const QString& applicationDirectory);

// What the program says, instead of opening a file of an earlier build (its visits not yet tied
// to their customers), to tell the user how to upgrade it.
QString upgradeNeededMessage(const QString& path);

// The one-line notice for a database without the change log (made by an earlier build), which the
// program opens without live refresh; target is the file's path or the server's connection
// string, as korvela-admin upgrade takes it.
QString liveRefreshMissingNotice(const QString& target);

// The connection strings for a file and for a server (a libpq connection string). A value holding
// ";" or a quote is quoted so the string still parses.
QString fileConnectionString(const QString& path);
QString serverConnectionString(const QString& libpqConnectionString);

} // namespace data
