// SqliteBackend: opening the database file, running statements and writing rows back by key.
#include "engine/SqliteBackend.h"

#include "core/Errors.h"
#include "engine/BenchmarkSwitches.h"
#include "engine/EngineMessage.h"
#include "engine/FileCheck.h"
#include "engine/OpenMark.h"
#include "engine/SqliteChangeFeed.h"
#include "engine/SqliteStatements.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cursor {

struct SqliteBackend::Private {
    sqlite3* db = nullptr;
    QString path;
    std::unique_ptr<OpenMark> mark; // held while the file is open
    std::unique_ptr<SqliteChangeFeed> feed;
    // Whether the open file is to be checked, and its check from startCheck() until the file is
    // closed.
    bool checked = false;
    std::unique_ptr<FileCheck> check;
    // Damage found by the check or by an operation, SQLite's finding, and whether an error has
    // said so yet.
    bool readOnly = false;
    QString finding;
    bool reported = false;
    std::function<void()> stateChanged;
    std::function<void(bool)> waitObserver;
    SqliteStatements statements; // of select, let go before the file closes
};

namespace {

bool checkOnOpen = true;

QString notKorvela(const QString& path) {
    return QStringLiteral("'%1' is not a Korvela database").arg(path);
}

// The report of a damaged file, in the user's language with SQLite's own finding after it.
QString damaged(const QString& path, const QString& finding) {
    return QStringLiteral("Veritabanı dosyası bozuk: '%1'. Program bu oturumda dosyaya hiçbir şey "
                          "yazmayacak. Dosyayı \"korvela-admin check '%1'\" ile denetleyin ve bir "
                          "yedekten geri yükleyin. SQLite: %2")
        .arg(path, finding);
}

// What SQLite says of a damaged file: "database disk image is malformed" (a page does not hold
// what the file's structure says), "file is not a database" (the header is gone).
bool isDamage(int rc) {
    return (rc & 0xFF) == SQLITE_CORRUPT || (rc & 0xFF) == SQLITE_NOTADB;
}

// An error of SQLite that says the file is damaged; SqliteBackend turns it into its report and
// writes nothing more.
class DamageFound : public EOleException {
public:
    using EOleException::EOleException;
};

QString notFound(const QString& path) {
    return QStringLiteral("Could not find file '%1'").arg(path);
}

} // namespace

bool hasSqliteHeader(const QString& path, QString* error) {
    QString ignored;
    if (!error)
        error = &ignored;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = QStringLiteral("Could not open file '%1': %2")
                     .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat st {};
    char head[16] = {};
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const ssize_t got = regular ? ::read(fd, head, sizeof head) : 0;
    ::close(fd);
    if (!regular) {
        *error = notFound(path);
        return false;
    }
    if (got != 16 || QByteArray(head, 16) != QByteArray("SQLite format 3\0", 16)) {
        *error = notKorvela(path);
        return false;
    }
    return true;
}

namespace {

// SQLite's text of the last error; the common ones behind the sentence a user can act on.
QString sqliteMessage(sqlite3* db) {
    const QString text = QString::fromUtf8(sqlite3_errmsg(db));
    switch (sqlite3_errcode(db) & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return explainedMessage(EngineProblem::FileBusy, text);
    case SQLITE_READONLY:
        return explainedMessage(EngineProblem::FileReadOnly, text);
    case SQLITE_FULL:
        return explainedMessage(EngineProblem::FileDiskFull, text);
    default:
        return text;
    }
}

[[noreturn]] void throwSqlite(sqlite3* db) {
    if (isDamage(sqlite3_errcode(db)))
        throw DamageFound(QString::fromUtf8(sqlite3_errmsg(db)));
    throw EOleException(sqliteMessage(db));
}

QByteArray quoteName(const QByteArray& name) {
    QByteArray quoted = name;
    quoted.replace('"', "\"\"");
    return '"' + quoted + '"';
}

// A prepared statement that finalizes itself.
class Statement {
public:
    Statement(sqlite3* db, const QByteArray& sql) : db_(db) {
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &statement_, nullptr) !=
            SQLITE_OK)
            throwSqlite(db);
    }
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* get() const { return statement_; }
    // Steps once; true on a row, false when done; throws on an error.
    bool step() {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        throwSqlite(db_);
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

// A write transaction: BEGIN IMMEDIATE (so a competing writer waits for the busy timeout before the
// first statement rather than in the middle), or a savepoint when one is already open.
class WriteTransaction {
public:
    explicit WriteTransaction(sqlite3* db) : db_(db), nested_(sqlite3_get_autocommit(db) == 0) {
        exec(nested_ ? "SAVEPOINT cursor_write" : "BEGIN IMMEDIATE");
    }
    ~WriteTransaction() {
        if (!done_)
            sqlite3_exec(db_,
                         nested_ ? "ROLLBACK TO cursor_write; RELEASE cursor_write" : "ROLLBACK",
                         nullptr, nullptr, nullptr);
    }
    WriteTransaction(const WriteTransaction&) = delete;
    WriteTransaction& operator=(const WriteTransaction&) = delete;
    void commit() {
        exec(nested_ ? "RELEASE cursor_write" : "COMMIT");
        done_ = true;
    }

private:
    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
            throwSqlite(db_);
    }
    sqlite3* db_;
    bool nested_;
    bool done_ = false;
};

