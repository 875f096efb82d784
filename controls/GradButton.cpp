// TGradButton: colour schemes, looks, click rules and the painting of the face.
#include "controls/GradButton.h"
#include "controls/GradKeyRouter.h"

#include <QApplication>
#include <QDialog>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>

namespace controls {

namespace {

using platform::clWhite;

const char* const kModalResultProperty = "korvelaModalResult";

// One look's five scheme colours (the Text colour is the same in every scheme).
struct SchemeSet {
    std::uint32_t face, grad, light, dark, border;
};

struct SchemeRow {
    SchemeSet normal, over, down;
    std::uint32_t focusRect;
};

// Rows in the order of TColorScheme; a flat scheme's grad entries are not used.
const SchemeRow kSchemes[12] = {
    // csNeoDesert
    {{0xFFECC6, 0xFFBE37, 0xFFE7B9, 0xE89C00, 0x805600},
     {0xFFE7B3, 0xF0A300, 0xFFDA95, 0xD28E00, 0x805600},
     {0xFFBA2B, 0xFFD277, 0xB77700, 0xFFD98A, 0xA67000},
     0xFF8040},
    // csNeoSky
    {{0xDDEEFF, 0x6CB6FF, 0xD9ECFF, 0x51A8FF, 0x0059B3},
     {0xD7EBFF, 0x46A3FF, 0xCAE4FF, 0x3E9EFF, 0x0059B3},
     {0x66B3FF, 0x9DCEFF, 0x3E9EFF, 0xA8D3FF, 0x0059B3},
     0x53A9FF},
    // csNeoGrass
    {{0xE8F9DD, 0x8EDF5E, 0xDBF5CB, 0x5CB924, 0x376F15},
     {0xD2F2BF, 0x77D83D, 0xCBF0B5, 0x59B423, 0x3D7917},
     {0x83DC4E, 0xA6E680, 0x3E7D17, 0xACE789, 0x397416},
     0x5CB924},
    // csNeoSilver
    {{0xF3F3F3, 0xBCBCBC, 0xF7F7F7, 0xA7A7A7, 0x626262},
     {0xF0F0F0, 0xA6A6A6, 0xEEEEEE, 0xA2A2A2, 0x757575},
     {0xCACACA, 0xDADADA, 0x7C7C7C, 0xE9E9E9, 0x4E4E4E},
     0xADADAD},
    // csNeoRose
    {{0xFFE8E8, 0xFF9595, 0xFFDDDD, 0xFF8282, 0x9D0000},
     {0xFFDFDF, 0xFF7777, 0xFFD7D7, 0xFF6A6A, 0x9D0000},
     {0xFFA6A6, 0xFFB9B9, 0xFF5E5E, 0xFFCECE, 0x9D0000},
     0xFF5E5E},
    // csNeoSun
    {{0xFFFFF0, 0xF9D820, 0xFFFFF2, 0xBBBB00, 0x646400},
     {0xFFFCD5, 0xDCBC05, 0xFFFFCC, 0xA6A600, 0x646400},
     {0xF5D105, 0xFBF066, 0x848400, 0xFFF366, 0x646400},
     0xBBBB00},
    // csDesert
    {{0xFFDD95, 0, 0xFFE7B9, 0xE89C00, 0x805600},
     {0xFFD06F, 0, 0xFFDA95, 0xD28E00, 0x805600},
     {0xFFD06F, 0, 0xB77700, 0xFFD98A, 0xA67000},
     0xFF8040},
    // csGrass
    {{0xB7EB98, 0, 0xDBF5CB, 0x5CB924, 0x376F15},
     {0x96E168, 0, 0xCBF0B5, 0x59B423, 0x3D7917},
     {0x83DC4E, 0, 0x3E7D17, 0xACE789, 0x397416},
     0x21A400},
    // csSky
    {{0xC1E0FF, 0, 0xD9ECFF, 0x53A9FF, 0x0059B3},
     {0x9BCDFF, 0, 0xCAE4FF, 0x64B1FF, 0x0059B3},
     {0x82C0FF, 0, 0x2291FF, 0xA8D3FF, 0x0059B3},
     0x149BDC},
    // csSun
    {{0xFFFFA8, 0, 0xFFFFF2, 0xBBBB00, 0x646400},
     {0xFFF366, 0, 0xFFFFCC, 0xA6A600, 0x646400},
     {0xFFEE22, 0, 0x848400, 0xFFF366, 0x646400},
     0xF48C00},
    // csRose
    {{0xFFC6C6, 0, 0xFFDDDD, 0xFF8282, 0x9D0000},
     {0xFFB0B0, 0, 0xFFD7D7, 0xFF6A6A, 0x9D0000},
     {0xFF9F9F, 0, 0xFF5E5E, 0xFF8888, 0x9D0000},
     0xFF5E5E},
    // csSilver
    {{0xE0E0E0, 0, 0xF7F7F7, 0xAEAEAE, 0x626262},
     {0xCFCFCF, 0, 0xEEEEEE, 0x797979, 0x757575},
     {0xD3D3D3, 0, 0x7C7C7C, 0xE9E9E9, 0x4E4E4E},
     0x8A8A8A},
};

// The disabled sets: one for the Neo schemes, one for the flat ones (whose Grad is kept).
const SchemeSet kNeoDisabled = {0xEEEEEE, 0xFFFFFF, 0xFFFFFF, 0xD2D2D2, 0x808080};
const SchemeSet kFlatDisabled = {0xE2E2E2, 0, 0xEAEAEA, 0xD8D8D8, 0xC4C4C4};

bool isNeo(TGradButton::TColorScheme scheme) {
    return scheme <= TGradButton::csNeoSun;
}

// Writes one look's scheme colours at the look's first index (Face, Grad, Dark, Light, Border,
// Text are consecutive).
void putSet(TGradButton::TColors& colors, int first, const SchemeSet& set, bool withGrad,
            std::uint32_t text) {
    colors[first + 0] = TColor::fromHex(set.face);
    if (withGrad)
        colors[first + 1] = TColor::fromHex(set.grad);
    colors[first + 2] = TColor::fromHex(set.dark);
    colors[first + 3] = TColor::fromHex(set.light);
    colors[first + 4] = TColor::fromHex(set.border);
    colors[first + 5] = TColor::fromHex(text);
}

} // namespace

QWidget* parentForm(const QWidget* control) {
    if (!control || !control->parentWidget())
        return nullptr;
    return control->window();
}

int formModalResult(const QWidget* form) {
    return form ? form->property(kModalResultProperty).toInt() : 0;
}

void setFormModalResult(QWidget* form, int result) {
    if (!form)
        return;
    form->setProperty(kModalResultProperty, result);
    auto* dialog = qobject_cast<QDialog*>(form);
    if (!dialog || result == 0)
        return;
    // The modal loop looks at the result after the current event, not in the middle of it.
    QMetaObject::invokeMethod(
        dialog,
        [dialog] {
            int r = formModalResult(dialog);
            if (r != 0 && dialog->isVisible())
                dialog->done(r);
        },
        Qt::QueuedConnection);
}

struct TGradButton::Private {
    TColors colors{};
    TColorScheme scheme = csNeoDesert;
    QString caption;
    bool ctl3D = true;
    TButtonLayout layout = blGlyphLeft;
    QImage glyph;
    bool transparentGlyph = true;
    bool gradient = false;
    int spacing = 4;
    int modalResult = 0;
    bool cancel = false;
    bool isDefault = false;
    bool hotTrack = true;
    bool wordWrap = false;
    bool pressed = false;
    bool focused = false;
    TVisualState state = vsNormal;
    // A left press (not the second press of a double click) waits for its release.
    bool clickPending = false;
    // Whether the pointer was inside the button at the last enter, leave, press or move: while a
    // mouse button is held the toolkit sends no enter or leave, so moves stand in for them.
    bool pointerInside = false;

