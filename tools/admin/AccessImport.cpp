// Importing an Access "Korvela.mdb" into a new SQLite Korvela database.
//
// The Access file is read in a child process: the mdbtools library can crash on a damaged file,
// and then only the child dies. The rows come back through a pipe; this process writes them to
// a temporary file in one transaction, checks it and only then renames it into place, so an
// interrupted import never leaves a file under the target's name.
#include "tools/admin/AccessImport.h"

#include "data/Schema.h"
#include "tools/admin/AccessReader.h"
#include "tools/admin/DatabaseCheck.h"
#include "tools/admin/Sqlite.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace admin {

namespace {

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += n;
    }
}

class Progress {
public:
    explicit Progress(int fd) : fd_(fd), on_(fd >= 0 && isatty(fd)) {}
    void show(const QString& text) {
        if (on_)
            writeAll(fd_, ("\r\033[K" + text).toUtf8());
    }
    void clear() {
        if (on_)
            writeAll(fd_, "\r\033[K");
    }

private:
    int fd_;
    bool on_;
};

// Runs the reader in a child process and returns what it read. Throws Error with the reason,
// also when the child crashed.
AccessData readInChild(const QString& path, std::FILE* err) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw Error(QStringLiteral("cannot start the Access reader: %1").arg(std::strerror(errno)));
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0)
        throw Error(QStringLiteral("cannot start the Access reader: %1").arg(std::strerror(errno)));
    if (pid == 0) {
        ::close(fds[0]);
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive an importer that was killed
        // A crash in the library must end the child as a crash, whatever handlers the process
        // had (a sanitizer's, for one): the parent tells the user the file is damaged.
        for (const int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT})
            std::signal(s, SIG_DFL);
        // A damaged file may send the library round in circles: a CPU limit ends that.
        const rlimit cpu{900, 900};
        setrlimit(RLIMIT_CPU, &cpu);
        const int progressFd = dup(fileno(err));
        // The library reports its troubles on stderr; the report here says what matters.
        const int devnull = ::open("/dev/null", O_WRONLY);
        if (devnull >= 0)
            dup2(devnull, STDERR_FILENO);
        Progress progress(progressFd);
        QByteArray payload;
        {
            QDataStream s(&payload, QIODevice::WriteOnly);
            try {
                const AccessData data =
                    readAccessFile(path, [&](const QString& table, std::int64_t rows) {
                        progress.show(QStringLiteral("reading %1: %2 rows").arg(table).arg(rows));
                    });
                progress.clear();
                s << quint8('D') << data;
            } catch (const Error& e) {
                progress.clear();
                s << quint8('E') << e.text;
            } catch (const std::exception& e) {
                progress.clear();
                s << quint8('E') << QString::fromUtf8(e.what());
            }
        }
        writeAll(fds[1], payload);
        _exit(0);
    }
    ::close(fds[1]);
    QByteArray payload;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fds[0], chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        payload.append(chunk, n);
    }
    ::close(fds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFSIGNALED(status))
        throw Error(QStringLiteral("'%1' is damaged: the Access reader stopped on it (%2)")
                        .arg(path, QString::fromUtf8(strsignal(WTERMSIG(status)))));
    QDataStream s(payload);
    quint8 tag = 0;
    s >> tag;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || (tag != 'D' && tag != 'E'))
        throw Error(QStringLiteral("'%1' is damaged: the Access reader gave no result").arg(path));
    if (tag == 'E') {
        QString message;
        s >> message;
        throw Error(message);
    }
    AccessData data;
    s >> data;
    if (s.status() != QDataStream::Ok)
        throw Error(
            QStringLiteral("'%1' is damaged: the Access reader's result is incomplete").arg(path));
    return data;
}

void bindValue(Sqlite& db, sqlite3_stmt* st, int index, ColumnKind kind, const Value& v) {
    int rc;
    if (v.null) {
        rc = sqlite3_bind_null(st, index);
    } else if (kind == ColumnKind::Key || kind == ColumnKind::Long) {
        rc = sqlite3_bind_int64(st, index, v.integer);
    } else {
        const QByteArray utf8 = v.text.toUtf8();
        rc = sqlite3_bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    if (rc != SQLITE_OK)
        db.fail(QStringLiteral("cannot write '%1'").arg(db.path()));
}

void writeTable(Sqlite& db, const TableData& table, const std::vector<ColumnSpec>& specs,
                Progress& progress) {
    QStringList names, marks;
    for (const ColumnSpec& c : specs) {
        names << QLatin1String(c.name);
        marks << QStringLiteral("?");
    }
    const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(table.name, names.join(", "), marks.join(", "))
                               .toUtf8();
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), -1, &st, nullptr) != SQLITE_OK)
        db.fail(QStringLiteral("cannot write '%1'").arg(db.path()));
    std::int64_t done = 0;
    for (const Row& row : table.rows) {
        for (std::size_t c = 0; c < specs.size(); ++c)
            bindValue(db, st, int(c) + 1, specs[c].kind, row.values.at(c));
        if (sqlite3_step(st) != SQLITE_DONE) {
            sqlite3_finalize(st);
            db.fail(QStringLiteral("cannot write %1 id %2").arg(table.name).arg(row.id));
        }
        sqlite3_reset(st);
        if (++done % 5000 == 0)
            progress.show(QStringLiteral("writing %1: %2 of %3 rows")
                              .arg(table.name)
                              .arg(done)
                              .arg(table.rows.size()));
    }
    sqlite3_finalize(st);
}

