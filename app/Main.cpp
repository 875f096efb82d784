// TfrmMain: layout of the main window, the connection sequence, the visit list and the commands.
#include "app/Main.h"
#include "app/Image.h"
#include "app/MainControls.h"
#include "app/MainPrivate.h"
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
    : QWidget(parent), d(std::make_unique<Private>(*this, applicationDirectory.isEmpty()
                                                              ? xlib::applicationDirectory()
                                                              : applicationDirectory)) {
    setObjectName("frmMain");
    setWindowTitle(QString::fromUtf8(kTitle));
    setFont(platform::tahoma(11));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, platform::clBtnFace.toQColor());
    setPalette(pal);
    setAutoFillBackground(true);
    resize(kDesignClientWidth, kDesignClientHeight);

    d->setUpRecordSets();
    d->createControls();
    d->updateMinimumSize();
    d->layoutControls();
    d->FormCreate();
}

TfrmMain::~TfrmMain() = default;

TfrmMain::Private::Private(TfrmMain& window, const QString& directory)
    : q(window), applicationDirectory(directory) {}

void TfrmMain::Private::setUpRecordSets() {
    qryMain.setConnection(&dbsPRJ);
    qryMain.addSql(QStringLiteral("select * from t_musteri"));
    data::declareCustomerFields(qryMain);
    qryMain.AfterScroll = [this](TDataSet& ds) { qryMainAfterScroll(ds); };
    qryMain.AfterPost = [this](TDataSet& ds) { qryMainAfterPost(ds); };

    qryServis.setConnection(&dbsPRJ);
    qryServis.addSql(QStringLiteral("select * from t_servis"));
    data::declareServiceFields(qryServis);
    visitFields.emplace(qryServis);
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

    liveRefresh.setObjectName("liveRefresh");
    liveRefresh.follow(qryMain, "t_musteri");
    liveRefresh.follow(qryServis, "t_servis");
    liveRefresh.mayShow = &Private::mayShowLiveChanges;
    liveRefresh.shown = [this](TDataSet& set) {
        if (&set == &qryServis)
            showVisitTotals();
    };

    // The database file is checked for damage once the window is painted; the window learns the
    // outcome on its own thread, and shows a save that waits for it.
    dbsPRJ.engine().setStateObserver([this] {
        QMetaObject::invokeMethod(
            &q, [this] { fileStateChanged(); }, Qt::QueuedConnection);
    });
    dbsPRJ.engine().setWaitObserver([this](bool waiting) { showWaitForCheck(waiting); });
}

void TfrmMain::Private::createControls() {
    pnlHeader = new HeaderPanel(&q);
    pnlHeader->setObjectName("pnlHeader");
    pnlLogo = new PlainPanel(pnlHeader);
    pnlLogo->setObjectName("pnlLogo");
    imgLogo = new TImage(pnlLogo);
    imgLogo->setObjectName("imgLogo");
    imgLogo->setCentred(true);
    imgLogo->setPicture(loadPicture(QStringLiteral(":/images/logo.jpg")));
    imgBanner = new TImage(pnlHeader);
    imgBanner->setObjectName("imgBanner");
    imgBanner->setFill(kHeaderColour);
    imgBanner->setPicture(loadPicture(QStringLiteral(":/images/banner.jpg")));
    for (TImage* picture : {imgLogo, imgBanner})
        QObject::connect(picture, &TImage::clicked, &q,
                         [this] { platform::guarded([this] { Image1Click(); }); });

    grdMain = makeRecordGrid(&q, &srcMain, "grdMain",
                             {{"f_arac_plaka", 20, "Araç Plakası"},
                              {"f_adi", 20, "Müşteri Adı"},
                              {"f_tel", 20, "Telefon"},
                              {"f_gsm", 20, "Cep Telefonu"}});
    splMain = new TSplitter(&q);
    splMain->setObjectName("splMain");
    QObject::connect(splMain, &TSplitter::sizeChosen, &q,
                     [this](int h) { setCustomerGridHeight(h); });
    grdServis = makeRecordGrid(&q, &srcServis, "grdServis",
                               {{"id", 10, "Kayıt No"},
                                {"tarih", 12, "Tarih"},
                                {"km", 10, "KM"},
                                {"ariza", 20, "Arıza"},
                                {"islem", 20, "Yapılan İşlem"},
                                {"iscilik", 12, "İşçilik"},
                                {"tutar", 12, "Tutar"},
                                {"odeme", 12, "Ödeme"}});

    pnlToplam = makeTotalsPanel(&q);
    pnlToplam->setObjectName("pnlToplam");

    pnlButtons = new PlainPanel(&q);
    pnlButtons->setObjectName("pnlButtons");
    createCommandButtons();

    // Tab order: customer grid, the buttons from right to left, then the service grid.
    QWidget* order[] = {grdMain,           btnServisSil,   btnServisDuzenle,
                        btnServisYeni,     btnMusteriAra,  btnMusteriSil,
                        btnMusteriDuzenle, btnMusteriYeni, grdServis};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
    createPaperMenus();
}

