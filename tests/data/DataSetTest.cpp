// Record sets: the order of events and link notifications, states, counts and error texts.
#include "DataTestSupport.h"

#include "core/Errors.h"

#include <gtest/gtest.h>

using namespace data;
using datatest::EventLog;
using datatest::RecordingLink;

namespace {

class RecordSetTest : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
    }
    // Opens qryMain over the given customers with the log and a one-row link attached.
    TQuery& openCustomers(const QStringList& names) {
        for (const QString& n : names)
            db.addCustomer(n);
        query = datatest::customerQuery(connection);
        log.attach(*query);
        source.setDataSet(query.get());
        link.setDataSource(&source);
        query->open();
        return *query;
    }
    QString current() { return query->fieldByName("f_adi").asString(); }
    // Runs op and returns the text of the EDatabaseError it raised.
    template <typename Op> static QString databaseError(Op op) {
        try {
            op();
        } catch (const EDatabaseError& e) {
            return e.message();
        }
        return "no error";
    }

    datatest::TestDatabase db;
    TConnection connection;
    EventLog log;
    std::unique_ptr<TQuery> query;
    TDataSource source;
    RecordingLink link{log};
};

TEST_F(RecordSetTest, OpeningANonEmptySetScrollsOnceInBrowseStateOnTheFirstRecord) {
    QStringList seen;
    db.addCustomer("Ali");
    db.addCustomer("Veli");
    query = datatest::customerQuery(connection);
    log.attach(*query);
    query->AfterScroll = [&](TDataSet& ds) {
        seen << (ds.state() == TDataSetState::dsBrowse ? "browse " : "other ") + current();
    };
    source.setDataSet(query.get());
    link.setDataSource(&source);
    query->open();
    EXPECT_EQ(log.take(), QStringList({"BeforeOpen", "link active", "AfterOpen"}));
    EXPECT_EQ(seen, QStringList{"browse Ali"});
    EXPECT_TRUE(query->bof());
    EXPECT_FALSE(query->eof());
    query->open(); // already active: nothing
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(RecordSetTest, OpeningAnEmptySetFiresNoScrollButFirstDoes) {
    openCustomers({});
    EXPECT_EQ(log.take(), QStringList({"BeforeOpen", "link active", "AfterOpen"}));
    EXPECT_EQ(query->recordCount(), 0);
    EXPECT_TRUE(query->isEmpty());
    query->first();
    EXPECT_EQ(log.take(),
              QStringList({"link check", "BeforeScroll", "link changed", "AfterScroll"}));
    EXPECT_TRUE(query->bof() && query->eof());
}

TEST_F(RecordSetTest, NextAtTheEndScrollsOnceThenOnlyFiresBeforeScroll) {
    openCustomers({"Ali", "Veli"});
    log.take();
    query->next();
    EXPECT_EQ(log.take(),
              QStringList({"link check", "BeforeScroll", "link scrolled 1", "AfterScroll"}));
    EXPECT_EQ(current(), "Veli");
    EXPECT_FALSE(query->eof());
    query->next();
    EXPECT_EQ(log.take(),
              QStringList({"link check", "BeforeScroll", "link scrolled 0", "AfterScroll"}));
    EXPECT_EQ(current(), "Veli");
    EXPECT_TRUE(query->eof());
    query->next();
    EXPECT_EQ(log.take(), QStringList({"link check", "BeforeScroll"}));
    EXPECT_EQ(query->moveBy(3), 0);
}

TEST_F(RecordSetTest, InsertScrollsInInsertStateAndCancelScrollsBackToTheOldRecord) {
    openCustomers({"Ali", "Veli"});
    query->next();
    QStringList states;
    query->AfterScroll = [&](TDataSet& ds) {
        states << QString::number(int(ds.state())) + " " + current();
    };
    log.take();
    query->insert();
    EXPECT_EQ(log.take(), QStringList({"link check", "BeforeInsert", "BeforeScroll", "link editing",
                                       "OnNewRecord", "link changed", "AfterInsert"}));
    EXPECT_TRUE(query->fieldByName("f_adi").isNull());
    EXPECT_EQ(query->recNo(), -1);
    query->cancel();
    EXPECT_EQ(log.take(), QStringList({"link check", "BeforeCancel", "BeforeScroll",
                                       "link browsing", "link changed", "AfterCancel"}));
    EXPECT_EQ(states, QStringList({"3 ", "1 Veli"})); // insert, then browse on Veli again
    EXPECT_EQ(query->recordCount(), 2);
}

TEST_F(RecordSetTest, PostingAnInsertFiresAfterPostWithoutScrollAndReadsTheGeneratedId) {
    openCustomers({"Ali"});
    query->insert();
    log.take();
    query->fieldByName("f_adi").setText("Yeni");
    query->post();
    EXPECT_EQ(log.take(),
              QStringList({"link field f_adi", "link update", "link check", "BeforePost",
                           "link browsing", "link changed", "AfterPost"}));
    EXPECT_EQ(query->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(current(), "Yeni");
    EXPECT_EQ(query->fieldByName("id").asInteger(), 2);
    EXPECT_EQ(query->recordCount(), 2);
}

TEST_F(RecordSetTest, EditOnAnEmptySetStartsAnInsert) {
    openCustomers({});
    log.take();
    query->edit();
    EXPECT_EQ(log.take(),
              QStringList({"link check", "BeforeInsert", "BeforeScroll", "link editing",
                           "OnNewRecord", "link changed", "AfterInsert", "AfterScroll"}));
    EXPECT_EQ(query->state(), TDataSetState::dsInsert);
}

TEST_F(RecordSetTest, EditWhileEditingChangesNothing) {
    openCustomers({"Ali"});
    log.take();
    query->edit();
    EXPECT_EQ(log.take(), QStringList({"link check", "BeforeEdit", "link editing", "link record",
                                       "AfterEdit"}));
    query->fieldByName("f_adi").setText("Ayşe");
    log.take();
    query->edit();
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(current(), "Ayşe");
    EXPECT_TRUE(query->modified());
}

TEST_F(RecordSetTest, InsertWhileEditingPostsATypedChangeFirst) {
    openCustomers({"Ali"});
    query->edit();
    query->fieldByName("f_adi").setText("Ayşe");
    log.take();
    query->insert();
    EXPECT_EQ(
        log.take(),
        QStringList({"link check", "link update", "link update", "link check", "BeforePost",
                     "link browsing", "link changed", "AfterPost", "BeforeInsert", "BeforeScroll",
                     "link editing", "OnNewRecord", "link changed", "AfterInsert", "AfterScroll"}));
    query->cancel();
    EXPECT_EQ(current(), "Ayşe");
}

TEST_F(RecordSetTest, InsertWhileInsertingWithoutTypingDropsTheFirstBlank) {
    openCustomers({"Ali"});
    query->insert();
    log.take();
    query->insert();
    EXPECT_EQ(log.take(),
              QStringList({"link check", "link update", "link check", "BeforeCancel",
                           "BeforeScroll", "link browsing", "link changed", "AfterCancel",
                           "AfterScroll", "BeforeInsert", "BeforeScroll", "link editing",
                           "OnNewRecord", "link changed", "AfterInsert", "AfterScroll"}));
    query->post();
    EXPECT_EQ(query->recordCount(), 2); // one blank customer stored, not two
}

TEST_F(RecordSetTest, DeletingTheOnlyRecordScrollsOnAnEmptySet) {
    openCustomers({"Ali"});
    log.take();
    query->remove();
    EXPECT_EQ(log.take(), QStringList({"link check", "BeforeDelete", "BeforeScroll", "link changed",
                                       "AfterDelete", "AfterScroll"}));
    EXPECT_TRUE(query->isEmpty());
    EXPECT_EQ(query->recordCount(), 0);
    EXPECT_EQ(query->fieldByName("id").asString(), "");
    EXPECT_EQ(databaseError([&] { query->remove(); }),
              "qryMain: Cannot perform this operation on an empty dataset");
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(RecordSetTest, DeleteMovesToTheNextRecordOrAtTheEndToThePriorOne) {
    openCustomers({"A", "B", "C"});
    query->next();
    query->remove();
    EXPECT_EQ(current(), "C");
    query->remove();
    EXPECT_EQ(current(), "A");
    EXPECT_EQ(query->recordCount(), 1);
}

TEST_F(RecordSetTest, DeleteInInsertStateCancelsTheInsert) {
    openCustomers({"Ali"});
    query->insert();
    log.take();
    query->remove();
    EXPECT_EQ(log.take(),
              QStringList({"link check", "BeforeCancel", "BeforeScroll", "link browsing",
                           "link changed", "AfterCancel", "AfterScroll"}));
    EXPECT_EQ(query->recordCount(), 1);
    EXPECT_EQ(current(), "Ali");
}

TEST_F(RecordSetTest, ChangingTheSqlTextClosesWithoutPostOrCancel) {
    openCustomers({"Ali"});
    query->edit();
    query->fieldByName("f_adi").setText("Ayşe");
    log.take();
    query->clearSql();
    query->addSql("select * from t_musteri");
    EXPECT_EQ(log.take(),
              QStringList({"BeforeClose", "link inactive", "link browsing", "AfterClose"}));
    EXPECT_EQ(query->commandText(), "select * from t_musteri\r\n");
    query->open();
    EXPECT_EQ(current(), "Ali");
}

TEST_F(RecordSetTest, ClosedSetOperationsFailBehindTheSetsName) {
    openCustomers({"Ali"});
    query->close();
    log.take();
    const QString closed = "qryMain: Cannot perform this operation on a closed dataset";
    EXPECT_EQ(databaseError([&] { query->first(); }), closed);
    EXPECT_EQ(databaseError([&] { query->next(); }), closed);
    EXPECT_EQ(databaseError([&] { query->insert(); }), closed);
    EXPECT_EQ(databaseError([&] { query->edit(); }), closed);
    EXPECT_EQ(databaseError([&] { query->remove(); }), closed);
    EXPECT_EQ(databaseError([&] { query->recordCount(); }), closed);
    EXPECT_EQ(databaseError([&] { query->recNo(); }), closed);
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(databaseError([&] { query->locate("f_adi", {"A"}, {}); }), closed);
    EXPECT_EQ(log.take(), QStringList{"BeforeScroll"}); // locate scrolls before it checks
    EXPECT_EQ(databaseError([&] { query->post(); }), "qryMain: Dataset not in edit or insert mode");
    EXPECT_EQ(databaseError([&] { query->fieldByName("nope"); }),
              "qryMain: Field 'nope' not found");
    EXPECT_TRUE(query->fieldByName("f_adi").isNull());
}

TEST_F(RecordSetTest, PostInBrowseStateFailsAndFiresNothing) {
    openCustomers({"Ali"});
    log.take();
    EXPECT_EQ(databaseError([&] { query->post(); }), "qryMain: Dataset not in edit or insert mode");
    EXPECT_EQ(databaseError([&] { query->fieldByName("f_adi").setText("x"); }),
              "qryMain: Dataset not in edit or insert mode");
    EXPECT_TRUE(log.take().isEmpty());
}

TEST_F(RecordSetTest, AFailedPostKeepsTheStateAndTypedValuesWithTheProvidersText) {
    openCustomers({"Ali"});
    query->edit();
    query->fieldByName("f_adi").setText("Ayşe");
    db.exec("UPDATE t_musteri SET f_adi = 'Other'");
    log.take();
    EXPECT_EQ(databaseError([&] { query->post(); }),
              "Row cannot be located for updating. Some values may have been changed since it "
              "was last read");
    EXPECT_EQ(log.take(), QStringList({"link update", "link check", "BeforePost"}));
    EXPECT_EQ(query->state(), TDataSetState::dsEdit);
    EXPECT_EQ(current(), "Ayşe");
    // Cancelling reads the row again: the other program's change shows, and a new edit of it
    // saves normally.
    query->cancel();
    EXPECT_EQ(query->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(current(), "Other");
    query->edit();
    query->fieldByName("f_adi").setText("Ayşe");
    query->post();
    EXPECT_EQ(db.scalar("SELECT f_adi FROM t_musteri"), "Ayşe");
}

TEST_F(RecordSetTest, PostRefusesARequiredFieldLeftEmptyAndWritesNothing) {
    openCustomers({"Ali"});
    query->fieldByName("f_adi").setRequired(true);
    query->fieldByName("id").setRequired(true); // read-only: the database fills it
    query->insert();
    query->fieldByName("f_tel").setText("0212 555 00 00");
    log.take();
    EXPECT_EQ(databaseError([&] { query->post(); }), "Field 'Müşteri Adı' must have a value");
    EXPECT_EQ(log.take(), QStringList({"link update", "link check", "BeforePost"}));
    EXPECT_EQ(query->state(), TDataSetState::dsInsert);
    EXPECT_EQ(query->fieldByName("f_tel").asString(), "0212 555 00 00");
    EXPECT_EQ(db.count("t_musteri"), 1);
    query->fieldByName("f_adi").setText("Veli");
    query->post();
    EXPECT_EQ(db.scalar("SELECT f_tel FROM t_musteri WHERE f_adi = 'Veli'"), "0212 555 00 00");
    // An edit that empties the field is refused the same way; the stored row keeps its name.
    query->edit();
    query->fieldByName("f_adi").clear();
    EXPECT_EQ(databaseError([&] { query->post(); }), "Field 'Müşteri Adı' must have a value");
    EXPECT_EQ(query->state(), TDataSetState::dsEdit);
    EXPECT_EQ(db.scalar("SELECT count(*) FROM t_musteri WHERE f_adi = 'Veli'"), "1");
}

// Once the row is stored, a failure after the write leaves browse state, the row once in the
// file, and an error that says the record was saved.
TEST_F(RecordSetTest, AnAfterPostHandlerThatFailsDoesNotUndoOrRepeatTheInsert) {
    openCustomers({"Ali"});
    query->AfterPost = [](TDataSet&) { throw EDatabaseError("boom"); };
    query->insert();
    query->fieldByName("f_adi").setText("Veli");
    try {
        query->post();
        ADD_FAILURE() << "the handler's error is reported";
    } catch (const EPostedError& e) {
        EXPECT_EQ(e.message(), "Kayıt kaydedildi, ancak ardından bir hata oluştu: boom");
        EXPECT_EQ(e.cause(), "boom");
    }
    EXPECT_EQ(query->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(current(), "Veli");
    EXPECT_EQ(databaseError([&] { query->post(); }), "qryMain: Dataset not in edit or insert mode");
    EXPECT_EQ(db.count("t_musteri"), 2);
    EXPECT_EQ(query->recordCount(), 2);
}

TEST_F(RecordSetTest, AnAbortInAfterPostStaysSilentButTheSaveIsDone) {
    openCustomers({"Ali"});
    query->AfterPost = [](TDataSet&) { throw EAbort(); };
    query->edit();
    query->fieldByName("f_tel").setText("555");
    EXPECT_THROW(query->post(), EAbort);
    EXPECT_EQ(query->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(db.scalar("select f_tel from t_musteri"), "555");
}

TEST_F(RecordSetTest, AVisitWhoseCalculationFailsAfterTheWriteIsShownWithoutItsTotals) {
    const qint64 a = db.addCustomer("Ali");
    db.addVisit(a, "10.0000", "", "");
    auto visits = datatest::serviceQuery(connection, a);
    bool failing = false;
    visits->OnCalcFields = [&](TDataSet& ds) {
        if (failing)
            throw EDatabaseError("BCD overflow");
        datatest::serviceCalcFields(ds);
    };
    visits->open();
    visits->insert();
    visits->fieldByName("id_musteri").setAsInteger(a);
    visits->fieldByName("f_km").setText("1500");
    failing = true; // reading the window back fails
    try {
        visits->post();
        ADD_FAILURE() << "the failure is reported";
    } catch (const EPostedError& e) {
        EXPECT_EQ(e.cause(), "BCD overflow");
    }
    failing = false;
    EXPECT_EQ(visits->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(db.count("t_servis"), 2);
    EXPECT_EQ(visits->fieldByName("f_km").asString(), "1500") << "the window holds the stored row";
    EXPECT_EQ(visits->fieldByName("id").asString(),
              db.scalar("select id from t_servis where f_km = '1500'"));
    EXPECT_TRUE(visits->fieldByName("c_toplam").isNull());
    visits->edit();
    visits->fieldByName("f_km").setText("1600");
    visits->post();
    EXPECT_EQ(db.scalar("select count(*) from t_servis where f_km = '1600'"), "1");
}

TEST_F(RecordSetTest, AFailedDeleteLeavesStateAndWindowAsTheyWere) {
    openCustomers({"Ali", "Veli"});
    db.exec("UPDATE t_musteri SET f_tel = '555' WHERE f_adi = 'Ali'");
    log.take();
    EXPECT_EQ(databaseError([&] { query->remove(); }),
              "Row cannot be located for updating. Some values may have been changed since it "
              "was last read");
    EXPECT_EQ(log.take(), QStringList({"link check", "BeforeDelete", "BeforeScroll"}));
    EXPECT_EQ(current(), "Ali");
    EXPECT_EQ(query->recordCount(), 2);
}

TEST_F(RecordSetTest, FailedOpensLeaveTheSetInactiveWithoutAfterOpen) {
    const struct {
        QString sql;
        bool extraField; // an integer field over the text column f_tel
        QString error;
    } cases[] = {
        {"select * from nosuch", false, "provider"},
        {"delete from t_musteri where 0", false,
         "qryMain: CommandText does not return a result set"},
        {"select f_adi from t_musteri", false, "qryMain: Field 'Araç Plakası' not found"},
        {"select * from t_musteri", true,
         "qryMain: Type mismatch for field 'Tel', expecting: Integer actual: WideString"},
    };
    for (const auto& c : cases) {
        auto q = datatest::customerQuery(connection);
        if (c.extraField)
            q->addField("f_tel", TFieldType::ftInteger).setDisplayLabel("Tel");
        q->setSql({c.sql});
        EventLog events;
        events.attach(*q);
        QString error;
        try {
            q->open();
        } catch (const EDatabaseError& e) {
            error = e.message();
        } catch (const EOleException&) {
            error = "provider";
        }
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(q->active());
        EXPECT_EQ(events.take(), QStringList{"BeforeOpen"});
    }
}

TEST_F(RecordSetTest, AReadOnlyCursorRefusesInsertAndEdit) {
    openCustomers({"Ali"});
    query->close();
    query->setLockType(cursor::LockType::ReadOnly);
    query->open();
    EXPECT_EQ(databaseError([&] { query->insert(); }),
              "qryMain: Cannot modify a read-only dataset");
    EXPECT_EQ(databaseError([&] { query->edit(); }), "qryMain: Cannot modify a read-only dataset");
    EXPECT_FALSE(query->fieldByName("f_adi").canModify());
    EXPECT_EQ(query->state(), TDataSetState::dsBrowse);
}

TEST_F(RecordSetTest, CheckBrowseModePostsAModifiedRecordAndCancelsAnUntouchedOne) {
    openCustomers({"Ali", "Veli"});
    query->edit();
    query->fieldByName("f_adi").setText("Ayşe");
    query->next();
    EXPECT_EQ(current(), "Veli");
    query->prior();
    EXPECT_EQ(current(), "Ayşe");
    query->insert();
    query->next();
    EXPECT_EQ(query->recordCount(), 2);
}

TEST_F(RecordSetTest, RecordNumbersFollowTheCursorAndSettingOneScrolls) {
    openCustomers({"A", "B", "C", "D"});
    EXPECT_TRUE(query->isSequenced());
    EXPECT_EQ(query->recNo(), 1);
    query->last();
    EXPECT_EQ(query->recNo(), 4);
    EXPECT_TRUE(query->eof());
    EXPECT_FALSE(query->bof());
    log.take();
    query->setRecNo(2);
    EXPECT_EQ(log.take(), QStringList({"BeforeScroll", "link changed", "AfterScroll"}));
    EXPECT_EQ(current(), "B");
    query->setRecNo(2);
    EXPECT_TRUE(log.take().isEmpty());
    EXPECT_EQ(query->moveBy(-5), -1);
    EXPECT_TRUE(query->bof());
}

TEST_F(RecordSetTest, ATotalsWalkEndsOnTheLastRecordWithEndOfSet) {
    openCustomers({"A", "B", "C"});
    query->next();
    query->first();
    const int n = query->recordCount();
    QStringList seen;
    for (int i = 0; i < n; ++i) {
        seen << current();
        query->next();
    }
    EXPECT_EQ(seen, QStringList({"A", "B", "C"}));
    EXPECT_EQ(current(), "C");
    EXPECT_TRUE(query->eof());
}

TEST_F(RecordSetTest, DisabledControlsHoldNotificationsUntilTheLastResume) {
    openCustomers({"A", "B", "C"});
    log.take();
    query->disableControls();
    query->disableControls();
    query->next();
    query->edit();
    query->fieldByName("f_adi").setDisplayLabel("Ad");
    query->enableControls();
    EXPECT_EQ(log.take(), QStringList({"BeforeScroll", "AfterScroll", "BeforeEdit", "AfterEdit"}));
    query->enableControls();
    EXPECT_EQ(log.take(), QStringList({"link editing", "link layout"}));
    query->enableControls(); // at zero: nothing
    query->disableControls();
    query->close();
    query->enableControls();
    EXPECT_EQ(log.take(),
              QStringList({"BeforeClose", "AfterClose", "link inactive", "link browsing"}));
}

// A service set: calculated fields on every fetch, at edit start and after data-field writes.
class CalculatedFieldsTest : public RecordSetTest {
protected:
    TQuery& openVisits() {
        customer = db.addCustomer("Ali");
        db.addVisit(customer, "100.0000", "50.5000", "120.0000");
        db.addVisit(customer, "", "", "");
        query = datatest::serviceQuery(connection, customer);
        log.attach(*query);
        query->OnCalcFields = [this](TDataSet& ds) {
            log.add("OnCalcFields " + QString::number(int(ds.state())) + " " +
                    ds.fieldByName("c_toplam").asString());
            datatest::serviceCalcFields(ds);
        };
        source.setDataSet(query.get());
        link.setDataSource(&source);
        query->open();
        return *query;
    }
    QString money(const char* name) { return query->fieldByName(name).displayText(); }
    qint64 customer = 0;
};

TEST_F(CalculatedFieldsTest, EachFetchComputesInCalculatingStateFromNulledFields) {
    link.setBufferCount(2);
    openVisits();
    // state 4 is calculating; c_toplam reads null (empty text) as the handler starts
    EXPECT_EQ(log.take(), QStringList({"BeforeOpen", "OnCalcFields 4 ", "OnCalcFields 4 ",
                                       "link active", "AfterOpen", "AfterScroll"}));
    EXPECT_EQ(money("c_toplam"), "150,50 TL");
    EXPECT_EQ(money("c_kalan"), "30,50 TL");
    EXPECT_EQ(query->fieldByName("c_kalan").asMoney(), Money::fromRaw(305000));
    query->next();
    EXPECT_EQ(money("c_toplam"), "0,00 TL");
    EXPECT_EQ(query->state(), TDataSetState::dsBrowse);
}

TEST_F(CalculatedFieldsTest, EditRecomputesAndWritesRecomputeWithFieldChanges) {
    openVisits();
    log.take();
    query->edit();
    EXPECT_EQ(log.take(), QStringList({"link check", "BeforeEdit", "OnCalcFields 4 ",
                                       "link editing", "link record", "AfterEdit"}));
    query->fieldByName("f_tutar").setText("1,5");
    EXPECT_EQ(log.take(), QStringList({"link field f_tutar", "OnCalcFields 2 ",
                                       "link field c_toplam", "link field c_kalan"}));
    EXPECT_EQ(money("c_toplam"), "101,50 TL");
    EXPECT_EQ(money("c_kalan"), "-18,50 TL");
    // a calculated field typed into: stored, announced, not marking the set modified again
    query->post();
    query->edit();
    query->fieldByName("c_toplam").setText("7");
    EXPECT_FALSE(query->modified());
    EXPECT_EQ(money("c_toplam"), "7,00 TL");
}

TEST_F(CalculatedFieldsTest, ANewVisitIsNullUntilADataFieldIsWritten) {
    openVisits();
    query->insert();
    EXPECT_TRUE(query->fieldByName("c_toplam").isNull());
    EXPECT_EQ(money("c_kalan"), "");
    query->fieldByName("id_musteri").setAsInteger(customer);
    EXPECT_EQ(query->fieldByName("c_toplam").asMoney(), Money{});
    EXPECT_EQ(query->fieldByName("c_kalan").asMoney(), Money{});
    EXPECT_FALSE(query->fieldByName("c_toplam").isNull());
    query->fieldByName("f_iscilik").setAsMoney(Money::fromRaw(12345678));
    query->post();
    EXPECT_EQ(query->recordCount(), 3);
    EXPECT_EQ(query->fieldByName("c_toplam").asMoney(), Money::fromRaw(12345678));
    query->remove();
    EXPECT_EQ(query->recordCount(), 2);
}

} // namespace
