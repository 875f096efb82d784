// What the records of a record set's window show: each stored value is decoded only when read and
// only once, calculated fields are there on every record read, and every record shows its row as
// the file held it when it was read, across saves of this set, of another workstation, and a
// reading of everything again. Rows are read back from the file by a second connection.
#include "DataTestSupport.h"

#include <gtest/gtest.h>

using namespace data;

namespace {

class RecordValues : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
        connection.open();
        customer = db.addCustomer("Ali");
        for (int i = 0; i < 12; ++i)
            ids.push_back(
                db.addVisit(customer, QString::number(100 + i) + ".2500",
                            QString::number(i) + ".5000", QString::number(50 * i) + ".0000",
                            QStringLiteral("2009-01-%1 10:00:00").arg(i + 1, 2, 10, QChar('0'))));
        for (qint64 id : ids)
            db.exec(QStringLiteral(
                        "update t_servis set f_km = '%1', f_ariza = 'Arıza %1' where id = %1")
                        .arg(id));
        visits = datatest::serviceQuery(connection, customer);
        source.setDataSet(visits.get());
        link.setBufferCount(5);
        link.setDataSource(&source);
    }
    TField& f(const char* name) { return visits->fieldByName(QString::fromLatin1(name)); }
    // One column of a visit as the file holds it now, read by a second connection.
    QString stored(qint64 id, const char* column) {
        return db.scalar(QStringLiteral("select %1 from t_servis where id = %2")
                             .arg(QString::fromLatin1(column))
                             .arg(id));
    }
    // The current record against its row in the file: stored fields and both calculated ones.
    void expectCurrentIsItsRow() {
        const qint64 id = f("id").asInteger();
        SCOPED_TRACE(id);
        EXPECT_EQ(f("f_km").asString(), stored(id, "f_km"));
        EXPECT_EQ(f("f_ariza").asString(), stored(id, "f_ariza"));
        EXPECT_EQ(f("f_tarih").asDateTime().toString("yyyy-MM-dd HH:mm:ss"), stored(id, "f_tarih"));
        const Money labour = *Money::fromStorageText(stored(id, "f_iscilik"));
        const Money material = *Money::fromStorageText(stored(id, "f_tutar"));
        const Money paid = *Money::fromStorageText(stored(id, "f_odeme"));
        EXPECT_EQ(f("f_iscilik").asMoney(), labour);
        EXPECT_EQ(f("c_toplam").asMoney(), labour + material);
        EXPECT_EQ(f("c_kalan").asMoney(), labour + material - paid);
    }
    // Every record of the window against its row in the file; the active record stays.
    void expectWindowIsItsRows() {
        const int saved = visits->activeRecord();
        for (int i = 0; i < visits->windowRecordCount(); ++i) {
            visits->setActiveRecord(i);
            expectCurrentIsItsRow();
        }
        visits->setActiveRecord(saved);
    }

    datatest::TestDatabase db;
    TConnection connection;
    qint64 customer = 0;
    std::vector<qint64> ids;
    std::unique_ptr<TQuery> visits;
    TDataSource source;
    datatest::EventLog log;
    datatest::RecordingLink link{log};
};

