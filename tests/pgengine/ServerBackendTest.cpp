// The server engine behind the recordsets: column descriptions, cells, exact round trips,
// write-back by key, optimistic checks, related-record refusals and a server that goes away.
#include "pgengine/ServerBackend.h"
#include "pgengine/PgError.h"
#include "pgengine/PgValue.h"
#include "tests/pgengine/ServerTestSupport.h"

#include <gtest/gtest.h>
#include <limits>

using cursor::CellData;
using cursor::ColumnCell;
using cursor::ColumnChange;
using cursor::ColumnType;
using cursor::ColumnValue;
using cursor::ReadBack;
using cursor::Value;
using pgengine::ServerBackend;
using pgengine::ServerError;
using servertest::errorOf;

namespace {

// A cell kept beyond the call that handed it over.
struct KeptCell {
    CellData::Type type = CellData::Null;
    std::int64_t integer = 0;
    double real = 0;
    QByteArray bytes;

    CellData view() const {
        CellData cell;
        cell.type = type;
        cell.integer = integer;
        cell.real = real;
        cell.bytes = std::string_view(bytes.constData(), std::size_t(bytes.size()));
        return cell;
    }
};

// What a select (or a write's read-back) handed over: the shape and every row's cells.
struct Rows {
    cursor::ResultShape shape;
    int describes = 0;
    std::vector<std::vector<KeptCell>> rows;

    std::function<void(cursor::ResultShape)> describer() {
        return [this](cursor::ResultShape s) {
            ++describes;
            shape = std::move(s);
        };
    }
    cursor::RowReader reader() {
        return [this](const cursor::RowSource& source) {
            cursor::RowStore store(source.columnCount());
            const int row = store.appendRow(source);
            std::vector<KeptCell>& kept = rows.emplace_back();
            for (int column = 0; column < source.columnCount(); ++column) {
                const CellData c = store.data(row, column);
                kept.push_back({c.type, c.integer, c.real,
                                QByteArray(c.bytes.data(), qsizetype(c.bytes.size()))});
            }
        };
    }
    int column(const QString& name) const {
        for (std::size_t i = 0; i < shape.columns.size(); ++i)
            if (shape.columns[i].name == name)
                return int(i);
        ADD_FAILURE() << "no column " << name.toStdString();
        return -1;
    }
    const cursor::ColumnInfo& info(const QString& name) const {
        return shape.columns[std::size_t(column(name))];
    }
    const cursor::BaseTable& table() const {
        EXPECT_TRUE(shape.table);
        return *shape.table;
    }
    CellData cell(int row, int column) const {
        return rows.at(std::size_t(row)).at(std::size_t(column)).view();
    }
    Value value(int row, int column) const {
        return cursor::decodeCell(cell(row, column), shape.columns[std::size_t(column)].type);
    }
    CellData key(int row = 0) const { return cell(row, table().keyColumn); }
    // The originals of every writable column of a row, for a delete.
    std::vector<ColumnCell> originals(int row = 0) const {
        std::vector<ColumnCell> cells;
        for (int c = 0; c < int(shape.columns.size()); ++c)
            if (shape.columns[std::size_t(c)].updatable)
                cells.push_back({c, cell(row, c)});
        return cells;
    }
    // An empty row store in the same shape, for a write's read-back.
    Rows sameShape() const {
        Rows r;
        r.shape = shape;
        return r;
    }
};

Rows selectAll(ServerBackend& backend, const QString& sql) {
    Rows r;
    backend.select(sql, r.describer(), r.reader());
    EXPECT_EQ(r.describes, 1) << sql.toStdString();
    return r;
}

std::string show(const Value& v) {
    return std::visit(
        [](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return "<null>";
            else if constexpr (std::is_same_v<T, qint64>)
                return "int " + std::to_string(x);
            else if constexpr (std::is_same_v<T, double>)
                return "double " + QByteArray::number(x, 'g', 17).toStdString();
            else if constexpr (std::is_same_v<T, Money>)
                return "money raw " + std::to_string(x.raw);
            else if constexpr (std::is_same_v<T, QString>)
                return "text '" + x.toStdString() + "'";
            else
                return "datetime " + x.toString(Qt::ISODate).toStdString();
        },
        v);
}

std::string show(const CellData& c) {
    switch (c.type) {
    case CellData::Null:
        return "null";
    case CellData::Integer:
        return "integer " + std::to_string(c.integer);
    case CellData::Float:
        return "float " + QByteArray::number(c.real, 'g', 17).toStdString();
    case CellData::Text:
        return "text '" + std::string(c.bytes) + "'";
    case CellData::Blob:
        return "blob";
    }
    return "?";
}

const QString kConflictText = QStringLiteral(
    "Row cannot be located for updating. Some values may have been changed since it was last read");

class ServerBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::resetTables();
        backend = std::make_unique<ServerBackend>(servertest::connectionString());
    }
    qint64 addCustomer(const QString& name) {
        return servertest::scalar("INSERT INTO t_musteri (f_adi) VALUES ($1) RETURNING id",
                                  {name.toUtf8()})
            .toLongLong();
    }
    Rows select(const QString& sql) { return selectAll(*backend, sql); }
    std::unique_ptr<ServerBackend> backend;
};

} // namespace

