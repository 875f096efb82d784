// A database file as earlier builds made it (no key tying visits to customers), with a plain
// connection of its own: the tests' second client.
#pragma once

#include "data/Schema.h"
#include "engine/SqliteChangeFeed.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sqlite3.h>

namespace testsupport {

// The schema as earlier builds made it: the same tables without the key on t_servis.id_musteri,
// and without the change log.
inline QString earlierSchema() {
    QString sql = data::schemaSql();
    const QString key = " REFERENCES t_musteri (id) ON DELETE CASCADE";
    EXPECT_TRUE(sql.contains(key));
    EXPECT_TRUE(sql.contains(cursor::SqliteChangeFeed::installSql()));
    return sql.remove(key).remove(cursor::SqliteChangeFeed::installSql());
}

// A file of an earlier build with a plain connection of its own (foreign keys off, as then).
class EarlierFile {
public:
    EarlierFile() {
        path_ = dir_.path() + "/Korvela.mdb";
        sqlite3_open(QFile::encodeName(path_).constData(), &db_);
        exec(earlierSchema());
    }
    ~EarlierFile() { sqlite3_close(db_); }
    const QString& path() const { return path_; }
    void exec(const QString& sql) {
        char* error = nullptr;
        if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK) {
            ADD_FAILURE() << error;
            sqlite3_free(error);
        }
    }
    QString scalar(const QString& sql) {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr);
        QString result = "<none>";
        if (st && sqlite3_step(st) == SQLITE_ROW)
            result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        sqlite3_finalize(st);
        return result;
    }
    QByteArray bytes() const {
        QFile f(path_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QTemporaryDir dir_;
    QString path_;
    sqlite3* db_ = nullptr;
};

} // namespace testsupport
