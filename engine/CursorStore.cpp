// Row storage: pages of cells and a block-wise text arena; reading a result copies each value once.
#include "engine/CursorStore.h"

#include "engine/Backend.h"

#include <QByteArray>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <unordered_map>
#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace cursor {

namespace {

// log2 of the most rows of a row's cells that fit the bytes, at least the first page's rows.
int pageShiftFor(int columns, std::size_t bytes, std::size_t leastRows) {
    const std::size_t rows = bytes / (std::size_t(std::max(columns, 1)) * sizeof(Cell));
    return std::bit_width(std::max(rows, leastRows)) - 1;
}

} // namespace

RowStore::RowStore(int columnCount)
    : columns_(columnCount), pageShift_(pageShiftFor(columnCount, kLargeBuffer, kFirstPageRows)),
      keys_(std::size_t(columnCount)), ranks_(std::size_t(columnCount)) {}

RowStore::~RowStore() = default;

#ifdef MADV_HUGEPAGE
namespace {

// Large buffers a store released, kept for the next store that needs one of the same size: a
// result read again (a re-query, the next open of the same statement) then writes into memory
// that is already mapped instead of having the system clear fresh pages. Up to kMaxKeptBytes stay
// as they are; beyond that, up to kMaxLazyBytes are kept marked free (MADV_FREE): the system
// takes their pages back when it needs memory, and until then a store that writes them again
// takes no fault. A store writes every byte it reads, so a page the system took back (zero
// again) or kept (the last store's bytes) is the same to it. Guarded since stores on other
// threads may release theirs.
class ReleasedBuffers {
public:
    // Never destroyed, so a store that outlives static destruction still finds it.
    static ReleasedBuffers& instance() {
        static ReleasedBuffers* const buffers = new ReleasedBuffers;
        return *buffers;
    }
    char* take(std::size_t bytes) {
        const std::lock_guard lock(mutex_);
        if (char* p = resident_.take(bytes))
            return p;
        return lazy_.take(bytes);
    }
    // False when the buffer would exceed the bounds; the caller unmaps it then.
    bool keep(char* p, std::size_t bytes) {
        const std::lock_guard lock(mutex_);
        if (resident_.fits(bytes, kMaxKeptBytes)) {
            resident_.add(p, bytes);
            return true;
        }
#ifdef MADV_FREE
        if (lazy_.fits(bytes, kMaxLazyBytes) && madvise(p, bytes, MADV_FREE) == 0) {
            lazy_.add(p, bytes);
            return true;
        }
#endif
        return false;
    }

private:
    static constexpr std::size_t kMaxKeptBytes = std::size_t(32) << 20;
    static constexpr std::size_t kMaxLazyBytes = std::size_t(512) << 20;
    // Buffers and the bytes they hold together.
    class Shelf {
    public:
        bool fits(std::size_t bytes, std::size_t most) const { return total_ + bytes <= most; }
        void add(char* p, std::size_t bytes) {
            buffers_.push_back({p, bytes});
            total_ += bytes;
        }
        // One of exactly this size, taken off the shelf; null when there is none.
        char* take(std::size_t bytes) {
            const auto it = std::find_if(buffers_.begin(), buffers_.end(),
                                         [bytes](const Kept& k) { return k.bytes == bytes; });
            if (it == buffers_.end())
                return nullptr;
            char* p = it->p;
            buffers_.erase(it);
            total_ -= bytes;
            return p;
        }

    private:
        struct Kept {
            char* p;
            std::size_t bytes;
        };
        std::vector<Kept> buffers_;
        std::size_t total_ = 0;
    };
    std::mutex mutex_;
    Shelf resident_; // as they are
    Shelf lazy_;     // marked free
};

} // namespace
#endif

