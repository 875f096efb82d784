// Test helper: keeps saving visits to a Korvela database, one transaction each, and prints each
// visit's id once it is committed (the other process of the backup test).
#include <cstdio>
#include <sqlite3.h>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return 1;
    sqlite3_busy_timeout(db, 60000);
    for (long i = 1;; ++i) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO t_servis (f_tarih, f_ariza, f_iscilik, id_musteri) VALUES "
                           "('2024-01-01 10:00:00', 'Kayıt ' || ?1, '10.0000', 1)",
                           -1, &st, nullptr);
        sqlite3_bind_int64(st, 1, i);
        const int rc = sqlite3_step(st);
        sqlite3_finalize(st);
        if (rc != SQLITE_DONE) {
            std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
            return 1;
        }
        std::printf("%lld\n", static_cast<long long>(sqlite3_last_insert_rowid(db)));
        std::fflush(stdout);
    }
}
