// Fields over an open visit set: null rules, display and edit texts, typed text and its errors.
#include "DataTestSupport.h"

#include "core/Errors.h"
#include "core/RegionalSettings.h"

#include <gtest/gtest.h>
#include <limits>

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
    EXPECT_TRUE(f("f_iscilik").isValidChar(',')); // groups thousands here
    EXPECT_FALSE(f("f_iscilik").isValidChar(';'));
    visits->edit();
    f("f_iscilik").setText("1,250.75");
    EXPECT_EQ(f("f_iscilik").asMoney(), Money::fromRaw(12507500));
    EXPECT_EQ(entryError("f_iscilik", "1250,75"),
              "'1250,75' is not a valid floating point value for field 'İşçilik Tutarı'\n\n"
              "Ondalık ayırıcı \".\" işaretidir (1250.75); \",\" yalnızca binlikleri ayırır "
              "(1,250.75).");
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
    f("f_km").setText(QString(255, 'k'));
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
        {"f_iscilik", "1250.75",
         "'1250.75' is not a valid floating point value for field 'İşçilik Tutarı'\n\n"
         "Ondalık ayırıcı \",\" işaretidir (1250,75); \".\" yalnızca binlikleri ayırır "
         "(1.250,75)."},
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

// A text the database would not keep as typed is refused with the field's name, never cut:
// one longer than the column (255 characters, counted as the databases count them), and one
// holding the NUL character (a server's text cannot). The record keeps its value; the file too.
TEST_F(FieldTest, TextTheColumnCannotHoldIsRefusedNotCut) {
    db.exec("UPDATE t_servis SET f_km = 'eski', f_not = 'not'");
    visits->close();
    visits->open();
    visits->edit();
    const QString tooLong = QStringLiteral("'KM' alanına en çok 255 karakter yazılabilir; yazılan "
                                           "metin %1 karakter. Metni kısaltıp yeniden deneyin.");
    const QString nul = QStringLiteral("'%1' alanındaki metinde NUL (kodu 0) karakteri var; "
                                       "veritabanı bu karakteri saklayamaz. Karakteri silip "
                                       "yeniden deneyin.");
    const QString clef = QString::fromUcs4(U"\U0001D11E"); // one character, two UTF-16 units
    const struct {
        const char* field;
        QString text;
        QString message;
    } cases[] = {
        {"f_km", QString(256, 'k'), tooLong.arg(256)},
        {"f_km", QString(100000, 'k'), tooLong.arg(100000)},
        {"f_km", QString(128, 'k') + QString(128, QChar(0x015F)), tooLong.arg(256)},
        {"f_km", clef.repeated(256), tooLong.arg(256)},
        {"f_km", QStringLiteral("a") + QChar(0) + QStringLiteral("b"), nul.arg("KM")},
        {"f_not", QStringLiteral("not") + QChar(0), nul.arg("Açıklama")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.left(8).toStdString());
        EXPECT_EQ(entryError(c.field, c.text), c.message);
        EXPECT_THROW(f(c.field).setAsString(c.text), EDatabaseError);
    }
    EXPECT_EQ(f("f_km").asString(), "eski");
    EXPECT_EQ(f("f_not").asString(), "not");
    EXPECT_FALSE(visits->modified());
    // Exactly the size is taken, also when each character takes two UTF-16 units.
    f("f_km").setText(clef.repeated(255));
    visits->post();
    EXPECT_EQ(
        db.scalar("SELECT length(f_km) FROM t_servis WHERE f_km LIKE '%" + clef.toUtf8() + "'"),
        "255");
    visits->edit();
    f("f_km").setAsString(QString(255, 'k'));
    visits->post();
    EXPECT_EQ(db.scalar("SELECT length(f_km) FROM t_servis WHERE f_km LIKE 'k%'"), "255");
}

TEST_F(FieldTest, AcceptedCharactersFollowTheFieldType) {
    const struct {
        const char* field;
        const char* accepted;
        const char* refused;
    } cases[] = {
        {"f_iscilik", "+-0123456789,.", "Eex "},
        {"c_toplam", "+-09,.Ee", "x "},
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

// An amount never changes its size: "." (the Turkish thousands separator) is taken where it
// groups the whole part and refused anywhere else, never dropped.
TEST_F(FieldTest, AmountsTakeTheThousandsSeparatorOnlyWhereItGroups) {
    visits->edit();
    constexpr qint64 kRefused = std::numeric_limits<qint64>::min();
    const struct {
        const char* field;
        const char* text;
        qint64 raw; // ten-thousandths
    } cases[] = {
        {"f_iscilik", "1.250,75", 12507500},
        {"f_iscilik", "1.250", 12500000},
        {"f_iscilik", "-1.234.567,5", -12345675000},
        {"f_iscilik", "+12.345", 123450000},
        {"f_iscilik", "999", 9990000},
        {"c_toplam", "1.250,5", 12505000},
        {"c_toplam", "2.500E1", 250000000},
        {"f_iscilik", "1250.75", kRefused},
        {"f_iscilik", "1.25", kRefused},
        {"f_iscilik", "12.50", kRefused},
        {"f_iscilik", "1.2500", kRefused},
        {"f_iscilik", "1.250.7", kRefused},
        {"f_iscilik", "1234.567", kRefused},
        {"f_iscilik", ".250", kRefused},
        {"f_iscilik", "1.", kRefused},
        {"f_iscilik", "-.5", kRefused},
        {"f_iscilik", "0,1.000", kRefused},
        {"f_iscilik", "1..250", kRefused},
        {"c_toplam", "1.25", kRefused},
        {"c_toplam", "1E1.000", kRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        f("f_iscilik").setText("7");
        f("c_toplam").setAsFloat(7);
        const QString error = entryError(c.field, c.text);
        if (c.raw != kRefused) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(f(c.field).asMoney(), Money::fromRaw(c.raw));
        } else {
            EXPECT_TRUE(error.startsWith(QString("'%1' is not a valid floating point value for "
                                                 "field '%2'\n\nOndalık ayırıcı \",\"")
                                             .arg(c.text, f(c.field).displayName())))
                << error.toStdString();
            EXPECT_EQ(f(c.field).asMoney(), Money::fromUnits(7)) << "the amount is unchanged";
        }
    }
    // What the file holds, read by a second connection.
    f("f_iscilik").setText("1.250,75");
    visits->post();
    EXPECT_EQ(db.scalar("SELECT f_iscilik FROM t_servis WHERE f_tarih = '2008-12-25 14:30:00'"),
              "1250.7500");
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
