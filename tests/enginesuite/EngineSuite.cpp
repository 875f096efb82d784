// The cursor engine's behaviour, the same on every engine: opening, moving, editing, conflicts,
// stored forms, sort, filter, find and clones.
#include "tests/enginesuite/EngineSuite.h"

#include "core/Errors.h"
#include "engine/CursorCollation.h"
#include "tests/support/ValueText.h"

#include <functional>
#include <limits>
#include <stdexcept>

using namespace cursor;

namespace enginesuite {

namespace {

const QString kConflict = QStringLiteral("Row cannot be located for updating. Some values may have "
                                         "been changed since it was last read");

} // namespace

QString text(const Value& v) {
    return testsupport::valueText(v);
}

QStringList columnValues(Recordset& rs, const QString& name) {
    QStringList result;
    const int column = rs.findColumn(name);
    const bool onRow = !rs.bof() && !rs.eof();
    const Recordset::Bookmark here = onRow ? rs.bookmark() : -1;
    for (rs.moveFirst(); !rs.eof(); rs.moveNext())
        result << text(rs.value(column));
    if (onRow)
        rs.gotoBookmark(here);
    return result;
}

QString messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const EOleException& e) {
        return e.message();
    }
    return QStringLiteral("<no error>");
}

qint64 TestStore::addCustomer(const QString& name, const QString& phone) {
    const QString id = scalar(QString("INSERT INTO t_musteri (f_adi, f_tel) VALUES (%1, %2) "
                                      "RETURNING id")
                                  .arg(quote(name), quote(phone)));
    bool ok = false;
    const qint64 result = id.toLongLong(&ok);
    if (!ok)
        throw std::runtime_error("no id for the new customer: " + id.toStdString());
    return result;
}

QString TestStore::quote(const QString& s) {
    return s.isNull() ? "NULL" : "'" + QString(s).replace("'", "''") + "'";
}

void PrintTo(const EngineKind& kind, std::ostream* os) {
    *os << kind.name;
}

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.criteria;
}

void EngineFixture::openOn(const EngineKind& kind) {
    db = kind.make();
    db->open(connection);
}

std::unique_ptr<Recordset> EngineFixture::open(const QString& sql, LockType lock) {
    auto result = std::make_unique<Recordset>();
    result->open(connection, sql, lock);
    return result;
}

std::unique_ptr<Recordset> EngineFixture::openViewNames() {
    const char* names[] = {"Şahin", "Cem",          "Sarp",         "Çelik",    "IŞIK",
                           "ışık",  "İstanbul Oto", "Istanbul Mot", "O'Neil",   "a*b",
                           "a%b",   "x#1",          "[kare]",       "7 Yıldız", "Zeynep"};
    for (const char* name : names)
        db->addCustomer(QString::fromUtf8(name), "1");
    db->exec("insert into t_musteri (f_adi, f_tel, f_tarih) values (NULL, '2', "
             "'2008-12-25 14:30:00'), ('Alper', '2', '2008-12-25 00:00:00')");
    return open("select * from t_musteri");
}

QStringList EngineFixture::namesOf(Recordset& rs) {
    return columnValues(rs, "f_adi");
}

std::vector<FilterCase> filterCases() {
    return {
        FilterCase{"(f_adi like 'Ş*')", "Şahin"},
        FilterCase{"(f_adi like 's*')", "Sarp"},
        FilterCase{"(f_adi like #O'Neil*#)", "O'Neil"},
        FilterCase{"(f_adi like 'o''neil')", "O'Neil"},
        FilterCase{"(f_adi=Null)", "<null>"},
        FilterCase{"(f_adi='ışık')", "IŞIK|ışık"},
        FilterCase{"(f_adi='IŞIK')", "IŞIK|ışık"},
        FilterCase{"(f_adi like 'istanbul*')", "İstanbul Oto"},
        FilterCase{"(f_adi like 'ıstanbul*')", "Istanbul Mot"},
        FilterCase{"(f_adi like 'a[*]b')", "a*b"},
        FilterCase{"(f_adi like 'a[%]b')", "a%b"},
        FilterCase{"(f_adi like 'a*b')", "a*b|a%b"},
        FilterCase{"(f_adi like 'x[#]?')", "x#1"},
        FilterCase{"(f_adi like '[[]kare]')", "[kare]"},
        FilterCase{"(f_adi like '?em')", "Cem"},
        FilterCase{"(f_adi like '_em')", "Cem"},
        FilterCase{"(f_tel='2')", "<null>|Alper"},
        FilterCase{"(f_tel=2)", "<null>|Alper"},
        FilterCase{"(id=2)", "Cem"},
        FilterCase{"(id>=15)", "Zeynep|<null>|Alper"},
        FilterCase{"(f_tarih=#2008-12-25#)", "Alper"},
        FilterCase{"(f_tarih=#2008-12-25 14:30:00#)", "<null>"},
        FilterCase{"(f_tarih=#25.12.2008 14:30:00#)", "<null>"},
        FilterCase{"(f_tarih=#25.12.2008#)", "Alper"},
        FilterCase{"(f_tarih<>Null)", "<null>|Alper"},
        FilterCase{"(f_adi like 'I*') AND (f_tel='1')", "IŞIK|ışık|Istanbul Mot"},
        FilterCase{"(f_adi like 'a*') and (f_adi like '*b')", "a*b|a%b"},
        FilterCase{"(f_adi like 'Q*')", ""},
    };
}

