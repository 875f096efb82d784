// Tests of TGradButton: schemes, stored layouts, painted pixels, glyph placement, mouse and key
// sequences, dialog keys, accelerators and the form's modal result.
#include "controls/GradButton.h"
#include "platform/Fonts.h"

#include "tests/support/Ink.h"
#include "tests/support/PaintCounter.h"
#include <QDialog>
#include <QEnterEvent>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using controls::TGradButton;
using platform::TColor;

using test_support::hexOf;
using test_support::inkBox;
using test_support::px;

namespace {

QImage solidGlyph(int w, int h, QRgb rgb) {
    QImage g(w, h, QImage::Format_RGB32);
    g.fill(rgb);
    return g;
}

void sendEnter(QWidget* w) {
    QEnterEvent e(QPointF(5, 5), QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)));
    QApplication::sendEvent(w, &e);
}

void sendLeave(QWidget* w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

// The button as the main window configures it: 85 x 27, csNeoSilver, Tahoma 11.
void makeCommandLike(TGradButton& b) {
    b.resize(85, 27);
    b.setFont(platform::tahoma(11));
    b.setColorScheme(TGradButton::csNeoSilver);
}

// A shown, active top-level window for focus and key tests.
struct Window {
    QWidget widget;
    Window() {
        widget.resize(320, 200);
        widget.show();
        widget.activateWindow();
        (void)QTest::qWaitForWindowActive(&widget);
    }
    void focus(QWidget* w) {
        w->setFocus(Qt::OtherFocusReason);
        QApplication::processEvents();
    }
};

// A focusable widget that takes no keys, so they travel on to the window.
QWidget* plainFocusable(QWidget* parent) {
    auto* w = new QWidget(parent);
    w->setFocusPolicy(Qt::StrongFocus);
    w->setGeometry(200, 150, 20, 20);
    w->show();
    return w;
}

// ---------------------------------------------------------------- creation and schemes

TEST(GradButtonCreation, NewButtonReadsNeoDesertWithWhiteOverDownAndDisabledGradients) {
    TGradButton b;
    EXPECT_EQ(b.size(), QSize(75, 25));
    EXPECT_EQ(b.colorScheme(), TGradButton::csNeoDesert);
    EXPECT_TRUE(b.gradient());
    EXPECT_TRUE(b.ctl3D());
    EXPECT_TRUE(b.hotTrack());
    EXPECT_TRUE(b.transparentGlyph());
    EXPECT_EQ(b.spacing(), 4);
    EXPECT_EQ(b.layout(), TGradButton::blGlyphLeft);
    EXPECT_FALSE(b.cancel());
    EXPECT_FALSE(b.isDefault());
    EXPECT_EQ(b.modalResult(), 0);
    EXPECT_TRUE(b.glyph().isNull());
    EXPECT_EQ(b.focusPolicy(), Qt::TabFocus); // Tab reaches it, a click does not focus it
    EXPECT_EQ(b.visualState(), TGradButton::vsNormal);
    EXPECT_FALSE(b.isPressed());
    EXPECT_FALSE(b.hasFocusFlag());
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorGrad)), 0xFFBE37u);
    EXPECT_EQ(hexOf(b.color(TGradButton::OverColorGrad)), 0xFFFFFFu);
    EXPECT_EQ(hexOf(b.color(TGradButton::DownColorGrad)), 0xFFFFFFu);
    EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorGrad)), 0xFFFFFFu);
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorFocusRect)), 0xFF8040u);
    // As a stored number, #FF8040 is 4227327 (red in the lowest byte).
    EXPECT_EQ(b.color(TGradButton::ColorFocusRect).value, 4227327u);
}

struct SchemeRow {
    TGradButton::TColorScheme scheme;
    std::uint32_t face, grad, light, dark, border; // normal set (grad 0: kept by a flat scheme)
    std::uint32_t overFace, overDark, downFace, downLight, focusRect;
    bool gradient;
};

std::string schemeName(const ::testing::TestParamInfo<SchemeRow>& info) {
    static const char* names[] = {"NeoDesert", "NeoSky", "NeoGrass", "NeoSilver",
                                  "NeoRose",   "NeoSun", "Desert",   "Grass",
                                  "Sky",       "Sun",    "Rose",     "Silver"};
    return names[info.param.scheme];
}

void PrintTo(const SchemeRow& row, std::ostream* os) {
    *os << "scheme " << int(row.scheme);
}

class GradButtonScheme : public ::testing::TestWithParam<SchemeRow> {};

