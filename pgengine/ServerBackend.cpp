// Server backend: result columns from libpq and the catalog, rows, and write-back by key.
#include "pgengine/ServerBackend.h"

#include "pgengine/PgError.h"
#include "pgengine/PgValue.h"
#include "pgengine/ServerChangeFeed.h"

#include <charconv>
#include <cmath>
#include <libpq-fe.h>
#include <set>

namespace pgengine {

namespace {

// Type oids of the server's built-in types (pg_type.dat).
constexpr Oid kBool = 16, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kOid = 26, kFloat4 = 700,
              kFloat8 = 701, kBpchar = 1042, kVarchar = 1043, kDate = 1082, kTimestamp = 1114,
              kNumeric = 1700;

bool isInteger(Oid type) {
    return type == kInt2 || type == kInt4 || type == kInt8 || type == kOid;
}

cursor::ColumnType mapType(Oid type, int modifier, int* size) {
    using cursor::ColumnType;
    *size = 0;
    switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
        return ColumnType::Integer;
    case kVarchar:
    case kBpchar:
        *size = modifier >= 4 ? modifier - 4 : 0;
        return ColumnType::Text;
    case kText:
        return ColumnType::Memo;
    case kTimestamp:
    case kDate:
        return ColumnType::DateTime;
    case kNumeric:
        // numeric(p,s) carries ((p << 16) | s) + 4; money columns are numeric(19,4).
        if (modifier >= 4 && ((modifier - 4) & 0xFFFF) == 4 && ((modifier - 4) >> 16) == 19)
            return ColumnType::Currency;
        return ColumnType::Other;
    case kFloat4:
    case kFloat8:
        return ColumnType::Float;
    default:
        return ColumnType::Other;
    }
}

QByteArray bytes(std::string_view text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

[[noreturn]] void conflict() {
    throw ServerError(ServerError::Kind::Conflict, cursor::kRowConflict);
}

// How a result column's cells are handed over.
enum class CellKind : std::uint8_t { Integer, Float, Text };

// The first columns of the result (the rest are not handed over).
std::vector<CellKind> cellKinds(const Result& result, int columns) {
    std::vector<CellKind> kinds(std::size_t(columns), CellKind::Text);
    for (int c = 0; c < columns; ++c) {
        const Oid type = PQftype(result.get(), c);
        kinds[std::size_t(c)] = isInteger(type)                      ? CellKind::Integer
                                : type == kFloat4 || type == kFloat8 ? CellKind::Float
                                                                     : CellKind::Text;
    }
    return kinds;
}

// One row of a libpq result; the cells point into the result.
class ResultRow : public cursor::RowSource {
public:
    ResultRow(const Result& result, const std::vector<CellKind>& kinds)
        : result_(result), kinds_(kinds) {}
    void setRow(int row) { row_ = row; }
    int columnCount() const override { return int(kinds_.size()); }
    void read(cursor::RowWriter& writer) const override {
        for (int c = 0; c < columnCount(); ++c)
            writer.put(cell(c));
    }

    cursor::CellData cell(int column) const {
        cursor::CellData cell;
        if (result_.isNull(row_, column))
            return cell;
        cell.bytes = result_.text(row_, column);
        const char* begin = cell.bytes.data();
        const char* end = begin + cell.bytes.size();
        switch (kinds_[std::size_t(column)]) {
        case CellKind::Integer: {
            const auto [last, error] = std::from_chars(begin, end, cell.integer);
            if (error == std::errc() && last == end) {
                cell.type = cursor::CellData::Integer;
                return cell;
            }
            break;
        }
        case CellKind::Float: {
            // from_chars takes "NaN" and "Infinity" as well; those stay text.
            const auto [last, error] = std::from_chars(begin, end, cell.real);
            if (error == std::errc() && last == end && std::isfinite(cell.real)) {
                cell.type = cursor::CellData::Float;
                return cell;
            }
            break;
        }
        case CellKind::Text:
            break;
        }
        cell.type = cursor::CellData::Text;
        return cell;
    }

private:
    const Result& result_;
    const std::vector<CellKind>& kinds_;
    int row_ = 0;
};

// Hands every row of the result's first columns to the reader, in order.
void readRows(const Result& result, const cursor::RowReader& reader, int columns) {
    const std::vector<CellKind> kinds = cellKinds(result, columns);
    ResultRow row(result, kinds);
    for (int r = 0; r < result.rowCount(); ++r) {
        row.setRow(r);
        reader(row);
    }
}

QByteArray qualified(const cursor::BaseTable& table) {
    return Session::quoteName(table.schema) + '.' + Session::quoteName(table.name);
}

// The written row in the result's column shape: NULL stands for columns not of the table.
QByteArray columnList(const cursor::BaseTable& table) {
    QByteArray sql;
    for (std::size_t i = 0; i < table.origins.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql +=
            table.origins[i].isEmpty() ? QByteArray("NULL") : Session::quoteName(table.origins[i]);
    }
    return sql;
}

// What a write returns: the row as stored, in the result's column shape, then the
// transaction's id (Transaction::setId).
QByteArray returning(const cursor::BaseTable& table) {
    return " RETURNING " + columnList(table) + ", pg_current_xact_id()";
}

// The table's key column, or the provider's refusal when the rows cannot be written back.
QByteArray keyName(const cursor::BaseTable& table) {
    if (table.keyColumn < 0 || std::size_t(table.keyColumn) >= table.origins.size() ||
        table.origins[std::size_t(table.keyColumn)].isEmpty())
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("Current Recordset does not support updating. This may "
                                         "be a limitation of the provider, or of the selected "
                                         "locktype"));
    return Session::quoteName(table.origins[std::size_t(table.keyColumn)]);
}

// The table column a write names: one of the table's, not the key.
QByteArray writableName(const cursor::BaseTable& table, int column) {
    if (column < 0 || std::size_t(column) >= table.origins.size() ||
        table.origins[std::size_t(column)].isEmpty())
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("Column %1 is not a column of table '%2'")
                              .arg(column)
                              .arg(QString::fromUtf8(table.name)));
    const QByteArray& name = table.origins[std::size_t(column)];
    if (column == table.keyColumn)
        throw ServerError(
            ServerError::Kind::Statement,
            QStringLiteral("Field '%1' cannot be updated").arg(QString::fromUtf8(name)));
    return Session::quoteName(name);
}

