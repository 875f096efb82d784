// TGradButton: the owner-drawn gradient push button, and the modal result of the form it sits on.
#pragma once

#include "controls/OwnerDrawnControl.h"

#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace controls {

// The form a control sits on: the top-level window of its parent chain, or nullptr for a control
// that has no parent.
QWidget* parentForm(const QWidget* control);
// A form's modal result (0 until something writes one).
int formModalResult(const QWidget* form);
// Writes a form's modal result. A visible QDialog whose modal result is not 0 closes with
// done(result) once control is back in its event loop: the handler that wrote the value runs to
// its end on a visible form and can still write 0 to keep the form open.
void setFormModalResult(QWidget* form, int result);

// An owner-drawn push button: a solid or vertical-gradient face, a one-pixel border, optional
// bevel lines, a caption with an "&" accelerator, an optional glyph and a focus rectangle. Four
// sets of six colours (normal, over, down, disabled) plus the focus-rectangle colour, filled at
// once by a colour scheme. Clicks set the form's modal result; Return and Escape reach it as
// default and cancel button through a key router installed on its window.
// Owned by its parent widget; owns its glyph copy.
class TGradButton : public TOwnerDrawnControl {
    Q_OBJECT
public:
    enum TColorScheme : std::uint8_t {
        csNeoDesert,
        csNeoSky,
        csNeoGrass,
        csNeoSilver,
        csNeoRose,
        csNeoSun,
        csDesert,
        csGrass,
        csSky,
        csSun,
        csRose,
        csSilver,
        csCustom,
    };
    enum TButtonLayout : std::uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
    enum TVisualState : std::uint8_t { vsNormal, vsOver, vsDown };

    // Indices of the 25 colour properties, as the shared colour setter addresses them.
    enum TColorIndex : int {
        ColorFace,
        ColorGrad,
        ColorDark,
        ColorLight,
        ColorBorder,
        ColorText,
        OverColorFace,
        OverColorGrad,
        OverColorDark,
        OverColorLight,
        OverColorBorder,
        OverColorText,
        DownColorFace,
        DownColorGrad,
        DownColorDark,
        DownColorLight,
        DownColorBorder,
        DownColorText,
        DisabledColorFace,
        DisabledColorGrad,
        DisabledColorDark,
        DisabledColorLight,
        DisabledColorBorder,
        DisabledColorText,
        ColorFocusRect,
    };
    static constexpr int ColorCount = 25;
    using TColors = std::array<TColor, ColorCount>;

    // The values a stored form layout holds for a button. readLayout() applies them in the order
    // a stored form is read: the 25 colours, ColorScheme, Ctl3D, Layout, Glyph, Spacing,
    // TransparentGlyph, Gradient, HotTrack, then the plain values.
    struct TStoredLayout {
        TColors colors{};
        TColorScheme colorScheme = csCustom;
        bool ctl3D = true;
        TButtonLayout layout = blGlyphLeft;
        QImage glyph; // not stored (and not applied) when null
        int spacing = 4;
        bool transparentGlyph = true;
        bool gradient = true;
        bool hotTrack = true;
        int tag1 = 0, tag2 = 0, tag3 = 0;
        bool cancel = false;
        bool isDefault = false;
        bool wordWrap = false;
        int modalResult = 0;
    };

    explicit TGradButton(QWidget* parent = nullptr);
    ~TGradButton() override;

    // The colours a built-in scheme writes, over `base` (flat schemes keep the four Grad
    // colours of `base`). csCustom returns `base`.
    static TColors schemeColors(TColorScheme scheme, TColors base = {});

    void readLayout(const TStoredLayout& stored);

    TColor color(int index) const;
    // The shared colour setter: stores, sets ColorScheme to csCustom, invalidates.
    void setColor(int index, TColor color);
    TColorScheme colorScheme() const;
    void setColorScheme(TColorScheme scheme);

    QString caption() const;
    void setCaption(const QString& caption);
    bool ctl3D() const;
    void setCtl3D(bool on);
    TButtonLayout layout() const;
    void setLayout(TButtonLayout layout);
    // The button's own copy of the glyph (a 24-bit bitmap; empty when none).
    const QImage& glyph() const;
    void setGlyph(const QImage& picture);
    int spacing() const;
    void setSpacing(int spacing);
    bool transparentGlyph() const;
    void setTransparentGlyph(bool on);
    bool gradient() const;
    void setGradient(bool on);
    bool hotTrack() const;
    void setHotTrack(bool on);
    bool cancel() const;
    void setCancel(bool on);
    bool isDefault() const;
    void setDefault(bool on);
    int modalResult() const;
    void setModalResult(int result);
    bool wordWrap() const;
    void setWordWrap(bool on);

    // Free for the application; the button does not use them.
    QString Text1, Text2, Text3;
    int Tag1 = 0, Tag2 = 0, Tag3 = 0;

    // Events. OnMouseDown and OnMouseUp get the button, the modifiers and the position.
    std::function<void()> OnClick;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int, int)> OnMouseDown;
    std::function<void(Qt::MouseButton, Qt::KeyboardModifiers, int, int)> OnMouseUp;

    // Unpublished state.
    TVisualState visualState() const;
    bool isPressed() const;
    bool hasFocusFlag() const;

    // A click from any source: the form's modal result, the normal look painted at once, then
    // OnClick and clicked().
    void click();

    // The key router's offers. Return true when the button took the key or character.
    bool dialogKey(int key, Qt::KeyboardModifiers modifiers);
    bool dialogChar(QChar ch);
    // Whether the button could take the keyboard focus now (visible and enabled).
    bool canFocus() const;

signals:
    void clicked();

protected:
    void paint(TCanvas& canvas) override;

    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    void installKeyRouter();
    // The enter and leave reactions, also run when a held drag crosses the button's edge.
    void pointerEntered();
    void pointerLeft();

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace controls
