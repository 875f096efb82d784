// The row store's packed cells: every value comes back as it was handed over, whatever its size
// or range, across pages and arena blocks, and when a row is written over from itself; and the
// same values read from a real file, sorted and filtered by the engine.
#include "data/Schema.h"
#include "engine/Backend.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"
#include "engine/CursorStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <sqlite3.h>
#include <string>
#include <vector>

using namespace cursor;

namespace {

// One row of values to hand to a store; text and blobs are kept here.
struct Values final : RowSource {
    struct V {
        CellData::Type type = CellData::Null;
        std::int64_t integer = 0;
        double real = 0;
        std::string bytes;
    };
    std::vector<V> cells;

    Values& null() { return add({}); }
    Values& integer(std::int64_t i) { return add({CellData::Integer, i, 0, {}}); }
    Values& real(double d) { return add({CellData::Float, 0, d, {}}); }
    Values& text(std::string s) { return add({CellData::Text, 0, 0, std::move(s)}); }
    Values& blob(std::string s) { return add({CellData::Blob, 0, 0, std::move(s)}); }
    Values& add(V v) {
        cells.push_back(std::move(v));
        return *this;
    }
    int columnCount() const override { return int(cells.size()); }
    void read(RowWriter& writer) const override {
        for (const V& v : cells) {
            CellData d;
            d.type = v.type;
            d.integer = v.integer;
            d.real = v.real;
            d.bytes = v.bytes;
            writer.put(d);
        }
    }
};

// A store's cell in words, to compare with what was put in.
std::string show(const RowStore& store, int row, int column) {
    const CellData d = store.data(row, column);
    switch (d.type) {
    case CellData::Null:
        return "null";
    case CellData::Integer:
        return "integer " + std::to_string(d.integer);
    case CellData::Float: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "float %a", d.real);
        return buffer;
    }
    case CellData::Text:
        return "text " + std::to_string(d.bytes.size()) + " '" +
               std::string(d.bytes.substr(0, 16)) + "'";
    case CellData::Blob:
        return "blob " + std::to_string(d.bytes.size()) + " '" +
               std::string(d.bytes.substr(0, 16)) + "'";
    }
    return "?";
}

std::string expected(const Values::V& v) {
    switch (v.type) {
    case CellData::Null:
        return "null";
    case CellData::Integer:
        return "integer " + std::to_string(v.integer);
    case CellData::Float: {
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "float %a", v.real);
        return buffer;
    }
    case CellData::Text:
        return "text " + std::to_string(v.bytes.size()) + " '" + v.bytes.substr(0, 16) + "'";
    case CellData::Blob:
        return "blob " + std::to_string(v.bytes.size()) + " '" + v.bytes.substr(0, 16) + "'";
    }
    return "?";
}

constexpr std::int64_t kSmallMax = (std::int64_t(1) << 60) - 1; // the largest kept in the cell
constexpr std::size_t kShortMax = (std::size_t(1) << 21) - 1;   // the longest sized in the cell

TEST(RowStore, EveryValueComesBackExactlyAtEveryRangeAndSize) {
    const std::string shortMax(kShortMax, 'a');
    std::string longText(kShortMax + 1, 'b');
    longText[kShortMax] = 'z';
    std::string ownBlock(std::size_t(5) << 20, 'c'); // more than a block holds
    ownBlock.back() = 'y';
    const std::string withZeros("\0\xff\0x", 4);
    Values row;
    row.null()
        .integer(0)
        .integer(-1)
        .integer(kSmallMax)
        .integer(-kSmallMax - 1)
        .integer(kSmallMax + 1)
        .integer(-kSmallMax - 2)
        .integer(std::numeric_limits<std::int64_t>::max())
        .integer(std::numeric_limits<std::int64_t>::min())
        .real(1.5)
        .real(-0.0)
        .real(std::numeric_limits<double>::max())
        .real(std::numeric_limits<double>::denorm_min())
        .text("")
        .blob("")
        .text("İĞÜŞÖÇ ığüşöç")
        .blob(withZeros)
        .text(shortMax)
        .text(longText)
        .blob(ownBlock)
        .text("after the big ones");
    RowStore store(row.columnCount());
    ASSERT_EQ(store.appendRow(row), 0);
    for (int c = 0; c < row.columnCount(); ++c)
        EXPECT_EQ(show(store, 0, c), expected(row.cells[std::size_t(c)])) << "column " << c;
    EXPECT_EQ(store.data(0, 16).bytes, withZeros) << "a blob keeps its zero bytes";
    EXPECT_TRUE(store.data(0, 18).bytes == longText);
    EXPECT_TRUE(store.data(0, 19).bytes == ownBlock);
    EXPECT_EQ(std::signbit(store.data(0, 10).real), true) << "-0.0 keeps its sign";
    // Null is the only cell that reads as null; an empty text or a zero is a value.
    EXPECT_TRUE(store.cell(0, 0).isNull());
    EXPECT_FALSE(store.cell(0, 1).isNull());
    EXPECT_FALSE(store.cell(0, 13).isNull());
    EXPECT_EQ(store.cell(0, 13).type(), Cell::Text);
    EXPECT_EQ(store.cell(0, 14).type(), Cell::Blob);
}