std::vector<qint64> roundTripAmounts() {
    return {std::numeric_limits<qint64>::min(),
            std::numeric_limits<qint64>::max(),
            std::numeric_limits<qint64>::min() + 1,
            qint64(0),
            qint64(-1),
            qint64(1),
            qint64(12345000),
            qint64(-305000),
            qint64(99999999999999999),
            qint64(100000000000000000)};
}

// ---- opening a result, moving ----

TEST_P(Engine, ColumnsAreDescribedFromTheDeclaredTypes) {
    auto rs = open("select * from t_servis");
    struct Expected {
        const char* name;
        ColumnType type;
        int size;
        bool updatable;
        bool key;
    };
    const Expected expected[] = {
        {"f_tarih", ColumnType::DateTime, 0, true, false},
        {"f_km", ColumnType::Text, 255, true, false},
        {"f_ariza", ColumnType::Text, 255, true, false},
        {"f_islem", ColumnType::Text, 255, true, false},
        {"f_parca", ColumnType::Text, 255, true, false},
        {"f_malzeme", ColumnType::Text, 255, true, false},
        {"f_iscilik", ColumnType::Currency, 0, true, false},
        {"f_tutar", ColumnType::Currency, 0, true, false},
        {"f_odeme", ColumnType::Currency, 0, true, false},
        {"id", ColumnType::AutoIncrement, 0, false, true},
        {"id_musteri", ColumnType::Integer, 0, true, false},
        {"f_not", ColumnType::Memo, 0, true, false},
    };
    ASSERT_EQ(rs->columnCount(), int(std::size(expected)));
    for (int i = 0; i < rs->columnCount(); ++i) {
        const ColumnInfo& info = rs->column(i);
        EXPECT_EQ(info.name, expected[i].name);
        EXPECT_EQ(info.type, expected[i].type) << expected[i].name;
        EXPECT_EQ(info.size, expected[i].size) << expected[i].name;
        EXPECT_EQ(info.updatable, expected[i].updatable) << expected[i].name;
        EXPECT_EQ(info.key, expected[i].key) << expected[i].name;
    }
    EXPECT_TRUE(rs->supportsUpdate());
    EXPECT_EQ(rs->findColumn("F_ADI"), -1);
    EXPECT_EQ(rs->findColumn("ID_MUSTERI"), 10);
}

TEST_P(Engine, StatementsWithoutAKeyedBaseTableAreReadOnly) {
    db->addCustomer("Ali");
    for (const char* sql : {"select f_adi from t_musteri",
                            "select m.f_adi, s.f_km from t_musteri m join t_servis s on "
                            "s.id_musteri = m.id",
                            "select count(*) as n from t_musteri"}) {
        auto rs = open(sql);
        EXPECT_FALSE(rs->supportsUpdate()) << sql;
        EXPECT_FALSE(rs->column(0).updatable) << sql;
    }
    auto rs = open("select * from t_musteri", LockType::ReadOnly);
    EXPECT_FALSE(rs->supportsUpdate());
    const QString readOnly = "Current Recordset does not support updating. This may be a "
                             "limitation of the provider, or of the selected locktype";
    EXPECT_EQ(messageOf([&] { rs->setValue(col(*rs, "f_adi"), QString("x")); }), readOnly);
    EXPECT_EQ(messageOf([&] { rs->addNew(); }), readOnly);
    EXPECT_EQ(messageOf([&] { rs->deleteCurrent(); }), readOnly);
    EXPECT_EQ(db->scalar("select f_adi from t_musteri"), "Ali");
}

TEST_P(Engine, ProviderErrorsCarryTheEngineText) {
    Recordset rs;
    EXPECT_EQ(messageOf([&] { rs.open(connection, "select * from t_yok"); }),
              db->missingTableText("t_yok"));
    EXPECT_FALSE(rs.isOpen());
    EXPECT_EQ(
        messageOf([&] { rs.open(connection, "select * from t_musteri; delete from t_musteri"); }),
        "Characters found after end of SQL statement");
    EXPECT_EQ(messageOf([&] { rs.open(connection, "  "); }),
              "Command text was not set for the command object");
    EXPECT_EQ(messageOf([&] { rs.recordCount(); }),
              "Operation is not allowed when the object is closed");
    Connection closed;
    EXPECT_EQ(messageOf([&] { rs.open(closed, "select * from t_musteri"); }),
              "Operation is not allowed when the object is closed");
}

TEST_P(Engine, StatementWithoutRowsRunsAndReturnsNoRows) {
    Recordset rs;
    rs.open(connection, "update t_musteri set f_adi = 'x' where id = -1");
    EXPECT_TRUE(rs.isOpen());
    EXPECT_FALSE(rs.returnsRows());
    EXPECT_FALSE(rs.supportsUpdate());
}

