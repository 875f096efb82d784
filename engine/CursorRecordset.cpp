// Recordset: reading a result into a RowStore, the view (order, filter, position) and write-back.
#include "engine/CursorRecordset.h"

#include "core/Errors.h"
#include "engine/Backend.h"
#include "engine/CursorConnection.h"
#include "engine/CursorCriteria.h"
#include "engine/CursorStore.h"

#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>

namespace cursor {

namespace {

const QString kNoCurrentRecord = QStringLiteral(
    "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
    "requires a current record");
const QString kClosed = QStringLiteral("Operation is not allowed when the object is closed");
const QString kNotUpdatable =
    QStringLiteral("Current Recordset does not support updating. This may be a limitation of the "
                   "provider, or of the selected locktype");
const QString kTypeMismatch = QStringLiteral("Data type mismatch in criteria expression");

bool isTextType(ColumnType type) {
    return type == ColumnType::Text || type == ColumnType::Memo;
}

int sign(long double d) {
    return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

std::optional<long double> numberOf(const QString& text) {
    bool ok = false;
    const qint64 n = text.toLongLong(&ok);
    if (ok)
        return (long double)n;
    const double d = text.toDouble(&ok);
    if (ok && std::isfinite(d))
        return (long double)d;
    return std::nullopt;
}

// Dates in criteria: ISO as stored, the regional dd.mm.yyyy and the US m/d/yyyy form, each with
// an optional time.
QDateTime criterionDate(const QString& text) {
    const QString t = text.trimmed();
    QDateTime result = dateTimeFromStorage(t);
    if (result.isValid())
        return result;
    static const char* const dateTimeFormats[] = {"d.M.yyyy H:mm:ss", "d.M.yyyy H:mm",
                                                  "M/d/yyyy H:mm:ss", "M/d/yyyy H:mm"};
    for (const char* format : dateTimeFormats) {
        const QDateTime dt = QDateTime::fromString(t, QLatin1String(format));
        if (dt.isValid())
            return QDateTime(dt.date(), dt.time(), Qt::UTC);
    }
    for (const char* format : {"d.M.yyyy", "M/d/yyyy"}) {
        const QDate date = QDate::fromString(t, QLatin1String(format));
        if (date.isValid())
            return QDateTime(date, QTime(0, 0), Qt::UTC);
    }
    return {};
}

} // namespace

// What a recordset and its clones share: the rows, the column descriptions and how to write back.
struct SharedResult {
    explicit SharedResult(ResultShape shape)
        : rows(int(shape.columns.size())), columns(std::move(shape.columns)),
          table(std::move(shape.table)) {}
    RowStore rows;
    std::vector<ColumnInfo> columns;
    std::optional<BaseTable> table; // where the rows are written back, when they can be
    Connection* connection = nullptr;
    QString sql; // the statement the rows came from

    // Store rows by their integer key, in key order, for the rows before indexedRows: built when
    // rows are first read again by key, and kept up as rows are added.
    std::vector<std::pair<qint64, int>> byKey;
    int indexedRows = 0;
    void indexKeys();
    int liveRowOfKey(qint64 key); // -1 when no live row has it
};

namespace {

// A row made of the values an update wrote and cells kept from the store, handed to the store
// when the written row could not be read back.
class WrittenRow final : public RowSource {
public:
    explicit WrittenRow(int columns)
        : cells_(std::size_t(columns)), storage_(std::size_t(columns)) {}
    void set(int column, const Value& value) {
        cells_[std::size_t(column)] = storedForm(value, &storage_[std::size_t(column)]);
    }
    void set(int column, const CellData& cell) {
        QByteArray& bytes = storage_[std::size_t(column)];
        bytes = QByteArray(cell.bytes.data(), qsizetype(cell.bytes.size()));
        cells_[std::size_t(column)] = cell;
        cells_[std::size_t(column)].bytes = {bytes.constData(), std::size_t(bytes.size())};
    }
    int columnCount() const override { return int(cells_.size()); }
    void read(RowWriter& writer) const override {
        for (const CellData& cell : cells_)
            writer.put(cell);
    }

private:
    std::vector<CellData> cells_;
    std::vector<QByteArray> storage_;
};

} // namespace

namespace {

// A criterion bound to a column, with its value converted once for that column's type.
struct Condition {
    enum class Domain { NullTest, Text, Number, Money, Date };
    int column = -1;
    CompareOp op = CompareOp::Equal;
    Domain domain = Domain::Text;
    CollationKey key;
    std::optional<LikePattern> like;
    long double number = 0;
    Money money;
    QDateTime date;
};

struct SortSpec {
    int column = -1;
    bool descending = false;
};

bool opHolds(CompareOp op, int cmp) {
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::Like:
    case CompareOp::BeginsWith:
        return cmp == 0;
    case CompareOp::NotEqual:
        return cmp != 0;
    case CompareOp::Less:
        return cmp < 0;
    case CompareOp::LessEqual:
        return cmp <= 0;
    case CompareOp::Greater:
        return cmp > 0;
    case CompareOp::GreaterEqual:
        return cmp >= 0;
    }
    return false;
}

} // namespace

struct Recordset::Private {
    struct Pending {
        enum class Kind { None, Edit, Add };
        Kind kind = Kind::None;
        int row = -1;       // the store row being edited
        int returnPos = -1; // where cancelling an add goes back to
        std::vector<std::optional<Value>> values;
        std::vector<int> order; // columns in the order of their first write
    };

    std::shared_ptr<SharedResult> shared;
    bool open = false;
    bool returnsRows = false;
    bool readOnly = true;
    LockType lockType = LockType::Optimistic;

    std::vector<int> view; // store rows in view order
    int pos = -1;          // -1 BOF, view.size() EOF
    std::uint64_t seenDeleteVersion = 0;

    QString sortText, filterText;
    std::vector<SortSpec> sort;
    std::vector<Condition> filter;
    // The store's cell version when the view was last built from it: while it holds, the view
    // still shows every row in sort and filter order. sorted: a sort was applied then.
    std::uint64_t builtCellVersion = 0;
    bool sorted = false;

    std::vector<int> positionOfRow; // inverse of view, built on demand
    bool positionsValid = false;

    Pending pending;

    RowStore& rows() { return shared->rows; }
    int count() const { return int(view.size()); }
    bool onRow() const { return pos >= 0 && pos < count(); }