// Many rows fill several pages of cells and arena blocks; values written early stay where they
// were while later ones go elsewhere, and a short row's missing columns read null.
TEST(RowStore, ManyRowsAcrossPagesAndBlocksKeepEveryValue) {
    RowStore store(3);
    const int rows = 40000; // about 40 arena blocks of text and ten pages of cells
    std::vector<std::string_view> early;
    for (int r = 0; r < rows; ++r) {
        Values v;
        v.integer(r * 1000003LL).text(std::string(std::size_t(r % 300), char('a' + r % 26)));
        if (r % 2)
            v.text("tek");
        ASSERT_EQ(store.appendRow(v), r);
        if (r < 10)
            early.push_back(store.data(r, 1).bytes);
    }
    for (int r = 0; r < rows; r += 97) {
        ASSERT_EQ(store.data(r, 0).integer, r * 1000003LL) << r;
        ASSERT_EQ(store.data(r, 1).bytes, std::string(std::size_t(r % 300), char('a' + r % 26)));
        ASSERT_EQ(show(store, r, 2), r % 2 ? "text 3 'tek'" : "null") << r;
    }
    for (int r = 0; r < 10; ++r)
        EXPECT_EQ(early[std::size_t(r)].data(), store.data(r, 1).bytes.data())
            << "the bytes of row " << r << " did not move";
}

// A row written over with its own cells (as a refresh does when a row reads back the same)
// keeps every value, the big ones too; extra columns of the source are dropped.
struct OwnRow final : RowSource {
    const RowStore& store;
    int row;
    OwnRow(const RowStore& s, int r) : store(s), row(r) {}
    int columnCount() const override { return store.columnCount() + 1; }
    void read(RowWriter& writer) const override {
        for (int c = 0; c < store.columnCount(); ++c)
            writer.put(store.data(row, c));
        writer.putText("one too many", 12);
    }
};

TEST(RowStore, ARowWrittenOverWithItsOwnCellsKeepsThem) {
    std::string big(std::size_t(3) << 20, 'x');
    Values v;
    v.text(big).integer(std::numeric_limits<std::int64_t>::min()).real(2.25).text("Ayşe");
    RowStore store(4);
    store.appendRow(v);
    for (int i = 0; i < 20; ++i) // the arena grows while the row is read from itself
        store.overwriteRow(0, OwnRow(store, 0));
    for (int c = 0; c < 4; ++c)
        EXPECT_EQ(show(store, 0, c), expected(v.cells[std::size_t(c)])) << "column " << c;
    EXPECT_TRUE(store.data(0, 0).bytes == big);
}

// The same ranges read from a real file through the engine: shown, sorted and filtered by value.
TEST(RowStore, ValuesOfAFileSortAndFilterByTheirValue) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Korvela.mdb";
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    const std::string setUp =
        data::schemaSql().toStdString() +
        "create table t_deger (id integer primary key, v);"
        "insert into t_deger (v) values (1152921504606846976),"
        "(-9223372036854775808), (1152921504606846975), (9223372036854775807),"
        "(0.5), (-1152921504606846977), (3), (null);";
    ASSERT_EQ(sqlite3_exec(db, setUp.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);

    Connection connection;
    connection.open("Data Source=" + path);
    Recordset rs;
    rs.open(connection, "select * from t_deger");
    rs.setSort("v");
    std::vector<QString> order;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        const Value v = rs.value(1);
        order.push_back(isNull(v)                           ? QStringLiteral("null")
                        : std::holds_alternative<double>(v) ? QString::number(std::get<double>(v))
                                                            : QString::number(std::get<qint64>(v)));
    }
    EXPECT_EQ(order, (std::vector<QString>{"null", "-9223372036854775808", "-1152921504606846977",
                                           "0.5", "3", "1152921504606846975", "1152921504606846976",
                                           "9223372036854775807"}));
    rs.setFilter("v > 1152921504606846975");
    EXPECT_EQ(rs.recordCount(), 2);
}

} // namespace