void RowStore::BufferDeleter::operator()(char* p) const {
#ifdef MADV_HUGEPAGE
    if (mappedBytes) {
        if (!ReleasedBuffers::instance().keep(p, mappedBytes))
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
        if (char* kept = ReleasedBuffers::instance().take(bytes))
            return Buffer(kept, BufferDeleter{bytes});
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

// A new block, twice the last up to the largest a place can address.
void RowStore::startBlock() {
    if (blocks_.size() >= kMaxBlocks)
        throw std::bad_alloc();
    currentSize_ = currentSize_ == 0             ? kFirstBlockSize
                   : currentSize_ < kLargeBuffer ? kLargeBuffer
                                                 : std::min(currentSize_ * 2, kMaxBlockSize);
    blocks_.push_back(allocate(currentSize_));
    currentBlock_ = blocks_.size() - 1;
    currentData_ = blocks_.back().get();
    currentUsed_ = 0;
}

// A value that does not fit a block gets one of its own, at offset 0; the current block stays.
std::uint64_t RowStore::storeLarge(const void* data, std::size_t size, bool withSize) {
    if (blocks_.size() >= kMaxBlocks)
        throw std::bad_alloc();
    const std::size_t prefix = withSize ? sizeof(std::uint64_t) : 0;
    Buffer block = allocate(prefix + size);
    if (withSize) {
        const std::uint64_t length = size;
        std::memcpy(block.get(), &length, sizeof length);
    }
    std::memcpy(block.get() + prefix, data, size);
    blocks_.push_back(std::move(block));
    return std::uint64_t(blocks_.size() - 1) << kOffsetBits << Cell::kPlaceShift;
}

std::string_view RowStore::bytes(const Cell& cell) const {
    switch (cell.bits & 7) {
    case Cell::ShortText:
    case Cell::ShortBlob: {
        const std::size_t size = std::size_t((cell.bits >> Cell::kSizeShift) & Cell::kMaxShortSize);
        if (size == 0)
            return {};
        return {place(cell), size};
    }
    case Cell::LongText:
    case Cell::LongBlob: {
        const char* at = place(cell);
        std::uint64_t size = 0;
        std::memcpy(&size, at, sizeof size);
        return {at + sizeof size, std::size_t(size)};
    }
    default:
        return {};
    }
}

void RowStore::addPage() {
    const std::size_t rows =
        pages_.empty() ? kFirstPageRows : std::size_t(1) << (pageShift_ + int(pages_.size()) - 1);
    pages_.push_back(allocate(rows * std::size_t(std::max(columns_, 1)) * sizeof(Cell)));
    pageRows_ += rows;
    appendAt_ = reinterpret_cast<Cell*>(pages_.back().get());
}

int RowStore::appendRow(const RowSource& source) {
    return append(source);
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
    if (deleted_.size() < std::size_t(rows_))
        deleted_.resize(std::size_t(rows_), 0);
    deleted_[std::size_t(row)] = 1;
    ++deleteVersion_;
}

CollationKey RowStore::keyOf(const Cell& cell) const {
    switch (cell.type()) {
    case Cell::Text:
    case Cell::Blob: {
        const std::string_view b = bytes(cell);
        return collationKeyUtf8(b.data(), b.size());
    }
    case Cell::Integer:
        return collationKey(QString::number(integer(cell)));
    case Cell::Float:
        return collationKey(QString::number(real(cell), 'g', 15));
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
        if (cell(row, column).isNull())
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

CellData RowStore::dataOf(const Cell& cell) const {
    CellData d;
    d.type = cell.type();
    switch (d.type) {
    case Cell::Integer:
        d.integer = integer(cell);
        break;
    case Cell::Float:
        d.real = real(cell);
        break;
    case Cell::Text:
    case Cell::Blob:
        d.bytes = bytes(cell);
        break;
    case Cell::Null:
        break;
    }
    return d;
}

std::optional<Money> RowStore::decodeMoney(const Cell& cell) const {
    if (const std::optional<Money> m = storedMoney(cell))
        return m;
    return moneyOfCell(dataOf(cell));
}

QDateTime RowStore::decodeDateTime(const Cell& cell) const {
    if (cell.type() != Cell::Text)
        return {};
    return dateTimeFromStorage(decodeText(cell));
}

QString RowStore::decodeText(const Cell& cell) const {
    return textOfCell(dataOf(cell));
}

CellData RowStore::data(int row, int column) const {
    return dataOf(cell(row, column));
}

Value RowStore::decode(const Cell& cell, ColumnType type) const {
    if (type == ColumnType::Currency)
        if (const std::optional<Money> m = storedMoney(cell))
            return *m;
    return decodeCell(dataOf(cell), type);
}

} // namespace cursor
