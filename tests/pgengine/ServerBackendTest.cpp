// The server backend: column descriptions, exact value round trips, write-back and conflicts.
#include "pgengine/ServerBackend.h"
#include "pgengine/PgError.h"
#include "tests/pgengine/ServerTestSupport.h"

#include <gtest/gtest.h>
#include <limits>

using cursor::ColumnType;
using cursor::Value;
using pgengine::ColumnChange;
using pgengine::ColumnValue;
using pgengine::SelectResult;
using pgengine::ServerBackend;
using pgengine::ServerError;
using pgengine::Session;

namespace {

class ServerBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        servertest::resetTables();
        session.open(servertest::connectionString());
    }
    int column(const SelectResult& r, const QString& name) {
        for (std::size_t i = 0; i < r.columns->size(); ++i)
            if ((*r.columns)[i].name == name)
                return int(i);
        ADD_FAILURE() << "no column " << name.toStdString();
        return -1;
    }
    qint64 addCustomer(const QString& name) {
        return servertest::scalar("INSERT INTO t_musteri (f_adi) VALUES ($1) RETURNING id",
                                  {name.toUtf8()})
            .toLongLong();
    }
    Session session;
    ServerBackend backend{session};
};

std::string show(const Value& v) {
    return std::visit(
        [](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return "<null>";
            else if constexpr (std::is_same_v<T, qint64>)
                return "int " + std::to_string(x);
            else if constexpr (std::is_same_v<T, double>)
                return "double " + std::to_string(x);
            else if constexpr (std::is_same_v<T, Money>)
                return "money raw " + std::to_string(x.raw);
            else if constexpr (std::is_same_v<T, QString>)
                return "text '" + x.toStdString() + "'";
            else
                return "datetime " + x.toString(Qt::ISODate).toStdString();
        },
        v);
}

ServerError errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const ServerError& e) {
        return e;
    }
    ADD_FAILURE() << "no ServerError";
    return ServerError(ServerError::Kind::Statement, QString());
}

} // namespace