TEST_P(Engine, MovesFollowBofAndEof) {
    for (const char* name : {"A", "B", "C"})
        db->addCustomer(name);
    auto rs = open("select * from t_musteri");
    EXPECT_FALSE(rs->bof());
    EXPECT_EQ(rs->absolutePosition(), 1);
    rs->moveLast();
    EXPECT_EQ(rs->absolutePosition(), 3);
    rs->moveNext();
    EXPECT_TRUE(rs->eof());
    EXPECT_FALSE(rs->bof());
    EXPECT_EQ(rs->absolutePosition(), -1);
    rs->moveNext(); // stays at EOF
    EXPECT_TRUE(rs->eof());
    rs->movePrevious();
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "C");
    rs->moveFirst();
    rs->movePrevious();
    EXPECT_TRUE(rs->bof());
    EXPECT_FALSE(rs->eof());
    EXPECT_EQ(messageOf([&] { rs->value(0); }),
              "Either BOF or EOF is True, or the current record has been deleted. Requested "
              "operation requires a current record");
    rs->move(2);
    EXPECT_EQ(rs->absolutePosition(), 2);
    rs->move(-10);
    EXPECT_TRUE(rs->bof());
    rs->setAbsolutePosition(3);
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "C");
    EXPECT_THROW(rs->setAbsolutePosition(4), EOleException);
    EXPECT_EQ(rs->absolutePosition(), 3);

    auto empty = open("select * from t_servis");
    EXPECT_TRUE(empty->bof());
    EXPECT_TRUE(empty->eof());
    EXPECT_EQ(empty->recordCount(), 0);
    empty->moveFirst();
    EXPECT_TRUE(empty->bof() && empty->eof());
}

TEST_P(Engine, BookmarksSurviveSortAndFilter) {
    for (const char* name : {"Veli", "Alper", "Alican"})
        db->addCustomer(name);
    auto rs = open("select * from t_musteri");
    rs->moveNext();
    const Recordset::Bookmark alper = rs->bookmark();
    rs->setSort("f_adi");
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Alper") << "sorting keeps the current row";
    EXPECT_EQ(rs->absolutePosition(), 2);
    rs->moveLast();
    rs->gotoBookmark(alper);
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Alper");
    rs->setFilter("(f_adi='Veli')");
    EXPECT_EQ(messageOf([&] { rs->gotoBookmark(alper); }), "Bookmark is invalid");
}

// ---- editing ----

TEST_P(Engine, AddNewThenUpdateReadsBackTheGeneratedKey) {
    db->addCustomer("Mevcut");
    auto rs = open("select * from t_musteri");
    EXPECT_EQ(rs->recordCount(), 1);
    rs->addNew();
    EXPECT_TRUE(rs->addPending());
    EXPECT_TRUE(isNull(rs->value(col(*rs, "id"))));
    rs->setValue(col(*rs, "f_adi"), QString::fromUtf8("Ömer Çağlar"));
    rs->setValue(col(*rs, "f_tarih"), QDateTime(QDate(2008, 12, 25), QTime(14, 30), Qt::UTC));
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), QString::fromUtf8("Ömer Çağlar"));
    EXPECT_EQ(rs->recordCount(), 1) << "a pending row is not counted";
    rs->update();
    EXPECT_FALSE(rs->addPending());
    EXPECT_EQ(rs->recordCount(), 2);
    EXPECT_EQ(rs->absolutePosition(), 2) << "the new row stands at the end and is current";
    const QString id = text(rs->value(col(*rs, "id")));
    EXPECT_EQ(id, db->scalar("select max(id) from t_musteri"));
    EXPECT_EQ(db->scalar("select f_adi from t_musteri where id = " + id),
              QString::fromUtf8("Ömer Çağlar"));
    EXPECT_EQ(db->scalar("select f_tarih from t_musteri where id = " + id), "2008-12-25 14:30:00");
    EXPECT_EQ(db->storageOf("t_musteri", "f_tarih", "id = " + id),
              db->storageFor(ColumnType::DateTime));
    EXPECT_TRUE(isNull(rs->value(col(*rs, "f_tel"))));
}

TEST_P(Engine, AddNewWithNothingSetInsertsDefaults) {
    auto rs = open("select * from t_servis");
    rs->addNew();
    rs->update();
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(text(rs->value(col(*rs, "id"))), db->scalar("select id from t_servis"));
}

TEST_P(Engine, CancelledAddNewReturnsToTheFormerRow) {
    for (const char* name : {"A", "B"})
        db->addCustomer(name);
    auto rs = open("select * from t_musteri");
    rs->moveNext();
    rs->addNew();
    rs->setValue(col(*rs, "f_adi"), QString("C"));
    rs->cancelUpdate();
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "B");
    EXPECT_EQ(rs->recordCount(), 2);
    EXPECT_EQ(db->scalar("select count(*) from t_musteri"), "2");
}