    // Where the glyph goes beside the caption's rectangle (moved to make room for it).
    QPoint placeGlyph(QSize button, QRect& caption) const;
    void paintGlyph(TCanvas& canvas, QPoint at) const;
    void paintCaption(TCanvas& canvas, QRect at) const;
    void paintBorder(TCanvas& canvas, QSize button, TColor border, TColor light, TColor dark) const;
};

TGradButton::TGradButton(QWidget* parent) : TOwnerDrawnControl(parent), d(new Private) {
    // Creation order matters: the scheme turns Gradient on, and the three Grad colours written
    // last bypass the setter so that ColorScheme still reads csNeoDesert.
    resize(75, 25);
    d->ctl3D = true;
    d->glyph = QImage();
    d->transparentGlyph = true;
    d->gradient = false;
    // Tab reaches the button; a mouse press leaves the keyboard focus where it was, so a command
    // does not take the focus from the grid the user is working in.
    setFocusPolicy(Qt::TabFocus);
    d->spacing = 4;
    d->cancel = false;
    d->isDefault = false;
    d->hotTrack = true;
    setColorScheme(csNeoDesert);
    d->pressed = false;
    d->colors[OverColorGrad] = clWhite;
    d->colors[DownColorGrad] = clWhite;
    d->colors[DisabledColorGrad] = clWhite;
    installKeyRouter();
}

TGradButton::~TGradButton() = default;

TGradButton::TColors TGradButton::schemeColors(TColorScheme scheme, TColors base) {
    if (scheme >= csCustom)
        return base;
    const SchemeRow& row = kSchemes[scheme];
    const bool neo = isNeo(scheme);
    putSet(base, ColorFace, row.normal, neo, 0x000000);
    putSet(base, OverColorFace, row.over, neo, 0x000000);
    putSet(base, DownColorFace, row.down, neo, 0x000000);
    putSet(base, DisabledColorFace, neo ? kNeoDisabled : kFlatDisabled, neo, 0x808080);
    base[ColorFocusRect] = TColor::fromHex(row.focusRect);
    return base;
}

void TGradButton::readLayout(const TStoredLayout& stored) {
    for (int i = 0; i < ColorCount; ++i)
        setColor(i, stored.colors[size_t(i)]);
    setColorScheme(stored.colorScheme);
    setCtl3D(stored.ctl3D);
    setLayout(stored.layout);
    if (!stored.glyph.isNull())
        setGlyph(stored.glyph);
    setSpacing(stored.spacing);
    setTransparentGlyph(stored.transparentGlyph);
    setGradient(stored.gradient);
    setHotTrack(stored.hotTrack);
    Tag1 = stored.tag1;
    Tag2 = stored.tag2;
    Tag3 = stored.tag3;
    if (stored.cancel)
        setCancel(true);
    if (stored.isDefault)
        setDefault(true);
    if (stored.modalResult != 0)
        setModalResult(stored.modalResult);
    if (stored.wordWrap)
        setWordWrap(true);
}

TColor TGradButton::color(int index) const {
    return index >= 0 && index < ColorCount ? d->colors[size_t(index)] : platform::clNone;
}

void TGradButton::setColor(int index, TColor color) {
    if (index < 0 || index >= ColorCount)
        return;
    d->colors[size_t(index)] = color;
    setColorScheme(csCustom);
    invalidate();
}

TGradButton::TColorScheme TGradButton::colorScheme() const {
    return d->scheme;
}

void TGradButton::setColorScheme(TColorScheme scheme) {
    d->scheme = scheme;
    if (scheme >= csCustom) {
        invalidate();
        return;
    }
    // Every colour goes through the shared setter, which passes ColorScheme through csCustom;
    // the scheme is written again at the end so that it reads back.
    const TColors colors = schemeColors(scheme, d->colors);
    for (int i = 0; i < ColorCount; ++i) {
        if (!isNeo(scheme) && i % 6 == ColorGrad && i < ColorFocusRect)
            continue;
        setColor(i, colors[size_t(i)]);
    }
    setGradient(isNeo(scheme));
    invalidate();
    d->scheme = scheme;
}

QString TGradButton::caption() const {
    return d->caption;
}

void TGradButton::setCaption(const QString& caption) {
    if (caption == d->caption)
        return;
    d->caption = caption;
    invalidate();
}

bool TGradButton::ctl3D() const {
    return d->ctl3D;
}

void TGradButton::setCtl3D(bool on) {
    d->ctl3D = on;
    invalidate();
}

TGradButton::TButtonLayout TGradButton::layout() const {
    return d->layout;
}

void TGradButton::setLayout(TButtonLayout layout) {
    d->layout = layout;
    invalidate();
}

const QImage& TGradButton::glyph() const {
    return d->glyph;
}

void TGradButton::setGlyph(const QImage& picture) {
    d->glyph = picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_RGB32);
    invalidate();
}

