// The sqlite3 shell as a second process on the test database.
#include "tests/support/PeerProcess.h"

#include <stdexcept>

namespace testsupport {

namespace {
const QByteArray kDone = "__peer_done__";
}

PeerProcess::PeerProcess(const QString& path) {
    // One channel keeps an error in order with the statement that caused it.
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(QStringLiteral("sqlite3"), {QStringLiteral("-batch"), path});
    if (!process_.waitForStarted(10000))
        throw std::runtime_error("cannot start sqlite3");
    const QString error = run(QStringLiteral(".timeout 3000\nPRAGMA foreign_keys = ON;"));
    if (!error.isEmpty())
        throw std::runtime_error(error.toStdString());
}

PeerProcess::~PeerProcess() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(10000))
        process_.kill();
}

QString PeerProcess::run(const QString& sql) {
    return runAndRead(sql).trimmed();
}

QString PeerProcess::scalar(const QString& sql) {
    return runAndRead(sql).section('\n', 0, 0).section('|', 0, 0);
}

QString PeerProcess::runAndRead(const QString& sql) {
    process_.write(sql.toUtf8() + "\n.print " + kDone + "\n");
    process_.waitForBytesWritten(10000);
    QByteArray output;
    while (!output.contains(kDone + '\n')) {
        if (!process_.waitForReadyRead(20000))
            throw std::runtime_error("sqlite3 did not answer");
        output += process_.readAllStandardOutput();
    }
    return QString::fromUtf8(output.left(output.indexOf(kDone)));
}

} // namespace testsupport