void writeDatabase(const QString& path, const AccessData& data, Progress& progress) {
    Sqlite db(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // Orphan visits are kept as they are, also where the schema declares the customer key a
    // reference: enforcement is off for this connection.
    db.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
    db.exec(QStringLiteral("BEGIN"));
    db.exec(data::schemaSql());
    writeTable(db, data.customers, customerColumns(), progress);
    writeTable(db, data.services, serviceColumns(), progress);
    db.exec(QStringLiteral("COMMIT"));
    progress.clear();
}

// A text column holds at most this many characters (the program's editor and record sets take
// no more, and a server's column holds no more).
constexpr int kTextSize = 255;

// Characters as the databases count them: one outside the basic plane is one, though it takes
// two UTF-16 units.
qsizetype characterCount(const QString& text) {
    qsizetype n = text.size();
    for (QChar c : text)
        if (c.isLowSurrogate())
            --n;
    return n;
}

// A text longer than its column (a memo in the Access file standing where a text column should
// be can hold more) would be kept whole in the new file, where no one could edit it without
// cutting it: the import stops instead, naming every such value.
void requireTextsFit(const QString& source, const AccessData& data) {
    QStringList tooLong;
    const auto look = [&](const TableData& table, const std::vector<ColumnSpec>& specs) {
        for (const Row& row : table.rows)
            for (std::size_t c = 0; c < specs.size(); ++c) {
                const Value& v = row.values.at(c);
                if (specs[c].kind == ColumnKind::Text && !v.null &&
                    characterCount(v.text) > kTextSize)
                    tooLong << QStringLiteral("%1 id %2, %3 (%4 characters)")
                                   .arg(table.name)
                                   .arg(row.id)
                                   .arg(QLatin1String(specs[c].name))
                                   .arg(characterCount(v.text));
            }
    };
    look(data.customers, customerColumns());
    look(data.services, serviceColumns());
    if (!tooLong.isEmpty())
        throw Error(QStringLiteral("'%1' holds texts longer than their column's %2 characters: %3")
                        .arg(source)
                        .arg(kTextSize)
                        .arg(tooLong.join(QStringLiteral(", "))));
}

std::vector<Orphan> orphansOf(const AccessData& data) {
    std::set<std::int64_t> customers;
    for (const Row& r : data.customers.rows)
        customers.insert(r.id);
    std::size_t customerColumn = 0;
    for (std::size_t c = 0; c < serviceColumns().size(); ++c)
        if (serviceColumns()[c].kind == ColumnKind::Long)
            customerColumn = c;
    std::vector<Orphan> orphans;
    for (const Row& r : data.services.rows) {
        const Value& v = r.values[customerColumn];
        if (v.null)
            orphans.push_back({r.id, std::nullopt});
        else if (!customers.count(v.integer))
            orphans.push_back({r.id, v.integer});
    }
    return orphans;
}

QString keptNameFor(const QString& path) {
    const QFileInfo info(path);
    return info.absoluteDir().filePath(info.completeBaseName() + QStringLiteral("-access-") +
                                       timeStamp() + '.' + info.suffix());
}

// The target of a plain import: not the Access file, in a folder that exists, not a folder,
// and replaced only with --force.
void checkTarget(const ImportOptions& options) {
    const QString& target = options.target;
    if (QFileInfo(target).absoluteFilePath() == QFileInfo(options.source).absoluteFilePath())
        throw Error(QStringLiteral("the new database cannot be the Access file itself "
                                   "(--in-place converts a file in its place)"));
    if (!QFileInfo(target).absoluteDir().exists())
        throw Error(QStringLiteral("the directory of '%1' does not exist").arg(target));
    if (QFileInfo(target).isDir())
        throw Error(QStringLiteral("'%1' is a directory").arg(target));
    if (QFileInfo::exists(target) && !options.force)
        throw Error(QStringLiteral("'%1' already exists (--force replaces it)").arg(target));
}

// Checks what was written before it takes the target's name.
void checkWritten(const QString& partial, const QString& target, const AccessData& data,
                  const std::vector<Orphan>& orphans) {
    const CheckResult check = checkDatabase(partial);
    if (!check.ok() || check.customers != std::int64_t(data.customers.rows.size()) ||
        check.services != std::int64_t(data.services.rows.size()) ||
        check.orphans.size() != orphans.size())
        throw Error(QStringLiteral("the new database did not pass its check:\n") +
                    checkReport(target, check));
}

// What the import says it did: rows read and written, the next ids, orphans, values not
// converted and columns ignored.
QString importReport(const QString& source, const QString& format, const QString& target,
                     const QString& partial, const AccessData& data,
                     const std::vector<Orphan>& orphans) {
    QString report;
    report += QStringLiteral("import: '%1' (%2) into '%3'\n").arg(source, format, target);
    report += QStringLiteral("%1  %2  %3  %4\n")
                  .arg(QStringLiteral("table"), -10)
                  .arg(QStringLiteral("read"), 9)
                  .arg(QStringLiteral("written"), 9)
                  .arg(QStringLiteral("next id"), 9);
    for (const TableData* t : {&data.customers, &data.services}) {
        Sqlite written(partial, SQLITE_OPEN_READONLY);
        const std::int64_t next =
            written.integer(QStringLiteral("SELECT coalesce(max(seq), 0) + 1 FROM "
                                           "sqlite_sequence WHERE name = '%1'")
                                .arg(t->name));
        report += QStringLiteral("%1  %2  %3  %4\n")
                      .arg(t->name, -10)
                      .arg(t->rowsRead, 9)
                      .arg(qint64(t->rows.size()), 9)
                      .arg(next, 9);
    }
    report += QStringLiteral("orphan visits (kept): %1\n").arg(orphans.size());
    for (const Orphan& o : orphans)
        report += QStringLiteral("  ") + orphanText(o) + '\n';
    report += QStringLiteral("not converted (imported as NULL): %1\n").arg(data.problems.size());
    for (const Problem& p : data.problems)
        report +=
            QStringLiteral("  %1 id %2, %3: %4\n").arg(p.table).arg(p.id).arg(p.column, p.reason);
    QStringList ignored;
    for (const TableData* t : {&data.customers, &data.services})
        for (const QString& c : t->ignoredColumns)
            ignored << t->name + '.' + c;
    report += QStringLiteral("ignored columns: %1\n")
                  .arg(ignored.isEmpty() ? QStringLiteral("none") : ignored.join(", "));
    report += QStringLiteral("check: integrity ok, schema ok, row counts match\n");
    return report;
}

// Puts the written file in the Access file's place, the Access file kept beside it under a
// dated name (put back when the new file cannot take its place); returns the kept name.
QString replaceInPlace(const QString& partial, const QString& source) {
    takeAttributes(partial, source);
    const QString kept = keptNameFor(source);
    placeFile(source, kept, false);
    try {
        placeFile(partial, source, false);
    } catch (...) {
        placeFile(kept, source, false); // put the Access file back
        throw;
    }
    return kept;
}

int failed(const QString& partial, const QByteArray& shownTarget, const QString& why,
           std::FILE* err) {
    if (!partial.isEmpty())
        removePartial(partial);
    std::fprintf(err, "korvela-admin: %s\nnothing was written to '%s'\n", why.toUtf8().constData(),
                 shownTarget.constData());
    return 1;
}

} // namespace