void TfrmMain::Private::createCommandButtons() {
    struct Command {
        controls::TGradButton** button;
        const char* name;
        const char* caption;
        int left;
        void (Private::*handler)();
        bool rightAnchored;
    };
    const Command commands[] = {
        {&btnMusteriYeni, "btnMusteriYeni", "Yeni Müşteri", 2, &Private::btnMusteriYeniClick,
         false},
        {&btnMusteriDuzenle, "btnMusteriDuzenle", "Müşteri Düzenle", 89,
         &Private::btnMusteriDuzenleClick, false},
        {&btnMusteriSil, "btnMusteriSil", "Müşteri Sil", 176, &Private::btnMusteriSilClick, false},
        {&btnMusteriAra, "btnMusteriAra", "Müşteri Ara", 263, &Private::btnMusteriAraClick, false},
        {&btnServisYeni, "btnServisYeni", "Yeni Servis", 423, &Private::btnServisYeniClick, true},
        {&btnServisDuzenle, "btnServisDuzenle", "Servis Düzenle", 510,
         &Private::btnServisDuzenleClick, true},
        {&btnServisSil, "btnServisSil", "Servis Sil", 597, &Private::btnServisSilClick, true},
    };
    for (const Command& s : commands) {
        auto handler = s.handler;
        *s.button =
            makeCommandButton(pnlButtons, QString::fromUtf8(s.name), QString::fromUtf8(s.caption),
                              [this, handler] { (this->*handler)(); });
        (*s.button)->setGeometry(s.left, kButtonTop, kButtonWidth, kButtonHeight);
        if (s.rightAnchored)
            rightAnchored.emplace_back(*s.button, kDesignClientWidth - 2 * kBorder - s.left);
    }
}

void TfrmMain::Private::layoutControls() {
    const int w = q.width() - 2 * kBorder;
    const int bottom = q.height() - kBorder;
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
    int upper = qMin(customerGridHeight, qMax(0, gridsBottom - y - kSplitterHeight));
    grdMain->setGeometry(kBorder, y, w, upper);
    grdMain->setVisible(upper > 0);
    y += upper;
    splMain->setGeometry(kBorder, y, w, kSplitterHeight);
    y += kSplitterHeight;
    grdServis->setGeometry(kBorder, y, w, qMax(0, gridsBottom - y));
    splMain->setSizes(customerGridHeight, customerGridHeight + grdServis->height());

    // Service commands keep their distance from the right edge.
    for (const auto& [button, right] : rightAnchored)
        button->move(w - right, kButtonTop);
}

void TfrmMain::Private::updateMinimumSize() {
    // The service commands, anchored right, stop short of the last customer command by the gap
    // the customer commands keep between themselves.
    const int customerEnd = btnMusteriAra->x() + btnMusteriAra->width();
    const int gap = btnMusteriDuzenle->x() - (btnMusteriYeni->x() + btnMusteriYeni->width());
    int serviceSpan = 0;
    for (const auto& [button, right] : rightAnchored)
        serviceSpan = qMax(serviceSpan, right);
    const int bar = customerEnd + gap + serviceSpan;
    const int totals = pnlToplam->minimumSizeHint().width();
    // The grids may shrink to nothing; the header, the splitter and the bars keep their height.
    const int height = kHeaderHeight + kSpacer + kSplitterHeight +
                       qMax(kTotalsHeight, pnlToplam->minimumSizeHint().height()) +
                       kButtonBarHeight;
    q.setMinimumSize(qMax(bar, totals) + 2 * kBorder, height + 2 * kBorder);
}

void TfrmMain::Private::showTotals(const QString& text) {
    pnlToplam->setCaption(text);
    if (totalsBatches == 0)
        totalsWidthChanged();
}

void TfrmMain::Private::totalsWidthChanged() {
    const int width = pnlToplam->minimumSizeHint().width();
    if (width == totalsWidth)
        return;
    totalsWidth = width;
    updateMinimumSize();
}

void TfrmMain::Private::setCustomerGridHeight(int height) {
    customerGridHeight = qMax(0, height);
    layoutControls();
}

void TfrmMain::resizeEvent(QResizeEvent*) {
    d->layoutControls();
}

void TfrmMain::showEvent(QShowEvent*) {
    if (d->centred)
        return;
    d->centred = true;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect avail = screen->availableGeometry();
        move(avail.center() - QPoint(width() / 2, height() / 2));
    }
}

void TfrmMain::paintEvent(QPaintEvent*) {
    // The database file's check starts once the window has been painted: beside the start-up it
    // would compete with it for the processor.
    if (d->checkStarted)
        return;
    d->checkStarted = true;
    // A timer fires once the events waiting now (the rest of the painting) have been handled.
    QTimer::singleShot(0, this, [this] {
        emit firstPainted();
        d->dbsPRJ.engine().startCheck();
        if (d->liveRefreshMissing)
            d->showLiveRefreshNotice();
    });
}

