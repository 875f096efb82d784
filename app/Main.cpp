// TfrmMain: layout of the main window, the connection sequence, the visit list and the commands.
#include "app/Main.h"
#include "app/Image.h"
#include "app/MainControls.h"
#include "app/Splitter.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "data/CustomerSearch.h"
#include "data/Schema.h"
#include "data/Totals.h"
#include "dialogs/Customer.h"
#include "dialogs/Service.h"
#include "platform/Application.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"
#include "platform/Jpeg.h"
#include "xlib/XLib.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QTimer>

namespace app {

using data::TDataSet;
using data::TDataSetState;

namespace {

// The header strip's orange, behind the logo and the banner.
const QColor kHeaderColour(0xEF, 0x99, 0x42);

// The orange header strip with its lowered one-pixel bevel.
class HeaderPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), kHeaderColour);
        p.fillRect(0, 0, width(), 1, platform::clBtnShadow.toQColor());
        p.fillRect(0, 0, 1, height(), platform::clBtnShadow.toQColor());
        p.fillRect(0, height() - 1, width(), 1, platform::clBtnHighlight.toQColor());
        p.fillRect(width() - 1, 0, 1, height(), platform::clBtnHighlight.toQColor());
    }
};

// The button bar: no bevel, button-face background.
class PlainPanel : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect(), platform::clBtnFace.toQColor());
    }
};

QImage loadPicture(const QString& resource) {
    QFile file(resource);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return platform::decodeJpeg(file.readAll());
}

// What the totals line says instead of sums it cannot form.
const char* const kVisitsNotOpened = "Servis listesi açılamadı: toplamlar gösterilemiyor";
const char* const kNotFormed = "Toplamlar hesaplanamadı";

// The amount a field is about to take: null counts as zero; nullopt for anything else.
std::optional<Money> newAmount(const cursor::Value& value) {
    if (const auto* m = std::get_if<Money>(&value))
        return *m;
    if (std::holds_alternative<std::monostate>(value))
        return Money{};
    return std::nullopt;
}

constexpr int kBorder = 5;
constexpr int kHeaderHeight = 53;
constexpr int kSpacer = 5;
constexpr int kSplitterHeight = 5;
constexpr int kTotalsHeight = 24;
constexpr int kButtonBarHeight = 41;
// The logo's square in the header's left end, inside the one-pixel bevel.
constexpr int kLogoWidth = 50;
// The command buttons: their top in the button bar and their size.
constexpr int kButtonTop = 6;
constexpr int kButtonWidth = 85;
constexpr int kButtonHeight = 27;
// The window's title, and what it adds while a save waits for the check of the database file and
// once the file can no longer be written.
const char* const kTitle = "Korvela Takip";
const char* const kWaitingForCheck =
    " - Veritabanı dosyası denetleniyor; kayıt denetimin bitmesini bekliyor";
const char* const kReadOnly = " - Salt okunur: değişiklikler kaydedilemez";
// The client size the window is designed at (700 x 600 outside with the classic frame).
constexpr int kDesignClientWidth = 692;
constexpr int kDesignClientHeight = 573;

} // namespace

TfrmMain::TfrmMain(const QString& applicationDirectory, QWidget* parent)
    : QWidget(parent),
      applicationDirectory_(applicationDirectory.isEmpty() ? xlib::applicationDirectory()
                                                           : applicationDirectory) {
    setObjectName("frmMain");
    setWindowTitle(QString::fromUtf8(kTitle));
    setFont(platform::tahoma(11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, platform::clBtnFace.toQColor());
    setPalette(pal);
    setAutoFillBackground(true);
    resize(kDesignClientWidth, kDesignClientHeight);

    qryMain.setConnection(&dbsPRJ);
    qryMain.addSql(QStringLiteral("select * from t_musteri"));
    data::declareCustomerFields(qryMain);
    qryMain.AfterScroll = [this](TDataSet& ds) { qryMainAfterScroll(ds); };
    qryMain.AfterPost = [this](TDataSet& ds) { qryMainAfterPost(ds); };

    qryServis.setConnection(&dbsPRJ);
    qryServis.addSql(QStringLiteral("select * from t_servis"));
    data::declareServiceFields(qryServis);
    qryServis.OnCalcFields = [this](TDataSet& ds) { qryServisCalcFields(ds); };
    qryServis.AfterOpen = [this](TDataSet& ds) { qryServisAfterOpen(ds); };
    qryServis.AfterPost = [this](TDataSet& ds) { qryServisAfterOpen(ds); };
    for (const char* amount : {"f_iscilik", "f_tutar", "f_odeme"})
        qryServis.fieldByName(QString::fromLatin1(amount)).OnValidate =
            [this](data::TField& field, const cursor::Value& value) {
                qryServisAmountValidate(field, value);
            };

    qryTemp.setConnection(&dbsPRJ);

    srcMain.setDataSet(&qryMain);
    srcServis.setDataSet(&qryServis);

    liveRefresh.follow(qryMain, "t_musteri");
    liveRefresh.follow(qryServis, "t_servis");
    liveRefresh.mayShow = &TfrmMain::mayShowLiveChanges;
    liveRefresh.shown = [this](TDataSet& set) {
        if (&set == &qryServis)
            showVisitTotals();
    };

    // The database file is checked for damage once the window is painted; the window learns the
    // outcome on its own thread, and shows a save that waits for it.
    dbsPRJ.engine().setStateObserver([this] {
        QMetaObject::invokeMethod(
            this, [this] { fileStateChanged(); }, Qt::QueuedConnection);
    });
    dbsPRJ.engine().setWaitObserver([this](bool waiting) { showWaitForCheck(waiting); });

    createControls();
    updateMinimumSize();
    layoutControls();
    FormCreate();
}

TfrmMain::~TfrmMain() {
    // Controls hold links to the data sources: they go first, then the record sets close.
    const auto kids = findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* w : kids)
        delete w;
    liveRefresh.stop();
    qryServis.close();
    qryMain.close();
    // Ends the file's check (its thread reports to this window) while the window is whole.
    dbsPRJ.close();
}

