// Marking a database file open in a program, and claiming it for a tool, with file locks.
#include "engine/OpenMark.h"

#include "core/Errors.h"

#include <QElapsedTimer>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace cursor {

namespace {

// SQLite's locks lie between 1 GiB and 1 GiB + 512 bytes of the file; this byte is well past
// them (a lock may lie past the end of a file).
constexpr off_t kMarkByte = off_t(0x40000000) + 0x10000;

enum class Lock { Taken, Held, Unsupported };

Lock lockMark(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = kMarkByte;
    lock.l_len = 1;
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0)
        return Lock::Taken;
    return errno == EAGAIN || errno == EACCES ? Lock::Held : Lock::Unsupported;
}

// Whether a program holds the mark, for a file the tool may only read: asked, not taken.
bool markHeld(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = kMarkByte;
    lock.l_len = 1;
    return fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

int openFile(const QString& path, int mode) {
    return ::open(QFile::encodeName(path).constData(), mode | O_CLOEXEC | O_NONBLOCK);
}

// Whether the open file is still the one the path names.
bool isFileAt(int fd, const QString& path) {
    struct stat open {
    }, named{};
    return fstat(fd, &open) == 0 && stat(QFile::encodeName(path).constData(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

QString cannotOpen(const QString& path) {
    return QStringLiteral("Could not open file '%1': %2")
        .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

OpenMark::OpenMark(int fd) : fd_(fd) {}

OpenMark::~OpenMark() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<OpenMark> OpenMark::forProgram(const QString& path, int waitMs) {
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        const int fd = openFile(path, O_RDONLY);
        if (fd < 0)
            throw EOleException(cannotOpen(path));
        const Lock lock = lockMark(fd, F_RDLCK);
        if (lock == Lock::Unsupported)
            return std::unique_ptr<OpenMark>(new OpenMark(fd));
        if (lock == Lock::Taken) {
            if (isFileAt(fd, path))
                return std::unique_ptr<OpenMark>(new OpenMark(fd));
            ::close(fd); // replaced while we waited: mark the new one
            continue;
        }
        ::close(fd);
        if (waited.elapsed() >= waitMs)
            throw EOleException(QStringLiteral("'%1' is being replaced by korvela-admin just now; "
                                               "open it again in a moment")
                                    .arg(path));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::unique_ptr<OpenMark> OpenMark::forReplacing(const QString& path) {
    // An exclusive lock needs the file open for writing.
    int fd = openFile(path, O_RDWR);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) {
        fd = openFile(path, O_RDONLY);
        if (fd >= 0) {
            const bool held = markHeld(fd);
            ::close(fd);
            return held ? nullptr : std::unique_ptr<OpenMark>(new OpenMark(-1));
        }
    }
    if (fd < 0) {
        if (errno == ENOENT)
            return std::unique_ptr<OpenMark>(new OpenMark(-1));
        throw EOleException(cannotOpen(path));
    }
    if (lockMark(fd, F_WRLCK) == Lock::Held) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<OpenMark>(new OpenMark(fd));
}

} // namespace cursor
