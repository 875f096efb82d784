// Rows of an open result in compact cells over a text arena, shared by a recordset and clones.
#pragma once

#include "engine/CellData.h"
#include "engine/CursorCollation.h"
#include "engine/CursorValue.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace cursor {

// One cell as the database returned it. Text and blobs live in the store's arena; the cell holds
// their place. Values are decoded only when a caller asks for one. Trivial on purpose: pages of
// cells are allocated uninitialised and every cell is written when its row is read.
struct Cell {
    using Type = CellData::Type;
    static constexpr Type Null = CellData::Null, Integer = CellData::Integer,
                          Float = CellData::Float, Text = CellData::Text, Blob = CellData::Blob;
    union {
        std::int64_t integer;
        double real;
        std::uint64_t place; // arena block << 32 | offset
    } v;
    std::uint32_t size;
    Type type;
};

class RowSource;
class RowStore;

// Writes one row of a row store cell by cell, copying each value into the store's arena the moment
// an engine hands it over. Columns beyond the store's are dropped; those a row leaves out read
// null.
class RowWriter {
public:
    // Out of line on purpose: inlined into an engine's read loop it made reading a large result
    // markedly slower (measured with korvela-bench's start-up).
    void put(const CellData& cell);

private:
    friend class RowStore;
    RowWriter(RowStore& store, Cell* cells) : store_(store), cells_(cells) {}
    RowStore& store_;
    Cell* cells_;
    int next_ = 0;
};

// Rows in read order; a row's index is its bookmark and never changes. Deleted rows keep their
// index and are only marked. Owned through shared_ptr by the recordset and its clones; one thread.
class RowStore {
public:
    explicit RowStore(int columnCount);
    ~RowStore();
    RowStore(const RowStore&) = delete;
    RowStore& operator=(const RowStore&) = delete;

    int columnCount() const { return columns_; }
    int rowCount() const { return rows_; }

    // Copies a row an engine hands over (its first columnCount() columns).
    int appendRow(const RowSource& source);
    void overwriteRow(int row, const RowSource& source);

    const Cell& cell(int row, int column) const { return rowCells(row)[column]; }
    std::string_view bytes(const Cell& cell) const;
    // A cell as an engine takes it back (for a key or an optimistic check); the bytes stay valid
    // while the row store lives.
    CellData data(int row, int column) const;

    bool isDeleted(int row) const { return deleted_[std::size_t(row)] != 0; }
    void markDeleted(int row);

    // Case-folded collation keys of one column for every row (text as is, numbers as their
    // decimal text, null as empty), built on first use and kept current as rows change.
    const std::vector<CollationKey>& keys(int column);

    // For every row of a column, the place of its key among the column's distinct keys in
    // collation order (0 for null, then 1, 2, ...), so sorting compares integers. Rebuilt on first
    // use after the rows changed.
    const std::vector<std::uint32_t>& sortRanks(int column);

    // Decodes a cell for a column of the given type (see CursorValue.h for the storage forms).
    Value decode(const Cell& cell, ColumnType type) const;
    std::optional<Money> decodeMoney(const Cell& cell) const;
    QDateTime decodeDateTime(const Cell& cell) const;
    QString decodeText(const Cell& cell) const;

    // Change counters that views compare with what they last saw.
    std::uint64_t cellVersion() const { return cellVersion_; }     // rows appended or rewritten
    std::uint64_t deleteVersion() const { return deleteVersion_; } // rows deleted

private:
    // Small buffers come from malloc. Large ones are mapped directly, aligned and backed by huge
    // pages where the system offers them (which saves most page faults when a big result is
    // read), and go back to the system when released.
    struct BufferDeleter {
        std::size_t mappedBytes = 0; // 0: malloc'ed
        void operator()(char* p) const;
    };
    using Buffer = std::unique_ptr<char, BufferDeleter>;
    static Buffer allocate(std::size_t bytes);

    // Row pages double in size: page k holds kFirstPageRows * 2^k rows, so a small result takes
    // little memory and a large one few allocations.
    static constexpr std::size_t kFirstPageRows = 64;
    static constexpr std::size_t kFirstBlockSize = std::size_t(64) << 10;
    static constexpr std::size_t kMaxBlockSize = std::size_t(4) << 20;

    Cell* rowCells(int row) const {
        const std::size_t n = std::size_t(row) / kFirstPageRows + 1;
        const std::size_t page = std::size_t(std::bit_width(n)) - 1;
        const std::size_t first = kFirstPageRows * ((std::size_t(1) << page) - 1);
        return reinterpret_cast<Cell*>(pages_[page].get()) +
               (std::size_t(row) - first) * std::size_t(columns_);
    }
    friend class RowWriter;
    void readInto(Cell* cells, const RowSource& source);
    std::uint64_t storeBytes(const void* data, std::uint32_t size);
    void startBlock(std::size_t atLeast);
    CollationKey keyOf(const Cell& cell) const;

    int columns_;
    int rows_ = 0;
    std::vector<Buffer> pages_;
    std::vector<Buffer> blocks_;
    std::size_t currentBlock_ = SIZE_MAX;
    char* currentData_ = nullptr;
    std::size_t currentSize_ = 0;
    std::size_t currentUsed_ = 0;
    std::vector<std::uint8_t> deleted_;
    std::vector<std::vector<CollationKey>> keys_;
    struct Ranks {
        std::vector<std::uint32_t> ranks;
        std::uint64_t cellVersion = UINT64_MAX;
    };
    std::vector<Ranks> ranks_;
    std::uint64_t cellVersion_ = 0;
    std::uint64_t deleteVersion_ = 0;
};

} // namespace cursor
