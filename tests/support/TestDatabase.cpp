// A temporary Korvela database for the tests.
#include "tests/support/TestDatabase.h"
#include "data/Schema.h"

#include <stdexcept>

namespace testsupport {

TestDatabase::TestDatabase() {
    if (sqlite3_open(path().toUtf8().constData(), &db_) != SQLITE_OK)
        throw std::runtime_error("cannot create the test database");
    // Like any program sharing the file, it waits for a lock (the engine's check of the file
    // holds a read lock for a moment after each open).
    sqlite3_busy_timeout(db_, 5000);
    exec(data::schemaSql());
}

TestDatabase::~TestDatabase() {
    sqlite3_close(db_);
}

void TestDatabase::exec(const QString& sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
        std::string message = error ? error : "sqlite error";
        sqlite3_free(error);
        throw std::runtime_error(message);
    }
}

static QString quoted(const QString& s) {
    return s.isEmpty() ? QStringLiteral("NULL") : "'" + QString(s).replace("'", "''") + "'";
}

qint64 TestDatabase::addCustomer(const QString& name, const QString& plate) {
    exec(QString("insert into t_musteri (f_adi, f_arac_plaka) values (%1, %2)")
             .arg(quoted(name), quoted(plate)));
    return sqlite3_last_insert_rowid(db_);
}

qint64 TestDatabase::addVisit(qint64 customer, const QString& labour, const QString& material,
                              const QString& paid, const QString& date) {
    exec(QString("insert into t_servis (id_musteri, f_tarih, f_iscilik, f_tutar, f_odeme) "
                 "values (%1, %2, %3, %4, %5)")
             .arg(customer)
             .arg(quoted(date), quoted(labour), quoted(material), quoted(paid)));
    return sqlite3_last_insert_rowid(db_);
}

QString TestDatabase::scalar(const QString& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db_));
    QString result = "<none>";
    if (sqlite3_step(st) == SQLITE_ROW)
        result = sqlite3_column_type(st, 0) == SQLITE_NULL
                     ? QString("<null>")
                     : QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    return result;
}

int TestDatabase::count(const QString& table) {
    return scalar("select count(*) from " + table).toInt();
}

} // namespace testsupport
