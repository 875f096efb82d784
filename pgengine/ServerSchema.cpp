// The CREATE statements of an empty Korvela database on a server.
#include "pgengine/ServerSchema.h"

#include "pgengine/ServerChangeLog.h"

namespace pgengine {

// How the column kinds are declared on the server (the backend maps them back the same way):
//   AutoNumber  integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY
//   Long        integer
//   Text(255)   varchar(255)
//   Memo        text
//   Date/Time   timestamp(0): whole seconds, no time zone
//   Currency    numeric(19,4): exact, the whole range of the money type
// Every change to the two tables is logged for the programs' live refresh (ServerChangeLog.h).
QByteArrayList serverSchemaStatements() {
    return QByteArrayList{
               R"sql(CREATE TABLE t_musteri (
    f_arac_plaka varchar(255),
    f_adi varchar(255),
    f_tel varchar(255),
    f_gsm varchar(255),
    f_mail varchar(255),
    f_vd varchar(255),
    f_vn varchar(255),
    f_tarih timestamp(0),
    f_adres varchar(255),
    f_arac_marka varchar(255),
    f_arac_model varchar(255),
    f_arac_yil varchar(255),
    f_arac_yakit varchar(255),
    f_arac_renk varchar(255),
    f_not text,
    id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY
))sql",
               R"sql(CREATE TABLE t_servis (
    f_tarih timestamp(0),
    f_km varchar(255),
    f_ariza varchar(255),
    f_islem varchar(255),
    f_parca varchar(255),
    f_malzeme varchar(255),
    f_iscilik numeric(19,4),
    f_tutar numeric(19,4),
    f_odeme numeric(19,4),
    id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    id_musteri integer REFERENCES t_musteri (id) ON DELETE CASCADE,
    f_not text
))sql",
               "CREATE INDEX ix_servis_musteri ON t_servis (id_musteri)",
           } +
           serverChangeLogStatements();
}

} // namespace pgengine
