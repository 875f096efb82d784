// A second process on the test database: the sqlite3 shell, as another workstation would write.
#pragma once

#include <QProcess>
#include <QString>

namespace testsupport {

// Starts "sqlite3" on a database file with foreign keys on and a busy timeout, and runs SQL in it
// on request. The process (and any transaction it holds open) lives until the object goes.
class PeerProcess {
public:
    explicit PeerProcess(const QString& path);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    // Runs statements that return no rows and waits until they are done; returns the shell's
    // error text (empty when they succeeded). "BEGIN EXCLUSIVE;" thus returns holding the lock.
    QString run(const QString& sql);
    // The first column of the first row of a query, "" when there is none.
    QString scalar(const QString& sql);

private:
    QString runAndRead(const QString& sql);
    QProcess process_;
};

} // namespace testsupport
