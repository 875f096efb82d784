// The two sets' field declarations, the connection string and the connection itself.
#include "DataTestSupport.h"

#include "core/Errors.h"
#include "data/Schema.h"
#include "engine/CursorConnection.h"

#include <gtest/gtest.h>

using namespace data;

namespace {

// One line per field: name, label, width, visible, read-only, type.
QStringList describe(TDataSet& set) {
    QStringList lines;
    for (int i = 0; i < set.fieldCount(); ++i) {
        const TField& f = set.field(i);
        lines << QStringLiteral("%1|%2|%3|%4|%5|%6%7")
                     .arg(f.fieldName(), f.displayLabel())
                     .arg(f.displayWidth())
                     .arg(f.visible() ? "grid" : "-")
                     .arg(f.readOnly() ? "ro" : "rw")
                     .arg(TField::typeName(f.dataType()))
                     .arg(f.isCalculated() ? " calc" : "");
    }
    return lines;
}

TEST(Schema, CustomerFields) {
    TQuery set("x");
    declareCustomerFields(set);
    EXPECT_EQ(
        describe(set),
        QStringList(
            {"f_arac_plaka|Araç Plakası|20|grid|rw|WideString",
             "f_adi|Müşteri Adı|20|grid|rw|WideString", "f_tel|Telefon|20|grid|rw|WideString",
             "f_gsm|Cep Telefonu|20|grid|rw|WideString", "f_mail|E-Posta|20|-|rw|WideString",
             "f_vd|Vergi Dairesi|20|-|rw|WideString", "f_vn|Vergi Numarası|20|-|rw|WideString",
             "f_tarih|Tarih|20|-|rw|DateTime", "f_adres|Adres|20|-|rw|WideString",
             "f_arac_marka|Araç Markası|20|-|rw|WideString",
             "f_arac_model|Araç Modeli|20|-|rw|WideString",
             "f_arac_yil|Araç Yılı|20|-|rw|WideString",
             "f_arac_yakit|Araç Yakıt Tipi|20|-|rw|WideString",
             "f_arac_renk|Araç Rengi|20|-|rw|WideString", "f_not|Açıklama|10|-|rw|Memo",
             "id||10|-|ro|AutoInc"}));
    EXPECT_EQ(set.fieldByName("f_adi").size(), 255);
    EXPECT_FALSE(set.hasCalculatedFields());
}

TEST(Schema, ServiceFields) {
    TQuery set("x");
    declareServiceFields(set);
    EXPECT_EQ(
        describe(set),
        QStringList(
            {"f_tarih|Tarih|20|grid|rw|DateTime", "f_km|KM|20|grid|rw|WideString",
             "f_ariza|Arıza|20|grid|rw|WideString", "f_islem|Yapılan İşlem|20|grid|rw|WideString",
             "f_parca|Parça|20|grid|rw|WideString",
             "f_malzeme|Kullanılan Malzeme|20|grid|rw|WideString",
             "f_iscilik|İşçilik Tutarı|20|grid|rw|BCD", "f_tutar|Malzeme Tutarı|20|grid|rw|BCD",
             "c_toplam|Toplam Tutar|20|grid|rw|Float calc", "f_odeme|Alınan Ödeme|20|grid|rw|BCD",
             "c_kalan|Kalan Ödeme|20|grid|rw|Float calc", "id||10|-|ro|AutoInc",
             "id_musteri||10|-|rw|Integer", "f_not|Açıklama|20|-|rw|Memo"}));
    for (const char* money : {"f_iscilik", "f_tutar", "f_odeme", "c_toplam", "c_kalan"})
        EXPECT_TRUE(set.fieldByName(money).isCurrency()) << money;
    EXPECT_EQ(set.fieldByName("id").displayName(), "id");
}

TEST(ConnectionString, NamesTheFileBesideTheProgram) {
    EXPECT_EQ(korvelaConnectionString("C:\\Korvela\\"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=C:\\Korvela\\Korvela.mdb;Persist "
              "Security Info=False");
    const QString odd = korvelaConnectionString("/opt/a;b/");
    EXPECT_EQ(odd, "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=\"/opt/a;b/Korvela.mdb\";Persist "
                   "Security Info=False");
    EXPECT_EQ(cursor::Connection::dataSourceOf(odd), "/opt/a;b/Korvela.mdb");
}

TEST(Connection, OpensOnDemandAndReportsAMissingFile) {
    datatest::TestDatabase db;
    TConnection connection;
    connection.setConnectionString(korvelaConnectionString(db.directory()));
    auto query = datatest::customerQuery(connection);
    query->open(); // opens the closed connection first
    EXPECT_TRUE(connection.connected());
    query->close();
    connection.close();
    EXPECT_FALSE(connection.connected());
    connection.setConnectionString(korvelaConnectionString(db.directory() + "nosuch/"));
    EXPECT_THROW(connection.open(), EOleException);
    EXPECT_FALSE(connection.connected());
    EXPECT_THROW(query->open(), EOleException);
    EXPECT_FALSE(query->active());
}

} // namespace
