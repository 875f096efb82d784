// TInspectorDateEdit: part-by-part date and time entry, the arrow button and the month calendar.
#include "controls/InspectorDateEdit.h"
#include "controls/InspectorDropButton.h"
#include "controls/InspectorEditorHost.h"
#include "core/Errors.h"
#include "core/RegionalSettings.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "data/DatePicture.h"
#include "data/Field.h"
#include "data/FieldText.h"
#include "platform/Application.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"

#include <QApplication>
#include <QCalendarWidget>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <array>

namespace controls {

namespace {

using data::TDatePart;
using data::TPictureToken;

bool editable(TDatePart k) {
    return k == TDatePart::Day || k == TDatePart::Month || k == TDatePart::Year ||
           k == TDatePart::Hour || k == TDatePart::Minute || k == TDatePart::Second;
}

int maxValue(TDatePart k, int digits) {
    switch (k) {
    case TDatePart::Day:
        return 31;
    case TDatePart::Month:
        return 12;
    case TDatePart::Year:
        return digits == 2 ? 99 : 9999;
    case TDatePart::Hour:
        return 23;
    default:
        return 59;
    }
}

} // namespace

// The date editor's own link to its field: follows outside changes and writes on update-record.
class DateEditLink : public data::TFieldDataLink {
public:
    explicit DateEditLink(TInspectorDateEdit* owner) : owner_(owner) {}

protected:
    void updateData() override { owner_->commit(); }

private:
    TInspectorDateEdit* owner_;
};

struct TInspectorDateEdit::Private {
    TInspectorEditorHost* host = nullptr;
    std::unique_ptr<DateEditLink> link;
    TInspectorDropButton* button = nullptr;
    QPointer<QFrame> popup;
    QCalendarWidget* calendar = nullptr;

    std::optional<data::TDatePicture> picture;
    std::vector<int> partTokens;                 // token index of each editable part
    std::vector<std::pair<int, int>> partRanges; // text start and length of each part
    // Day, month, year, hour, minute, second as typed: they need not make a date (31.02.2008,
    // a zero month) until the value is written, which refuses such a date.
    std::array<int, 6> parts{1, 1, 2000, 0, 0, 0};
    bool null = true;
    bool changed = false;
    int current = 0;
    QString buffer;        // digits typed into the current part so far
    bool advanced = false; // the current part was reached by completing the one before it

