// TfrmCustomer: the modal dialog in which one customer is entered or changed.
#pragma once

#include "dialogs/EditDialog.h"

namespace dialogs {

// "Müşteri Bilgisi": edits the pending record of qryMain through srcMain.
class TfrmCustomer : public TEditDialog {
    Q_OBJECT
public:
    explicit TfrmCustomer(data::TDataSource* srcMain);
};

} // namespace dialogs
