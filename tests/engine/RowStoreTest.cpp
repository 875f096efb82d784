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
#include <sys/resource.h>
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

// A cell in words, to compare what a store gives with what was put in.
std::string describe(const CellData& d) {
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
    case CellData::Blob:
        return std::string(d.type == CellData::Text ? "text " : "blob ") +
               std::to_string(d.bytes.size()) + " '" + std::string(d.bytes.substr(0, 16)) + "'";
    }
    return "?";
}

std::string show(const RowStore& store, int row, int column) {
    return describe(store.data(row, column));
}

std::string expected(const Values::V& v) {
    return describe({v.type, v.integer, v.real, v.bytes});
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

// A store the size of one just released reuses its memory (most of it beyond what is kept
// resident, so marked free meanwhile), takes almost none of the faults the first one took, and
// gives back only its own values, never the last store's.
TEST(RowStore, AStoreInMemoryAnotherReleasedHoldsOnlyItsOwnValues) {
    struct Pattern final : RowSource {
        int row = 0;
        bool second = false;
        int columnCount() const override { return 1000; }
        void read(RowWriter& writer) const override {
            for (int c = 0; c < 1000; ++c) {
                if (second && c % 3 == 0)
                    writer.putNull();
                else
                    writer.putInteger((second ? -1 : 1) * (std::int64_t(row) * 1000 + c));
            }
        }
    };
    const auto minorFaults = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return usage.ru_minflt;
    };
    const int rows = 16000; // 128 MB of cells, past what is kept resident
    const auto fill = [&](RowStore& store, bool second) {
        Pattern p;
        p.second = second;
        const long before = minorFaults();
        for (p.row = 0; p.row < rows; ++p.row)
            store.appendRow(p);
        return minorFaults() - before;
    };
    long firstFaults = 0;
    {
        RowStore first(1000);
        firstFaults = fill(first, false);
    }
    RowStore second(1000);
    const long secondFaults = fill(second, true);
    EXPECT_LT(secondFaults * 4, firstFaults) << "the released memory was not taken again";
    for (int r = 0; r < rows; r += 37) {
        for (int c = 0; c < 1000; c += 7) {
            const CellData d = second.data(r, c);
            if (c % 3 == 0)
                ASSERT_EQ(d.type, CellData::Null) << r << ' ' << c;
            else
                ASSERT_EQ(d.integer, -(std::int64_t(r) * 1000 + c)) << r << ' ' << c;
        }
    }
}

// A row that holds many cells: its later pages hold fewer rows (as many as fill 2 MiB), and every
// row across their bounds is found where it was written.
struct WideRow final : RowSource {
    WideRow(int c, int r) : columns(c), row(r) {}
    int columns, row;
    int columnCount() const override { return columns; }
    void read(RowWriter& writer) const override {
        for (int c = 0; c < columns; ++c)
            writer.putInteger(std::int64_t(row) * 100000 + c);
    }
};

TEST(RowStore, WideRowsAreFoundAcrossEveryPage) {
    const int columns = 1000, rows = 3000; // pages of 64, 256, 512, 1024 and 2048 rows
    RowStore store(columns);
    for (int r = 0; r < rows; ++r)
        ASSERT_EQ(store.appendRow(WideRow(columns, r)), r);
    for (int r = 0; r < rows; ++r)
        for (const int c : {0, 1, 499, 998, 999})
            ASSERT_EQ(store.data(r, c).integer, std::int64_t(r) * 100000 + c)
                << "row " << r << ", column " << c;
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

// A file with the program's schema and one customer's visits, written by plain SQL.
class RowCellsTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir.path() + "/Korvela.mdb";
        ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
        exec(data::schemaSql().toStdString() +
             "insert into t_musteri (id, f_adi) values (1, 'Ali');"
             "insert into t_servis (id, id_musteri, f_tarih, f_km, f_ariza, f_iscilik, f_tutar,"
             " f_odeme) values (1, 1, '2009-01-02 10:00:00', '1000', 'Fren', '250.0000',"
             " '99.9000', '300.0000'), (2, 1, '2009-02-03', '2000', 'Yağ', '-12.5000', null,"
             " '0.0000'), (3, 1, 'dün', '3000', null, '12.5', 7, 'tutar değil');");
        connection.open("Data Source=" + path);
        rs.open(connection, "select * from t_servis order by id");
        columns = rs.columnCount();
    }
    void TearDown() override { sqlite3_close(db); }
    // Runs SQL on a second connection of its own, as another workstation would.
    void exec(const std::string& sql) {
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    }
    // Every column of the current row as the recordset reads it now.
    std::vector<Value> current() {
        std::vector<Value> values;
        for (int c = 0; c < rs.columnCount(); ++c)
            values.push_back(rs.value(c));
        return values;
    }
    std::vector<Value> valuesOf(const RowCells& cells) {
        std::vector<Value> values;
        for (int c = 0; c < columns; ++c)
            values.push_back(cells.value(c));
        return values;
    }
    int column(const char* name) { return rs.findColumn(QString::fromLatin1(name)); }

    QTemporaryDir dir;
    QString path;
    sqlite3* db = nullptr;
    Connection connection;
    Recordset rs;
    int columns = 0;
};