    void requireOpen() const {
        if (!open)
            throw EOleException(kClosed);
    }
    void requireRows() const {
        requireOpen();
        if (!returnsRows)
            throw EOleException(kClosed);
    }
    void requireColumn(int column) const {
        if (column < 0 || column >= int(shared->columns.size()))
            throw EOleException(QStringLiteral("Item cannot be found in the collection "
                                               "corresponding to the requested name or ordinal"));
    }
    void requireUpdatable() const {
        requireRows();
        if (readOnly)
            throw EOleException(kNotUpdatable);
    }
    Backend& backend() const {
        if (!shared->connection || !shared->connection->isOpen())
            throw EOleException(kClosed);
        return shared->connection->backend();
    }

    // Drops rows that were deleted through another recordset sharing the store; a current row
    // that went away leaves the position on the row after it.
    void sync() {
        if (!open || !shared || seenDeleteVersion == shared->rows.deleteVersion())
            return;
        dropDeleted();
    }
    [[gnu::noinline]] void dropDeleted() {
        seenDeleteVersion = shared->rows.deleteVersion();
        std::vector<int> kept;
        kept.reserve(view.size());
        int newPos = pos < 0 ? -1 : -2;
        for (int i = 0; i < count(); ++i) {
            if (i == pos && newPos == -2)
                newPos = int(kept.size());
            if (!rows().isDeleted(view[std::size_t(i)]))
                kept.push_back(view[std::size_t(i)]);
        }
        if (newPos == -2)
            newPos = int(kept.size());
        view = std::move(kept);
        pos = newPos;
        positionsValid = false;
    }

    std::vector<int> liveRows() {
        std::vector<int> result;
        result.reserve(std::size_t(rows().rowCount()));
        for (int row = 0; row < rows().rowCount(); ++row)
            if (!rows().isDeleted(row))
                result.push_back(row);
        return result;
    }

    void flushPending(Recordset& self) {
        if (pending.kind != Pending::Kind::None)
            self.update();
    }

