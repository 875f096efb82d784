// The start-up check of a database file: a walk over its pages as the SQLite file format lays them.
#include "engine/CursorCheck.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sqlite3.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace cursor {

namespace {

std::uint32_t be16(const uchar* p) {
    return std::uint32_t(p[0]) << 8 | p[1];
}

std::uint32_t be32(const uchar* p) {
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// A variable-length integer of the file format (1 to 9 bytes); nullopt when it runs past `end`.
std::optional<std::uint64_t> varint(const uchar*& p, const uchar* end) {
    std::uint64_t v = 0;
    for (int i = 0; i < 9; ++i) {
        if (p >= end)
            return std::nullopt;
        const uchar b = *p++;
        if (i == 8)
            return v << 8 | b;
        v = v << 7 | (b & 0x7F);
        if (!(b & 0x80))
            return v;
    }
    return v;
}

enum PageType : uchar { IndexInterior = 2, TableInterior = 5, IndexLeaf = 10, TableLeaf = 13 };

class Walk {
public:
    Walk(const uchar* file, std::uint32_t pageSize, std::uint32_t usable, std::uint32_t pages)
        : file_(file), pageSize_(pageSize), usable_(usable), pages_(pages), used_(pages + 1, 0) {
        // The page holding the lock bytes at 1 GiB is never used by the file.
        const std::uint64_t lockPage = (std::uint64_t(1) << 30) / pageSize + 1;
        if (lockPage <= pages)
            used_[lockPage] = 1;
    }

    QString tree(std::uint32_t root) {
        struct Pending {
            std::uint32_t page;
            bool index;
            int depth;
        };
        std::vector<Pending> stack{{root, false, 0}};
        bool first = true;
        while (!stack.empty()) {
            const Pending p = stack.back();
            stack.pop_back();
            if (p.depth > 40)
                return QStringLiteral("b-tree at page %1 is too deep").arg(root);
            if (QString e = claim(p.page); !e.isEmpty())
                return e;
            const uchar* page = file_ + std::uint64_t(p.page - 1) * pageSize_;
            const std::uint32_t start = p.page == 1 ? 100 : 0;
            const uchar type = page[start];
            const bool index = type == IndexInterior || type == IndexLeaf;
            const bool interior = type == IndexInterior || type == TableInterior;
            if (type != IndexInterior && type != TableInterior && type != IndexLeaf &&
                type != TableLeaf)
                return QStringLiteral("page %1 is no b-tree page").arg(p.page);
            if (!first && index != p.index)
                return QStringLiteral("page %1 does not belong to its b-tree").arg(p.page);
            first = false;
            const std::uint32_t headerEnd = start + (interior ? 12 : 8);
            const std::uint32_t cells = be16(page + start + 3);
            std::uint32_t content = be16(page + start + 5);
            if (content == 0)
                content = 65536;
            const std::uint64_t pointersEnd = headerEnd + std::uint64_t(cells) * 2;
            if (pointersEnd > content || content > usable_)
                return QStringLiteral("page %1 has a damaged header").arg(p.page);
            const std::uint32_t freeblock = be16(page + start + 1);
            if (freeblock != 0 && (freeblock < pointersEnd || freeblock + 4 > usable_))
                return QStringLiteral("page %1 has a damaged free block").arg(p.page);
            // Leaf cells are not read: that would touch every row of the file and cost more
            // than the start-up itself. Their overflow pages are judged in unclaimed() instead.
            for (std::uint32_t i = 0; i < cells; ++i) {
                const std::uint32_t offset = be16(page + headerEnd + 2 * i);
                if (offset < content || offset >= usable_)
                    return QStringLiteral("page %1 has a damaged cell pointer").arg(p.page);
                if (!interior)
                    continue;
                std::uint32_t child = 0;
                if (QString e = cell(p.page, type, page + offset, page + usable_, &child);
                    !e.isEmpty())
                    return e;
                stack.push_back({child, index, p.depth + 1});
            }
            if (interior)
                stack.push_back({be32(page + start + 8), index, p.depth + 1});
        }
        return {};
    }

    QString freelist(std::uint32_t trunk, std::uint32_t expected) {
        std::uint32_t counted = 0;
        while (trunk != 0) {
            if (QString e = claim(trunk); !e.isEmpty())
                return e;
            ++counted;
            const uchar* page = file_ + std::uint64_t(trunk - 1) * pageSize_;
            const std::uint32_t leaves = be32(page + 4);
            if (leaves > (usable_ - 8) / 4)
                return QStringLiteral("freelist page %1 is damaged").arg(trunk);
            for (std::uint32_t i = 0; i < leaves; ++i)
                if (QString e = claim(be32(page + 8 + 4 * i)); !e.isEmpty())
                    return e;
            counted += leaves;
            trunk = be32(page);
        }
        if (counted != expected)
            return QStringLiteral("the freelist holds %1 pages, the header says %2")
                .arg(counted)
                .arg(expected);
        return {};
    }

    // Pages no b-tree, interior cell or freelist claims can only be overflow pages of leaf
    // cells: each starts with the number of the next one, or 0.
    QString unclaimed() const {
        for (std::uint32_t p = 1; p <= pages_; ++p) {
            if (used_[p])
                continue;
            const std::uint32_t next = be32(file_ + std::uint64_t(p - 1) * pageSize_);
            if (next > pages_ || next == p)
                return QStringLiteral("page %1 belongs to nothing").arg(p);
        }
        return {};
    }

private:
    QString claim(std::uint32_t page) {
        if (page < 1 || page > pages_)
            return QStringLiteral("page %1 is beyond the end of the file").arg(page);
        if (used_[page])
            return QStringLiteral("page %1 is used twice").arg(page);
        used_[page] = 1;
        return {};
    }

    // One cell: it must lie inside the page; its overflow chain must be whole.
    QString cell(std::uint32_t pageNo, uchar type, const uchar* p, const uchar* end,
                 std::uint32_t* child) {
        const auto damaged = [pageNo] {
            return QStringLiteral("page %1 has a damaged cell").arg(pageNo);
        };
        if (type == TableInterior || type == IndexInterior) {
            if (end - p < 4)
                return damaged();
            *child = be32(p);
            p += 4;
            if (type == TableInterior)
                return varint(p, end) ? QString() : damaged();
        }
        const std::optional<std::uint64_t> payload = varint(p, end);
        if (!payload)
            return damaged();
        if (type == TableLeaf && !varint(p, end))
            return damaged();
        const std::uint64_t u = usable_;
        const std::uint64_t maxLocal = type == TableLeaf ? u - 35 : (u - 12) * 64 / 255 - 23;
        const std::uint64_t minLocal = (u - 12) * 32 / 255 - 23;
        std::uint64_t local = *payload;
        if (*payload > maxLocal) {
            const std::uint64_t k = minLocal + (*payload - minLocal) % (u - 4);
            local = k <= maxLocal ? k : minLocal;
        }
        const bool overflows = local < *payload;
        if (std::uint64_t(end - p) < local + (overflows ? 4 : 0))
            return damaged();
        if (!overflows)
            return {};
        std::uint32_t next = be32(p + local);
        std::uint64_t remaining = *payload - local;
        while (remaining > 0) {
            if (QString e = claim(next); !e.isEmpty())
                return e;
            const uchar* page = file_ + std::uint64_t(next - 1) * pageSize_;
            next = be32(page);
            remaining -= std::min<std::uint64_t>(remaining, u - 4);
        }
        if (next != 0)
            return QStringLiteral("page %1 has a damaged overflow chain").arg(pageNo);
        return {};
    }

    const uchar* file_;
    std::uint32_t pageSize_, usable_, pages_;
    std::vector<uchar> used_;
};

QString quickCheck(sqlite3* db) {
    sqlite3_stmt* st = nullptr;
    QString result;
    if (sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        result = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
    else
        result = QString::fromUtf8(sqlite3_errmsg(db));
    sqlite3_finalize(st);
    return result == QLatin1String("ok") ? QString() : result;
}

// The whole file mapped read-only (reading each page's head with a system call apiece would cost
// twice as much). No MAP_POPULATE: it holds the process's memory map lock for the whole file and so
// stalls the thread that reads the customers meanwhile.
class Mapping {
public:
    explicit Mapping(const QString& path) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
            size_ = std::size_t(st.st_size);
            void* p = ::mmap(nullptr, size_, PROT_READ, MAP_SHARED, fd, 0);
            data_ = p == MAP_FAILED ? nullptr : static_cast<const uchar*>(p);
        }
        ::close(fd);
    }
    ~Mapping() {
        if (data_)
            ::munmap(const_cast<uchar*>(data_), size_);
    }
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;
    const uchar* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    const uchar* data_ = nullptr;
    std::size_t size_ = 0;
};

QString walkFile(sqlite3* db, const QString& path) {
    const Mapping file(path);
    const uchar* head = file.data();
    if (!head)
        return QStringLiteral("it cannot be read: %1")
            .arg(QString::fromLocal8Bit(std::strerror(errno)));
    const std::size_t size = file.size();
    if (size < 100)
        return QStringLiteral("it is shorter than its header");
    std::uint32_t pageSize = be16(head + 16);
    if (pageSize == 1)
        pageSize = 65536;
    if (pageSize < 512 || pageSize > 65536 || (pageSize & (pageSize - 1)))
        return QStringLiteral("its header is damaged");
    if (head[18] == 2 || head[19] == 2 || be32(head + 52) != 0)
        return quickCheck(db); // WAL or auto-vacuum: see the header comment
    std::uint32_t pages = std::uint32_t(size / pageSize);
    // Where SQLite trusts the header's page count, pages past it are ignored, and a file shorter
    // than it has lost its end.
    const std::uint32_t headerPages = be32(head + 28);
    if (headerPages != 0 && be32(head + 24) == be32(head + 92)) {
        if (headerPages > pages)
            return QStringLiteral("it has %1 pages, its header says %2")
                .arg(pages)
                .arg(headerPages);
        pages = headerPages;
    } else if (size % pageSize != 0) {
        return QStringLiteral("it ends in the middle of a page");
    }

    Walk walk(head, pageSize, pageSize - head[20], pages);
    std::vector<std::uint32_t> roots{1};
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT rootpage FROM sqlite_schema WHERE rootpage > 0", -1, &st,
                           nullptr) != SQLITE_OK)
        return QString::fromUtf8(sqlite3_errmsg(db));
    int rc;
    while ((rc = sqlite3_step(st)) == SQLITE_ROW)
        roots.push_back(std::uint32_t(sqlite3_column_int64(st, 0)));
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE)
        return QString::fromUtf8(sqlite3_errmsg(db));
    for (std::uint32_t root : roots)
        if (QString e = walk.tree(root); !e.isEmpty())
            return e;
    if (QString e = walk.freelist(be32(head + 32), be32(head + 36)); !e.isEmpty())
        return e;
    return walk.unclaimed();
}

} // namespace

QString damageOf(sqlite3* db, const QString& path, QString* error) {
    // A read transaction: the shared lock keeps other programs from committing while the file's
    // bytes are read behind SQLite's back.
    error->clear();
    if (sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        return {};
    }
    QString damage;
    sqlite3_stmt* st = nullptr;
    int rc = sqlite3_prepare_v2(db, "SELECT count(*) FROM sqlite_schema", -1, &st, nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB)
        damage = QString::fromUtf8(sqlite3_errstr(rc));
    else if (rc != SQLITE_ROW)
        *error = QString::fromUtf8(sqlite3_errmsg(db));
    else
        damage = walkFile(db, path);
    sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    return damage;
}

} // namespace cursor
