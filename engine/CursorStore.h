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

// One cell as the database returned it, packed into 8 bytes. The low three bits say what it holds:
// null (the cell is all zero bits), an integer that fits in 61 bits (kept in the cell itself), or
// the place of its value in the store's arena: text and blobs (their size in the cell when it is
// below 2 MiB, otherwise in 8 bytes before the value), floats and larger integers (8 bytes).
// Values are decoded only when a caller asks for one; the store reads them (RowStore::integer,
// real, bytes). Trivial on purpose: pages of cells are allocated uninitialised and every cell is
// written when its row is read.
class Cell {
public:
    using Type = CellData::Type;
    static constexpr Type Null = CellData::Null, Integer = CellData::Integer,
                          Float = CellData::Float, Text = CellData::Text, Blob = CellData::Blob;

    Type type() const { return Type((kTypeOfTag >> ((bits & 7) * 4)) & 0xF); }
    bool isNull() const { return bits == 0; }

    // The tags of the low three bits.
    enum Tag : std::uint64_t {
        NullTag = 0,
        SmallInteger = 1, // the value in the upper 61 bits
        LargeInteger = 2, // 8 bytes in the arena
        FloatTag = 3,     // 8 bytes in the arena
        ShortText = 4,    // size in bits 3..23
        ShortBlob = 5,
        LongText = 6, // an 8-byte size before the bytes in the arena
        LongBlob = 7,
    };
    static constexpr int kSizeShift = 3;
    static constexpr int kSizeBits = 21;
    static constexpr int kPlaceShift = kSizeShift + kSizeBits; // 40 bits: arena block and offset
    static constexpr std::uint64_t kMaxShortSize = (std::uint64_t(1) << kSizeBits) - 1;

    std::uint64_t bits;

private:
    static constexpr std::uint32_t kTypeOfTag =
        std::uint32_t(Null) | std::uint32_t(Integer) << 4 | std::uint32_t(Integer) << 8 |
        std::uint32_t(Float) << 12 | std::uint32_t(Text) << 16 | std::uint32_t(Blob) << 20 |
        std::uint32_t(Text) << 24 | std::uint32_t(Blob) << 28;
};
static_assert(sizeof(Cell) == 8);

class RowSource;
class RowStore;

// Writes one row of a row store cell by cell, copying each value into the store's arena the moment
// an engine hands it over: an engine calls the put that matches the value it holds. Columns beyond
// the store's are dropped; those a row leaves out read null.
class RowWriter {
public:
    void putNull() {
        if (next_ < columns_)
            cells_[next_++].bits = 0;
    }
    void putInteger(std::int64_t value);
    void putFloat(double value);
    void putText(const char* data, std::size_t size) { putBytes(Cell::ShortText, data, size); }
    void putBlob(const char* data, std::size_t size) { putBytes(Cell::ShortBlob, data, size); }
    // Any cell, by its type.
    void put(const CellData& cell);

private:
    friend class RowStore;
    RowWriter(RowStore& store, Cell* cells, int columns)
        : store_(store), cells_(cells), columns_(columns) {}
    void putBytes(Cell::Tag shortTag, const char* data, std::size_t size);
    RowStore& store_;
    Cell* cells_;
    int columns_;
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
    // The same for an engine's own row type: with a final Source, its read is called directly and
    // can be inlined into the engine's reading loop.
    template <typename Source> int append(const Source& source);
    void overwriteRow(int row, const RowSource& source);

    const Cell& cell(int row, int column) const { return rowCells(row)[column]; }
    // A cell's value by its type (integer() for Integer, real() for Float, bytes() for Text and
    // Blob; bytes() gives an empty view for the others).
    std::int64_t integer(const Cell& cell) const {
        if ((cell.bits & 7) == Cell::SmallInteger) [[likely]]
            return std::int64_t(cell.bits) >> 3;
        return arenaWord<std::int64_t>(cell);
    }
    double real(const Cell& cell) const { return arenaWord<double>(cell); }
    std::string_view bytes(const Cell& cell) const;
    // A cell as an engine takes it back (for a key or an optimistic check); the bytes stay valid
    // while the row store lives.
    CellData data(int row, int column) const;
    CellData dataOf(const Cell& cell) const;

