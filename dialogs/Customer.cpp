// TfrmCustomer: the customer dialog's rows.
#include "dialogs/Customer.h"

namespace dialogs {

TfrmCustomer::TfrmCustomer(data::TDataSource* srcMain)
    : TEditDialog(QStringLiteral("Müşteri Bilgisi"), srcMain,
                  {{"f_adi", "Müşteri Adı"},
                   {"f_tel", "Telefon"},
                   {"f_gsm", "Cep Telefonu"},
                   {"f_mail", "E-Posta"},
                   {"f_adres", "Adres"},
                   {"f_vd", "Vergi Dairesi"},
                   {"f_vn", "Vergi Numarası"},
                   {"f_arac_plaka", "Araç Plakası"},
                   {"f_arac_marka", "Araç Markası"},
                   {"f_arac_model", "Araç Modeli"},
                   {"f_arac_yakit", "Araç Yakıt Tipi"},
                   {"f_arac_yil", "Araç Yılı"},
                   {"f_arac_renk", "Araç Rengi"},
                   {"f_not", "Açıklama"}}) {
    setObjectName("frmCustomer");
}

} // namespace dialogs
