// Helpers of the server tests: fresh tables, a second session, stopping and starting the cluster.
#pragma once

#include "pgengine/PgError.h"
#include "pgengine/PgSession.h"

#include <QString>
#include <functional>

namespace servertest {

// The throwaway cluster's database (the PG* variables of pg_virtualenv name it).
QString connectionString();

// Drops and creates t_musteri and t_servis, and the change log.
void resetTables();
// Drops the change log with its triggers and functions (a database of an earlier build).
void dropChangeLog();

// One value of the first row on a session of its own, as text ("<null>" for null, "<none>"
// without rows).
QString scalar(const QByteArray& sql, const std::vector<pgengine::Param>& params = {});
// A statement on a session of its own (another workstation).
void exec(const QByteArray& sql, const std::vector<pgengine::Param>& params = {});

// The server error an action throws; a test failure when it throws none.
pgengine::ServerError errorOf(const std::function<void()>& action);

// The sentence in front of the server's text when the connection was lost.
extern const QString kLostSentence;

// pg_ctlcluster on the throwaway cluster: "stop" (fast mode: open sessions are ended) or "start".
void cluster(const QString& action);

} // namespace servertest
