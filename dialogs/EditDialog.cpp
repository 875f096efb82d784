// TEditDialog: layout, the two buttons and the close rule of the record dialogs.
#include "dialogs/EditDialog.h"
#include "controls/RecordInspector.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "platform/Application.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>

namespace dialogs {

namespace {

constexpr int kClientWidth = 372;
constexpr int kClientHeight = 433;
constexpr int kBorder = 10;
constexpr int kBarHeight = 35;

// The button bar: a single line along its top edge.
class ButtonBar : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), platform::clBtnFace.toQColor());
        p.fillRect(0, 0, width(), 1, platform::clBtnShadow.toQColor());
    }
};

// A dialog push button that is neither the default nor the cancel button, but answers Enter when
// it has the focus, as a focused push button does on Windows (Space it answers already).
class DialogButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        const auto held = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                Qt::AltModifier | Qt::MetaModifier);
        if (enter && !held && !event->isAutoRepeat()) {
            event->accept();
            click();
            return;
        }
        QPushButton::keyPressEvent(event);
    }
};

// The buttons are laid out against a bar as wide as the client area (lefts 170 and 272) and
// anchored to its bottom-right corner, so inside the border they keep their distance from the
// bar's right edge.
QPushButton* makeButton(QWidget* bar, const char* name, const QString& caption, int designLeft) {
    auto* b = new DialogButton(caption, bar);
    b->setObjectName(name);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setGeometry(bar->width() - (kClientWidth - designLeft), 10, 100, 23);
    return b;
}

} // namespace

TEditDialog::TEditDialog(const QString& caption, data::TDataSource* source, const Rows& rows)
    : QDialog(nullptr, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), source_(source) {
    setWindowTitle(caption);
    setModal(true);
    setFont(platform::msSansSerif(11));
    setFixedSize(kClientWidth, kClientHeight);

    insMain = new controls::TRecordInspector(this);
    insMain->setObjectName("insMain");
    insMain->applyDialogSettings(source);
    for (const auto& [field, rowCaption] : rows)
        insMain->addItem(QString::fromUtf8(field), QString::fromUtf8(rowCaption));
    insMain->setGeometry(kBorder, kBorder, kClientWidth - 2 * kBorder,
                         kClientHeight - 2 * kBorder - kBarHeight);

    pnlButtons = new ButtonBar(this);
    pnlButtons->setObjectName("pnlButtons");
    pnlButtons->setGeometry(kBorder, kClientHeight - kBorder - kBarHeight,
                            kClientWidth - 2 * kBorder, kBarHeight);
    btnTamam = makeButton(pnlButtons, "btnTamam", QStringLiteral("Kaydet"), 170);
    btnKapat = makeButton(pnlButtons, "btnKapat", QStringLiteral("İptal"), 272);
    connect(btnTamam, &QPushButton::clicked, this,
            [this] { platform::guarded([this] { btnTamamClick(); }); });
    connect(btnKapat, &QPushButton::clicked, this,
            [this] { platform::guarded([this] { btnKapatClick(); }); });
    setTabOrder(insMain, btnTamam);
    setTabOrder(btnTamam, btnKapat);

    FormCreate();
}

TEditDialog::~TEditDialog() = default;

data::TDataSet* TEditDialog::dataSet() const {
    return source_ ? source_->dataSet() : nullptr;
}

void TEditDialog::FormCreate() {
    insMain->setFocus();
}

void TEditDialog::btnTamamClick() {
    data::TDataSet* ds = dataSet();
    try {
        ds->post();
    } catch (...) {
        // A set that has left edit or insert stored the record and failed afterwards: the save
        // is done, so the dialog closes before the error is shown.
        if (!ds || !data::isEditing(ds->state()))
            accept();
        throw;
    }
    accept();
}

void TEditDialog::btnKapatClick() {
    if (data::TDataSet* ds = dataSet())
        ds->cancel();
    QDialog::reject();
}

void TEditDialog::FormClose() {
    // A change still pending when the dialog closes is discarded.
    if (data::TDataSet* ds = dataSet(); ds && data::isEditing(ds->state()))
        ds->cancel();
}

void TEditDialog::keyPressEvent(QKeyEvent* event) {
    // Neither button is the default or the cancel button: Enter and Esc press nothing unless a
    // button has the focus (it takes Enter itself).
    if (event->key() == Qt::Key_Escape || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TEditDialog::reject() {
    close();
}

void TEditDialog::closeEvent(QCloseEvent* event) {
    platform::guarded([this] { FormClose(); });
    event->accept();
    QDialog::done(QDialog::Rejected);
}

void TEditDialog::paintEvent(QPaintEvent*) {
    // The button-face background is painted here rather than put into a palette of the dialog's
    // own: every new palette gives the buttons drawn on it a new key in the style's pixmap cache,
    // so each dialog opened would leave its button pictures behind there.
    QPainter p(this);
    p.fillRect(rect(), platform::clBtnFace.toQColor());
}

void TEditDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    activateWindow();
}

} // namespace dialogs