    int findColumn(const QString& name) const {
        for (int i = 0; i < int(shared->columns.size()); ++i)
            if (shared->columns[std::size_t(i)].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
        return -1;
    }

    Condition bind(const Criterion& c, const QString& text);
    bool matches(const Condition& c, int row);
    // byRank: text compares by the column's cached ranks (rebuilt after rows changed, so a sort
    // of many rows pays once); else by the collation keys, which rows keep current.
    int compareRows(const SortSpec& s, int a, int b, bool byRank = true);
    void rebuildView(bool keepCurrent);
    std::optional<int> fastFind(const Condition& c, int start);
    void applyFilter(const std::vector<Criterion>& criteria, const QString& text);
    bool find(const Condition& condition, int skip, SearchDirection direction);

    Value normalise(int column, const Value& value) const;
    void appendToView(int row);

    // Reading rows again (refreshRows, requery).
    void requireNoPending() const;
    bool hasIntegerKey() const;
    std::shared_ptr<SharedResult> readStatement(const QString& sql) const;
    bool inViewOrder(int a, int b);
    bool passesFilter(int row);
    struct Reread {
        std::vector<int> changed, added, gone; // store rows
    };
    void placeReread(const Reread& reread, Refreshed& result);
    void keepWritten(const Pending& done, const Value& insertedKey);
};

Condition Recordset::Private::bind(const Criterion& c, const QString& text) {
    const auto fail = [&](const QString& reason) {
        throw EOleException(QStringLiteral("Invalid criterion \"%1\": %2").arg(text, reason));
    };
    Condition result;
    result.column = findColumn(c.field);
    if (result.column < 0)
        fail(QStringLiteral("there is no column %1").arg(c.field));
    result.op = c.op;
    const ColumnType type = shared->columns[std::size_t(result.column)].type;
    if (c.kind == Criterion::ValueKind::Null) {
        if (c.op != CompareOp::Equal && c.op != CompareOp::NotEqual)
            fail(QStringLiteral("Null can only be compared with = or <>"));
        result.domain = Condition::Domain::NullTest;
        return result;
    }
    const bool quoted = c.kind != Criterion::ValueKind::Bare;
    if (c.op == CompareOp::Like || c.op == CompareOp::BeginsWith) {
        result.domain = Condition::Domain::Text;
        result.like =
            c.op == CompareOp::Like ? LikePattern::compile(c.value) : LikePattern::prefix(c.value);
        return result;
    }
    switch (type) {
    case ColumnType::Integer:
    case ColumnType::AutoIncrement:
    case ColumnType::Float: {
        const std::optional<long double> n = numberOf(c.value.trimmed());
        if (!n)
            throw EOleException(kTypeMismatch);
        result.domain = Condition::Domain::Number;
        result.number = *n;
        return result;
    }
    case ColumnType::Currency: {
        const std::optional<Money> m = Money::fromStorageText(c.value);
        if (!m)
            throw EOleException(kTypeMismatch);
        result.domain = Condition::Domain::Money;
        result.money = *m;
        return result;
    }
    case ColumnType::DateTime:
        result.date = criterionDate(c.value);
        if (!result.date.isValid())
            throw EOleException(kTypeMismatch);
        result.domain = Condition::Domain::Date;
        return result;
    case ColumnType::Other:
        if (!quoted) {
            if (const std::optional<long double> n = numberOf(c.value)) {
                result.domain = Condition::Domain::Number;
                result.number = *n;
                return result;
            }
        }
        break;
    case ColumnType::Text:
    case ColumnType::Memo:
        break;
    }
    result.domain = Condition::Domain::Text;
    result.key = collationKey(c.value);
    return result;
}

bool Recordset::Private::matches(const Condition& c, int row) {
    const Cell& cell = rows().cell(row, c.column);
    if (c.domain == Condition::Domain::NullTest)
        return cell.isNull() == (c.op == CompareOp::Equal);
    if (cell.isNull())
        return false;
    switch (c.domain) {
    case Condition::Domain::Text: {
        const CollationKey& key = rows().keys(c.column)[std::size_t(row)];
        if (c.like)
            return c.like->matches(key);
        return opHolds(c.op, compareKeys(key, c.key));
    }
    case Condition::Domain::Number: {
        long double n = 0;
        if (cell.type() == Cell::Integer) {
            n = (long double)rows().integer(cell);
        } else if (cell.type() == Cell::Float) {
            n = rows().real(cell);
        } else {
            const std::optional<long double> parsed = numberOf(rows().decodeText(cell));
            if (!parsed)
                return false;
            n = *parsed;
        }
        return opHolds(c.op, sign(n - c.number));
    }
    case Condition::Domain::Money: {
        const std::optional<Money> m = rows().decodeMoney(cell);
        if (!m)
            return false;
        return opHolds(c.op, *m < c.money ? -1 : (*m > c.money ? 1 : 0));
    }
    case Condition::Domain::Date: {
        const QDateTime d = rows().decodeDateTime(cell);
        if (!d.isValid())
            return false;
        return opHolds(c.op, d < c.date ? -1 : (d > c.date ? 1 : 0));
    }
    case Condition::Domain::NullTest:
        break;
    }
    return false;
}

// Orders two rows by one column: null first, text by collation key, amounts and numbers by value,
// date-times by their ISO text (which sorts chronologically).
int Recordset::Private::compareRows(const SortSpec& s, int a, int b, bool byRank) {
    const Cell& x = rows().cell(a, s.column);
    const Cell& y = rows().cell(b, s.column);
    if (x.isNull() || y.isNull())
        return !x.isNull() - !y.isNull();
    const ColumnType type = shared->columns[std::size_t(s.column)].type;
    if (isTextType(type)) {
        if (!byRank) {
            const std::vector<CollationKey>& keys = rows().keys(s.column);
            return compareKeys(keys[std::size_t(a)], keys[std::size_t(b)]);
        }
        const std::vector<std::uint32_t>& ranks = rows().sortRanks(s.column);
        const std::uint32_t ra = ranks[std::size_t(a)], rb = ranks[std::size_t(b)];
        return ra < rb ? -1 : (ra > rb ? 1 : 0);
    }
    if (type == ColumnType::Currency) {
        const std::optional<Money> mx = rows().decodeMoney(x), my = rows().decodeMoney(y);
        if (mx && my)
            return *mx < *my ? -1 : (*mx > *my ? 1 : 0);
        if (mx || my)
            return mx ? -1 : 1;
    }
    const Cell::Type xType = x.type(), yType = y.type();
    const bool xNumber = xType == Cell::Integer || xType == Cell::Float;
    const bool yNumber = yType == Cell::Integer || yType == Cell::Float;
    if (xNumber && yNumber) {
        const RowStore& store = rows();
        if (xType == Cell::Integer && yType == Cell::Integer) {
            const std::int64_t ix = store.integer(x), iy = store.integer(y);
            return ix < iy ? -1 : (ix > iy ? 1 : 0);
        }
        const long double dx =
            xType == Cell::Integer ? (long double)store.integer(x) : store.real(x);
        const long double dy =
            yType == Cell::Integer ? (long double)store.integer(y) : store.real(y);
        return sign(dx - dy);
    }
    if (xNumber != yNumber)
        return xNumber ? -1 : 1;
    if (type == ColumnType::DateTime) {
        const int c = rows().bytes(x).compare(rows().bytes(y));
        return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    const std::vector<CollationKey>& keys = rows().keys(s.column);
    return compareKeys(keys[std::size_t(a)], keys[std::size_t(b)]);
}

// Rebuilds the view from every live row: filter, then a stable sort. With keepCurrent the current
// row stays current when it is still in the view; otherwise (and when it is not) the first row is.
void Recordset::Private::rebuildView(bool keepCurrent) {
    const int currentRow = keepCurrent && onRow() ? view[std::size_t(pos)] : -1;
    std::vector<int> result = liveRows();
    if (!filter.empty()) {
        std::vector<int> kept;
        for (int row : result) {
            bool all = true;
            for (const Condition& c : filter) {
                if (!matches(c, row)) {
                    all = false;
                    break;
                }
            }
            if (all)
                kept.push_back(row);
        }
        result = std::move(kept);
    }
    if (!sort.empty()) {
        // Text columns sort by their cached ranks, so a comparison is integer work; the input
        // index as the last key makes the order stable.
        for (const SortSpec& s : sort)
            if (isTextType(shared->columns[std::size_t(s.column)].type))
                rows().sortRanks(s.column);
        const SortSpec& first = sort.front();
        if (sort.size() == 1 && isTextType(shared->columns[std::size_t(first.column)].type)) {
            const std::vector<std::uint32_t>& ranks = rows().sortRanks(first.column);
            std::vector<std::uint64_t> order(result.size());
            for (std::size_t i = 0; i < result.size(); ++i) {
                const std::uint32_t rank = ranks[std::size_t(result[i])];
                order[i] = (std::uint64_t(first.descending ? ~rank : rank) << 32) | i;
            }
            std::sort(order.begin(), order.end());
            std::vector<int> sortedRows(result.size());
            for (std::size_t i = 0; i < order.size(); ++i)
                sortedRows[i] = result[std::size_t(order[i] & 0xFFFFFFFFu)];
            result = std::move(sortedRows);
        } else {
            std::vector<std::uint32_t> input(std::size_t(rows().rowCount()));
            for (std::size_t i = 0; i < result.size(); ++i)
                input[std::size_t(result[i])] = std::uint32_t(i);
            std::sort(result.begin(), result.end(), [&](int x, int y) {
                for (const SortSpec& s : sort) {
                    const int c = compareRows(s, x, y);
                    if (c != 0)
                        return s.descending ? c > 0 : c < 0;
                }
                return input[std::size_t(x)] < input[std::size_t(y)];
            });
        }
    }
    view = std::move(result);
    positionsValid = false;
    sorted = !sort.empty();
    builtCellVersion = rows().cellVersion();
    seenDeleteVersion = rows().deleteVersion();
    pos = 0;
    if (currentRow >= 0) {
        const auto it = std::find(view.begin(), view.end(), currentRow);
        if (it != view.end())
            pos = int(it - view.begin());
    }
}

// A forward search for a text prefix or text equality on the column the view is sorted by: the
// matching rows are consecutive, so a binary search finds the first one at or after start.
std::optional<int> Recordset::Private::fastFind(const Condition& c, int start) {
    if (!sorted || builtCellVersion != rows().cellVersion() || sort.front().column != c.column ||
        sort.front().descending || c.domain != Condition::Domain::Text ||
        !isTextType(shared->columns[std::size_t(c.column)].type))
        return std::nullopt;
    const CollationKey* target = nullptr;
    bool prefixOnly = false;
    if (c.like && (c.like->isPrefixPattern() || c.like->isLiteral())) {
        target = &c.like->literalPrefix();
        prefixOnly = c.like->isPrefixPattern();
    } else if (!c.like && c.op == CompareOp::Equal) {
        target = &c.key;
    } else {
        return std::nullopt;
    }
    const std::vector<CollationKey>& keys = rows().keys(c.column);
    const std::u16string_view wanted(*target);
    const auto first = std::lower_bound(
        view.begin() + start, view.end(), wanted, [&](int row, std::u16string_view value) {
            if (rows().cell(row, c.column).isNull())
                return true;
            return std::u16string_view(keys[std::size_t(row)]) < value;
        });
    if (first == view.end())
        return -1;
    const int row = *first;
    if (rows().cell(row, c.column).isNull())
        return -1;
    const std::u16string_view key(keys[std::size_t(row)]);
    const bool hit = prefixOnly ? key.substr(0, wanted.size()) == wanted : key == wanted;
    return hit ? int(first - view.begin()) : -1;
}

void Recordset::Private::appendToView(int row) {
    view.push_back(row);
    pos = count() - 1;
    positionsValid = false;
}

// Puts a stored change into the rows without reading it back: the columns written take the
// values written, the others keep the row's cells (an edit) or are null, the key being the one
// the insert generated (an add).
void Recordset::Private::keepWritten(const Pending& done, const Value& insertedKey) {
    const int columns = int(shared->columns.size());
    WrittenRow row(columns);
    for (int c = 0; c < columns; ++c) {
        const std::optional<Value>& written = done.values[std::size_t(c)];
        if (written)
            row.set(c, *written);
        else if (done.kind == Pending::Kind::Edit)
            row.set(c, rows().data(done.row, c));
        else if (c == shared->table->keyColumn)
            row.set(c, insertedKey);
    }
    if (done.kind == Pending::Kind::Add)
        appendToView(rows().appendRow(row));
    else
        rows().overwriteRow(done.row, row);
}

namespace {

// A value in the stored form of each column type; nothing when it cannot be converted.
std::optional<Value> asMoney(const Value& value) {
    if (const Money* m = std::get_if<Money>(&value))
        return *m;
    if (const qint64* n = std::get_if<qint64>(&value)) {
        if (*n > INT64_MAX / Money::Scale || *n < INT64_MIN / Money::Scale)
            return std::nullopt;
        return Money::fromUnits(*n);
    }
    if (const double* d = std::get_if<double>(&value)) {
        if (const std::optional<Money> m = Money::fromDouble(*d))
            return *m;
        return std::nullopt;
    }
    if (const QString* s = std::get_if<QString>(&value)) {
        if (const std::optional<Money> m = Money::fromStorageText(*s))
            return *m;
    }
    return std::nullopt;
}

std::optional<Value> asDateTime(const Value& value) {
    if (const QDateTime* dt = std::get_if<QDateTime>(&value)) {
        if (!dt->isValid())
            return std::nullopt;
        return value;
    }
    if (const QString* s = std::get_if<QString>(&value)) {
        const QDateTime dt = criterionDate(*s);
        if (dt.isValid())
            return dt;
    }
    return std::nullopt;
}

std::optional<Value> asInteger(const Value& value) {
    if (std::holds_alternative<qint64>(value))
        return value;
    if (const double* d = std::get_if<double>(&value)) {
        if (std::trunc(*d) == *d && std::fabs(*d) < 9.2e18)
            return qint64(*d);
    }
    if (const QString* s = std::get_if<QString>(&value)) {
        bool ok = false;
        const qint64 n = s->trimmed().toLongLong(&ok);
        if (ok)
            return n;
    }
    if (const Money* m = std::get_if<Money>(&value)) {
        if (m->raw % Money::Scale == 0)
            return qint64(m->raw / Money::Scale);
    }
    return std::nullopt;
}

std::optional<Value> asFloat(const Value& value) {
    if (const qint64* n = std::get_if<qint64>(&value))
        return double(*n);
    if (const Money* m = std::get_if<Money>(&value))
        return m->toDouble();
    if (const QString* s = std::get_if<QString>(&value)) {
        bool ok = false;
        const double d = s->trimmed().toDouble(&ok);
        if (ok)
            return d;
        return std::nullopt;
    }
    if (std::holds_alternative<QDateTime>(value))
        return std::nullopt;
    return value;
}

Value asText(const Value& value) {
    if (const qint64* n = std::get_if<qint64>(&value))
        return QString::number(*n);
    if (const double* d = std::get_if<double>(&value))
        return QString::number(*d, 'g', 15);
    if (const Money* m = std::get_if<Money>(&value))
        return m->toStorageText();
    if (const QDateTime* dt = std::get_if<QDateTime>(&value))
        return dateTimeToStorage(*dt);
    return value;
}

} // namespace

// Converts a value to the form its column stores; throws when it cannot be converted.
Value Recordset::Private::normalise(int column, const Value& value) const {
    if (isNull(value))
        return value;
    const ColumnInfo& info = shared->columns[std::size_t(column)];
    std::optional<Value> stored;
    switch (info.type) {
    case ColumnType::Currency:
        stored = asMoney(value);
        break;
    case ColumnType::DateTime:
        stored = asDateTime(value);
        break;
    case ColumnType::Integer:
    case ColumnType::AutoIncrement:
        stored = asInteger(value);
        break;
    case ColumnType::Float:
        stored = asFloat(value);
        break;
    case ColumnType::Text:
    case ColumnType::Memo:
        stored = asText(value);
        break;
    case ColumnType::Other:
        stored = value;
        break;
    }
    if (!stored)
        throw EOleException(
            QStringLiteral("The value cannot be converted for field '%1'").arg(info.name));
    return std::move(*stored);
}

Recordset::Recordset() : d(std::make_unique<Private>()) {}

Recordset::~Recordset() = default;

void Recordset::open(Connection& connection, const QString& sql, LockType lockType) {
    close();
    Backend& backend = connection.backend();
    std::shared_ptr<SharedResult> shared;
    try {
        backend.selectInto(sql, [&](ResultShape shape) -> RowStore& {
            shared = std::make_shared<SharedResult>(std::move(shape));
            shared->connection = &connection;
            shared->sql = sql;
            d->shared = shared;
            return shared->rows;
        });
    } catch (...) {
        d->shared.reset();
        throw;
    }
    d->open = true;
    d->returnsRows = !shared->columns.empty();
    d->lockType = lockType;
    d->readOnly = lockType == LockType::ReadOnly || !shared->table;
    d->view.resize(std::size_t(shared->rows.rowCount()));
    for (int i = 0; i < shared->rows.rowCount(); ++i)
        d->view[std::size_t(i)] = i;
    d->pos = 0;
    d->seenDeleteVersion = shared->rows.deleteVersion();
    d->builtCellVersion = shared->rows.cellVersion();
}

void Recordset::close() {
    Private fresh;
    std::swap(*d, fresh);
}

bool Recordset::isOpen() const {
    return d->open;
}
bool Recordset::returnsRows() const {
    return d->open && d->returnsRows;
}
bool Recordset::supportsUpdate() const {
    return d->open && d->returnsRows && !d->readOnly;
}

int Recordset::columnCount() const {
    return d->shared ? int(d->shared->columns.size()) : 0;
}

const ColumnInfo& Recordset::column(int index) const {
    d->requireRows();
    d->requireColumn(index);
    return d->shared->columns[std::size_t(index)];
}

int Recordset::findColumn(const QString& name) const {
    return d->shared ? d->findColumn(name) : -1;
}

int Recordset::recordCount() const {
    d->requireRows();
    d->sync();
    return d->count();
}

bool Recordset::bof() const {
    d->sync();
    if (d->pending.kind == Private::Pending::Kind::Add)
        return false;
    return d->count() == 0 || d->pos < 0;
}

bool Recordset::eof() const {
    d->sync();
    if (d->pending.kind == Private::Pending::Kind::Add)
        return false;
    return d->count() == 0 || d->pos >= d->count();
}

int Recordset::absolutePosition() const {
    d->requireRows();
    d->sync();
    if (d->pending.kind == Private::Pending::Kind::Add || !d->onRow())
        return -1;
    return d->pos + 1;
}

void Recordset::setAbsolutePosition(int position) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    if (position < 1 || position > d->count())
        throw EOleException(QStringLiteral("Position %1 is outside the recordset's %2 rows")
                                .arg(position)
                                .arg(d->count()));
    d->pos = position - 1;
}

void Recordset::moveFirst() {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    d->pos = 0;
}

void Recordset::moveLast() {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    d->pos = d->count() - 1;
    if (d->count() == 0)
        d->pos = 0;
}

void Recordset::moveNext() {
    move(1);
}

void Recordset::movePrevious() {
    move(-1);
}

void Recordset::move(int count) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    const qint64 target = qint64(d->pos) + count;
    d->pos = int(std::clamp<qint64>(target, -1, d->count()));
}

Recordset::Bookmark Recordset::bookmark() const {
    d->requireRows();
    d->sync();
    if (d->pending.kind == Private::Pending::Kind::Add || !d->onRow())
        throw EOleException(kNoCurrentRecord);
    return d->view[std::size_t(d->pos)];
}

void Recordset::gotoBookmark(Bookmark bookmark) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    if (!d->positionsValid) {
        d->positionOfRow.assign(std::size_t(d->rows().rowCount()), -1);
        for (int i = 0; i < d->count(); ++i)
            d->positionOfRow[std::size_t(d->view[std::size_t(i)])] = i;
        d->positionsValid = true;
    }
    if (bookmark < 0 || bookmark >= qint64(d->positionOfRow.size()) ||
        d->positionOfRow[std::size_t(bookmark)] < 0)
        throw EOleException(QStringLiteral("Bookmark is invalid"));
    d->pos = d->positionOfRow[std::size_t(bookmark)];
}

