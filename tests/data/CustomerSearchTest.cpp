// The customer search by plate and by phone number: the forms a person types, the order among
// several matches, and a search that leaves the customer set where it stands.
#include "data/CustomerSearch.h"
#include "DataTestSupport.h"

#include <gtest/gtest.h>

using namespace data;
using datatest::EventLog;

namespace {

struct KeyCase {
    const char* typed;
    const char* key; // expected, UTF-8; for plates compared with plateKey of this text
};

class PhoneKey : public ::testing::TestWithParam<KeyCase> {};

TEST_P(PhoneKey, KeepsTheNationalDigitsOnly) {
    EXPECT_EQ(phoneKey(QString::fromUtf8(GetParam().typed)), GetParam().key);
}

INSTANTIATE_TEST_SUITE_P(Forms, PhoneKey,
                         ::testing::Values(KeyCase{"0532 412 55 10", "5324125510"},
                                           KeyCase{"5324125510", "5324125510"},
                                           KeyCase{"532-412-55-10", "5324125510"},
                                           KeyCase{"(0532) 412 55 10", "5324125510"},
                                           KeyCase{"+90 532 412 55 10", "5324125510"},
                                           KeyCase{"0532 412", "532412"},
                                           KeyCase{"0090 216 345 12 34", "2163451234"},
                                           KeyCase{"905", "905"}, // too short for a country code
                                           KeyCase{"000", ""}, KeyCase{"", ""},
                                           KeyCase{"34 ABC 123", ""}, // letters: no number
                                           KeyCase{"Tel 0532", ""}));

TEST(PlateKey, IgnoresBlanksAndFoldsTurkishLettersAsTheNameSearchDoes) {
    const std::u16string plate = plateKey(QString::fromUtf8("34 ABC 123"));
    for (const char* typed : {"34abc123", "34ABC123", "34 AbC 123", " 34  abc 1 2 3 "})
        EXPECT_EQ(plateKey(QString::fromUtf8(typed)), plate) << typed;
    // I folds to ı and İ to i, as the name search folds them; i and ı stay different letters.
    EXPECT_EQ(plateKey(QString::fromUtf8("06 IĞD 5")), plateKey(QString::fromUtf8("06ığd5")));
    EXPECT_EQ(plateKey(QString::fromUtf8("35 İZM 9")), plateKey(QString::fromUtf8("35izm9")));
    EXPECT_NE(plateKey(QString::fromUtf8("35 İZM 9")), plateKey(QString::fromUtf8("35ızm9")));
    EXPECT_EQ(plateKey(QString::fromUtf8("   ")), std::u16string());
}

class CustomerSearch : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
        ahmet = add("Ahmet Yılmaz", "34 ABC 123", "0216 345 12 34", "0532 412 55 10");
        ayse = add("Ayşe Öztürk", "34 ABC 99", "0216 418 20 07", "0533 221 40 18");
        isil = add("Işıl Kılıç", "06 IĞD 5", "", "0530 744 21 09");
        add("Veli", "", "", "");
        query = datatest::customerQuery(connection);
        log.attach(*query);
        query->open();
        query->last();
        log.take();
    }
    qint64 add(const char* name, const char* plate, const char* phone, const char* cell) {
        const qint64 id = db.addCustomer(QString::fromUtf8(name), QString::fromUtf8(plate));
        db.exec(QString("update t_musteri set f_tel = '%1', f_gsm = '%2' where id = %3")
                    .arg(QString::fromUtf8(phone), QString::fromUtf8(cell))
                    .arg(id));
        return id;
    }
    std::optional<qint64> find(const char* text) {
        return findCustomerByPlateOrPhone(*query, QString::fromUtf8(text));
    }

    datatest::TestDatabase db;
    TConnection connection;
    EventLog log;
    std::unique_ptr<TQuery> query;
    qint64 ahmet = 0, ayse = 0, isil = 0;
};

TEST_F(CustomerSearch, FindsAPlateTypedInAnyFormAndThenANumber) {
    for (const char* typed : {"34abc123", "34 abc 1", "34ABC 123", "34 ABC 123"})
        EXPECT_EQ(find(typed), ahmet) << typed;
    for (const char* typed : {"5324125510", "0532 412", "532-412-55-10", "+90 532 412 55 10"})
        EXPECT_EQ(find(typed), ahmet) << typed;
    for (const char* typed : {"0216 418", "2164182007", "0533"})
        EXPECT_EQ(find(typed), ayse) << typed;
    EXPECT_EQ(find("06ığd"), isil);
    EXPECT_EQ(find("0530 744 21 09"), isil);
    // The search only reads: the set stands where it stood and no event was fired.
    EXPECT_EQ(query->fieldByName("f_adi").asString(), "Veli");
    EXPECT_EQ(log.take(), QStringList());
}

TEST_F(CustomerSearch, OfSeveralMatchesTheFirstInAscendingOrderWinsAndAPlateBeatsANumber) {
    EXPECT_EQ(find("34 abc"), ahmet); // "34abc123" comes before "34abc99"
    const qint64 veli = query->fieldByName("id").asInteger();
    db.exec(QString("update t_musteri set f_arac_plaka = '34 ABC 100' where id = %1").arg(veli));
    // The same plate twice: the first in the set's order.
    const qint64 zeki = add("Zeki", "34 abc 123", "", "");
    // A number that "34" also begins: the plates still win.
    db.exec(QString("update t_musteri set f_tel = '0341 000 00 00' where id = %1").arg(isil));
    query->close();
    query->open();
    EXPECT_EQ(find("34 abc 1"), veli); // "34abc100" comes before "34abc123"
    EXPECT_EQ(find("34abc12"), ahmet);
    EXPECT_NE(find("34abc12"), zeki);
    EXPECT_EQ(find("34"), veli);
    EXPECT_EQ(find("341"), isil); // no plate begins with it
}

TEST_F(CustomerSearch, NothingMatchingFindsNothing) {
    for (const char* typed : {"", "   ", "35 XYZ", "0212 999", "Zeynep", "000"})
        EXPECT_EQ(find(typed), std::nullopt) << typed;
    query->close();
    EXPECT_EQ(find("34abc123"), std::nullopt); // a closed set finds nothing
}

} // namespace