int TGradButton::spacing() const {
    return d->spacing;
}

void TGradButton::setSpacing(int spacing) {
    d->spacing = spacing;
    invalidate();
}

bool TGradButton::transparentGlyph() const {
    return d->transparentGlyph;
}

void TGradButton::setTransparentGlyph(bool on) {
    d->transparentGlyph = on;
    invalidate();
}

bool TGradButton::gradient() const {
    return d->gradient;
}

void TGradButton::setGradient(bool on) {
    d->gradient = on;
    invalidate();
}

bool TGradButton::hotTrack() const {
    return d->hotTrack;
}
void TGradButton::setHotTrack(bool on) {
    d->hotTrack = on;
}
bool TGradButton::cancel() const {
    return d->cancel;
}
void TGradButton::setCancel(bool on) {
    d->cancel = on;
}
bool TGradButton::isDefault() const {
    return d->isDefault;
}

void TGradButton::setDefault(bool on) {
    // The focus-changed notice that would follow on a form changes nothing the button draws:
    // Return reaches a Default button through the key router whatever has the focus.
    d->isDefault = on;
}

int TGradButton::modalResult() const {
    return d->modalResult;
}
void TGradButton::setModalResult(int result) {
    d->modalResult = result;
}
bool TGradButton::wordWrap() const {
    return d->wordWrap;
}