Value Recordset::value(int column) const {
    d->requireRows();
    d->requireColumn(column);
    d->sync();
    if (d->pending.kind != Private::Pending::Kind::None) {
        const std::optional<Value>& pending = d->pending.values[std::size_t(column)];
        if (pending)
            return *pending;
        if (d->pending.kind == Private::Pending::Kind::Add)
            return {};
    }
    if (!d->onRow())
        throw EOleException(kNoCurrentRecord);
    return d->rows().decode(d->rows().cell(d->view[std::size_t(d->pos)], column),
                            d->shared->columns[std::size_t(column)].type);
}

RowCells Recordset::rowCells() const {
    d->requireRows();
    d->sync();
    RowCells cells;
    if (d->pending.kind != Private::Pending::Kind::None)
        return cells;
    if (!d->onRow())
        throw EOleException(kNoCurrentRecord);
    const int row = d->view[std::size_t(d->pos)];
    const RowStore& store = d->rows();
    cells.count_ = store.columnCount();
    std::uint64_t* to = cells.inline_.data();
    if (cells.count_ > RowCells::kInline) {
        cells.more_.resize(std::size_t(cells.count_));
        to = cells.more_.data();
    }
    if (cells.count_ > 0)
        std::memcpy(to, &store.cell(row, 0), std::size_t(cells.count_) * sizeof(Cell));
    cells.result_ = d->shared;
    return cells;
}