// Each column decodes from the taken cells exactly as the recordset reads it: dates, amounts in
// the stored form and in forms other programs write, text, numbers and null.
TEST_F(RowCellsTest, DecodeEveryColumnAsTheRecordsetReadsIt) {
    for (rs.moveFirst(); !rs.eof(); rs.moveNext()) {
        const RowCells cells = rs.rowCells();
        ASSERT_FALSE(cells.empty());
        EXPECT_EQ(valuesOf(cells), current());
    }
    rs.moveFirst();
    EXPECT_EQ(rs.rowCells().value(column("f_iscilik")), Value(Money::fromRaw(2500000)));
    rs.moveNext();
    EXPECT_EQ(rs.rowCells().value(column("f_iscilik")), Value(Money::fromRaw(-125000)));
    rs.moveNext();
    EXPECT_EQ(rs.rowCells().value(column("f_iscilik")), Value(Money::fromRaw(125000)));
    EXPECT_EQ(rs.rowCells().value(column("f_odeme")), Value(QStringLiteral("tutar değil")));
}

// Cells taken before the row changed give what the row held then: after a write through the
// recordset, after the row was read again from what another workstation saved, after the whole
// statement ran again and after the recordset closed. While a change is pending none are taken.
TEST_F(RowCellsTest, GiveWhatTheRowHeldWhenTakenWhateverChangesItLater) {
    rs.moveFirst();
    const std::vector<Value> before = current();
    const RowCells cells = rs.rowCells();

    rs.setValue(column("f_km"), QStringLiteral("1500"));
    EXPECT_TRUE(rs.rowCells().empty());
    rs.update();
    EXPECT_EQ(rs.value(column("f_km")), Value(QStringLiteral("1500")));
    EXPECT_EQ(valuesOf(cells), before);
    const RowCells written = rs.rowCells();
    const std::vector<Value> afterWrite = current();

    exec("update t_servis set f_ariza = 'Debriyaj', f_iscilik = '1.0000' where id = 1");
    EXPECT_EQ(rs.refreshRows({1}).changed, 1);
    EXPECT_EQ(rs.value(column("f_ariza")), Value(QStringLiteral("Debriyaj")));
    EXPECT_EQ(valuesOf(cells), before);
    EXPECT_EQ(valuesOf(written), afterWrite);
    const RowCells refreshed = rs.rowCells();
    const std::vector<Value> afterRefresh = current();

    exec("update t_servis set f_ariza = 'Lastik' where id = 1");
    rs.requery();
    rs.moveFirst();
    EXPECT_EQ(rs.value(column("f_ariza")), Value(QStringLiteral("Lastik")));
    EXPECT_EQ(valuesOf(cells), before);
    EXPECT_EQ(valuesOf(refreshed), afterRefresh);

    rs.close();
    EXPECT_EQ(valuesOf(cells), before);
    EXPECT_EQ(valuesOf(refreshed), afterRefresh);
}

// The short way of reading an amount agrees with the long one on every form it takes or leaves.
TEST(RowStore, AmountsReadShortOrLongGiveTheSameValue) {
    const std::vector<std::string> texts = {"0.0000",
                                            "-0.0000",
                                            "250.0000",
                                            "-12.5000",
                                            "99999999999999.9999",
                                            "-99999999999999.9999",
                                            "100000000000000.0000",
                                            "12.5",
                                            "12.50000",
                                            ".5000",
                                            "-.5000",
                                            "1,5000",
                                            "+1.0000",
                                            "1.000a",
                                            "abc",
                                            "",
                                            "-",
                                            "12345678901234567890.0000",
                                            " 1.0000"};
    Values row;
    for (const std::string& t : texts)
        row.text(t);
    row.integer(7).real(2.5).null();
    RowStore store(int(row.cells.size()));
    store.appendRow(row);
    for (int c = 0; c < store.columnCount(); ++c) {
        const Cell& cell = store.cell(0, c);
        SCOPED_TRACE(c);
        EXPECT_EQ(store.decode(cell, ColumnType::Currency),
                  decodeCell(store.dataOf(cell), ColumnType::Currency));
        EXPECT_EQ(store.decodeMoney(cell), moneyOfCell(store.dataOf(cell)));
        if (const std::optional<Money> m = store.storedMoney(cell)) {
            EXPECT_EQ(m, moneyOfCell(store.dataOf(cell)));
        }
    }
    EXPECT_EQ(store.storedMoney(store.cell(0, 4)), Money::fromRaw(999999999999999999));
    EXPECT_FALSE(store.storedMoney(store.cell(0, 6)).has_value()); // 15 digits: the long way
}

} // namespace
