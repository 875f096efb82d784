// RecordWindow: filling, moving and re-reading the records around a record set's current one.
#include "data/RecordWindow.h"

#include <algorithm>
#include <cstdlib>

namespace data {

void RecordWindow::attach(cursor::Recordset& recordset, Reader reader) {
    rs_ = &recordset;
    read_ = std::move(reader);
    records_.clear();
    active_ = 0;
    bof_ = eof_ = true;
}

void RecordWindow::release() {
    records_.clear();
    active_ = 0;
    bof_ = eof_ = true;
    rs_ = nullptr;
    read_ = nullptr;
}

void RecordWindow::clear() {
    records_.clear();
    active_ = 0;
}

void RecordWindow::setActive(int position) {
    if (position >= 0 && position < size())
        active_ = position;
}

bool RecordWindow::onRow() const {
    return !rs_->bof() && !rs_->eof();
}

void RecordWindow::standOn(qint64 bookmark) {
    if (onRow() && rs_->bookmark() == bookmark)
        return;
    rs_->gotoBookmark(bookmark);
}

std::optional<RecordBuffer> RecordWindow::after(const RecordBuffer& b) {
    if (b.stored) {
        standOn(b.bookmark);
        rs_->moveNext();
    } else if (b.insertBefore) {
        rs_->gotoBookmark(*b.insertBefore);
    } else {
        return std::nullopt;
    }
    if (!onRow())
        return std::nullopt;
    return read_();
}

std::optional<RecordBuffer> RecordWindow::before(const RecordBuffer& b) {
    if (b.stored) {
        standOn(b.bookmark);
        rs_->movePrevious();
    } else if (b.insertBefore) {
        rs_->gotoBookmark(*b.insertBefore);
        rs_->movePrevious();
    } else {
        if (rs_->recordCount() == 0)
            return std::nullopt;
        rs_->moveLast();
    }
    if (!onRow())
        return std::nullopt;
    return read_();
}

void RecordWindow::fillForward() {
    while (size() < capacity_) {
        std::optional<RecordBuffer> next = after(records_.back());
        if (!next)
            break;
        records_.push_back(std::move(*next));
    }
}

// Adds up to limit records in front of the window; returns how many were added.
int RecordWindow::fillBackward(int limit) {
    int added = 0;
    while (added < limit && size() < capacity_) {
        std::optional<RecordBuffer> prior = before(records_.front());
        if (!prior)
            break;
        records_.push_front(std::move(*prior));
        ++added;
    }
    return added;
}

void RecordWindow::fillFromEnd(bool fromLast) {
    records_.clear();
    active_ = 0;
    if (rs_->recordCount() == 0)
        return;
    if (fromLast)
        rs_->moveLast();
    else
        rs_->moveFirst();
    if (!onRow())
        return;
    records_.push_back(read_());
    if (fromLast)
        active_ = fillBackward(capacity_);
    else
        fillForward();
}

void RecordWindow::fillFromFirst() {
    fillFromEnd(false);
    bof_ = true;
    eof_ = empty();
}

void RecordWindow::fillFromLast() {
    fillFromEnd(true);
    bof_ = empty();
    eof_ = true;
}

bool RecordWindow::canMove(int distance) const {
    return !((distance > 0 && eof_) || (distance < 0 && bof_) || distance == 0);
}

bool RecordWindow::stepForward(int& shift) {
    if (active_ < size() - 1) {
        ++active_;
        return true;
    }
    std::optional<RecordBuffer> next = empty() ? std::nullopt : after(records_.back());
    if (!next) {
        eof_ = true;
        return false;
    }
    records_.push_back(std::move(*next));
    if (size() > capacity_) {
        records_.pop_front();
        --shift;
    }
    active_ = size() - 1;
    return true;
}

bool RecordWindow::stepBackward(int& shift) {
    if (active_ > 0) {
        --active_;
        return true;
    }
    std::optional<RecordBuffer> prior = empty() ? std::nullopt : before(records_.front());
    if (!prior) {
        bof_ = true;
        return false;
    }
    records_.push_front(std::move(*prior));
    if (size() > capacity_) {
        records_.pop_back();
        ++shift;
    }
    active_ = 0;
    return true;
}

RecordWindow::Moved RecordWindow::moveBy(int distance) {
    Moved moved;
    if (!canMove(distance))
        return moved;
    bof_ = eof_ = false;
    const int oldCount = size();
    for (int i = 0; i < std::abs(distance); ++i) {
        if (distance > 0 ? !stepForward(moved.shift) : !stepBackward(moved.shift))
            break;
        moved.steps += distance > 0 ? 1 : -1;
    }
    moved.countChanged = size() != oldCount;
    return moved;
}

RecordWindow::Reread RecordWindow::reread(Placement placement, bool exact) {
    std::optional<RecordBuffer> cur;
    if (onRow()) {
        cur = read_();
    } else if (exact) {
        return Reread::NotFound;
    } else {
        if (!rs_->eof()) {
            rs_->moveNext();
            if (onRow())
                cur = read_();
        }
        if (!cur && !rs_->bof() && rs_->recordCount() > 0) {
            rs_->movePrevious();
            if (onRow())
                cur = read_();
        }
    }
    if (!cur) {
        records_.clear();
        active_ = 0;
        bof_ = eof_ = true;
        return Reread::Empty;
    }
    const int want =
        placement == Placement::Centre ? (capacity_ - 1) / 2 : std::min(active_, capacity_ - 1);
    records_.clear();
    records_.push_back(std::move(*cur));
    bof_ = eof_ = false;
    int position = fillBackward(want);
    fillForward();
    position += fillBackward(capacity_);
    active_ = position;
    return Reread::Read;
}

std::vector<int> RecordWindow::rereadRows(const std::vector<qint64>& bookmarks) {
    std::vector<int> read;
    for (std::size_t i = 0; i < records_.size(); ++i) {
        RecordBuffer& b = records_[i];
        if (!b.stored ||
            std::find(bookmarks.begin(), bookmarks.end(), b.bookmark) == bookmarks.end())
            continue;
        standOn(b.bookmark);
        b = read_();
        read.push_back(int(i));
    }
    return read;
}

void RecordWindow::insertBlank(RecordBuffer blank) {
    if (!empty()) {
        const RecordBuffer& cur = activeRecord();
        blank.insertBefore = cur.stored ? std::optional<qint64>(cur.bookmark) : cur.insertBefore;
    }
    records_.insert(records_.begin() + active_, std::move(blank));
    if (size() > capacity_)
        records_.pop_back();
}

void RecordWindow::removeActive() {
    records_.erase(records_.begin() + active_);
    active_ = std::clamp(active_, 0, std::max(0, size() - 1));
}

void RecordWindow::cursorToActive() {
    if (empty())
        return;
    const RecordBuffer& b = activeRecord();
    if (b.stored)
        rs_->gotoBookmark(b.bookmark);
    else if (b.insertBefore)
        rs_->gotoBookmark(*b.insertBefore);
    else if (rs_->recordCount() > 0)
        rs_->moveLast();
}

int RecordWindow::setCapacity(int capacity) {
    if (capacity == capacity_)
        return 0;
    capacity_ = capacity;
    if (!rs_ || empty())
        return 0;
    int shift = 0;
    while (size() > capacity_) {
        if (active_ < size() - 1) {
            records_.pop_back();
        } else {
            records_.pop_front();
            --active_;
            --shift;
        }
    }
    fillForward();
    const int added = fillBackward(capacity_);
    active_ += added;
    return shift + added;
}

} // namespace data