    const std::vector<TPictureToken>& tokens() const {
        static const std::vector<TPictureToken> none;
        return picture ? picture->tokens() : none;
    }
    static int slot(TDatePart k) { return int(k) - int(TDatePart::Day); }
    TDatePart kindOf(int part) const {
        return part >= 0 && part < int(partTokens.size())
                   ? tokens()[size_t(partTokens[size_t(part)])].kind
                   : TDatePart::Literal;
    }
    // Digits a part shows: two or four for a year, one or two for the others.
    int digitsOf(int part) const {
        const TPictureToken& t = tokens()[size_t(partTokens[size_t(part)])];
        return t.kind == TDatePart::Year ? (t.count <= 2 ? 2 : 4) : std::min(t.count, 2);
    }
    // The value the parts make, when they make one.
    std::optional<QDateTime> typed() const {
        const std::optional<QDate> date = data::dateFromParts(parts[2], parts[1], parts[0]);
        if (!date || !QTime::isValid(parts[3], parts[4], parts[5]))
            return std::nullopt;
        return QDateTime(*date, QTime(parts[3], parts[4], parts[5]));
    }
    // The nearest real value (for stepping, names and the calendar): the parts brought into
    // their ranges.
    QDateTime nearest() const {
        const int year = std::clamp(parts[2], 1, 9999);
        const int month = std::clamp(parts[1], 1, 12);
        const int day = std::clamp(parts[0], 1, QDate(year, month, 1).daysInMonth());
        return QDateTime(QDate(year, month, day), QTime(parts[3], parts[4], parts[5]));
    }
    void setFrom(const QDateTime& dt) {
        parts = {dt.date().day(),  dt.date().month(),  dt.date().year(),
                 dt.time().hour(), dt.time().minute(), dt.time().second()};
        null = false;
    }
    bool hasDate() const { return picture && picture->hasDate(); }
    bool hasTime() const { return picture && picture->hasTime(); }
    void render(TInspectorDateEdit* self);
    // Completes the part being typed: a year of one or two digits is expanded.
    void finishPart() {
        if (buffer.isEmpty())
            return;
        const TDatePart k = kindOf(current);
        int v = buffer.toInt();
        if (k == TDatePart::Year && (digitsOf(current) == 2 || buffer.size() <= 2))
            v = data::expandYear(v, int(buffer.size()));
        parts[size_t(slot(k))] = v;
        buffer.clear();
    }
};

TInspectorDateEdit::TInspectorDateEdit(TInspectorEditorHost* host, QWidget* parent)
    : QLineEdit(parent), d(std::make_unique<Private>()) {
    d->host = host;
    d->link = std::make_unique<DateEditLink>(this);
    d->link->onDataChange = [this] {
        if (!d->changed)
            loadFromField();
    };
    setFrame(false);
    setFocusPolicy(Qt::ClickFocus); // no part in the dialog's tab order
    setContextMenuPolicy(Qt::NoContextMenu);
    setDragEnabled(false);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, platform::clWindow.toQColor());
    pal.setColor(QPalette::Window, platform::clWindow.toQColor());
    pal.setColor(QPalette::Text, platform::clWindowText.toQColor());
    pal.setColor(QPalette::Highlight, platform::clHighlight.toQColor());
    pal.setColor(QPalette::HighlightedText, platform::clHighlightText.toQColor());
    setPalette(pal);
    d->button = new TInspectorDropButton(this);
    d->picture.emplace(picture(), core::formatSettings());
}

TInspectorDateEdit::~TInspectorDateEdit() {
    if (d->popup)
        delete d->popup.data();
}

void TInspectorDateEdit::bind(data::TDataSource* source, const QString& fieldName) {
    d->link->setDataSource(source);
    d->link->setFieldName(fieldName);
}

data::TField* TInspectorDateEdit::field() const {
    return d->link->field();
}

QString TInspectorDateEdit::picture() const {
    data::TField* f = field();
    if (f && !f->displayFormat().isEmpty())
        return f->displayFormat();
    const core::FormatSettings& fs = core::formatSettings();
    return fs.shortDateFormat + ' ' + fs.longTimeFormat;
}

std::optional<QDateTime> TInspectorDateEdit::value() const {
    if (d->null)
        return std::nullopt;
    return d->typed();
}

bool TInspectorDateEdit::isChanged() const {
    return d->changed;
}

int TInspectorDateEdit::currentPart() const {
    return d->current;
}

int TInspectorDateEdit::partCount() const {
    return int(d->partTokens.size());
}

bool TInspectorDateEdit::isDropDownOpen() const {
    return d->popup && d->popup->isVisible();
}

QCalendarWidget* TInspectorDateEdit::calendar() const {
    return d->popup ? d->calendar : nullptr;
}

QWidget* TInspectorDateEdit::arrowButton() const {
    return d->button;
}

void TInspectorDateEdit::loadFromField() {
    d->picture.emplace(picture(), core::formatSettings());
    d->buffer.clear();
    d->advanced = false;
    d->changed = false;
    data::TField* f = field();
    if (!f || f->isNull() || !f->asDateTime().isValid())
        d->null = true;
    else
        d->setFrom(f->asDateTime());
    d->current = std::clamp(d->current, 0, std::max(0, partCount() - 1));
    placeText();
    d->render(this);
}

void TInspectorDateEdit::setCurrentPart(int index) {
    d->finishPart();
    d->current = std::clamp(index, 0, std::max(0, partCount() - 1));
    d->render(this);
}