int runImport(const ImportOptions& options, std::FILE* out, std::FILE* err) {
    const QString source = options.source;
    const QString target = options.inPlace ? source : options.target;
    const QByteArray shownTarget = target.toUtf8();
    QString partial;
    try {
        const QString format = checkAccessHeader(source);
        if (!options.inPlace)
            checkTarget(options);
        const AccessData data = readInChild(source, err);
        requireTextsFit(source, data);

        partial = partialNameFor(target);
        removePartial(partial);
        Progress progress(fileno(err));
        writeDatabase(partial, data, progress);
        const std::vector<Orphan> orphans = orphansOf(data);
        checkWritten(partial, target, data, orphans);
        QString report = importReport(source, format, target, partial, data, orphans);

        if (options.inPlace) {
            if (!data.problems.empty())
                throw Error(report + QStringLiteral("nothing was changed: some values could not "
                                                    "be converted (a plain import shows the "
                                                    "result without touching '%1')")
                                         .arg(source));
            report += QStringLiteral("the Access file is kept as '%1'\n")
                          .arg(replaceInPlace(partial, source));
        } else {
            takeAttributes(partial, target);
            placeFile(partial, target, options.force);
        }
        report += QStringLiteral("done: '%1' is ready\n").arg(target);
        std::fputs(report.toUtf8().constData(), out);
        std::fflush(out);
        return data.problems.empty() ? 0 : 3;
    } catch (const Error& e) {
        return failed(partial, shownTarget, e.text, err);
    } catch (const std::exception& e) {
        return failed(partial, shownTarget, QString::fromUtf8(e.what()), err);
    }
}

} // namespace admin
