// The main window's parts as code outside it finds them: controls by object name, the record
// sets through the grids' data sources.
#pragma once

#include "app/Main.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/LiveRefresh.h"
#include "data/Query.h"

namespace controls {
class TGradButton;
class TGradPanel;
class TRecordGrid;
} // namespace controls

namespace app {

class TSplitter;

// Looked up once, from the window's public object tree; valid while the window lives. For tools
// and tests: the window's own code holds its parts itself. A part that is not there stops the
// program with its name (a control renamed, a grid without its data source).
struct MainParts {
    explicit MainParts(const TfrmMain& window);

    controls::TRecordGrid* grdMain;
    controls::TRecordGrid* grdServis;
    data::TDataSource& srcMain;   // grdMain's data source
    data::TDataSource& srcServis; // grdServis's data source
    data::TQuery& qryMain;        // the customers
    data::TQuery& qryServis;      // the current customer's visits
    data::TConnection& dbsPRJ;    // the customers' connection
    data::TLiveRefresh& liveRefresh;
    QWidget* pnlHeader;
    TSplitter* splMain;
    controls::TGradPanel* pnlToplam;
    QWidget* pnlButtons;
    controls::TGradButton* btnMusteriYeni;
    controls::TGradButton* btnMusteriDuzenle;
    controls::TGradButton* btnMusteriSil;
    controls::TGradButton* btnMusteriAra;
    controls::TGradButton* btnServisYeni;
    controls::TGradButton* btnServisDuzenle;
    controls::TGradButton* btnServisSil;
};

} // namespace app
