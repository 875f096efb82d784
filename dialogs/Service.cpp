// TfrmService: the service dialog's rows (its own captions "Ödeme" and "Kalan Ödme").
#include "dialogs/Service.h"

namespace dialogs {

TfrmService::TfrmService(data::TDataSource* srcServis)
    : TEditDialog(QStringLiteral("Servis"), srcServis,
                  {{"f_tarih", "Tarih"},
                   {"f_km", "KM"},
                   {"f_ariza", "Arıza"},
                   {"f_parca", "Parça"},
                   {"f_malzeme", "Kullanılan Malzeme"},
                   {"f_islem", "Yapılan İşlem"},
                   {"f_iscilik", "İşçilik Tutarı"},
                   {"f_tutar", "Malzeme Tutarı"},
                   {"c_toplam", "Toplam Tutar"},
                   {"f_odeme", "Ödeme"},
                   {"c_kalan", "Kalan Ödme"},
                   {"f_not", "Açıklama"}}) {
    setObjectName("frmService");
}

} // namespace dialogs
