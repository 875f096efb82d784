// How the main window's controls are made and configured: grids, command buttons, totals line.
#pragma once

#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace data {
class TDataSource;
}

namespace controls {
class TGradButton;
class TGradPanel;
class TRecordGrid;
struct TGridColumn;
} // namespace controls

namespace app {

// A read-only record grid bound to a data source, configured as both lists of the main window.
controls::TRecordGrid* makeRecordGrid(QWidget* parent, data::TDataSource* source,
                                      const QString& name,
                                      const std::vector<controls::TGridColumn>& columns);
// A csNeoSilver command button with the glyph-left layout; clicks run the handler on the
// default error path.
controls::TGradButton* makeCommandButton(QWidget* parent, const QString& name,
                                         const QString& caption, std::function<void()> handler);
// The totals line: a flat #EEEEEE strip in a one-pixel black frame, bold Tahoma caption.
controls::TGradPanel* makeTotalsPanel(QWidget* parent);

} // namespace app