    bool isDeleted(int row) const {
        return std::size_t(row) < deleted_.size() && deleted_[std::size_t(row)] != 0;
    }
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
    // An amount in the form the program writes it ("-1234.5000": a sign, 1 to 14 digits, a point
    // and four decimals) read straight from a text cell's bytes; nullopt for any other cell, which
    // decode and decodeMoney read the long way (to the same value where both apply).
    std::optional<Money> storedMoney(const Cell& cell) const {
        if ((cell.bits & 7) != Cell::ShortText)
            return std::nullopt;
        const std::size_t size = std::size_t((cell.bits >> Cell::kSizeShift) & Cell::kMaxShortSize);
        if (size < 6 || size > 20)
            return std::nullopt;
        const char* p = place(cell);
        const char* const point = p + size - 5;
        const bool negative = *p == '-';
        if (negative)
            ++p;
        if (*point != '.' || p >= point || point - p > 14)
            return std::nullopt;
        std::int64_t raw = 0;
        for (; p < point; ++p) {
            const unsigned digit = unsigned(*p - '0');
            if (digit > 9)
                return std::nullopt;
            raw = raw * 10 + digit;
        }
        for (int k = 1; k <= 4; ++k) {
            const unsigned digit = unsigned(point[k] - '0');
            if (digit > 9)
                return std::nullopt;
            raw = raw * 10 + digit;
        }
        return Money::fromRaw(negative ? -raw : raw);
    }
    std::optional<Money> decodeMoney(const Cell& cell) const;
    QDateTime decodeDateTime(const Cell& cell) const;
    QString decodeText(const Cell& cell) const;

    // Change counters that views compare with what they last saw.
    std::uint64_t cellVersion() const { return cellVersion_; }     // rows appended or rewritten
    std::uint64_t deleteVersion() const { return deleteVersion_; } // rows deleted

private:
    // Small buffers come from malloc. Large ones are mapped directly, aligned and backed by huge
    // pages where the system offers them (which saves most page faults when a big result is
    // read); released, they are kept for the next store of that size (a bounded part resident,
    // more marked free for the system to take back when it needs memory), else unmapped.
    struct BufferDeleter {
        std::size_t mappedBytes = 0; // 0: malloc'ed
        void operator()(char* p) const;
    };
    using Buffer = std::unique_ptr<char, BufferDeleter>;
    static Buffer allocate(std::size_t bytes);

    // The first row page holds kFirstPageRows rows, so a small result takes little memory. Each
    // later page holds twice the rows of the one before, the first of them as many rows as fill
    // kLargeBuffer (2 MiB, a huge page) and at least kFirstPageRows (pageShift_: their log2).
    // Arena blocks likewise: the first of kFirstBlockSize, the next of kLargeBuffer, then doubling
    // up to kMaxBlockSize. A result past its first page or block thus goes straight to buffers
    // that the system backs with huge pages, where touching fresh memory costs a page fault for
    // every 2 MiB rather than every 4 KiB. Neither pages nor arena blocks ever move, so a cell or
    // a value's bytes stay where they are while the store grows. A place in the arena is a block
    // number and an offset below 4 MiB (kOffsetBits); a value too big for a block of that size
    // gets a block of its own.
    static constexpr std::size_t kFirstPageRows = 64;
    static constexpr std::size_t kLargeBuffer = std::size_t(2) << 20;
    static constexpr std::size_t kFirstBlockSize = std::size_t(64) << 10;
    static constexpr int kOffsetBits = 22;
    static constexpr std::size_t kMaxBlockSize = std::size_t(1) << kOffsetBits;
    static constexpr std::size_t kMaxBlocks = std::size_t(1) << (40 - kOffsetBits);

    const char* place(const Cell& cell) const {
        const std::uint64_t place = cell.bits >> Cell::kPlaceShift;
        return blocks_[std::size_t(place >> kOffsetBits)].get() +
               (place & ((std::uint64_t(1) << kOffsetBits) - 1));
    }
    template <typename T> T arenaWord(const Cell& cell) const {
        T value;
        std::memcpy(&value, place(cell), sizeof value);
        return value;
    }

    Cell* rowCells(int row) const {
        std::size_t r = std::size_t(row);
        std::size_t page = 0;
        if (r >= kFirstPageRows) {
            r -= kFirstPageRows;
            page = std::size_t(std::bit_width((r >> pageShift_) + 1));
            r -= ((std::size_t(1) << (page - 1)) - 1) << pageShift_;
        }
        return reinterpret_cast<Cell*>(pages_[page].get()) + r * std::size_t(columns_);
    }
    friend class RowWriter;
    // Writes a row's cells: with a final Source, its read is called directly.
    template <typename Source> void readInto(Cell* cells, const Source& source);
    // Gives the next row a page: allocates one when the pages are full.
    void addPage();
    // Copies a value into the arena (after its 8-byte size when withSize) and returns its place,
    // shifted into a cell's place bits.
    std::uint64_t storeBytes(const void* data, std::size_t size, bool withSize = false);
    std::uint64_t storeLarge(const void* data, std::size_t size, bool withSize);
    void startBlock();
    CollationKey keyOf(const Cell& cell) const;