void TfrmMain::closeEvent(QCloseEvent* event) {
    // FormClose: the window is freed when it closes.
    setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void TfrmMain::Private::FormCreate() {
    platform::guarded([this] {
        dbsPRJ.setConnectionString(data::korvelaConnectionString(applicationDirectory));
        dbsPRJ.open();
        startLiveRefresh();
        qryMain.open();
    });
}

void TfrmMain::Private::startLiveRefresh() {
    // The feed's place is taken before the customers are read, so nothing saved meanwhile is
    // missed.
    liveRefreshMissing = !liveRefresh.start();
}

void TfrmMain::Private::showLiveRefreshNotice() {
    liveRefreshMissing = false;
    const QString path = dbsPRJ.engine().path();
    const QString target =
        path.isEmpty() ? cursor::Connection::valueOf(dbsPRJ.connectionString(), "Server") : path;
    platform::messageDlg(data::liveRefreshMissingNotice(target), platform::MsgType::Information,
                         int(platform::MsgButton::OK));
}

bool TfrmMain::Private::mayShowLiveChanges() {
    return !QApplication::activeModalWidget() && !QApplication::activePopupWidget() &&
           !QWidget::mouseGrabber();
}

void TfrmMain::Private::showVisitTotals() {
    // The visits changed elsewhere: the sums follow, the current visit stays where it is.
    const TotalsBatch batch(*this);
    showTotals(QString::fromUtf8(kNotFormed));
    showTotals(data::totalsLineText(data::sumVisits(qryServis)));
}

void TfrmMain::Private::fileStateChanged() {
    updateTitle();
    emit q.fileStateChanged();
    platform::guarded([this] { dbsPRJ.engine().reportDamage(); });
}

void TfrmMain::Private::showWaitForCheck(bool waiting) {
    if (waiting) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        q.setWindowTitle(QString::fromUtf8(kTitle) + QString::fromUtf8(kWaitingForCheck));
        return;
    }
    QGuiApplication::restoreOverrideCursor();
    updateTitle();
}

void TfrmMain::Private::updateTitle() {
    const bool readOnly =
        dbsPRJ.connected() && dbsPRJ.engine().writeState() == cursor::WriteState::ReadOnly;
    q.setWindowTitle(QString::fromUtf8(kTitle) +
                     (readOnly ? QString::fromUtf8(kReadOnly) : QString()));
}

void TfrmMain::Private::loadVisits() {
    // The next customer's visits are shown scrolled sideways as far as these were.
    const int leftColumn = grdServis->leftColumn();
    const TotalsBatch batch(*this);
    qryServis.close();
    // Without a current customer there is no statement to build: the list stays empty and
    // the sums read zero.
    liveRefresh.setCustomer(qryServis, std::nullopt);
    if (!qryMain.active() || qryMain.isEmpty()) {
        showTotals(data::totalsLineText(Money{}, Money{}, Money{}));
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

void TfrmMain::Private::qryMainAfterScroll(TDataSet&) {
    if (qryMain.state() != TDataSetState::dsBrowse)
        return;
    loadVisits();
}

void TfrmMain::Private::qryMainAfterPost(TDataSet&) {
    // A saved new or edited customer is the current one: its own visits are listed.
    loadVisits();
}

void TfrmMain::Private::qryServisCalcFields(TDataSet&) {
    data::calculateVisit(*visitFields);
}

void TfrmMain::Private::qryServisAmountValidate(data::TField& field, const cursor::Value& value) {
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

void TfrmMain::Private::qryServisAfterOpen(TDataSet&) {
    const TotalsBatch batch(*this);
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

void TfrmMain::Private::btnMusteriYeniClick() {
    auto dialog = std::make_unique<dialogs::TfrmCustomer>(&srcMain);
    qryMain.insert();
    dialog->exec();
}

void TfrmMain::Private::btnMusteriDuzenleClick() {
    auto dialog = std::make_unique<dialogs::TfrmCustomer>(&srcMain);
    qryMain.edit();
    dialog->exec();
}

void TfrmMain::Private::btnMusteriSilClick() {
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

void TfrmMain::Private::btnMusteriAraClick() {
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

void TfrmMain::Private::btnServisYeniClick() {
    if (!requireCustomer(qryMain))
        return;
    auto dialog = std::make_unique<dialogs::TfrmService>(&srcServis);
    qryServis.insert();
    qryServis.fieldByName(QStringLiteral("id_musteri"))
        .setAsInteger(qryMain.fieldByName(QStringLiteral("id")).asInteger());
    dialog->exec();
}

void TfrmMain::Private::btnServisDuzenleClick() {
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

void TfrmMain::Private::btnServisSilClick() {
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

QString TfrmMain::Private::webAddress() const {
    return QStringLiteral("file://") + applicationDirectory + QStringLiteral("guide.html");
}

void TfrmMain::Private::Image1Click() {
    xlib::shellOpen(webAddress());
}

} // namespace app
