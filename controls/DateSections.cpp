// TDateSections: typing, stepping and moving through the sections of a date-time picture.
#include "controls/DateSections.h"

#include <algorithm>

namespace controls {

namespace {

using data::TDatePart;
using data::TPictureToken;

bool editable(TDatePart k) {
    return k == TDatePart::Day || k == TDatePart::Month || k == TDatePart::Year ||
           k == TDatePart::Hour || k == TDatePart::Minute || k == TDatePart::Second;
}

int slot(TDatePart k) {
    return int(k) - int(TDatePart::Day);
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

// Digits a section shows: two or four for a year, one or two for the others.
int digitsOf(const TPictureToken& t) {
    return t.kind == TDatePart::Year ? (t.count <= 2 ? 2 : 4) : std::min(t.count, 2);
}

} // namespace

void TDateSections::setPicture(const QString& picture, const core::FormatSettings& settings) {
    picture_.emplace(picture, settings);
    sections_.clear();
    const std::vector<TPictureToken>& tokens = picture_->tokens();
    for (int i = 0; i < int(tokens.size()); ++i)
        if (editable(tokens[std::size_t(i)].kind))
            sections_.push_back(i);
}

TDatePart TDateSections::kindOf(int section) const {
    return section >= 0 && section < count()
               ? picture_->tokens()[std::size_t(sections_[std::size_t(section)])].kind
               : TDatePart::Literal;
}

int TDateSections::digitsOf(int section) const {
    return controls::digitsOf(picture_->tokens()[std::size_t(sections_[std::size_t(section)])]);
}

int TDateSections::maximum() const {
    return maxValue(kindOf(current_), digitsOf(current_));
}

void TDateSections::load(const std::optional<QDateTime>& value) {
    buffer_.clear();
    advanced_ = false;
    if (value)
        setFrom(*value);
    else
        null_ = true;
    current_ = std::clamp(current_, 0, std::max(0, count() - 1));
}

void TDateSections::setFrom(const QDateTime& value) {
    values_ = {value.date().day(),  value.date().month(),  value.date().year(),
               value.time().hour(), value.time().minute(), value.time().second()};
    null_ = false;
}

void TDateSections::pick(const QDateTime& value) {
    setFrom(value);
    buffer_.clear();
}

void TDateSections::clear() {
    null_ = true;
    buffer_.clear();
}

std::optional<QDateTime> TDateSections::typed() const {
    const std::optional<QDate> date = data::dateFromParts(values_[2], values_[1], values_[0]);
    if (!date || !QTime::isValid(values_[3], values_[4], values_[5]))
        return std::nullopt;
    return QDateTime(*date, QTime(values_[3], values_[4], values_[5]));
}

QDateTime TDateSections::nearest() const {
    const int year = std::clamp(values_[2], 1, 9999);
    const int month = std::clamp(values_[1], 1, 12);
    const int day = std::clamp(values_[0], 1, QDate(year, month, 1).daysInMonth());
    return QDateTime(QDate(year, month, day), QTime(values_[3], values_[4], values_[5]));
}

// The sections show as typed, even when they make no date yet.
QString TDateSections::layout(std::vector<std::pair<int, int>>* ranges) const {
    if (null_ || !picture_)
        return {};
    const QDateTime shown = nearest();
    QString out;
    for (const TPictureToken& t : picture_->tokens()) {
        QString piece;
        if (!editable(t.kind)) {
            piece = picture_->format(t, shown);
        } else {
            const int digits = controls::digitsOf(t);
            int v = values_[std::size_t(slot(t.kind))];
            // A two-digit year shows its last two digits once complete; while digits are being
            // typed it shows as typed.
            if (t.kind == TDatePart::Year && digits == 2 && buffer_.isEmpty())
                v %= 100;
            piece = QString::number(v).rightJustified(digits, '0');
            if (ranges)
                ranges->push_back({int(out.size()), int(piece.size())});
        }
        out += piece;
    }
    return out;
}

QString TDateSections::text() const {
    return layout(nullptr);
}

std::vector<std::pair<int, int>> TDateSections::ranges() const {
    std::vector<std::pair<int, int>> result;
    layout(&result);
    return result;
}

void TDateSections::finishSection() {
    if (buffer_.isEmpty())
        return;
    const TDatePart k = kindOf(current_);
    int v = buffer_.toInt();
    if (k == TDatePart::Year && (digitsOf(current_) == 2 || buffer_.size() <= 2))
        v = data::expandYear(v, int(buffer_.size()));
    values_[std::size_t(slot(k))] = v;
    buffer_.clear();
}

void TDateSections::setCurrent(int section) {
    finishSection();
    current_ = std::clamp(section, 0, std::max(0, count() - 1));
}

void TDateSections::moveTo(int section) {
    setCurrent(section);
    advanced_ = false;
}

void TDateSections::step(int delta) {
    finishSection();
    const QDateTime dt = nearest();
    switch (kindOf(current_)) {
    case TDatePart::Day:
        setFrom(dt.addDays(delta));
        break;
    case TDatePart::Month:
        setFrom(QDateTime(dt.date().addMonths(delta), dt.time()));
        break;
    case TDatePart::Year:
        setFrom(QDateTime(dt.date().addYears(delta), dt.time()));
        break;
    case TDatePart::Hour:
        values_[3] = (values_[3] + delta + 24) % 24;
        break;
    case TDatePart::Minute:
        values_[4] = (values_[4] + delta + 60) % 60;
        break;
    case TDatePart::Second:
        values_[5] = (values_[5] + delta + 60) % 60;
        break;
    default:
        break;
    }
}

bool TDateSections::acceptsDigit(QChar digit) const {
    return count() > 0 && digit.isDigit() && (buffer_ + digit).toInt() <= maximum();
}

void TDateSections::typeDigit(QChar digit, QDate today) {
    const TDatePart k = kindOf(current_);
    const int most = maximum();
    const QString typed = buffer_ + digit;
    if (null_)
        setFrom(QDateTime(today, QTime(0, 0)));
    buffer_ = typed;
    advanced_ = false;
    values_[std::size_t(slot(k))] = typed.toInt();
    // A section is complete when it has all its digits or no further digit could fit.
    const int width = k == TDatePart::Year ? digitsOf(current_) : 2;
    if (typed.size() >= width || typed.toInt() * 10 > most) {
        finishSection();
        const int last = std::max(0, count() - 1);
        advanced_ = current_ < last;
        current_ = std::min(current_ + 1, last);
    }
}

bool TDateSections::typeSeparator() {
    const bool moves = !null_ && !advanced_;
    if (moves)
        moveTo(current_ + 1);
    advanced_ = false;
    return moves;
}

} // namespace controls
