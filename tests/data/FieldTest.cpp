// Fields over an open visit set: null rules, display and edit texts, typed text and its errors.
#include "DataTestSupport.h"

#include "core/Errors.h"
#include "core/RegionalSettings.h"

#include <gtest/gtest.h>

using namespace data;

namespace {

class FieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        connection.setConnectionString(korvelaConnectionString(db.directory()));
        const qint64 customer = db.addCustomer("Ali");
        db.addVisit(customer, "1234.5000", "-30.5000", "", "2008-12-25 14:30:00");
        db.addVisit(customer, "", "", "", "2008-12-25 00:00:00");
        visits = datatest::serviceQuery(connection, customer);
        visits->open();
    }
    TField& f(const char* name) { return visits->fieldByName(name); }
    QString entryError(const char* field, const QString& text) {
        try {
            f(field).setText(text);
        } catch (const EDatabaseError& e) {
            return e.message();
        }
        return {};
    }

    datatest::TestDatabase db;
    TConnection connection;
    std::unique_ptr<TQuery> visits;
};

TEST_F(FieldTest, TurkishDisplayAndEditTexts) {
    EXPECT_EQ(f("f_iscilik").displayText(), "1.234,50 TL");
    EXPECT_EQ(f("f_iscilik").editText(), "1234,50");
    EXPECT_EQ(f("f_tutar").displayText(), "-30,50 TL");
    EXPECT_EQ(f("f_tutar").editText(), "-30,50");
    EXPECT_EQ(f("c_toplam").displayText(), "1.204,00 TL");
    EXPECT_EQ(f("f_tarih").displayText(), "25.12.2008 14:30:00");
    EXPECT_EQ(f("id").displayText(), "1");
    EXPECT_EQ(f("f_iscilik").alignment(), TAlignment::taRightJustify);
    EXPECT_EQ(f("f_km").alignment(), TAlignment::taLeftJustify);
    visits->next();
    EXPECT_EQ(f("f_tarih").displayText(), "25.12.2008");
    EXPECT_EQ(f("f_tarih").editText(), "25.12.2008");
}

TEST_F(FieldTest, EnglishSettingsApplyAtTheMomentOfEachCall) {
    core::FormatSettings en;
    en.currencyString = "$";
    en.currencyFormat = 0;
    en.negCurrFormat = 0;
    en.thousandSeparator = ',';
    en.decimalSeparator = '.';
    en.dateSeparator = '/';
    en.shortDateFormat = "m/d/yyyy";
    en.longTimeFormat = "h:nn:ss";
    const core::RegionalSettings english(en);
    EXPECT_EQ(f("f_iscilik").displayText(), "$1,234.50");
    EXPECT_EQ(f("f_iscilik").editText(), "1234.50");
    EXPECT_EQ(f("f_tutar").displayText(), "($30.50)");
    EXPECT_EQ(f("f_tarih").displayText(), "12/25/2008 14:30:00");
    EXPECT_TRUE(f("f_iscilik").isValidChar('.'));
    EXPECT_FALSE(f("f_iscilik").isValidChar(','));
}

TEST_F(FieldTest, NullReadsAsEmptyTextZeroOrMemoMarker) {
    visits->next();
    EXPECT_TRUE(f("f_iscilik").isNull());
    EXPECT_EQ(f("f_iscilik").asMoney(), Money{});
    EXPECT_EQ(f("f_iscilik").displayText(), "");
    EXPECT_EQ(f("f_odeme").asString(), "");
    EXPECT_EQ(f("f_not").displayText(), "(Memo)");
    EXPECT_EQ(f("f_not").editText(), "");
    EXPECT_FALSE(f("c_toplam").isNull()); // computed on fetch: 0 + 0
    visits->edit();
    f("f_not").setAsString("bir not\nikinci satır");
    EXPECT_EQ(f("f_not").displayText(), "(MEMO)");
    EXPECT_EQ(f("f_not").editText(), "bir not\nikinci satır");
    visits->close();
    EXPECT_TRUE(f("id").isNull());
    EXPECT_EQ(f("id").asInteger(), 0);
    EXPECT_EQ(f("id_musteri").displayText(), "");
}

TEST_F(FieldTest, TypedTextIsConvertedByFieldType) {
    visits->edit();
    f("f_tarih").setText("31.12.2008");
    EXPECT_EQ(f("f_tarih").asDateTime(), QDateTime(QDate(2008, 12, 31), QTime(0, 0), Qt::UTC));
    f("f_tarih").setText("31.12.2008 09:05");
    EXPECT_EQ(f("f_tarih").displayText(), "31.12.2008 09:05:00");
    f("f_iscilik").setText("1234,5");
    EXPECT_EQ(f("f_iscilik").asMoney(), Money::fromRaw(12345000));
    f("f_iscilik").setText("");
    EXPECT_TRUE(f("f_iscilik").isNull());
    f("f_km").setText("");
    EXPECT_FALSE(f("f_km").isNull());
    f("f_km").setText(QString(300, 'k'));
    EXPECT_EQ(f("f_km").asString().size(), 255);
    f("id_musteri").setText("-5");
    EXPECT_EQ(f("id_musteri").asInteger(), -5);
    f("id_musteri").setText("");
    EXPECT_TRUE(f("id_musteri").isNull());
    visits->post();
    EXPECT_EQ(f("f_km").asString(), QString(255, 'k'));
    EXPECT_EQ(f("f_tarih").displayText(), "31.12.2008 09:05:00");
}

