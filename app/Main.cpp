// TfrmMain: layout of the main window, the connection sequence, the visit list and the commands.
#include "app/Main.h"
#include "app/Image.h"
#include "app/MainControls.h"
#include "app/Splitter.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "data/Schema.h"
#include "dialogs/Customer.h"
#include "dialogs/Service.h"
#include "platform/Application.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"
#include "platform/Jpeg.h"
#include "xlib/XLib.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

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

// Money text of a sum through its hundredths form; empty when the amount cannot be converted.
QString sumText(Money sum) {
    std::int64_t hundredths = 0;
    if (__builtin_mul_overflow(sum.raw, std::int64_t(100), &hundredths))
        return {};
    return xlib::moneyTextFromHundredths(Money::fromRaw(hundredths));
}

// What the totals line says instead of sums it cannot form.
const char* const kVisitsNotOpened = "Servis listesi açılamadı: toplamlar gösterilemiyor";
const char* const kUnreadableAmount = "Toplamlar hesaplanamadı: okunamayan bir tutar var";
const char* const kSumTooLarge = "Toplamlar hesaplanamadı: tutarlar çok büyük";
const char* const kNotFormed = "Toplamlar hesaplanamadı";

// A visit's total and balance as its calculated fields give them back (each kept as a double and
// read back as money), or nullopt when a result lies outside the money range.
struct VisitSums {
    Money total, balance;
};

std::optional<VisitSums> visitSums(Money labour, Money material, Money paid) {
    const std::optional<Money> total = Money::sum(labour, material);
    if (!total)
        return std::nullopt;
    const std::optional<Money> totalBack = Money::fromDouble(total->toDouble());
    if (!totalBack)
        return std::nullopt;
    const std::optional<Money> balance = Money::difference(*totalBack, paid);
    if (!balance || !Money::fromDouble(balance->toDouble()))
        return std::nullopt;
    return VisitSums{*total, *balance};
}

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
// The client size the window is designed at (700 x 600 outside with the classic frame).
constexpr int kDesignClientWidth = 692;
constexpr int kDesignClientHeight = 573;

} // namespace

