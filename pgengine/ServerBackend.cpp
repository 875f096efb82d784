// Server backend: result columns from libpq and the catalog, rows, and write-back by key.
#include "pgengine/ServerBackend.h"

#include "pgengine/PgError.h"

#include <charconv>
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
    throw ServerError(ServerError::Kind::Conflict, kRowConflict);
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

ServerRows::ServerRows(Result result,
                       std::shared_ptr<const std::vector<cursor::ColumnInfo>> columns)
    : result_(std::move(result)), columns_(std::move(columns)) {
    const int n = columnCount();
    integral_.resize(std::size_t(n));
    floating_.resize(std::size_t(n));
    for (int c = 0; c < n && c < result_.columnCount(); ++c) {
        const Oid type = PQftype(result_.get(), c);
        integral_[std::size_t(c)] = isInteger(type);
        floating_[std::size_t(c)] = type == kFloat4 || type == kFloat8;
    }
}

CellRef ServerRows::cell(int row, int column) const {
    CellRef cell;
    if (result_.isNull(row, column))
        return cell;
    cell.text = result_.text(row, column);
    if (integral_[std::size_t(column)]) {
        const auto [end, error] =
            std::from_chars(cell.text.data(), cell.text.data() + cell.text.size(), cell.integer);
        if (error == std::errc() && end == cell.text.data() + cell.text.size()) {
            cell.type = CellRef::Integer;
            return cell;
        }
    } else if (floating_[std::size_t(column)]) {
        const auto [end, error] =
            std::from_chars(cell.text.data(), cell.text.data() + cell.text.size(), cell.real);
        if (error == std::errc() && end == cell.text.data() + cell.text.size()) {
            cell.type = CellRef::Float;
            return cell;
        }
    }
    cell.type = CellRef::Text; // also "NaN", "Infinity": passed on as text
    return cell;
}

cursor::Value ServerRows::value(int row, int column) const {
    return decode(cell(row, column), this->column(column).type);
}

ServerBackend::ServerBackend(Session& session) : session_(session) {}

ServerBackend::~ServerBackend() = default;

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

SelectResult ServerBackend::select(const QString& sql) {
    Result r = session_.exec(sql.toUtf8(), {}, Session::Repeat::IfLostBeforeStart);
    SelectResult result;
    result.returnsRows = PQresultStatus(r.get()) == PGRES_TUPLES_OK;
    const int n = r.columnCount();
    auto columns = std::make_shared<std::vector<cursor::ColumnInfo>>(std::size_t(n));

    // The rows can be written back when every column that comes from a table comes from the
    // same one, and that table's single-column primary key is among them.
    std::set<Oid> tables;
    for (int c = 0; c < n; ++c)
        if (PQftable(r.get(), c) != InvalidOid)
            tables.insert(PQftable(r.get(), c));
    const TableInfo* table = tables.size() == 1 ? &tableInfo(*tables.begin()) : nullptr;
    BaseTable base;
    if (table && table->isTable && table->keyAttribute > 0) {
        base.schema = table->schema;
        base.name = table->name;
        base.origins.resize(std::size_t(n));
    }
    for (int c = 0; c < n; ++c) {
        cursor::ColumnInfo& info = (*columns)[std::size_t(c)];
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
        result.table = std::move(base);
    } else {
        for (cursor::ColumnInfo& info : *columns)
            info.updatable = false;
    }
    result.columns = columns;
    result.rows = ServerRows(std::move(r), std::move(columns));
    return result;
}

const BaseTable& ServerBackend::writable(const SelectResult& shape) const {
    if (!shape.table)
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("Current Recordset does not support updating. This may "
                                         "be a limitation of the provider, or of the selected "
                                         "locktype"));
    return *shape.table;
}

// The written row in the select's column shape: NULL stands for columns not of the table.
QByteArray ServerBackend::columnList(const SelectResult& shape) const {
    QByteArray sql;
    const BaseTable& table = *shape.table;
    for (std::size_t i = 0; i < table.origins.size(); ++i) {
        if (i > 0)
            sql += ", ";
        sql +=
            table.origins[i].isEmpty() ? QByteArray("NULL") : Session::quoteName(table.origins[i]);
    }
    return sql;
}

