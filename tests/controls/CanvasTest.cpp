// Tests of TCanvas: GDI pixel rules for lines and rectangles, the gradient fill and prefix text.
#include "controls/Canvas.h"
#include "platform/Fonts.h"

#include <gtest/gtest.h>

#include <cmath>

using controls::TCanvas;
using controls::TGradientDirection;
using platform::TColor;

namespace {

std::uint32_t px(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFF;
}

QImage blank(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

TEST(CanvasPixels, LinesExcludeTheirEndPointAndRectanglesOutlineUpToRightMinusOne) {
    QImage img = blank(10, 10);
    TCanvas c(img);
    c.penColor = TColor::fromHex(0xFF0000);
    c.moveTo(1, 1);
    c.lineTo(5, 1);
    EXPECT_EQ(px(img, 1, 1), 0xFF0000u);
    EXPECT_EQ(px(img, 4, 1), 0xFF0000u);
    EXPECT_EQ(px(img, 5, 1), 0xFFFFFFu);
    EXPECT_EQ(c.penPos(), QPoint(5, 1));

    img.fill(Qt::white);
    c.penColor = TColor::fromHex(0x0000FF);
    c.brushColor = TColor::fromHex(0x00FF00);
    c.rectangle(2, 2, 6, 5);
    EXPECT_EQ(px(img, 2, 2), 0x0000FFu);
    EXPECT_EQ(px(img, 5, 4), 0x0000FFu);
    EXPECT_EQ(px(img, 6, 5), 0xFFFFFFu);
    EXPECT_EQ(px(img, 3, 3), 0x00FF00u);
    EXPECT_EQ(px(img, 4, 3), 0x00FF00u);

    img.fill(Qt::white);
    c.brushClear = true;
    c.rectangle(2, 2, 6, 5);
    EXPECT_EQ(px(img, 3, 3), 0xFFFFFFu);
}

TEST(CanvasGradient, TwentySevenRowsOfNeoSilverAtRowsZeroThirteenAndTwentySix) {
    QImage img = blank(4, 27);
    TCanvas c(img);
    c.gradient(4, 27, TColor::fromHex(0xF3F3F3), TColor::fromHex(0xBCBCBC),
               TGradientDirection::Vertical);
    EXPECT_EQ(px(img, 0, 0), 0xF3F3F3u);
    EXPECT_EQ(px(img, 3, 13), 0xD9D9D9u); // 243 - 13*55/27 = 216.52
    EXPECT_EQ(px(img, 2, 26), 0xBEBEBEu); // 26/27 of the way: 190.04, never #BCBCBC
}

TEST(CanvasGradient, EachChannelRoundsItsTiesToEven) {
    QImage img = blank(3, 8);
    TCanvas c(img);
    // Steps of exactly 0.5 in red and green, -0.5 in blue: every odd row is a tie.
    c.gradient(3, 8, TColor::fromRgb(0, 1, 10), TColor::fromRgb(4, 5, 6),
               TGradientDirection::Vertical);
    const int red[8] = {0, 0, 1, 2, 2, 2, 3, 4};
    const int green[8] = {1, 2, 2, 2, 3, 4, 4, 4};
    const int blue[8] = {10, 10, 9, 8, 8, 8, 7, 6};
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(px(img, 1, y), std::uint32_t(red[y] << 16 | green[y] << 8 | blue[y]))
            << "row " << y;
}

TEST(CanvasGradient, EndBytesComeStraightFromTheColourNumberAndTheLastLineFallsOutside) {
    QImage img = blank(2, 2);
    TCanvas c(img);
    // clBtnFace is 0x8000000F: its bytes are red 0x0F, green 0, blue 0.
    c.gradient(2, 2, TColor::fromRgb(0x0F, 0, 0), platform::clBtnFace,
               TGradientDirection::Vertical);
    EXPECT_EQ(px(img, 0, 1), 0x0F0000u);
    c.penColor = TColor::fromHex(0x123456);
    c.moveTo(1, 1);
    c.gradient(2, 2, TColor::fromHex(0), TColor::fromHex(0xFFFFFF), TGradientDirection::Horizontal);
    EXPECT_EQ(c.penColor, TColor::fromHex(0x123456));
    EXPECT_EQ(c.penPos(), QPoint(1, 1));
}

TEST(CanvasGradient, DiagonalLinesCoverXPlusYAndSkipColumnZero) {
    QImage img = blank(5, 4);
    TCanvas c(img);
    c.gradient(5, 4, TColor::fromRgb(0, 0, 0), TColor::fromRgb(90, 0, 0),
               TGradientDirection::Diagonal);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(px(img, 0, y), 0xFFFFFFu);
        for (int x = 1; x < 5; ++x)
            EXPECT_EQ(px(img, x, y), std::uint32_t(10 * (x + y)) << 16) << x << "," << y;
    }
}

TEST(CanvasGradient, NoStepsDrawNothing) {
    QImage img = blank(3, 3);
    TCanvas c(img);
    c.gradient(0, 3, TColor::fromHex(0), TColor::fromHex(0), TGradientDirection::Horizontal);
    c.gradient(3, 0, TColor::fromHex(0), TColor::fromHex(0), TGradientDirection::Vertical);
    c.gradient(0, 0, TColor::fromHex(0), TColor::fromHex(0), TGradientDirection::Diagonal);
    EXPECT_EQ(px(img, 1, 1), 0xFFFFFFu);
}

TEST(CanvasText, PrefixesUnderlineTheMarkedCharacterAndDoubleAmpersandShowsOne) {
    int index = -2;
    EXPECT_EQ(controls::stripPrefix("&Kaydet", &index), "Kaydet");
    EXPECT_EQ(index, 0);
    EXPECT_EQ(controls::stripPrefix("Ka&&y&det", &index), "Ka&ydet");
    EXPECT_EQ(index, 4);
    EXPECT_EQ(controls::stripPrefix("Kapat", &index), "Kapat");
    EXPECT_EQ(index, -1);

    QImage img = blank(60, 16);
    TCanvas c(img);
    c.font = platform::tahoma(11);
    c.brushClear = true;
    c.drawText("&Tamam", QRect(0, 0, 60, 13), controls::DT_SINGLELINE | controls::DT_NOCLIP);
    // The underline lies on the row below the baseline (ascent 11), under the "T" only.
    const int tWidth = platform::textWidth(c.font, "T");
    for (int x = 0; x < tWidth; ++x)
        EXPECT_EQ(px(img, x, 12), 0x000000u) << x;
    EXPECT_EQ(px(img, tWidth + 1, 12), 0xFFFFFFu);
}

} // namespace