void TfrmMain::createControls() {
    pnlHeader = new HeaderPanel(this);
    pnlHeader->setObjectName("pnlHeader");
    pnlLogo = new PlainPanel(pnlHeader);
    pnlLogo->setObjectName("pnlLogo");
    imgLogo = new TImage(pnlLogo);
    imgLogo->setObjectName("imgLogo");
    imgLogo->centre = true;
    imgLogo->setPicture(loadPicture(QStringLiteral(":/images/logo.jpg")));
    imgLogo->OnClick = [this] { Image1Click(); };
    imgBanner = new TImage(pnlHeader);
    imgBanner->setObjectName("imgBanner");
    imgBanner->fill = kHeaderColour;
    imgBanner->setPicture(loadPicture(QStringLiteral(":/images/banner.jpg")));
    imgBanner->OnClick = [this] { Image1Click(); };

    grdMain = makeRecordGrid(this, &srcMain, "grdMain",
                             {"f_arac_plaka\t20\tAraç Plakası", "f_adi\t20\tMüşteri Adı",
                              "f_tel\t20\tTelefon", "f_gsm\t20\tCep Telefonu"});
    splMain = new TSplitter(this);
    splMain->setObjectName("splMain");
    splMain->upperSize = [this] { return customerGridHeight_; };
    splMain->availableSize = [this] { return customerGridHeight_ + grdServis->height(); };
    splMain->setUpperSize = [this](int h) { setCustomerGridHeight(h); };
    grdServis = makeRecordGrid(this, &srcServis, "grdServis",
                               {"id\t10\tKayıt No", "tarih\t12\tTarih", "km\t10\tKM",
                                "ariza\t20\tArıza", "islem\t20\tYapılan İşlem",
                                "iscilik\t12\tİşçilik", "tutar\t12\tTutar", "odeme\t12\tÖdeme"});

    pnlToplam = makeTotalsPanel(this);
    pnlToplam->setObjectName("pnlToplam");

    pnlButtons = new PlainPanel(this);
    pnlButtons->setObjectName("pnlButtons");
    struct Command {
        controls::TGradButton** button;
        const char* name;
        const char* caption;
        int left;
        void (TfrmMain::*handler)();
        bool rightAnchored;
    };
    const Command commands[] = {
        {&btnMusteriYeni, "btnMusteriYeni", "Yeni Müşteri", 2, &TfrmMain::btnMusteriYeniClick,
         false},
        {&btnMusteriDuzenle, "btnMusteriDuzenle", "Müşteri Düzenle", 89,
         &TfrmMain::btnMusteriDuzenleClick, false},
        {&btnMusteriSil, "btnMusteriSil", "Müşteri Sil", 176, &TfrmMain::btnMusteriSilClick, false},
        {&btnMusteriAra, "btnMusteriAra", "Müşteri Ara", 263, &TfrmMain::btnMusteriAraClick, false},
        {&btnServisYeni, "btnServisYeni", "Yeni Servis", 423, &TfrmMain::btnServisYeniClick, true},
        {&btnServisDuzenle, "btnServisDuzenle", "Servis Düzenle", 510,
         &TfrmMain::btnServisDuzenleClick, true},
        {&btnServisSil, "btnServisSil", "Servis Sil", 597, &TfrmMain::btnServisSilClick, true},
    };
    for (const Command& s : commands) {
        auto handler = s.handler;
        *s.button =
            makeCommandButton(pnlButtons, QString::fromUtf8(s.name), QString::fromUtf8(s.caption),
                              [this, handler] { (this->*handler)(); });
        (*s.button)->setGeometry(s.left, kButtonTop, kButtonWidth, kButtonHeight);
        if (s.rightAnchored)
            rightAnchored_.emplace_back(*s.button, kDesignClientWidth - 2 * kBorder - s.left);
    }

    // Tab order: customer grid, the buttons from right to left, then the service grid.
    QWidget* order[] = {grdMain,           btnServisSil,   btnServisDuzenle,
                        btnServisYeni,     btnMusteriAra,  btnMusteriSil,
                        btnMusteriDuzenle, btnMusteriYeni, grdServis};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);
    createPaperMenus();
}