Value RowCells::value(int column) const {
    const Cell cell{column < kInline && count_ <= kInline ? inline_[std::size_t(column)]
                                                          : more_[std::size_t(column)]};
    return result_->rows.decode(cell, result_->columns[std::size_t(column)].type);
}

void Recordset::addNew() {
    d->requireUpdatable();
    d->flushPending(*this);
    d->sync();
    d->pending = {};
    d->pending.kind = Private::Pending::Kind::Add;
    d->pending.returnPos = d->pos;
    d->pending.values.resize(d->shared->columns.size());
}

void Recordset::setValue(int column, const Value& value) {
    d->requireUpdatable();
    d->requireColumn(column);
    d->sync();
    const ColumnInfo& info = d->shared->columns[std::size_t(column)];
    if (!info.updatable)
        throw EOleException(QStringLiteral("Field '%1' cannot be updated").arg(info.name));
    Value normalised = d->normalise(column, value);
    if (d->pending.kind == Private::Pending::Kind::None) {
        if (!d->onRow())
            throw EOleException(kNoCurrentRecord);
        d->pending = {};
        d->pending.kind = Private::Pending::Kind::Edit;
        d->pending.row = d->view[std::size_t(d->pos)];
        d->pending.values.resize(d->shared->columns.size());
    }
    std::optional<Value>& slot = d->pending.values[std::size_t(column)];
    if (!slot)
        d->pending.order.push_back(column);
    slot = std::move(normalised);
}

bool Recordset::editPending() const {
    return d->pending.kind == Private::Pending::Kind::Edit;
}

bool Recordset::addPending() const {
    return d->pending.kind == Private::Pending::Kind::Add;
}

