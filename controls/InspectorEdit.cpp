// TInspectorEdit: flat plain-text editor with the inspector's key routing and length limit.
#include "controls/InspectorEdit.h"
#include "controls/InspectorEditorHost.h"
#include "platform/Colors.h"
#include "platform/Fonts.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

namespace controls {

TInspectorEdit::TInspectorEdit(TInspectorEditorHost* host, QWidget* parent)
    : QPlainTextEdit(parent), host_(host) {
    setFrameShape(QFrame::NoFrame);
    setLineWidth(0);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::ClickFocus); // not in the dialog's tab order: the inspector is
    setTabChangesFocus(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAcceptDrops(false);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setUndoRedoEnabled(false);
    placeText();
    QPalette pal = palette();
    pal.setColor(QPalette::Base, platform::clWindow.toQColor());
    pal.setColor(QPalette::Window, platform::clWindow.toQColor());
    pal.setColor(QPalette::Text, platform::clWindowText.toQColor());
    pal.setColor(QPalette::Highlight, platform::clHighlight.toQColor());
    pal.setColor(QPalette::HighlightedText, platform::clHighlightText.toQColor());
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
    setAutoFillBackground(true);
    setMultiLine(false);
}

void TInspectorEdit::placeText() {
    // The painted text stands on the Windows ascent; the toolkit's ascent may be smaller, and the
    // marks over capitals ("İ", "Ö", "Ç") reach above it. So the viewport keeps its place and the
    // text moves down inside it by the difference, with room above for those marks: the margin
    // around the document holds the shift, and the viewport reaches out by as much on the left
    // and right so that the text's left edge and wrapping width stay where they were.
    const int shift = std::max(0, platform::windowsAscent(font()) - QFontMetrics(font()).ascent());
    document()->setDocumentMargin(shift);
    setViewportMargins(kTextLeft - shift, kTextTop, -shift, 0);
}

void TInspectorEdit::changeEvent(QEvent* event) {
    QPlainTextEdit::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        placeText();
}

void TInspectorEdit::setMultiLine(bool on) {
    multiLine_ = on;
    setLineWrapMode(on ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
    setWordWrapMode(on ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
}

void TInspectorEdit::setTextSelected(const QString& text) {
    if (toPlainText() != text)
        setPlainText(text);
    // All of it selected with the caret at the start, so the editor shows the text's beginning.
    QTextCursor c = textCursor();
    c.movePosition(QTextCursor::End);
    c.movePosition(QTextCursor::Start, QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}

void TInspectorEdit::setTextKeepingSelection(const QString& text) {
    if (toPlainText() == text)
        return;
    QTextCursor c = textCursor();
    int anchor = qMin(c.anchor(), int(text.size()));
    int position = qMin(c.position(), int(text.size()));
    setPlainText(text);
    c = textCursor();
    c.setPosition(anchor);
    c.setPosition(position, QTextCursor::KeepAnchor);
    setTextCursor(c);
}

void TInspectorEdit::moveCaretToEnd() {
    QTextCursor c = textCursor();
    c.movePosition(QTextCursor::End);
    setTextCursor(c);
    ensureCursorVisible();
}

bool TInspectorEdit::event(QEvent* event) {
    // Tab and Shift+Tab move between rows; they never reach the text or the focus chain.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab) {
            host_->editorKeyPress(key);
            return true;
        }
    }
    return QPlainTextEdit::event(event);
}

void TInspectorEdit::keyPressEvent(QKeyEvent* event) {
    if (host_->editorKeyPress(event))
        return;
    QPlainTextEdit::keyPressEvent(event);
}

bool TInspectorEdit::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText();
}

void TInspectorEdit::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText() || isReadOnly() || !host_->canEditCurrentRow())
        return;
    QString text = source->text();
    if (!multiLine_) {
        // One line: a pasted line break ends the text, as a single-line edit box does.
        int cut = int(text.indexOf(QRegularExpression(QStringLiteral("[\r\n]"))));
        if (cut >= 0)
            text.truncate(cut);
    }
    if (maxLength_ > 0) {
        int selected = int(textCursor().selectedText().size());
        int room = maxLength_ - int(toPlainText().size()) + selected;
        if (text.size() > room) {
            // Only what fits is taken; the sound of a refused key says that the rest was not.
            text.truncate(qMax(0, room));
            host_->beep();
        }
    }
    textCursor().insertText(text);
    ensureCursorVisible();
}

} // namespace controls
