// The change log on a server: statement-level triggers over the rows each statement changed.
#include "pgengine/ServerChangeLog.h"

#include "engine/ChangeLog.h"

namespace pgengine {

namespace {

// One writer at a time logs, from its first logged change to its commit, so the sequence
// numbers become visible in the order they were given and a reader never steps past one that
// is still to come. Writers of the two tables wait for each other only that long.
constexpr const char* kLock = "PERFORM pg_advisory_xact_lock(21200366226107457);";

// The trigger function of one table. Each statement logs its rows at once from the transition
// tables (yeni: the rows as now, eski: as before); an update that moves a visit to another
// customer, or changes a key, logs the old row's delete and the new row's insert. The search path
// is the one the function was made with, so a client with another one still logs here.
QByteArray tableFunction(const QString& table, bool visits) {
    const QString body = QStringLiteral(R"sql(CREATE OR REPLACE FUNCTION korvela_%1_degisti()
RETURNS trigger LANGUAGE plpgsql SET search_path FROM CURRENT AS $$
BEGIN
    IF TG_OP = 'INSERT' THEN
        IF NOT EXISTS (SELECT 1 FROM yeni) THEN RETURN NULL; END IF;
        %3
        INSERT INTO t_degisiklik (f_tablo, f_anahtar%4, f_tur)
            SELECT '%2', y.id%5, 'I' FROM yeni y ORDER BY y.id;
    ELSIF TG_OP = 'DELETE' THEN
        IF NOT EXISTS (SELECT 1 FROM eski) THEN RETURN NULL; END IF;
        %3
        INSERT INTO t_degisiklik (f_tablo, f_anahtar%4, f_tur)
            SELECT '%2', e.id%6, 'D' FROM eski e ORDER BY e.id;
    ELSE
        IF NOT EXISTS (SELECT 1 FROM yeni) THEN RETURN NULL; END IF;
        %3
        INSERT INTO t_degisiklik (f_tablo, f_anahtar%4, f_tur)
            SELECT '%2', k%8, t FROM (
                SELECT e.id AS k%9, 'D' AS t, 0 AS o FROM eski e LEFT JOIN yeni y ON y.id = e.id
                    WHERE y.id IS NULL%7
                UNION ALL
                SELECT y.id%5, CASE WHEN e.id IS NULL%7 THEN 'I' ELSE 'U' END, 1
                    FROM yeni y LEFT JOIN eski e ON e.id = y.id
            ) c ORDER BY o, k;
    END IF;
    PERFORM korvela_degisiklik_yazildi();
    RETURN NULL;
END $$)sql");
    const auto when = [visits](const char* text) {
        return visits ? QString::fromLatin1(text) : QString();
    };
    return body
        .arg(table.mid(2), table, QLatin1String(kLock), when(", f_musteri"), when(", y.id_musteri"),
             when(", e.id_musteri"), when(" OR e.id_musteri IS DISTINCT FROM y.id_musteri"),
             when(", m"), when(", e.id_musteri AS m"))
        .toUtf8();
}

// The triggers of one table, made again in case they are there.
QByteArrayList tableTriggers(const QByteArray& table) {
    const QByteArray name = "tr_degisiklik_" + table.mid(2);
    const QByteArray function =
        " FOR EACH STATEMENT EXECUTE FUNCTION korvela_" + table.mid(2) + "_degisti()";
    QByteArrayList statements;
    for (const char* suffix : {"_ekle", "_degistir", "_sil", "_bosalt"})
        statements << "DROP TRIGGER IF EXISTS " + name + suffix + " ON " + table;
    statements << "CREATE TRIGGER " + name + "_ekle AFTER INSERT ON " + table +
                      " REFERENCING NEW TABLE AS yeni" + function
               << "CREATE TRIGGER " + name + "_degistir AFTER UPDATE ON " + table +
                      " REFERENCING OLD TABLE AS eski NEW TABLE AS yeni" + function
               << "CREATE TRIGGER " + name + "_sil AFTER DELETE ON " + table +
                      " REFERENCING OLD TABLE AS eski" + function
               << "CREATE TRIGGER " + name + "_bosalt AFTER TRUNCATE ON " + table +
                      " FOR EACH STATEMENT EXECUTE FUNCTION korvela_degisiklik_bosaltildi()";
    return statements;
}

} // namespace

const char* const kHasChangeLogSql =
    "SELECT to_regclass('t_degisiklik') IS NOT NULL AND to_regclass('t_degisiklik_ufuk') IS NOT "
    "NULL AND (SELECT count(*) FROM pg_catalog.pg_trigger WHERE tgname LIKE 'tr\\_degisiklik\\_%' "
    "AND tgrelid IN (to_regclass('t_musteri'), to_regclass('t_servis'))) = 8";

QByteArrayList serverChangeLogStatements() {
    const QByteArray keep = QByteArray::number(cursor::changelog::kKept);
    const QByteArray pruneAt =
        QByteArray::number(cursor::changelog::kKept + cursor::changelog::kPruneStep);
    QByteArrayList statements{
        R"sql(CREATE TABLE IF NOT EXISTS t_degisiklik (
    id bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    f_tablo varchar(255) NOT NULL,
    f_anahtar bigint NOT NULL,
    f_musteri bigint,
    f_tur char(1) NOT NULL,
    f_etiket bigint NOT NULL DEFAULT floor(random() * 4e18)::bigint
))sql",
        R"sql(CREATE TABLE IF NOT EXISTS t_degisiklik_ufuk (
    f_sira bigint NOT NULL,
    f_etiket bigint NOT NULL
))sql",
        "INSERT INTO t_degisiklik_ufuk (f_sira, f_etiket) SELECT 0, floor(random() * 4e18)::bigint "
        "WHERE NOT EXISTS (SELECT 1 FROM t_degisiklik_ufuk)",
        // After a statement logged its rows: prune the log once it holds a step more than it
        // keeps (numbers a rolled back writer took leave gaps, so the count is an upper bound),
        // and ask for the wake-up, which the server sends once per transaction, at its commit.
        R"sql(CREATE OR REPLACE FUNCTION korvela_degisiklik_yazildi() RETURNS void
