// The CREATE statements of an empty Korvela database.
#include "data/Schema.h"

#include "engine/SqliteChangeFeed.h"

namespace data {

// How the Access column types are stored in the SQLite file (the cursor engine recognises them by
// these declared types):
//   AutoNumber  INTEGER PRIMARY KEY AUTOINCREMENT
//   Long        INTEGER
//   Text(255)   VARCHAR(255)
//   Memo        LONGTEXT
//   Date/Time   DATETIME, holding ISO-8601 text "YYYY-MM-DD HH:MM:SS"
//   Currency    CURRENCY TEXT, holding the exact decimal with four places ("-1234.5000"); the
//               word TEXT gives the column text affinity, so SQLite never turns it into a float
// A visit belongs to an existing customer: id_musteri is a foreign key, checked by every
// connection that turns foreign keys on (the program, korvela-admin and the tests do), and
// deleting a customer deletes that customer's visits, by the key's cascade and, for connections
// that leave foreign keys off, by the trigger tr_musteri_delete. Every change to the two tables is
// logged for the other programs' live refresh (the change log, engine/SqliteChangeFeed.cpp).
QString schemaSql() {
    return QStringLiteral(R"sql(CREATE TABLE t_musteri (
    f_arac_plaka VARCHAR(255),
    f_adi VARCHAR(255),
    f_tel VARCHAR(255),
    f_gsm VARCHAR(255),
    f_mail VARCHAR(255),
    f_vd VARCHAR(255),
    f_vn VARCHAR(255),
    f_tarih DATETIME,
    f_adres VARCHAR(255),
    f_arac_marka VARCHAR(255),
    f_arac_model VARCHAR(255),
    f_arac_yil VARCHAR(255),
    f_arac_yakit VARCHAR(255),
    f_arac_renk VARCHAR(255),
    f_not LONGTEXT,
    id INTEGER PRIMARY KEY AUTOINCREMENT
);
CREATE TABLE t_servis (
    f_tarih DATETIME,
    f_km VARCHAR(255),
    f_ariza VARCHAR(255),
    f_islem VARCHAR(255),
    f_parca VARCHAR(255),
    f_malzeme VARCHAR(255),
    f_iscilik CURRENCY TEXT,
    f_tutar CURRENCY TEXT,
    f_odeme CURRENCY TEXT,
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    id_musteri INTEGER REFERENCES t_musteri (id) ON DELETE CASCADE,
    f_not LONGTEXT
);
CREATE INDEX ix_servis_musteri ON t_servis (id_musteri);
CREATE TRIGGER tr_musteri_delete AFTER DELETE ON t_musteri
BEGIN
    DELETE FROM t_servis WHERE id_musteri = old.id;
END;
)sql") + cursor::SqliteChangeFeed::installSql();
}

} // namespace data