TEST_F(ServerBackendTest, ColumnsOfBothTablesAsTheFileDescribesThem) {
    const SelectResult customers = backend.select("select * from t_musteri");
    ASSERT_TRUE(customers.returnsRows);
    ASSERT_EQ(customers.columns->size(), 16u);
    const QStringList names{"f_arac_plaka", "f_adi",        "f_tel",        "f_gsm",
                            "f_mail",       "f_vd",         "f_vn",         "f_tarih",
                            "f_adres",      "f_arac_marka", "f_arac_model", "f_arac_yil",
                            "f_arac_yakit", "f_arac_renk",  "f_not",        "id"};
    for (int i = 0; i < 16; ++i) {
        const cursor::ColumnInfo& c = (*customers.columns)[std::size_t(i)];
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
    ASSERT_TRUE(customers.table);
    EXPECT_EQ(customers.table->schema, "public");
    EXPECT_EQ(customers.table->name, "t_musteri");
    EXPECT_EQ(customers.table->keyColumn, 15);

    const SelectResult visits = backend.select("select * from t_servis where id_musteri=1");
    ASSERT_TRUE(visits.table);
    EXPECT_EQ(visits.table->keyColumn, column(visits, "id"));
    for (const char* amount : {"f_iscilik", "f_tutar", "f_odeme"})
        EXPECT_EQ((*visits.columns)[std::size_t(column(visits, amount))].type,
                  ColumnType::Currency);
    const cursor::ColumnInfo& owner = (*visits.columns)[std::size_t(column(visits, "id_musteri"))];
    EXPECT_EQ(owner.type, ColumnType::Integer);
    EXPECT_TRUE(owner.updatable);
    EXPECT_EQ(visits.rows.rowCount(), 0);
}

TEST_F(ServerBackendTest, ResultsWithoutOneKeyedTableAreReadOnly) {
    for (const char* sql :
         {"select f_adi, f_tel from t_musteri", "select count(*) from t_musteri",
          "select m.id, s.id from t_musteri m join t_servis s on s.id_musteri = m.id"}) {
        const SelectResult r = backend.select(sql);
        EXPECT_FALSE(r.table) << sql;
        for (const cursor::ColumnInfo& c : *r.columns)
            EXPECT_FALSE(c.updatable) << sql << " " << c.name.toStdString();
        EXPECT_THROW(backend.insert(r, {}), ServerError) << sql;
    }
    // A computed column beside the key keeps the rows writable, the computed one is not.
    const SelectResult r = backend.select("select id, f_adi, upper(f_adi) as big from t_musteri");
    ASSERT_TRUE(r.table);
    EXPECT_TRUE((*r.columns)[1].updatable);
    EXPECT_FALSE((*r.columns)[2].updatable);
    EXPECT_EQ(r.table->origins[2], "");
}

TEST_F(ServerBackendTest, StatementWithoutRowsAndBadStatement) {
    EXPECT_FALSE(backend.select("set search_path = public").returnsRows);
    const ServerError e = errorOf([&] { backend.select("select * from t_yok"); });
    EXPECT_EQ(e.message(), R"(relation "t_yok" does not exist)");
}

// Every value kind goes in and comes back exactly, read back by the insert itself and by another
// session's select.
TEST_F(ServerBackendTest, ValuesRoundTripExactly) {
    const SelectResult customers = backend.select("select * from t_musteri");
    const SelectResult visitsShape = backend.select("select * from t_servis");
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
            values.push_back({column(customers, name), v});
        values.push_back({column(customers, "f_tarih"), date});
        const pgengine::ServerRows row = backend.insert(customers, values);
        ASSERT_EQ(row.rowCount(), 1);
        const SelectResult again =
            backend.select("select * from t_musteri order by id desc limit 1");
        for (const pgengine::ServerRows* rows : {&row, &again.rows}) {
            for (const ColumnValue& v : values)
                EXPECT_EQ(show(rows->value(0, v.column)), show(v.value))
                    << (*customers.columns)[std::size_t(v.column)].name.toStdString();
        }
        EXPECT_EQ(servertest::scalar("select length(f_vd) from t_musteri order by id desc"), "255");
    }

    // Money over its whole range, zero and small amounts, sums of visits exactly.
    const qint64 customer = addCustomer("Para");
    const std::vector<Money> amounts{Money::fromRaw(std::numeric_limits<std::int64_t>::min()),
                                     Money::fromRaw(std::numeric_limits<std::int64_t>::max()),
                                     Money::fromRaw(0),
                                     Money::fromRaw(1),
                                     Money::fromRaw(-1),
                                     Money::fromRaw(1234567),
                                     Money::fromRaw(-98765432109876)};
    for (const Money& m : amounts) {
        const pgengine::ServerRows row =
            backend.insert(visitsShape, {{column(visitsShape, "id_musteri"), customer},
                                         {column(visitsShape, "f_iscilik"), m},
                                         {column(visitsShape, "f_tutar"), Value()}});
        EXPECT_EQ(show(row.value(0, column(visitsShape, "f_iscilik"))), show(m));
        EXPECT_EQ(show(row.value(0, column(visitsShape, "f_tutar"))), "<null>");
        // The cell is the decimal text the file stores too.
        const pgengine::CellRef cell = row.cell(0, column(visitsShape, "f_iscilik"));
        EXPECT_EQ(cell.type, pgengine::CellRef::Text);
        EXPECT_EQ(QByteArray(cell.text.data(), qsizetype(cell.text.size())),
                  pgengine::moneyToText(m));
    }
    EXPECT_EQ(servertest::scalar("select min(f_iscilik)::text from t_servis"),
              "-922337203685477.5808");
    EXPECT_EQ(servertest::scalar("select max(f_iscilik)::text from t_servis"),
              "922337203685477.5807");
}