// A value to write into a column. PostgreSQL's text cannot hold the NUL character (libpq would
// send the text only up to it): such a value is refused before anything is sent.
Param valueParam(const cursor::BaseTable& table, int column, const cursor::Value& value) {
    if (const QString* text = std::get_if<QString>(&value); text && text->contains(QChar(0)))
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("The text for field '%1' holds the character NUL (code "
                                         "0), which the database server cannot store")
                              .arg(QString::fromUtf8(table.origins[std::size_t(column)])));
    return toParam(value);
}

// A run of "$n" markers as the parameters grow.
QByteArray mark(const std::vector<Param>& params) {
    return '$' + QByteArray::number(qsizetype(params.size()));
}

} // namespace

// One base table as the catalog describes it.
struct ServerBackend::TableInfo {
    QByteArray schema, name;
    bool isTable = false;
    int keyAttribute = 0; // attnum of the single-column primary key, 0 for none
    struct Attribute {
        QByteArray name;
        bool generated = false; // identity, serial default or a generated column
    };
    QHash<int, Attribute> attributes; // by attnum
};

ServerBackend::ServerBackend(const QString& connectionString) {
    session_.open(connectionString);
}

ServerBackend::~ServerBackend() = default;

bool ServerBackend::isOpen() const {
    return session_.isOpen();
}

void ServerBackend::close() {
    feed_.reset();
    session_.close();
    tables_.clear();
}

cursor::ChangeFeed& ServerBackend::changeFeed() {
    if (!session_.isOpen())
        throw ServerError(ServerError::Kind::Connection,
                          QStringLiteral("The database server connection is closed"));
    if (!feed_)
        feed_ = std::make_unique<ServerChangeFeed>(session_);
    return *feed_;
}

const ServerBackend::TableInfo& ServerBackend::tableInfo(unsigned oid) {
    if (tablesGeneration_ != session_.generation()) {
        tables_.clear();
        tablesGeneration_ = session_.generation();
    }
    if (const auto it = tables_.constFind(oid); it != tables_.constEnd())
        return **it;
    const Result r = session_.exec(
        "SELECT n.nspname, c.relname, c.relkind IN ('r', 'p'), a.attnum, a.attname, "
        "a.attidentity <> '' OR a.attgenerated <> '' OR "
        "COALESCE(pg_get_expr(d.adbin, d.adrelid) LIKE 'nextval(%', false), "
        "COALESCE((SELECT i.indkey[0] FROM pg_index i WHERE i.indrelid = c.oid AND "
        "i.indisprimary AND i.indnatts = 1), 0) "
        "FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace "
        "JOIN pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "LEFT JOIN pg_attrdef d ON d.adrelid = c.oid AND d.adnum = a.attnum "
        "WHERE c.oid = $1::oid",
        {QByteArray::number(oid)}, Session::Repeat::IfLostBeforeStart);
    auto info = std::make_shared<TableInfo>();
    for (int row = 0; row < r.rowCount(); ++row) {
        info->schema = bytes(r.text(row, 0));
        info->name = bytes(r.text(row, 1));
        info->isTable = r.text(row, 2) == "t";
        info->keyAttribute = bytes(r.text(row, 6)).toInt();
        info->attributes.insert(bytes(r.text(row, 3)).toInt(),
                                {bytes(r.text(row, 4)), r.text(row, 5) == "t"});
    }
    tables_.insert(oid, info);
    return *info;
}

