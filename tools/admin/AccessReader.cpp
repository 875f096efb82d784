// Reading the customer and visit tables out of an Access (Jet) file with the mdbtools library.
// glib and iconv first, outside the library header's extern "C" (glib holds C++ templates).
#include <glib.h>
#include <iconv.h>
#include <mdbtools.h>

#include "tools/admin/AccessReader.h"

#include "core/Money.h"

#include <QDataStream>
#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace admin {

namespace {

constexpr int kOffsetMask = 0x1FFF; // the row offset's bits in a page's row table

std::int64_t le(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return std::int64_t(v);
}

const char* kindName(ColumnKind kind) {
    switch (kind) {
    case ColumnKind::Text:
        return "Text";
    case ColumnKind::Memo:
        return "Memo";
    case ColumnKind::DateTime:
        return "Date/Time";
    case ColumnKind::Currency:
        return "Currency";
    case ColumnKind::Long:
        return "Long";
    case ColumnKind::Key:
        return "AutoNumber";
    }
    return "?";
}

bool typeFits(ColumnKind kind, int mdbType) {
    switch (kind) {
    case ColumnKind::Text:
    case ColumnKind::Memo:
        return mdbType == MDB_TEXT || mdbType == MDB_MEMO;
    case ColumnKind::DateTime:
        return mdbType == MDB_DATETIME;
    case ColumnKind::Currency:
        return mdbType == MDB_MONEY;
    case ColumnKind::Long:
        return mdbType == MDB_LONGINT || mdbType == MDB_INT || mdbType == MDB_BYTE;
    case ColumnKind::Key:
        return mdbType == MDB_LONGINT;
    }
    return false;
}

QString mdbTypeName(int mdbType) {
    switch (mdbType) {
    case MDB_BOOL:
        return QStringLiteral("Yes/No");
    case MDB_BYTE:
        return QStringLiteral("Byte");
    case MDB_INT:
        return QStringLiteral("Integer");
    case MDB_LONGINT:
        return QStringLiteral("Long");
    case MDB_MONEY:
        return QStringLiteral("Currency");
    case MDB_FLOAT:
        return QStringLiteral("Single");
    case MDB_DOUBLE:
        return QStringLiteral("Double");
    case MDB_DATETIME:
        return QStringLiteral("Date/Time");
    case MDB_TEXT:
        return QStringLiteral("Text");
    case MDB_MEMO:
        return QStringLiteral("Memo");
    case MDB_OLE:
        return QStringLiteral("OLE Object");
    default:
        return QStringLiteral("type %1").arg(mdbType);
    }
}

// One open Access file; everything freed on every way out.
class AccessFile {
public:
    explicit AccessFile(const QString& path) : path_(path) {
        pageCount_ = QFileInfo(path).size();
        mdb_ = mdb_open(QFile::encodeName(path).constData(), MDB_NOFLAGS);
        if (!mdb_)
            throw Error(QStringLiteral("'%1' could not be opened as an Access file").arg(path));
        pageCount_ /= mdb_->fmt->pg_size;
        if (!mdb_read_catalog(mdb_, MDB_TABLE))
            throw Error(
                QStringLiteral("'%1' is damaged: its list of tables cannot be read").arg(path));
    }
    ~AccessFile() {
        for (MdbTableDef* t : tables_)
            mdb_free_tabledef(t);
        if (mdb_)
            mdb_close(mdb_);
    }
    AccessFile(const AccessFile&) = delete;
    AccessFile& operator=(const AccessFile&) = delete;

    MdbHandle* mdb() const { return mdb_; }
    bool jet3() const { return mdb_->f->jet_version == MDB_VER_JET3; }

    // The user table of that name (Access names ignore case), or null.
    MdbTableDef* table(const char* name) {
        for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
            auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
            if (entry->object_type != MDB_TABLE || g_ascii_strcasecmp(entry->object_name, name))
                continue;
            MdbTableDef* t = mdb_read_table(entry);
            if (!t)
                throw Error(QStringLiteral("'%1' is damaged: the table %2 cannot be read")
                                .arg(path_, QLatin1String(name)));
            tables_.push_back(t);
            if (!mdb_read_columns(t))
                throw Error(QStringLiteral("'%1' is damaged: the columns of %2 cannot be read")
                                .arg(path_, QLatin1String(name)));
            return t;
        }
        return nullptr;
    }