TEST_P(GradButtonScheme, WritesTheTableColoursAndReadsBackTheScheme) {
    const SchemeRow& row = GetParam();
    TGradButton b;
    // Distinct Grad colours show which ones a flat scheme keeps.
    b.setColor(TGradButton::ColorGrad, TColor::fromHex(0x010203));
    b.setColor(TGradButton::OverColorGrad, TColor::fromHex(0x040506));
    b.setColor(TGradButton::DownColorGrad, TColor::fromHex(0x070809));
    b.setColor(TGradButton::DisabledColorGrad, TColor::fromHex(0x0A0B0C));
    b.setGradient(!row.gradient);
    b.setColorScheme(row.scheme);

    EXPECT_EQ(b.colorScheme(), row.scheme);
    EXPECT_EQ(b.gradient(), row.gradient);
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorFace)), row.face);
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorLight)), row.light);
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorDark)), row.dark);
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorBorder)), row.border);
    EXPECT_EQ(hexOf(b.color(TGradButton::OverColorFace)), row.overFace);
    EXPECT_EQ(hexOf(b.color(TGradButton::OverColorDark)), row.overDark);
    EXPECT_EQ(hexOf(b.color(TGradButton::DownColorFace)), row.downFace);
    EXPECT_EQ(hexOf(b.color(TGradButton::DownColorLight)), row.downLight);
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorFocusRect)), row.focusRect);
    for (int text :
         {TGradButton::ColorText, TGradButton::OverColorText, TGradButton::DownColorText})
        EXPECT_EQ(hexOf(b.color(text)), 0x000000u);
    EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorText)), 0x808080u);

    if (row.gradient) {
        EXPECT_EQ(hexOf(b.color(TGradButton::ColorGrad)), row.grad);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorFace)), 0xEEEEEEu);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorGrad)), 0xFFFFFFu);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorLight)), 0xFFFFFFu);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorDark)), 0xD2D2D2u);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorBorder)), 0x808080u);
    } else {
        EXPECT_EQ(hexOf(b.color(TGradButton::ColorGrad)), 0x010203u);
        EXPECT_EQ(hexOf(b.color(TGradButton::OverColorGrad)), 0x040506u);
        EXPECT_EQ(hexOf(b.color(TGradButton::DownColorGrad)), 0x070809u);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorGrad)), 0x0A0B0Cu);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorFace)), 0xE2E2E2u);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorLight)), 0xEAEAEAu);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorDark)), 0xD8D8D8u);
        EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorBorder)), 0xC4C4C4u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    AllSchemes, GradButtonScheme,
    ::testing::Values(SchemeRow{TGradButton::csNeoDesert, 0xFFECC6, 0xFFBE37, 0xFFE7B9, 0xE89C00,
                                0x805600, 0xFFE7B3, 0xD28E00, 0xFFBA2B, 0xB77700, 0xFF8040, true},
                      SchemeRow{TGradButton::csNeoSky, 0xDDEEFF, 0x6CB6FF, 0xD9ECFF, 0x51A8FF,
                                0x0059B3, 0xD7EBFF, 0x3E9EFF, 0x66B3FF, 0x3E9EFF, 0x53A9FF, true},
                      SchemeRow{TGradButton::csNeoGrass, 0xE8F9DD, 0x8EDF5E, 0xDBF5CB, 0x5CB924,
                                0x376F15, 0xD2F2BF, 0x59B423, 0x83DC4E, 0x3E7D17, 0x5CB924, true},
                      SchemeRow{TGradButton::csNeoSilver, 0xF3F3F3, 0xBCBCBC, 0xF7F7F7, 0xA7A7A7,
                                0x626262, 0xF0F0F0, 0xA2A2A2, 0xCACACA, 0x7C7C7C, 0xADADAD, true},
                      SchemeRow{TGradButton::csNeoRose, 0xFFE8E8, 0xFF9595, 0xFFDDDD, 0xFF8282,
                                0x9D0000, 0xFFDFDF, 0xFF6A6A, 0xFFA6A6, 0xFF5E5E, 0xFF5E5E, true},
                      SchemeRow{TGradButton::csNeoSun, 0xFFFFF0, 0xF9D820, 0xFFFFF2, 0xBBBB00,
                                0x646400, 0xFFFCD5, 0xA6A600, 0xF5D105, 0x848400, 0xBBBB00, true},
                      SchemeRow{TGradButton::csDesert, 0xFFDD95, 0, 0xFFE7B9, 0xE89C00, 0x805600,
                                0xFFD06F, 0xD28E00, 0xFFD06F, 0xB77700, 0xFF8040, false},
                      SchemeRow{TGradButton::csGrass, 0xB7EB98, 0, 0xDBF5CB, 0x5CB924, 0x376F15,
                                0x96E168, 0x59B423, 0x83DC4E, 0x3E7D17, 0x21A400, false},
                      SchemeRow{TGradButton::csSky, 0xC1E0FF, 0, 0xD9ECFF, 0x53A9FF, 0x0059B3,
                                0x9BCDFF, 0x64B1FF, 0x82C0FF, 0x2291FF, 0x149BDC, false},
                      SchemeRow{TGradButton::csSun, 0xFFFFA8, 0, 0xFFFFF2, 0xBBBB00, 0x646400,
                                0xFFF366, 0xA6A600, 0xFFEE22, 0x848400, 0xF48C00, false},
                      SchemeRow{TGradButton::csRose, 0xFFC6C6, 0, 0xFFDDDD, 0xFF8282, 0x9D0000,
                                0xFFB0B0, 0xFF6A6A, 0xFF9F9F, 0xFF5E5E, 0xFF5E5E, false},
                      SchemeRow{TGradButton::csSilver, 0xE0E0E0, 0, 0xF7F7F7, 0xAEAEAE, 0x626262,
                                0xCFCFCF, 0x797979, 0xD3D3D3, 0x7C7C7C, 0x8A8A8A, false}),
    schemeName);

TEST(GradButtonSchemes, AnyColourWriteMakesTheSchemeCustomAndASchemeWriteReplacesOnlyItsColours) {
    TGradButton b;
    b.setColorScheme(TGradButton::csNeoSky);
    b.setColor(TGradButton::OverColorBorder, TColor::fromHex(0x123456));
    EXPECT_EQ(b.colorScheme(), TGradButton::csCustom);
    EXPECT_EQ(hexOf(b.color(TGradButton::OverColorBorder)), 0x123456u);
    // Writing csCustom changes no colour.
    b.setColorScheme(TGradButton::csCustom);
    EXPECT_EQ(hexOf(b.color(TGradButton::OverColorBorder)), 0x123456u);
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorFace)), 0xDDEEFFu);
    b.setColorScheme(TGradButton::csNeoSky);
    EXPECT_EQ(b.colorScheme(), TGradButton::csNeoSky);
    EXPECT_EQ(hexOf(b.color(TGradButton::OverColorBorder)), 0x0059B3u);
}