TEST_P(Engine, UpdateWritesOnlyTheChangedColumns) {
    db->addCustomer("Ali", "111");
    auto rs = open("select * from t_musteri");
    db->exec("update t_musteri set f_tel = '222'"); // another workstation
    rs->setValue(col(*rs, "f_adi"), QString("Veli"));
    EXPECT_TRUE(rs->editPending());
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Veli");
    rs->update();
    EXPECT_FALSE(rs->editPending());
    EXPECT_EQ(db->scalar("select f_adi || '/' || f_tel from t_musteri"), "Veli/222");
    EXPECT_EQ(text(rs->value(col(*rs, "f_tel"))), "222") << "the row was read back";
}

TEST_P(Engine, CancelUpdateDropsTheEdit) {
    db->addCustomer("Ali");
    auto rs = open("select * from t_musteri");
    rs->setValue(col(*rs, "f_adi"), QString("Veli"));
    rs->cancelUpdate();
    EXPECT_FALSE(rs->editPending());
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Ali");
    EXPECT_EQ(db->scalar("select f_adi from t_musteri"), "Ali");
}

TEST_P(Engine, KeyAndWrongTypesAreRefusedWithoutStartingAnEdit) {
    db->addCustomer("Ali");
    auto rs = open("select * from t_servis");
    rs->addNew();
    EXPECT_EQ(messageOf([&] { rs->setValue(col(*rs, "id"), qint64(5)); }),
              "Field 'id' cannot be updated");
    EXPECT_EQ(messageOf([&] { rs->setValue(col(*rs, "f_iscilik"), QString("12,5 TL")); }),
              "The value cannot be converted for field 'f_iscilik'");
    EXPECT_EQ(messageOf([&] { rs->setValue(col(*rs, "id_musteri"), QString("abc")); }),
              "The value cannot be converted for field 'id_musteri'");
    EXPECT_TRUE(isNull(rs->value(col(*rs, "f_iscilik"))));
}

TEST_P(Engine, StaleUpdateFromASecondConnectionFailsAndKeepsTheFirstWrite) {
    db->addCustomer("Ali");
    Connection second;
    db->open(second);
    auto first = open("select * from t_musteri");
    Recordset stale;
    stale.open(second, "select * from t_musteri");

    first->setValue(col(*first, "f_adi"), QString("Birinci"));
    first->update();
    stale.setValue(stale.findColumn("f_adi"), QString("İkinci"));
    EXPECT_EQ(messageOf([&] { stale.update(); }), kConflict);
    EXPECT_EQ(db->scalar("select f_adi from t_musteri"), "Birinci");
    EXPECT_TRUE(stale.editPending()) << "the typed value stays for the caller to cancel";
    EXPECT_EQ(text(stale.value(stale.findColumn("f_adi"))), QString::fromUtf8("İkinci"));
    stale.cancelUpdate();
    EXPECT_EQ(text(stale.value(stale.findColumn("f_adi"))), "Ali");
}

TEST_P(Engine, StaleDeleteFailsAndTheRowStays) {
    db->addCustomer("Ali", "111");
    Connection second;
    db->open(second);
    Recordset other;
    other.open(second, "select * from t_musteri");
    auto rs = open("select * from t_musteri");
    other.setValue(other.findColumn("f_tel"), QString("999"));
    other.update();
    EXPECT_EQ(messageOf([&] { rs->deleteCurrent(); }), kConflict);
    EXPECT_EQ(db->scalar("select f_adi || '/' || f_tel from t_musteri"), "Ali/999");
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Ali");
}

TEST_P(Engine, DeleteOfARowAnotherUserDeletedFails) {
    const qint64 id = db->addCustomer("Ali");
    auto rs = open("select * from t_musteri");
    db->exec(QString("delete from t_musteri where id = %1").arg(id));
    EXPECT_EQ(messageOf([&] { rs->deleteCurrent(); }), kConflict);
    rs->setValue(col(*rs, "f_adi"), QString("Veli"));
    EXPECT_EQ(messageOf([&] { rs->update(); }), kConflict);
}

TEST_P(Engine, DeleteCountsAndMovesToTheNextRow) {
    for (const char* name : {"A", "B", "C"})
        db->addCustomer(name);
    auto rs = open("select * from t_musteri");
    rs->moveNext();
    rs->deleteCurrent();
    EXPECT_EQ(rs->recordCount(), 2);
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "C");
    rs->deleteCurrent();
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_TRUE(rs->eof()) << "deleting the last row leaves the cursor at EOF";
    rs->moveFirst();
    rs->deleteCurrent();
    EXPECT_EQ(rs->recordCount(), 0);
    EXPECT_TRUE(rs->bof() && rs->eof());
    EXPECT_EQ(db->scalar("select count(*) from t_musteri"), "0");
}

TEST_P(Engine, DeletingACustomerDeletesItsVisits) {
    const qint64 kept = db->addCustomer("Kalan");
    const qint64 gone = db->addCustomer("Giden");
    db->exec(QString("insert into t_servis (id_musteri, f_km) values (%1, '1'), (%2, '2'), (%2, "
                     "'3')")
                 .arg(kept)
                 .arg(gone));
    auto rs = open(QString("select * from t_musteri where id = %1").arg(gone));
    rs->deleteCurrent();
    EXPECT_EQ(db->scalar("select count(*) || ':' || min(f_km) from t_servis"), "1:1");
}

