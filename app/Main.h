// TfrmMain: the main window with the customer and visit lists, the totals line and the commands.
#pragma once

#include "data/Connection.h"
#include "data/DataSource.h"
#include "data/LiveRefresh.h"
#include "data/Query.h"

#include <QWidget>
#include <utility>
#include <vector>

namespace controls {
class TGradButton;
class TGradPanel;
class TRecordGrid;
} // namespace controls

namespace app {

class TSplitter;
class TImage;

// The program's only top-level window. Owns the connection, both record sets, both data sources
// (members, alive exactly as long as the window) and its child controls (Qt children).
class TfrmMain : public QWidget {
    Q_OBJECT
public:
    // Builds the window and runs the connection sequence against the database file in
    // applicationDirectory (defaults to the executable's directory).
    explicit TfrmMain(const QString& applicationDirectory = QString(), QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Owned objects, declared in the order they must be built (and destroyed in reverse).
    data::TConnection dbsPRJ;
    data::TQuery qryMain{"qryMain"};
    data::TQuery qryServis{"qryServis"};
    data::TQuery qryTemp{"qryTemp"};
    data::TDataSource srcMain;
    data::TDataSource srcServis;
    // Shows in both lists what other workstations save.
    data::TLiveRefresh liveRefresh{dbsPRJ};

    // Child controls (owned by the window through Qt's parent chain).
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

    // The papers, each in the print preview: the current customer's statement (also Ctrl+P),
    // the current visit's service form, and every customer who owes.
    void printStatement();
    void printServiceForm();
    void printDebtors();

    // The totals line's text for three sums.
    static QString totalsText(Money total, Money paid, Money balance);
    // The address the header pictures open.
    QString webAddress() const;

    // Upper grid height set by the splitter (0 = collapsed).
    void setCustomerGridHeight(int height);
    int customerGridHeight() const { return customerGridHeight_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The database file's write state changed: the title says so, and damage found by the check
    // is reported through the default error path.
    void fileStateChanged();
    // A save waits for the file's check: the wait cursor and the title say so meanwhile.
    void showWaitForCheck(bool waiting);
    void updateTitle();
    // Follows what other workstations save from now on; without a change log, says once how to
    // get it.
    void startLiveRefresh();
    void showLiveRefreshNotice();
    // Whether the lists may change under the user now: not while a dialog, box, menu or drag
    // is open.
    static bool mayShowLiveChanges();
    void showVisitTotals();
    void createControls();
    void createPaperMenus();
    void layoutControls();
    void loadVisits();
    void showZeroTotals();
    // Puts the text into the totals line and keeps the window at least as wide as it needs.
    void showTotals(const QString& text);
    // The smallest size at which every command button and the whole totals line show: the
    // buttons at their anchored places without overlapping, the totals text inside its frame.
    void updateMinimumSize();

    QString applicationDirectory_;
    // Buttons anchored to the bar's right edge, with their distance from it.
    std::vector<std::pair<controls::TGradButton*, int>> rightAnchored_;
    // The customer grid's height until the splitter is dragged.
    static constexpr int kInitialCustomerGridHeight = 189;
    int customerGridHeight_ = kInitialCustomerGridHeight;
    bool centred_ = false;
    bool checkStarted_ = false;
    bool liveRefreshMissing_ = false;
};

} // namespace app
