// RecordWindow: the records a record set holds in memory around its current record.
#pragma once

#include "engine/CursorRecordset.h"
#include "engine/CursorValue.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace data {

// One record of the window: a value per field slot, and where the record lives in the recordset.
// A stored record keeps its row's cells as they were read; a slot whose bit is set in undecoded
// holds no value yet and is decoded from those cells when first asked for (TDataSet does that), so
// it gives what the row held when the record was read.
struct RecordBuffer {
    std::vector<cursor::Value> values;
    cursor::RowCells cells;             // the row as read (empty for a pending insert)
    std::uint64_t undecoded = 0;        // slots (below 64) not yet decoded from cells
    bool stored = false;                // the record exists in the recordset (not a pending insert)
    qint64 bookmark = -1;               // valid when stored
    std::optional<qint64> insertBefore; // a pending insert: the record it stands in front of
    int recNo = -1;
};

// Up to capacity() records of a recordset around the active one, with the beginning-of-set and
// end-of-set flags. Records are read through the reader, which turns the row the recordset stands
// on into a buffer (the record set's fields and calculated values). The window moves only the
// recordset's position and sends nothing: its record set tells the links what changed. Owned by
// its record set; the recordset belongs to the record set's query.
class RecordWindow {
public:
    using Reader = std::function<RecordBuffer()>;

    // Starts reading from an open recordset (empty, both flags set, until filled).
    void attach(cursor::Recordset& recordset, Reader reader);
    // Drops the records and the recordset.
    void release();
    // Drops the records only (the flags stay as they are).
    void clear();

    int size() const { return int(records_.size()); }
    bool empty() const { return records_.empty(); }
    int capacity() const { return capacity_; }
    int active() const { return active_; }
    // Switches the active record (no fetch); a position outside the window is ignored.
    void setActive(int position);
    RecordBuffer& record(int position) { return records_[std::size_t(position)]; }
    const RecordBuffer& record(int position) const { return records_[std::size_t(position)]; }
    RecordBuffer& activeRecord() { return record(active_); }
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }

    // Empties the window and fills it from the first record (active at position 0, beginning of
    // set) or from the last (active at the end, end of set).
    void fillFromFirst();
    void fillFromLast();

    // Whether a move by distance goes anywhere: not 0, and not past a flag already set.
    bool canMove(int distance) const;
    struct Moved {
        int steps = 0;             // taken, negative backwards
        int shift = 0;             // positions the kept records moved by
        bool countChanged = false; // the number of records in the window changed
    };
    // Takes |distance| single steps, inside the window or fetching the next (prior) record, the
    // record at the other end dropping out when the window is full; stops at the end (beginning)
    // of the set and sets its flag.
    Moved moveBy(int distance);

    enum class Placement { KeepPosition, Centre };
    enum class Reread { Read, Empty, NotFound };
    // Reads the window again around the recordset's current row, placed at the active record's
    // position or in the middle. When the recordset stands on no row: NotFound if exact (nothing
    // changes), else the next and then the prior row are tried, and Empty when none is there.
    Reread reread(Placement placement, bool exact);

    // Reads again the records of the window that stand on these rows, where they are (the rows'
    // values changed, not their order); the recordset is left on the last one read. Returns the
    // positions in the window of those read, in order.
    std::vector<int> rereadRows(const std::vector<qint64>& bookmarks);

    // A blank record in front of the active one, which moves down with those after it (the last
    // drops out of a full window); the blank becomes active.
    void insertBlank(RecordBuffer blank);
    // Removes the active record; the one after it (or before, at the end) becomes active.
    void removeActive();
    // Puts the recordset where the active record lives (a pending insert: the record it stands
    // before, or the last record when it stands at the end).
    void cursorToActive();

    // Changes the capacity; an attached, filled window drops records after the active one first,
    // then in front of it, and fills up again. Returns the positions the kept records moved by.
    int setCapacity(int capacity);

private:
    bool onRow() const;
    void standOn(qint64 bookmark);
    std::optional<RecordBuffer> after(const RecordBuffer& b);
    std::optional<RecordBuffer> before(const RecordBuffer& b);
    void fillForward();
    int fillBackward(int limit);
    void fillFromEnd(bool fromLast);
    bool stepForward(int& shift);
    bool stepBackward(int& shift);

    cursor::Recordset* rs_ = nullptr;
    Reader read_;
    std::deque<RecordBuffer> records_; // cheap to add and drop at either end
    int active_ = 0;
    int capacity_ = 1;
    bool bof_ = true;
    bool eof_ = true;
};

} // namespace data