TEST_P(Engine, WriteErrorsKeepThePendingValues) {
    db->addCustomer("Ali");
    db->refuseCustomerName("Yasak", "name not allowed");
    auto rs = open("select * from t_musteri");
    rs->setValue(col(*rs, "f_adi"), QString("Yasak"));
    EXPECT_EQ(messageOf([&] { rs->update(); }), "name not allowed");
    EXPECT_TRUE(rs->editPending());
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Yasak");
    EXPECT_EQ(db->scalar("select f_adi from t_musteri"), "Ali");
    rs->setValue(col(*rs, "f_adi"), QString("Serbest"));
    rs->update();
    EXPECT_EQ(db->scalar("select f_adi from t_musteri"), "Serbest");
}

TEST_P(Engine, AVisitForACustomerThatIsGoneIsRefusedAndKeepsItsValues) {
    const qint64 gone = db->addCustomer("Giden");
    auto rs = open("select * from t_servis");
    rs->addNew();
    rs->setValue(col(*rs, "id_musteri"), gone);
    rs->setValue(col(*rs, "f_km"), QString("12000"));
    db->exec(QString("delete from t_musteri where id = %1").arg(gone));
    EXPECT_EQ(messageOf([&] { rs->update(); }),
              "You cannot add or change a record because a related record is required in table "
              "'t_musteri'");
    EXPECT_TRUE(rs->addPending());
    EXPECT_EQ(text(rs->value(col(*rs, "f_km"))), "12000");
    EXPECT_EQ(db->scalar("select count(*) from t_servis"), "0");
    // Without foreign keys on, the engine's own connection would have stored it.
    EXPECT_EQ(db->cascadingVisitReferences(), "1");
}

TEST_P(Engine, ResyncShowsWhatTheFileHoldsNowAndDropsARowDeletedMeanwhile) {
    db->addCustomer("Ali", "111");
    const qint64 second = db->addCustomer("Veli", "222");
    auto rs = open("select * from t_musteri");
    db->exec("update t_musteri set f_tel = '999' where f_adi = 'Ali'");
    EXPECT_EQ(messageOf([&] {
                  rs->setValue(col(*rs, "f_tel"), QString("000"));
                  rs->update();
              }),
              kConflict);
    rs->resync();
    EXPECT_FALSE(rs->editPending());
    EXPECT_EQ(text(rs->value(col(*rs, "f_tel"))), "999");
    rs->setValue(col(*rs, "f_tel"), QString("000"));
    rs->update();
    EXPECT_EQ(db->scalar("select f_tel from t_musteri where f_adi = 'Ali'"), "000");
    db->exec(QString("delete from t_musteri where id = %1").arg(second));
    rs->moveNext();
    rs->resync();
    EXPECT_EQ(rs->recordCount(), 1);
    EXPECT_TRUE(rs->eof());
}

TEST_P(CurrencyRoundTrip, EveryTenThousandthSurvivesBitForBit) {
    openOn(std::get<0>(GetParam()));
    const Money amount = Money::fromRaw(std::get<1>(GetParam()));
    {
        Recordset rs;
        rs.open(connection, "select * from t_servis");
        rs.addNew();
        rs.setValue(rs.findColumn("f_tutar"), amount);
        rs.update();
        ASSERT_TRUE(std::holds_alternative<Money>(rs.value(rs.findColumn("f_tutar"))));
        EXPECT_EQ(std::get<Money>(rs.value(rs.findColumn("f_tutar"))).raw, amount.raw);
    }
    EXPECT_EQ(db->scalar("select f_tutar from t_servis"), amount.toStorageText());
    EXPECT_EQ(db->storageOf("t_servis", "f_tutar", "true"), db->storageFor(ColumnType::Currency));
    Recordset again;
    again.open(connection, "select * from t_servis");
    const Value v = again.value(again.findColumn("f_tutar"));
    ASSERT_TRUE(std::holds_alternative<Money>(v));
    EXPECT_EQ(std::get<Money>(v).raw, amount.raw);
}

TEST_P(Engine, AmountsWrittenByOtherToolsAreRead) {
    db->exec("insert into t_servis (f_iscilik, f_tutar, f_odeme) values (12.5, 7, '3')");
    EXPECT_EQ(db->storageOf("t_servis", "f_iscilik", "true"), db->storageFor(ColumnType::Currency));
    auto rs = open("select * from t_servis");
    EXPECT_EQ(text(rs->value(col(*rs, "f_iscilik"))), "12.5000");
    EXPECT_EQ(text(rs->value(col(*rs, "f_tutar"))), "7.0000");
    EXPECT_EQ(text(rs->value(col(*rs, "f_odeme"))), "3.0000");
}

TEST_P(Engine, OutsideReaderSeesTheExactDecimalText) {
    auto rs = open("select * from t_servis");
    rs->addNew();
    rs->setValue(col(*rs, "f_iscilik"), Money::fromRaw(12345000));
    rs->setValue(col(*rs, "f_odeme"), Money::fromRaw(-305000));
    rs->update();
    EXPECT_EQ(db->scalar("select f_iscilik || ' ' || f_odeme from t_servis"), "1234.5000 -30.5000");
}

