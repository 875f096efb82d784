// The tables of a Korvela database on a PostgreSQL server.
#pragma once

#include <QByteArrayList>

namespace pgengine {

// The statements that create t_musteri and t_servis on a server, one per entry, with the same
// columns in the same order as the database file: identity keys, varchar(255) texts, text memos,
// timestamp(0) dates, numeric(19,4) amounts, the index on id_musteri, visits deleted with their
// customer, and the change log (ServerChangeLog.h).
QByteArrayList serverSchemaStatements();

} // namespace pgengine
