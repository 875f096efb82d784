// States of a record set and the notifications it sends to data sources and links.
#pragma once

#include <QFlags>
#include <vector>

namespace data {

class TField;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert, dsCalcFields };

// Whether a record is being edited or inserted (the states in which fields may be written).
constexpr bool isEditing(TDataSetState state) {
    return state == TDataSetState::dsEdit || state == TDataSetState::dsInsert;
}

enum class TDataEvent {
    deFieldChange,         // info: the field
    deRecordChange,        // no argument: edit began
    deDataSetChange,       // the window was refilled (info: records read again in place)
    deDataSetScroll,       // info: the window shift
    deLayoutChange,        // field list or display properties changed
    deUpdateRecord,        // post is about to write: store pending typed text now
    deUpdateState,         // the state changed (open and close included)
    deCheckBrowseMode,     // about to leave edit/insert or to move
    deFocusControl,        // info: the field asking for the focus
    deFieldListChange,     // order of fields changed; links ignore it
    deDisabledStateChange, // info: whether the set is active; state changed while
                           // notifications are suspended; links ignore it
};

// What a notification carries besides its kind; the members an event does not name stay at
// their defaults.
struct TDataEventInfo {
    TField* field = nullptr; // field change, focus control
    int shift = 0;           // set scrolled: how far the window moved
    bool active = false;     // disabled-state change
    // Set changed: when not null, only these records of the window (by position) were read
    // again, where they stand, and nothing else changed; null: anything may have.
    const std::vector<int>* rereadRecords = nullptr;
};

// How locate compares: the last key field's value as a prefix; case-insensitively (which the
// engine's comparisons always are).
enum class TLocateOption { loPartialKey = 1, loCaseInsensitive = 2 };
Q_DECLARE_FLAGS(TLocateOptions, TLocateOption)

} // namespace data

Q_DECLARE_OPERATORS_FOR_FLAGS(data::TLocateOptions)
