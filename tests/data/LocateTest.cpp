// Locate: the first match in ascending key order, criteria texts, and silent failures.
#include "DataTestSupport.h"

#include <gtest/gtest.h>

using namespace data;
using datatest::EventLog;
using datatest::RecordingLink;

namespace {

class LocateTest : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
        db.addCustomer("Veli", "06");
        db.addCustomer("Alper", "34");
        db.addCustomer("Alican", "35");
        db.addCustomer("O'Neil", "01");
        query = datatest::customerQuery(connection);
        log.attach(*query);
        source.setDataSet(query.get());
        link.setDataSource(&source);
        query->open();
        log.take();
    }
    QString current() { return query->fieldByName("f_adi").asString(); }
    bool find(const QString& fields, const QStringList& values) {
        return query->locate(fields, values, TLocateOption::loPartialKey);
    }

    datatest::TestDatabase db;
    TConnection connection;
    EventLog log;
    std::unique_ptr<TQuery> query;
    TDataSource source;
    RecordingLink link{log};
};

TEST_F(LocateTest, APrefixFindsTheAlphabeticallyFirstMatch) {
    EXPECT_TRUE(find("f_adi", {"Al"}));
    EXPECT_EQ(current(), "Alican");
    EXPECT_EQ(log.take(),
              QStringList({"BeforeScroll", "link check", "link changed", "AfterScroll"}));
    EXPECT_TRUE(find("F_ADI", {"o'n"})); // a quote goes inside "#"; letter case is the engine's
    EXPECT_EQ(current(), "O'Neil");
    // several fields: a filter, the partial option on the last field only
    EXPECT_FALSE(find("f_adi;f_arac_plaka", {"Al", "34"}));
    EXPECT_TRUE(find("f_arac_plaka;f_adi", {"35", "Al"}));
    EXPECT_EQ(current(), "Alican");
    EXPECT_TRUE(query->locate("f_adi", {"Veli"}, {}));
    EXPECT_EQ(current(), "Veli");
}

TEST_F(LocateTest, NothingFoundOrAnImpossibleSearchReturnsFalseSilently) {
    query->next();
    log.take();
    for (const auto& [fields, values] : std::vector<std::pair<QString, QStringList>>{
             {"f_adi", {"Zz"}},
             {"f_yok", {"Al"}},
             {"f_adi;f_tel", {"Al"}},
             {"id", {"abc"}},
         }) {
        EXPECT_FALSE(find(fields, values)) << fields.toStdString();
        EXPECT_EQ(current(), "Alper");
        EXPECT_EQ(log.take(), QStringList({"BeforeScroll", "link check"}));
    }
}

// A wildcard read as a pattern would find "1-0 Oto" or "100 Oto" (both sort before the others).
TEST_F(LocateTest, TypedWildcardsAndSetsAreMatchedLiterally) {
    for (const char* name : {"100 Oto", "1-0 Oto", "1_0 Ltd"})
        db.addCustomer(name);
    query->close();
    query->open();
    ASSERT_TRUE(query->locate("f_adi", {"Veli"}, {}));
    log.take();
    for (const char* typed : {"1*", "10[0]", "1?0", "1%", "[1]", "1[-]"}) {
        EXPECT_FALSE(find("f_adi", {typed})) << typed;
        EXPECT_EQ(current(), "Veli") << typed;
        EXPECT_EQ(log.take(), QStringList({"BeforeScroll", "link check"})) << typed;
    }
    EXPECT_TRUE(find("f_adi", {"1_0"}));
    EXPECT_EQ(current(), "1_0 Ltd");
    EXPECT_TRUE(query->locate("f_adi", {"1-0 Oto"}, {}));
    EXPECT_FALSE(query->locate("f_adi", {"1_0 Oto"}, {})) << "an equal name is literal too";
    EXPECT_EQ(current(), "1-0 Oto");
}

TEST_F(LocateTest, TheFoundRecordStandsInTheMiddleOfTheWindow) {
    for (int i = 0; i < 10; ++i)
        db.addCustomer(QStringLiteral("Z%1").arg(i));
    query->close();
    link.setBufferCount(5);
    query->open();
    EXPECT_TRUE(find("f_adi", {"Z5"}));
    EXPECT_EQ(query->activeRecord(), 2);
    EXPECT_EQ(datatest::windowNames(*query), QStringList({"Z3", "Z4", "Z5", "Z6", "Z7"}));
    EXPECT_EQ(link.activeRecord(), 2);
}

TEST_F(LocateTest, ANewlyPostedRecordCanBeFound) {
    EXPECT_TRUE(find("f_adi", {"Al"}));
    query->insert();
    query->fieldByName("f_adi").setText("Aaron");
    query->post();
    query->first();
    EXPECT_TRUE(find("f_adi", {"A"}));
    EXPECT_EQ(current(), "Aaron");
    EXPECT_EQ(query->recordCount(), 5);
}

} // namespace
