// TfrmMain's private part: its connection, record sets, data sources, controls and handlers.
#pragma once

#include "app/Main.h"
#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/LiveRefresh.h"
#include "data/Query.h"
#include "data/Totals.h"

#include <optional>
#include <utility>
#include <vector>

namespace controls {
class TGradButton;
class TGradPanel;
class TRecordGrid;
} // namespace controls

namespace app {

class TImage;
class TSplitter;

class TfrmMain::Private {
public:
    Private(TfrmMain& window, const QString& applicationDirectory);

    TfrmMain& q;
    const QString applicationDirectory;

    // Built in this order and destroyed in reverse: the data sources let go of their controls'
    // links before the record sets close, and the connection closes last.
    data::TConnection dbsPRJ;
    data::TQuery qryMain{"qryMain"};
    data::TQuery qryServis{"qryServis"};
    data::TQuery qryTemp{"qryTemp"};
    data::TDataSource srcMain;
    data::TDataSource srcServis;
    // Shows in both lists what other workstations save; stops before the connection closes.
    // A child of the window by name ("liveRefresh"), destroyed with this part.
    data::TLiveRefresh liveRefresh{dbsPRJ, &q};

    // Child controls, owned by the window through Qt's parent chain.
    QWidget* pnlHeader = nullptr;
    QWidget* pnlLogo = nullptr;
    TImage* imgLogo = nullptr;
    TImage* imgBanner = nullptr;
    controls::TRecordGrid* grdMain = nullptr;
    TSplitter* splMain = nullptr;
    controls::TRecordGrid* grdServis = nullptr;
    controls::TGradPanel* pnlToplam = nullptr;
    QWidget* pnlButtons = nullptr;
    controls::TGradButton* btnMusteriYeni = nullptr;
    controls::TGradButton* btnMusteriDuzenle = nullptr;
    controls::TGradButton* btnMusteriSil = nullptr;
    controls::TGradButton* btnMusteriAra = nullptr;
    controls::TGradButton* btnServisYeni = nullptr;
    controls::TGradButton* btnServisDuzenle = nullptr;
    controls::TGradButton* btnServisSil = nullptr;

    // Event handlers.
    void FormCreate();
    void qryMainAfterScroll(data::TDataSet& dataSet);
    void qryMainAfterPost(data::TDataSet& dataSet);
    void qryServisCalcFields(data::TDataSet& dataSet);
    void qryServisAfterOpen(data::TDataSet& dataSet);
    // OnValidate of the three amounts: refuses one the visit's sums cannot be formed with.
    void qryServisAmountValidate(data::TField& field, const cursor::Value& value);
    void btnMusteriYeniClick();
    void btnMusteriDuzenleClick();
    void btnMusteriSilClick();
    void btnMusteriAraClick();
    void btnServisYeniClick();
    void btnServisDuzenleClick();
    void btnServisSilClick();
    void Image1Click();

    // The papers, each in the print preview (MainPapers.cpp): the current customer's statement
    // (also Ctrl+P), the current visit's service form, and every customer who owes.
    void createPaperMenus();
    void printStatement();
    void printServiceForm();
    void printDebtors();

    // The record sets, their handlers and the database file's observers.
    void setUpRecordSets();
    void createControls();
    void createCommandButtons();
    void layoutControls();
    // The smallest size at which every command button and the whole totals line show: the
    // buttons at their anchored places without overlapping, the totals text inside its frame.
    void updateMinimumSize();
    // Upper grid height chosen with the splitter (0 = collapsed).
    void setCustomerGridHeight(int height);
    void loadVisits();
    // Puts the text into the totals line and keeps the window at least as wide as it needs: at
    // once, or while a TotalsBatch lives, once when the last one ends.
    void showTotals(const QString& text);
    // The window's minimum follows the totals line, when the line's width changed.
    void totalsWidthChanged();
    // Texts shown one after another during one move (what shows if the move fails, then the
    // sums) change the window's minimum once, for the text that stays, when the last batch ends
    // (also when it ends by an error).
    class TotalsBatch {
    public:
        explicit TotalsBatch(Private& p) : p_(p) { ++p_.totalsBatches; }
        ~TotalsBatch() {
            if (--p_.totalsBatches == 0)
                p_.totalsWidthChanged();
        }
        TotalsBatch(const TotalsBatch&) = delete;
        TotalsBatch& operator=(const TotalsBatch&) = delete;

    private:
        Private& p_;
    };
    int totalsBatches = 0;
    int totalsWidth = -1; // the totals line's width the window's minimum was made for
    // The visit set's fields its calculated fields use, looked up once.
    std::optional<data::TVisitFields> visitFields;
    // The database file's write state changed: the title says so, and damage found by the check
    // is reported through the default error path.
    void fileStateChanged();
    // A save waits for the file's check: the wait cursor and the title say so meanwhile.
    void showWaitForCheck(bool waiting);
    void updateTitle();
    // Follows what other workstations save from now on; without a change log, says once (after
    // the first paint) how to get it.
    void startLiveRefresh();
    void showLiveRefreshNotice();
    // Whether the lists may change under the user now: not while a dialog, box, menu or drag
    // is open.
    static bool mayShowLiveChanges();
    // The visits changed elsewhere: the totals line follows.
    void showVisitTotals();
    // The address the header pictures open.
    QString webAddress() const;

    // Buttons anchored to the bar's right edge, with their distance from it.
    std::vector<std::pair<controls::TGradButton*, int>> rightAnchored;
    // The customer grid's height until the splitter is dragged.
    static constexpr int kInitialCustomerGridHeight = 189;
    int customerGridHeight = kInitialCustomerGridHeight;
    bool centred = false;
    bool checkStarted = false;
    bool liveRefreshMissing = false;
};

} // namespace app
