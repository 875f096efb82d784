// korvela-gallery: renders every gradient button look and a set of gradient panels into one PNG.
#include "controls/GradButton.h"
#include "controls/GradPanel.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <cstdio>

using controls::TGradButton;
using controls::TGradPanel;

namespace {

const char* const kButtonSchemes[] = {"csNeoDesert", "csNeoSky", "csNeoGrass", "csNeoSilver",
                                      "csNeoRose",   "csNeoSun", "csDesert",   "csGrass",
                                      "csSky",       "csSun",    "csRose",     "csSilver"};
const char* const kPanelSchemes[] = {
    "csCustom",      "csClassic",      "csDesert",       "csGrass",         "csSilver",
    "csSky",         "csRose",         "csSun",          "csOfficeClassic", "csOfficeSky",
    "csOfficeGrass", "csOfficeSilver", "csOfficeDesert", "csOfficeRose",    "csOfficeGadget"};
const char* const kLooks[] = {"normal", "over", "down", "disabled", "focused", "glyph, down"};

// A small glyph with a magenta background (its top-left pixel) and a green tick.
QImage tickGlyph() {
    QImage g(9, 8, QImage::Format_RGB32);
    g.fill(qRgb(255, 0, 255));
    const QPoint tick[] = {{1, 4}, {2, 5}, {3, 6}, {4, 5}, {5, 4}, {6, 3}, {7, 2}, {8, 1},
                           {1, 5}, {2, 6}, {3, 7}, {4, 6}, {5, 5}, {6, 4}, {7, 3}, {8, 2}};
    for (QPoint p : tick)
        g.setPixel(p, qRgb(0, 128, 0));
    return g;
}

// One button face in a look, driven the way input would drive it.
QImage buttonLook(TGradButton::TColorScheme scheme, int look) {
    QWidget form;
    auto* b = new TGradButton(&form);
    b->resize(85, 27);
    b->setFont(platform::tahoma(11));
    b->setColorScheme(scheme);
    b->setCaption(look == 5 ? "&Kaydet" : "Kaydet");
    if (look == 5)
        b->setGlyph(tickGlyph());
    const QPointF in(10, 10);
    switch (look) {
    case 1: {
        QEnterEvent e(in, in, in);
        QApplication::sendEvent(b, &e);
        break;
    }
    case 2:
    case 5: {
        QMouseEvent e(QEvent::MouseButtonPress, in, in, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(b, &e);
        break;
    }
    case 3:
        b->setEnabled(false);
        break;
    case 4: {
        QFocusEvent e(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(b, &e);
        break;
    }
    }
    return b->renderImage();
}

QImage panelImage(int w, int h, const QString& caption, TGradPanel::TColorScheme scheme,
                  TGradPanel::TFillDirection direction, TGradPanel::TBevelCut outer,
                  TGradPanel::TBevelCut inner, int bevelWidth,
                  TGradPanel::TAlignment alignment = TGradPanel::taCenter) {
    TGradPanel p;
    p.resize(w, h);
    p.setFont(platform::tahoma(11));
    p.setColorScheme(scheme);
    p.setFillDirection(direction);
    p.setBevelOuter(outer);
    p.setBevelInner(inner);
    p.setBevelWidth(bevelWidth);
    p.setAlignment(alignment);
    p.setCaption(caption);
    if (scheme == TGradPanel::csOfficeGadget)
        p.setFontColor(platform::clWhite);
    return p.renderImage();
}

// The sheet's geometry: a label column, then the buttons, the panels, the bevels and the totals
// line, one block below the other.
struct Sheet {
    static constexpr int labelW = 110, cellW = 95, rowH = 35, top = 30;
    static constexpr int buttonsH = top + 12 * rowH;
    static constexpr int panelW = 170, panelH = 30, panelRowH = 36;
    static constexpr int panelsTop = buttonsH + 40;
    static constexpr int panelsH = 15 * panelRowH;
    static constexpr int bevelsTop = panelsTop + 30 + panelsH + 20;
    static constexpr int bevelRows = 6;
    static constexpr int width = qMax(labelW + 6 * cellW, labelW + 3 * (panelW + 10)) + 10;
    static constexpr int height = bevelsTop + 30 + bevelRows * panelRowH + 40;
    QFont label = platform::tahoma(11);
    QFont heading = platform::tahoma(11, true);
};

void drawButtons(QPainter& painter, const Sheet& g) {
    painter.setFont(g.heading);
    painter.drawText(10, 18, "TGradButton (85 x 27)");
    painter.setFont(g.label);
    for (int look = 0; look < 6; ++look)
        painter.drawText(g.labelW + look * g.cellW, g.top - 2, kLooks[look]);
    for (int s = 0; s < 12; ++s) {
        const int y = g.top + s * g.rowH + 4;
        painter.drawText(10, y + 17, kButtonSchemes[s]);
        for (int look = 0; look < 6; ++look)
            painter.drawImage(g.labelW + look * g.cellW, y,
                              buttonLook(TGradButton::TColorScheme(s), look));
    }
}

void drawPanelSchemes(QPainter& painter, const Sheet& g) {
    painter.setFont(g.heading);
    painter.drawText(10, g.panelsTop + 12, "TGradPanel schemes (raised outer bevel, width 1)");
    painter.setFont(g.label);
    const char* const directions[] = {"fdHorizontal", "fdVertical", "fdDiagonal"};
    for (int d = 0; d < 3; ++d)
        painter.drawText(g.labelW + d * (g.panelW + 10), g.panelsTop + 28, directions[d]);
    for (int s = 0; s < 15; ++s) {
        const int y = g.panelsTop + 34 + s * g.panelRowH;
        painter.drawText(10, y + 19, kPanelSchemes[s]);
        for (int d = 0; d < 3; ++d)
            painter.drawImage(g.labelW + d * (g.panelW + 10), y,
                              panelImage(g.panelW, g.panelH, "Toplam: 1.250,00 TL",
                                         TGradPanel::TColorScheme(s), TGradPanel::TFillDirection(d),
                                         TGradPanel::bvRaised, TGradPanel::bvNone, 1));
    }
}

void drawBevels(QPainter& painter, const Sheet& g) {
    painter.setFont(g.heading);
    painter.drawText(10, g.bevelsTop + 12, "TGradPanel bevels (outer / inner, csSky)");
    painter.setFont(g.label);
    struct BevelCase {
        const char* name;
        TGradPanel::TBevelCut outer, inner;
    } bevels[] = {{"raised / none", TGradPanel::bvRaised, TGradPanel::bvNone},
                  {"lowered / none", TGradPanel::bvLowered, TGradPanel::bvNone},
                  {"space / none", TGradPanel::bvSpace, TGradPanel::bvNone},
                  {"raised / lowered", TGradPanel::bvRaised, TGradPanel::bvLowered},
                  {"lowered / raised", TGradPanel::bvLowered, TGradPanel::bvRaised},
                  {"none / none", TGradPanel::bvNone, TGradPanel::bvNone}};
    const char* const widths[] = {"width 1, left", "width 2, left", "width 2, right"};
    for (int c = 0; c < 3; ++c)
        painter.drawText(g.labelW + c * (g.panelW + 10), g.bevelsTop + 28, widths[c]);
    for (int r = 0; r < g.bevelRows; ++r) {
        const int y = g.bevelsTop + 34 + r * g.panelRowH;
        painter.drawText(10, y + 19, bevels[r].name);
        for (int c = 0; c < 3; ++c)
            painter.drawImage(
                g.labelW + c * (g.panelW + 10), y,
                panelImage(g.panelW, g.panelH, "A&B Kalan", TGradPanel::csSky,
                           TGradPanel::fdVertical, bevels[r].outer, bevels[r].inner, c == 0 ? 1 : 2,
                           c == 2 ? TGradPanel::taRightJustify : TGradPanel::taLeftJustify));
    }
}

// The totals line as the main window sets it up.
void drawTotalsLine(QPainter& painter, const Sheet& g) {
    const int totalsTop = g.bevelsTop + 34 + g.bevelRows * g.panelRowH + 4;
    painter.drawText(10, totalsTop + 16, "pnlToplam");
    TGradPanel p;
    p.resize(g.width - g.labelW - 10, 24);
    p.setFont(platform::tahoma(11, true));
    TGradPanel::TStoredLayout stored;
    stored.colors = {platform::TColor::fromHex(0xEEEEEE), platform::TColor::fromHex(0xEEEEEE),
                     platform::clBlack, platform::clBlack};
    p.readLayout(stored);
    p.setCaption("Toplam: 12.500,00 TL    Ödenen: 10.000,00 TL    Kalan: 2.500,00 TL");
    painter.drawImage(g.labelW, totalsTop, p.renderImage());
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvela-gallery OUT.png\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::loadFonts();

    const Sheet g;
    QImage sheet(g.width, g.height, QImage::Format_RGB32);
    sheet.fill(qRgb(0xF0, 0xF0, 0xF0));
    QPainter painter(&sheet);
    painter.setPen(Qt::black);
    drawButtons(painter, g);
    drawPanelSchemes(painter, g);
    drawBevels(painter, g);
    drawTotalsLine(painter, g);
    painter.end();

    if (!sheet.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "korvela-gallery: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
