// TAlternatingRowRegion: where the grid and the inspector paint the tint of alternate rows.
#pragma once

#include <QFlags>

namespace controls {

enum TAlternatingRowRegion : unsigned {
    arrFixedColumns = 0x1,
    arrDataColumns = 0x2,
    arrActiveDataColumn = 0x4,
};
Q_DECLARE_FLAGS(TAlternatingRowRegions, TAlternatingRowRegion)
Q_DECLARE_OPERATORS_FOR_FLAGS(TAlternatingRowRegions)

} // namespace controls