void Recordset::update() {
    using Kind = Private::Pending::Kind;
    Private::Pending& pending = d->pending;
    if (pending.kind == Kind::None)
        return;
    if (pending.kind == Kind::Edit && pending.order.empty()) {
        pending = {};
        return;
    }
    Backend& backend = d->backend();
    const BaseTable& table = *d->shared->table;
    // The row as stored, read back once the write has committed, so generated keys, defaults and
    // the stored forms are what the view holds (and what the next optimistic check compares).
    int storedRow = -1;
    const auto stored = [&](const RowSource& row) {
        if (pending.kind == Kind::Add)
            storedRow = d->rows().appendRow(row);
        else
            d->rows().overwriteRow(pending.row, row);
    };
    ReadBack readBack = ReadBack::Failed;
    Value insertedKey;
    if (pending.kind == Kind::Add) {
        std::vector<ColumnValue> values;
        for (int column : pending.order)
            values.push_back({column, *pending.values[std::size_t(column)]});
        Backend::Inserted inserted = backend.insert(table, values, stored);
        readBack = inserted.readBack;
        insertedKey = std::move(inserted.key);
    } else {
        std::vector<ColumnChange> changes;
        for (int column : pending.order)
            changes.push_back({column, *pending.values[std::size_t(column)],
                               d->rows().data(pending.row, column)});
        readBack =
            backend.update(table, d->rows().data(pending.row, table.keyColumn), changes, stored);
    }

    // From here on the change is stored for good: nothing below may leave it pending (a retry
    // would write it a second time) or report it as not written.
    const Private::Pending done = std::move(pending);
    pending = {};
    if (readBack == ReadBack::Read) {
        if (done.kind == Kind::Add)
            d->appendToView(storedRow);
    } else if (readBack == ReadBack::Gone) {
        if (done.kind == Kind::Add)
            d->pos = d->count();
        else
            d->rows().markDeleted(done.row);
    } else {
        // The row could not be read just now (another program holds a lock on the file): the
        // view keeps the values this update wrote, which are what the database holds.
        try {
            d->keepWritten(done, insertedKey);
        } catch (const core::Exception&) {
            if (done.kind == Kind::Add)
                d->pos = d->count(); // stored, but not in this view until it is read again
        }
    }
    d->sync();
}

void Recordset::resync() {
    d->requireRows();
    d->pending = {};
    d->sync();
    if (!d->onRow())
        throw EOleException(kNoCurrentRecord);
    SharedResult& shared = *d->shared;
    if (!shared.table)
        return;
    const int row = d->view[std::size_t(d->pos)];
    const bool found =
        d->backend().reread(*shared.table, d->rows().data(row, shared.table->keyColumn),
                            [&](const RowSource& source) { d->rows().overwriteRow(row, source); });
    if (!found)
        d->rows().markDeleted(row);
    d->sync();
}

void Recordset::cancelUpdate() {
    if (d->pending.kind == Private::Pending::Kind::Add)
        d->pos = std::clamp(d->pending.returnPos, -1, d->count());
    d->pending = {};
}

void Recordset::deleteCurrent() {
    d->requireUpdatable();
    d->sync();
    if (d->pending.kind == Private::Pending::Kind::Add) {
        cancelUpdate();
        return;
    }
    if (!d->onRow())
        throw EOleException(kNoCurrentRecord);
    SharedResult& shared = *d->shared;
    const BaseTable& table = *shared.table;
    const int row = d->view[std::size_t(d->pos)];
    std::vector<ColumnCell> originals;
    for (int column = 0; column < int(shared.columns.size()); ++column)
        if (shared.columns[std::size_t(column)].updatable && column != table.keyColumn)
            originals.push_back({column, d->rows().data(row, column)});
    d->backend().remove(table, d->rows().data(row, table.keyColumn), originals);
    d->pending = {};
    d->rows().markDeleted(row);
    d->sync(); // drops the row; the position now names the row after it, or EOF
}

std::unique_ptr<Recordset> Recordset::clone() const {
    d->requireRows();
    d->sync();
    auto copy = std::make_unique<Recordset>();
    Private& c = *copy->d;
    c.shared = d->shared;
    c.open = true;
    c.returnsRows = true;
    c.readOnly = true;
    c.view = c.liveRows();
    c.pos = 0;
    c.seenDeleteVersion = c.rows().deleteVersion();
    c.builtCellVersion = c.rows().cellVersion();
    return copy;
}

void Recordset::setSort(const QString& sortText) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    std::vector<SortSpec> specs;
    for (const SortColumn& s : parseSort(sortText)) {
        const int column = d->findColumn(s.field);
        if (column < 0)
            throw EOleException(QStringLiteral("Invalid sort text \"%1\": there is no column %2")
                                    .arg(sortText, s.field));
        specs.push_back({column, s.descending});
    }
    d->sort = std::move(specs);
    d->sortText = sortText;
    d->rebuildView(true);
}

QString Recordset::sort() const {
    return d->sortText;
}

void Recordset::setFilter(const QString& criteria) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    std::vector<Criterion> parsed;
    if (!criteria.trimmed().isEmpty())
        parsed = parseCriteria(criteria);
    d->applyFilter(parsed, criteria);
}

void Recordset::setFilter(const std::vector<Criterion>& criteria) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    d->applyFilter(criteria, QString());
}

void Recordset::Private::applyFilter(const std::vector<Criterion>& criteria, const QString& text) {
    // Clearing an absent filter on a view that is still current only moves to the first row:
    // locate does this before every search.
    if (criteria.empty() && filter.empty() && builtCellVersion == rows().cellVersion()) {
        filterText = text;
        pos = 0;
        return;
    }
    std::vector<Condition> conditions;
    for (const Criterion& c : criteria)
        conditions.push_back(bind(c, text));
    filter = std::move(conditions);
    filterText = text;
    rebuildView(false);
}

QString Recordset::filter() const {
    return d->filterText;
}

bool Recordset::filtered() const {
    return !d->filter.empty();
}

bool Recordset::find(const QString& criterion, int skip, SearchDirection direction) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    const std::vector<Criterion> parsed = parseCriteria(criterion);
    if (parsed.size() != 1)
        throw EOleException(
            QStringLiteral("Invalid criterion \"%1\": find takes a single comparison")
                .arg(criterion));
    return d->find(d->bind(parsed.front(), criterion), skip, direction);
}

bool Recordset::find(const Criterion& criterion, int skip, SearchDirection direction) {
    d->requireRows();
    d->flushPending(*this);
    d->sync();
    return d->find(d->bind(criterion, criterion.field), skip, direction);
}

