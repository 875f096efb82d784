// Helpers of the server tests: fresh tables, a second session, stopping and starting the cluster.
#pragma once

#include "pgengine/PgSession.h"

#include <QString>

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

// pg_ctlcluster on the throwaway cluster: "stop" (fast mode: open sessions are ended) or "start".
void cluster(const QString& action);

} // namespace servertest