void TGradButton::setWordWrap(bool on) {
    if (on == d->wordWrap)
        return;
    d->wordWrap = on;
    invalidate();
}

TGradButton::TVisualState TGradButton::visualState() const {
    return d->state;
}
bool TGradButton::isPressed() const {
    return d->pressed;
}
bool TGradButton::hasFocusFlag() const {
    return d->focused;
}

void TGradButton::click() {
    if (QWidget* form = parentForm(this))
        setFormModalResult(form, d->modalResult);
    d->state = vsNormal;
    repaintNow();
    QPointer<TGradButton> self(this);
    if (OnClick)
        OnClick();
    if (self)
        emit clicked();
}

bool TGradButton::canFocus() const {
    return isVisible() && isEnabled();
}

bool TGradButton::dialogKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool plain = !(modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
    if (((isReturnKey(key) && d->focused) || (key == Qt::Key_Escape && d->cancel)) && plain &&
        canFocus()) {
        click();
        return true;
    }
    if (d->isDefault && isReturnKey(key) && canFocus()) {
        click();
        return true;
    }
    return false;
}

bool TGradButton::dialogChar(QChar ch) {
    int index = -1;
    const QString shown = stripPrefix(d->caption, &index);
    if (index < 0 || !isEnabled())
        return false;
    if (shown.at(index).toUpper() != ch.toUpper())
        return false;
    click();
    return true;
}

void TGradButton::installKeyRouter() {
    // The router sits on the window the button belongs to; installing it again only moves it.
    window()->installEventFilter(TGradKeyRouter::instance());
}

bool TGradButton::event(QEvent* event) {
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::Show)
        installKeyRouter();
    return TOwnerDrawnControl::event(event);
}

void TGradButton::enterEvent(QEnterEvent*) {
    d->pointerInside = true;
    pointerEntered();
}

void TGradButton::leaveEvent(QEvent*) {
    d->pointerInside = false;
    pointerLeft();
}

void TGradButton::pointerEntered() {
    if (d->hotTrack) {
        d->state = d->pressed ? vsDown : vsOver;
        repaintNow();
    }
}