ColumnType typeFromDeclaration(const char* declared, int* size) {
    *size = 0;
    if (!declared)
        return ColumnType::Other;
    const QByteArray t = QByteArray(declared).trimmed().toUpper();
    const auto sizeIn = [&]() {
        const qsizetype open = t.indexOf('(');
        const qsizetype close = t.indexOf(')', open);
        bool ok = false;
        const int n = open >= 0 && close > open ? t.mid(open + 1, close - open - 1).toInt(&ok) : 0;
        return ok ? n : 255;
    };
    if (t.startsWith("CURRENCY") || t.startsWith("MONEY"))
        return ColumnType::Currency;
    if (t.startsWith("DATETIME") || t == "DATE" || t == "TIMESTAMP")
        return ColumnType::DateTime;
    if (t.startsWith("LONGTEXT") || t.startsWith("MEMO") || t == "TEXT" || t.startsWith("CLOB"))
        return ColumnType::Memo;
    if (t.startsWith("VARCHAR") || t.startsWith("NVARCHAR") || t.startsWith("CHAR") ||
        t.startsWith("TEXT(")) {
        *size = sizeIn();
        return ColumnType::Text;
    }
    if (t.contains("INT") || t == "LONG")
        return ColumnType::Integer;
    if (t.startsWith("REAL") || t.startsWith("DOUBLE") || t.startsWith("FLOAT"))
        return ColumnType::Float;
    return ColumnType::Other;
}

// A column of a statement's current row; text and blobs point into SQLite's memory until the
// next step. Read through sqlite3_column_value: the connection is opened without SQLite's mutex,
// where the value interfaces may be used on the column values directly.
CellData columnCell(sqlite3_stmt* statement, int column) {
    sqlite3_value* value = sqlite3_column_value(statement, column);
    switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
        return {CellData::Integer, sqlite3_value_int64(value), 0, {}};
    case SQLITE_FLOAT:
        return {CellData::Float, 0, sqlite3_value_double(value), {}};
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        return {CellData::Text, 0, 0, {text, std::size_t(sqlite3_value_bytes(value))}};
    }
    case SQLITE_BLOB: {
        const auto* blob = static_cast<const char*>(sqlite3_value_blob(value));
        return {CellData::Blob, 0, 0, {blob, std::size_t(sqlite3_value_bytes(value))}};
    }
    default:
        return {};
    }
}

