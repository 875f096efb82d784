// The fixed table of system colours and the conversion of stored colour numbers.
#include "platform/Colors.h"

namespace platform {

QColor systemColor(int index) {
    switch (index) {
    case 0:
        return QColor(0xC8, 0xC8, 0xC8); // scroll bar
    case 5:
        return QColor(0xFF, 0xFF, 0xFF); // window
    case 8:
        return QColor(0x00, 0x00, 0x00); // window text
    case 13:
        return QColor(0x33, 0x99, 0xFF); // highlight
    case 14:
        return QColor(0xFF, 0xFF, 0xFF); // highlight text
    case 15:
        return QColor(0xF0, 0xF0, 0xF0); // button face
    case 16:
        return QColor(0xA0, 0xA0, 0xA0); // button shadow
    case 17:
        return QColor(0x6D, 0x6D, 0x6D); // grey text
    case 18:
        return QColor(0x00, 0x00, 0x00); // button text
    case 20:
        return QColor(0xFF, 0xFF, 0xFF); // button highlight
    case 21:
        return QColor(0x69, 0x69, 0x69); // 3D dark shadow
    case 22:
        return QColor(0xE3, 0xE3, 0xE3); // 3D light
    case 23:
        return QColor(0x00, 0x00, 0x00); // tooltip text
    case 24:
        return QColor(0xFF, 0xFF, 0xE1); // tooltip background
    default:
        return QColor(0xF0, 0xF0, 0xF0);
    }
}

QColor TColor::toQColor() const {
    if (isNone())
        return QColor(Qt::transparent);
    if (isSystem())
        return systemColor(int(value & 0xFF));
    return QColor(red(), green(), blue());
}

} // namespace platform