TEST_P(Engine, DateTimesAreNaiveIsoText) {
    db->exec("insert into t_servis (f_tarih) values ('2008-12-25 14:30:00'), ('2009-01-02')");
    auto rs = open("select * from t_servis");
    const int c = col(*rs, "f_tarih");
    const Value first = rs->value(c);
    ASSERT_TRUE(std::holds_alternative<QDateTime>(first));
    EXPECT_EQ(std::get<QDateTime>(first), QDateTime(QDate(2008, 12, 25), QTime(14, 30), Qt::UTC));
    rs->moveNext();
    EXPECT_EQ(text(rs->value(c)), "2009-01-02 00:00:00");
}

TEST_P(View, SortFollowsTurkishOrderWithNullFirst) {
    rs->setSort("f_adi");
    EXPECT_EQ(names().join('|'),
              QString::fromUtf8("<null>|[kare]|7 Yıldız|a%b|a*b|Alper|Cem|Çelik|Istanbul Mot|"
                                "IŞIK|ışık|İstanbul Oto|O'Neil|Sarp|Şahin|x#1|Zeynep"));
    rs->setSort("f_adi DESC");
    EXPECT_EQ(names().first(), "Zeynep");
    EXPECT_EQ(names().last(), "<null>");
    rs->setSort("");
    EXPECT_EQ(names().first(), QString::fromUtf8("Şahin")) << "empty text restores read order";
}

TEST_P(View, SortIsStableAndTakesSeveralColumns) {
    rs->setSort("f_tel DESC, f_adi");
    EXPECT_EQ(names().mid(0, 3).join('|'), "<null>|Alper|[kare]");
    rs->setSort("f_tel");
    // Equal phones keep the read order.
    EXPECT_EQ(names().mid(0, 3).join('|'), QString::fromUtf8("Şahin|Cem|Sarp"));
    EXPECT_EQ(names().mid(15).join('|'), "<null>|Alper");
}

TEST_P(View, SortAfterAnEditUsesTheNewValue) {
    rs->setSort("f_adi");
    rs->moveLast(); // Zeynep
    rs->setValue(col(*rs, "f_adi"), QString("Aa"));
    rs->update();
    rs->setSort("f_adi DESC");
    rs->setSort("f_adi");
    EXPECT_EQ(names().mid(3, 3).join('|'), "a%b|a*b|Aa");
    EXPECT_EQ(names().last(), "x#1");
}

TEST_P(View, SortOfAnUnknownColumnFailsAndKeepsTheView) {
    rs->setSort("f_adi");
    rs->moveFirst();
    rs->moveNext();
    EXPECT_EQ(messageOf([&] { rs->setSort("f_yok"); }),
              "Invalid sort text \"f_yok\": there is no column f_yok");
    EXPECT_EQ(rs->sort(), "f_adi");
    EXPECT_EQ(rs->absolutePosition(), 2);
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "[kare]");
}

TEST_P(Filter, SelectsTheMatchingRows) {
    const FilterCase& filterCase = std::get<1>(GetParam());
    rs->setFilter(QString::fromUtf8(filterCase.criteria));
    EXPECT_EQ(names().join('|'), QString::fromUtf8(filterCase.expected)) << filterCase.criteria;
    EXPECT_EQ(rs->recordCount(), int(names().size()));
    if (rs->recordCount() > 0) {
        EXPECT_EQ(rs->absolutePosition(), 1) << "a filter leaves the view on its first row";
    }
}

TEST_P(View, EmptyFilterShowsEveryRow) {
    rs->setFilter("(f_adi='Cem')");
    rs->setFilter("");
    EXPECT_EQ(rs->recordCount(), 17);
    EXPECT_EQ(rs->filter(), "");
}

TEST_P(View, UnusableCriteriaFailAndKeepTheView) {
    rs->setFilter("(f_tel='1')");
    rs->moveNext();
    rs->moveNext();
    const Recordset::Bookmark here = rs->bookmark();
    const std::pair<const char*, const char*> rows[] = {
        {"(f_adi like 'Al*'", "Invalid criterion \"(f_adi like 'Al*'\": expected \")\""},
        {"(f_yok='x')", "Invalid criterion \"(f_yok='x')\": there is no column f_yok"},
        {"(f_adi like 'A[')", "Invalid pattern string"},
        {"(id='abc')", "Data type mismatch in criteria expression"},
        {"(f_tarih=#31.02.2008#)", "Data type mismatch in criteria expression"},
        {"(f_iscilik=1)", "Invalid criterion \"(f_iscilik=1)\": there is no column f_iscilik"},
        {"(f_adi>Null)", "Invalid criterion \"(f_adi>Null)\": Null can only be compared with = "
                         "or <>"},
    };
    for (const auto& [criteria, message] : rows) {
        EXPECT_EQ(messageOf([&] { rs->setFilter(criteria); }).toStdString(), message);
        EXPECT_EQ(rs->filter(), "(f_tel='1')");
        EXPECT_EQ(rs->recordCount(), 15);
        EXPECT_EQ(rs->bookmark(), here) << criteria;
        EXPECT_EQ(messageOf([&] { rs->find(criteria); }).toStdString(), message);
        EXPECT_EQ(rs->bookmark(), here) << criteria;
    }
    EXPECT_EQ(messageOf([&] { rs->find("(f_adi='a') and (f_adi='b')"); }),
              "Invalid criterion \"(f_adi='a') and (f_adi='b')\": find takes a single comparison");
}