// One result row of a statement.
class StatementRow final : public RowSource {
public:
    explicit StatementRow(sqlite3_stmt* statement)
        : statement_(statement), columns_(sqlite3_column_count(statement)) {}
    int columnCount() const override { return columns_; }
    // Each value goes straight from SQLite's memory into the store, with one switch on its type.
    void read(RowWriter& writer) const override {
        for (int c = 0; c < columns_; ++c) {
            sqlite3_value* value = sqlite3_column_value(statement_, c);
            switch (sqlite3_value_type(value)) {
            case SQLITE_INTEGER:
                writer.putInteger(sqlite3_value_int64(value));
                break;
            case SQLITE_FLOAT:
                writer.putFloat(sqlite3_value_double(value));
                break;
            case SQLITE_TEXT:
                writer.putText(reinterpret_cast<const char*>(sqlite3_value_text(value)),
                               std::size_t(sqlite3_value_bytes(value)));
                break;
            case SQLITE_BLOB:
                writer.putBlob(static_cast<const char*>(sqlite3_value_blob(value)),
                               std::size_t(sqlite3_value_bytes(value)));
                break;
            default:
                writer.putNull();
                break;
            }
        }
    }

private:
    sqlite3_stmt* statement_;
    int columns_;
};

void bindValue(sqlite3_stmt* statement, int index, const Value& value) {
    QByteArray storage;
    const CellData cell = storedForm(value, &storage);
    int rc = SQLITE_OK;
    switch (cell.type) {
    case CellData::Null:
        rc = sqlite3_bind_null(statement, index);
        break;
    case CellData::Integer:
        rc = sqlite3_bind_int64(statement, index, cell.integer);
        break;
    case CellData::Float:
        rc = sqlite3_bind_double(statement, index, cell.real);
        break;
    case CellData::Text:
    case CellData::Blob:
        rc = sqlite3_bind_text(statement, index, cell.bytes.data() ? cell.bytes.data() : "",
                               int(cell.bytes.size()), SQLITE_TRANSIENT);
        break;
    }
    if (rc != SQLITE_OK)
        throwSqlite(sqlite3_db_handle(statement));
}

// Binds a cell exactly as it was read, so "column IS ?" compares like with like.
void bindCell(sqlite3_stmt* statement, int index, const CellData& cell) {
    const char* data = cell.bytes.data() ? cell.bytes.data() : "";
    switch (cell.type) {
    case CellData::Integer:
        sqlite3_bind_int64(statement, index, cell.integer);
        break;
    case CellData::Float:
        sqlite3_bind_double(statement, index, cell.real);
        break;
    case CellData::Text:
        sqlite3_bind_text(statement, index, data, int(cell.bytes.size()), SQLITE_TRANSIENT);
        break;
    case CellData::Blob:
        sqlite3_bind_blob(statement, index, data, int(cell.bytes.size()), SQLITE_TRANSIENT);
        break;
    case CellData::Null:
        sqlite3_bind_null(statement, index);
        break;
    }
}

QByteArray qualified(const BaseTable& table) {
    return quoteName(table.schema) + "." + quoteName(table.name);
}

QByteArray keyName(const BaseTable& table) {
    return quoteName(table.origins[std::size_t(table.keyColumn)]);
}

// The result's columns, and its base table when every column that comes from a table comes from
// the same one and that table's single-column primary key is among them.
ResultShape describe(sqlite3_stmt* statement, sqlite3* db) {
    const int n = sqlite3_column_count(statement);
    ResultShape shape;
    shape.columns.resize(std::size_t(n));
    std::vector<QByteArray> origins(static_cast<std::size_t>(n));
    QByteArray schema, table;
    bool single = true;
    std::vector<int> autoIncrement(std::size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        ColumnInfo& info = shape.columns[std::size_t(i)];
        info.name = QString::fromUtf8(sqlite3_column_name(statement, i));
        info.type = typeFromDeclaration(sqlite3_column_decltype(statement, i), &info.size);
        const char* t = sqlite3_column_table_name(statement, i);
        const char* origin = sqlite3_column_origin_name(statement, i);
        const char* database = sqlite3_column_database_name(statement, i);
        if (!t || !origin || !database)
            continue;
        origins[std::size_t(i)] = origin;
        if (table.isEmpty()) {
            schema = database;
            table = t;
        } else if (table != t || schema != database) {
            single = false;
        }
        int notNull = 0, primaryKey = 0;
        if (sqlite3_table_column_metadata(db, database, t, origin, nullptr, nullptr, &notNull,
                                          &primaryKey,
                                          &autoIncrement[std::size_t(i)]) == SQLITE_OK &&
            autoIncrement[std::size_t(i)])
            info.type = ColumnType::AutoIncrement;
    }
    if (!single || table.isEmpty())
        return shape;
    Statement keys(db, "SELECT name FROM pragma_table_info(?1, ?2) WHERE pk > 0");
    sqlite3_bind_text(keys.get(), 1, table.constData(), int(table.size()), SQLITE_TRANSIENT);
    sqlite3_bind_text(keys.get(), 2, schema.constData(), int(schema.size()), SQLITE_TRANSIENT);
    QList<QByteArray> keyNames;
    while (keys.step())
        keyNames << reinterpret_cast<const char*>(sqlite3_column_text(keys.get(), 0));
    if (keyNames.size() != 1)
        return shape;
    int keyColumn = -1;
    for (int i = 0; i < n && keyColumn < 0; ++i)
        if (origins[std::size_t(i)].compare(keyNames.front(), Qt::CaseInsensitive) == 0)
            keyColumn = i;
    if (keyColumn < 0)
        return shape;
    shape.columns[std::size_t(keyColumn)].key = true;
    for (int i = 0; i < n; ++i)
        shape.columns[std::size_t(i)].updatable =
            !origins[std::size_t(i)].isEmpty() && !autoIncrement[std::size_t(i)];
    shape.table = BaseTable{schema, table, keyColumn, std::move(origins)};
    return shape;
}

