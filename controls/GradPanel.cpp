// TGradPanel: colour schemes, the gradient fill, caption placement and bevel frames.
#include "controls/GradPanel.h"
#include "platform/Fonts.h"

#include <QMouseEvent>
#include <QPointer>

namespace controls {

namespace {

// Face, Grad, Light, Dark of the built-in schemes, in the order of TColorScheme from csClassic.
const std::uint32_t kSchemes[14][4] = {
    {0xFFFFFF, 0xFFFFFF, 0x000000, 0x000000}, // csClassic
    {0xFFFFFF, 0xFFE1A4, 0xD58F00, 0x9B6900}, // csDesert
    {0xFFFFFF, 0xCBF2B0, 0x6AB53E, 0x376F15}, // csGrass
    {0xFFFFFF, 0xDEE0DA, 0x7D7D7D, 0x626262}, // csSilver
    {0xFFFFFF, 0xC1E0FF, 0x4D96F0, 0x0059B3}, // csSky
    {0xFFFFFF, 0xFFCCCC, 0xCC5106, 0x9D0000}, // csRose
    {0xFFFFFF, 0xFFFFBF, 0x959500, 0x646400}, // csSun
    {0xEEEEEE, 0xCFCFCF, 0x909090, 0x3C3C3C}, // csOfficeClassic
    {0xE3EFFF, 0xAFD2FF, 0x6593CF, 0x2F5B97}, // csOfficeSky
    {0xF0FFE3, 0xDBF0BD, 0x88CF65, 0x54962C}, // csOfficeGrass
    {0xE0E1EB, 0xCAC9D7, 0x757495, 0x424255}, // csOfficeSilver
    {0xFFF5E3, 0xFBDEB3, 0xD0A364, 0x996B2D}, // csOfficeDesert
    {0xFDEAEA, 0xE9C4BC, 0xB14330, 0x731E11}, // csOfficeRose
    {0x1C1C1C, 0x515151, 0x000000, 0x000000}, // csOfficeGadget
};

} // namespace

struct TGradPanel::Private {
    TColors colors{};
    TFillDirection fillDirection = fdVertical;
    TColorScheme scheme = csCustom;
    QString caption;
    TAlignment alignment = taCenter;
    TBevelCut bevelInner = bvNone;
    TBevelCut bevelOuter = bvRaised;
    int bevelWidth = 1;
    TColor fontColor = platform::clWindowText;
    bool clickPending = false;
};

TGradPanel::TGradPanel(QWidget* parent) : TOwnerDrawnControl(parent), d(new Private) {
    resize(185, 41);
    updateMargins();
    d->fillDirection = fdVertical;
    setColorScheme(csDesert);
}

TGradPanel::~TGradPanel() = default;

TGradPanel::TColors TGradPanel::schemeColors(TColorScheme scheme, TColors base) {
    if (scheme == csCustom || scheme > csOfficeGadget)
        return base;
    for (size_t i = 0; i < base.size(); ++i)
        base[i] = TColor::fromHex(kSchemes[scheme - 1][i]);
    return base;
}

void TGradPanel::readLayout(const TStoredLayout& stored) {
    for (int i = 0; i < int(stored.colors.size()); ++i)
        setColor(i, stored.colors[size_t(i)]);
    setColorScheme(stored.colorScheme);
    setFillDirection(stored.fillDirection);
}

TColor TGradPanel::color(int index) const {
    return index >= 0 && index < int(d->colors.size()) ? d->colors[size_t(index)]
                                                       : platform::clNone;
}

void TGradPanel::setColor(int index, TColor color) {
    if (index < 0 || index >= int(d->colors.size()))
        return;
    d->colors[size_t(index)] = color;
    d->scheme = csCustom; // the field only: no scheme is applied
    invalidate();
}

TGradPanel::TColorScheme TGradPanel::colorScheme() const {
    return d->scheme;
}

void TGradPanel::setColorScheme(TColorScheme scheme) {
    d->scheme = scheme;
    d->colors = schemeColors(scheme, d->colors);
    invalidate();
}

TGradPanel::TFillDirection TGradPanel::fillDirection() const {
    return d->fillDirection;
}

void TGradPanel::setFillDirection(TFillDirection direction) {
    d->fillDirection = direction;
    invalidate();
}

QString TGradPanel::caption() const {
    return d->caption;
}

void TGradPanel::setCaption(const QString& caption) {
    if (caption == d->caption)
        return;
    d->caption = caption;
    updateGeometry();
    invalidate();
}

QSize TGradPanel::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    constexpr int kCaptionGap = 2;
    return {m.left() + kCaptionGap + platform::textWidth(font(), d->caption) + kCaptionGap +
                m.right(),
            m.top() + platform::windowsTextHeight(font()) + m.bottom()};
}