void TGradButton::pointerLeft() {
    d->state = vsNormal;
    repaintNow();
}

void TGradButton::mouseMoveEvent(QMouseEvent* event) {
    // While a button is held the pointer is grabbed and the toolkit reports no enter or leave:
    // crossing the edge during the drag stands for them, so the look follows the pointer.
    if (event->buttons() == Qt::NoButton)
        return;
    const bool inside = rect().contains(event->position().toPoint());
    if (inside == d->pointerInside)
        return;
    d->pointerInside = inside;
    if (inside)
        pointerEntered();
    else
        pointerLeft();
}

void TGradButton::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        d->clickPending = true;
    d->pointerInside = rect().contains(p);
    if (OnMouseDown)
        OnMouseDown(event->button(), event->modifiers(), p.x(), p.y());
    if (event->button() == Qt::LeftButton) {
        d->pressed = true;
        d->state = vsDown;
        repaintNow();
    }
}

void TGradButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a press in every respect but the click.
    const QPoint p = event->position().toPoint();
    d->pointerInside = rect().contains(p);
    if (OnMouseDown)
        OnMouseDown(event->button(), event->modifiers(), p.x(), p.y());
    if (event->button() == Qt::LeftButton) {
        d->pressed = true;
        d->state = vsDown;
        repaintNow();
    }
}

void TGradButton::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    QPointer<TGradButton> self(this);
    if (event->button() == Qt::LeftButton) {
        const bool pending = d->clickPending;
        d->clickPending = false;
        // The click comes before the button's own release handling, while the pressed flag is
        // still set; the toolkit's client rectangle includes column 0 and row 0.
        if (pending && rect().contains(p)) {
            click();
            if (!self)
                return;
        }
    }
    if (OnMouseUp)
        OnMouseUp(event->button(), event->modifiers(), p.x(), p.y());
    if (!self)
        return;
    d->pressed = false;
    // The button's own test leaves out column 0 and row 0.
    if (0 < p.x() && p.x() < width() && 0 < p.y() && p.y() < height())
        d->state = d->hotTrack ? vsOver : vsNormal;
    repaintNow();
}

void TGradButton::focusInEvent(QFocusEvent*) {
    d->focused = true;
    repaintNow();
}

void TGradButton::focusOutEvent(QFocusEvent*) {
    d->focused = false;
    d->state = vsNormal;
    repaintNow();
}

void TGradButton::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    // Return and Escape are dialog keys first: the form's buttons see them before the focused
    // one handles them as plain keys.
    if (isReturnKey(key) || key == Qt::Key_Escape) {
        QPointer<TGradButton> self(this);
        if (offerDialogKey(window(), key, event->modifiers())) {
            event->accept();
            return;
        }
        if (!self)
            return;
    }
    if (key == Qt::Key_Space) {
        d->state = vsDown;
    } else if (isReturnKey(key)) {
        QPointer<TGradButton> self(this);
        click();
        if (!self)
            return;
    } else {
        // Anything else goes on to the parents, and so to the window's accelerator routing.
        event->ignore();
    }
    repaintNow();
}

void TGradButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Space || event->isAutoRepeat()) {
        event->ignore();
        return;
    }
    d->state = vsNormal;
    repaintNow();
    click();
}

void TGradButton::changeEvent(QEvent* event) {
    TOwnerDrawnControl::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::EnabledChange)
        invalidate();
}

