// Colours: 24-bit RGB numbers (red the lowest byte), named system colours, and "none".
#pragma once

#include <QColor>
#include <cstdint>

namespace platform {

// A colour as a stored number: 0x00BBGGRR for plain colours, 0x800000nn for the system colour
// with index nn, and 0x1FFFFFFF (536870911) for "none", which is not black.
struct TColor {
    std::uint32_t value = 0;

    static constexpr TColor fromNumber(std::uint32_t n) { return TColor{n}; }
    // From the #RRGGBB notation.
    static constexpr TColor fromHex(std::uint32_t rrggbb) {
        return TColor{((rrggbb & 0xFF) << 16) | (rrggbb & 0xFF00) | ((rrggbb >> 16) & 0xFF)};
    }
    static constexpr TColor fromRgb(int r, int g, int b) {
        return TColor{std::uint32_t(r & 0xFF) | (std::uint32_t(g & 0xFF) << 8) |
                      (std::uint32_t(b & 0xFF) << 16)};
    }
    constexpr bool isNone() const { return value == 0x1FFFFFFF; }
    constexpr bool isSystem() const { return (value & 0xFF000000u) == 0x80000000u; }
    // The three bytes taken straight from the number (no system colour translation).
    constexpr int red() const { return value & 0xFF; }
    constexpr int green() const { return (value >> 8) & 0xFF; }
    constexpr int blue() const { return (value >> 16) & 0xFF; }
    // The colour to paint with: system colours from the fixed table, plain colours as they are.
    QColor toQColor() const;
    friend constexpr bool operator==(TColor, TColor) = default;
};

inline constexpr TColor clNone{0x1FFFFFFF};
inline constexpr TColor clBlack = TColor::fromHex(0x000000);
inline constexpr TColor clWhite = TColor::fromHex(0xFFFFFF);
inline constexpr TColor clSilver = TColor::fromHex(0xC0C0C0);
inline constexpr TColor clGray = TColor::fromHex(0x808080);
inline constexpr TColor clCream = TColor::fromHex(0xFFFBF0);

// System colours (Windows COLOR_* indices), resolved through a fixed classic table so that
// rendering is the same on every machine.
inline constexpr TColor clScrollBar{0x80000000};
inline constexpr TColor clWindow{0x80000005};
inline constexpr TColor clWindowText{0x80000008};
inline constexpr TColor clHighlight{0x8000000D};
inline constexpr TColor clHighlightText{0x8000000E};
inline constexpr TColor clBtnFace{0x8000000F};
inline constexpr TColor clBtnShadow{0x80000010};
inline constexpr TColor clGrayText{0x80000011};
inline constexpr TColor clBtnText{0x80000012};
inline constexpr TColor clBtnHighlight{0x80000014};
inline constexpr TColor cl3DDkShadow{0x80000015};
inline constexpr TColor cl3DLight{0x80000016};
inline constexpr TColor clInfoText{0x80000017};
inline constexpr TColor clInfoBk{0x80000018};

// The RGB value of a system colour index (the fixed table).
QColor systemColor(int index);

} // namespace platform
