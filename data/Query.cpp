// TQuery: a record set whose cursor is a recordset of the cursor engine.
#include "data/Query.h"

#include "core/Errors.h"
#include "data/Connection.h"
#include "data/DataCursor.h"

namespace data {

namespace {

FieldValue fromEngine(cursor::Value v) {
    return std::visit([](auto&& x) -> FieldValue { return std::move(x); }, std::move(v));
}

cursor::Value toEngine(const FieldValue& v) {
    return std::visit(
        [](const auto& x) -> cursor::Value {
            if constexpr (std::is_same_v<std::decay_t<decltype(x)>, NotRead>)
                return std::monostate{};
            else
                return x;
        },
        v);
}

std::optional<TFieldType> fieldType(const cursor::ColumnInfo& column) {
    switch (column.type) {
    case cursor::ColumnType::Integer:
        return TFieldType::ftInteger;
    case cursor::ColumnType::AutoIncrement:
        return TFieldType::ftAutoInc;
    case cursor::ColumnType::Text:
        return TFieldType::ftWideString;
    case cursor::ColumnType::Memo:
        return TFieldType::ftMemo;
    case cursor::ColumnType::DateTime:
        return TFieldType::ftDateTime;
    case cursor::ColumnType::Currency:
        return TFieldType::ftBCD;
    case cursor::ColumnType::Float:
        return TFieldType::ftFloat;
    case cursor::ColumnType::Other:
        break;
    }
    return std::nullopt;
}

// The look-up copy: a read-only clone of the engine's recordset.
class EngineLookup final : public LookupCursor {
public:
    explicit EngineLookup(std::unique_ptr<cursor::Recordset> rs) : rs_(std::move(rs)) {}
    void moveNext() override { rs_->moveNext(); }
    FieldValue value(int column) const override { return fromEngine(rs_->value(column)); }
    QString sort() const override { return rs_->sort(); }
    void setSort(const QString& sortText) override { rs_->setSort(sortText); }
    void setFilter(const QString& criteria) override { rs_->setFilter(criteria); }
    bool find(const QString& criterion) override {
        return rs_->find(criterion, 0, cursor::SearchDirection::Forward);
    }
    bool eof() const override { return rs_->eof(); }
    qint64 bookmark() const override { return rs_->bookmark(); }

private:
    std::unique_ptr<cursor::Recordset> rs_;
};

class EngineCursor final : public DataCursor {
public:
    EngineCursor() = default;
    cursor::Recordset rs;

    int columnCount() const override { return rs.columnCount(); }
    CursorColumn column(int index) const override {
        const cursor::ColumnInfo& info = rs.column(index);
        return CursorColumn{info.name, fieldType(info), info.updatable};
    }
    bool canModify() const override { return rs.supportsUpdate(); }
    // Client-side with approximate positioning: meaningful record numbers unless filtered.
    bool isSequenced() const override { return rs.filter().isEmpty(); }
    int recordCount() const override { return rs.recordCount(); }
    bool bof() const override { return rs.bof(); }
    bool eof() const override { return rs.eof(); }
    void moveFirst() override { rs.moveFirst(); }
    void moveLast() override { rs.moveLast(); }
    void moveNext() override { rs.moveNext(); }
    void movePrevious() override { rs.movePrevious(); }
    int absolutePosition() const override { return rs.absolutePosition(); }
    void setAbsolutePosition(int position) override { rs.setAbsolutePosition(position); }
    Bookmark bookmark() const override { return rs.bookmark(); }
    void gotoBookmark(Bookmark bookmark) override { rs.gotoBookmark(bookmark); }
    FieldValue value(int column) const override { return fromEngine(rs.value(column)); }
    void addNew() override { rs.addNew(); }
    void setValue(int column, const FieldValue& value) override {
        rs.setValue(column, toEngine(value));
    }
    bool updatePending() const override { return rs.editPending() || rs.addPending(); }
    void update() override { rs.update(); }
    void cancelUpdate() override { rs.cancelUpdate(); }
    void refreshCurrent() override { rs.resync(); }
    void deleteCurrent() override { rs.deleteCurrent(); }
    std::unique_ptr<LookupCursor> lookupCopy() const override {
        return std::make_unique<EngineLookup>(rs.clone());
    }
    cursor::Recordset::Refreshed refreshRows(const std::vector<qint64>& keys) override {
        return rs.refreshRows(keys);
    }
    cursor::Recordset::Refreshed requery() override { return rs.requery(); }
};

} // namespace

TQuery::TQuery(const QString& name, TConnection* connection)
    : TDataSet(name), connection_(connection) {}

TQuery::~TQuery() = default;

bool TQuery::canModify() const {
    return lockType_ != cursor::LockType::ReadOnly && TDataSet::canModify();
}

std::unique_ptr<DataCursor> TQuery::openCursor() {
    if (!connection_)
        raiseError(QStringLiteral("Missing Connection or ConnectionString"));
    if (!connection_->connected())
        connection_->open();
    auto c = std::make_unique<EngineCursor>();
    c->rs.open(connection_->engine(), commandText(), lockType_);
    if (!c->rs.returnsRows())
        raiseError(QStringLiteral("CommandText does not return a result set"));
    return c;
}

} // namespace data