TEST_F(ServerBackendTest, ColumnsOfBothTablesAsTheFileDescribesThem) {
    const Rows customers = select("select * from t_musteri");
    ASSERT_EQ(customers.shape.columns.size(), 16u);
    const QStringList names{"f_arac_plaka", "f_adi",        "f_tel",        "f_gsm",
                            "f_mail",       "f_vd",         "f_vn",         "f_tarih",
                            "f_adres",      "f_arac_marka", "f_arac_model", "f_arac_yil",
                            "f_arac_yakit", "f_arac_renk",  "f_not",        "id"};
    for (int i = 0; i < 16; ++i) {
        const cursor::ColumnInfo& c = customers.shape.columns[std::size_t(i)];
        EXPECT_EQ(c.name, names[i]);
        const ColumnType expected = c.name == "f_tarih" ? ColumnType::DateTime
                                    : c.name == "f_not" ? ColumnType::Memo
                                    : c.name == "id"    ? ColumnType::AutoIncrement
                                                        : ColumnType::Text;
        EXPECT_EQ(c.type, expected) << c.name.toStdString();
        EXPECT_EQ(c.size, expected == ColumnType::Text ? 255 : 0) << c.name.toStdString();
        EXPECT_EQ(c.updatable, c.name != "id") << c.name.toStdString();
        EXPECT_EQ(c.key, c.name == "id") << c.name.toStdString();
    }
    ASSERT_TRUE(customers.shape.table);
    EXPECT_EQ(customers.table().schema, "public");
    EXPECT_EQ(customers.table().name, "t_musteri");
    EXPECT_EQ(customers.table().keyColumn, 15);
    ASSERT_EQ(customers.table().origins.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(QString::fromUtf8(customers.table().origins[std::size_t(i)]), names[i]);

    const Rows visits = select("select * from t_servis where id_musteri=1");
    ASSERT_TRUE(visits.shape.table);
    EXPECT_EQ(visits.table().keyColumn, visits.column("id"));
    for (const char* amount : {"f_iscilik", "f_tutar", "f_odeme"})
        EXPECT_EQ(visits.info(amount).type, ColumnType::Currency);
    EXPECT_EQ(visits.info("id_musteri").type, ColumnType::Integer);
    EXPECT_TRUE(visits.info("id_musteri").updatable);
    EXPECT_TRUE(visits.rows.empty());
}

TEST_F(ServerBackendTest, ResultsWithoutOneKeyedTableAreReadOnly) {
    addCustomer("Salt okunur");
    servertest::exec("insert into t_servis (id_musteri) select id from t_musteri");
    for (const char* sql :
         {"select f_adi, f_tel from t_musteri", "select count(*) from t_musteri",
          "select m.id, s.id from t_musteri m join t_servis s on s.id_musteri = m.id"}) {
        const Rows r = select(sql);
        EXPECT_FALSE(r.shape.table) << sql;
        EXPECT_EQ(r.rows.size(), 1u) << sql;
        for (const cursor::ColumnInfo& c : r.shape.columns)
            EXPECT_FALSE(c.updatable) << sql << " " << c.name.toStdString();
    }
    // A computed column beside the key keeps the rows writable, the computed one is not.
    const Rows r = select("select id, f_adi, upper(f_adi) as big from t_musteri");
    ASSERT_TRUE(r.shape.table);
    EXPECT_TRUE(r.shape.columns[1].updatable);
    EXPECT_FALSE(r.shape.columns[2].updatable);
    EXPECT_EQ(r.table().origins[2], "");
    EXPECT_EQ(show(r.cell(0, 2)), "text 'SALT OKUNUR'");

    // Writing into the computed column, or into a table without a key, is refused before
    // anything reaches the server.
    EXPECT_EQ(errorOf([&] {
                  backend->insert(r.table(), {{2, QString("x")}}, [](const auto&) {});
              }).message(),
              "Column 2 is not a column of table 't_musteri'");
    cursor::BaseTable keyless = r.table();
    keyless.keyColumn = -1;
    EXPECT_EQ(errorOf([&] { backend->insert(keyless, {}, [](const auto&) {}); }).message(),
              "Current Recordset does not support updating. This may be a limitation of the "
              "provider, or of the selected locktype");
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "1");
}