TEST(GradButtonSchemes, FlatAfterNeoKeepsTheGradColoursAndGradientOnBlendsToThem) {
    TGradButton b;
    b.resize(40, 27);
    b.setCtl3D(false);
    b.setColorScheme(TGradButton::csNeoSilver);
    b.setColorScheme(TGradButton::csSilver);
    EXPECT_FALSE(b.gradient());
    EXPECT_EQ(hexOf(b.color(TGradButton::ColorGrad)), 0xBCBCBCu);
    EXPECT_EQ(hexOf(b.color(TGradButton::OverColorGrad)), 0xA6A6A6u);
    EXPECT_EQ(hexOf(b.color(TGradButton::DownColorGrad)), 0xDADADAu);
    EXPECT_EQ(hexOf(b.color(TGradButton::DisabledColorGrad)), 0xFFFFFFu);
    QImage flat = b.renderImage();
    EXPECT_EQ(px(flat, 20, 13), 0xE0E0E0u);
    EXPECT_EQ(px(flat, 20, 25), 0xE0E0E0u);
    // Face #E0E0E0 (224) to the left-over #BCBCBC (188) over 27 rows: row 13 is 224 - 13*36/27.
    b.setGradient(true);
    QImage blended = b.renderImage();
    EXPECT_EQ(px(blended, 20, 1), 0xE0E0E0u - 0x010101u);
    EXPECT_EQ(px(blended, 20, 13), 0xCFCFCFu);
}

// ---------------------------------------------------------------- stored layouts

TEST(GradButtonLayout, StoredSchemeReplacesStoredColoursAndStoredGradientWins) {
    TGradButton b;
    TGradButton::TStoredLayout stored;
    stored.colors.fill(TColor::fromHex(0x123456));
    stored.colorScheme = TGradButton::csNeoSilver;
    stored.gradient = false;
    stored.spacing = 7;
    stored.layout = TGradButton::blGlyphTop;
    b.readLayout(stored);
    EXPECT_EQ(b.colorScheme(), TGradButton::csNeoSilver);
    EXPECT_EQ(b.color(TGradButton::ColorFace), TColor::fromHex(0xF3F3F3));
    EXPECT_EQ(b.color(TGradButton::DisabledColorGrad), TColor::fromHex(0xFFFFFF));
    EXPECT_EQ(b.color(TGradButton::ColorFocusRect), TColor::fromHex(0xADADAD));
    EXPECT_FALSE(b.gradient());
    EXPECT_EQ(b.spacing(), 7);
    EXPECT_EQ(b.layout(), TGradButton::blGlyphTop);
}

TEST(GradButtonLayout, StoredFlatSchemeKeepsTheStoredGradColours) {
    TGradButton b;
    TGradButton::TStoredLayout stored;
    stored.colors.fill(TColor::fromHex(0x123456));
    stored.colorScheme = TGradButton::csSky;
    stored.gradient = true;
    b.readLayout(stored);
    EXPECT_EQ(b.colorScheme(), TGradButton::csSky);
    EXPECT_EQ(b.color(TGradButton::ColorGrad), TColor::fromHex(0x123456));
    EXPECT_EQ(b.color(TGradButton::DownColorGrad), TColor::fromHex(0x123456));
    EXPECT_EQ(b.color(TGradButton::ColorFace), TColor::fromHex(0xC1E0FF));
    EXPECT_TRUE(b.gradient());
}

TEST(GradButtonLayout, StoredCustomSchemeKeepsEveryStoredColour) {
    TGradButton b;
    TGradButton::TStoredLayout stored;
    stored.colors = TGradButton::schemeColors(TGradButton::csNeoSilver);
    stored.colors[TGradButton::ColorText] = platform::clWindowText;
    stored.colorScheme = TGradButton::csCustom;
    stored.isDefault = true;
    stored.modalResult = 2;
    b.readLayout(stored);
    EXPECT_EQ(b.colorScheme(), TGradButton::csCustom);
    EXPECT_EQ(b.color(TGradButton::ColorText), platform::clWindowText);
    EXPECT_EQ(b.color(TGradButton::ColorFace), TColor::fromHex(0xF3F3F3));
    EXPECT_TRUE(b.isDefault());
    EXPECT_EQ(b.modalResult(), 2);
}

// ---------------------------------------------------------------- painting

TEST(GradButtonPaint, FaceRowsFollowTheGradientWithHalfToEvenRounding) {
    TGradButton b;
    makeCommandLike(b);
    b.setCtl3D(false);
    const QImage img = b.renderImage();
    // 243 -> 188 over 27 rows: row 13 is 216.52, row 25 is 192.07; row 0 and row 26 are border.
    EXPECT_EQ(px(img, 40, 13), 0xD9D9D9u);
    EXPECT_EQ(px(img, 40, 25), 0xC0C0C0u);
    EXPECT_EQ(px(img, 40, 1), 0xF1F1F1u);

    // 0 -> 8 over 16 rows steps 0.5: odd rows are ties, and ties go to the even value.
    b.resize(10, 16);
    b.setColor(TGradButton::ColorFace, TColor::fromHex(0x000000));
    b.setColor(TGradButton::ColorGrad, TColor::fromHex(0x080808));
    b.setColor(TGradButton::ColorBorder, TColor::fromHex(0xFF0000));
    const QImage ties = b.renderImage();
    const std::uint32_t expected[16] = {0, 0, 1, 2, 2, 2, 3, 4, 4, 4, 5, 6, 6, 6, 7, 8};
    for (int y = 1; y < 15; ++y)
        EXPECT_EQ(px(ties, 5, y), expected[y] * 0x010101u) << "row " << y;
}