// Renders the value into the text, records where each part stands and selects the current one.
void TInspectorDateEdit::Private::render(TInspectorDateEdit* self) {
    Private& p = *this;
    p.partTokens.clear();
    p.partRanges.clear();
    const std::vector<TPictureToken>& all = p.tokens();
    for (int i = 0; i < int(all.size()); ++i)
        if (editable(all[size_t(i)].kind))
            p.partTokens.push_back(i);
    if (p.null) {
        self->setText(QString());
        return;
    }
    // The parts show as typed, even when they make no date yet.
    const QDateTime shown = p.nearest();
    QString out;
    for (const TPictureToken& t : all) {
        QString piece;
        if (!editable(t.kind)) {
            piece = p.picture->format(t, shown);
        } else {
            const int digits =
                t.kind == TDatePart::Year ? (t.count <= 2 ? 2 : 4) : std::min(t.count, 2);
            int v = p.parts[size_t(slot(t.kind))];
            // A two-digit year shows its last two digits once complete; while digits are being
            // typed it shows as typed.
            if (t.kind == TDatePart::Year && digits == 2 && p.buffer.isEmpty())
                v %= 100;
            piece = QString::number(v).rightJustified(digits, '0');
            p.partRanges.push_back({int(out.size()), int(piece.size())});
        }
        out += piece;
    }
    self->setText(out);
    if (self->hasFocus() && p.current < int(p.partRanges.size()))
        self->setSelection(p.partRanges[size_t(p.current)].first,
                           p.partRanges[size_t(p.current)].second);
}

void TInspectorDateEdit::commit() {
    if (!d->changed)
        return;
    data::TField* f = field();
    if (!f) {
        d->changed = false;
        return;
    }
    if (!d->buffer.isEmpty()) {
        // A part still being typed is completed first.
        d->finishPart();
        d->render(this);
    }
    if (d->null) {
        f->clear();
    } else {
        // A date that does not exist is refused, never replaced by a neighbouring one; the
        // editor keeps what was typed and stays changed.
        const std::optional<QDateTime> typed = d->typed();
        if (!typed)
            throw core::EDatabaseError(data::invalidDateTimeMessage(text()));
        QDateTime dt = *typed;
        const QDateTime old = f->asDateTime();
        // A date-only picture keeps the field's time of day, a time-only picture its date.
        if (!d->hasTime() && old.isValid())
            dt = QDateTime(dt.date(), old.time());
        else if (!d->hasDate() && old.isValid())
            dt = QDateTime(old.date(), dt.time());
        f->setAsDateTime(dt);
    }
    d->changed = false;
}

void TInspectorDateEdit::openDropDown() {
    if (isDropDownOpen())
        return;
    // A part still being typed ("09" of a year) is completed before the calendar shows it.
    if (!d->buffer.isEmpty()) {
        d->finishPart();
        d->render(this);
    }
    auto* popup = new QFrame(this, Qt::Popup);
    popup->setAttribute(Qt::WA_NoMouseReplay);
    popup->setFrameStyle(QFrame::Box | QFrame::Plain);
    popup->setLineWidth(1);
    auto* layout = new QVBoxLayout(popup);
    layout->setContentsMargins(1, 1, 1, 1);
    auto* cal = new QCalendarWidget(popup);
    cal->setGridVisible(false);
    cal->setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    // Month and day names in the language of the regional settings, weeks from their first day.
    const core::FormatSettings& fs = core::formatSettings();
    cal->setLocale(QLocale(fs.localeName));
    cal->setFirstDayOfWeek(fs.firstDayOfWeek);
    cal->setSelectedDate(d->null ? data::today() : d->nearest().date());
    layout->addWidget(cal);
    d->popup = popup;
    d->calendar = cal;
    connect(cal, &QCalendarWidget::clicked, this, [this](QDate) { closeDropDown(true); });
    cal->installEventFilter(this);
    for (QWidget* w : cal->findChildren<QWidget*>())
        w->installEventFilter(this);
    popup->installEventFilter(this);

    const QSize size = popup->sizeHint();
    QPoint at = mapToGlobal(QPoint(0, height()));
    if (QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        if (at.y() + size.height() > area.bottom() + 1)
            at.setY(mapToGlobal(QPoint(0, 0)).y() - size.height());
        at.setX(std::clamp(at.x(), area.left(),
                           std::max(area.left(), area.right() + 1 - size.width())));
    }
    popup->setGeometry(QRect(at, size));
    popup->show();
    cal->setFocus(Qt::PopupFocusReason);
}

