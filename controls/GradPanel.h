// TGradPanel: a panel with a two-colour gradient background, two-colour bevels and a caption.
#pragma once

#include "controls/OwnerDrawnControl.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace controls {

// A panel painted completely by itself: a horizontal, vertical or diagonal gradient from
// ColorFace to ColorGrad, a one-line caption placed by Alignment, and bevel frames in ColorLight
// and ColorDark over it. The four colours come one by one or from a colour scheme. Children are
// laid out inside the bevels and BorderWidth (contents margins). Owned by its parent widget.
class TGradPanel : public TOwnerDrawnControl {
    Q_OBJECT
public:
    enum TColorScheme : std::uint8_t {
        csCustom,
        csClassic,
        csDesert,
        csGrass,
        csSilver,
        csSky,
        csRose,
        csSun,
        csOfficeClassic,
        csOfficeSky,
        csOfficeGrass,
        csOfficeSilver,
        csOfficeDesert,
        csOfficeRose,
        csOfficeGadget,
    };
    enum TFillDirection : std::uint8_t { fdHorizontal, fdVertical, fdDiagonal };
    enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
    enum TBevelCut : std::uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

    // Indices of the four colours, as the shared colour setter addresses them.
    enum TColorIndex : int { ColorFace, ColorGrad, ColorLight, ColorDark };
    using TColors = std::array<TColor, 4>;

    // The values a stored form layout holds for the panel's own properties; readLayout() applies
    // them in stored order: the four colours, ColorScheme, FillDirection.
    struct TStoredLayout {
        TColors colors{};
        TColorScheme colorScheme = csCustom;
        TFillDirection fillDirection = fdVertical;
    };

    explicit TGradPanel(QWidget* parent = nullptr);
    ~TGradPanel() override;

    // The four colours of a built-in scheme (csCustom: `base` unchanged).
    static TColors schemeColors(TColorScheme scheme, TColors base = {});

    void readLayout(const TStoredLayout& stored);

    TColor color(int index) const;
    // The shared colour setter: stores, makes ColorScheme read csCustom, invalidates.
    void setColor(int index, TColor color);
    TColorScheme colorScheme() const;
    void setColorScheme(TColorScheme scheme);
    TFillDirection fillDirection() const;
    void setFillDirection(TFillDirection direction);

    // The panel's inherited properties that its painting reads.
    QString caption() const;
    void setCaption(const QString& caption);
    TAlignment alignment() const;
    void setAlignment(TAlignment alignment);
    TBevelCut bevelInner() const;
    void setBevelInner(TBevelCut bevel);
    TBevelCut bevelOuter() const;
    void setBevelOuter(TBevelCut bevel);
    int bevelWidth() const;
    void setBevelWidth(int width);
    // The font's colour (the widget's font has none); initially the window-text colour.
    TColor fontColor() const;
    void setFontColor(TColor color);

    // The smallest size at which the whole caption shows inside the bevels, standing 2 pixels
    // from them as a left-justified caption does.
    QSize minimumSizeHint() const override;

    // A left press and release inside the panel.
    std::function<void()> OnClick;

signals:
    void clicked();

protected:
    void paint(TCanvas& canvas) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void updateMargins();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace controls