// A refused INSERT or UPDATE; a missing owner row gets the text users know from Access.
[[noreturn]] void throwWriteError(sqlite3* db, const BaseTable& table) {
    if (sqlite3_extended_errcode(db) == SQLITE_CONSTRAINT_FOREIGNKEY) {
        QStringList parents;
        Statement list(db, "SELECT \"table\" FROM pragma_foreign_key_list(?1)");
        sqlite3_bind_text(list.get(), 1, table.name.constData(), int(table.name.size()),
                          SQLITE_TRANSIENT);
        while (list.step()) {
            const QString parent = QString::fromUtf8(
                reinterpret_cast<const char*>(sqlite3_column_text(list.get(), 0)));
            if (!parents.contains(parent))
                parents << parent;
        }
        throw EOleException(relatedRecordRequired(parents));
    }
    throwSqlite(db);
}

// Reads the row back after its write committed; a failure to read means the view keeps the
// values written, which is what the file holds.
ReadBack readBack(SqliteBackend& backend, const BaseTable& table, const CellData& key,
                  const RowReader& stored) {
    try {
        return backend.reread(table, key, stored) ? ReadBack::Read : ReadBack::Gone;
    } catch (const core::Exception&) {
        return ReadBack::Failed; // another program holds a lock on the file just now
    }
}

} // namespace

SqliteBackend::SqliteBackend() : d(std::make_unique<Private>()) {}

SqliteBackend::~SqliteBackend() {
    close();
}

void SqliteBackend::open(const QString& path, std::function<void()> stateChanged) {
    close();
    // Only a regular file, or a link to one, is a database; a FIFO, directory or device named
    // like it counts as missing.
    const QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        throw EOleException(notFound(path));
    QString error;
    if (!hasSqliteHeader(path, &error))
        throw EOleException(error);
    // Marked before SQLite opens it, so the file SQLite opens is the one marked.
    std::unique_ptr<OpenMark> mark = OpenMark::forProgram(path, kBusyTimeoutMs);

    sqlite3* db = nullptr;
    // One thread uses a connection, so SQLite's per-call locking is not needed (NOMUTEX).
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db))
                                   : QStringLiteral("Could not open file '%1'").arg(path);
        sqlite3_close_v2(db);
        throw EOleException(message);
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 0);
    // SQLite checks foreign keys (a visit's customer must exist) only where a connection asks.
    sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);

    // Reading the schema is the first real access: a damaged file fails here, a locked one after
    // the busy timeout. Nothing is written.
    sqlite3_stmt* statement = nullptr;
    int found = -1;
    int stepRc = sqlite3_prepare_v2(db,
                                    "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND "
                                    "name IN ('t_musteri', 't_servis')",
                                    -1, &statement, nullptr);
    if (stepRc == SQLITE_OK) {
        stepRc = sqlite3_step(statement);
        if (stepRc == SQLITE_ROW)
            found = sqlite3_column_int(statement, 0);
    }
    QString message;
    if (found == 2) {
        sqlite3_finalize(statement);
        d->db = db;
        d->path = path;
        d->mark = std::move(mark);
        d->stateChanged = std::move(stateChanged);
        d->checked = checkOnOpen;
        return;
    }
    if (found >= 0)
        message =
            notKorvela(path) + QStringLiteral(" (it lacks the tables t_musteri and t_servis)");
    else if (stepRc == SQLITE_CORRUPT && hasSqliteHeader(path, &message))
        message = damaged(path, QString::fromUtf8(sqlite3_errmsg(db)));
    else if (stepRc == SQLITE_NOTADB || stepRc == SQLITE_CORRUPT)
        message = notKorvela(path);
    else
        message = sqliteMessage(db);
    sqlite3_finalize(statement);
    sqlite3_close_v2(db);
    throw EOleException(message);
}