void TfrmMain::layoutControls() {
    const int w = width() - 2 * kBorder;
    const int bottom = height() - kBorder;
    int y = kBorder;
    pnlHeader->setGeometry(kBorder, y, w, kHeaderHeight);
    pnlLogo->setGeometry(1, 1, kLogoWidth, kHeaderHeight - 2);
    imgLogo->setGeometry(0, 0, kLogoWidth, kHeaderHeight - 2);
    imgBanner->setGeometry(kLogoWidth + 1, 1, qMax(0, w - kLogoWidth - 2), kHeaderHeight - 2);
    y += kHeaderHeight + kSpacer;

    pnlButtons->setGeometry(kBorder, bottom - kButtonBarHeight, w, kButtonBarHeight);
    pnlToplam->setGeometry(kBorder, bottom - kButtonBarHeight - kTotalsHeight, w, kTotalsHeight);
    const int gridsBottom = bottom - kButtonBarHeight - kTotalsHeight;

    // The upper grid keeps its height while the window has room for it above the splitter.
    int upper = qMin(customerGridHeight_, qMax(0, gridsBottom - y - kSplitterHeight));
    grdMain->setGeometry(kBorder, y, w, upper);
    grdMain->setVisible(upper > 0);
    y += upper;
    splMain->setGeometry(kBorder, y, w, kSplitterHeight);
    y += kSplitterHeight;
    grdServis->setGeometry(kBorder, y, w, qMax(0, gridsBottom - y));

    // Service commands keep their distance from the right edge.
    for (const auto& [button, right] : rightAnchored_)
        button->move(w - right, kButtonTop);
}

void TfrmMain::updateMinimumSize() {
    // The service commands, anchored right, stop short of the last customer command by the gap
    // the customer commands keep between themselves.
    const int customerEnd = btnMusteriAra->x() + btnMusteriAra->width();
    const int gap = btnMusteriDuzenle->x() - (btnMusteriYeni->x() + btnMusteriYeni->width());
    int serviceSpan = 0;
    for (const auto& [button, right] : rightAnchored_)
        serviceSpan = qMax(serviceSpan, right);
    const int bar = customerEnd + gap + serviceSpan;
    const int totals = pnlToplam->minimumSizeHint().width();
    // The grids may shrink to nothing; the header, the splitter and the bars keep their height.
    const int height = kHeaderHeight + kSpacer + kSplitterHeight +
                       qMax(kTotalsHeight, pnlToplam->minimumSizeHint().height()) +
                       kButtonBarHeight;
    setMinimumSize(qMax(bar, totals) + 2 * kBorder, height + 2 * kBorder);
}

void TfrmMain::showTotals(const QString& text) {
    setTotalsCaption(pnlToplam, text);
    updateMinimumSize();
}

void TfrmMain::setCustomerGridHeight(int height) {
    customerGridHeight_ = qMax(0, height);
    layoutControls();
}

void TfrmMain::resizeEvent(QResizeEvent*) {
    layoutControls();
}