TEST_P(View, BuiltCriteriaTakeTheirValuesLiterally) {
    using Kind = Criterion::ValueKind;
    const auto prefix = [](const char* value) {
        return Criterion{"f_adi", CompareOp::BeginsWith, Kind::Quoted, QString::fromUtf8(value)};
    };
    // A prefix's wildcards and sets match only themselves.
    const std::pair<const char*, const char*> prefixes[] = {
        {"a*", "a*b"},       {"a%", "a%b"}, {"x#", "x#1"}, {"[k", "[kare]"}, {"O'", "O'Neil"},
        {"ış", "IŞIK|ışık"}, {"a_", ""},    {"?em", ""},   {"*", ""}};
    for (const auto& [value, names] : prefixes) {
        rs->setFilter(std::vector<Criterion>{prefix(value)});
        EXPECT_EQ(namesOf(*rs).join('|').toStdString(), names) << value;
        EXPECT_TRUE(rs->filtered());
        EXPECT_EQ(rs->filter(), "");
    }
    rs->setFilter(std::vector<Criterion>{});
    EXPECT_EQ(rs->recordCount(), 17);
    EXPECT_FALSE(rs->filtered());
    const std::pair<Criterion, const char*> others[] = {
        {{"f_adi", CompareOp::Equal, Kind::Quoted, "o'neil"}, "O'Neil"},
        {{"F_ADI", CompareOp::Equal, Kind::Null, {}}, "<null>"},
        {{"f_tarih", CompareOp::Equal, Kind::Hashed, "25.12.2008"}, "Alper"},
        {{"id", CompareOp::Equal, Kind::Bare, " 2"}, "Cem"},
    };
    for (const auto& [criterion, names] : others) {
        rs->setFilter(std::vector<Criterion>{criterion});
        EXPECT_EQ(namesOf(*rs).join('|').toStdString(), names) << criterion.field.toStdString();
    }
    EXPECT_EQ(messageOf([&] {
                  rs->setFilter(std::vector<Criterion>{{"id", CompareOp::Equal, Kind::Bare, "x"}});
              }),
              "Data type mismatch in criteria expression");
    EXPECT_EQ(namesOf(*rs).join('|'), "Cem") << "a failed filter keeps the view";
    rs->setFilter(std::vector<Criterion>{});
    // A find: a binary search on the sorted column, and a scan of the read order.
    const int name = col(*rs, "f_adi");
    rs->setSort("f_adi");
    rs->moveFirst();
    EXPECT_TRUE(rs->find(prefix("a%")));
    EXPECT_EQ(text(rs->value(name)), "a%b");
    EXPECT_FALSE(rs->find(prefix("a%"), 1));
    EXPECT_TRUE(rs->eof());
    rs->setSort("");
    rs->moveFirst();
    EXPECT_TRUE(rs->find(prefix("a*")));
    EXPECT_EQ(text(rs->value(name)), "a*b");
    EXPECT_TRUE(rs->find(prefix("ş"), 0, SearchDirection::Backward));
    EXPECT_EQ(text(rs->value(name)), QString::fromUtf8("Şahin"));
}

TEST_P(View, FindSearchesFromTheCurrentRowBothWays) {
    const int name = col(*rs, "f_adi");
    EXPECT_TRUE(rs->find("(f_adi like 's*')"));
    EXPECT_EQ(text(rs->value(name)), "Sarp");
    EXPECT_TRUE(rs->find("(f_adi like 's*')")) << "the current row itself is searched";
    EXPECT_EQ(text(rs->value(name)), "Sarp");
    EXPECT_FALSE(rs->find("(f_adi like 's*')", 1));
    EXPECT_TRUE(rs->eof());
    EXPECT_TRUE(rs->find("(f_adi like '*bul*')", 0, SearchDirection::Backward)) << "from EOF";
    EXPECT_EQ(text(rs->value(name)), "Istanbul Mot");
    EXPECT_TRUE(rs->find("(f_adi like '*bul*')", 1, SearchDirection::Backward));
    EXPECT_EQ(text(rs->value(name)), QString::fromUtf8("İstanbul Oto"));
    EXPECT_FALSE(rs->find("(f_adi like '*bul*')", 1, SearchDirection::Backward));
    EXPECT_TRUE(rs->bof());
    EXPECT_TRUE(rs->find("(f_adi='CEM')")) << "from BOF";
    EXPECT_EQ(rs->absolutePosition(), 2);
}