void ServerBackend::select(const QString& sql,
                           const std::function<void(cursor::ResultShape)>& describe,
                           const cursor::RowReader& read) {
    Result r;
    try {
        r = session_.exec(sql.toUtf8(), {}, Session::Repeat::IfLostBeforeStart);
    } catch (const ServerError& e) {
        // The server runs one statement at a time: a second one is refused in the words the file
        // engine uses, and nothing of either runs.
        if (e.diagnostics().sqlState == "42601" &&
            e.engineText() == QLatin1String("cannot insert multiple commands into a prepared "
                                            "statement"))
            throw ServerError(ServerError::Kind::Statement,
                              QStringLiteral("Characters found after end of SQL statement"),
                              e.diagnostics());
        throw;
    }
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
        describe({});
        return;
    }
    const int n = r.columnCount();
    cursor::ResultShape shape;
    shape.columns.resize(std::size_t(n));

    // The rows can be written back when every column that comes from a table comes from the
    // same one, and that table's single-column primary key is among them.
    std::set<Oid> tables;
    for (int c = 0; c < n; ++c)
        if (PQftable(r.get(), c) != InvalidOid)
            tables.insert(PQftable(r.get(), c));
    const TableInfo* table = tables.size() == 1 ? &tableInfo(*tables.begin()) : nullptr;
    cursor::BaseTable base;
    if (table && table->isTable && table->keyAttribute > 0) {
        base.schema = table->schema;
        base.name = table->name;
        base.origins.resize(std::size_t(n));
    }
    for (int c = 0; c < n; ++c) {
        cursor::ColumnInfo& info = shape.columns[std::size_t(c)];
        info.name = QString::fromUtf8(PQfname(r.get(), c));
        info.type = mapType(PQftype(r.get(), c), PQfmod(r.get(), c), &info.size);
        if (!table || PQftable(r.get(), c) == InvalidOid)
            continue;
        const int attnum = PQftablecol(r.get(), c);
        const auto attribute = table->attributes.constFind(attnum);
        if (attribute == table->attributes.constEnd())
            continue;
        const bool key = attnum == table->keyAttribute;
        if (attribute->generated && info.type == cursor::ColumnType::Integer)
            info.type = cursor::ColumnType::AutoIncrement;
        if (base.origins.empty())
            continue;
        base.origins[std::size_t(c)] = attribute->name;
        info.key = key;
        info.updatable = !key && !attribute->generated;
        if (key && base.keyColumn < 0)
            base.keyColumn = c;
    }
    if (base.keyColumn >= 0) {
        shape.table = std::move(base);
    } else {
        for (cursor::ColumnInfo& info : shape.columns)
            info.updatable = false;
    }
    describe(std::move(shape));
    readRows(r, read, n);
}

Result ServerBackend::write(const cursor::BaseTable& table, const QByteArray& sql,
                            const std::vector<Param>& params, Check check) {
    try {
        Transaction transaction(session_);
        Result r = session_.exec(sql, params);
        if (check == Check::RowReturned && r.rowCount() == 0)
            conflict();
        if (r.rowCount() > 0) // the id is the last column (returning())
            transaction.setId(bytes(r.text(0, r.columnCount() - 1)));
        transaction.commit();
        return r;
    } catch (const ServerError& e) {
        // The transaction is rolled back by now, so the catalog can be asked which table the
        // written row refers to.
        if (e.diagnostics().sqlState == "23503" && e.diagnostics().table == table.name &&
            e.diagnostics().schema == table.schema)
            raiseRelatedRecord(e);
        throw;
    }
}