void TfrmMain::showEvent(QShowEvent*) {
    if (centred_)
        return;
    centred_ = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfrmMain::paintEvent(QPaintEvent*) {
    // The database file's check starts once the window has been painted: beside the start-up it
    // would compete with it for the processor.
    if (checkStarted_)
        return;
    checkStarted_ = true;
    // A timer fires once the events waiting now (the rest of the painting) have been handled.
    QTimer::singleShot(0, this, [this] {
        dbsPRJ.engine().startCheck();
        if (liveRefreshMissing_)
            showLiveRefreshNotice();
    });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // FormClose: the window is freed when it closes.
    setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void TfrmMain::FormCreate() {
    platform::guarded([this] {
        dbsPRJ.setConnectionString(data::korvelaConnectionString(applicationDirectory_));
        dbsPRJ.open();
        startLiveRefresh();
        qryMain.open();
    });
}

void TfrmMain::startLiveRefresh() {
    // The feed's place is taken before the customers are read, so nothing saved meanwhile is
    // missed.
    liveRefreshMissing_ = !liveRefresh.start();
}

void TfrmMain::showLiveRefreshNotice() {
    liveRefreshMissing_ = false;
    const QString path = dbsPRJ.engine().path();
    const QString target =
        path.isEmpty() ? cursor::Connection::valueOf(dbsPRJ.connectionString(), "Server") : path;
    platform::messageDlg(data::liveRefreshMissingNotice(target), platform::MsgType::Information,
                         int(platform::MsgButton::OK));
}

bool TfrmMain::mayShowLiveChanges() {
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget() &&
           !QWidget::mouseGrabber();
}

void TfrmMain::showVisitTotals() {
    // The visits changed elsewhere: the sums follow, the current visit stays where it is.
    showTotals(QString::fromUtf8(kNotFormed));
    showTotals(data::totalsLineText(data::sumVisits(qryServis)));
}

void TfrmMain::fileStateChanged() {
    updateTitle();
    platform::guarded([this] { dbsPRJ.engine().reportDamage(); });
}

void TfrmMain::showWaitForCheck(bool waiting) {
    if (waiting) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        setWindowTitle(QString::fromUtf8(kTitle) + QString::fromUtf8(kWaitingForCheck));
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    updateTitle();
}

void TfrmMain::updateTitle() {
    const bool readOnly =
        dbsPRJ.connected() && dbsPRJ.engine().writeState() == cursor::WriteState::ReadOnly;
    setWindowTitle(QString::fromUtf8(kTitle) +
                   (readOnly ? QString::fromUtf8(kReadOnly) : QString()));
}

QString TfrmMain::totalsText(Money total, Money paid, Money balance) {
    return data::totalsLineText(total, paid, balance);
}

void TfrmMain::showZeroTotals() {
    showTotals(totalsText({}, {}, {}));
}

void TfrmMain::loadVisits() {
    // The next customer's visits are shown scrolled sideways as far as these were.
    const int leftColumn = grdServis->leftColumn();
    qryServis.close();
    // Without a current customer there is no statement to build: the list stays empty and
    // the sums read zero.
    liveRefresh.setCustomer(qryServis, std::nullopt);
    if (!qryMain.active() || qryMain.isEmpty()) {
        showZeroTotals();
        return;
    }
    liveRefresh.setCustomer(qryServis, qryMain.fieldByName(QStringLiteral("id")).asInteger());
    qryServis.clearSql();
    qryServis.addSql(QStringLiteral("select * from t_servis where id_musteri=") +
                     qryMain.fieldByName(QStringLiteral("id")).asString());
    // The previous customer's sums must not stay beside this customer: if opening fails, the
    // totals line says so (the totals pass replaces this text when the list opens).
    showTotals(QString::fromUtf8(kVisitsNotOpened));
    qryServis.open();
    grdServis->setLeftColumn(leftColumn);
}

void TfrmMain::qryMainAfterScroll(TDataSet&) {
    if (qryMain.state() != TDataSetState::dsBrowse)
        return;
    loadVisits();
}

void TfrmMain::qryMainAfterPost(TDataSet&) {
    // A saved new or edited customer is the current one: its own visits are listed.
    loadVisits();
}

void TfrmMain::qryServisCalcFields(TDataSet& ds) {
    data::calculateVisit(ds);
}

void TfrmMain::qryServisAmountValidate(data::TField& field, const cursor::Value& value) {
    // An amount is refused when the visit's total or balance could not be formed with it; a
    // visit whose other amounts are unreadable already cannot be summed and is not judged.
    std::optional<Money> amounts[3];
    const char* const names[3] = {"f_iscilik", "f_tutar", "f_odeme"};
    for (int i = 0; i < 3; ++i)
        amounts[i] = field.fieldName() == QLatin1String(names[i])
                         ? newAmount(value)
                         : qryServis.fieldByName(QString::fromLatin1(names[i])).tryAsMoney();
    if (!amounts[0] || !amounts[1] || !amounts[2])
        return;
    if (!data::visitSums(*amounts[0], *amounts[1], *amounts[2]))
        throw EDatabaseError(
            QStringLiteral("%1 çok büyük: bu tutarla servisin toplamı hesaplanamaz")
                .arg(field.displayName()));
}

void TfrmMain::qryServisAfterOpen(TDataSet&) {
    // Written first so that a failure during the pass leaves no stale sums behind.
    showTotals(QString::fromUtf8(kNotFormed));
    // The pass walks the list to its end, one visit at a time as the grid shows it: the last
    // visit becomes the current one.
    qryServis.first();
    const int count = qryServis.recordCount();
    for (int i = 0; i < count; ++i)
        qryServis.next();
    showTotals(data::totalsLineText(data::sumVisits(qryServis)));
}

void TfrmMain::btnMusteriYeniClick() {
    auto dialog = std::make_unique<dialogs::TfrmCustomer>(&srcMain);
    qryMain.insert();
    dialog->exec();
}

void TfrmMain::btnMusteriDuzenleClick() {
    auto dialog = std::make_unique<dialogs::TfrmCustomer>(&srcMain);
    qryMain.edit();
    dialog->exec();
}

void TfrmMain::btnMusteriSilClick() {
    if (platform::messageDlg(QStringLiteral("Bu kayıt tamamen silinecek ?"),
                             platform::MsgType::Confirmation,
                             int(platform::MsgButton::Yes) | int(platform::MsgButton::No)) !=
        platform::MsgButton::Yes)
        return;
    // When the delete fails because another workstation changed or deleted the customer, the
    // list shows what is stored now once the error box closes.
    if (qryMain.active() && !qryMain.isEmpty())
        liveRefresh.reread(qryMain, qryMain.fieldByName(QStringLiteral("id")).asInteger());
    qryMain.remove();
}

void TfrmMain::btnMusteriAraClick() {
    QString name = qryMain.fieldByName(QStringLiteral("f_adi")).asString();
    if (!platform::inputQuery(QStringLiteral("Müşteri Arama"), QStringLiteral("Müşteri Adı:"),
                              name))
        return;
    if (qryMain.locate(QStringLiteral("f_adi"), {name}, data::TLocateOption::loPartialKey))
        return;
    // No name begins with the text: a plate, then a phone number, may still find the customer.
    if (const std::optional<qint64> id = data::findCustomerByPlateOrPhone(qryMain, name))
        qryMain.locate(QStringLiteral("id"), {QString::number(*id)}, {});
}

namespace {

// A visit always belongs to a customer: without a current one, nothing is started.
bool requireCustomer(data::TQuery& qryMain) {
    if (qryMain.active() && !qryMain.isEmpty() && qryMain.state() == TDataSetState::dsBrowse)
        return true;
    platform::messageDlg(QStringLiteral("Servis kaydı için önce bir müşteri seçilmelidir."),
                         platform::MsgType::Warning, int(platform::MsgButton::OK));
    return false;
}

} // namespace

void TfrmMain::btnServisYeniClick() {
    if (!requireCustomer(qryMain))
        return;
    auto dialog = std::make_unique<dialogs::TfrmService>(&srcServis);
    qryServis.insert();
    qryServis.fieldByName(QStringLiteral("id_musteri"))
        .setAsInteger(qryMain.fieldByName(QStringLiteral("id")).asInteger());
    dialog->exec();
}

void TfrmMain::btnServisDuzenleClick() {
    // On an empty list editing starts a new visit, which must be linked like any new one.
    if ((!qryServis.active() || qryServis.isEmpty()) && !requireCustomer(qryMain))
        return;
    auto dialog = std::make_unique<dialogs::TfrmService>(&srcServis);
    qryServis.edit();
    if (qryServis.state() == TDataSetState::dsInsert)
        qryServis.fieldByName(QStringLiteral("id_musteri"))
            .setAsInteger(qryMain.fieldByName(QStringLiteral("id")).asInteger());
    dialog->exec();
}

void TfrmMain::btnServisSilClick() {
    if (platform::messageDlg(QStringLiteral("Bu servis kaydı tamamen silinecek ?"),
                             platform::MsgType::Confirmation,
                             int(platform::MsgButton::Yes) | int(platform::MsgButton::No)) !=
        platform::MsgButton::Yes)
        return;
    if (qryServis.active() && !qryServis.isEmpty())
        liveRefresh.reread(qryServis, qryServis.fieldByName(QStringLiteral("id")).asInteger());
    qryServis.remove();
    // The sums must not include the deleted visit.
    qryServisAfterOpen(qryServis);
}

QString TfrmMain::webAddress() const {
    return QStringLiteral("file://") + applicationDirectory_ + QStringLiteral("guide.html");
}

void TfrmMain::Image1Click() {
    xlib::shellOpen(webAddress());
}

} // namespace app
