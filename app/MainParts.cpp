// The main window's parts found by object name and through the grids' data sources.
#include "app/MainParts.h"
#include "app/Splitter.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "data/DataSource.h"
#include "data/Query.h"

namespace app {

namespace {

template <typename T> T* named(const QObject& window, const char* name) {
    T* part = window.findChild<T*>(QString::fromLatin1(name));
    if (!part)
        qFatal("The main window has no part named %s", name);
    return part;
}

data::TDataSource& sourceOf(const controls::TRecordGrid* grid) {
    data::TDataSource* source = grid->dataSource();
    if (!source)
        qFatal("%s has no data source", qPrintable(grid->objectName()));
    return *source;
}

data::TQuery& queryOf(const data::TDataSource& source) {
    auto* query = dynamic_cast<data::TQuery*>(source.dataSet());
    if (!query)
        qFatal("A grid of the main window shows no query");
    return *query;
}

data::TConnection& connectionOf(const data::TQuery& query) {
    if (!query.connection())
        qFatal("%s has no connection", qPrintable(query.name()));
    return *query.connection();
}

} // namespace

MainParts::MainParts(const TfrmMain& window)
    : grdMain(named<controls::TRecordGrid>(window, "grdMain")),
      grdServis(named<controls::TRecordGrid>(window, "grdServis")), srcMain(sourceOf(grdMain)),
      srcServis(sourceOf(grdServis)), qryMain(queryOf(srcMain)), qryServis(queryOf(srcServis)),
      dbsPRJ(connectionOf(qryMain)), liveRefresh(*named<data::TLiveRefresh>(window, "liveRefresh")),
      pnlHeader(named<QWidget>(window, "pnlHeader")), splMain(named<TSplitter>(window, "splMain")),
      pnlToplam(named<controls::TGradPanel>(window, "pnlToplam")),
      pnlButtons(named<QWidget>(window, "pnlButtons")),
      btnMusteriYeni(named<controls::TGradButton>(window, "btnMusteriYeni")),
      btnMusteriDuzenle(named<controls::TGradButton>(window, "btnMusteriDuzenle")),
      btnMusteriSil(named<controls::TGradButton>(window, "btnMusteriSil")),
      btnMusteriAra(named<controls::TGradButton>(window, "btnMusteriAra")),
      btnServisYeni(named<controls::TGradButton>(window, "btnServisYeni")),
      btnServisDuzenle(named<controls::TGradButton>(window, "btnServisDuzenle")),
      btnServisSil(named<controls::TGradButton>(window, "btnServisSil")) {}

} // namespace app
