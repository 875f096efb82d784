// TfrmService: the modal dialog in which one service visit is entered or changed.
#pragma once

#include "dialogs/EditDialog.h"

namespace dialogs {

// "Servis": edits the pending record of qryServis through srcServis.
class TfrmService : public TEditDialog {
    Q_OBJECT
public:
    explicit TfrmService(data::TDataSource* srcServis);
};

} // namespace dialogs
