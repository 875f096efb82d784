// TfrmMain: the papers of the front desk, from the grids' right-click menus and Ctrl+P.
#include "app/MainPrivate.h"
#include "app/PaperPreview.h"
#include "controls/RecordGrid.h"
#include "platform/Application.h"
#include "reports/Papers.h"

#include <QMenu>
#include <QShortcut>

namespace app {

namespace {

// A paper needs the record it is about: without one, the user is told what to choose.
bool requireRecord(data::TQuery& set, const char* message) {
    if (set.active() && !set.isEmpty() && set.state() == data::TDataSetState::dsBrowse)
        return true;
    platform::messageDlg(QString::fromUtf8(message), platform::MsgType::Warning,
                         int(platform::MsgButton::OK));
    return false;
}

// A menu entry that runs a command on the default error path.
// A key written after a tab shows beside the caption; the window's own shortcut runs it.
void addCommand(QMenu* menu, const QString& caption, const char* name,
                std::function<void()> command) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, menu,
                     [command = std::move(command)] { platform::guarded(command); });
}

// Opens the menu at the pointer's place in the grid.
void attachMenu(controls::TRecordGrid* grid, QMenu* menu) {
    grid->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(grid, &QWidget::customContextMenuRequested, menu,
                     [grid, menu](const QPoint& at) { menu->exec(grid->mapToGlobal(at)); });
}

} // namespace

void TfrmMain::Private::createPaperMenus() {
    auto* customerMenu = new QMenu(grdMain);
    customerMenu->setObjectName(QStringLiteral("mnuMusteri"));
    addCommand(customerMenu,
               QString::fromUtf8(reports::kStatementTitle) + QStringLiteral("\tCtrl+P"),
               "mnuHesapEkstresi", [this] { printStatement(); });
    addCommand(customerMenu, QString::fromUtf8(reports::kDebtorsTitle), "mnuBorcluMusteriler",
               [this] { printDebtors(); });
    attachMenu(grdMain, customerMenu);

    auto* visitMenu = new QMenu(grdServis);
    visitMenu->setObjectName(QStringLiteral("mnuServis"));
    addCommand(visitMenu, QString::fromUtf8(reports::kServiceFormTitle), "mnuServisFormu",
               [this] { printServiceForm(); });
    attachMenu(grdServis, visitMenu);

    auto* statementKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_P), &q);
    QObject::connect(statementKey, &QShortcut::activated, &q,
                     [this] { platform::guarded([this] { printStatement(); }); });
}

void TfrmMain::Private::printStatement() {
    if (!requireRecord(qryMain, "Hesap ekstresi için önce bir müşteri seçilmelidir."))
        return;
    const qint64 customer = qryMain.fieldByName(QStringLiteral("id")).asInteger();
    previewPaper(
        &q, reports::statementPaper(dbsPRJ, customer, reports::paperHeading(applicationDirectory)));
}

void TfrmMain::Private::printServiceForm() {
    if (!requireRecord(qryServis, "Servis formu için önce bir servis kaydı seçilmelidir."))
        return;
    const qint64 visit = qryServis.fieldByName(QStringLiteral("id")).asInteger();
    previewPaper(
        &q, reports::serviceFormPaper(dbsPRJ, visit, reports::paperHeading(applicationDirectory)));
}

void TfrmMain::Private::printDebtors() {
    previewPaper(&q, reports::debtorsPaper(dbsPRJ, reports::paperHeading(applicationDirectory)));
}

} // namespace app
