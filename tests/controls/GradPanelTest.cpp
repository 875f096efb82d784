// Tests of TGradPanel: schemes, stored layouts, the three fills, bevel frames and the caption.
#include "controls/GradPanel.h"
#include "platform/Fonts.h"

#include "tests/support/Ink.h"
#include "tests/support/PaintCounter.h"
#include <QTest>
#include <gtest/gtest.h>

#include <string>

using controls::TGradPanel;
using platform::TColor;

using test_support::hexOf;
using test_support::inkBox;
using test_support::px;

namespace {

// A panel with a flat face and no bevel, for caption and fill checks.
void makePlain(TGradPanel& p, int w, int h, std::uint32_t face = 0xEEEEEE) {
    p.resize(w, h);
    p.setFont(platform::tahoma(11));
    p.setColor(TGradPanel::ColorFace, TColor::fromHex(face));
    p.setColor(TGradPanel::ColorGrad, TColor::fromHex(face));
    p.setBevelOuter(TGradPanel::bvNone);
    p.setFontColor(platform::clBlack);
}

// ---------------------------------------------------------------- creation and schemes

TEST(GradPanelCreation, NewPanelHasTheDesertSchemeAndTheBasePanelDefaults) {
    TGradPanel p;
    EXPECT_EQ(p.size(), QSize(185, 41));
    EXPECT_EQ(p.colorScheme(), TGradPanel::csDesert);
    EXPECT_EQ(p.fillDirection(), TGradPanel::fdVertical);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorFace)), 0xFFFFFFu);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorGrad)), 0xFFE1A4u);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorLight)), 0xD58F00u);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorDark)), 0x9B6900u);
    EXPECT_EQ(p.alignment(), TGradPanel::taCenter);
    EXPECT_EQ(p.bevelOuter(), TGradPanel::bvRaised);
    EXPECT_EQ(p.bevelInner(), TGradPanel::bvNone);
    EXPECT_EQ(p.bevelWidth(), 1);
    EXPECT_EQ(p.fontColor(), platform::clWindowText);
    EXPECT_EQ(p.focusPolicy(), Qt::NoFocus);
}

struct PanelSchemeRow {
    TGradPanel::TColorScheme scheme;
    std::uint32_t face, grad, light, dark;
};

void PrintTo(const PanelSchemeRow& row, std::ostream* os) {
    *os << "scheme " << int(row.scheme);
}

class GradPanelScheme : public ::testing::TestWithParam<PanelSchemeRow> {};

TEST_P(GradPanelScheme, WritesTheFourColoursAndKeepsTheFillDirection) {
    const PanelSchemeRow& row = GetParam();
    TGradPanel p;
    p.setFillDirection(TGradPanel::fdDiagonal);
    p.setColorScheme(row.scheme);
    EXPECT_EQ(p.colorScheme(), row.scheme);
    EXPECT_EQ(p.fillDirection(), TGradPanel::fdDiagonal);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorFace)), row.face);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorGrad)), row.grad);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorLight)), row.light);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorDark)), row.dark);
}

