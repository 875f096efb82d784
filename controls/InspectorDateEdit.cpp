// TInspectorDateEdit: part-by-part date and time entry, the arrow button and the month calendar.
#include "controls/InspectorDateEdit.h"
#include "controls/DateSections.h"
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
    TDateSections sections;
    bool changed = false;

    void render(TInspectorDateEdit* self);
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
    d->sections.setPicture(picture(), core::formatSettings());
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
    if (d->sections.isNull())
        return std::nullopt;
    return d->sections.typed();
}

bool TInspectorDateEdit::isChanged() const {
    return d->changed;
}

int TInspectorDateEdit::currentPart() const {
    return d->sections.current();
}

int TInspectorDateEdit::partCount() const {
    return d->sections.count();
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
    d->sections.setPicture(picture(), core::formatSettings());
    d->changed = false;
    data::TField* f = field();
    if (!f || f->isNull() || !f->asDateTime().isValid())
        d->sections.load(std::nullopt);
    else
        d->sections.load(f->asDateTime());
    placeText();
    d->render(this);
}

void TInspectorDateEdit::setCurrentPart(int index) {
    d->sections.setCurrent(index);
    d->render(this);
}

// Shows the sections' text and selects the current one.
void TInspectorDateEdit::Private::render(TInspectorDateEdit* self) {
    self->setText(sections.text());
    if (sections.isNull())
        return;
    const std::vector<std::pair<int, int>> ranges = sections.ranges();
    if (self->hasFocus() && sections.current() < int(ranges.size()))
        self->setSelection(ranges[std::size_t(sections.current())].first,
                           ranges[std::size_t(sections.current())].second);
}

void TInspectorDateEdit::commit() {
    if (!d->changed)
        return;
    data::TField* f = field();
    if (!f) {
        d->changed = false;
        return;
    }
    if (d->sections.isTyping()) {
        // A part still being typed is completed first.
        d->sections.finishSection();
        d->render(this);
    }
    if (d->sections.isNull()) {
        f->clear();
    } else {
        // A date that does not exist is refused, never replaced by a neighbouring one; the
        // editor keeps what was typed and stays changed.
        const std::optional<QDateTime> typed = d->sections.typed();
        if (!typed)
            throw core::EDatabaseError(data::invalidDateTimeMessage(text()));
        QDateTime dt = *typed;
        const QDateTime old = f->asDateTime();
        // A date-only picture keeps the field's time of day, a time-only picture its date.
        if (!d->sections.hasTime() && old.isValid())
            dt = QDateTime(dt.date(), old.time());
        else if (!d->sections.hasDate() && old.isValid())
            dt = QDateTime(old.date(), dt.time());
        f->setAsDateTime(dt);
    }
    d->changed = false;
}

void TInspectorDateEdit::openDropDown() {
    if (isDropDownOpen())
        return;
    // A part still being typed ("09" of a year) is completed before the calendar shows it.
    if (d->sections.isTyping()) {
        d->sections.finishSection();
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
    cal->setSelectedDate(d->sections.isNull() ? data::today() : d->sections.nearest().date());
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
            const QTime time = d->sections.isNull() ? QTime(0, 0) : d->sections.nearest().time();
            d->sections.pick(QDateTime(picked, time));
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
    if (key == Qt::Key_F4 || (alt && (key == Qt::Key_Down || key == Qt::Key_Up))) {
        if (!d->sections.hasDate())
            return;
        if (isDropDownOpen())
            closeDropDown(true);
        else
            openDropDown();
        return;
    }
    if (editingKey(key, mods))
        return;
    const QString text = event->text();
    if (!text.isEmpty() && !(mods & Qt::ControlModifier) && !alt)
        typeCharacter(text[0]);
}

// Every change first passes the inspector's may-edit check.
void TInspectorDateEdit::modify(const std::function<void()>& change) {
    if (isReadOnly())
        return;
    bool ok = false;
    platform::guarded([&] { ok = d->host->canEditCurrentRow(); });
    if (!ok)
        return;
    change();
    d->changed = true;
    d->render(this);
}

void TInspectorDateEdit::moveTo(int section) {
    d->sections.moveTo(section);
    d->render(this);
}

// The keys that move, step, clear or leave; false for the others.
bool TInspectorDateEdit::editingKey(int key, Qt::KeyboardModifiers mods) {
    TDateSections& s = d->sections;
    const auto setToday = [&] { s.setFrom(QDateTime(data::today(), QTime(0, 0))); };
    switch (key) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Normally taken by the inspector's keyboard hook before they get here.
        d->host->routeKey(key, mods);
        return true;
    case Qt::Key_Escape:
        platform::guarded([&] { d->host->revertCurrentRow(); });
        return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (mods & Qt::ControlModifier)
            return true;
        if (s.isNull())
            modify(setToday);
        else
            modify([&] { s.step(key == Qt::Key_Up ? 1 : -1); });
        return true;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (s.isNull())
            modify(setToday);
        else
            moveTo(key == Qt::Key_Home ? 0 : s.count() - 1);
        return true;
    case Qt::Key_Left:
        if (!s.isNull())
            moveTo(s.current() - 1);
        return true;
    case Qt::Key_Right:
    case Qt::Key_Space:
        if (!s.isNull())
            moveTo(s.current() + 1);
        return true;
    case Qt::Key_Delete:
        if (data::TField* f = field(); f && f->required())
            return true;
        [[fallthrough]];
    case Qt::Key_Backspace:
        modify([&] { s.clear(); });
        return true;
    default:
        return false;
    }
}

void TInspectorDateEdit::typeCharacter(QChar c) {
    TDateSections& s = d->sections;
    if (c == core::formatSettings().dateSeparator) {
        // The locale's date separator ("." under Turkish settings) ends the part being typed.
        if (s.typeSeparator())
            d->render(this);
        return;
    }
    if ((c == '+' || c == '=' || c == '-') && !s.isNull()) {
        modify([&] { s.step(c == '-' ? -1 : 1); });
        return;
    }
    if (!c.isDigit() || s.count() == 0)
        return;
    // An impossible value (a 13th month, a 32nd day, hour 24) is refused with a beep.
    if (!s.acceptsDigit(c)) {
        d->host->beep();
        return;
    }
    modify([&] { s.typeDigit(c, data::today()); });
}

void TInspectorDateEdit::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || d->sections.isNull())
        return;
    const int pos = cursorPositionAt(event->position().toPoint());
    const std::vector<std::pair<int, int>> ranges = d->sections.ranges();
    int part = 0;
    for (int i = 0; i < int(ranges.size()); ++i)
        if (pos >= ranges[std::size_t(i)].first)
            part = i;
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
        d->sections.hasDate()
            ? std::max(15, style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this))
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