bool Recordset::Private::find(const Condition& condition, int skip, SearchDirection direction) {
    const int n = count();
    const bool forward = direction == SearchDirection::Forward;
    if (forward) {
        const int start = std::max(pos, 0) + std::max(skip, 0);
        if (start < n) {
            if (const std::optional<int> hit = fastFind(condition, start)) {
                pos = *hit >= 0 ? *hit : n;
                return *hit >= 0;
            }
            for (int i = start; i < n; ++i) {
                if (matches(condition, view[std::size_t(i)])) {
                    pos = i;
                    return true;
                }
            }
        }
        pos = n;
        return false;
    }
    const int start = std::min(pos, n - 1) - std::max(skip, 0);
    for (int i = start; i >= 0; --i) {
        if (matches(condition, view[std::size_t(i)])) {
            pos = i;
            return true;
        }
    }
    pos = -1;
    return false;
}

// ---- reading rows again ----

namespace {

const QString kPendingRead =
    QStringLiteral("The rows cannot be read again while a change is pending");
const QString kOtherColumns =
    QStringLiteral("The statement no longer returns the columns it was opened with");

// A row of a row store handed to another store (or back over a row of its own).
class StoredRow final : public RowSource {
public:
    StoredRow(const RowStore& rows, int row) : rows_(rows), row_(row) {}
    int columnCount() const override { return rows_.columnCount(); }
    void read(RowWriter& writer) const override {
        for (int c = 0; c < rows_.columnCount(); ++c)
            writer.put(rows_.data(row_, c));
    }

private:
    const RowStore& rows_;
    int row_;
};

std::optional<qint64> integerKey(const RowStore& rows, int row, int keyColumn) {
    const Cell& cell = rows.cell(row, keyColumn);
    if (cell.type() == Cell::Integer)
        return rows.integer(cell);
    return std::nullopt;
}

bool sameCells(const RowStore& a, int rowA, const RowStore& b, int rowB) {
    for (int c = 0; c < a.columnCount(); ++c) {
        const CellData x = a.data(rowA, c), y = b.data(rowB, c);
        if (x.type != y.type)
            return false;
        switch (x.type) {
        case CellData::Null:
            break;
        case CellData::Integer:
            if (x.integer != y.integer)
                return false;
            break;
        case CellData::Float:
            if (std::memcmp(&x.real, &y.real, sizeof x.real) != 0)
                return false;
            break;
        case CellData::Text:
        case CellData::Blob:
            if (x.bytes != y.bytes)
                return false;
            break;
        }
    }
    return true;
}

QString quotedName(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

// The statement without what may end it (blanks, line ends, semicolons), to be used as a subquery.
QString statementBody(const QString& sql) {
    qsizetype end = sql.size();
    while (end > 0 && (sql.at(end - 1).isSpace() || sql.at(end - 1) == QLatin1Char(';')))
        --end;
    return sql.left(end);
}

// Keys per statement: a few thousand keep the statement text small on every engine.
constexpr std::size_t kKeysPerRead = 1000;

} // namespace

void SharedResult::indexKeys() {
    if (!table || indexedRows == rows.rowCount())
        return;
    const std::size_t before = byKey.size();
    for (int row = indexedRows; row < rows.rowCount(); ++row)
        if (const std::optional<qint64> key = integerKey(rows, row, table->keyColumn))
            byKey.emplace_back(*key, row);
    indexedRows = rows.rowCount();
    // Rows come in key order as a rule (new rows get the highest keys): sorting is then no work.
    const auto middle = byKey.begin() + std::ptrdiff_t(before);
    if (!std::is_sorted(middle, byKey.end()))
        std::sort(middle, byKey.end());
    if (before > 0 && byKey[before - 1] > byKey[before])
        std::inplace_merge(byKey.begin(), middle, byKey.end());
}

int SharedResult::liveRowOfKey(qint64 key) {
    indexKeys();
    auto it = std::lower_bound(byKey.begin(), byKey.end(), std::pair<qint64, int>(key, INT_MIN));
    for (; it != byKey.end() && it->first == key; ++it)
        if (!rows.isDeleted(it->second))
            return it->second;
    return -1;
}

void Recordset::Private::requireNoPending() const {
    if (pending.kind != Pending::Kind::None)
        throw EOleException(kPendingRead);
}

bool Recordset::Private::hasIntegerKey() const {
    if (!shared->table)
        return false;
    const ColumnType type = shared->columns[std::size_t(shared->table->keyColumn)].type;
    return type == ColumnType::AutoIncrement || type == ColumnType::Integer;
}

// Runs a statement into a result of its own, which must have this result's columns.
std::shared_ptr<SharedResult> Recordset::Private::readStatement(const QString& sql) const {
    std::shared_ptr<SharedResult> result;
    backend().selectInto(sql, [&](ResultShape shape) -> RowStore& {
        bool same = shape.columns.size() == shared->columns.size();
        for (std::size_t c = 0; same && c < shape.columns.size(); ++c)
            same = shape.columns[c].name == shared->columns[c].name &&
                   shape.columns[c].type == shared->columns[c].type;
        if (!same)
            throw EOleException(kOtherColumns);
        result = std::make_shared<SharedResult>(std::move(shape));
        result->connection = shared->connection;
        result->sql = shared->sql;
        return result->rows;
    });
    if (!result)
        throw EOleException(kOtherColumns);
    return result;
}

bool Recordset::Private::passesFilter(int row) {
    for (const Condition& c : filter)
        if (!matches(c, row))
            return false;
    return true;
}

// Whether row a stands before row b in the view: by the sort as a rebuild orders them (read
// order breaking ties), or without a sort by key, as the rows are read.
bool Recordset::Private::inViewOrder(int a, int b) {
    if (!sort.empty()) {
        for (const SortSpec& s : sort) {
            const int c = compareRows(s, a, b, false);
            if (c != 0)
                return s.descending ? c > 0 : c < 0;
        }
        return a < b;
    }
    const int keyColumn = shared->table->keyColumn;
    const std::optional<qint64> x = integerKey(rows(), a, keyColumn);
    const std::optional<qint64> y = integerKey(rows(), b, keyColumn);
    if (x && y && *x != *y)
        return *x < *y;
    if (x.has_value() != y.has_value())
        return x.has_value();
    return a < b;
}

// Takes rows out of the view and puts rows into it where the order says, keeping the current row
// (or, when it left, the row after it).
void Recordset::Private::placeReread(const Reread& reread, Refreshed& result) {
    const bool placed = !sort.empty() || !filter.empty();
    result.changed = int(reread.changed.size());
    if (!placed && reread.added.empty() && reread.gone.empty()) {
        // Rows changed where they stand: the view stays as it is.
        result.changedInPlace.assign(reread.changed.begin(), reread.changed.end());
        builtCellVersion = rows().cellVersion();
        return;
    }
    std::vector<char> leaving(std::size_t(rows().rowCount()), 0);
    for (int row : reread.gone)
        leaving[std::size_t(row)] = 1;
    std::vector<int> incoming;
    for (int row : reread.added)
        if (passesFilter(row))
            incoming.push_back(row);
    // Unsorted and unfiltered, a changed row stays where it was read; otherwise it is placed
    // again (or leaves, or joins).
    if (placed) {
        for (int row : reread.changed) {
            leaving[std::size_t(row)] = 1;
            if (passesFilter(row))
                incoming.push_back(row);
        }
    }
    std::sort(incoming.begin(), incoming.end(), [&](int a, int b) { return inViewOrder(a, b); });

    // 2 marks a leaving row that stood in the view (a gone or changed row may have been
    // filtered out before).
    const int current = onRow() ? view[std::size_t(pos)] : -1;
    int successor = -1;
    std::vector<int> merged;
    merged.reserve(view.size() + incoming.size());
    std::size_t next = 0;
    for (int i = 0; i < count(); ++i) {
        const int row = view[std::size_t(i)];
        if (leaving[std::size_t(row)]) {
            leaving[std::size_t(row)] = 2;
            continue;
        }
        if (current >= 0 && leaving[std::size_t(current)] && i > pos && successor < 0)
            successor = row;
        while (next < incoming.size() && inViewOrder(incoming[next], row))
            merged.push_back(incoming[next++]);
        merged.push_back(row);
    }
    merged.insert(merged.end(), incoming.begin() + std::ptrdiff_t(next), incoming.end());

    std::vector<char> joined(leaving.size(), 0);
    for (int row : incoming) {
        joined[std::size_t(row)] = 1;
        if (leaving[std::size_t(row)] != 2)
            ++result.added;
    }
    for (const std::vector<int>* rowsThatMayLeave : {&reread.gone, &reread.changed})
        for (int row : *rowsThatMayLeave)
            if (leaving[std::size_t(row)] == 2 && !joined[std::size_t(row)])
                ++result.removed;

    int target = current;
    if (current >= 0 && leaving[std::size_t(current)] && !joined[std::size_t(current)]) {
        target = successor;
        result.currentLeft = true;
    }
    const bool beforeFirst = pos < 0;
    view = std::move(merged);
    if (target >= 0)
        pos = int(std::find(view.begin(), view.end(), target) - view.begin());
    else
        pos = beforeFirst ? -1 : count(); // BOF stays BOF; EOF, or no row after the one that left
    positionsValid = false;
    builtCellVersion = rows().cellVersion();
    seenDeleteVersion = rows().deleteVersion();
}

Recordset::Refreshed Recordset::refreshRows(const std::vector<qint64>& keys) {
    d->requireRows();
    d->requireNoPending();
    d->sync();
    Refreshed result;
    if (keys.empty())
        return result;
    if (!d->hasIntegerKey())
        return requery();
    std::vector<qint64> wanted = keys;
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());

