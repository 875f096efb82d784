// Shared helpers of the korvela-admin tests: running the tool, reading a database back, test data.
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <sqlite3.h>

namespace admintest {

inline QString dataDir() {
    return QStringLiteral(KORVELA_SOURCE_DIR "/tests/data/access/");
}
inline QString adminProgram() {
    return QStringLiteral(KORVELA_ADMIN_PROGRAM);
}

struct AdminRun {
    int exitCode = -1;
    bool crashed = false;
    QString out;
    QString err;
};

inline AdminRun runAdmin(const QStringList& args) {
    QProcess p;
    p.start(adminProgram(), args);
    p.waitForFinished(120000);
    AdminRun r;
    r.crashed = p.exitStatus() != QProcess::NormalExit;
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

inline QStringList entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// A second, independent connection that reads values back from a database file.
class Reader {
public:
    explicit Reader(const QString& path) {
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, SQLITE_OPEN_READWRITE, nullptr);
        // As another workstation would: waits while the program's own reads hold the file.
        sqlite3_busy_timeout(db_, 10000);
    }
    ~Reader() { sqlite3_close(db_); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    // Every row of a query; each value as text, NULL as "\N" and the SQLite type after a "|"
    // when withTypes.
    QList<QStringList> rows(const QString& sql, bool withTypes = false) {
        QList<QStringList> out;
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
            return out;
        while (sqlite3_step(st) == SQLITE_ROW) {
            QStringList row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const int type = sqlite3_column_type(st, c);
                QString v = type == SQLITE_NULL ? QStringLiteral("\\N")
                                                : QString::fromUtf8(reinterpret_cast<const char*>(
                                                                        sqlite3_column_text(st, c)),
                                                                    sqlite3_column_bytes(st, c));
                if (withTypes)
                    v += type == SQLITE_INTEGER ? "|int" : type == SQLITE_TEXT ? "|text" : "|other";
                row << v;
            }
            out << row;
        }
        sqlite3_finalize(st);
        return out;
    }
    QString scalar(const QString& sql) {
        const auto r = rows(sql);
        return r.isEmpty() ? QStringLiteral("<none>") : r[0].value(0);
    }
    int exec(const QString& sql) {
        return sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    }

private:
    sqlite3* db_ = nullptr;
};

} // namespace admintest