TEST_F(ServerBackendTest, StatementWithoutRowsAndBadStatement) {
    Rows r;
    r.shape.columns.resize(3); // must be replaced by the empty description
    backend->select("set search_path = public", r.describer(), r.reader());
    EXPECT_EQ(r.describes, 1);
    EXPECT_TRUE(r.shape.columns.empty());
    EXPECT_FALSE(r.shape.table);
    EXPECT_TRUE(r.rows.empty());
    const ServerError e = errorOf([&] { select("select * from t_yok"); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_EQ(e.message(), R"(relation "t_yok" does not exist)");
}

// Cells come in the row store's form: integers and finite floats as numbers, the rest as the
// server's text, null as null.
TEST_F(ServerBackendTest, CellsInTheRowStoresForm) {
    const Rows r =
        select("select 7::int2, (-2147483648)::int4, 9223372036854775807::int8, 4000000000::oid, "
               "0.1::float4, 0.1::float8, 1e-300::float8, 'NaN'::float8, '-Infinity'::float4, "
               "12.5::numeric(19,4), (-0.0001)::numeric(19,4), timestamp '2008-12-25 14:30:00', "
               "date '1899-12-30', 'şık ç'::text, ''::varchar(10), null::int4, null::text, true, "
               "1.5::numeric");
    ASSERT_EQ(r.rows.size(), 1u);
    const std::vector<std::string> expected{"integer 7",
                                            "integer -2147483648",
                                            "integer 9223372036854775807",
                                            "integer 4000000000",
                                            "float 0.10000000000000001",
                                            "float 0.10000000000000001",
                                            "float 1e-300",
                                            "text 'NaN'",
                                            "text '-Infinity'",
                                            "text '12.5000'",
                                            "text '-0.0001'",
                                            "text '2008-12-25 14:30:00'",
                                            "text '1899-12-30'",
                                            "text 'şık ç'",
                                            "text ''",
                                            "null",
                                            "null",
                                            "text 't'",
                                            "text '1.5'"};
    ASSERT_EQ(r.rows[0].size(), expected.size());
    for (std::size_t c = 0; c < expected.size(); ++c)
        EXPECT_EQ(show(r.cell(0, int(c))), expected[c]) << "column " << c;
    const std::vector<ColumnType> types{
        ColumnType::Integer,  ColumnType::Integer,  ColumnType::Integer,  ColumnType::Other,
        ColumnType::Float,    ColumnType::Float,    ColumnType::Float,    ColumnType::Float,
        ColumnType::Float,    ColumnType::Currency, ColumnType::Currency, ColumnType::DateTime,
        ColumnType::DateTime, ColumnType::Memo,     ColumnType::Text,     ColumnType::Integer,
        ColumnType::Memo,     ColumnType::Other,    ColumnType::Other};
    for (std::size_t c = 0; c < types.size(); ++c)
        EXPECT_EQ(r.shape.columns[c].type, types[c]) << "column " << c;
    EXPECT_EQ(r.shape.columns[14].size, 10);
}

// Every value kind goes in and comes back exactly, read back by the insert itself and by another
// session's select.
TEST_F(ServerBackendTest, ValuesRoundTripExactly) {
    ServerBackend other(servertest::connectionString());
    const Rows customers = select("select * from t_musteri");
    const Rows visitsShape = select("select * from t_servis");
    const QString turkish = QString::fromUtf8("ĞÜŞİÖÇ ığüşöç İstanbul'da Işıl");
    QString text255;
    while (text255.size() < 255)
        text255 += QString::fromUtf8("ş");
    QString memo;
    for (int i = 0; i < 20000; ++i)
        memo += QStringLiteral("satır %1\r\n").arg(i);
    const std::vector<std::pair<const char*, Value>> texts{
        {"f_adi", turkish},
        {"f_tel", QString("a\r\nb\rc\nd")},
        {"f_gsm", QString(R"(O'Neil "tırnak" ; --)")},
        {"f_mail", QString(R"(C:\yol\dosya\ \\n)")},
        {"f_vd", text255},
        {"f_vn", QString("")}, // empty text stays empty text
        {"f_adres", Value()},  // null stays null
        {"f_not", memo},
    };
    const std::vector<QDateTime> dates{
        QDateTime(QDate(1850, 1, 1), QTime(0, 0, 0), Qt::UTC),
        QDateTime(QDate(1899, 12, 30), QTime(23, 59, 59), Qt::UTC),
        QDateTime(QDate(2150, 12, 31), QTime(13, 14, 15), Qt::UTC),
        QDateTime(QDate(999, 2, 3), QTime(4, 5, 6), Qt::UTC),
    };
    for (const QDateTime& date : dates) {
        std::vector<ColumnValue> values;
        for (const auto& [name, v] : texts)
            values.push_back({customers.column(name), v});
        values.push_back({customers.column("f_tarih"), date});
        Rows row = customers.sameShape();
        const ServerBackend::Inserted inserted =
            backend->insert(customers.table(), values, row.reader());
        EXPECT_EQ(inserted.readBack, ReadBack::Read);
        ASSERT_EQ(row.rows.size(), 1u);
        const Rows again = selectAll(other, "select * from t_musteri order by id desc limit 1");
        ASSERT_EQ(again.rows.size(), 1u);
        for (const Rows* rows : std::initializer_list<const Rows*>{&row, &again}) {
            EXPECT_EQ(show(rows->value(0, customers.column("id"))), show(inserted.key));
            for (const ColumnValue& v : values)
                EXPECT_EQ(show(rows->value(0, v.column)), show(v.value))
                    << customers.shape.columns[std::size_t(v.column)].name.toStdString();
        }
        EXPECT_EQ(servertest::scalar("select length(f_vd) from t_musteri order by id desc"), "255");
    }

    // Money over its whole range, zero and small amounts, exactly; the cell is the decimal text
    // the file stores too.
    const qint64 customer = addCustomer("Para");
    const std::vector<Money> amounts{Money::fromRaw(std::numeric_limits<std::int64_t>::min()),
                                     Money::fromRaw(std::numeric_limits<std::int64_t>::max()),
                                     Money::fromRaw(0),
                                     Money::fromRaw(1),
                                     Money::fromRaw(-1),
                                     Money::fromRaw(1234567),
                                     Money::fromRaw(-98765432109876)};
    for (const Money& m : amounts) {
        Rows row = visitsShape.sameShape();
        backend->insert(visitsShape.table(),
                        {{visitsShape.column("id_musteri"), customer},
                         {visitsShape.column("f_iscilik"), m},
                         {visitsShape.column("f_tutar"), Value()}},
                        row.reader());
        ASSERT_EQ(row.rows.size(), 1u);
        const int labour = visitsShape.column("f_iscilik");
        EXPECT_EQ(show(row.value(0, labour)), show(m));
        EXPECT_EQ(show(row.value(0, visitsShape.column("f_tutar"))), "<null>");
        EXPECT_EQ(show(row.cell(0, labour)), "text '" + m.toStorageText().toStdString() + "'");
        const Rows again = selectAll(other, "select * from t_servis order by id desc limit 1");
        EXPECT_EQ(show(again.value(0, labour)), show(m));
    }
    EXPECT_EQ(servertest::scalar("select min(f_iscilik)::text from t_servis"),
              "-922337203685477.5808");
    EXPECT_EQ(servertest::scalar("select max(f_iscilik)::text from t_servis"),
              "922337203685477.5807");
}

TEST_F(ServerBackendTest, TooLongTextIsRefusedWithTheServersText) {
    const Rows customers = select("select * from t_musteri");
    Rows row = customers.sameShape();
    const ServerError e = errorOf([&] {
        backend->insert(customers.table(), {{customers.column("f_adi"), QString(256, QChar('x'))}},
                        row.reader());
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_EQ(e.message(), "value too long for type character varying(255)");
    EXPECT_TRUE(row.rows.empty());
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "0");
    EXPECT_FALSE(backend->session().inTransaction());
}

// The server's text cannot hold the NUL character, and libpq sends a text only up to it: such a
// value is refused, naming the column, before anything is sent (the server once kept "a").
TEST_F(ServerBackendTest, TextWithTheNulCharacterIsRefusedNotCut) {
    const qint64 id = addCustomer("Ali");
    const Rows customers = select("select * from t_musteri");
    const QString withNul = QStringLiteral("a") + QChar(0) + QStringLiteral("b");
    Rows row = customers.sameShape();
    ServerError e = errorOf([&] {
        backend->insert(customers.table(), {{customers.column("f_adi"), withNul}}, row.reader());
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_EQ(e.message(), "The text for field 'f_adi' holds the character NUL (code 0), which "
                           "the database server cannot store");
    e = errorOf([&] {
        backend->update(
            customers.table(), customers.key(),
            {{customers.column("f_not"), withNul, customers.cell(0, customers.column("f_not"))}},
            row.reader());
    });
    EXPECT_EQ(e.message(), "The text for field 'f_not' holds the character NUL (code 0), which "
                           "the database server cannot store");
    EXPECT_TRUE(row.rows.empty());
    EXPECT_EQ(servertest::scalar("select count(*) || ' ' || coalesce(f_not, '-') from t_musteri "
                                 "where id = $1 group by f_not",
                                 {QByteArray::number(id)}),
              "1 -");
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "1");
    EXPECT_FALSE(backend->session().inTransaction());
}

TEST_F(ServerBackendTest, InsertReadsBackTheGeneratedKeyAndDefaults) {
    servertest::exec("alter table t_musteri alter column f_arac_yakit set default 'Benzin'");
    const Rows customers = select("select * from t_musteri");
    const int id = customers.column("id");
    Rows first = customers.sameShape(), second = customers.sameShape();
    const ServerBackend::Inserted a = backend->insert(
        customers.table(), {{customers.column("f_adi"), QString("Ali")}}, first.reader());
    const ServerBackend::Inserted b = backend->insert(customers.table(), {}, second.reader());
    ASSERT_TRUE(std::holds_alternative<qint64>(a.key));
    ASSERT_TRUE(std::holds_alternative<qint64>(b.key));
    EXPECT_GT(std::get<qint64>(a.key), 0);
    EXPECT_EQ(std::get<qint64>(b.key), std::get<qint64>(a.key) + 1);
    EXPECT_EQ(a.readBack, ReadBack::Read);
    EXPECT_EQ(b.readBack, ReadBack::Read);
    ASSERT_EQ(first.rows.size(), 1u);
    ASSERT_EQ(second.rows.size(), 1u);
    EXPECT_EQ(show(first.cell(0, id)), "integer " + std::to_string(std::get<qint64>(a.key)));
    EXPECT_EQ(show(second.cell(0, customers.column("f_adi"))), "null");
    EXPECT_EQ(show(second.cell(0, customers.column("f_arac_yakit"))), "text 'Benzin'");
    EXPECT_EQ(servertest::scalar("select f_adi from t_musteri where id = $1",
                                 {QByteArray::number(std::get<qint64>(a.key))}),
              "Ali");

    // A shape without some of the table's columns: only those come back, in its order.
    const Rows narrow = select("select f_arac_yakit, id, upper(f_adi) as big from t_musteri");
    Rows third = narrow.sameShape();
    const ServerBackend::Inserted c =
        backend->insert(narrow.table(), {{0, QString("Dizel")}}, third.reader());
    ASSERT_EQ(third.rows.size(), 1u);
    EXPECT_EQ(third.rows[0].size(), 3u);
    EXPECT_EQ(show(third.cell(0, 0)), "text 'Dizel'");
    EXPECT_EQ(show(third.cell(0, 1)), "integer " + std::to_string(std::get<qint64>(c.key)));
    EXPECT_EQ(show(third.cell(0, 2)), "null");

    // The key cannot be written; nothing reaches the server.
    EXPECT_EQ(errorOf([&] {
                  backend->insert(customers.table(), {{id, qint64(99)}}, first.reader());
              }).message(),
              "Field 'id' cannot be updated");
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "3");
}

TEST_F(ServerBackendTest, UpdateChecksTheChangedColumnsOnly) {
    const qint64 id = addCustomer("Ayşe");
    servertest::exec("update t_musteri set f_tel = '111' where id = $1", {QByteArray::number(id)});
    const Rows r = select("select * from t_musteri");
    const int name = r.column("f_adi"), tel = r.column("f_tel"), plate = r.column("f_arac_plaka");

    // Another workstation changes the telephone; changing the name still lands.
    servertest::exec("update t_musteri set f_tel = '222' where id = $1", {QByteArray::number(id)});
    Rows row = r.sameShape();
    EXPECT_EQ(backend->update(r.table(), r.key(), {{name, QString("Ayşe Öztürk"), r.cell(0, name)}},
                              row.reader()),
              ReadBack::Read);
    ASSERT_EQ(row.rows.size(), 1u);
    EXPECT_EQ(show(row.value(0, name)), show(QString("Ayşe Öztürk")));
    EXPECT_EQ(show(row.value(0, tel)), show(QString("222"))); // the stored row, read back

    // Writing the telephone from the stale reading is a conflict; nothing is overwritten.
    Rows none = r.sameShape();
    const ServerError e = errorOf([&] {
        backend->update(r.table(), r.key(), {{tel, QString("333"), r.cell(0, tel)}}, none.reader());
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Conflict);
    EXPECT_EQ(e.message(), kConflictText);
    EXPECT_TRUE(none.rows.empty());
    EXPECT_EQ(servertest::scalar("select f_tel from t_musteri"), "222");
    EXPECT_FALSE(backend->session().inTransaction());

    // Null originals compare as null.
    backend->update(r.table(), r.key(), {{plate, QString("34 AB 1"), CellData{}}}, row.reader());
    EXPECT_EQ(servertest::scalar("select f_arac_plaka from t_musteri"), "34 AB 1");
    EXPECT_EQ(errorOf([&] {
                  backend->update(r.table(), r.key(), {{plate, QString("34 AB 2"), CellData{}}},
                                  row.reader());
              }).kind(),
              ServerError::Kind::Conflict);
    EXPECT_EQ(servertest::scalar("select f_arac_plaka from t_musteri"), "34 AB 1");

    // A row deleted by another workstation cannot be updated.
    const Rows now = select("select * from t_musteri");
    servertest::exec("delete from t_musteri where id = $1", {QByteArray::number(id)});
    EXPECT_EQ(errorOf([&] {
                  backend->update(now.table(), now.key(), {{name, QString("x"), now.cell(0, name)}},
                                  row.reader());
              }).kind(),
              ServerError::Kind::Conflict);
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "0");
}

// Floats are compared by the exact double that was read, nulls as nulls: an unchanged row is no
// conflict; a float another session changed by the last digit is.
TEST_F(ServerBackendTest, FloatAndNullOriginalsGiveNoFalseConflict) {
    servertest::exec("DROP TABLE IF EXISTS t_olcum");
    servertest::exec("CREATE TABLE t_olcum (id integer GENERATED ALWAYS AS IDENTITY PRIMARY KEY, "
                     "f_deger double precision, f_oran real, f_bos double precision, f_not text)");
    servertest::exec("INSERT INTO t_olcum (f_deger, f_oran) VALUES (0.1, 0.1), (1.0/3, 2.0/3), "
                     "(1e-300, 3.4e38), (-123456.78901234567, -0.0)");
    const Rows r = select("select * from t_olcum order by id");
    ASSERT_EQ(r.rows.size(), 4u);
    const int value = r.column("f_deger"), ratio = r.column("f_oran"), empty = r.column("f_bos"),
              note = r.column("f_not");
    EXPECT_EQ(r.info("f_deger").type, ColumnType::Float);
    EXPECT_EQ(r.info("f_oran").type, ColumnType::Float);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(r.cell(i, value).type, CellData::Float);
        ASSERT_EQ(r.cell(i, ratio).type, CellData::Float);
        ASSERT_EQ(r.cell(i, empty).type, CellData::Null);
        Rows row = r.sameShape();
        EXPECT_EQ(backend->update(r.table(), r.key(i),
                                  {{value, r.value(i, value), r.cell(i, value)},
                                   {ratio, r.value(i, ratio), r.cell(i, ratio)},
                                   {empty, Value(2.5), r.cell(i, empty)},
                                   {note, QString("tamam"), r.cell(i, note)}},
                                  row.reader()),
                  ReadBack::Read)
            << "row " << i;
        ASSERT_EQ(row.rows.size(), 1u);
        EXPECT_EQ(show(row.cell(0, value)), show(r.cell(i, value))) << "row " << i;
        EXPECT_EQ(show(row.cell(0, ratio)), show(r.cell(i, ratio))) << "row " << i;
        EXPECT_EQ(show(row.cell(0, empty)), "float 2.5");
    }
    EXPECT_EQ(servertest::scalar("select count(*) from t_olcum where f_not = 'tamam'"), "4");

    // Not-a-number and infinities are read as the server's text and match as such.
    servertest::exec("INSERT INTO t_olcum (f_deger, f_oran) VALUES ('NaN', '-Infinity')");
    const Rows odd = select("select * from t_olcum where f_not is null");
    ASSERT_EQ(odd.rows.size(), 1u);
    EXPECT_EQ(show(odd.cell(0, value)), "text 'NaN'");
    EXPECT_EQ(show(odd.cell(0, ratio)), "text '-Infinity'");
    backend->update(odd.table(), odd.key(),
                    {{note, QString("tamam"), odd.cell(0, note)},
                     {value, Value(1.0), odd.cell(0, value)},
                     {ratio, Value(2.0), odd.cell(0, ratio)}},
                    [](const auto&) {});
    EXPECT_EQ(servertest::scalar("select count(*) from t_olcum where f_not = 'tamam'"), "5");

    // The next-larger double in the database: the stale reading no longer matches.
    servertest::exec("UPDATE t_olcum SET f_deger = 0.10000000000000002 WHERE f_deger = 0.1");
    const ServerError e = errorOf([&] {
        backend->update(
            r.table(), r.key(0),
            {{note, QString("eski"), r.cell(0, note)}, {value, Value(0.5), r.cell(0, value)}},
            [](const auto&) {});
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Conflict);
    EXPECT_EQ(servertest::scalar("select f_not from t_olcum where id = $1",
                                 {QByteArray::number(qint64(r.key(0).integer))}),
              "tamam");

    // Deleting with every read cell as original, floats and nulls among them.
    const Rows fresh = select("select * from t_olcum order by id");
    ASSERT_EQ(fresh.rows.size(), 5u);
    for (int i = 0; i < 5; ++i)
        backend->remove(fresh.table(), fresh.key(i), fresh.originals(i));
    EXPECT_EQ(servertest::scalar("select count(*) from t_olcum"), "0");
    servertest::exec("DROP TABLE t_olcum");
}

TEST_F(ServerBackendTest, DeleteChecksTheReadValuesAndCascades) {
    const qint64 id = addCustomer("Veli");
    servertest::exec("insert into t_servis (id_musteri, f_iscilik) values ($1, 10)",
                     {QByteArray::number(id)});
    const Rows r = select("select * from t_musteri");

    servertest::exec("update t_musteri set f_not = 'değişti'");
    const ServerError e = errorOf([&] { backend->remove(r.table(), r.key(), r.originals()); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Conflict);
    EXPECT_EQ(e.message(), kConflictText);
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "1");

    const Rows fresh = select("select * from t_musteri");
    backend->remove(fresh.table(), fresh.key(), fresh.originals());
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "0");
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "0"); // visits went with it

    // Deleting it again: it is gone, a conflict.
    EXPECT_EQ(
        errorOf([&] { backend->remove(fresh.table(), fresh.key(), fresh.originals()); }).kind(),
        ServerError::Kind::Conflict);
}

// A visit for a customer another workstation deleted meanwhile is refused with the name of the
// table the missing row belongs to, and nothing is written; inside an open transaction too.
TEST_F(ServerBackendTest, VisitOfADeletedCustomerNamesTheCustomerTable) {
    const QString expected = QStringLiteral("You cannot add or change a record because a related "
                                            "record is required in table 't_musteri'");
    const qint64 gone = addCustomer("Gidecek");
    const qint64 kept = addCustomer("Kalacak");
    servertest::exec("insert into t_servis (id_musteri, f_ariza) values ($1, 'Fren')",
                     {QByteArray::number(kept)});
    const Rows visits = select("select * from t_servis");
    servertest::exec("delete from t_musteri where id = $1", {QByteArray::number(gone)});
    const int owner = visits.column("id_musteri");

    Rows row = visits.sameShape();
    ServerError e = errorOf([&] {
        backend->insert(visits.table(), {{owner, gone}, {visits.column("f_ariza"), QString("Yağ")}},
                        row.reader());
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_EQ(e.message(), expected);
    EXPECT_TRUE(row.rows.empty());
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "1");

    e = errorOf([&] {
        backend->update(visits.table(), visits.key(),
                        {{visits.column("f_ariza"), QString("Balata"),
                          visits.cell(0, visits.column("f_ariza"))},
                         {owner, gone, visits.cell(0, owner)}},
                        row.reader());
    });
    EXPECT_EQ(e.message(), expected);
    EXPECT_TRUE(row.rows.empty());
    EXPECT_EQ(servertest::scalar("select f_ariza || ' ' || id_musteri from t_servis"),
              "Fren " + QString::number(kept));

    // Inside a transaction the caller opened: the refused write is undone to its savepoint, the
    // caller's own earlier write stays and is stored with its commit.
    pgengine::Session& session = backend->session();
    session.exec("BEGIN");
    backend->update(
        visits.table(), visits.key(),
        {{visits.column("f_ariza"), QString("Debriyaj"), visits.cell(0, visits.column("f_ariza"))}},
        row.reader());
    EXPECT_EQ(errorOf([&] {
                  backend->insert(visits.table(), {{owner, gone}}, row.reader());
              }).message(),
              expected);
    EXPECT_TRUE(session.inTransaction());
    session.exec("COMMIT");
    EXPECT_EQ(servertest::scalar("select f_ariza from t_servis"), "Debriyaj");
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "1");
}

// A write the server refuses half way (one column fine, one too long) leaves the row as it was,
// as another session reads it, and the session outside any transaction.
TEST_F(ServerBackendTest, FailedWriteLeavesTheTableAsItWas) {
    const qint64 id = addCustomer("Önce");
    const Rows r = select("select * from t_musteri");
    const int name = r.column("f_adi"), tel = r.column("f_tel");
    const ServerError e = errorOf([&] {
        backend->update(r.table(), r.key(),
                        {{name, QString("Sonra"), r.cell(0, name)},
                         {tel, QString(300, QChar('9')), r.cell(0, tel)}},
                        [](const auto&) {});
    });
    EXPECT_EQ(e.message(), "value too long for type character varying(255)");
    EXPECT_FALSE(backend->session().inTransaction());
    ServerBackend other(servertest::connectionString());
    const Rows after = selectAll(other, "select * from t_musteri");
    ASSERT_EQ(after.rows.size(), 1u);
    EXPECT_EQ(show(after.value(0, name)), show(QString("Önce")));
    EXPECT_EQ(show(after.value(0, tel)), "<null>");
    EXPECT_EQ(show(after.value(0, after.column("id"))), show(id));

    // The same session writes on as usual afterwards.
    backend->update(r.table(), r.key(), {{name, QString("Sonra"), r.cell(0, name)}},
                    [](const auto&) {});
    EXPECT_EQ(servertest::scalar("select f_adi from t_musteri"), "Sonra");
}

// Reading one row again by its key, and an update with nothing to write.
TEST_F(ServerBackendTest, RereadAndEmptyUpdateGiveTheRowAsStored) {
    addCustomer("Bir");
    const Rows r = select("select id, f_adi, f_tel from t_musteri");
    servertest::exec("update t_musteri set f_tel = '0532'");
    Rows again = r.sameShape();
    EXPECT_TRUE(backend->reread(r.table(), r.key(), again.reader()));
    ASSERT_EQ(again.rows.size(), 1u);
    EXPECT_EQ(show(again.cell(0, 2)), "text '0532'");
    EXPECT_EQ(show(again.cell(0, 0)), show(r.cell(0, 0)));

    Rows same = r.sameShape();
    EXPECT_EQ(backend->update(r.table(), r.key(), {}, same.reader()), ReadBack::Read);
    ASSERT_EQ(same.rows.size(), 1u);
    EXPECT_EQ(show(same.cell(0, 2)), "text '0532'");

    servertest::exec("delete from t_musteri");
    Rows none = r.sameShape();
    EXPECT_FALSE(backend->reread(r.table(), r.key(), none.reader()));
    EXPECT_EQ(backend->update(r.table(), r.key(), {}, none.reader()), ReadBack::Gone);
    EXPECT_TRUE(none.rows.empty());
}

TEST_F(ServerBackendTest, OpenAndClose) {
    EXPECT_TRUE(backend->isOpen());
    cursor::Backend& engine = *backend;
    engine.close();
    EXPECT_FALSE(engine.isOpen());
    EXPECT_EQ(errorOf([&] { select("select 1"); }).kind(), ServerError::Kind::Connection);

    const ServerError e = errorOf([] { ServerBackend("dbname=no_such_shop"); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_TRUE(e.message().endsWith(R"(database "no_such_shop" does not exist)"))
        << e.message().toStdString();
}

// A save while the server is down fails clearly and stores nothing; after the restart the same
// save (the values are still with the caller) lands once. A read after another restart is sent
// again on a fresh connection without the user seeing anything.
TEST_F(ServerBackendTest, SaveWhileTheServerIsDownThenAgain) {
    const Rows customers = select("select * from t_musteri");
    const std::vector<ColumnValue> values{{customers.column("f_adi"), QString("Kaydedilecek")}};
    servertest::cluster("stop");
    const ServerError e =
        errorOf([&] { backend->insert(customers.table(), values, [](const auto&) {}); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_TRUE(e.engineText().startsWith("The connection to the database server was lost: "));
    EXPECT_TRUE(e.message().startsWith("Veritabanı sunucusuyla bağlantı koptu."));
    servertest::cluster("start");
    Rows row = customers.sameShape();
    EXPECT_EQ(backend->insert(customers.table(), values, row.reader()).readBack, ReadBack::Read);
    EXPECT_EQ(row.rows.size(), 1u);
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "1");

    servertest::cluster("stop");
    servertest::cluster("start");
    EXPECT_EQ(select("select * from t_musteri").rows.size(), 1u);
}

// The check compares money and date-times by value as the server stores them.
TEST_F(ServerBackendTest, ChecksOnAmountsAndDates) {
    const qint64 id = addCustomer("Tutar");
    servertest::exec("insert into t_servis (id_musteri, f_iscilik, f_tutar, f_tarih) values "
                     "($1, 120.5, -0.0001, '1899-12-30 23:59:59')",
                     {QByteArray::number(id)});
    const Rows r = select("select * from t_servis where id_musteri=" + QString::number(id));
    const int labour = r.column("f_iscilik"), date = r.column("f_tarih");
    EXPECT_EQ(show(r.value(0, labour)), show(Money::fromRaw(1205000)));
    EXPECT_EQ(show(r.value(0, date)),
              show(QDateTime(QDate(1899, 12, 30), QTime(23, 59, 59), Qt::UTC)));
    backend->update(
        r.table(), r.key(),
        {{labour, Money::fromRaw(1300000), r.cell(0, labour)},
         {date, QDateTime(QDate(2101, 1, 1), QTime(0, 0, 1), Qt::UTC), r.cell(0, date)}},
        [](const auto&) {});
    EXPECT_EQ(servertest::scalar("select f_iscilik::text || ' ' || f_tarih::text from t_servis"),
              "130.0000 2101-01-01 00:00:01");
    // The old reading of the amount no longer matches.
    EXPECT_EQ(errorOf([&] {
                  backend->update(r.table(), r.key(),
                                  {{labour, Money::fromRaw(1), r.cell(0, labour)}},
                                  [](const auto&) {});
              }).kind(),
              ServerError::Kind::Conflict);
    const Rows fresh = select("select * from t_servis");
    backend->remove(fresh.table(), fresh.key(), fresh.originals());
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "0");
}