    // Every read first, so a failure leaves the rows and the view as they were.
    SharedResult& shared = *d->shared;
    const int keyColumn = shared.table->keyColumn;
    const QString select = QStringLiteral("SELECT * FROM (%1) AS korvela_rows WHERE %2")
                               .arg(statementBody(shared.sql),
                                    quotedName(shared.columns[std::size_t(keyColumn)].name));
    std::vector<std::shared_ptr<SharedResult>> reads;
    for (std::size_t first = 0; first < wanted.size(); first += kKeysPerRead) {
        const std::size_t last = std::min(wanted.size(), first + kKeysPerRead);
        // One key as "= key": the engine may keep that statement compiled for the next key.
        QString sql =
            select + (last - first == 1 ? QStringLiteral(" = ") : QStringLiteral(" IN ("));
        for (std::size_t i = first; i < last; ++i)
            sql += (i == first ? QString() : QStringLiteral(",")) + QString::number(wanted[i]);
        if (last - first > 1)
            sql += QLatin1Char(')');
        reads.push_back(d->readStatement(sql));
    }

    Private::Reread reread;
    std::vector<char> returned(wanted.size(), 0);
    for (const std::shared_ptr<SharedResult>& read : reads) {
        for (int r = 0; r < read->rows.rowCount(); ++r) {
            const std::optional<qint64> key = integerKey(read->rows, r, keyColumn);
            const auto at =
                key ? std::lower_bound(wanted.begin(), wanted.end(), *key) : wanted.end();
            if (at == wanted.end() || *at != *key || returned[std::size_t(at - wanted.begin())])
                continue; // not asked for, or read twice
            returned[std::size_t(at - wanted.begin())] = 1;
            const int row = shared.liveRowOfKey(*key);
            if (row < 0) {
                reread.added.push_back(d->rows().appendRow(StoredRow(read->rows, r)));
            } else if (!sameCells(d->rows(), row, read->rows, r)) {
                d->rows().overwriteRow(row, StoredRow(read->rows, r));
                reread.changed.push_back(row);
            }
        }
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (returned[i])
            continue;
        const int row = shared.liveRowOfKey(wanted[i]);
        if (row < 0)
            continue;
        d->rows().markDeleted(row);
        reread.gone.push_back(row);
    }
    if (reread.added.empty() && reread.changed.empty() && reread.gone.empty())
        return result;
    d->placeReread(reread, result);
    return result;
}

Recordset::Refreshed Recordset::requery() {
    d->requireRows();
    d->requireNoPending();
    d->sync();
    std::shared_ptr<SharedResult> fresh = d->readStatement(d->shared->sql);
    std::optional<qint64> currentKey;
    if (d->onRow() && d->hasIntegerKey())
        currentKey =
            integerKey(d->rows(), d->view[std::size_t(d->pos)], d->shared->table->keyColumn);
    const bool wasOnRow = d->onRow();
    const int oldPos = d->pos;
    d->shared = std::move(fresh);
    d->readOnly = d->lockType == LockType::ReadOnly || !d->shared->table;
    d->rebuildView(false);
    Refreshed result;
    result.requeried = true;
    const int row = currentKey ? d->shared->liveRowOfKey(*currentKey) : -1;
    const auto at = std::find(d->view.begin(), d->view.end(), row);
    if (row >= 0 && at != d->view.end()) {
        d->pos = int(at - d->view.begin());
    } else {
        d->pos = std::clamp(oldPos, -1, d->count());
        result.currentLeft = wasOnRow;
    }
    return result;
}

} // namespace cursor