void TGradButton::paint(TCanvas& canvas) {
    const int W = width(), H = height();

    int first = d->state == vsOver ? OverColorFace : d->state == vsDown ? DownColorFace : ColorFace;
    if (!isEnabled())
        first = DisabledColorFace;
    const auto look = [&](int offset) { return d->colors[size_t(first + offset)]; };
    const TColor face = look(ColorFace), grad = look(ColorGrad);

    // The solid face; its outline, in the canvas's initial pen, is covered by the border later.
    canvas.brushColor = face;
    canvas.brushClear = false;
    canvas.rectangle(0, 0, W, H);
    if (d->gradient)
        canvas.gradient(W, H, face, grad, TGradientDirection::Vertical);

    canvas.font = font();
    canvas.fontColor = look(ColorText);
    // Measured with the "&" included, so the drawn caption centres inside a wider rectangle.
    const QSize extent = canvas.textExtent(d->caption);
    QRect caption((W - extent.width()) / 2, (H - extent.height()) / 2, extent.width(),
                  extent.height());
    if (!d->glyph.isNull())
        d->paintGlyph(canvas, d->placeGlyph(size(), caption));
    if (d->state == vsDown)
        caption.translate(1, 1);
    if (!d->caption.isEmpty())
        d->paintCaption(canvas, caption);
    d->paintBorder(canvas, size(), look(ColorBorder), look(ColorLight), look(ColorDark));
    if (d->focused) {
        canvas.penColor = d->colors[ColorFocusRect];
        canvas.brushClear = true;
        canvas.rectangle(3, 3, W - 3, H - 3);
    }
}

QPoint TGradButton::Private::placeGlyph(QSize button, QRect& caption) const {
    const int W = button.width(), H = button.height();
    const int gw = glyph.width(), gh = glyph.height();
    const int tw = caption.width(), th = caption.height();
    int tx = caption.x(), ty = caption.y();
    const int s = spacing;
    const bool withCaption = !this->caption.isEmpty();
    int gx = 0, gy = 0;
    // C++ division and remainder truncate toward zero, as the placement rules expect.
    switch (layout) {
    case blGlyphLeft:
        gx = tx - gw / 2;
        gy = (H - gh) / 2;
        tx += gw / 2;
        if (withCaption) {
            gx -= s / 2 + s % 2;
            tx += s / 2;
        }
        break;
    case blGlyphRight:
        gx = tx + tw - gw / 2;
        gy = (H - gh) / 2;
        tx += (-gw) / 2;
        if (withCaption) {
            gx += s / 2 + s % 2;
            tx += (-s) / 2;
        }
        break;
    case blGlyphTop:
        gx = (W - gw) / 2;
        gy = ty - gh / 2 - gh % 2;
        ty += gh / 2;
        if (withCaption) {
            gy -= s / 2 + s % 2;
            ty += s / 2;
        }
        break;
    case blGlyphBottom:
        gx = (W - gw) / 2;
        gy = ty + th - gh / 2;
        ty += (-gh) / 2;
        if (withCaption) {
            gy += s / 2 + s % 2;
            ty += (-s) / 2;
        }
        break;
    }
    caption.moveTo(tx, ty);
    return state == vsDown ? QPoint(gx + 1, gy + 1) : QPoint(gx, gy);
}

void TGradButton::Private::paintGlyph(TCanvas& canvas, QPoint at) const {
    if (transparentGlyph) {
        const QRgb key = glyph.pixel(0, 0);
        canvas.drawTransparent(at.x(), at.y(), glyph,
                               TColor::fromRgb(qRed(key), qGreen(key), qBlue(key)));
    } else {
        canvas.draw(at.x(), at.y(), glyph);
    }
}

void TGradButton::Private::paintCaption(TCanvas& canvas, QRect at) const {
    canvas.brushClear = true;
    const unsigned flags = wordWrap ? DT_CENTER | DT_VCENTER | DT_WORDBREAK
                                    : DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
    canvas.drawText(caption, at, flags);
}

// The one-pixel border and, with Ctl3D, the light and dark lines inside it.
void TGradButton::Private::paintBorder(TCanvas& canvas, QSize button, TColor border, TColor light,
                                       TColor dark) const {
    const int W = button.width(), H = button.height();
    canvas.penClear = false;
    canvas.penColor = border;
    canvas.brushClear = true;
    canvas.rectangle(0, 0, W, H);
    if (!ctl3D)
        return;
    canvas.penColor = light;
    canvas.moveTo(1, H - 2);
    canvas.lineTo(1, 1);
    canvas.lineTo(W - 1, 1);
    canvas.penColor = dark;
    canvas.moveTo(W - 2, 1);
    canvas.lineTo(W - 2, H - 2);
    canvas.lineTo(1, H - 2);
}

} // namespace controls