TEST_F(ServerBackendTest, TooLongTextIsRefusedWithTheServersText) {
    const SelectResult customers = backend.select("select * from t_musteri");
    const ServerError e = errorOf([&] {
        backend.insert(customers, {{column(customers, "f_adi"), QString(256, QChar('x'))}});
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_EQ(e.message(), "value too long for type character varying(255)");
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "0");
}

TEST_F(ServerBackendTest, InsertReadsBackTheGeneratedKey) {
    const SelectResult customers = backend.select("select * from t_musteri");
    const int id = column(customers, "id");
    const pgengine::ServerRows first =
        backend.insert(customers, {{column(customers, "f_adi"), QString("Ali")}});
    const pgengine::ServerRows second = backend.insert(customers, {});
    EXPECT_EQ(first.cell(0, id).type, pgengine::CellRef::Integer);
    EXPECT_GT(first.cell(0, id).integer, 0);
    EXPECT_EQ(second.cell(0, id).integer, first.cell(0, id).integer + 1);
    EXPECT_EQ(show(second.value(0, column(customers, "f_adi"))), "<null>");
    EXPECT_EQ(servertest::scalar("select f_adi from t_musteri where id = $1",
                                 {QByteArray::number(first.cell(0, id).integer)}),
              "Ali");
    // The key cannot be written; nothing reaches the server.
    EXPECT_EQ(errorOf([&] {
                  backend.insert(customers, {{id, qint64(99)}});
              }).message(),
              "Field 'id' cannot be updated");
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "2");
}

TEST_F(ServerBackendTest, UpdateChecksTheChangedColumnsOnly) {
    const qint64 id = addCustomer("Ayşe");
    servertest::exec("update t_musteri set f_tel = '111' where id = $1", {QByteArray::number(id)});
    const SelectResult r = backend.select("select * from t_musteri");
    const int name = column(r, "f_adi"), tel = column(r, "f_tel"),
              plate = column(r, "f_arac_plaka");

    // Another workstation changes the telephone; changing the name still lands.
    servertest::exec("update t_musteri set f_tel = '222' where id = $1", {QByteArray::number(id)});
    const pgengine::ServerRows row =
        backend.update(r, id, {{name, QString("Ayşe Öztürk"), r.rows.value(0, name)}});
    EXPECT_EQ(show(row.value(0, name)), show(QString("Ayşe Öztürk")));
    EXPECT_EQ(show(row.value(0, tel)), show(QString("222"))); // the stored row, read back

    // Writing the telephone from the stale reading is a conflict; nothing is overwritten.
    const ServerError e = errorOf([&] {
        backend.update(r, id, {{tel, QString("333"), r.rows.value(0, tel)}});
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Conflict);
    EXPECT_EQ(e.message(), "Row cannot be located for updating. Some values may have been "
                           "changed since it was last read");
    EXPECT_EQ(servertest::scalar("select f_tel from t_musteri"), "222");
    EXPECT_FALSE(session.inTransaction());

    // Null originals compare as null (IS NOT DISTINCT FROM).
    backend.update(r, id, {{plate, QString("34 AB 1"), Value()}});
    EXPECT_EQ(servertest::scalar("select f_arac_plaka from t_musteri"), "34 AB 1");
    EXPECT_THROW(backend.update(r, id, {{plate, QString("34 AB 2"), Value()}}), ServerError);

    // A row deleted by another workstation cannot be updated.
    servertest::exec("delete from t_musteri where id = $1", {QByteArray::number(id)});
    EXPECT_EQ(errorOf([&] {
                  backend.update(r, id, {{name, QString("x"), QString("Ayşe Öztürk")}});
              }).kind(),
              ServerError::Kind::Conflict);
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "0");
}

TEST_F(ServerBackendTest, DeleteChecksTheReadValuesAndCascades) {
    const qint64 id = addCustomer("Veli");
    servertest::exec("insert into t_servis (id_musteri, f_iscilik) values ($1, 10)",
                     {QByteArray::number(id)});
    const SelectResult r = backend.select("select * from t_musteri");
    std::vector<ColumnValue> originals;
    for (int c = 0; c < int(r.columns->size()); ++c)
        if ((*r.columns)[std::size_t(c)].updatable)
            originals.push_back({c, r.rows.value(0, c)});

    servertest::exec("update t_musteri set f_not = 'değişti'");
    const ServerError e = errorOf([&] { backend.remove(r, id, originals); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Conflict);
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "1");

    const SelectResult fresh = backend.select("select * from t_musteri");
    originals.clear();
    for (int c = 0; c < int(fresh.columns->size()); ++c)
        if ((*fresh.columns)[std::size_t(c)].updatable)
            originals.push_back({c, fresh.rows.value(0, c)});
    backend.remove(fresh, id, originals);
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "0");
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "0"); // visits went with it

    // Deleting it again: it is gone, a conflict.
    EXPECT_EQ(errorOf([&] { backend.remove(fresh, id, originals); }).kind(),
              ServerError::Kind::Conflict);
}