INSTANTIATE_TEST_SUITE_P(
    AllSchemes, GradPanelScheme,
    ::testing::Values(
        // csCustom changes nothing: the desert colours of a new panel stay.
        PanelSchemeRow{TGradPanel::csCustom, 0xFFFFFF, 0xFFE1A4, 0xD58F00, 0x9B6900},
        PanelSchemeRow{TGradPanel::csClassic, 0xFFFFFF, 0xFFFFFF, 0x000000, 0x000000},
        PanelSchemeRow{TGradPanel::csDesert, 0xFFFFFF, 0xFFE1A4, 0xD58F00, 0x9B6900},
        PanelSchemeRow{TGradPanel::csGrass, 0xFFFFFF, 0xCBF2B0, 0x6AB53E, 0x376F15},
        PanelSchemeRow{TGradPanel::csSilver, 0xFFFFFF, 0xDEE0DA, 0x7D7D7D, 0x626262},
        PanelSchemeRow{TGradPanel::csSky, 0xFFFFFF, 0xC1E0FF, 0x4D96F0, 0x0059B3},
        PanelSchemeRow{TGradPanel::csRose, 0xFFFFFF, 0xFFCCCC, 0xCC5106, 0x9D0000},
        PanelSchemeRow{TGradPanel::csSun, 0xFFFFFF, 0xFFFFBF, 0x959500, 0x646400},
        PanelSchemeRow{TGradPanel::csOfficeClassic, 0xEEEEEE, 0xCFCFCF, 0x909090, 0x3C3C3C},
        PanelSchemeRow{TGradPanel::csOfficeSky, 0xE3EFFF, 0xAFD2FF, 0x6593CF, 0x2F5B97},
        PanelSchemeRow{TGradPanel::csOfficeGrass, 0xF0FFE3, 0xDBF0BD, 0x88CF65, 0x54962C},
        PanelSchemeRow{TGradPanel::csOfficeSilver, 0xE0E1EB, 0xCAC9D7, 0x757495, 0x424255},
        PanelSchemeRow{TGradPanel::csOfficeDesert, 0xFFF5E3, 0xFBDEB3, 0xD0A364, 0x996B2D},
        PanelSchemeRow{TGradPanel::csOfficeRose, 0xFDEAEA, 0xE9C4BC, 0xB14330, 0x731E11},
        PanelSchemeRow{TGradPanel::csOfficeGadget, 0x1C1C1C, 0x515151, 0x000000, 0x000000}));

TEST(GradPanelSchemes, AColourWriteMakesTheSchemeCustomAndABuiltInSchemeReplacesAllFour) {
    TGradPanel p;
    p.setColor(TGradPanel::ColorDark, TColor::fromHex(0x010203));
    EXPECT_EQ(p.colorScheme(), TGradPanel::csCustom);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorDark)), 0x010203u);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorGrad)), 0xFFE1A4u);
    p.setColorScheme(TGradPanel::csSky);
    EXPECT_EQ(p.colorScheme(), TGradPanel::csSky);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorDark)), 0x0059B3u);
}

TEST(GradPanelLayout, StoredSchemeReplacesStoredColoursUnlessItIsCustom) {
    TGradPanel p;
    TGradPanel::TStoredLayout stored;
    stored.colors.fill(TColor::fromHex(0x123456));
    stored.colorScheme = TGradPanel::csOfficeSky;
    stored.fillDirection = TGradPanel::fdHorizontal;
    p.readLayout(stored);
    EXPECT_EQ(p.colorScheme(), TGradPanel::csOfficeSky);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorFace)), 0xE3EFFFu);
    EXPECT_EQ(p.fillDirection(), TGradPanel::fdHorizontal);

    // The totals line: csCustom, so the stored colours stand.
    stored.colors = {TColor::fromHex(0xEEEEEE), TColor::fromHex(0xEEEEEE), platform::clBlack,
                     platform::clBlack};
    stored.colorScheme = TGradPanel::csCustom;
    stored.fillDirection = TGradPanel::fdVertical;
    p.readLayout(stored);
    EXPECT_EQ(p.colorScheme(), TGradPanel::csCustom);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorFace)), 0xEEEEEEu);
    EXPECT_EQ(hexOf(p.color(TGradPanel::ColorLight)), 0x000000u);
}

// ---------------------------------------------------------------- fills

TEST(GradPanelFill, VerticalRowZeroIsTheFaceAndRow23Of24HoldsTwentyThreeTwentyFourths) {
    TGradPanel p;
    p.resize(30, 24);
    p.setBevelOuter(TGradPanel::bvNone);
    const QImage img = p.renderImage();
    for (int x : {0, 15, 29}) {
        EXPECT_EQ(px(img, x, 0), 0xFFFFFFu);
        // G: 255 - 23*30/24 = 226.25; B: 255 - 23*91/24 = 167.79.
        EXPECT_EQ(px(img, x, 23), 0xFFE2A8u);
    }
    // Row 12 is half-way: G 240, B 209.5 plus the accumulated error of twelve steps: 210.
    EXPECT_EQ(px(img, 15, 12), 0xFFF0D2u);
}