void ServerBackend::raiseRelatedRecord(const ServerError& error) {
    const ServerError::Diagnostics& d = error.diagnostics();
    Result r;
    try {
        r = session_.exec(
            "SELECT r.relname FROM pg_constraint k "
            "JOIN pg_class c ON c.oid = k.conrelid "
            "JOIN pg_namespace n ON n.oid = c.relnamespace "
            "JOIN pg_class r ON r.oid = k.confrelid "
            "WHERE k.contype = 'f' AND k.conname = $1 AND c.relname = $2 AND n.nspname = $3",
            {d.constraint, d.table, d.schema}, Session::Repeat::IfLostBeforeStart);
    } catch (const ServerError&) {
        throw error; // the server's own text then
    }
    if (r.rowCount() == 0)
        throw error;
    throw ServerError(ServerError::Kind::Statement,
                      cursor::relatedRecordRequired({QString::fromUtf8(bytes(r.text(0, 0)))}), d);
}

cursor::Backend::Inserted ServerBackend::insert(const cursor::BaseTable& table,
                                                const std::vector<cursor::ColumnValue>& values,
                                                const cursor::RowReader& stored) {
    const QByteArray key = keyName(table);
    QByteArray sql = "INSERT INTO " + qualified(table);
    std::vector<Param> params;
    if (values.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        QByteArray names, marks;
        for (const cursor::ColumnValue& v : values) {
            const QByteArray name = writableName(table, v.column);
            params.push_back(valueParam(table, v.column, v.value));
            names += (names.isEmpty() ? "" : ", ") + name;
            marks += (marks.isEmpty() ? "" : ", ") + mark(params);
        }
        sql += " (" + names + ") VALUES (" + marks + ")";
    }
    sql += returning(table);
    const Result r = write(table, sql, params, Check::None);
    Inserted inserted;
    if (r.rowCount() == 0) { // a rule or trigger swallowed the row
        inserted.readBack = cursor::ReadBack::Gone;
        return inserted;
    }
    int size = 0;
    const cursor::ColumnType keyType =
        mapType(PQftype(r.get(), table.keyColumn), PQfmod(r.get(), table.keyColumn), &size);
    const int columns = int(table.origins.size());
    const std::vector<CellKind> kinds = cellKinds(r, columns);
    inserted.key = cursor::decodeCell(ResultRow(r, kinds).cell(table.keyColumn), keyType);
    readRows(r, stored, columns);
    inserted.readBack = cursor::ReadBack::Read;
    return inserted;
}

cursor::ReadBack ServerBackend::update(const cursor::BaseTable& table, const cursor::CellData& key,
                                       const std::vector<cursor::ColumnChange>& changes,
                                       const cursor::RowReader& stored) {
    const QByteArray keyColumn = keyName(table);
    if (changes.empty()) { // nothing to write: the row as it is now
        try {
            return reread(table, key, stored) ? cursor::ReadBack::Read : cursor::ReadBack::Gone;
        } catch (const ServerError&) {
            return cursor::ReadBack::Failed;
        }
    }
    std::vector<Param> params;
    QByteArray sets, checks;
    for (const cursor::ColumnChange& change : changes) {
        const QByteArray name = writableName(table, change.column);
        params.push_back(valueParam(table, change.column, change.value));
        sets += (sets.isEmpty() ? "" : ", ") + name + " = " + mark(params);
    }
    params.push_back(cellParam(key));
    checks = keyColumn + " = " + mark(params);
    for (const cursor::ColumnChange& change : changes) {
        params.push_back(cellParam(change.original));
        checks +=
            " AND " + writableName(table, change.column) + " IS NOT DISTINCT FROM " + mark(params);
    }
    const Result r =
        write(table,
              "UPDATE " + qualified(table) + " SET " + sets + " WHERE " + checks + returning(table),
              params, Check::RowReturned);
    readRows(r, stored, int(table.origins.size()));
    return cursor::ReadBack::Read;
}

void ServerBackend::remove(const cursor::BaseTable& table, const cursor::CellData& key,
                           const std::vector<cursor::ColumnCell>& originals) {
    std::vector<Param> params{cellParam(key)};
    QByteArray sql = "DELETE FROM " + qualified(table) + " WHERE " + keyName(table) + " = $1";
    for (const cursor::ColumnCell& cell : originals) {
        params.push_back(cellParam(cell.original));
        sql += " AND " + writableName(table, cell.column) + " IS NOT DISTINCT FROM " + mark(params);
    }
    write(table, sql + " RETURNING pg_current_xact_id()", params, Check::RowReturned);
}

bool ServerBackend::reread(const cursor::BaseTable& table, const cursor::CellData& key,
                           const cursor::RowReader& row) {
    const Result r = session_.exec("SELECT " + columnList(table) + " FROM " + qualified(table) +
                                       " WHERE " + keyName(table) + " = $1",
                                   {cellParam(key)}, Session::Repeat::IfLostBeforeStart);
    if (r.rowCount() == 0)
        return false;
    readRows(r, row, int(table.origins.size()));
    return true;
}

} // namespace pgengine
