// TDateSections: a date-time value typed section by section, without any widget.
#pragma once

#include "data/DatePicture.h"

#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace controls {

// The editable sections of a picture (day, month, year, hour, minute, second in the order the
// picture names them), the values typed into them, the current section and the digits typed into
// it so far, as QDateTimeEdit keeps its sections. The values need not make a date (31.02.2008, a
// zero month) until they are read with typed(). Owned by value by the date editor.
class TDateSections {
public:
    void setPicture(const QString& picture, const core::FormatSettings& settings);
    const data::TDatePicture* picture() const { return picture_ ? &*picture_ : nullptr; }
    bool hasDate() const { return picture_ && picture_->hasDate(); }
    bool hasTime() const { return picture_ && picture_->hasTime(); }

    int count() const { return int(sections_.size()); }
    int current() const { return current_; }
    bool isNull() const { return null_; }
    bool isTyping() const { return !buffer_.isEmpty(); }

    // Shows a value (none: empty) and forgets the digits being typed.
    void load(const std::optional<QDateTime>& value);
    // Every section from the value (no longer empty); the digits being typed are kept.
    void setFrom(const QDateTime& value);
    // A value picked whole (from the calendar): the digits being typed are dropped.
    void pick(const QDateTime& value);
    void clear(); // empty; the digits being typed are dropped

    // The value the sections make, when they make one; and the nearest real value (each section
    // brought into its range), for stepping, the names and the calendar.
    std::optional<QDateTime> typed() const;
    QDateTime nearest() const;

    // The text the sections show (empty when null) and where each section stands in it: start
    // and length.
    QString text() const;
    std::vector<std::pair<int, int>> ranges() const;

    // Completes the section being typed (a year of one or two digits is expanded).
    void finishSection();
    // Makes a section current (clamped), completing the one being typed.
    void setCurrent(int section);
    // The same as a move of the user's: the section is no longer one reached by completing the
    // one before it.
    void moveTo(int section);
    // Up or down by delta in the current section: a day, month or year moves the date, an hour,
    // minute or second turns round within its range.
    void step(int delta);
    // Whether a digit typed now gives a possible value (not a 13th month, a 32nd day, hour 24).
    bool acceptsDigit(QChar digit) const;
    // Types the digit (an empty value starts from today at midnight); a section complete by its
    // digits moves on to the next.
    void typeDigit(QChar digit, QDate today);
    // The date separator typed: moves to the next section, except right after a section that
    // completed itself by its digits ("25" then "."). True when it moved.
    bool typeSeparator();

private:
    data::TDatePart kindOf(int section) const;
    int digitsOf(int section) const;
    int maximum() const;
    QString layout(std::vector<std::pair<int, int>>* ranges) const;

    std::optional<data::TDatePicture> picture_;
    std::vector<int> sections_; // token index of each editable section
    // Day, month, year, hour, minute, second as typed.
    std::array<int, 6> values_{1, 1, 2000, 0, 0, 0};
    bool null_ = true;
    int current_ = 0;
    QString buffer_;        // digits typed into the current section so far
    bool advanced_ = false; // the current section was reached by completing the one before it
};

} // namespace controls