    QString text(const unsigned char* bytes, std::size_t size) const {
        if (!jet3())
            return jet4Text(bytes, size);
        // Jet 3 keeps text in the file's code page; the library converts it to UTF-8.
        QByteArray out(qsizetype(size) * 4 + 16, '\0');
        const int n = mdb_unicode2ascii(mdb_, reinterpret_cast<const char*>(bytes), size,
                                        out.data(), std::size_t(out.size()));
        return QString::fromUtf8(out.constData(), std::clamp(n, 0, int(out.size())));
    }

    // The bytes of a long value (memo). The 12-byte field holds the length with two flag bits
    // (inline, or on one page) and a page/row pointer; otherwise the value is a chain of rows,
    // each starting with the pointer to the next. Returns false, with a reason, when the chain
    // is broken.
    bool longValue(const unsigned char* field, int fieldSize, QByteArray* out, QString* why) {
        if (fieldSize < MDB_MEMO_OVERHEAD) {
            *why = QStringLiteral("the memo field is too short");
            return false;
        }
        const std::uint32_t head = std::uint32_t(le(field, 4));
        const std::uint32_t length = head & 0x3FFFFFFF;
        out->clear();
        if (head & 0x80000000) {
            if (int(length) > fieldSize - MDB_MEMO_OVERHEAD) {
                *why = QStringLiteral("the memo is longer than its row");
                return false;
            }
            *out = QByteArray(reinterpret_cast<const char*>(field + MDB_MEMO_OVERHEAD), length);
            return true;
        }
        std::uint32_t pointer = std::uint32_t(le(field + 4, 4));
        const bool single = head & 0x40000000;
        for (int hop = 0; pointer != 0 && std::uint32_t(out->size()) < length; ++hop) {
            if (hop > 100000) {
                *why = QStringLiteral("the memo's page chain does not end");
                return false;
            }
            QByteArray piece;
            if (!lvalRow(pointer, &piece, why))
                return false;
            if (single) {
                out->append(piece);
                break;
            }
            if (piece.size() < 4) {
                *why = QStringLiteral("a memo page row is too short");
                return false;
            }
            pointer =
                std::uint32_t(le(reinterpret_cast<const unsigned char*>(piece.constData()), 4));
            out->append(piece.constData() + 4, piece.size() - 4);
        }
        if (std::uint32_t(out->size()) < length) {
            *why =
                QStringLiteral("the memo ends early (%1 of %2 bytes)").arg(out->size()).arg(length);
            return false;
        }
        out->truncate(length);
        return true;
    }

private:
    // The bytes of row (pointer & 0xFF) on page (pointer >> 8), read into the second page
    // buffer so the data page being walked stays in place.
    bool lvalRow(std::uint32_t pointer, QByteArray* out, QString* why) {
        const std::uint32_t page = pointer >> 8, row = pointer & 0xFF;
        const int pageSize = int(mdb_->fmt->pg_size);
        if (page == 0 || page >= pageCount_ || mdb_read_alt_pg(mdb_, page) != mdb_->fmt->pg_size) {
            *why = QStringLiteral("the memo points to page %1, outside the file").arg(page);
            return false;
        }
        const unsigned char* buf = mdb_->alt_pg_buf;
        const int rco = mdb_->fmt->row_count_offset;
        const int rows = int(le(buf + rco, 2));
        if (buf[0] != MDB_PAGE_DATA || int(row) >= rows || rco + 2 + rows * 2 > pageSize) {
            *why =
                QStringLiteral("the memo points to a missing row %1 of page %2").arg(row).arg(page);
            return false;
        }
        const int start = int(le(buf + rco + 2 + row * 2, 2)) & kOffsetMask;
        const int end = row == 0 ? pageSize : int(le(buf + rco + row * 2, 2)) & kOffsetMask;
        if (start > end || end > pageSize) {
            *why = QStringLiteral("the memo's row %1 of page %2 is damaged").arg(row).arg(page);
            return false;
        }
        *out = QByteArray(reinterpret_cast<const char*>(buf + start), end - start);
        return true;
    }