TEST(GradPanelFill, HorizontalColumnZeroIsTheFaceAndEachColumnOneStep) {
    TGradPanel p;
    p.resize(10, 6);
    p.setBevelOuter(TGradPanel::bvNone);
    p.setFillDirection(TGradPanel::fdHorizontal);
    p.setColor(TGradPanel::ColorFace, TColor::fromHex(0x000010));
    p.setColor(TGradPanel::ColorGrad, TColor::fromHex(0x140000));
    const QImage img = p.renderImage();
    for (int x = 0; x < 10; ++x)
        for (int y : {0, 5})
            // Red 0 -> 20 in steps of 2; blue 16 -> 0 in steps of 1.6.
            EXPECT_EQ(px(img, x, y),
                      std::uint32_t((2 * x) << 16 | int(std::nearbyint(16 - 1.6 * x))))
                << x << "," << y;
}

TEST(GradPanelFill, DiagonalLeavesColumnZeroWhiteAndColoursByXPlusY) {
    TGradPanel p;
    p.resize(8, 6);
    p.setBevelOuter(TGradPanel::bvNone);
    p.setFillDirection(TGradPanel::fdDiagonal);
    p.setColorScheme(TGradPanel::csOfficeGadget);
    // #1C1C1C (28) to #515151 (81) in 14 steps of 53/14.
    p.setColor(TGradPanel::ColorGrad, TColor::fromHex(0x2A2A2A));
    // 28 -> 42 in 14 steps: exactly one per step.
    const QImage img = p.renderImage();
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(px(img, 0, y), 0xFFFFFFu) << "row " << y;
    for (int y = 0; y < 6; ++y)
        for (int x = 1; x < 8; ++x)
            EXPECT_EQ(px(img, x, y), std::uint32_t(28 + x + y) * 0x010101u) << x << "," << y;
    // A bevel covers the white column.
    p.setBevelOuter(TGradPanel::bvRaised);
    EXPECT_EQ(px(p.renderImage(), 0, 3), 0x000000u);
}

TEST(GradPanelFill, TotalsLineIsAFlatStripInABlackFrameWithABoldCentredCaption) {
    TGradPanel p;
    p.resize(300, 24);
    p.setFont(platform::tahoma(11, true));
    TGradPanel::TStoredLayout stored;
    stored.colors = {TColor::fromHex(0xEEEEEE), TColor::fromHex(0xEEEEEE), platform::clBlack,
                     platform::clBlack};
    p.readLayout(stored);
    p.setCaption("Toplam: 1.250,00");
    const QImage img = p.renderImage();
    for (QPoint q : {QPoint(0, 0), QPoint(299, 0), QPoint(0, 23), QPoint(299, 23), QPoint(150, 0),
                     QPoint(150, 23), QPoint(0, 12), QPoint(299, 12)})
        EXPECT_EQ(px(img, q.x(), q.y()), 0x000000u) << q.x() << "," << q.y();
    EXPECT_EQ(px(img, 1, 1), 0xEEEEEEu);
    EXPECT_EQ(px(img, 298, 22), 0xEEEEEEu);
    const QRect ink = inkBox(img.copy(1, 1, 298, 22), 0x000000).translated(1, 1);
    const int tw = platform::textWidth(p.font(), p.caption());
    EXPECT_NEAR(ink.center().x(), 150, 2);
    EXPECT_GE(ink.left(), (300 - tw) / 2);
    EXPECT_LE(ink.right(), (300 - tw) / 2 + tw);
}

// ---------------------------------------------------------------- bevels

struct BevelRow {
    const char* name;
    TGradPanel::TBevelCut outer, inner;
    int width;
    // Expected top-left and bottom-right colour per inset, from the outside in.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> frames;
};