void benchmark::setFileCheckOnOpen(bool on) {
    checkOnOpen = on;
}

void SqliteBackend::startCheck() {
    // Only after the schema was read (in open): that first read has rolled back what a writer
    // that died left half done, which the check's read-only connection could not.
    if (d->db && d->checked && !d->check)
        d->check = std::make_unique<FileCheck>(d->path, d->stateChanged);
}

WriteState SqliteBackend::writeState() const {
    if (d->readOnly)
        return WriteState::ReadOnly;
    if (!d->checked)
        return WriteState::Writable;
    if (!d->check)
        return WriteState::Checking;
    switch (d->check->outcome()) {
    case FileCheck::Outcome::Whole:
        return WriteState::Writable;
    case FileCheck::Outcome::Damaged:
        return WriteState::ReadOnly;
    case FileCheck::Outcome::Running:
    case FileCheck::Outcome::Unchecked: // not passed: the next write checks again
        break;
    }
    return WriteState::Checking;
}

void SqliteBackend::settle() {
    if (!d->readOnly && d->check && d->check->outcome() == FileCheck::Outcome::Damaged) {
        d->readOnly = true;
        d->finding = d->check->finding();
    }
}

void SqliteBackend::requireWritable() {
    db();
    settle();
    if (!d->readOnly && d->checked) {
        startCheck();
        const bool running = d->check->outcome() == FileCheck::Outcome::Running;
        if (running && d->waitObserver)
            d->waitObserver(true);
        d->check->wait();
        if (running && d->waitObserver)
            d->waitObserver(false);
        if (d->check->outcome() == FileCheck::Outcome::Unchecked) {
            // Another program held the file locked all along (or it could not be opened): the
            // write fails as it would have, and the next one checks again.
            const QString reason = d->check->finding();
            const int code = d->check->errorCode();
            d->check.reset();
            throw EOleException(code == SQLITE_BUSY || code == SQLITE_LOCKED
                                    ? explainedMessage(EngineProblem::FileBusy, reason)
                                    : reason);
        }
        settle();
    }
    if (!d->readOnly)
        return;
    d->reported = true;
    throw EOleException(QStringLiteral("Değişiklik kaydedilmedi. ") + damaged(d->path, d->finding));
}

void SqliteBackend::reportDamage() {
    settle();
    if (!d->readOnly || d->reported)
        return;
    d->reported = true;
    throw EOleException(damaged(d->path, d->finding));
}

void SqliteBackend::failDamaged(const QString& finding) {
    settle();
    const bool changed = !d->readOnly;
    if (changed) {
        d->readOnly = true;
        d->finding = finding;
    }
    d->reported = true;
    if (changed && d->stateChanged)
        d->stateChanged();
    throw EOleException(damaged(d->path, finding));
}

void SqliteBackend::setWaitObserver(std::function<void(bool)> observer) {
    d->waitObserver = std::move(observer);
}

void SqliteBackend::close() {
    d->check.reset(); // interrupts the check and ends its thread before the file is let go
    d->feed.reset();
    d->statements.clear();
    if (d->db) {
        sqlite3_close_v2(d->db);
        d->db = nullptr;
    }
    d->mark.reset();
    d->path.clear();
    d->checked = d->readOnly = d->reported = false;
    d->finding.clear();
    d->stateChanged = {};
}