    QString path_;
    MdbHandle* mdb_ = nullptr;
    std::int64_t pageCount_ = 0;
    std::vector<MdbTableDef*> tables_;
};

// Reads one table of the Access file into rows of the wanted columns: maps the columns, walks
// the live rows, decodes each value from its stored form and checks the keys.
class TableReader {
public:
    TableReader(AccessFile& file, const QString& path, const char* name,
                const std::vector<ColumnSpec>& specs, std::vector<Problem>& problems)
        : file_(file), path_(path), specs_(specs), problems_(problems) {
        data_.name = QLatin1String(name);
        table_ = file.table(name);
        if (!table_)
            throw Error(QStringLiteral("'%1' is an Access file but not a Korvela database: it "
                                       "has no table %2")
                            .arg(path, data_.name));
        // The key first, so that every message can name the row.
        for (std::size_t s = 0; s < specs.size(); ++s)
            if (specs[s].kind == ColumnKind::Key)
                order_.insert(order_.begin(), s);
            else
                order_.push_back(s);
    }

    TableData read(const std::function<void(const QString&, std::int64_t)>& progress);

private:
    void mapColumns();
    Row readRow(const std::vector<MdbField>& fields);
    QString decode(const MdbField& f, int type, const char* column, std::int64_t id, Value& v);
    QString decodeNumber(const unsigned char* bytes, int n, int type, Value& v);
    void checkRows();
    [[noreturn]] void notKorvela(const QString& what) const {
        throw Error(
            QStringLiteral("'%1' is an Access file but not a Korvela database: ").arg(path_) +
            what);
    }

    AccessFile& file_;
    const QString& path_;
    const std::vector<ColumnSpec>& specs_;
    std::vector<Problem>& problems_;
    MdbTableDef* table_ = nullptr;
    TableData data_;
    std::vector<std::size_t> order_; // the specs, the key first
    std::vector<int> index_;         // the table's column of each wanted column
};

// Column index of each wanted column; the others are listed and ignored.
void TableReader::mapColumns() {
    index_.assign(specs_.size(), -1);
    QStringList missing, wrongType;
    for (unsigned c = 0; c < table_->num_cols; ++c) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, c));
        bool known = false;
        for (std::size_t s = 0; s < specs_.size(); ++s) {
            if (g_ascii_strcasecmp(col->name, specs_[s].name))
                continue;
            known = true;
            index_[s] = int(c);
            if (!typeFits(specs_[s].kind, col->col_type))
                wrongType << QStringLiteral("%1 is %2, not %3")
                                 .arg(QLatin1String(specs_[s].name), mdbTypeName(col->col_type),
                                      QLatin1String(kindName(specs_[s].kind)));
        }
        if (!known)
            data_.ignoredColumns << QString::fromUtf8(col->name);
    }
    for (std::size_t s = 0; s < specs_.size(); ++s)
        if (index_[s] < 0)
            missing << QLatin1String(specs_[s].name);
    if (!missing.isEmpty())
        notKorvela(QStringLiteral("the table %1 lacks the column(s) %2")
                       .arg(data_.name, missing.join(QStringLiteral(", "))));
    if (!wrongType.isEmpty())
        notKorvela(QStringLiteral("in the table %1, %2")
                       .arg(data_.name, wrongType.join(QStringLiteral("; "))));
}

TableData TableReader::read(const std::function<void(const QString&, std::int64_t)>& progress) {
    mapColumns();
    MdbHandle* mdb = file_.mdb();
    std::vector<MdbField> fields(MDB_MAX_COLS + 1);
    mdb_rewind_table(table_);
    while (mdb_fetch_row(table_)) {
        // The library has found the next live row on the current page (deleted rows skipped):
        // take its fields apart once more to see NULL apart from an empty text.
        int start = 0;
        std::size_t size = 0;
        if (table_->cur_row == 0 || mdb_find_row(mdb, int(table_->cur_row) - 1, &start, &size) ||
            mdb_crack_row(table_, start & kOffsetMask, size, fields.data()) < int(table_->num_cols))
            throw Error(QStringLiteral("'%1' is damaged: a row of %2 cannot be read")
                            .arg(path_, data_.name));
        ++data_.rowsRead;
        data_.rows.push_back(readRow(fields));
        if (progress && data_.rowsRead % 2000 == 0)
            progress(data_.name, data_.rowsRead);
    }
    checkRows();
    if (progress)
        progress(data_.name, data_.rowsRead);
    return std::move(data_);
}

