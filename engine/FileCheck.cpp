// FileCheck: PRAGMA integrity_check on a read-only connection and a thread of its own, stopped by
// an interrupt when its owner goes.
#include "engine/FileCheck.h"

#include <QFile>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sqlite3.h>
#include <string>
#include <thread>

namespace cursor {

namespace {

// A lock held by another program is waited for as long as the program's own connection waits.
constexpr auto kBusyWait = std::chrono::seconds(3);
constexpr auto kBusyPause = std::chrono::milliseconds(10);
// How often (in SQLite's virtual machine steps) a running statement looks whether it must stop.
constexpr int kStopPollSteps = 1000;
// The check's page cache, in KiB. The check walks every table and index once, so a larger cache
// mostly holds pages it will not read again: SQLite's default (2 MiB) checked a 143 MiB file no
// faster, and was most of what the program's memory rose by while the check ran.
constexpr int kCheckCacheKiB = 256;

std::mutex hookMutex;
std::function<void(sqlite3*)> beforeCheck;

// SQLite's first finding, without the line naming the database ("*** in database main ***").
QString firstFinding(const QString& row) {
    const QStringList lines = row.split('\n', Qt::SkipEmptyParts);
    for (const QString& line : lines)
        if (!line.startsWith(QLatin1String("***")))
            return line.trimmed();
    return row.trimmed();
}

} // namespace

struct FileCheck::Private {
    QString path;
    std::function<void()> finished;

    mutable std::mutex mutex;
    std::condition_variable endedChanged;
    Outcome outcome = Outcome::Running;
    bool ended = false; // the outcome is set and finished has been called
    QString finding;
    int errorCode = SQLITE_OK;
    std::size_t cacheBytes = 0;
    sqlite3* db = nullptr; // the thread's connection while it is open, for the interrupt
    std::atomic<bool> stopping{false};
    std::thread thread;

    void run();
    struct Result {
        Outcome outcome;
        QString finding;
        int errorCode = SQLITE_OK;
        std::size_t cacheBytes = 0;
    };
    Result check();
    void stop();
};

namespace {

int onBusy(void* p, int count) {
    const auto* d = static_cast<const std::atomic<bool>*>(p);
    if (d->load() || count * kBusyPause >= kBusyWait)
        return 0;
    std::this_thread::sleep_for(kBusyPause);
    return 1;
}

int onProgress(void* p) {
    return static_cast<const std::atomic<bool>*>(p)->load() ? 1 : 0;
}

} // namespace

FileCheck::Private::Result FileCheck::Private::check() {
    sqlite3* handle = nullptr;
    if (const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &handle,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
        rc != SQLITE_OK) {
        const QString error = QString::fromUtf8(sqlite3_errmsg(handle));
        sqlite3_close_v2(handle);
        return {Outcome::Unchecked, error, rc & 0xFF};
    }
    // The interrupt stops a statement that runs; the progress handler one that starts after it
    // (SQLite clears the interrupt when a statement starts on an idle connection).
    sqlite3_busy_handler(handle, onBusy, &stopping);
    sqlite3_progress_handler(handle, kStopPollSteps, onProgress, &stopping);
    {
        const std::lock_guard lock(mutex);
        db = handle;
    }
    std::function<void(sqlite3*)> hook;
    {
        const std::lock_guard lock(hookMutex);
        hook = beforeCheck;
    }
    if (hook)
        hook(handle);

    Result result;
    // Setting the cache reads the schema: a lock or damage met there ends the check as it would.
    const std::string cacheSize = "PRAGMA cache_size = -" + std::to_string(kCheckCacheKiB);
    int rc = sqlite3_exec(handle, cacheSize.c_str(), nullptr, nullptr, nullptr);
    sqlite3_stmt* statement = nullptr;
    if (rc == SQLITE_OK)
        rc = sqlite3_prepare_v2(handle, "PRAGMA integrity_check", -1, &statement, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        const QString row =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
        result = row == QLatin1String("ok") ? Result{Outcome::Whole, QString()}
                                            : Result{Outcome::Damaged, firstFinding(row)};
    } else {
        const int primary = sqlite3_errcode(handle) & 0xFF;
        result = {primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB ? Outcome::Damaged
                                                                        : Outcome::Unchecked,
                  QString::fromUtf8(sqlite3_errmsg(handle)), primary};
    }
    sqlite3_finalize(statement);
    int cacheUsed = 0, highwater = 0;
    if (sqlite3_db_status(handle, SQLITE_DBSTATUS_CACHE_USED, &cacheUsed, &highwater, 0) ==
        SQLITE_OK)
        result.cacheBytes = std::size_t(cacheUsed);
    {
        const std::lock_guard lock(mutex);
        db = nullptr;
    }
    sqlite3_close_v2(handle);
    return result;
}

void FileCheck::Private::run() {
    const Result result = check();
    {
        const std::lock_guard lock(mutex);
        outcome = result.outcome;
        finding = result.finding;
        errorCode = result.errorCode;
        cacheBytes = result.cacheBytes;
    }
    if (!stopping && finished)
        finished();
    {
        const std::lock_guard lock(mutex);
        ended = true;
    }
    endedChanged.notify_all();
}

void FileCheck::Private::stop() {
    {
        const std::lock_guard lock(mutex);
        stopping = true;
        if (db)
            sqlite3_interrupt(db);
    }
    if (thread.joinable())
        thread.join();
}

FileCheck::FileCheck(const QString& path, std::function<void()> finished)
    : d(std::make_unique<Private>()) {
    d->path = path;
    d->finished = std::move(finished);
    d->thread = std::thread([p = d.get()] { p->run(); });
}

FileCheck::~FileCheck() {
    d->stop();
}

FileCheck::Outcome FileCheck::outcome() const {
    const std::lock_guard lock(d->mutex);
    return d->outcome;
}

QString FileCheck::finding() const {
    const std::lock_guard lock(d->mutex);
    return d->finding;
}

int FileCheck::errorCode() const {
    const std::lock_guard lock(d->mutex);
    return d->errorCode;
}

std::size_t FileCheck::cacheBytes() const {
    const std::lock_guard lock(d->mutex);
    return d->cacheBytes;
}

FileCheck::Outcome FileCheck::wait() {
    std::unique_lock lock(d->mutex);
    d->endedChanged.wait(lock, [this] { return d->ended; });
    return d->outcome;
}

void FileCheck::setBeforeCheck(std::function<void(sqlite3*)> hook) {
    const std::lock_guard lock(hookMutex);
    beforeCheck = std::move(hook);
}

} // namespace cursor