TEST_F(FieldTest, RefusedTextNamesTheTextAndTheFieldAndChangesNothing) {
    visits->edit();
    const struct {
        const char* field;
        QString text;
        QString message;
    } cases[] = {
        {"f_iscilik", "abc",
         "'abc' is not a valid floating point value for field 'İşçilik Tutarı'"},
        {"f_iscilik", "1.234,5",
         "'1.234,5' is not a valid floating point value for field "
         "'İşçilik Tutarı'"},
        {"c_toplam", "1,2,3",
         "'1,2,3' is not a valid floating point value for field 'Toplam Tutar'"},
        {"id_musteri", "12a", "'12a' is not a valid integer value for field 'id_musteri'"},
        {"id_musteri", "99999999999",
         "'99999999999' is not a valid integer value for field "
         "'id_musteri'"},
        {"f_tarih", "31.02.2008", "'31.02.2008' is not a valid date and time"},
        {"f_tarih", "25.12.2008 25:00", "'25.12.2008 25:00' is not a valid date and time"},
        {"id", "7", "Field 'id' cannot be modified"},
    };
    for (const auto& c : cases) {
        const QString before = f(c.field).displayText();
        EXPECT_EQ(entryError(c.field, c.text), c.message);
        EXPECT_EQ(f(c.field).displayText(), before);
    }
    EXPECT_FALSE(visits->modified());
    EXPECT_THROW(f("id").setAsInteger(9), EDatabaseError);
}

TEST_F(FieldTest, AcceptedCharactersFollowTheFieldType) {
    const struct {
        const char* field;
        const char* accepted;
        const char* refused;
    } cases[] = {
        {"f_iscilik", "+-0123456789,", "Ee.x "},
        {"c_toplam", "+-09,Ee", ".x "},
        {"id_musteri", "+-0123456789", ",Eex "},
        {"f_km", "a.,x -9", ""},
        {"f_tarih", "a.,:x -9", ""},
    };
    for (const auto& c : cases) {
        for (QChar ch : QString(c.accepted))
            EXPECT_TRUE(f(c.field).isValidChar(ch)) << c.field << " " << ch.toLatin1();
        for (QChar ch : QString(c.refused))
            EXPECT_FALSE(f(c.field).isValidChar(ch)) << c.field << " " << ch.toLatin1();
    }
}

TEST_F(FieldTest, CalculatedMoneyIsADoubleReadBackAsFourDecimalMoney) {
    visits->edit();
    f("c_toplam").setAsFloat(0.1 + 0.2);
    EXPECT_EQ(f("c_toplam").asMoney(), Money::fromRaw(3000));
    EXPECT_EQ(std::get<double>(f("c_toplam").value()), 0.1 + 0.2);
    EXPECT_EQ(f("c_toplam").editText(), "0,30");
    EXPECT_FALSE(f("c_toplam").canModify());
    EXPECT_TRUE(f("f_odeme").canModify());
    EXPECT_FALSE(f("id").canModify());
}

TEST_F(FieldTest, ACalculatedAmountShowsTheSameCentsAsTheStoredAmount) {
    // Each amount's double lies just below the half cent (1.005 is 1.00499999999999989...).
    for (const char* labour : {"1.0050", "1.0150", "2.6750", "-1.0050", "1234567.8950"}) {
        db.exec(QString("UPDATE t_servis SET f_iscilik = '%1', f_tutar = '0.0000', "
                        "f_odeme = NULL")
                    .arg(labour));
        visits->close();
        visits->open();
        SCOPED_TRACE(labour);
        EXPECT_EQ(f("c_toplam").displayText(), f("f_iscilik").displayText());
        EXPECT_EQ(f("c_kalan").displayText(), f("f_iscilik").displayText());
        EXPECT_EQ(f("c_toplam").editText(), f("f_iscilik").editText());
    }
    EXPECT_EQ(f("c_toplam").displayText(), "1.234.567,90 TL");
}

TEST_F(FieldTest, ARefusedValueLeavesTheRecordAsItWas) {
    std::vector<cursor::Value> offered;
    f("f_tutar").OnValidate = [&](TField& field, const cursor::Value& value) {
        offered.push_back(value);
        if (field.dataSet().state() == TDataSetState::dsEdit &&
            std::holds_alternative<Money>(value))
            throw EDatabaseError("refused");
    };
    // In browse the value is not offered: the state refuses it first.
    EXPECT_EQ(entryError("f_tutar", "5"), "qryServis: Dataset not in edit or insert mode");
    visits->edit();
    EXPECT_EQ(entryError("f_tutar", "5"), "refused");
    EXPECT_EQ(f("f_tutar").asMoney(), Money::fromRaw(-305000));
    EXPECT_EQ(f("c_toplam").displayText(), "1.204,00 TL");
    EXPECT_FALSE(visits->modified());
    f("f_tutar").clear();
    EXPECT_TRUE(f("f_tutar").isNull());
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(offered[1]));
}

TEST_F(FieldTest, AnAmountBeyondTheMoneyRangeDisplaysAsBcdOverflow) {
    db.exec("UPDATE t_servis SET f_odeme = '99999999999999999999.0000'");
    visits->close();
    visits->OnCalcFields = nullptr; // the handler itself would fail reading the amount
    visits->open();
    EXPECT_EQ(f("f_odeme").displayText(), "BCD overflow");
    EXPECT_THROW(f("f_odeme").asMoney(), EDatabaseError);
}

} // namespace