// Reading a record decodes only the amounts its calculated fields need; a field is decoded the
// first time it is read and never again for that record, whether read by a field, a computation
// of the calculated fields or a post.
TEST_F(RecordValues, AFieldIsDecodedWhenFirstReadAndOnlyOnce) {
    visits->open();
    EXPECT_EQ(visits->windowRecordCount(), 5);
    EXPECT_EQ(visits->decodedValueCount(), 5u * 3);
    for (int i = 0; i < 11; ++i)
        visits->next();
    EXPECT_EQ(visits->decodedValueCount(), 12u * 3); // each record read once, amounts only
    EXPECT_EQ(f("f_ariza").asString(), stored(ids.back(), "f_ariza"));
    EXPECT_EQ(visits->decodedValueCount(), 12u * 3 + 1);
    f("f_ariza").asString();
    f("f_iscilik").asMoney();
    EXPECT_EQ(visits->decodedValueCount(), 12u * 3 + 1);
    visits->setActiveRecord(0);
    f("f_ariza").asString();
    EXPECT_EQ(visits->decodedValueCount(), 12u * 3 + 2);

    visits->edit(); // computes the calculated fields again from amounts already decoded
    EXPECT_EQ(visits->decodedValueCount(), 12u * 3 + 2);
    f("f_km").setAsString("777");
    visits->post(); // the window is read again: five records, amounts only
    EXPECT_EQ(visits->decodedValueCount(), 12u * 3 + 2 + 5 * 3);
    EXPECT_EQ(stored(ids[7], "f_km"), "777");
    expectWindowIsItsRows();
}

// The totals pass's walk: every record read has its calculated fields and shows its own row.
TEST_F(RecordValues, EveryRecordReadShowsItsRowWithItsCalculatedFields) {
    visits->open();
    expectWindowIsItsRows();
    for (visits->first(); !visits->eof(); visits->next())
        expectCurrentIsItsRow();
    for (visits->last(); !visits->bof(); visits->prior())
        expectCurrentIsItsRow();
}

// Records read before another workstation changed their rows show what they read, down to fields
// not read before the change, until the rows are read again; then they show the new values.
TEST_F(RecordValues, ChangesSavedElsewhereShowOnlyOnceReadAgain) {
    visits->open();
    const qint64 second = ids[1];
    db.exec(QStringLiteral("update t_servis set f_ariza = 'Başka', f_iscilik = '7.0000' "
                           "where id = %1")
                .arg(second));
    visits->setActiveRecord(1);
    EXPECT_EQ(f("f_ariza").asString(), "Arıza " + QString::number(second));
    EXPECT_EQ(f("f_iscilik").asMoney(), *Money::fromStorageText("101.2500"));
    EXPECT_EQ(f("c_toplam").asMoney(), *Money::fromStorageText("102.7500"));
    visits->setActiveRecord(0);

    EXPECT_TRUE(visits->refreshRecords({second}));
    visits->setActiveRecord(1);
    EXPECT_EQ(f("f_ariza").asString(), "Başka");
    EXPECT_EQ(f("c_toplam").asMoney(), *Money::fromStorageText("8.5000"));
    expectWindowIsItsRows();

    // Read everything again after a row was deleted and another changed elsewhere.
    db.exec(QStringLiteral("delete from t_servis where id = %1").arg(ids[0]));
    db.exec(QStringLiteral("update t_servis set f_km = '42', f_odeme = '1.0000' where id = %1")
                .arg(ids[2]));
    EXPECT_TRUE(visits->refreshAll());
    expectWindowIsItsRows();
    for (visits->first(); !visits->eof(); visits->next())
        expectCurrentIsItsRow();
}

// A record edited but not saved shows what was typed; after the save every record shows its row,
// the saved one included; a record left by cancel shows its row again.
TEST_F(RecordValues, SavedAndCancelledEditsShowTheRowsAsStored) {
    visits->open();
    visits->next();
    visits->edit();
    f("f_ariza").setAsString("Yazıldı");
    f("f_tutar").setAsString("3");
    EXPECT_EQ(f("f_ariza").asString(), "Yazıldı");
    EXPECT_EQ(f("c_toplam").asMoney(), *Money::fromStorageText("104.2500"));
    visits->post();
    EXPECT_EQ(stored(ids[1], "f_ariza"), "Yazıldı");
    EXPECT_EQ(stored(ids[1], "f_tutar"), "3.0000");
    expectWindowIsItsRows();

    visits->next();
    visits->edit();
    f("f_km").setAsString("5");
    visits->cancel();
    expectWindowIsItsRows();
    EXPECT_EQ(f("f_km").asString(), stored(ids[2], "f_km"));
}

} // namespace
