// Row storage: pages of cells and a block-wise text arena; reading a result copies each value once.
#include "engine/CursorStore.h"

#include "engine/Backend.h"

#include <QByteArray>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <unordered_map>
#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace cursor {

RowStore::RowStore(int columnCount)
    : columns_(columnCount), keys_(std::size_t(columnCount)), ranks_(std::size_t(columnCount)) {}

RowStore::~RowStore() = default;

void RowStore::BufferDeleter::operator()(char* p) const {
#ifdef MADV_HUGEPAGE
    if (mappedBytes) {
        munmap(p, mappedBytes);
        return;
    }
#endif
    std::free(p);
}

RowStore::Buffer RowStore::allocate(std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (bytes >= kHugePage) {
        bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        // Map one huge page more than needed and unmap the ends, leaving an aligned range.
        void* mapped = mmap(nullptr, bytes + kHugePage, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        char* start = static_cast<char*>(mapped);
        char* aligned = reinterpret_cast<char*>(
            (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1));
        if (aligned > start)
            munmap(start, std::size_t(aligned - start));
        const std::size_t tail = std::size_t(start + bytes + kHugePage - (aligned + bytes));
        if (tail > 0)
            munmap(aligned + bytes, tail);
        madvise(aligned, bytes, MADV_HUGEPAGE);
        return Buffer(aligned, BufferDeleter{bytes});
    }
#endif
    void* p = std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return Buffer(static_cast<char*>(p));
}

// A new block, twice the last up to a limit, and never smaller than the value to be stored.
void RowStore::startBlock(std::size_t atLeast) {
    const std::size_t grown =
        currentSize_ == 0 ? kFirstBlockSize : std::min(currentSize_ * 2, kMaxBlockSize);
    currentSize_ = std::max(grown, atLeast);
    blocks_.push_back(allocate(currentSize_));
    currentBlock_ = blocks_.size() - 1;
    currentData_ = blocks_.back().get();
    currentUsed_ = 0;
}

inline std::uint64_t RowStore::storeBytes(const void* data, std::uint32_t size) {
    if (size == 0)
        return 0;
    if (currentUsed_ + size > currentSize_) [[unlikely]]
        startBlock(size);
    std::memcpy(currentData_ + currentUsed_, data, size);
    const std::uint64_t place = (std::uint64_t(currentBlock_) << 32) | currentUsed_;
    currentUsed_ += size;
    return place;
}

void RowWriter::put(const CellData& from) {
    if (next_ >= store_.columns_)
        return;
    Cell& cell = cells_[next_++];
    cell.type = from.type;
    cell.size = 0;
    switch (from.type) {
    case CellData::Integer:
        cell.v.integer = from.integer;
        break;
    case CellData::Float:
        cell.v.real = from.real;
        break;
    case CellData::Text:
    case CellData::Blob:
        cell.size = std::uint32_t(from.bytes.size());
        cell.v.place = store_.storeBytes(from.bytes.data(), cell.size);
        break;
    case CellData::Null:
        cell.v.integer = 0;
        break;
    }
}

std::string_view RowStore::bytes(const Cell& cell) const {
    if (cell.size == 0 || (cell.type != Cell::Text && cell.type != Cell::Blob))
        return {};
    const char* block = blocks_[std::size_t(cell.v.place >> 32)].get();
    return {block + (cell.v.place & 0xFFFFFFFFu), cell.size};
}

void RowStore::readInto(Cell* cells, const RowSource& source) {
    RowWriter writer(*this, cells);
    source.read(writer);
    for (; writer.next_ < columns_; ++writer.next_) { // the columns a short row lacks read null
        Cell& cell = cells[writer.next_];
        cell.type = Cell::Null;
        cell.v.integer = 0;
        cell.size = 0;
    }
}

int RowStore::appendRow(const RowSource& source) {
    if (std::size_t(rows_) == kFirstPageRows * ((std::size_t(1) << pages_.size()) - 1)) {
        const std::size_t pageRows = kFirstPageRows << pages_.size();
        pages_.push_back(allocate(pageRows * std::size_t(std::max(columns_, 1)) * sizeof(Cell)));
    }
    readInto(rowCells(rows_), source);
    deleted_.push_back(0);
    ++cellVersion_;
    return rows_++;
}

void RowStore::overwriteRow(int row, const RowSource& source) {
    Cell* cells = rowCells(row);
    readInto(cells, source);
    for (int c = 0; c < columns_; ++c) {
        std::vector<CollationKey>& column = keys_[std::size_t(c)];
        if (std::size_t(row) < column.size())
            column[std::size_t(row)] = keyOf(cells[c]);
    }
    ++cellVersion_;
}

void RowStore::markDeleted(int row) {
    deleted_[std::size_t(row)] = 1;
    ++deleteVersion_;
}

CollationKey RowStore::keyOf(const Cell& cell) const {
    switch (cell.type) {
    case Cell::Text:
    case Cell::Blob: {
        const std::string_view b = bytes(cell);
        return collationKeyUtf8(b.data(), b.size());
    }
    case Cell::Integer:
        return collationKey(QString::number(cell.v.integer));
    case Cell::Float:
        return collationKey(QString::number(cell.v.real, 'g', 15));
    case Cell::Null:
        break;
    }
    return {};
}

const std::vector<CollationKey>& RowStore::keys(int column) {
    std::vector<CollationKey>& result = keys_[std::size_t(column)];
    if (result.size() < std::size_t(rows_)) {
        result.reserve(std::size_t(rows_));
        for (int row = int(result.size()); row < rows_; ++row)
            result.push_back(keyOf(cell(row, column)));
    }
    return result;
}

// Distinct keys first (names repeat a lot), then one sort of the distinct keys by their first
// eight ranks and, on a tie, the rest of the key.
const std::vector<std::uint32_t>& RowStore::sortRanks(int column) {
    Ranks& cache = ranks_[std::size_t(column)];
    if (cache.cellVersion == cellVersion_)
        return cache.ranks;
    const std::vector<CollationKey>& k = keys(column);
    std::unordered_map<std::u16string_view, std::uint32_t> groups;
    groups.reserve(std::size_t(rows_));
    std::vector<std::uint32_t> groupOf(std::size_t(rows_), UINT32_MAX);
    std::vector<const CollationKey*> distinct;
    for (int row = 0; row < rows_; ++row) {
        if (cell(row, column).type == Cell::Null)
            continue;
        const CollationKey& key = k[std::size_t(row)];
        const auto [it, inserted] = groups.try_emplace(key, std::uint32_t(distinct.size()));
        if (inserted)
            distinct.push_back(&key);
        groupOf[std::size_t(row)] = it->second;
    }
    struct Entry {
        quint64 high, low;
        std::uint32_t group;
    };
    std::vector<Entry> entries(distinct.size());
    for (std::size_t g = 0; g < distinct.size(); ++g) {
        const std::u16string_view key(*distinct[g]);
        entries[g] = {keyPrefix(key), keyPrefix(key.size() > 4 ? key.substr(4) : u""),
                      std::uint32_t(g)};
    }
    std::sort(entries.begin(), entries.end(), [&](const Entry& x, const Entry& y) {
        if (x.high != y.high)
            return x.high < y.high;
        if (x.low != y.low)
            return x.low < y.low;
        const std::u16string_view a(*distinct[x.group]), b(*distinct[y.group]);
        return a.substr(std::min<std::size_t>(8, a.size())) <
               b.substr(std::min<std::size_t>(8, b.size()));
    });
    std::vector<std::uint32_t> rankOfGroup(distinct.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        rankOfGroup[entries[i].group] = std::uint32_t(i + 1);
    cache.ranks.assign(std::size_t(rows_), 0);
    for (std::size_t row = 0; row < std::size_t(rows_); ++row)
        if (groupOf[row] != UINT32_MAX)
            cache.ranks[row] = rankOfGroup[groupOf[row]];
    cache.cellVersion = cellVersion_;
    return cache.ranks;
}

namespace {

CellData dataOf(const Cell& cell, std::string_view bytes) {
    CellData d;
    d.type = cell.type;
    if (cell.type == Cell::Integer)
        d.integer = cell.v.integer;
    else if (cell.type == Cell::Float)
        d.real = cell.v.real;
    else
        d.bytes = bytes;
    return d;
}

} // namespace

std::optional<Money> RowStore::decodeMoney(const Cell& cell) const {
    return moneyOfCell(dataOf(cell, bytes(cell)));
}

QDateTime RowStore::decodeDateTime(const Cell& cell) const {
    if (cell.type != Cell::Text)
        return {};
    return dateTimeFromStorage(decodeText(cell));
}

QString RowStore::decodeText(const Cell& cell) const {
    return textOfCell(dataOf(cell, bytes(cell)));
}

CellData RowStore::data(int row, int column) const {
    const Cell& c = cell(row, column);
    return dataOf(c, bytes(c));
}

Value RowStore::decode(const Cell& cell, ColumnType type) const {
    return decodeCell(dataOf(cell, bytes(cell)), type);
}

} // namespace cursor
