// The admin commands' SQLite connection owner and safe file placement (flush, atomic rename).
#include "tools/admin/Sqlite.h"

#include "core/Errors.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace admin {

Sqlite::Sqlite(const QString& path, int flags, int busyTimeoutMs) : path_(path) {
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr) != SQLITE_OK) {
        const QString cause = message();
        sqlite3_close_v2(db_);
        db_ = nullptr;
        throw Error(QStringLiteral("cannot open '%1': %2").arg(path, cause), cause);
    }
    if (busyTimeoutMs > 0)
        sqlite3_busy_timeout(db_, busyTimeoutMs);
}

Sqlite::Sqlite(sqlite3* borrowed, const QString& path)
    : db_(borrowed), path_(path), owned_(false) {}

Sqlite::~Sqlite() {
    if (owned_)
        sqlite3_close_v2(db_);
}

QString Sqlite::message() const {
    return db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory");
}

void Sqlite::fail(const QString& what) const {
    const QString cause = message();
    throw Error(what + QStringLiteral(": ") + cause, cause);
}

void Sqlite::exec(const QString& sql) {
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("'%1'").arg(path_));
}

sqlite3_stmt* Sqlite::prepare(const QByteArray& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &statement, nullptr) != SQLITE_OK)
        fail(QStringLiteral("'%1'").arg(path_));
    return statement;
}

std::vector<QStringList> Sqlite::rows(const QString& sql) {
    sqlite3_stmt* statement = prepare(sql.toUtf8());
    std::vector<QStringList> result;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        QStringList row;
        for (int c = 0; c < sqlite3_column_count(statement); ++c) {
            const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
            row << (value ? QString::fromUtf8(value) : QString());
        }
        result.push_back(row);
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("'%1'").arg(path_));
    return result;
}

QString Sqlite::text(const QString& sql) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db_, sql.toUtf8().constData(), -1, &st, nullptr) != SQLITE_OK)
        fail(QStringLiteral("'%1'").arg(path_));
    QString result;
    const int rc = sqlite3_step(st);
    if (rc == SQLITE_ROW)
        result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE)
        fail(QStringLiteral("'%1'").arg(path_));
    return result;
}

std::int64_t Sqlite::insert(const char* sql, const QStringList& values) {
    sqlite3_stmt* statement = prepare(QByteArray(sql));
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray v = values[i].toUtf8();
        if (values[i].isEmpty())
            sqlite3_bind_null(statement, i + 1);
        else
            sqlite3_bind_text(statement, i + 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    }
    const int rc = sqlite3_step(statement);
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        fail(QStringLiteral("'%1'").arg(path_));
    return sqlite3_last_insert_rowid(db_);
}

Sqlite::Transaction::Transaction(Sqlite& db, const QString& begin) : db_(db) {
    db.exec(begin);
}

Sqlite::Transaction::~Transaction() {
    if (open_)
        sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Sqlite::Transaction::commit() {
    db_.exec(QStringLiteral("COMMIT"));
    open_ = false;
}

void removePartial(const QString& partial) {
    QFile::remove(partial);
    QFile::remove(partial + QStringLiteral("-journal"));
    QFile::remove(partial + QStringLiteral("-wal"));
    QFile::remove(partial + QStringLiteral("-shm"));
}

QString partialNameFor(const QString& path) {
    const QFileInfo info(path);
    const QString prefix = info.fileName() + QStringLiteral(".partial-");
    const QDir dir = info.absoluteDir();
    for (const QString& name : dir.entryList({prefix + '*'}, QDir::Files)) {
        bool number = false;
        const int pid = name.mid(prefix.size()).section('-', 0, 0).toInt(&number);
        if (number && pid > 0 && kill(pid, 0) != 0 && errno == ESRCH)
            QFile::remove(dir.filePath(name)); // left by a run that was killed
    }
    return dir.filePath(prefix + QString::number(getpid()));
}

namespace {

void syncPath(const QString& path, int flags) {
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::unique_ptr<cursor::OpenMark> claimForReplacing(const QString& path) {
    std::unique_ptr<cursor::OpenMark> claim;
    try {
        claim = cursor::OpenMark::forReplacing(path);
    } catch (const core::Exception& e) {
        throw Error(e.message());
    }
    if (!claim)
        throw Error(QStringLiteral("'%1' is open in Korvela Takip: close the program on every "
                                   "computer that uses it, then run the command again; nothing "
                                   "was replaced")
                        .arg(path));
    return claim;
}

void placeFile(const QString& file, const QString& target, bool replace) {
    const std::unique_ptr<cursor::OpenMark> claim =
        replace ? claimForReplacing(target) : std::unique_ptr<cursor::OpenMark>();
    syncPath(file, O_RDONLY);
    const QByteArray from = QFile::encodeName(file), to = QFile::encodeName(target);
    const int rc =
        replace ? ::rename(from.constData(), to.constData())
                : renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE);
    if (rc != 0) {
        const int error = errno;
        if (error == EEXIST)
            throw Error(QStringLiteral("'%1' already exists (--force replaces it)").arg(target));
        throw Error(QStringLiteral("cannot put the new file in place as '%1': %2")
                        .arg(target, QString::fromLocal8Bit(std::strerror(error))));
    }
    syncPath(QFileInfo(target).absolutePath(), O_RDONLY | O_DIRECTORY);
}

void takeAttributes(const QString& file, const QString& target, const QString& like) {
    const QByteArray path = QFile::encodeName(file);
    struct stat now {};
    if (::stat(path.constData(), &now) != 0)
        throw Error(QStringLiteral("cannot read the mode of '%1': %2")
                        .arg(file, QString::fromLocal8Bit(std::strerror(errno))));
    const QString replaced = like.isEmpty() ? target : like;
    struct stat want {};
    const bool replaces = ::stat(QFile::encodeName(replaced).constData(), &want) == 0;
    if (!replaces) {
        const QString folder = QFileInfo(target).absolutePath();
        struct stat dir {};
        if (::stat(QFile::encodeName(folder).constData(), &dir) != 0)
            return; // nothing to follow; the rename reports a missing folder
        want = now;
        want.st_gid = dir.st_gid;
        if (dir.st_mode & S_IWGRP)
            want.st_mode |= S_IRGRP | S_IWGRP;
    }
    // The owner first: changing it clears set-id bits that the mode then sets again.
    if ((want.st_uid != now.st_uid || want.st_gid != now.st_gid) &&
        ::chown(path.constData(), want.st_uid, want.st_gid) != 0 &&
        ::chown(path.constData(), uid_t(-1), want.st_gid) != 0) {
        const int error = errno;
        if (!replaces)
            return; // not a member of the folder's group: the file stays the user's own
        const group* g = getgrgid(want.st_gid);
        throw Error(QStringLiteral("cannot give the new file the group '%1' of '%2': %3")
                        .arg(g ? QString::fromLocal8Bit(g->gr_name) : QString::number(want.st_gid),
                             replaced, QString::fromLocal8Bit(std::strerror(error))));
    }
    if (::chmod(path.constData(), want.st_mode & 07777) != 0)
        throw Error(QStringLiteral("cannot set the mode of '%1': %2")
                        .arg(file, QString::fromLocal8Bit(std::strerror(errno))));
}

QString timeStamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace admin
