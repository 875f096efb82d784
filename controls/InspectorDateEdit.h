// TInspectorDateEdit: the inspector's date editor, typed part by part, with a drop-down calendar.
#pragma once

#include <QDateTime>
#include <QLineEdit>
#include <functional>
#include <memory>
#include <optional>

class QCalendarWidget;

namespace data {
class TDataSource;
class TField;
} // namespace data

namespace controls {

class TInspectorEditorHost;

// Shows a date-time field in the regional short date and long time and edits it part by part
// (day, month, year, hour, minute, second in the order of the format). Bound to the same data
// source and field as its row; writes the field when it loses the focus with a changed value and
// when the record set asks for pending input. Owned by the inspector, created on first use and
// kept; owns its arrow button and its calendar popup.
class TInspectorDateEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TInspectorDateEdit(TInspectorEditorHost* host, QWidget* parent);
    ~TInspectorDateEdit() override;

    void bind(data::TDataSource* source, const QString& fieldName);
    data::TField* field() const;

    // The value shown (nullopt when empty, or when the typed parts make no date).
    std::optional<QDateTime> value() const;
    // Whether the value was changed since it was loaded or written.
    bool isChanged() const;
    // Shows the field's value and forgets any change.
    void loadFromField();
    // Writes a changed value into the field (null when empty); throws what the field raises.
    void commit();

    // The part at the caret: its index among the editable parts, and the text it covers.
    int currentPart() const;
    int partCount() const;
    void setCurrentPart(int index);

    bool isDropDownOpen() const;
    void openDropDown();
    // Closes the calendar; with take, its selected date goes into the editor.
    void closeDropDown(bool take);
    QCalendarWidget* calendar() const; // the calendar while the popup exists, else nullptr
    QWidget* arrowButton() const;

    // The display picture: the field's display format, or the regional short date, a blank and
    // the regional long time.
    QString picture() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void placeText();
    void modify(const std::function<void()>& change);
    void moveTo(int section);
    bool editingKey(int key, Qt::KeyboardModifiers mods);
    void typeCharacter(QChar c);

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace controls