bool SqliteBackend::isOpen() const {
    return d->db != nullptr;
}

bool SqliteBackend::schemaNeedsUpgrade() {
    Statement statement(db(), "SELECT count(*) FROM pragma_foreign_key_list('t_servis') WHERE "
                              "\"table\" = 't_musteri' AND \"from\" = 'id_musteri'");
    return !statement.step() || sqlite3_column_int(statement.get(), 0) == 0;
}

sqlite3* SqliteBackend::handle() const {
    return d->db;
}

const QString& SqliteBackend::path() const {
    return d->path;
}

sqlite3* SqliteBackend::db() const {
    if (!d->db)
        throw EOleException(QStringLiteral("Operation is not allowed when the object is closed"));
    return d->db;
}

template <typename Body> auto SqliteBackend::watched(Body&& body) {
    try {
        return body();
    } catch (const DamageFound& e) {
        failDamaged(e.message());
    }
}

template <typename EachRow>
void SqliteBackend::runSelect(const QString& sql,
                              const std::function<void(ResultShape)>& describeTo,
                              EachRow&& eachRow) {
    sqlite3* handle = db();
    watched([&] {
        const QByteArray text = sql.toUtf8();
        SqliteStatements::Lease statement(d->statements, handle, text);
        if (statement.prepareResult() != SQLITE_OK)
            throwSqlite(handle);
        sqlite3_stmt* raw = statement.get();
        if (!raw)
            throw EOleException(QStringLiteral("Command text was not set for the command object"));
        for (const char* tail = statement.tail(); tail && *tail; ++tail) {
            if (!QChar::isSpace(uchar(*tail)) && *tail != ';')
                throw EOleException(QStringLiteral("Characters found after end of SQL statement"));
        }
        statement.keep();
        // A statement that may write waits for the file's check like every write.
        if (!sqlite3_stmt_readonly(raw))
            requireWritable();
        if (sqlite3_column_count(raw) == 0) {
            describeTo(ResultShape{});
        } else {
            if (!statement.shape())
                statement.setShape(describe(raw, handle));
            describeTo(*statement.shape());
        }
        if (eachRow(raw) != SQLITE_DONE)
            throwSqlite(handle);
    });
}

void SqliteBackend::select(const QString& sql, const std::function<void(ResultShape)>& describeTo,
                           const RowReader& read) {
    runSelect(sql, describeTo, [&](sqlite3_stmt* raw) {
        const StatementRow row(raw);
        int rc;
        while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
            read(row);
        return rc;
    });
}

// The rows go into the store with the row's read inlined into this loop: no call through a reader
// or the row's virtual read for each.
void SqliteBackend::selectInto(const QString& sql,
                               const std::function<RowStore&(ResultShape)>& describe) {
    RowStore* store = nullptr;
    runSelect(
        sql, [&](ResultShape shape) { store = &describe(std::move(shape)); },
        [&](sqlite3_stmt* raw) {
            const StatementRow row(raw);
            int rc;
            while ((rc = sqlite3_step(raw)) == SQLITE_ROW)
                store->append(row);
            return rc;
        });
}