namespace {

QByteArray qualified(const BaseTable& table) {
    return Session::quoteName(table.schema) + '.' + Session::quoteName(table.name);
}

void requireUpdatable(const SelectResult& shape, int column) {
    if (column < 0 || std::size_t(column) >= shape.columns->size())
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("Column %1 is not in the result").arg(column));
    const cursor::ColumnInfo& info = (*shape.columns)[std::size_t(column)];
    if (!info.updatable)
        throw ServerError(ServerError::Kind::Statement,
                          QStringLiteral("Field '%1' cannot be updated").arg(info.name));
}

} // namespace

ServerRows ServerBackend::insert(const SelectResult& shape,
                                 const std::vector<ColumnValue>& values) {
    const BaseTable& table = writable(shape);
    QByteArray sql = "INSERT INTO " + qualified(table);
    std::vector<Param> params;
    if (values.empty()) {
        sql += " DEFAULT VALUES";
    } else {
        QByteArray names, marks;
        for (const ColumnValue& v : values) {
            requireUpdatable(shape, v.column);
            params.push_back(toParam(v.value));
            names += (names.isEmpty() ? "" : ", ") +
                     Session::quoteName(table.origins[std::size_t(v.column)]);
            marks += (marks.isEmpty() ? "$" : ", $") + QByteArray::number(params.size());
        }
        sql += " (" + names + ") VALUES (" + marks + ")";
    }
    sql += " RETURNING " + columnList(shape);
    Transaction transaction(session_);
    Result r = session_.exec(sql, params);
    transaction.commit();
    return ServerRows(std::move(r), shape.columns);
}

ServerRows ServerBackend::update(const SelectResult& shape, const cursor::Value& key,
                                 const std::vector<ColumnChange>& changes) {
    const BaseTable& table = writable(shape);
    std::vector<Param> params;
    QByteArray sets, checks;
    for (const ColumnChange& change : changes) {
        requireUpdatable(shape, change.column);
        const QByteArray name = Session::quoteName(table.origins[std::size_t(change.column)]);
        params.push_back(toParam(change.value));
        sets += (sets.isEmpty() ? "" : ", ") + name + " = $" + QByteArray::number(params.size());
    }
    params.push_back(toParam(key));
    const QByteArray keyCheck = Session::quoteName(table.origins[std::size_t(table.keyColumn)]) +
                                " = $" + QByteArray::number(params.size());
    for (const ColumnChange& change : changes) {
        params.push_back(toParam(change.original));
        checks += " AND " + Session::quoteName(table.origins[std::size_t(change.column)]) +
                  " IS NOT DISTINCT FROM $" + QByteArray::number(params.size());
    }
    if (changes.empty()) { // nothing to write: the row as it is now
        Result r = session_.exec("SELECT " + columnList(shape) + " FROM " + qualified(table) +
                                     " WHERE " + keyCheck,
                                 params, Session::Repeat::IfLostBeforeStart);
        if (r.rowCount() == 0)
            conflict();
        return ServerRows(std::move(r), shape.columns);
    }
    Transaction transaction(session_);
    Result r = session_.exec("UPDATE " + qualified(table) + " SET " + sets + " WHERE " + keyCheck +
                                 checks + " RETURNING " + columnList(shape),
                             params);
    if (r.rowCount() == 0)
        conflict();
    transaction.commit();
    return ServerRows(std::move(r), shape.columns);
}

void ServerBackend::remove(const SelectResult& shape, const cursor::Value& key,
                           const std::vector<ColumnValue>& originals) {
    const BaseTable& table = writable(shape);
    std::vector<Param> params{toParam(key)};
    QByteArray sql = "DELETE FROM " + qualified(table) + " WHERE " +
                     Session::quoteName(table.origins[std::size_t(table.keyColumn)]) + " = $1";
    for (const ColumnValue& v : originals) {
        requireUpdatable(shape, v.column);
        params.push_back(toParam(v.value));
        sql += " AND " + Session::quoteName(table.origins[std::size_t(v.column)]) +
               " IS NOT DISTINCT FROM $" + QByteArray::number(params.size());
    }
    Transaction transaction(session_);
    const Result r = session_.exec(sql, params);
    if (r.affectedRows() == 0)
        conflict();
    transaction.commit();
}

} // namespace pgengine