TfrmMain::TfrmMain(const QString& applicationDirectory, QWidget* parent)
    : QWidget(parent),
      applicationDirectory_(applicationDirectory.isEmpty() ? xlib::applicationDirectory()
                                                           : applicationDirectory) {
    setObjectName("frmMain");
    setWindowTitle(QStringLiteral("Korvela Takip"));
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
    qryServis.close();
    qryMain.close();
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

void TfrmMain::closeEvent(QCloseEvent* event) {
    // FormClose: the window is freed when it closes.
    setAttribute(Qt::WA_DeleteOnClose);
    event->accept();
}

void TfrmMain::FormCreate() {
    platform::guarded([this] {
        dbsPRJ.setConnectionString(data::korvelaConnectionString(applicationDirectory_));
        dbsPRJ.open();
        qryMain.open();
    });
}

QString TfrmMain::totalsText(Money total, Money paid, Money balance) {
    return QStringLiteral("Toplam Tutar:  ") + sumText(total) + QStringLiteral(" TL  -   ") +
           QStringLiteral("Toplam Ödeme:  ") + sumText(paid) + QStringLiteral(" TL  -   ") +
           QStringLiteral("Kalan Ödeme:  ") + sumText(balance) + QStringLiteral(" TL  ");
}

void TfrmMain::showZeroTotals() {
    showTotals(totalsText({}, {}, {}));
}

void TfrmMain::loadVisits() {
    qryServis.close();
    // Without a current customer there is no statement to build: the list stays empty and
    // the sums read zero.
    if (!qryMain.active() || qryMain.isEmpty()) {
        showZeroTotals();
        return;
    }
    qryServis.clearSql();
    qryServis.addSql(QStringLiteral("select * from t_servis where id_musteri=") +
                     qryMain.fieldByName(QStringLiteral("id")).asString());
    // The previous customer's sums must not stay beside this customer: if opening fails, the
    // totals line says so (the totals pass replaces this text when the list opens).
    showTotals(QString::fromUtf8(kVisitsNotOpened));
    qryServis.open();
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
    // An amount that cannot be read (it shows "BCD overflow") or a result outside the money
    // range leaves both calculated cells empty; the other visits stay usable.
    const std::optional<Money> labour = ds.fieldByName(QStringLiteral("f_iscilik")).tryAsMoney();
    const std::optional<Money> material = ds.fieldByName(QStringLiteral("f_tutar")).tryAsMoney();
    const std::optional<Money> paid = ds.fieldByName(QStringLiteral("f_odeme")).tryAsMoney();
    if (!labour || !material || !paid || !visitSums(*labour, *material, *paid))
        return;
    data::TField& toplam = ds.fieldByName(QStringLiteral("c_toplam"));
    toplam.setAsMoney(*labour + *material);
    // The balance is formed from the total as the field gives it back.
    ds.fieldByName(QStringLiteral("c_kalan")).setAsMoney(toplam.asMoney() - *paid);
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
    if (!visitSums(*amounts[0], *amounts[1], *amounts[2]))
        throw EDatabaseError(
            QStringLiteral("%1 çok büyük: bu tutarla servisin toplamı hesaplanamaz")
                .arg(field.displayName()));
}

void TfrmMain::qryServisAfterOpen(TDataSet&) {
    // Written first so that a failure during the walk leaves no stale sums behind.
    showTotals(QString::fromUtf8(kNotFormed));
    std::optional<Money> total = Money{}, paid = Money{}, balance = Money{};
    bool unreadable = false;
    qryServis.first();
    const int count = qryServis.recordCount();
    data::TField& iscilik = qryServis.fieldByName(QStringLiteral("f_iscilik"));
    data::TField& tutar = qryServis.fieldByName(QStringLiteral("f_tutar"));
    data::TField& toplam = qryServis.fieldByName(QStringLiteral("c_toplam"));
    data::TField& odeme = qryServis.fieldByName(QStringLiteral("f_odeme"));
    data::TField& kalan = qryServis.fieldByName(QStringLiteral("c_kalan"));
    for (int i = 0; i < count; ++i) {
        const std::optional<Money> rowPaid = odeme.tryAsMoney();
        if (!iscilik.tryAsMoney() || !tutar.tryAsMoney() || !rowPaid) {
            unreadable = true;
        } else if (toplam.isNull() || kalan.isNull()) {
            total.reset(); // the amounts are readable: the visit's own sums overflowed
        } else {
            const std::optional<Money> rowTotal = toplam.tryAsMoney();
            const std::optional<Money> rowBalance = kalan.tryAsMoney();
            total = total && rowTotal ? Money::sum(*total, *rowTotal) : std::nullopt;
            paid = paid ? Money::sum(*paid, *rowPaid) : std::nullopt;
            balance = balance && rowBalance ? Money::sum(*balance, *rowBalance) : std::nullopt;
        }
        qryServis.next();
    }
    if (unreadable) {
        showTotals(QString::fromUtf8(kUnreadableAmount));
        return;
    }
    // A sum too large for the money text would show as a blank beside "TL".
    if (!total || !paid || !balance || sumText(*total).isEmpty() || sumText(*paid).isEmpty() ||
        sumText(*balance).isEmpty()) {
        showTotals(QString::fromUtf8(kSumTooLarge));
        return;
    }
    showTotals(totalsText(*total, *paid, *balance));
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
                             int(platform::MsgButton::Yes) | int(platform::MsgButton::No)) ==
        platform::MsgButton::Yes)
        qryMain.remove();
}

void TfrmMain::btnMusteriAraClick() {
    QString name = qryMain.fieldByName(QStringLiteral("f_adi")).asString();
    if (platform::inputQuery(QStringLiteral("Müşteri Arama"), QStringLiteral("Müşteri Adı:"), name))
        qryMain.locate(QStringLiteral("f_adi"), {name}, data::TLocateOption::loPartialKey);
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