TGradPanel::TAlignment TGradPanel::alignment() const {
    return d->alignment;
}

void TGradPanel::setAlignment(TAlignment alignment) {
    d->alignment = alignment;
    invalidate();
}

TGradPanel::TBevelCut TGradPanel::bevelInner() const {
    return d->bevelInner;
}

void TGradPanel::setBevelInner(TBevelCut bevel) {
    d->bevelInner = bevel;
    updateMargins();
    invalidate();
}

TGradPanel::TBevelCut TGradPanel::bevelOuter() const {
    return d->bevelOuter;
}

void TGradPanel::setBevelOuter(TBevelCut bevel) {
    d->bevelOuter = bevel;
    updateMargins();
    invalidate();
}

int TGradPanel::bevelWidth() const {
    return d->bevelWidth;
}

void TGradPanel::setBevelWidth(int width) {
    d->bevelWidth = qMax(1, width);
    updateMargins();
    invalidate();
}

TColor TGradPanel::fontColor() const {
    return d->fontColor;
}

void TGradPanel::setFontColor(TColor color) {
    d->fontColor = color;
    invalidate();
}

void TGradPanel::updateMargins() {
    // Children sit inside the bevels, as on any panel.
    int m = 0;
    if (d->bevelOuter != bvNone)
        m += d->bevelWidth;
    if (d->bevelInner != bvNone)
        m += d->bevelWidth;
    setContentsMargins(m, m, m, m);
}

void TGradPanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        d->clickPending = true;
}

void TGradPanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    const bool pending = d->clickPending;
    d->clickPending = false;
    if (!pending || !rect().contains(event->position().toPoint()))
        return;
    QPointer<TGradPanel> self(this);
    if (OnClick)
        OnClick();
    if (self)
        emit clicked();
}

void TGradPanel::changeEvent(QEvent* event) {
    TOwnerDrawnControl::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        invalidate();
}

namespace {

// One bevel frame at inset k: colour a on the left column and top row, b on the right column
// and bottom row, each corner going to the line that reaches it first.
void paintBevelFrame(TCanvas& canvas, int W, int H, int k, TColor a, TColor b) {
    canvas.penClear = false;
    canvas.penColor = a;
    canvas.moveTo(k, H - k - 1);
    canvas.lineTo(k, k);
    canvas.lineTo(W - k - 1, k);
    canvas.penColor = b;
    canvas.lineTo(W - k - 1, H - k - 1);
    canvas.lineTo(k, H - k - 1);
}

} // namespace

void TGradPanel::paint(TCanvas& canvas) {
    const int CW = width(), CH = height();
    const TColor light = d->colors[ColorLight], dark = d->colors[ColorDark];

    const TGradientDirection direction =
        d->fillDirection == fdHorizontal ? TGradientDirection::Horizontal
        : d->fillDirection == fdDiagonal ? TGradientDirection::Diagonal
                                         : TGradientDirection::Vertical;
    canvas.gradient(CW, CH, d->colors[ColorFace], d->colors[ColorGrad], direction);

    canvas.font = font();
    canvas.fontColor = d->fontColor;
    const int bw = d->bevelWidth;
    const int tw = canvas.textWidth(d->caption);
    int x = 0;
    switch (d->alignment) {
    case taLeftJustify:
        x = bw + 2;
        break;
    case taRightJustify:
        x = CW - bw - 2 - tw;
        break;
    case taCenter:
        x = (CW - tw) / 2;
        break;
    }
    if (d->bevelInner != bvNone && d->bevelOuter != bvNone) {
        if (d->alignment == taLeftJustify)
            x += bw;
        else if (d->alignment == taRightJustify)
            x -= bw;
    }
    canvas.brushClear = true;
    // Every caption in a font sits on the same line, whatever its own characters.
    const int y = (CH - canvas.textHeight(QStringLiteral("AaBbCcDd"))) / 2;
    canvas.textOut(x, y, d->caption);

    const auto colorsFor = [&](TBevelCut cut) {
        return cut == bvLowered ? std::pair(dark, light) : std::pair(light, dark);
    };
    if (d->bevelOuter != bvNone) {
        const auto [a, b] = colorsFor(d->bevelOuter);
        for (int k = 0; k < bw; ++k)
            paintBevelFrame(canvas, CW, CH, k, a, b);
    }
    if (d->bevelInner != bvNone) {
        const auto [a, b] = colorsFor(d->bevelInner);
        const int first = d->bevelOuter != bvNone ? bw : 0;
        for (int k = first; k < first + bw; ++k)
            paintBevelFrame(canvas, CW, CH, k, a, b);
    }
}

} // namespace controls
