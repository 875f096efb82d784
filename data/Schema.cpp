// The field declarations of the customer and visit record sets.
#include "data/Schema.h"

#include "data/DataSet.h"

namespace data {

namespace {

struct FieldRow {
    const char* name;
    TFieldType type;
    const char* label; // UTF-8; empty for none
    int width;
    bool visible;
};

void declare(TDataSet& set, std::initializer_list<FieldRow> rows) {
    for (const FieldRow& row : rows) {
        const bool calculated = row.type == TFieldType::ftFloat;
        TField& f = set.addField(QString::fromLatin1(row.name), row.type,
                                 calculated ? TFieldKind::fkCalculated : TFieldKind::fkData);
        f.setDisplayLabel(QString::fromUtf8(row.label));
        f.setDisplayWidth(row.width);
        f.setVisible(row.visible);
        if (row.type == TFieldType::ftBCD || calculated)
            f.setCurrency(true);
        if (row.type == TFieldType::ftAutoInc)
            f.setReadOnly(true);
    }
}

constexpr TFieldType Text = TFieldType::ftWideString;
constexpr TFieldType Memo = TFieldType::ftMemo;
constexpr TFieldType Date = TFieldType::ftDateTime;
constexpr TFieldType Amount = TFieldType::ftBCD;
constexpr TFieldType Calculated = TFieldType::ftFloat; // calculated money
constexpr TFieldType Key = TFieldType::ftAutoInc;
constexpr TFieldType Integer = TFieldType::ftInteger;

} // namespace

void declareCustomerFields(TDataSet& qryMain) {
    declare(qryMain, {
                         {"f_arac_plaka", Text, "Araç Plakası", 20, true},
                         {"f_adi", Text, "Müşteri Adı", 20, true},
                         {"f_tel", Text, "Telefon", 20, true},
                         {"f_gsm", Text, "Cep Telefonu", 20, true},
                         {"f_mail", Text, "E-Posta", 20, false},
                         {"f_vd", Text, "Vergi Dairesi", 20, false},
                         {"f_vn", Text, "Vergi Numarası", 20, false},
                         {"f_tarih", Date, "Tarih", 20, false},
                         {"f_adres", Text, "Adres", 20, false},
                         {"f_arac_marka", Text, "Araç Markası", 20, false},
                         {"f_arac_model", Text, "Araç Modeli", 20, false},
                         {"f_arac_yil", Text, "Araç Yılı", 20, false},
                         {"f_arac_yakit", Text, "Araç Yakıt Tipi", 20, false},
                         {"f_arac_renk", Text, "Araç Rengi", 20, false},
                         {"f_not", Memo, "Açıklama", 10, false},
                         {"id", Key, "", 10, false},
                     });
}

void declareServiceFields(TDataSet& qryServis) {
    declare(qryServis, {
                           {"f_tarih", Date, "Tarih", 20, true},
                           {"f_km", Text, "KM", 20, true},
                           {"f_ariza", Text, "Arıza", 20, true},
                           {"f_islem", Text, "Yapılan İşlem", 20, true},
                           {"f_parca", Text, "Parça", 20, true},
                           {"f_malzeme", Text, "Kullanılan Malzeme", 20, true},
                           {"f_iscilik", Amount, "İşçilik Tutarı", 20, true},
                           {"f_tutar", Amount, "Malzeme Tutarı", 20, true},
                           {"c_toplam", Calculated, "Toplam Tutar", 20, true},
                           {"f_odeme", Amount, "Alınan Ödeme", 20, true},
                           {"c_kalan", Calculated, "Kalan Ödeme", 20, true},
                           {"id", Key, "", 10, false},
                           {"id_musteri", Integer, "", 10, false},
                           {"f_not", Memo, "Açıklama", 20, false},
                       });
}

} // namespace data