constexpr std::uint32_t L = 0xFF0000, D = 0x0000FF; // light, dark

void PrintTo(const BevelRow& row, std::ostream* os) {
    *os << row.name;
}

class GradPanelBevel : public ::testing::TestWithParam<BevelRow> {};

TEST_P(GradPanelBevel, FramesAtTheirInsetsWithCornersToTheFirstLine) {
    const BevelRow& row = GetParam();
    const int W = 20, H = 12;
    TGradPanel p;
    p.resize(W, H);
    p.setColor(TGradPanel::ColorFace, TColor::fromHex(0x00FF00));
    p.setColor(TGradPanel::ColorGrad, TColor::fromHex(0x00FF00));
    p.setColor(TGradPanel::ColorLight, TColor::fromHex(L));
    p.setColor(TGradPanel::ColorDark, TColor::fromHex(D));
    p.setBevelWidth(row.width);
    p.setBevelOuter(row.outer);
    p.setBevelInner(row.inner);
    const QImage img = p.renderImage();
    for (int k = 0; k < int(row.frames.size()); ++k) {
        const auto [a, b] = row.frames[k];
        // A: left column with the bottom-left corner, top row with the top-left corner.
        EXPECT_EQ(px(img, k, H - k - 1), a) << "inset " << k << " bottom-left";
        EXPECT_EQ(px(img, k, k), a) << "inset " << k << " top-left";
        EXPECT_EQ(px(img, k, H / 2), a) << "inset " << k << " left";
        EXPECT_EQ(px(img, W / 2, k), a) << "inset " << k << " top";
        // B: right column with the top-right corner, bottom row with the bottom-right corner.
        EXPECT_EQ(px(img, W - k - 1, k), b) << "inset " << k << " top-right";
        EXPECT_EQ(px(img, W - k - 1, H - k - 1), b) << "inset " << k << " bottom-right";
        EXPECT_EQ(px(img, W - k - 1, H / 2), b) << "inset " << k << " right";
        EXPECT_EQ(px(img, W / 2, H - k - 1), b) << "inset " << k << " bottom";
    }
    const int inside = int(row.frames.size());
    EXPECT_EQ(px(img, inside, inside), 0x00FF00u);
    EXPECT_EQ(px(img, W - inside - 1, H - inside - 1), 0x00FF00u);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, GradPanelBevel,
    ::testing::Values(
        BevelRow{"RaisedOuter1", TGradPanel::bvRaised, TGradPanel::bvNone, 1, {{L, D}}},
        BevelRow{"LoweredOuter1", TGradPanel::bvLowered, TGradPanel::bvNone, 1, {{D, L}}},
        BevelRow{"SpaceOuter1", TGradPanel::bvSpace, TGradPanel::bvNone, 1, {{L, D}}},
        BevelRow{"RaisedOuter2", TGradPanel::bvRaised, TGradPanel::bvNone, 2, {{L, D}, {L, D}}},
        BevelRow{"LoweredOuter2", TGradPanel::bvLowered, TGradPanel::bvNone, 2, {{D, L}, {D, L}}},
        BevelRow{"InnerOnlyAtInsetZero", TGradPanel::bvNone, TGradPanel::bvLowered, 1, {{D, L}}},
        BevelRow{"RaisedOuterLoweredInner1",
                 TGradPanel::bvRaised,
                 TGradPanel::bvLowered,
                 1,
                 {{L, D}, {D, L}}},
        BevelRow{"LoweredOuterRaisedInner2",
                 TGradPanel::bvLowered,
                 TGradPanel::bvRaised,
                 2,
                 {{D, L}, {D, L}, {L, D}, {L, D}}},
        BevelRow{"SpaceInnerAfterSpaceOuter2",
                 TGradPanel::bvSpace,
                 TGradPanel::bvSpace,
                 2,
                 {{L, D}, {L, D}, {L, D}, {L, D}}},
        BevelRow{"None", TGradPanel::bvNone, TGradPanel::bvNone, 2, {}}),
    [](const ::testing::TestParamInfo<BevelRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- caption

struct CaptionRow {
    const char* name;
    TGradPanel::TAlignment alignment;
    TGradPanel::TBevelCut outer, inner;
    int bevelWidth;
    int expectedX; // of the caption's cell; -1: centred
};

void PrintTo(const CaptionRow& row, std::ostream* os) {
    *os << row.name;
}

class GradPanelCaption : public ::testing::TestWithParam<CaptionRow> {};

TEST_P(GradPanelCaption, StartsWhereTheAlignmentAndBevelWidthPutIt) {
    const CaptionRow& row = GetParam();
    const int CW = 120;
    const QString caption = "Kalan";
    // The ink offset of the caption inside its cell, from a plain left-justified reference at
    // x = bw + 2 = 3.
    TGradPanel ref;
    makePlain(ref, CW, 24);
    ref.setAlignment(TGradPanel::taLeftJustify);
    ref.setCaption(caption);
    const int inkOffset = inkBox(ref.renderImage(), 0x000000).left() - 3;

    TGradPanel p;
    makePlain(p, CW, 24);
    // Bevels in the fill colour so that only the caption is black.
    p.setColor(TGradPanel::ColorLight, TColor::fromHex(0xEEEEEE));
    p.setColor(TGradPanel::ColorDark, TColor::fromHex(0xEEEEEE));
    p.setBevelWidth(row.bevelWidth);
    p.setBevelOuter(row.outer);
    p.setBevelInner(row.inner);
    p.setAlignment(row.alignment);
    p.setCaption(caption);
    const int tw = platform::textWidth(p.font(), caption);
    const int expected = row.expectedX >= 0    ? row.expectedX
                         : row.expectedX == -1 ? (CW - tw) / 2
                                               : CW + row.expectedX - tw;
    EXPECT_EQ(inkBox(p.renderImage(), 0x000000).left() - inkOffset, expected);
}

// expectedX: >= 0 absolute, -1 centred, below -1: CW + value - tw (right-justified).
INSTANTIATE_TEST_SUITE_P(
    Alignments, GradPanelCaption,
    ::testing::Values(CaptionRow{"LeftNoBevel", TGradPanel::taLeftJustify, TGradPanel::bvNone,
                                 TGradPanel::bvNone, 2, 4},
                      CaptionRow{"LeftOneBevel", TGradPanel::taLeftJustify, TGradPanel::bvRaised,
                                 TGradPanel::bvNone, 2, 4},
                      CaptionRow{"LeftInnerOnly", TGradPanel::taLeftJustify, TGradPanel::bvNone,
                                 TGradPanel::bvLowered, 2, 4},
                      CaptionRow{"LeftBothBevels", TGradPanel::taLeftJustify, TGradPanel::bvRaised,
                                 TGradPanel::bvLowered, 2, 6},
                      CaptionRow{"LeftBothBevelsWidth1", TGradPanel::taLeftJustify,
                                 TGradPanel::bvRaised, TGradPanel::bvLowered, 1, 4},
                      CaptionRow{"RightOneBevel", TGradPanel::taRightJustify, TGradPanel::bvRaised,
                                 TGradPanel::bvNone, 2, -4},
                      CaptionRow{"RightBothBevels", TGradPanel::taRightJustify,
                                 TGradPanel::bvRaised, TGradPanel::bvRaised, 2, -6},
                      CaptionRow{"CentreBothBevelsStays", TGradPanel::taCenter,
                                 TGradPanel::bvRaised, TGradPanel::bvRaised, 2, -1},
                      CaptionRow{"CentreNoBevel", TGradPanel::taCenter, TGradPanel::bvNone,
                                 TGradPanel::bvNone, 1, -1}),
    [](const ::testing::TestParamInfo<CaptionRow>& info) { return std::string(info.param.name); });

TEST(GradPanelCaptionText, VerticalPositionComesFromTheSampleTextNotTheCaption) {
    TGradPanel p;
    makePlain(p, 100, 24);
    p.setAlignment(TGradPanel::taLeftJustify);
    p.setCaption("A");
    const QRect alone = inkBox(p.renderImage(), 0x000000);
    p.setCaption("Agy");
    const QRect withDescenders = inkBox(p.renderImage(), 0x000000);
    EXPECT_EQ(withDescenders.top(), alone.top());
    EXPECT_GT(withDescenders.bottom(), alone.bottom());
    // y = (CH - 13) div 2: one row lower in a panel two rows higher.
    p.resize(100, 26);
    EXPECT_EQ(inkBox(p.renderImage(), 0x000000).top(), withDescenders.top() + 1);
    p.resize(100, 23);
    EXPECT_EQ(inkBox(p.renderImage(), 0x000000).top(), withDescenders.top());
}

TEST(GradPanelCaptionText, AmpersandIsDrawnLiterallyWithoutUnderline) {
    TGradPanel p;
    makePlain(p, 100, 24);
    p.setAlignment(TGradPanel::taLeftJustify);
    p.setCaption("AB");
    const QRect plain = inkBox(p.renderImage(), 0x000000);
    p.setCaption("A&B");
    const QRect withAmpersand = inkBox(p.renderImage(), 0x000000);
    const int ampersand = platform::textWidth(p.font(), "&");
    EXPECT_EQ(withAmpersand.width(), plain.width() + ampersand);
    EXPECT_EQ(withAmpersand.bottom(), plain.bottom()); // no underline row
}

TEST(GradPanelCaptionText, WideCaptionRunsUnderTheBevelsAndCentredStartsLeftOfZero) {
    TGradPanel p;
    makePlain(p, 40, 24);
    p.setColor(TGradPanel::ColorLight, TColor::fromHex(0xFF0000));
    p.setColor(TGradPanel::ColorDark, TColor::fromHex(0x0000FF));
    p.setBevelOuter(TGradPanel::bvRaised);
    p.setCaption("WWWWWWWWWWWW");
    ASSERT_GT(platform::textWidth(p.font(), p.caption()), 40);
    QImage img = p.renderImage();
    // The bevel columns are unbroken; the text shows on both sides next to them.
    for (int y = 1; y < 23; ++y) {
        EXPECT_EQ(px(img, 0, y), 0xFF0000u) << y;
        EXPECT_EQ(px(img, 39, y), 0x0000FFu) << y;
    }
    const QRect ink = inkBox(img, 0x000000);
    EXPECT_LE(ink.left(), 2);
    EXPECT_GE(ink.right(), 37);
    // Left-justified it keeps its distance from the left edge and runs past the right one.
    p.setAlignment(TGradPanel::taLeftJustify);
    img = p.renderImage();
    EXPECT_GE(inkBox(img, 0x000000).left(), 3);
    EXPECT_GE(inkBox(img, 0x000000).right(), 37);
}

TEST(GradPanelEvents, PropertyChangesInvalidateAndAClickNeedsPressAndReleaseInside) {
    QWidget window;
    auto* p = new TGradPanel(&window);
    const testsupport::PaintCounter painted(p);
    window.show();
    QApplication::processEvents();
    const int paints = painted.count();
    p->setCaption("Toplam");
    p->setFillDirection(TGradPanel::fdHorizontal);
    EXPECT_EQ(painted.count(), paints);
    QApplication::processEvents();
    EXPECT_GT(painted.count(), paints);

    int clicks = 0;
    p->OnClick = [&] { ++clicks; };
    QTest::mouseClick(p, Qt::LeftButton, {}, QPoint(0, 0));
    QTest::mousePress(p, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseRelease(p, Qt::LeftButton, {}, QPoint(500, 5));
    EXPECT_EQ(clicks, 1);
}

} // namespace