// The row's wanted values; a value that cannot be decoded is a problem and stays NULL.
Row TableReader::readRow(const std::vector<MdbField>& fields) {
    Row row;
    row.values.resize(specs_.size());
    for (const std::size_t s : order_) {
        const MdbField* f = nullptr;
        for (unsigned i = 0; i < table_->num_cols; ++i)
            if (fields[i].colnum == index_[s])
                f = &fields[i];
        if (!f || f->is_null)
            continue;
        Value& v = row.values[s];
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, index_[s]));
        const QString why = decode(*f, col->col_type, specs_[s].name, row.id, v);
        if (specs_[s].kind == ColumnKind::Key) {
            if (v.null)
                throw Error(QStringLiteral("'%1' is damaged: a row of %2 has no id")
                                .arg(path_, data_.name));
            row.id = v.integer;
        }
        if (!why.isEmpty())
            problems_.push_back({data_.name, row.id, QLatin1String(specs_[s].name), why});
    }
    return row;
}

// A value from its stored form; returns why it cannot be, or nothing. A memo whose pages are
// damaged is an Error.
QString TableReader::decode(const MdbField& f, int type, const char* column, std::int64_t id,
                            Value& v) {
    const auto* bytes = static_cast<const unsigned char*>(f.value);
    const int n = f.siz;
    if (n < 0 || f.start < 0 || f.start + n > int(file_.mdb()->fmt->pg_size))
        return QStringLiteral("the value lies outside its page");
    switch (type) {
    case MDB_TEXT:
        v.text = file_.text(bytes, std::size_t(n));
        v.null = false;
        return {};
    case MDB_MEMO: {
        QByteArray raw;
        QString why;
        if (!file_.longValue(bytes, n, &raw, &why))
            throw Error(QStringLiteral("'%1' is damaged: %2 id %3, %4: %5")
                            .arg(path_, data_.name)
                            .arg(id)
                            .arg(QLatin1String(column), why));
        v.text = file_.text(reinterpret_cast<const unsigned char*>(raw.constData()),
                            std::size_t(raw.size()));
        v.null = false;
        return {};
    }
    case MDB_DATETIME: {
        double days = 0;
        if (n == 8) {
            const std::uint64_t bits = std::uint64_t(le(bytes, 8));
            std::memcpy(&days, &bits, 8);
        }
        if (n == 8 && jetDateText(days, &v.text)) {
            v.null = false;
            return {};
        }
        return QStringLiteral("the date %1 is outside the years 100 to 9999").arg(days, 0, 'g', 17);
    }
    case MDB_MONEY:
        if (n != 8)
            return QStringLiteral("the amount has %1 bytes, not 8").arg(n);
        // The stored 64-bit count of ten-thousandths, taken as it is.
        v.text = Money::fromRaw(le(bytes, 8)).toStorageText();
        v.null = false;
        return {};
    case MDB_LONGINT:
    case MDB_INT:
    case MDB_BYTE:
        return decodeNumber(bytes, n, type, v);
    default:
        return QStringLiteral("unexpected column type");
    }
}

QString TableReader::decodeNumber(const unsigned char* bytes, int n, int type, Value& v) {
    const int width = type == MDB_LONGINT ? 4 : type == MDB_INT ? 2 : 1;
    if (n != width)
        return QStringLiteral("the number has %1 bytes, not %2").arg(n).arg(width);
    v.integer = width == 1   ? bytes[0]
                : width == 2 ? std::int16_t(le(bytes, 2))
                             : std::int32_t(le(bytes, 4));
    v.text = QString::number(v.integer);
    v.null = false;
    return {};
}