LANGUAGE plpgsql SET search_path FROM CURRENT AS $$
DECLARE
    ufuk bigint;
    son bigint;
    kesim bigint;
    kesim_etiket bigint;
BEGIN
    SELECT f_sira INTO ufuk FROM t_degisiklik_ufuk;
    SELECT max(id) INTO son FROM t_degisiklik;
    IF son >= ufuk + )sql" +
            pruneAt + R"sql( THEN
        SELECT id, f_etiket INTO kesim, kesim_etiket FROM t_degisiklik
            WHERE id <= son - )sql" +
            keep + R"sql( AND id > ufuk ORDER BY id DESC LIMIT 1;
        IF FOUND THEN
            UPDATE t_degisiklik_ufuk SET f_sira = kesim, f_etiket = kesim_etiket;
            DELETE FROM t_degisiklik WHERE id <= kesim;
        END IF;
    END IF;
    PERFORM pg_notify(')sql" +
            QByteArray(kChangeChannel) + R"sql(', '');
END $$)sql",
        // TRUNCATE names no rows: the horizon moves past every change, so every reader reloads.
        "CREATE OR REPLACE FUNCTION korvela_degisiklik_bosaltildi() RETURNS trigger "
        "LANGUAGE plpgsql SET search_path FROM CURRENT AS $$\n"
        "DECLARE\n"
        "    kesim bigint;\n"
        "    kesim_etiket bigint;\n"
        "BEGIN\n"
        "    " +
            QByteArray(kLock) +
            "\n"
            "    INSERT INTO t_degisiklik (f_tablo, f_anahtar, f_tur) VALUES (TG_TABLE_NAME, 0, "
            "'D')\n"
            "        RETURNING id, f_etiket INTO kesim, kesim_etiket;\n"
            "    UPDATE t_degisiklik_ufuk SET f_sira = kesim, f_etiket = kesim_etiket;\n"
            "    DELETE FROM t_degisiklik WHERE id <= kesim;\n"
            "    PERFORM pg_notify('" +
            QByteArray(kChangeChannel) +
            "', '');\n"
            "    RETURN NULL;\n"
            "END $$",
        tableFunction(QStringLiteral("t_musteri"), false),
        tableFunction(QStringLiteral("t_servis"), true),
    };
    statements << tableTriggers("t_musteri") << tableTriggers("t_servis");
    return statements;
}

} // namespace pgengine