SqliteBackend::Inserted SqliteBackend::insert(const BaseTable& table,
                                              const std::vector<ColumnValue>& values,
                                              const RowReader& stored) {
    sqlite3* handle = db();
    requireWritable();
    return watched([&] {
        QByteArray sql = "INSERT INTO " + qualified(table);
        if (values.empty()) {
            sql += " DEFAULT VALUES";
        } else {
            QByteArray names, marks;
            for (const ColumnValue& v : values) {
                names +=
                    (names.isEmpty() ? "" : ", ") + quoteName(table.origins[std::size_t(v.column)]);
                marks += marks.isEmpty() ? "?" : ", ?";
            }
            sql += " (" + names + ") VALUES (" + marks + ")";
        }
        sql += " RETURNING " + keyName(table);
        Inserted inserted;
        QByteArray keyBytes;
        CellData key;
        {
            WriteTransaction transaction(handle);
            Statement insert(handle, sql);
            int index = 1;
            for (const ColumnValue& v : values)
                bindValue(insert.get(), index++, v.value);
            if (sqlite3_step(insert.get()) != SQLITE_ROW)
                throwWriteError(handle, table);
            key = columnCell(insert.get(), 0);
            if (key.type == CellData::Text || key.type == CellData::Blob) {
                keyBytes = QByteArray(key.bytes.data(), qsizetype(key.bytes.size()));
                key.bytes = {keyBytes.constData(), std::size_t(keyBytes.size())};
            }
            if (sqlite3_step(insert.get()) != SQLITE_DONE)
                throwWriteError(handle, table);
            transaction.commit();
        }
        switch (key.type) {
        case CellData::Integer:
            inserted.key = qint64(key.integer);
            break;
        case CellData::Float:
            inserted.key = key.real;
            break;
        case CellData::Text:
        case CellData::Blob:
            inserted.key = QString::fromUtf8(keyBytes);
            break;
        case CellData::Null:
            break;
        }
        inserted.readBack = readBack(*this, table, key, stored);
        return inserted;
    });
}

ReadBack SqliteBackend::update(const BaseTable& table, const CellData& key,
                               const std::vector<ColumnChange>& changes, const RowReader& stored) {
    sqlite3* handle = db();
    if (changes.empty())
        return readBack(*this, table, key, stored);
    requireWritable();
    return watched([&] {
        QByteArray sets, checks;
        for (const ColumnChange& change : changes) {
            const QByteArray name = quoteName(table.origins[std::size_t(change.column)]);
            sets += (sets.isEmpty() ? "" : ", ") + name + " = ?";
            checks += " AND " + name + " IS ?";
        }
        {
            WriteTransaction transaction(handle);
            Statement statement(handle, "UPDATE " + qualified(table) + " SET " + sets + " WHERE " +
                                            keyName(table) + " IS ?" + checks);
            int index = 1;
            for (const ColumnChange& change : changes)
                bindValue(statement.get(), index++, change.value);
            bindCell(statement.get(), index++, key);
            for (const ColumnChange& change : changes)
                bindCell(statement.get(), index++, change.original);
            if (sqlite3_step(statement.get()) != SQLITE_DONE)
                throwWriteError(handle, table);
            if (sqlite3_changes(handle) == 0)
                throw EOleException(kRowConflict);
            transaction.commit();
        }
        return readBack(*this, table, key, stored);
    });
}

void SqliteBackend::remove(const BaseTable& table, const CellData& key,
                           const std::vector<ColumnCell>& originals) {
    sqlite3* handle = db();
    requireWritable();
    watched([&] {
        QByteArray sql = "DELETE FROM " + qualified(table) + " WHERE " + keyName(table) + " IS ?";
        for (const ColumnCell& c : originals)
            sql += " AND " + quoteName(table.origins[std::size_t(c.column)]) + " IS ?";
        WriteTransaction transaction(handle);
        Statement statement(handle, sql);
        int index = 1;
        bindCell(statement.get(), index++, key);
        for (const ColumnCell& c : originals)
            bindCell(statement.get(), index++, c.original);
        statement.step();
        if (sqlite3_changes(handle) == 0)
            throw EOleException(kRowConflict);
        transaction.commit();
    });
}

ChangeFeed& SqliteBackend::changeFeed() {
    db(); // raises when closed
    if (!d->feed)
        d->feed = std::make_unique<SqliteChangeFeed>(*this);
    return *d->feed;
}

bool SqliteBackend::reread(const BaseTable& table, const CellData& key, const RowReader& row) {
    sqlite3* handle = db();
    return watched([&] {
        QByteArray sql = "SELECT ";
        for (std::size_t i = 0; i < table.origins.size(); ++i) {
            if (i > 0)
                sql += ", ";
            sql += table.origins[i].isEmpty() ? QByteArray("NULL") : quoteName(table.origins[i]);
        }
        sql += " FROM " + qualified(table) + " WHERE " + keyName(table) + " IS ?";
        Statement statement(handle, sql);
        bindCell(statement.get(), 1, key);
        if (!statement.step())
            return false;
        row(StatementRow(statement.get()));
        return true;
    });
}

} // namespace cursor
