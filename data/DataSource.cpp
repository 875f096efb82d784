// TDataSource, TDataLink and TFieldDataLink: passing a set's notifications on to bound controls.
#include "data/DataSource.h"

#include "data/DataSet.h"

#include <algorithm>

namespace data {

// Data source --------------------------------------------------------------------------------

TDataSource::TDataSource(TDataSet* dataSet) {
    setDataSet(dataSet);
}

TDataSource::~TDataSource() {
    setDataSet(nullptr);
    while (!links_.empty())
        removeLink(links_.back());
}

void TDataSource::setDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_)
        return;
    if (dataSet_)
        dataSet_->detachDataSource(this);
    dataSet_ = dataSet;
    if (dataSet_)
        dataSet_->attachDataSource(this);
    notify(TDataEvent::deUpdateState, {});
}

void TDataSource::setEnabled(bool on) {
    if (on == enabled_)
        return;
    enabled_ = on;
    notify(TDataEvent::deUpdateState, {});
}

void TDataSource::edit() {
    if (autoEdit_ && state_ == TDataSetState::dsBrowse && dataSet_)
        dataSet_->edit();
}

void TDataSource::notify(TDataEvent event, const TDataEventInfo& info) {
    if (event == TDataEvent::deUpdateState) {
        // The copy of the state first: links read it while they react.
        state_ = enabled_ && dataSet_ ? dataSet_->state() : TDataSetState::dsInactive;
    } else if (state_ == TDataSetState::dsInactive) {
        return;
    }
    // Last-added link first; a link may detach itself or others while it reacts.
    for (int i = int(links_.size()) - 1; i >= 0; --i) {
        if (i >= int(links_.size()))
            continue;
        links_[std::size_t(i)]->dataEvent(event, info);
    }
}

void TDataSource::addLink(TDataLink* link) {
    if (std::find(links_.begin(), links_.end(), link) != links_.end())
        return;
    links_.push_back(link);
    link->dataSource_ = this;
    if (dataSet_)
        dataSet_->updateBufferCount();
    link->updateState();
}

void TDataSource::removeLink(TDataLink* link) {
    const auto it = std::find(links_.begin(), links_.end(), link);
    if (it == links_.end())
        return;
    link->dataSource_ = nullptr;
    links_.erase(it);
    link->updateState();
    if (dataSet_)
        dataSet_->updateBufferCount();
}

// Link ---------------------------------------------------------------------------------------

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    setDataSource(nullptr);
}

void TDataLink::setDataSource(TDataSource* source) {
    if (source == dataSource_)
        return;
    if (dataSource_)
        dataSource_->removeLink(this);
    if (source)
        source->addLink(this);
}

TDataSet* TDataLink::dataSet() const {
    return dataSource_ ? dataSource_->dataSet() : nullptr;
}

void TDataLink::setReadOnly(bool on) {
    if (on == readOnly_)
        return;
    readOnly_ = on;
    updateState();
}

void TDataLink::setBufferCount(int count) {
    if (count == bufferCount_)
        return;
    bufferCount_ = count;
    if (TDataSet* ds = dataSet())
        ds->updateBufferCount();
}

int TDataLink::activeRecord() const {
    const TDataSet* ds = dataSet();
    return active_ && ds ? ds->activeRecord() - firstRecord_ : 0;
}

void TDataLink::setActiveRecord(int row) {
    if (TDataSet* ds = dataSet(); active_ && ds)
        ds->setActiveRecord(row + firstRecord_);
}

int TDataLink::recordCount() const {
    const TDataSet* ds = dataSet();
    return active_ && ds ? std::min(bufferCount_, ds->windowRecordCount()) : 0;
}

bool TDataLink::bof() const {
    const TDataSet* ds = dataSet();
    return ds ? ds->bof() : true;
}

bool TDataLink::eof() const {
    const TDataSet* ds = dataSet();
    return ds ? ds->eof() : true;
}