TEST(GradButtonPaint, BorderAndBevelPixelsAtTheCorners) {
    TGradButton b;
    makeCommandLike(b);
    const QImage img = b.renderImage();
    const int W = 85, H = 27;
    for (QPoint p : {QPoint(0, 0), QPoint(W - 1, 0), QPoint(0, H - 1), QPoint(W - 1, H - 1),
                     QPoint(40, 0), QPoint(40, H - 1), QPoint(0, 13), QPoint(W - 1, 13)})
        EXPECT_EQ(px(img, p.x(), p.y()), 0x626262u) << p.x() << "," << p.y();
    // Light: column 1 from row 2 to H-2 and row 1 from column 1 to W-3.
    for (QPoint p : {QPoint(1, 1), QPoint(1, 2), QPoint(1, H - 2), QPoint(W - 3, 1)})
        EXPECT_EQ(px(img, p.x(), p.y()), 0xF7F7F7u) << p.x() << "," << p.y();
    // Dark: column W-2 from row 1 to H-3 and row H-2 from column W-2 down to column 2.
    for (QPoint p :
         {QPoint(W - 2, 1), QPoint(W - 2, H - 3), QPoint(W - 2, H - 2), QPoint(2, H - 2)})
        EXPECT_EQ(px(img, p.x(), p.y()), 0xA7A7A7u) << p.x() << "," << p.y();
    // Inside the bevels, the gradient (row 2: 243 - 2*55/27 = 238.93).
    EXPECT_EQ(px(img, 2, 2), 0xEFEFEFu);
}

TEST(GradButtonPaint, FocusRectangleOutlinesThreePixelsIn) {
    Window win;
    auto* b = new TGradButton(&win.widget);
    makeCommandLike(*b);
    b->show();
    win.focus(b);
    ASSERT_TRUE(b->hasFocusFlag());
    QImage img = b->renderImage();
    for (QPoint p :
         {QPoint(3, 3), QPoint(81, 3), QPoint(3, 23), QPoint(81, 23), QPoint(40, 3), QPoint(3, 13)})
        EXPECT_EQ(px(img, p.x(), p.y()), 0xADADADu) << p.x() << "," << p.y();
    EXPECT_NE(px(img, 82, 24), 0xADADADu);
    EXPECT_NE(px(img, 4, 4), 0xADADADu);
    EXPECT_NE(px(img, 2, 2), 0xADADADu);
    // The same pixels on the screen copy.
    EXPECT_EQ(px(b->grab().toImage(), 81, 23), 0xADADADu);

    plainFocusable(&win.widget);
    win.focus(win.widget.findChildren<QWidget*>().last());
    EXPECT_FALSE(b->hasFocusFlag());
    EXPECT_NE(px(b->renderImage(), 3, 3), 0xADADADu);
}

TEST(GradButtonPaint, DownLookShiftsCaptionAndGlyphOnePixelRightAndDown) {
    TGradButton b;
    makeCommandLike(b);
    b.resize(85, 41);
    b.setCaption("Tamam");
    b.setGlyph(solidGlyph(8, 8, qRgb(0, 0, 255)));
    b.setTransparentGlyph(false);
    const QImage normal = b.renderImage();
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(b.visualState(), TGradButton::vsDown);
    const QImage down = b.renderImage();
    const QRect textNormal = inkBox(normal, 0x000000), textDown = inkBox(down, 0x000000);
    const QRect glyphNormal = inkBox(normal, 0x0000FF), glyphDown = inkBox(down, 0x0000FF);
    ASSERT_FALSE(textNormal.isEmpty());
    ASSERT_FALSE(glyphNormal.isEmpty());
    EXPECT_EQ(textDown, textNormal.translated(1, 1));
    EXPECT_EQ(glyphDown, glyphNormal.translated(1, 1));
    EXPECT_EQ(px(down, 1, 1), 0x7C7C7Cu); // the down set's Light
}

TEST(GradButtonPaint, TransparentGlyphSkipsPixelsOfItsTopLeftColour) {
    TGradButton b;
    makeCommandLike(b);
    b.setCtl3D(false);
    QImage g(6, 6, QImage::Format_RGB32);
    g.fill(qRgb(255, 0, 255));
    for (int y = 2; y < 4; ++y)
        for (int x = 2; x < 4; ++x)
            g.setPixel(x, y, qRgb(255, 0, 0));
    b.setGlyph(g);
    // No caption: gx = (85 - 0) div 2 - 3 = 39, gy = (27 - 6) div 2 = 10.
    QImage img = b.renderImage();
    EXPECT_EQ(inkBox(img, 0xFF0000), QRect(41, 12, 2, 2));
    EXPECT_TRUE(inkBox(img, 0xFF00FF).isEmpty());
    EXPECT_EQ(px(img, 39, 10), 0xDFDFDFu); // the gradient's row 10: 243 - 10*55/27 = 222.63
    b.setTransparentGlyph(false);
    img = b.renderImage();
    EXPECT_EQ(inkBox(img, 0xFF00FF), QRect(39, 10, 6, 6));
}

TEST(GradButtonPaint, DisabledButtonUsesTheDisabledSetInEveryStateStillAsAGradient) {
    TGradButton b;
    makeCommandLike(b);
    b.setCaption("Sil");
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(10, 10));
    b.setEnabled(false);
    const QImage img = b.renderImage();
    EXPECT_EQ(px(img, 0, 0), 0x808080u);
    EXPECT_EQ(px(img, 1, 1), 0xFFFFFFu);
    EXPECT_EQ(px(img, 83, 1), 0xD2D2D2u);
    // #EEEEEE (238) -> #FFFFFF over 27 rows: row 13 is 238 + 13*17/27 = 246.19.
    EXPECT_EQ(px(img, 5, 13), 0xF6F6F6u);
    EXPECT_FALSE(inkBox(img, 0x808080, QRect(2, 2, 81, 23)).isEmpty()); // grey caption
    EXPECT_TRUE(inkBox(img, 0x000000).isEmpty());
}