// Every row the table's own count names was read (rows on pages the file no longer has are not
// found by the walk), sorted by id, each id once.
void TableReader::checkRows() {
    if (data_.rowsRead != std::int64_t(table_->num_rows))
        throw Error(QStringLiteral("'%1' is truncated or damaged: the table %2 should hold %3 "
                                   "rows, but only %4 can be read")
                        .arg(path_, data_.name)
                        .arg(table_->num_rows)
                        .arg(data_.rowsRead));
    std::stable_sort(data_.rows.begin(), data_.rows.end(),
                     [](const Row& a, const Row& b) { return a.id < b.id; });
    for (std::size_t i = 1; i < data_.rows.size(); ++i)
        if (data_.rows[i].id == data_.rows[i - 1].id)
            throw Error(QStringLiteral("'%1' is damaged: two rows of %2 have the id %3")
                            .arg(path_, data_.name)
                            .arg(data_.rows[i].id));
}

TableData readTable(AccessFile& file, const QString& path, const char* name,
                    const std::vector<ColumnSpec>& specs, std::vector<Problem>& problems,
                    const std::function<void(const QString&, std::int64_t)>& progress) {
    return TableReader(file, path, name, specs, problems).read(progress);
}

QDataStream& operator<<(QDataStream& out, const TableData& t) {
    out << t.name << qint64(t.rowsRead) << t.ignoredColumns << quint64(t.rows.size());
    for (const Row& r : t.rows) {
        out << qint64(r.id) << quint32(r.values.size());
        for (const Value& v : r.values)
            out << v.null << v.text << qint64(v.integer);
    }
    return out;
}

QDataStream& operator>>(QDataStream& in, TableData& t) {
    qint64 read = 0;
    quint64 rows = 0;
    in >> t.name >> read >> t.ignoredColumns >> rows;
    t.rowsRead = read;
    t.rows.clear();
    for (quint64 i = 0; i < rows && in.status() == QDataStream::Ok; ++i) {
        Row r;
        qint64 id = 0;
        quint32 n = 0;
        in >> id >> n;
        r.id = id;
        r.values.resize(std::min<quint32>(n, 64));
        for (Value& v : r.values) {
            qint64 integer = 0;
            in >> v.null >> v.text >> integer;
            v.integer = integer;
        }
        t.rows.push_back(std::move(r));
    }
    return in;
}

} // namespace

const std::vector<ColumnSpec>& customerColumns() {
    static const std::vector<ColumnSpec> columns = {
        {"f_arac_plaka", ColumnKind::Text}, {"f_adi", ColumnKind::Text},
        {"f_tel", ColumnKind::Text},        {"f_gsm", ColumnKind::Text},
        {"f_mail", ColumnKind::Text},       {"f_vd", ColumnKind::Text},
        {"f_vn", ColumnKind::Text},         {"f_tarih", ColumnKind::DateTime},
        {"f_adres", ColumnKind::Text},      {"f_arac_marka", ColumnKind::Text},
        {"f_arac_model", ColumnKind::Text}, {"f_arac_yil", ColumnKind::Text},
        {"f_arac_yakit", ColumnKind::Text}, {"f_arac_renk", ColumnKind::Text},
        {"f_not", ColumnKind::Memo},        {"id", ColumnKind::Key},
    };
    return columns;
}

const std::vector<ColumnSpec>& serviceColumns() {
    static const std::vector<ColumnSpec> columns = {
        {"f_tarih", ColumnKind::DateTime},   {"f_km", ColumnKind::Text},
        {"f_ariza", ColumnKind::Text},       {"f_islem", ColumnKind::Text},
        {"f_parca", ColumnKind::Text},       {"f_malzeme", ColumnKind::Text},
        {"f_iscilik", ColumnKind::Currency}, {"f_tutar", ColumnKind::Currency},
        {"f_odeme", ColumnKind::Currency},   {"id", ColumnKind::Key},
        {"id_musteri", ColumnKind::Long},    {"f_not", ColumnKind::Memo},
    };
    return columns;
}

QDataStream& operator<<(QDataStream& out, const AccessData& data) {
    out << data.format << data.customers << data.services << quint32(data.problems.size());
    for (const Problem& p : data.problems)
        out << p.table << qint64(p.id) << p.column << p.reason;
    return out;
}

