// TRecordInspector: entering and leaving the focus, as the shared focus tracker reports it.
#include "controls/RecordInspectorPrivate.h"
#include "platform/Application.h"

#include <QApplication>
#include <QFocusEvent>

namespace controls {

void TRecordInspector::Private::focusEntered(QWidget*) {
    focusInside = true;
    tracker->keyHook().install();
    scrollIntoView(current);
    showEditor(!link.isModified());
    q->viewport()->update();
}

void TRecordInspector::Private::focusLeft(QWidget* now) {
    tracker->keyHook().remove();
    focusInside = false;
    try {
        q->writeCurrentRow();
    } catch (...) {
        // The inspector keeps the focus, the row keeps its text, and the control that tried to
        // take the focus does not get the click that tried.
        if (QApplication::mouseButtons() != Qt::NoButton)
            tracker->keyHook().swallowNextClick(now);
        q->setFocus(Qt::OtherFocusReason);
        platform::handleException();
        return;
    }
    editorKeys = false;
    hideHint();
    hideEditors();
    q->viewport()->update();
}

void TRecordInspector::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    if (d->focusInside && d->shownEditor && d->shownEditor->isVisible() &&
        d->shownEditor->isEnabled())
        d->shownEditor->setFocus(event->reason());
}

} // namespace controls