TEST(GradButtonPaint, AmpersandUnderlinesTheNextCharacterAndIsNotDrawn) {
    TGradButton b;
    makeCommandLike(b);
    b.setCaption("Tamam");
    const QRect plain = inkBox(b.renderImage(), 0x000000);
    b.setCaption("&Tamam");
    const QImage img = b.renderImage();
    const QRect marked = inkBox(img, 0x000000);
    const QRect letters = inkBox(img, 0x000000, QRect(0, 0, 85, plain.bottom() + 1));
    // The text rectangle is wider by the "&", the drawn caption centred in it: within a pixel.
    EXPECT_LE(std::abs(letters.left() - plain.left()), 1);
    EXPECT_EQ(letters.size(), plain.size());
    // Rows below the letters hold the underline, as wide as the "T" and under it.
    EXPECT_GT(marked.bottom(), plain.bottom());
    const QRect underline = inkBox(img, 0x000000, QRect(0, marked.bottom(), 85, 1));
    EXPECT_EQ(underline.width(), platform::textWidth(platform::tahoma(11), "T"));
    EXPECT_LE(underline.left(), letters.left());
    EXPECT_LT(underline.right(), letters.left() + 8);
}

// Glyph placement: the gap between glyph and caption and the centring across.
struct PlacementRow {
    TGradButton::TButtonLayout layout;
    int gw, gh, spacing;
    int gap; // expected gap between glyph and caption
};

void PrintTo(const PlacementRow& row, std::ostream* os) {
    *os << "layout " << int(row.layout) << ", glyph " << row.gw << "x" << row.gh << ", spacing "
        << row.spacing;
}

class GradButtonGlyphPlacement : public ::testing::TestWithParam<PlacementRow> {};

