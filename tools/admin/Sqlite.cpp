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
#include <sqlite3.h>
#include <unistd.h>

namespace admin {

Sqlite::Sqlite(const QString& path, int flags) : path_(path) {
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db_, flags, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot open '%1'").arg(path));
    sqlite3_busy_timeout(db_, 10000);
}

Sqlite::~Sqlite() {
    sqlite3_close_v2(db_);
}

void Sqlite::fail(const QString& what) const {
    throw Error(what + QStringLiteral(": ") +
                (db_ ? QString::fromUtf8(sqlite3_errmsg(db_)) : QStringLiteral("out of memory")));
}

void Sqlite::exec(const QString& sql) {
    if (sqlite3_exec(db_, sql.toUtf8().constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
        fail(QStringLiteral("'%1'").arg(path_));
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

bool hasSqliteHeader(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.read(16) == QByteArray("SQLite format 3\0", 16);
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

QString timeStamp() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace admin