void TInspectorDateEdit::closeDropDown(bool take) {
    if (!d->popup)
        return;
    QFrame* popup = d->popup;
    const QDate picked = d->calendar ? d->calendar->selectedDate() : QDate();
    d->popup = nullptr;
    d->calendar = nullptr;
    popup->removeEventFilter(this);
    popup->hide();
    popup->deleteLater();
    if (take && picked.isValid() && !isReadOnly()) {
        bool ok = false;
        platform::guarded([&] { ok = d->host->canEditCurrentRow(); });
        if (ok) {
            // The picked day keeps the editor's time; an empty editor gets midnight.
            const QTime time = d->null ? QTime(0, 0) : d->nearest().time();
            d->setFrom(QDateTime(picked, time));
            d->buffer.clear();
            d->changed = true;
        }
    }
    d->render(this);
    if (isVisible())
        setFocus(Qt::PopupFocusReason);
}

bool TInspectorDateEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == d->popup && event->type() == QEvent::Hide) {
        // Closed by a click outside: no change.
        QMetaObject::invokeMethod(
            this, [this] { closeDropDown(false); }, Qt::QueuedConnection);
        return false;
    }
    if (event->type() != QEvent::KeyPress || !d->popup)
        return QLineEdit::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
    case Qt::Key_Escape:
        closeDropDown(false);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_F4:
        closeDropDown(true);
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (mods & Qt::AltModifier) {
            closeDropDown(true);
            return true;
        }
        break;
    default:
        break;
    }
    return QLineEdit::eventFilter(watched, event);
}