TEST_P(GradButtonGlyphPlacement, GapAndCentring) {
    const PlacementRow& row = GetParam();
    const int W = 95, H = 41;
    TGradButton b;
    makeCommandLike(b);
    b.resize(W, H);
    b.setCaption("Kaydet");
    const QRect textAlone = inkBox(b.renderImage(), 0x000000);
    const QSize ext(platform::textWidth(b.font(), "Kaydet"), platform::windowsTextHeight(b.font()));
    // Where the caption's cell starts relative to its ink.
    const QPoint inkOffset =
        textAlone.topLeft() - QPoint((W - ext.width()) / 2, (H - ext.height()) / 2);
    b.setGlyph(solidGlyph(row.gw, row.gh, qRgb(0, 0, 255)));
    b.setTransparentGlyph(false);
    b.setSpacing(row.spacing);
    b.setLayout(row.layout);
    const QImage img = b.renderImage();
    const QRect glyph = inkBox(img, 0x0000FF);
    ASSERT_EQ(glyph.size(), QSize(row.gw, row.gh));
    const QPoint cell = inkBox(img, 0x000000).topLeft() - inkOffset;
    switch (row.layout) {
    case TGradButton::blGlyphLeft:
        EXPECT_EQ(cell.x() - (glyph.right() + 1), row.gap);
        EXPECT_EQ(glyph.top(), (H - row.gh) / 2);
        break;
    case TGradButton::blGlyphRight:
        EXPECT_EQ(glyph.left() - (cell.x() + ext.width()), row.gap);
        EXPECT_EQ(glyph.top(), (H - row.gh) / 2);
        break;
    case TGradButton::blGlyphTop:
        EXPECT_EQ(cell.y() - (glyph.bottom() + 1), row.gap);
        EXPECT_EQ(glyph.left(), (W - row.gw) / 2);
        break;
    case TGradButton::blGlyphBottom:
        EXPECT_EQ(glyph.top() - (cell.y() + ext.height()), row.gap);
        EXPECT_EQ(glyph.left(), (W - row.gw) / 2);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(LayoutsAndWidths, GradButtonGlyphPlacement,
                         ::testing::Values(PlacementRow{TGradButton::blGlyphLeft, 8, 8, 4, 4},
                                           PlacementRow{TGradButton::blGlyphLeft, 7, 7, 4, 3},
                                           PlacementRow{TGradButton::blGlyphLeft, 8, 8, 5, 5},
                                           PlacementRow{TGradButton::blGlyphLeft, 7, 7, 5, 4},
                                           PlacementRow{TGradButton::blGlyphRight, 8, 8, 4, 4},
                                           PlacementRow{TGradButton::blGlyphRight, 7, 7, 4, 4},
                                           PlacementRow{TGradButton::blGlyphRight, 7, 7, 5, 5},
                                           PlacementRow{TGradButton::blGlyphTop, 8, 8, 4, 4},
                                           PlacementRow{TGradButton::blGlyphTop, 7, 7, 4, 4},
                                           PlacementRow{TGradButton::blGlyphTop, 7, 7, 5, 5},
                                           PlacementRow{TGradButton::blGlyphBottom, 8, 8, 4, 4},
                                           PlacementRow{TGradButton::blGlyphBottom, 7, 7, 4, 4},
                                           PlacementRow{TGradButton::blGlyphBottom, 7, 7, 5, 5}));

TEST(GradButtonPaint, GlyphWithoutCaptionIgnoresSpacingAndCentresOnTheEmptyCaption) {
    TGradButton b;
    makeCommandLike(b);
    b.setTransparentGlyph(false);
    b.setGlyph(solidGlyph(8, 6, qRgb(0, 0, 255)));
    // Empty caption: tx = 85 div 2 = 42, ty = (27 - 13) div 2 = 7.
    struct {
        TGradButton::TButtonLayout layout;
        QPoint origin;
    } cases[] = {{TGradButton::blGlyphLeft, {38, 10}},
                 {TGradButton::blGlyphRight, {38, 10}},
                 {TGradButton::blGlyphTop, {38, 4}},
                 {TGradButton::blGlyphBottom, {38, 17}}};
    for (const auto& c : cases) {
        b.setLayout(c.layout);
        for (int s : {0, 4, 9}) {
            b.setSpacing(s);
            EXPECT_EQ(inkBox(b.renderImage(), 0x0000FF).topLeft(), c.origin)
                << "layout " << int(c.layout) << " spacing " << s;
        }
    }
}

// ---------------------------------------------------------------- mouse sequences

struct Recorder {
    std::vector<std::string> log;
    void attach(TGradButton& b) {
        static const char* names[] = {"normal", "over", "down"};
        auto state = [&b] {
            return std::string(names[b.visualState()]) + (b.isPressed() ? "+pressed" : "");
        };
        b.OnMouseDown = [this, state](Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
            log.push_back(std::string(button == Qt::LeftButton ? "down" : "rdown") + "@" + state());
        };
        b.OnMouseUp = [this, state](Qt::MouseButton button, Qt::KeyboardModifiers, int, int) {
            log.push_back(std::string(button == Qt::LeftButton ? "up" : "rup") + "@" + state());
        };
        b.OnClick = [this, state] { log.push_back("click@" + state()); };
    }
};

struct MouseStep {
    char action; // e enter, l leave, p press, r release, d double-click press, P/R right button,
                 // m move (with the pressed buttons held)
    QPoint pos;
};

struct MouseRow {
    const char* name;
    bool hotTrack;
    std::vector<MouseStep> steps;
    std::vector<std::string> log;
    TGradButton::TVisualState finalState;
    bool finalPressed = false;
};

void PrintTo(const MouseRow& row, std::ostream* os) {
    *os << row.name;
}

class GradButtonMouse : public ::testing::TestWithParam<MouseRow> {};

TEST_P(GradButtonMouse, EventsAndLooksInOrder) {
    const MouseRow& row = GetParam();
    TGradButton b;
    b.setHotTrack(row.hotTrack);
    Recorder rec;
    rec.attach(b);
    for (const MouseStep& s : row.steps) {
        switch (s.action) {
        case 'e':
            sendEnter(&b);
            break;
        case 'l':
            sendLeave(&b);
            break;
        case 'p':
            QTest::mousePress(&b, Qt::LeftButton, {}, s.pos);
            break;
        case 'r':
            QTest::mouseRelease(&b, Qt::LeftButton, {}, s.pos);
            break;
        case 'd':
            QTest::mouseDClick(&b, Qt::LeftButton, {}, s.pos);
            break;
        case 'P':
            QTest::mousePress(&b, Qt::RightButton, {}, s.pos);
            break;
        case 'R':
            QTest::mouseRelease(&b, Qt::RightButton, {}, s.pos);
            break;
        case 'm':
            QTest::mouseMove(&b, s.pos);
            break;
        }
    }
    EXPECT_EQ(rec.log, row.log);
    EXPECT_EQ(b.visualState(), row.finalState);
    EXPECT_EQ(b.isPressed(), row.finalPressed);
}

const QPoint in(10, 10);

INSTANTIATE_TEST_SUITE_P(
    Sequences, GradButtonMouse,
    ::testing::Values(
        MouseRow{"PressReleaseInside",
                 true,
                 {{'e', {}}, {'p', in}, {'r', in}},
                 {"down@over", "click@normal+pressed", "up@normal+pressed"},
                 TGradButton::vsOver},
        MouseRow{"ReleaseOutsideKeepsTheDownLook",
                 true,
                 {{'e', {}}, {'p', in}, {'r', {100, 10}}},
                 {"down@over", "up@down+pressed"},
                 TGradButton::vsDown},
        MouseRow{"ReleaseOnColumnZeroClicksButLeavesNormal",
                 true,
                 {{'e', {}}, {'p', in}, {'r', {0, 10}}},
                 {"down@over", "click@normal+pressed", "up@normal+pressed"},
                 TGradButton::vsNormal},
        MouseRow{"ReleaseOnRowZeroClicksButLeavesNormal",
                 true,
                 {{'e', {}}, {'p', in}, {'r', {10, 0}}},
                 {"down@over", "click@normal+pressed", "up@normal+pressed"},
                 TGradButton::vsNormal},
        MouseRow{"HotTrackOffNeverShowsOver",
                 false,
                 {{'e', {}}, {'p', in}, {'r', in}, {'e', {}}},
                 {"down@normal", "click@normal+pressed", "up@normal+pressed"},
                 TGradButton::vsNormal},
        MouseRow{"LeaveWhilePressedThenEnterShowsDown",
                 true,
                 {{'e', {}}, {'p', in}, {'l', {}}, {'e', {}}},
                 {"down@over"},
                 TGradButton::vsDown,
                 true},
        // While the button is held the pointer is grabbed and no enter or leave
        // comes: the look follows the pointer's moves across the edge.
        MouseRow{"DraggedOffWhileHeldShowsNormalAndReleaseOutsideDoesNotClick",
                 true,
                 {{'e', {}}, {'p', in}, {'m', {12, 10}}, {'m', {100, 10}}, {'r', {100, 10}}},
                 {"down@over", "up@normal+pressed"},
                 TGradButton::vsNormal},
        MouseRow{"DraggedBackInWhileHeldShowsDownAndClicks",
                 true,
                 {{'e', {}}, {'p', in}, {'m', {100, 10}}, {'m', {-5, 10}}, {'m', in}, {'r', in}},
                 {"down@over", "click@normal+pressed", "up@normal+pressed"},
                 TGradButton::vsOver},
        MouseRow{"DraggedBackInWithoutHotTrackStaysNormal",
                 false,
                 {{'p', in}, {'m', {100, 10}}, {'m', in}, {'r', {100, 10}}},
                 {"down@normal", "up@normal+pressed"},
                 TGradButton::vsNormal},
        MouseRow{"SecondPressOfADoubleClickRaisesNoClick",
                 true,
                 {{'e', {}}, {'p', in}, {'r', in}, {'d', in}, {'r', in}},
                 {"down@over", "click@normal+pressed", "up@normal+pressed", "down@over",
                  "up@down+pressed"},
                 TGradButton::vsOver},
        MouseRow{"RightButtonNeitherPressesNorClicks",
                 true,
                 {{'e', {}}, {'P', in}, {'R', in}},
                 {"rdown@over", "rup@over"},
                 TGradButton::vsOver}),
    [](const ::testing::TestParamInfo<MouseRow>& info) { return std::string(info.param.name); });

TEST(GradButtonMouse, AClickLeavesTheKeyboardFocusWhereItWas) {
    Window win;
    auto* b = new TGradButton(&win.widget);
    b->setGeometry(0, 0, 85, 27);
    b->show();
    QWidget* other = plainFocusable(&win.widget);
    win.focus(other);
    int clicks = 0;
    b->OnClick = [&] { ++clicks; };
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_FALSE(b->hasFocusFlag());
    // Tab reaches it.
    QTest::keyClick(other, Qt::Key_Tab);
    EXPECT_TRUE(b->hasFocus());
}

TEST(GradButtonMouse, StateChangesRepaintAtOnceAndPropertyChangesLater) {
    Window win;
    auto* b = new TGradButton(&win.widget);
    const testsupport::PaintCounter painted(b);
    b->show();
    QApplication::processEvents();
    int paints = painted.count();
    sendEnter(b);
    EXPECT_EQ(painted.count(), paints + 1);
    QTest::mousePress(b, Qt::LeftButton, {}, in);
    EXPECT_GE(painted.count(), paints + 2);
    paints = painted.count();
    b->setColor(TGradButton::ColorFace, TColor::fromHex(0x102030));
    b->setCaption("Yeni");
    EXPECT_EQ(painted.count(), paints);
    QApplication::processEvents();
    EXPECT_GT(painted.count(), paints);
    QTest::mouseRelease(b, Qt::LeftButton, {}, in);
}

TEST(GradButtonMouse, TheNormalLookIsOnScreenBeforeOnClickRuns) {
    Window win;
    auto* b = new TGradButton(&win.widget);
    const testsupport::PaintCounter painted(b);
    makeCommandLike(*b);
    b->show();
    QApplication::processEvents();
    sendEnter(b);
    QTest::mousePress(b, Qt::LeftButton, {}, in);
    const int paintsWhileDown = painted.count();
    std::optional<TGradButton::TVisualState> stateInClick;
    int paintsInClick = 0;
    std::uint32_t screenInClick = 0;
    b->OnClick = [&] {
        stateInClick = b->visualState();
        paintsInClick = painted.count();
        screenInClick = px(b->grab().toImage(), 1, 1);
    };
    QTest::mouseRelease(b, Qt::LeftButton, {}, in);
    ASSERT_TRUE(stateInClick.has_value());
    EXPECT_EQ(*stateInClick, TGradButton::vsNormal);
    EXPECT_GT(paintsInClick, paintsWhileDown);
    EXPECT_EQ(screenInClick, 0xF7F7F7u); // the normal set's Light, not the down set's
    EXPECT_EQ(b->visualState(), TGradButton::vsOver);
}

TEST(GradButtonMouse, ClickedSignalFollowsOnClick) {
    TGradButton b;
    std::vector<std::string> log;
    b.OnClick = [&] { log.push_back("OnClick"); };
    QObject::connect(&b, &TGradButton::clicked, [&] { log.push_back("clicked"); });
    QTest::mouseClick(&b, Qt::LeftButton, {}, in);
    EXPECT_EQ(log, (std::vector<std::string>{"OnClick", "clicked"}));
}

// ---------------------------------------------------------------- keys

TEST(GradButtonKeys, SpaceHeldShowsDownAndItsReleaseClicksOnce) {
    Window win;
    auto* b = new TGradButton(&win.widget);
    b->show();
    win.focus(b);
    int clicks = 0;
    b->OnClick = [&] { ++clicks; };
    QTest::keyPress(b, Qt::Key_Space);
    EXPECT_EQ(b->visualState(), TGradButton::vsDown);
    // Auto-repeat: more presses and releases, none of the releases counts.
    QKeyEvent repeatRelease(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(b, &repeatRelease);
    QKeyEvent repeatPress(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ", true);
    QApplication::sendEvent(b, &repeatPress);
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(b->visualState(), TGradButton::vsDown);
    QTest::keyRelease(b, Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b->visualState(), TGradButton::vsNormal);
}

TEST(GradButtonKeys, ReturnOnTheFocusedButtonClicksOnce) {
    Window win;
    // The Default button comes first among the window's buttons; the focused one is asked first.
    auto* other = new TGradButton(&win.widget);
    auto* b = new TGradButton(&win.widget);
    other->setDefault(true);
    b->show();
    other->show();
    win.focus(b);
    int clicks = 0, otherClicks = 0;
    b->OnClick = [&] { ++clicks; };
    other->OnClick = [&] { ++otherClicks; };
    QTest::keyClick(b, Qt::Key_Return);
    QTest::keyClick(b, Qt::Key_Enter);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(otherClicks, 0);
    // With Shift the focused button's dialog-key rule fails and the Default button takes it.
    QTest::keyClick(b, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(otherClicks, 1);
}

TEST(GradButtonKeys, ShiftReturnOnAFocusedButtonWithoutDefaultClicksItself) {
    Window win;
    auto* b = new TGradButton(&win.widget);
    b->show();
    win.focus(b);
    int clicks = 0;
    b->OnClick = [&] { ++clicks; };
    QTest::keyClick(b, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(clicks, 1);
}

struct DialogKeyRow {
    const char* name;
    bool cancel, isDefault;
    int key;
    Qt::KeyboardModifiers modifiers;
    int clicks;
};

void PrintTo(const DialogKeyRow& row, std::ostream* os) {
    *os << row.name;
}

class GradButtonDialogKey : public ::testing::TestWithParam<DialogKeyRow> {};

TEST_P(GradButtonDialogKey, ReachesTheButtonFromAnotherFocusedControl) {
    const DialogKeyRow& row = GetParam();
    Window win;
    auto* b = new TGradButton(&win.widget);
    b->setCancel(row.cancel);
    b->setDefault(row.isDefault);
    b->show();
    QWidget* focus = plainFocusable(&win.widget);
    win.focus(focus);
    ASSERT_TRUE(focus->hasFocus());
    int clicks = 0;
    b->OnClick = [&] { ++clicks; };
    QTest::keyClick(focus, Qt::Key(row.key), row.modifiers);
    EXPECT_EQ(clicks, row.clicks);
}

INSTANTIATE_TEST_SUITE_P(
    CancelAndDefault, GradButtonDialogKey,
    ::testing::Values(
        DialogKeyRow{"EscapeOnCancel", true, false, Qt::Key_Escape, Qt::NoModifier, 1},
        DialogKeyRow{"ShiftEscapeOnCancel", true, false, Qt::Key_Escape, Qt::ShiftModifier, 0},
        DialogKeyRow{"CtrlEscapeOnCancel", true, false, Qt::Key_Escape, Qt::ControlModifier, 0},
        DialogKeyRow{"AltEscapeOnCancel", true, false, Qt::Key_Escape, Qt::AltModifier, 0},
        DialogKeyRow{"EscapeWithoutCancel", false, true, Qt::Key_Escape, Qt::NoModifier, 0},
        DialogKeyRow{"ReturnOnDefault", false, true, Qt::Key_Return, Qt::NoModifier, 1},
        DialogKeyRow{"ShiftReturnOnDefault", false, true, Qt::Key_Return, Qt::ShiftModifier, 1},
        DialogKeyRow{"CtrlAltReturnOnDefault", false, true, Qt::Key_Return,
                     Qt::ControlModifier | Qt::AltModifier, 1},
        DialogKeyRow{"ReturnOnCancel", true, false, Qt::Key_Return, Qt::NoModifier, 0},
        DialogKeyRow{"ReturnUnfocusedPlain", false, false, Qt::Key_Return, Qt::NoModifier, 0}),
    [](const ::testing::TestParamInfo<DialogKeyRow>& info) {
        return std::string(info.param.name);
    });

TEST(GradButtonKeys, DisabledOrHiddenButtonsTakeNoDialogKey) {
    Window win;
    auto* b = new TGradButton(&win.widget);
    b->setDefault(true);
    b->setCancel(true);
    b->show();
    QWidget* focus = plainFocusable(&win.widget);
    win.focus(focus);
    int clicks = 0;
    b->OnClick = [&] { ++clicks; };
    b->setEnabled(false);
    QTest::keyClick(focus, Qt::Key_Return);
    b->setEnabled(true);
    b->hide();
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_EQ(clicks, 0);
}

TEST(GradButtonKeys, AcceleratorClicksAnEnabledButtonCaseInsensitively) {
    Window win;
    auto* save = new TGradButton(&win.widget);
    save->setCaption("&Kaydet");
    auto* close = new TGradButton(&win.widget);
    close->setCaption("Ka&pat");
    save->show();
    close->show();
    QWidget* focus = plainFocusable(&win.widget);
    win.focus(focus);
    std::vector<std::string> log;
    save->OnClick = [&] { log.push_back("save"); };
    close->OnClick = [&] { log.push_back("close"); };
    QTest::keyClick(focus, Qt::Key_K, Qt::AltModifier);
    QTest::keyClick(focus, Qt::Key_P);
    QTest::keyClick(focus, Qt::Key_A); // not an accelerator
    QTest::keyClick(focus, Qt::Key_K, Qt::ControlModifier);
    // From a focused button, which takes no characters, a plain letter is an accelerator too.
    win.focus(save);
    QTest::keyClick(save, Qt::Key_P);
    close->setEnabled(false);
    QTest::keyClick(save, Qt::Key_P);
    EXPECT_EQ(log, (std::vector<std::string>{"save", "close", "close"}));
}

// ---------------------------------------------------------------- modal result

TEST(GradButtonModalResult, ClickHandsTheModalResultToTheDialogWhichClosesAfterOnClick) {
    QDialog dialog;
    auto* ok = new TGradButton(&dialog);
    ok->setModalResult(1);
    dialog.show();
    bool visibleInClick = false;
    int resultInClick = -1;
    ok->OnClick = [&] {
        visibleInClick = dialog.isVisible();
        resultInClick = controls::formModalResult(&dialog);
    };
    QTest::mouseClick(ok, Qt::LeftButton, {}, in);
    EXPECT_TRUE(visibleInClick);
    EXPECT_EQ(resultInClick, 1);
    QApplication::processEvents();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 1);
}

TEST(GradButtonModalResult, ExecReturnsTheButtonsModalResult) {
    QDialog dialog;
    auto* cancel = new TGradButton(&dialog);
    cancel->setModalResult(2);
    cancel->setCancel(true);
    QTimer::singleShot(0, &dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); });
    EXPECT_EQ(dialog.exec(), 2);
}

TEST(GradButtonModalResult, OnClickCanKeepTheDialogOpenAndAZeroResultIsWrittenToo) {
    QDialog dialog;
    auto* save = new TGradButton(&dialog);
    save->setModalResult(1);
    save->OnClick = [&] { controls::setFormModalResult(&dialog, 0); };
    dialog.show();
    QTest::mouseClick(save, Qt::LeftButton, {}, in);
    QApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());

    auto* plain = new TGradButton(&dialog);
    plain->show();
    controls::setFormModalResult(&dialog, 5);
    controls::setFormModalResult(&dialog, 0);
    QApplication::processEvents();
    controls::setFormModalResult(&dialog, 7);
    plain->click(); // writes its 0 before the queued close looks
    QApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(controls::formModalResult(&dialog), 0);
}

TEST(GradButtonModalResult, AButtonWithoutAFormStillClicks) {
    TGradButton b;
    b.setModalResult(1);
    int clicks = 0;
    b.OnClick = [&] { ++clicks; };
    b.click();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(controls::parentForm(&b), nullptr);
    EXPECT_EQ(controls::formModalResult(&b), 0);
}

} // namespace