QDataStream& operator>>(QDataStream& in, AccessData& data) {
    quint32 n = 0;
    in >> data.format >> data.customers >> data.services >> n;
    data.problems.clear();
    for (quint32 i = 0; i < n && in.status() == QDataStream::Ok; ++i) {
        Problem p;
        qint64 id = 0;
        in >> p.table >> id >> p.column >> p.reason;
        p.id = id;
        data.problems.push_back(p);
    }
    return in;
}

bool jetDateText(double days, QString* text) {
    // 100-01-01 00:00:00 is -657434, 9999-12-31 23:59:59 is just under 2958466.
    if (!std::isfinite(days) || days <= -657435.0 || days >= 2958466.0)
        return false;
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole); // exact: the subtraction loses nothing
    std::int64_t seconds = std::llround(fraction * 86400.0);
    QDate date = QDate(1899, 12, 30).addDays(std::int64_t(whole));
    if (seconds >= 86400) {
        date = date.addDays(1);
        seconds -= 86400;
    }
    if (!date.isValid() || date.year() < 100 || date.year() > 9999)
        return false;
    *text =
        QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", date.year(), date.month(), date.day(),
                          int(seconds / 3600), int(seconds / 60 % 60), int(seconds % 60));
    return true;
}

QString jet4Text(const unsigned char* bytes, std::size_t size) {
    QString out;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        out.reserve(qsizetype(size));
        bool compressed = true;
        std::size_t i = 2;
        while (i < size) {
            if (bytes[i] == 0) {
                compressed = !compressed;
                ++i;
            } else if (compressed) {
                out += QChar(char16_t(bytes[i]));
                ++i;
            } else if (i + 1 < size) {
                out += QChar(char16_t(bytes[i] | (bytes[i + 1] << 8)));
                i += 2;
            } else {
                break;
            }
        }
        return out;
    }
    out.reserve(qsizetype(size / 2));
    for (std::size_t i = 0; i + 1 < size; i += 2)
        out += QChar(char16_t(bytes[i] | (bytes[i + 1] << 8)));
    return out;
}

QString checkAccessHeader(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        throw Error(QStringLiteral("'%1' does not exist").arg(path));
    if (info.isDir())
        throw Error(QStringLiteral("'%1' is a directory, not an Access file").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("'%1' cannot be read: %2").arg(path, file.errorString()));
    const QByteArray head = file.read(0x20);
    const bool jet = head.mid(4, 16) == QByteArray("Standard Jet DB\0", 16);
    const bool ace = head.mid(4, 16) == QByteArray("Standard ACE DB\0", 16);
    if (head.size() < 0x20 || (!jet && !ace)) {
        if (head.startsWith(QByteArray("SQLite format 3\0", 16)))
            throw Error(QStringLiteral("'%1' is not an Access file: it is already an SQLite "
                                       "database")
                            .arg(path));
        throw Error(QStringLiteral("'%1' is not an Access file").arg(path));
    }
    const int version = static_cast<unsigned char>(head[0x14]);
    const qint64 pageSize = version == 0 ? 2048 : 4096;
    const QString format = version == 0   ? QStringLiteral("Access 97 (Jet 3)")
                           : version == 1 ? QStringLiteral("Access 2000/2002-2003 (Jet 4)")
                                          : QStringLiteral("Access 2007 or later (ACE)");
    if (info.size() < pageSize * 3 || info.size() % pageSize != 0)
        throw Error(QStringLiteral("'%1' is truncated or damaged: %2 bytes is not a whole "
                                   "number of %3-byte pages")
                        .arg(path)
                        .arg(info.size())
                        .arg(pageSize));
    return format;
}

AccessData readAccessFile(const QString& path,
                          const std::function<void(const QString&, std::int64_t)>& progress) {
    AccessData data;
    data.format = checkAccessHeader(path);
    AccessFile file(path);
    data.customers = readTable(file, path, "t_musteri", customerColumns(), data.problems, progress);
    data.services = readTable(file, path, "t_servis", serviceColumns(), data.problems, progress);
    return data;
}

} // namespace admin
