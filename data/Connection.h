// TConnection: the database connection (dbsPRJ) and its connection string.
#pragma once

#include "engine/CursorConnection.h"

#include <QString>

namespace data {

// Opening connects the cursor engine to the file the string's Data Source names.
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

// The program's connection string for a database file in a directory (the directory ends in a
// separator). A directory holding ";" has its Data Source value quoted so the string still parses.
QString korvelaConnectionString(const QString& applicationDirectory);
inline constexpr const char* kDatabaseFileName = "Korvela.mdb";

} // namespace data
