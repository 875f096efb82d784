// Recordset of the cursor engine: a result held in memory, with moves, sort, filter, find, edits.
#pragma once

#include "engine/CursorCriteria.h"
#include "engine/CursorValue.h"

#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace cursor {

class Connection;
struct SharedResult;

// The cells of one row as a recordset held them when they were taken (Recordset::rowCells), each
// decoded only when asked for. A value read from them is the one the row held then, also after the
// row was written or read again, the statement ran again or the recordset closed: the cells keep
// the rows they came from alive, and a row's stored bytes never change in place. Empty when taken
// while an edit or add-new was pending (read those values through Recordset::value).
class RowCells {
public:
    bool empty() const { return !result_; }
    // A column's value, decoded by the column's type exactly as Recordset::value decodes it.
    Value value(int column) const;

private:
    friend class Recordset;
    static constexpr int kInline = 16; // cells kept without an allocation of their own
    std::shared_ptr<const SharedResult> result_;
    int count_ = 0;
    std::array<std::uint64_t, kInline> inline_{}; // the row's cells, bit for bit...
    std::vector<std::uint64_t> more_;             // ...or here, for a wider row
};

enum class LockType { ReadOnly, Optimistic };
enum class SearchDirection { Forward, Backward };

// Errors are EOleException (core/Errors.h) with the engine's text (SQLite's own message for
// database errors). The rows are shared with clones; the recordset keeps a pointer to its
// Connection, which must stay open for update() and deleteCurrent() (ADO's recordset likewise
// holds its connection). One thread.
//
// Positions: 1..recordCount(), or BOF before the first row and EOF after the last; an empty view
// is both BOF and EOF. Moves clamp at BOF/EOF. As in ADO, a move (and sort, filter, find) while
// an edit or add-new is pending first writes it with update().
class Recordset {
public:
    using Bookmark = qint64; // stable for the life of the rows (clones share them)

    Recordset();
    ~Recordset();
    Recordset(const Recordset&) = delete;
    Recordset& operator=(const Recordset&) = delete;

    // Runs the statement and reads every row. A statement that yields no columns leaves the
    // recordset open with returnsRows() false. The base table and its key are taken from the
    // columns' origin; rows of a statement without a single base table with a key are read-only.
    void open(Connection& connection, const QString& sql, LockType lockType = LockType::Optimistic);
    void close();
    bool isOpen() const;
    bool returnsRows() const;
    bool supportsUpdate() const;

    int columnCount() const;
    const ColumnInfo& column(int index) const;
    int findColumn(const QString& name) const; // case-insensitive; -1 when absent

    // Rows in the current view (sort and filter applied, deleted rows excluded).
    int recordCount() const;
    bool bof() const;
    bool eof() const;
    // 1-based position in the view; -1 at BOF/EOF or when empty.
    int absolutePosition() const;
    void setAbsolutePosition(int position);
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();
    void move(int count); // relative, clamped to BOF/EOF

    Bookmark bookmark() const;            // of the current row; requires a current row
    void gotoBookmark(Bookmark bookmark); // fails when the row is not in the view

    // The current row's value of a column (the pending value during add-new or edit).
    Value value(int column) const;
    // The current row's cells, to be decoded later (see RowCells); empty while an edit or add-new
    // is pending. Requires a current row, like value.
    RowCells rowCells() const;

    // Editing. setValue on a row starts an edit of it; addNew starts a new row at the end (its
    // columns read null until set; it is not counted and has no position or bookmark until
    // update). setValue converts the value to the column's stored form (Money for Currency,
    // QDateTime for DateTime, ...) and fails with "The value cannot be converted for field '%1'",
    // or "Field '%1' cannot be updated" for the key; a failed setValue changes nothing.
    void addNew();
    void setValue(int column, const Value& value);
    bool editPending() const;
    bool addPending() const;
    // Writes the pending row in its own transaction: INSERT, or UPDATE by key whose WHERE also
    // holds the originally read values of the changed columns. A row that no longer matches fails
    // with "Row cannot be located for updating. Some values may have been changed since it was
    // last read" and nothing is overwritten. After an insert the new row (generated key and
    // database defaults included) is read back and becomes current. Once the transaction has
    // committed the change counts as done: if the row cannot be read back (another program holds
    // a lock on the file), the view keeps the values written, and nothing is left pending. A row
    // whose owner (foreign key) is missing fails with "You cannot add or change a record because
    // a related record is required in table '%1'".
    void update();
    // Re-reads the current row from the file by its key, so the view holds what is stored now
    // (ADO's resync of the current record); a pending change is dropped first. A row deleted
    // meanwhile leaves the view and the position names the row after it.
    void resync();
    // Drops the pending values; after an add-new the row that was current before is current again.
    void cancelUpdate();
    // Deletes the current row by key (and its originally read values) in its own transaction;
    // the row after it becomes current (or EOF). A row changed or deleted since it was read fails
    // with the update conflict text above. During add-new it cancels the new row instead.
    void deleteCurrent();