TEST_P(View, LocateOnASortedCloneFindsTheAlphabeticallyFirstMatch) {
    db->exec("delete from t_musteri");
    for (const char* name : {"Veli", "Alper", "Alican"})
        db->addCustomer(name);
    rs = open("select * from t_musteri");
    auto copy = rs->clone();
    EXPECT_FALSE(copy->supportsUpdate());
    copy->setSort("f_adi");
    copy->setFilter("");
    ASSERT_TRUE(copy->find("(f_adi like 'Al*')"));
    rs->gotoBookmark(copy->bookmark());
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), "Alican");
    EXPECT_EQ(rs->absolutePosition(), 3);
    copy->setFilter("");
    EXPECT_FALSE(copy->find("(f_adi like 'Ali*x')"));
    EXPECT_TRUE(copy->eof());
}

TEST_P(View, ClonesShareRowsAndSeeAddsAfterTheirNextSort) {
    auto copy = rs->clone();
    EXPECT_EQ(copy->absolutePosition(), 1);
    EXPECT_EQ(copy->recordCount(), 17);
    rs->addNew();
    rs->setValue(col(*rs, "f_adi"), QString("Aaa"));
    rs->update();
    EXPECT_EQ(rs->recordCount(), 18);
    EXPECT_EQ(copy->recordCount(), 17) << "not before its sort or filter is set again";
    copy->setSort("f_adi");
    EXPECT_EQ(copy->recordCount(), 18);
    EXPECT_EQ(columnValues(*copy, "f_adi").mid(5, 2).join('|'), "Aaa|Alper");

    rs->moveFirst(); // Şahin
    copy->setFilter("(f_adi='Şahin')");
    ASSERT_EQ(copy->recordCount(), 1);
    rs->deleteCurrent();
    EXPECT_EQ(copy->recordCount(), 0) << "a deleted row leaves every view";
    EXPECT_TRUE(copy->eof());

    rs->setValue(col(*rs, "f_adi"), QString("Cemil")); // now on Cem
    rs->update();
    copy->setFilter("");
    EXPECT_TRUE(copy->find("(f_adi='Cemil')")) << "an edit is visible through the shared rows";
}

TEST_P(View, PrefixFindAgreesWithAScanAfterSortAndAfterAdds) {
    rs->setSort("f_adi");
    // Reference: the positions, in view order, of the names that start with the prefix.
    auto linear = [&](Recordset& r, const QString& prefix) {
        QList<int> positions;
        const QStringList all = columnValues(r, "f_adi");
        const CollationKey wanted = collationKey(prefix);
        for (int i = 0; i < all.size(); ++i)
            if (all[i] != "<null>" && collationKey(all[i]).substr(0, wanted.size()) == wanted)
                positions << i + 1;
        return positions;
    };
    // Every match, walking with find from the first row and then skipping the current one.
    auto walk = [&](Recordset& r, const QString& prefix) {
        QList<int> positions;
        // Typed text as a LIKE pattern: quotes doubled, wildcards in brackets.
        QString literal;
        for (QChar c : prefix)
            literal += c == '\''                            ? QStringLiteral("''")
                       : QStringView(u"*%?_[#").contains(c) ? '[' + QString(c) + ']'
                                                            : QString(c);
        const QString criterion = "(f_adi like '" + literal + "*')";
        r.moveFirst();
        for (int skip = 0; positions.size() <= r.recordCount() && r.find(criterion, skip); skip = 1)
            positions << r.absolutePosition();
        EXPECT_TRUE(r.eof());
        return positions;
    };
    const QStringList prefixes = {"a", "al", "ı",  "I", "i", "İs", "s",  "ş",  "z",  "Ç",
                                  "c", "7",  "x#", "q", "",  "O'", "a*", "a%", "[k", "a_"};
    for (int round = 0; round < 2; ++round) {
        for (const QString& prefix : prefixes)
            EXPECT_EQ(walk(*rs, prefix), linear(*rs, prefix))
                << "prefix " << prefix.toStdString() << " round " << round;
        rs->moveLast();
        EXPECT_FALSE(rs->find("(f_adi like 'a*')", 1)) << "nothing follows the last row";
        // An added row stands unsorted at the end: the binary search must not be trusted then.
        rs->addNew();
        rs->setValue(col(*rs, "f_adi"), QString("Ahmet"));
        rs->update();
        rs->addNew();
        rs->setValue(col(*rs, "f_adi"), QString::fromUtf8("şule"));
        rs->update();
    }
}

TEST_P(View, EqualityFindOnTheSortedColumnAndMovesFlushAPendingEdit) {
    rs->setSort("f_adi");
    rs->moveFirst();
    EXPECT_TRUE(rs->find("(f_adi='IŞIK')"));
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), QString::fromUtf8("IŞIK"));
    rs->setValue(col(*rs, "f_adi"), QString("Zz"));
    rs->moveFirst(); // a move writes the pending edit, as ADO does
    EXPECT_FALSE(rs->editPending());
    EXPECT_EQ(db->scalar("select count(*) from t_musteri where f_adi = 'Zz'"), "1");
    EXPECT_TRUE(rs->find("(f_adi='ışık')"));
    EXPECT_EQ(text(rs->value(col(*rs, "f_adi"))), QString::fromUtf8("ışık"));
}

} // namespace enginesuite