    int columns_;
    int pageShift_;
    int rows_ = 0;
    std::size_t pageRows_ = 0; // the rows the pages hold
    Cell* appendAt_ = nullptr; // the cells of row rows_ while it is below pageRows_
    std::vector<Buffer> pages_;
    std::vector<Buffer> blocks_;
    std::size_t currentBlock_ = SIZE_MAX;
    char* currentData_ = nullptr;
    std::size_t currentSize_ = 0;
    std::size_t currentUsed_ = 0;
    std::vector<std::uint8_t> deleted_; // grown to the rows only when one is deleted
    std::vector<std::vector<CollationKey>> keys_;
    struct Ranks {
        std::vector<std::uint32_t> ranks;
        std::uint64_t cellVersion = UINT64_MAX;
    };
    std::vector<Ranks> ranks_;
    std::uint64_t cellVersion_ = 0;
    std::uint64_t deleteVersion_ = 0;
};

inline std::uint64_t RowStore::storeBytes(const void* data, std::size_t size, bool withSize) {
    const std::size_t need = size + (withSize ? sizeof(std::uint64_t) : 0);
    if (currentUsed_ + need > currentSize_) [[unlikely]] {
        if (need > kMaxBlockSize)
            return storeLarge(data, size, withSize);
        startBlock();
        if (need > currentSize_) // a value bigger than the block it would start
            return storeLarge(data, size, withSize);
    }
    char* at = currentData_ + currentUsed_;
    if (withSize) {
        const std::uint64_t length = size;
        std::memcpy(at, &length, sizeof length);
        at += sizeof length;
    }
    std::memcpy(at, data, size);
    const std::uint64_t place = (std::uint64_t(currentBlock_) << kOffsetBits) | currentUsed_;
    currentUsed_ += need;
    return place << Cell::kPlaceShift;
}

template <typename Source> void RowStore::readInto(Cell* cells, const Source& source) {
    RowWriter writer(*this, cells, columns_);
    source.read(writer);
    for (; writer.next_ < columns_; ++writer.next_) // the columns a short row lacks read null
        cells[writer.next_].bits = 0;
}

template <typename Source> int RowStore::append(const Source& source) {
    if (std::size_t(rows_) == pageRows_) [[unlikely]]
        addPage();
    readInto(appendAt_, source);
    appendAt_ += columns_;
    ++cellVersion_;
    return rows_++;
}

inline void RowWriter::putInteger(std::int64_t value) {
    if (next_ >= columns_)
        return;
    Cell& cell = cells_[next_++];
    const std::uint64_t shifted = std::uint64_t(value) << 3;
    if (std::int64_t(shifted) >> 3 == value) [[likely]]
        cell.bits = shifted | Cell::SmallInteger;
    else
        cell.bits = store_.storeBytes(&value, sizeof value) | Cell::LargeInteger;
}

inline void RowWriter::putFloat(double value) {
    if (next_ >= columns_)
        return;
    cells_[next_++].bits = store_.storeBytes(&value, sizeof value) | Cell::FloatTag;
}

inline void RowWriter::putBytes(Cell::Tag shortTag, const char* data, std::size_t size) {
    if (next_ >= columns_)
        return;
    Cell& cell = cells_[next_++];
    if (size == 0) {
        cell.bits = shortTag;
    } else if (size <= Cell::kMaxShortSize) [[likely]] {
        cell.bits =
            store_.storeBytes(data, size) | (std::uint64_t(size) << Cell::kSizeShift) | shortTag;
    } else {
        cell.bits = store_.storeBytes(data, size, true) | (shortTag + 2);
    }
}

inline void RowWriter::put(const CellData& cell) {
    switch (cell.type) {
    case CellData::Null:
        putNull();
        break;
    case CellData::Integer:
        putInteger(cell.integer);
        break;
    case CellData::Float:
        putFloat(cell.real);
        break;
    case CellData::Text:
        putText(cell.bytes.data(), cell.bytes.size());
        break;
    case CellData::Blob:
        putBlob(cell.bytes.data(), cell.bytes.size());
        break;
    }
}

} // namespace cursor