// A visit for a customer another workstation deleted meanwhile is refused by the foreign key.
TEST_F(ServerBackendTest, VisitOfADeletedCustomerIsRefused) {
    const qint64 id = addCustomer("Gidecek");
    const SelectResult visits = backend.select("select * from t_servis where id_musteri=1");
    servertest::exec("delete from t_musteri");
    const ServerError e = errorOf([&] {
        backend.insert(visits, {{column(visits, "id_musteri"), id}});
    });
    EXPECT_EQ(e.kind(), ServerError::Kind::Statement);
    EXPECT_TRUE(e.message().startsWith(R"(insert or update on table "t_servis" violates foreign )"
                                       R"(key constraint)"))
        << e.message().toStdString();
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "0");
}

// A save while the server is down fails clearly and stores nothing; after the restart the same
// save (the values are still with the caller) lands once.
TEST_F(ServerBackendTest, SaveWhileTheServerIsDownThenAgain) {
    const SelectResult customers = backend.select("select * from t_musteri");
    const std::vector<ColumnValue> values{{column(customers, "f_adi"), QString("Kaydedilecek")}};
    servertest::cluster("stop");
    const ServerError e = errorOf([&] { backend.insert(customers, values); });
    EXPECT_EQ(e.kind(), ServerError::Kind::Connection);
    EXPECT_TRUE(e.message().startsWith("The connection to the database server was lost: "));
    servertest::cluster("start");
    backend.insert(customers, values);
    EXPECT_EQ(servertest::scalar("select count(*) from t_musteri"), "1");
    EXPECT_EQ(backend.select("select * from t_musteri").rows.rowCount(), 1);
}

// The check compares money and date-times by value as the server stores them.
TEST_F(ServerBackendTest, ChecksOnAmountsAndDates) {
    const qint64 id = addCustomer("Tutar");
    servertest::exec("insert into t_servis (id_musteri, f_iscilik, f_tutar, f_tarih) values "
                     "($1, 120.5, -0.0001, '1899-12-30 23:59:59')",
                     {QByteArray::number(id)});
    const SelectResult r =
        backend.select("select * from t_servis where id_musteri=" + QString::number(id));
    const int labour = column(r, "f_iscilik"), date = column(r, "f_tarih"), key = column(r, "id");
    EXPECT_EQ(show(r.rows.value(0, labour)), show(Money::fromRaw(1205000)));
    EXPECT_EQ(show(r.rows.value(0, date)),
              show(QDateTime(QDate(1899, 12, 30), QTime(23, 59, 59), Qt::UTC)));
    const Value visit = r.rows.value(0, key);
    backend.update(
        r, visit,
        {{labour, Money::fromRaw(1300000), r.rows.value(0, labour)},
         {date, QDateTime(QDate(2101, 1, 1), QTime(0, 0, 1), Qt::UTC), r.rows.value(0, date)}});
    EXPECT_EQ(servertest::scalar("select f_iscilik::text || ' ' || f_tarih::text from t_servis"),
              "130.0000 2101-01-01 00:00:01");
    // The old reading of the amount no longer matches.
    EXPECT_EQ(errorOf([&] {
                  backend.update(r, visit, {{labour, Money::fromRaw(1), r.rows.value(0, labour)}});
              }).kind(),
              ServerError::Kind::Conflict);
    const SelectResult fresh = backend.select("select * from t_servis");
    std::vector<ColumnValue> originals;
    for (int c = 0; c < int(fresh.columns->size()); ++c)
        if ((*fresh.columns)[std::size_t(c)].updatable)
            originals.push_back({c, fresh.rows.value(0, c)});
    backend.remove(fresh, visit, originals);
    EXPECT_EQ(servertest::scalar("select count(*) from t_servis"), "0");
}
