// The other workstation of the live refresh tests: workstation_peer (WorkstationPeer.cpp)
// started on a connection string, saving through the program's record sets in its own process.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

namespace testsupport {

class WorkstationPeer {
public:
    // The program is the build's workstation_peer; the connection string names the file or server.
    WorkstationPeer(const QString& program, const QString& connectionString) {
        process_.start(program, {connectionString});
        EXPECT_EQ(readLine(), "ready");
    }
    ~WorkstationPeer() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(5000))
            process_.kill();
    }
    WorkstationPeer(const WorkstationPeer&) = delete;
    WorkstationPeer& operator=(const WorkstationPeer&) = delete;

    // Sends one command (its parts joined by tabs) and returns the reply line.
    QString send(const QStringList& parts) {
        process_.write((parts.join('\t') + '\n').toUtf8());
        return readLine();
    }
    // A command that adds a row: its new id, or -1 (and a failed expectation) when it failed.
    qint64 add(const QStringList& parts) {
        const QString reply = send(parts);
        EXPECT_TRUE(reply.startsWith("ok\t")) << reply.toStdString();
        return reply.startsWith("ok\t") ? reply.mid(3).toLongLong() : -1;
    }
    void expectOk(const QStringList& parts) {
        const QString reply = send(parts);
        EXPECT_EQ(reply, "ok") << parts.join(' ').toStdString();
    }

private:
    QString readLine() {
        while (!process_.canReadLine())
            if (!process_.waitForReadyRead(15000))
                return QStringLiteral("<no reply>");
        return QString::fromUtf8(process_.readLine()).trimmed();
    }
    QProcess process_;
};

} // namespace testsupport
