// Rows another workstation saved, read again by key into an open view, the same on every engine:
// the view a new reading would give under its sort and filter, the current row kept, the
// statement's conditions kept, the program's own saves not read twice, and a full new reading.
#include "tests/enginesuite/EngineSuite.h"

#include "core/Errors.h"

using namespace cursor;

namespace enginesuite {

namespace {

qint64 idOf(TestStore& db, const QString& table, const QString& where) {
    return db.scalar(QStringLiteral("select id from %1 where %2").arg(table, where)).toLongLong();
}

qint64 customerId(TestStore& db, const QString& name) {
    return idOf(db, "t_musteri", "f_adi = " + TestStore::quote(name));
}

QString currentName(Recordset& rs) {
    return text(rs.value(rs.findColumn("f_adi")));
}

} // namespace

void PrintTo(const RefreshCase& c, std::ostream* os) {
    *os << "sort \"" << c.sort << "\", filter \"" << c.filter << "\"";
}

std::vector<RefreshCase> refreshCases() {
    return {
        {"", ""},
        {"f_adi", ""},
        {"f_adi DESC", ""},
        {"f_tel,f_adi", ""},
        {"", "(f_tel='1')"},
        {"f_adi", "(f_tel='1')"},
        {"f_adi DESC", "(f_adi like '*e*')"},
    };
}

TEST_P(Refresh, RowsSavedElsewhereStandWhereANewReadingPutsThemAndTheCurrentRowStays) {
    const RefreshCase& c = std::get<1>(GetParam());
    rs->setSort(c.sort);
    rs->setFilter(c.filter);
    ASSERT_TRUE(rs->find(QString::fromUtf8("(f_adi='Çelik')"))); // nobody changes it
    const Recordset::Bookmark here = rs->bookmark();

    const qint64 cem = customerId(*db, "Cem"), sahin = customerId(*db, QString::fromUtf8("Şahin"));
    const qint64 alper = customerId(*db, "Alper"), zeynep = customerId(*db, "Zeynep");
    const qint64 sarp = customerId(*db, "Sarp");
    const qint64 ceyda = db->addCustomer("Ceyda", "1");
    db->exec("UPDATE t_musteri SET f_adi = 'Ahmet' WHERE f_adi = 'Cem'");
    db->exec(QString::fromUtf8("UPDATE t_musteri SET f_tel = '3' WHERE f_adi = 'Şahin'"));
    db->exec("UPDATE t_musteri SET f_tel = '1' WHERE f_adi = 'Alper'");
    db->exec("DELETE FROM t_musteri WHERE f_adi = 'Zeynep'");

    const Recordset::Refreshed result = rs->refreshRows({ceyda, cem, sahin, alper, zeynep, sarp});

    // Without a sort both engines read these rows in key order; with one, ties keep read order.
    auto fresh = open("select * from t_musteri");
    fresh->setSort(QString(c.sort).isEmpty() ? QString("id") : QString(c.sort));
    fresh->setFilter(c.filter);
    EXPECT_EQ(namesOf(*rs), namesOf(*fresh));
    EXPECT_EQ(rs->recordCount(), fresh->recordCount());
    EXPECT_EQ(rs->bookmark(), here) << "the current row stays current";
    EXPECT_EQ(currentName(*rs), QString::fromUtf8("Çelik"));
    EXPECT_FALSE(result.currentLeft);
    EXPECT_EQ(result.changed, 3) << "Sarp reads as before and counts as nothing";
    EXPECT_TRUE(result.any());
}

TEST_P(View, ACurrentRowDeletedElsewhereGivesWayToTheRowAfterIt) {
    ASSERT_TRUE(rs->find("(f_adi='Sarp')"));
    const qint64 sarp = customerId(*db, "Sarp");
    db->exec("DELETE FROM t_musteri WHERE f_adi = 'Sarp'");
    Recordset::Refreshed result = rs->refreshRows({sarp});
    EXPECT_TRUE(result.currentLeft);
    EXPECT_EQ(result.removed, 1);
    EXPECT_EQ(currentName(*rs), QString::fromUtf8("Çelik"))
        << "the row after it, as after a delete";
    EXPECT_EQ(rs->recordCount(), 16);

    rs->moveLast(); // Alper
    const qint64 alper = customerId(*db, "Alper");
    db->execByClient("DELETE FROM t_musteri WHERE f_adi = 'Alper';");
    result = rs->refreshRows({alper});
    EXPECT_TRUE(result.currentLeft);
    EXPECT_TRUE(rs->eof()) << "no row after the last one";
    EXPECT_FALSE(rs->bof());
    EXPECT_EQ(rs->recordCount(), 15);
}

TEST_P(View, ACurrentRowChangedElsewhereStaysCurrentWhereTheSortPutsIt) {
    rs->setSort("f_adi");
    rs->moveFirst();
    ASSERT_TRUE(rs->find("(f_adi='Cem')"));
    const Recordset::Bookmark cem = rs->bookmark();
    db->execByClient("UPDATE t_musteri SET f_adi = 'Zz' WHERE f_adi = 'Cem';");
    const Recordset::Refreshed result = rs->refreshRows({customerId(*db, "Zz")});
    EXPECT_FALSE(result.currentLeft);
    EXPECT_EQ(result.changed, 1);
    EXPECT_EQ(result.added + result.removed, 0) << "it moved; it did not leave or join";
    EXPECT_EQ(rs->bookmark(), cem);
    EXPECT_EQ(currentName(*rs), "Zz");
    EXPECT_EQ(rs->absolutePosition(), rs->recordCount()) << "Zz sorts last";
}

TEST_P(View, TheProgramsOwnSavesReadAgainChangeNothing) {
    ASSERT_TRUE(rs->find("(f_adi='Cem')"));
    rs->setValue(col(*rs, "f_adi"), QString("Cemil"));
    rs->update();
    rs->addNew();
    rs->setValue(col(*rs, "f_adi"), QString("Yeni"));
    rs->update();
    const QStringList before = namesOf(*rs);
    const Recordset::Bookmark here = rs->bookmark();

    const Recordset::Refreshed result =
        rs->refreshRows({customerId(*db, "Cemil"), customerId(*db, "Yeni")});
    EXPECT_FALSE(result.any());
    EXPECT_EQ(namesOf(*rs), before) << "no double row";
    EXPECT_EQ(rs->recordCount(), 18);
    EXPECT_EQ(rs->bookmark(), here);
    EXPECT_FALSE(rs->refreshRows({999999}).any()) << "a key no row has, before or now";
}

TEST_P(Engine, RowsReadAgainKeepTheStatementsConditions) {
    const qint64 ali = db->addCustomer("Ali"), veli = db->addCustomer("Veli");
    db->exec(
        QString("INSERT INTO t_servis (id_musteri, f_km) VALUES (%1, '1'), (%1, '2')").arg(ali));
    const qint64 first = idOf(*db, "t_servis", "f_km = '1'");
    const qint64 moved = idOf(*db, "t_servis", "f_km = '2'");
    // As the program sends it: each line followed by a line end.
    auto visits = open(QString("select * from t_servis where id_musteri=%1\r\n").arg(ali));
    ASSERT_EQ(visits->recordCount(), 2);

    db->execByClient(QString("UPDATE t_servis SET f_km = '9' WHERE id = %1;"
                             "UPDATE t_servis SET id_musteri = %2 WHERE id = %3;"
                             "INSERT INTO t_servis (id_musteri, f_km) VALUES (%4, '3'), (%2, '4');")
                         .arg(first)
                         .arg(veli)
                         .arg(moved)
                         .arg(ali));
    const qint64 added = idOf(*db, "t_servis", "f_km = '3'");
    const qint64 others = idOf(*db, "t_servis", "f_km = '4'");
    const Recordset::Refreshed result = visits->refreshRows({first, moved, added, others});
    EXPECT_EQ(columnValues(*visits, "f_km").join('|'), "9|3")
        << "the moved visit left, the other customer's new one never came";
    EXPECT_EQ(result.added, 1);
    EXPECT_EQ(result.changed, 1);
    EXPECT_EQ(result.removed, 1);
}

TEST_P(Engine, OneKeyAfterAnotherIsReadByItsOwnKeyUnderTheStatementsConditions) {
    const qint64 ali = db->addCustomer("Ali"), veli = db->addCustomer("Veli");
    db->exec(QString("INSERT INTO t_servis (id_musteri, f_km) VALUES (%1, '1'), (%1, '2'), "
                     "(%2, '5')")
                 .arg(ali)
                 .arg(veli));
    const qint64 one = idOf(*db, "t_servis", "f_km = '1'");
    const qint64 two = idOf(*db, "t_servis", "f_km = '2'");
    const qint64 veliVisit = idOf(*db, "t_servis", "f_km = '5'");
    auto visits = open(QString("select * from t_servis where id_musteri=%1").arg(ali));

    // Each read below is of one key: the same statement with another key each time.
    for (const auto& [key, km] : {std::pair{one, "7"}, std::pair{two, "8"}, std::pair{one, "9"}}) {
        db->execByClient(
            QString("UPDATE t_servis SET f_km = '%1' WHERE id = %2;").arg(km).arg(key));
        EXPECT_EQ(visits->refreshRows({key}).changed, 1) << km;
    }
    EXPECT_EQ(columnValues(*visits, "f_km").join('|'), "9|8");
    db->execByClient(QString("UPDATE t_servis SET f_km = '6' WHERE id = %1;").arg(veliVisit));
    EXPECT_FALSE(visits->refreshRows({veliVisit}).any()) << "another customer's visit";
    db->execByClient(QString("DELETE FROM t_servis WHERE id = %1;").arg(two));
    EXPECT_EQ(visits->refreshRows({two}).removed, 1);
    EXPECT_EQ(columnValues(*visits, "f_km").join('|'), "9");
}

TEST_P(Engine, ManyKeysAreReadAgainInOneGo) {
    db->addCustomer("Ali");
    auto rs = open("select * from t_musteri");
    db->execByClient("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                     "2500) INSERT INTO t_musteri (f_adi) SELECT CAST(i AS VARCHAR(255)) FROM n;");
    std::vector<qint64> keys;
    for (qint64 id = 2; id <= 2501; ++id)
        keys.push_back(id);
    const Recordset::Refreshed result = rs->refreshRows(keys);
    EXPECT_EQ(result.added, 2500);
    EXPECT_EQ(rs->recordCount(), 2501);
    EXPECT_EQ(currentName(*rs), "Ali");
    auto fresh = open("select * from t_musteri");
    fresh->setSort("id");
    EXPECT_EQ(namesOf(*rs), namesOf(*fresh));
}

TEST_P(View, ClonesLoseRowsAtOnceAndGainThemAtTheirNextSort) {
    auto copy = rs->clone();
    copy->setSort("f_adi");
    ASSERT_EQ(copy->recordCount(), 17);
    const qint64 cem = customerId(*db, "Cem");
    const qint64 aaa = db->addCustomer("Aaa", "1");
    db->exec("DELETE FROM t_musteri WHERE f_adi = 'Cem'");
    rs->refreshRows({cem, aaa});
    EXPECT_EQ(copy->recordCount(), 16) << "the deleted row left the copy at once";
    copy->setSort("f_adi");
    EXPECT_EQ(copy->recordCount(), 17);
    copy->moveFirst();
    EXPECT_TRUE(copy->find("(f_adi='Aaa')"));
}

TEST_P(View, NothingIsReadAgainWhileAChangeIsPending) {
    rs->setValue(col(*rs, "f_adi"), QString("Yazılan"));
    const qint64 cem = customerId(*db, "Cem");
    db->exec("UPDATE t_musteri SET f_adi = 'Cemal' WHERE f_adi = 'Cem'");
    const QString pending = "The rows cannot be read again while a change is pending";
    EXPECT_EQ(messageOf([&] { rs->refreshRows({cem}); }), pending);
    EXPECT_EQ(messageOf([&] { rs->requery(); }), pending);
    EXPECT_TRUE(rs->editPending());
    EXPECT_EQ(currentName(*rs), QString::fromUtf8("Yazılan"));
    rs->cancelUpdate();
    EXPECT_TRUE(namesOf(*rs).contains("Cem")) << "the view is as it was";
}

TEST_P(View, RequeryReadsEverythingAgainAndKeepsTheCurrentRowByKey) {
    rs->setSort("f_adi");
    rs->moveFirst();
    ASSERT_TRUE(rs->find("(f_adi='Sarp')"));
    auto copy = rs->clone();
    db->addCustomer("Aaa");
    db->exec("UPDATE t_musteri SET f_adi = 'Sarper' WHERE f_adi = 'Sarp'");
    EXPECT_FALSE(rs->requery().currentLeft);
    EXPECT_EQ(currentName(*rs), "Sarper");
    EXPECT_EQ(rs->recordCount(), 18);
    EXPECT_EQ(rs->sort(), "f_adi");
    auto fresh = open("select * from t_musteri");
    fresh->setSort("f_adi");
    EXPECT_EQ(namesOf(*rs), namesOf(*fresh));
    EXPECT_EQ(copy->recordCount(), 17) << "a copy made before keeps the rows it had";

    const int position = rs->absolutePosition();
    const QString after = namesOf(*rs).at(position); // the name after Sarper
    db->exec("DELETE FROM t_musteri WHERE f_adi = 'Sarper'");
    EXPECT_TRUE(rs->requery().currentLeft);
    EXPECT_EQ(rs->absolutePosition(), position);
    EXPECT_EQ(currentName(*rs), after) << "the row at its place, as after a delete";
}

} // namespace enginesuite