void TInspectorDateEdit::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool alt = mods & Qt::AltModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const QString text = event->text();
    const int last = std::max(0, partCount() - 1);

    // Every change first passes the inspector's may-edit check.
    auto modify = [&](const std::function<void()>& change) {
        if (isReadOnly())
            return;
        bool ok = false;
        platform::guarded([&] { ok = d->host->canEditCurrentRow(); });
        if (!ok)
            return;
        change();
        d->changed = true;
        d->render(this);
    };
    auto finishPart = [&] { d->finishPart(); };
    auto setToday = [&] { d->setFrom(QDateTime(data::today(), QTime(0, 0))); };
    auto step = [&](int delta) {
        finishPart();
        const TDatePart k = d->kindOf(d->current);
        QDateTime dt = d->nearest();
        switch (k) {
        case TDatePart::Day:
            d->setFrom(dt.addDays(delta));
            break;
        case TDatePart::Month:
            d->setFrom(QDateTime(dt.date().addMonths(delta), dt.time()));
            break;
        case TDatePart::Year:
            d->setFrom(QDateTime(dt.date().addYears(delta), dt.time()));
            break;
        case TDatePart::Hour:
            d->parts[3] = (d->parts[3] + delta + 24) % 24;
            break;
        case TDatePart::Minute:
            d->parts[4] = (d->parts[4] + delta + 60) % 60;
            break;
        case TDatePart::Second:
            d->parts[5] = (d->parts[5] + delta + 60) % 60;
            break;
        default:
            break;
        }
    };
    auto moveTo = [&](int part) {
        finishPart();
        d->current = std::clamp(part, 0, last);
        d->advanced = false;
        d->render(this);
    };

    if (key == Qt::Key_F4 || (alt && (key == Qt::Key_Down || key == Qt::Key_Up))) {
        if (!d->hasDate())
            return;
        if (isDropDownOpen())
            closeDropDown(true);
        else
            openDropDown();
        return;
    }
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Normally taken by the inspector's keyboard hook before they get here.
        d->host->routeKey(key, mods);
        return;
    case Qt::Key_Escape:
        platform::guarded([&] { d->host->revertCurrentRow(); });
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (ctrl)
            return;
        if (d->null)
            modify(setToday);
        else
            modify([&] { step(key == Qt::Key_Up ? 1 : -1); });
        return;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (d->null)
            modify(setToday);
        else
            moveTo(key == Qt::Key_Home ? 0 : last);
        return;
    case Qt::Key_Left:
        if (!d->null)
            moveTo(d->current - 1);
        return;
    case Qt::Key_Right:
    case Qt::Key_Space:
        if (!d->null)
            moveTo(d->current + 1);
        return;
    case Qt::Key_Backspace:
        modify([&] {
            d->null = true;
            d->buffer.clear();
        });
        return;
    case Qt::Key_Delete: {
        data::TField* f = field();
        if (f && f->required())
            return;
        modify([&] {
            d->null = true;
            d->buffer.clear();
        });
        return;
    }
    default:
        break;
    }
    if (text.isEmpty() || ctrl || alt)
        return;
    const QChar c = text[0];
    if (c == core::formatSettings().dateSeparator) {
        // The locale's date separator ("." under Turkish settings) ends the part being typed.
        // Right after a part completed itself by its digits ("25" then "."), it is the
        // separator the user typed along and moves nowhere.
        if (!d->null && !d->advanced)
            moveTo(d->current + 1);
        d->advanced = false;
        return;
    }
    if ((c == '+' || c == '=' || c == '-') && !d->null) {
        modify([&] { step(c == '-' ? -1 : 1); });
        return;
    }
    if (!c.isDigit() || partCount() == 0)
        return;
    const TDatePart k = d->kindOf(d->current);
    const int maximum = maxValue(k, d->digitsOf(d->current));
    const QString typed = d->buffer + c;
    // An impossible value (a 13th month, a 32nd day, hour 24) is refused with a beep.
    if (typed.toInt() > maximum) {
        d->host->beep();
        return;
    }
    modify([&] {
        if (d->null) {
            d->setFrom(QDateTime(data::today(), QTime(0, 0)));
        }
        d->buffer = typed;
        d->advanced = false;
        d->parts[size_t(Private::slot(k))] = typed.toInt();
        // A part is complete when it has all its digits or no further digit could fit.
        const int width = k == TDatePart::Year ? d->digitsOf(d->current) : 2;
        if (typed.size() >= width || typed.toInt() * 10 > maximum) {
            finishPart();
            d->advanced = d->current < last;
            d->current = std::min(d->current + 1, last);
        }
    });
}

void TInspectorDateEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || d->null)
        return;
    const int pos = cursorPositionAt(event->position().toPoint());
    int part = 0;
    for (int i = 0; i < int(d->partRanges.size()); ++i)
        if (pos >= d->partRanges[size_t(i)].first)
            part = i;
    d->finishPart();
    setCurrentPart(part);
}

void TInspectorDateEdit::mouseMoveEvent(QMouseEvent*) {}

void TInspectorDateEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
}

void TInspectorDateEdit::mouseReleaseEvent(QMouseEvent*) {}

void TInspectorDateEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    d->render(this); // selects the current part
}

void TInspectorDateEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    // The inspector writes the value when the focus leaves it or the row changes.
}

void TInspectorDateEdit::placeText() {
    // The arrow button is as wide as a vertical scroll bar and at least 15 pixels.
    // A time-only picture has no calendar and so no button.
    const int w =
        d->hasDate() ? std::max(15, style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this))
                     : 0;
    d->button->setGeometry(width() - w, 0, w, height());
    d->button->setVisible(w > 0);
    // The text starts 1 pixel in from the editor's left and top edges (2 and 1 from the cell's),
    // on the Windows ascent like the painted text; the line edit adds 2 pixels left, 1 on top.
    const int shift = platform::windowsAscent(font()) - QFontMetrics(font()).ascent();
    setTextMargins(-1, std::max(0, shift), w, 0);
}

void TInspectorDateEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    placeText();
}

void TInspectorDateEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        placeText();
}

} // namespace controls
