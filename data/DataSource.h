// TDataSource and TDataLink: the join between a record set and the controls bound to it.
#pragma once

#include "data/DataEvents.h"

#include <QString>
#include <functional>
#include <vector>

namespace data {

class TDataSet;
class TField;
class TDataLink;

// Joins one record set to its links; forwards the set's notifications to them, last-added link
// first, while its own copy of the state is not inactive (state-changed always).
// Owned by the form; does not own the set or the links.
class TDataSource {
public:
    TDataSource() = default;
    explicit TDataSource(TDataSet* dataSet);
    ~TDataSource();
    TDataSource(const TDataSource&) = delete;
    TDataSource& operator=(const TDataSource&) = delete;

    TDataSet* dataSet() const { return dataSet_; }
    void setDataSet(TDataSet* dataSet);
    bool enabled() const { return enabled_; }
    void setEnabled(bool on);
    bool autoEdit() const { return autoEdit_; }
    void setAutoEdit(bool on) { autoEdit_ = on; }
    TDataSetState state() const { return state_; }
    // Automatic edit: calls edit on the set only when autoEdit is on and the state is browse.
    void edit();

    const std::vector<TDataLink*>& links() const { return links_; }

    // Called by the set and by links.
    void notify(TDataEvent event, const TDataEventInfo& info);
    void addLink(TDataLink* link);
    void removeLink(TDataLink* link);

private:
    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    bool autoEdit_ = true;
    TDataSetState state_ = TDataSetState::dsInactive;
    std::vector<TDataLink*> links_;
};

// One control's link to a data source. Controls subclass it and override the reactions.
// Owned by its control; detaches itself on destruction.
class TDataLink {
public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* dataSource() const { return dataSource_; }
    void setDataSource(TDataSource* source);
    TDataSet* dataSet() const; // nullptr without a data source

    bool active() const { return active_; }   // the data source's state is not inactive
    bool editing() const { return editing_; } // edit or insert, and the link not read-only
    bool readOnly() const { return readOnly_; }
    void setReadOnly(bool on);

    // Rows the control shows; a change recomputes the set's window size.
    int bufferCount() const { return bufferCount_; }
    void setBufferCount(int count);
    // Window position of the first shown row.
    int firstRecord() const { return firstRecord_; }
    // Current row relative to the first shown row; setting it switches the set's active buffer
    // (no fetch, no event) so the control can read another shown row.
    int activeRecord() const;
    void setActiveRecord(int row);
    // min(bufferCount, records in the set's window).
    int recordCount() const;
    bool bof() const;
    bool eof() const;

    // Asks the data source to edit; true when the link is then editing.
    bool edit();
    // Stores pending control text into the field now (sets the updating flag around it).
    void updateRecord();
    bool updating() const { return updating_; }
    // The "modified" mark of controls that hold typed text.
    bool isModified() const { return modified_; }
    void setModified(bool on = true) { modified_ = on; }

    // Called by the data source.
    void dataEvent(TDataEvent event, const TDataEventInfo& info);

protected:
    virtual void activeChanged() {}
    virtual void editingChanged() {}
    virtual void recordChanged(TField* /*field*/) {}
    // Defaults: set-scrolled and layout-changed act as set-changed; set-changed as
    // record-changed with no field.
    virtual void dataSetChanged() { recordChanged(nullptr); }
    virtual void dataSetScrolled(int /*distance*/) { dataSetChanged(); }
    virtual void layoutChanged() { dataSetChanged(); }
    // Set changed where only the shown rows given (relative to the first shown row, in order;
    // possibly none) were read again in place and nothing else changed; acts as set-changed by
    // default.
    virtual void recordsReread(const std::vector<int>& /*rows*/) { dataSetChanged(); }
    virtual void updateData() {}
    virtual void checkBrowseMode() {}
    virtual void focusControl(TField* /*field*/) {}

private:
    friend class TDataSet;
    friend class TDataSource;
    void updateState();
    // After the set's window was resized: follows the records (shift = positions they moved) and
    // keeps the first shown row where the current record and the shown rows stay in the window.
    void keepInWindow(int shift);

    TDataSource* dataSource_ = nullptr;
    int bufferCount_ = 1;
    int firstRecord_ = 0;
    bool active_ = false;
    bool editing_ = false;
    bool readOnly_ = false;
    bool updating_ = false;
    bool modified_ = false;
};

// A link to one field by name (the inspector's items use it): the field is looked up in the
// data source's set each time it is needed.
class TFieldDataLink : public TDataLink {
public:
    const QString& fieldName() const { return fieldName_; }
    void setFieldName(const QString& name);
    TField* field() const; // nullptr when unbound

    // Called when the field's value or the whole record changed.
    std::function<void()> onDataChange;
    std::function<void()> onActiveChange;

protected:
    void activeChanged() override;
    void recordChanged(TField* field) override;
    void layoutChanged() override;

private:
    void updateField();

    QString fieldName_;
    TField* field_ = nullptr; // the field found at the last activation or layout change
};

} // namespace data