    // What refreshRows did to the view.
    struct Refreshed {
        int added = 0;            // rows that joined the view
        int changed = 0;          // rows that hold other values now (in the view or not)
        int removed = 0;          // rows that left the view
        bool currentLeft = false; // the current row left: the position names the row after it
        bool requeried = false;   // the statement ran again in full (see refreshRows)
        // The changed rows, when that is all: nothing joined, left or moved (empty otherwise).
        std::vector<Bookmark> changedInPlace;
        bool any() const { return added || changed || removed || requeried; }
    };
    // Reads the rows with these keys again, through the statement (so its conditions hold) in
    // one query on the base table for many keys, and leaves the view as a new reading of the
    // statement would, under the current sort and filter: a row the statement yields now that the
    // view lacks joins it where the sort puts it (in read order: where its key puts it, among
    // rows read in key order); a row read again takes its new values (moving where the sort puts
    // it, or leaving or joining as the filter says); a row the statement no longer yields leaves
    // the view and its clones, as if deleted. Rows that read the same as before count as nothing.
    // The current row stays current while it is in the view (same bookmark); when it leaves, the
    // row after it becomes current (EOF when there is none). Clones see changed values and left
    // rows at once and joined rows after their next sort or filter, as with update(). A result
    // without an integer key runs the statement again instead (requery). Fails while an edit or
    // add-new is pending; on failure the view is as it was.
    Refreshed refreshRows(const std::vector<qint64>& keys);
    // Runs the statement again and reads every row anew, keeping sort and filter; the current row
    // stays current by its key when it is still there, else the row at its position does (EOF
    // past the end; currentLeft says so). Clones made before keep the rows they had. Fails while
    // an edit or add-new is pending; on failure the view is as it was.
    Refreshed requery();

    // A read-only copy sharing the rows, in read order without sort or filter, positioned on its
    // first row. Edits and deletes through the original show in the copy at once; rows added
    // later join it the next time its sort or filter is set.
    std::unique_ptr<Recordset> clone() const;

    // Sort by a list of columns: "f_adi" or "f_adi,[some name] DESC". Stable; null first. Text
    // sorts case-insensitively in Turkish order (see CursorCollation.h), amounts and numbers by
    // value, date-times by time. Empty text restores the read order. Keeps the current row when
    // it can. An unknown column fails and keeps the view.
    void setSort(const QString& sortText);
    QString sort() const;
    // Filter by criteria joined with " AND ": "(f_adi like 'Al*')", "(f_adi like #O'Neil*#)",
    // "(f_adi=Null)", "(id=5)", "(f_tarih=#2008-12-25#)" or "#25.12.2008 14:30:00#"; operators
    // = <> < <= > >= LIKE. LIKE patterns: "*" or "%" any run, "?" or "_" one character,
    // "[...]" one of the listed characters taken literally. Text compares ignoring case with
    // Turkish folding. Empty text clears the filter. The view then stands on its first row.
    // An unparsable criterion, or one naming no column, fails and keeps the view.
    void setFilter(const QString& criteria);
    // The same with the criteria already built (none clears the filter); filter() is then empty.
    void setFilter(const std::vector<Criterion>& criteria);
    QString filter() const;
    bool filtered() const; // some criteria hold back rows
    // Finds the first row from the current one (after skipping skip rows) matching a single
    // criterion; stands on it and returns true, or stands at EOF (forward) or BOF (backward) and
    // returns false. From BOF a forward search starts at the first row. A text prefix or equality
    // search on the column the view is sorted by is a binary search.
    bool find(const QString& criterion, int skip = 0,
              SearchDirection direction = SearchDirection::Forward);
    bool find(const Criterion& criterion, int skip = 0,
              SearchDirection direction = SearchDirection::Forward);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace cursor
