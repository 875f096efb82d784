// The main window's controls with the property values of its stored layout.
#include "app/MainControls.h"
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "controls/RecordGrid.h"
#include "platform/Application.h"
#include "platform/Fonts.h"

namespace app {

using namespace controls;

TRecordGrid* makeRecordGrid(QWidget* parent, data::TDataSource* source, const QString& name,
                            const std::vector<TGridColumn>& columns) {
    auto* grid = new TRecordGrid(parent);
    grid->setObjectName(name);
    grid->useMainWindowConfiguration();
    grid->setColumns(columns);
    grid->setDataSource(source);
    return grid;
}

TGradButton* makeCommandButton(QWidget* parent, const QString& name, const QString& caption,
                               std::function<void()> handler) {
    auto* button = new TGradButton(parent);
    button->setObjectName(name);
    TGradButton::TStoredLayout stored;
    stored.colors = TGradButton::schemeColors(TGradButton::csNeoSilver);
    stored.colorScheme = TGradButton::csNeoSilver;
    stored.ctl3D = true;
    stored.layout = TGradButton::blGlyphLeft;
    stored.spacing = 4;
    stored.transparentGlyph = true;
    stored.gradient = true;
    stored.hotTrack = true;
    button->readLayout(stored);
    button->setCaption(caption);
    button->OnClick = [handler = std::move(handler)] { platform::guarded(handler); };
    return button;
}

TGradPanel* makeTotalsPanel(QWidget* parent) {
    auto* panel = new TGradPanel(parent);
    TGradPanel::TStoredLayout stored;
    stored.colors = {TColor::fromHex(0xEEEEEE), TColor::fromHex(0xEEEEEE), platform::clBlack,
                     platform::clBlack};
    stored.colorScheme = TGradPanel::csCustom;
    stored.fillDirection = TGradPanel::fdVertical;
    panel->readLayout(stored);
    panel->setFont(platform::tahoma(11, true));
    panel->setCaption(QStringLiteral("Toplam Ödeme:  0 TL  -   Kalan Ödeme:  0 TL  "));
    return panel;
}

} // namespace app