bool TDataLink::edit() {
    if (!readOnly_ && dataSource_)
        dataSource_->edit();
    return editing_;
}

void TDataLink::updateRecord() {
    updating_ = true;
    try {
        updateData();
    } catch (...) {
        updating_ = false;
        throw;
    }
    updating_ = false;
}

void TDataLink::updateState() {
    const bool nowActive =
        dataSource_ && dataSource_->enabled() && dataSource_->state() != TDataSetState::dsInactive;
    if (nowActive != active_) {
        active_ = nowActive;
        firstRecord_ = 0;
        if (nowActive)
            keepInWindow(0);
        activeChanged();
    }
    const bool nowEditing = nowActive && isEditing(dataSource_->state()) && !readOnly_;
    if (nowEditing != editing_) {
        editing_ = nowEditing;
        editingChanged();
    }
}

void TDataLink::keepInWindow(int shift) {
    const TDataSet* ds = dataSet();
    if (!active_ || !ds)
        return;
    const int count = ds->windowRecordCount();
    const int current = ds->activeRecord();
    const int rows = std::min(bufferCount_, count);
    if (rows <= 0) {
        firstRecord_ = 0;
        return;
    }
    const int lowest = std::max(0, current - rows + 1);
    const int highest = std::max(lowest, std::min(current, count - rows));
    firstRecord_ = std::clamp(firstRecord_ + shift, lowest, highest);
}

void TDataLink::dataEvent(TDataEvent event, const TDataEventInfo& info) {
    if (event == TDataEvent::deUpdateState) {
        updateState();
        return;
    }
    if (!active_)
        return;
    switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
        if (!updating_)
            recordChanged(info.field);
        break;
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deLayoutChange: {
        // Keep the current record in view: first follows the window's shift, then moves just
        // enough; set-scrolled passes on how far it had to move.
        const int first = firstRecord_ + info.shift;
        const int last = first + bufferCount_ - 1;
        const int current = dataSet() ? dataSet()->activeRecord() : 0;
        int moved = 0;
        if (current > last)
            moved = current - last;
        else if (current < first)
            moved = current - first;
        firstRecord_ = first + moved;
        if (event == TDataEvent::deDataSetChange) {
            // Records read again in place, the shown rows where they were: only those changed.
            if (info.rereadRecords && info.shift == 0 && moved == 0) {
                std::vector<int> rows;
                for (const int record : *info.rereadRecords)
                    if (record >= firstRecord_ && record < firstRecord_ + bufferCount_)
                        rows.push_back(record - firstRecord_);
                recordsReread(rows);
            } else {
                dataSetChanged();
            }
        } else if (event == TDataEvent::deDataSetScroll)
            dataSetScrolled(moved);
        else
            layoutChanged();
        break;
    }
    case TDataEvent::deUpdateRecord:
        updateRecord();
        break;
    case TDataEvent::deCheckBrowseMode:
        checkBrowseMode();
        break;
    case TDataEvent::deFocusControl:
        focusControl(info.field);
        break;
    default:
        break; // field-list-changed and disabled-state-change are not for links
    }
}

// Field link ---------------------------------------------------------------------------------

void TFieldDataLink::setFieldName(const QString& name) {
    if (name == fieldName_)
        return;
    fieldName_ = name;
    updateField();
}

TField* TFieldDataLink::field() const {
    const TDataSet* ds = dataSet();
    return ds && !fieldName_.isEmpty() ? ds->findField(fieldName_) : nullptr;
}

void TFieldDataLink::updateField() {
    TField* now = active() ? field() : nullptr;
    if (now == field_)
        return;
    field_ = now;
    if (onDataChange)
        onDataChange();
}

void TFieldDataLink::activeChanged() {
    updateField();
    if (onActiveChange)
        onActiveChange();
}

void TFieldDataLink::recordChanged(TField* changed) {
    if (!onDataChange)
        return;
    if (!changed || changed == field())
        onDataChange();
}

void TFieldDataLink::layoutChanged() {
    updateField();
}

} // namespace data
