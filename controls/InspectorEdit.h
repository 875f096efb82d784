// TInspectorEdit: the borderless in-place text editor laid over the inspector's current data cell.
#pragma once

#include <QPlainTextEdit>

namespace controls {

class TInspectorEditorHost;

// A flat edit box without border: one line scrolling sideways, or several lines wrapped at the
// cell's width for memo rows. Keys that move between rows, revert or would change the text go
// through the inspector first. Owned by the inspector (a child of its viewport).
class TInspectorEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TInspectorEdit(TInspectorEditorHost* host, QWidget* parent);

    QString text() const { return toPlainText(); }
    // Replaces the text and selects all of it.
    void setTextSelected(const QString& text);
    // Replaces the text keeping the caret and selection as far as they still fit.
    void setTextKeepingSelection(const QString& text);
    // Word-wrap (memo) mode: several lines wrapped at the editor's width, scrolling vertically.
    bool wordWrapMode() const { return multiLine_; }
    void setMultiLine(bool on);
    // Characters accepted at most; 0 = no limit.
    int maxLength() const { return maxLength_; }
    void setMaxLength(int length) { maxLength_ = length; }
    // F2: caret to the end, selection removed.
    void moveCaretToEnd();
    // Text position of the first character in the editor (for placing it over the painted text).
    static constexpr int kTextLeft = 1;
    static constexpr int kTextTop = 1;

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    void placeText();

    TInspectorEditorHost* host_;
    bool multiLine_ = false;
    int maxLength_ = 0;
};

} // namespace controls
