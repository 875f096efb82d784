// Damaged database files for the tests: pages and cells changed byte by byte, as a failing disk,
// a torn copy or a stray program leave them.
#include "tests/support/DamagedFile.h"

#include <QFile>
#include <QStringList>
#include <algorithm>
#include <stdexcept>

namespace testsupport {

namespace {

[[noreturn]] void fail(const QString& what) {
    throw std::runtime_error(what.toStdString());
}

int pageSizeOf(const QByteArray& file) {
    const int size = (uchar(file[16]) << 8) | uchar(file[17]);
    return size == 1 ? 65536 : size;
}

quint32 big32(const QByteArray& b, qsizetype at) {
    return (quint32(uchar(b[at])) << 24) | (quint32(uchar(b[at + 1])) << 16) |
           (quint32(uchar(b[at + 2])) << 8) | quint32(uchar(b[at + 3]));
}

void putBig32(QByteArray& b, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((value >> (24 - 8 * i)) & 0xFF);
}

int big16(const QByteArray& b, qsizetype at) {
    return (uchar(b[at]) << 8) | uchar(b[at + 1]);
}

// A varint of the file format at b[at]; at moves past it.
quint64 varint(const QByteArray& b, qsizetype& at) {
    quint64 value = 0;
    for (int i = 0; i < 9; ++i) {
        const uchar byte = uchar(b[at++]);
        if (i == 8)
            return (value << 8) | byte;
        value = (value << 7) | (byte & 0x7F);
        if (!(byte & 0x80))
            break;
    }
    return value;
}

// The cell pointers of a b-tree leaf page (not page 1) and where they begin in the page.
std::vector<int> cellPointers(const QByteArray& page, int* arrayStart = nullptr) {
    if (page[0] != char(13) && page[0] != char(10))
        fail("not a leaf page");
    const int count = big16(page, 3);
    std::vector<int> pointers;
    for (int i = 0; i < count; ++i)
        pointers.push_back(big16(page, 8 + 2 * i));
    if (arrayStart)
        *arrayStart = 8;
    return pointers;
}

// A leaf page of a table or index, by its place in key order (0 first, -1 last).
qint64 leafPage(TestDatabase& db, const char* name, int place) {
    const QString order = place < 0 ? "desc" : "asc";
    const int offset = place < 0 ? -place - 1 : place;
    const QString page = db.scalar(QString("select pageno from dbstat where name = '%1' and "
                                           "pagetype = 'leaf' order by path %2 limit 1 offset %3")
                                       .arg(name, order)
                                       .arg(offset));
    bool ok = false;
    const qint64 n = page.toLongLong(&ok);
    if (!ok)
        fail(QString("no leaf %1 of %2").arg(place).arg(name));
    return n;
}

// The offset in the page of a cell's record header size, for a table leaf cell at offset cell.
qsizetype recordHeaderAt(const QByteArray& page, int cell) {
    qsizetype at = cell;
    varint(page, at); // payload size
    varint(page, at); // rowid
    return at;
}

void swapLeafPages(TestDatabase& db) {
    const qint64 a = leafPage(db, "t_servis", 1), b = leafPage(db, "t_servis", 3);
    const QByteArray pageA = readPage(db.path(), a), pageB = readPage(db.path(), b);
    overwritePage(db.path(), a, pageB);
    overwritePage(db.path(), b, pageA);
}

void overlapCells(TestDatabase& db) {
    const qint64 leaf = leafPage(db, "t_servis", 2);
    QByteArray page = readPage(db.path(), leaf);
    int array = 0;
    cellPointers(page, &array);
    page[array + 2 * 5] = page[array + 2 * 4];
    page[array + 2 * 5 + 1] = page[array + 2 * 4 + 1];
    overwritePage(db.path(), leaf, page);
}

void dropIndexEntries(TestDatabase& db) {
    // The visits of the last customer are the last entries of the index: saved after a copy of
    // that page was taken, then the copy put back.
    const qint64 leaf = leafPage(db, "ix_servis_musteri", -1);
    const QString indexPages =
        db.scalar("select group_concat(pageno) from dbstat where name = 'ix_servis_musteri'");
    const QByteArray before = readPage(db.path(), leaf);
    for (int v = 0; v < 3; ++v)
        db.addVisit(40, "10.0000", "", "");
    if (db.scalar("select group_concat(pageno) from dbstat where name = 'ix_servis_musteri'") !=
        indexPages)
        fail("the index grew a page");
    overwritePage(db.path(), leaf, before);
}

void flipRecordHeaderBit(TestDatabase& db) {
    // The last customer's visits: the start-up reads the first customer's.
    const qint64 leaf = leafPage(db, "t_servis", -1);
    QByteArray page = readPage(db.path(), leaf);
    const std::vector<int> cells = cellPointers(page);
    const qsizetype header = recordHeaderAt(page, cells.front());
    page[header] = char(page[header] ^ 0x40);
    overwritePage(db.path(), leaf, page);
}

void setIncrementalVacuum(TestDatabase& db) {
    QFile f(db.path());
    if (!f.open(QIODevice::ReadWrite))
        fail("cannot open the file");
    QByteArray header = f.read(100);
    putBig32(header, 52, 5); // largest root page: auto-vacuum with pointer-map pages
    putBig32(header, 64, 1); // incremental vacuum
    f.seek(0);
    f.write(header);
}

void storeCustomerAsText(TestDatabase& db) {
    const qint64 leaf = leafPage(db, "t_servis", 4);
    QByteArray page = readPage(db.path(), leaf);
    const std::vector<int> cells = cellPointers(page);
    qsizetype at = recordHeaderAt(page, cells.at(3));
    const qsizetype end = at + qsizetype(varint(page, at));
    // id_musteri is the eleventh column; a 1-byte integer becomes a 1-byte text of that byte.
    for (int column = 0; column < 10 && at < end; ++column)
        varint(page, at);
    if (page[at] != char(1))
        fail("id_musteri is no 1-byte integer");
    page[at] = char(15);
    overwritePage(db.path(), leaf, page);
}

void runCellOffPage(TestDatabase& db) {
    const qint64 leaf = leafPage(db, "t_servis", 4);
    QByteArray page = readPage(db.path(), leaf);
    const std::vector<int> cells = cellPointers(page);
    const int last = *std::max_element(cells.begin(), cells.end());
    // The payload size of the cell nearest the page's end grows to what its one byte can say,
    // more than the rest of the page holds.
    const qsizetype payloadAt = recordHeaderAt(page, last);
    if (uchar(page[last]) >= 0x80 || payloadAt - last + 0x7F <= page.size() - last)
        fail("the last cell is not as small as expected");
    page[last] = char(0x7F);
    overwritePage(db.path(), leaf, page);
}

void scribblePage(TestDatabase& db) {
    const qint64 leaf = leafPage(db, "t_servis", 3);
    const qsizetype size = readPage(db.path(), leaf).size();
    QByteArray garbage;
    while (garbage.size() < size)
        garbage += "GARBAGE! ";
    overwritePage(db.path(), leaf, garbage.left(size));
}

void claimRootPageTwice(TestDatabase& db) {
    if (db.scalar("PRAGMA freelist_count").toInt() == 0)
        fail("no free pages");
    const quint32 root =
        db.scalar("select rootpage from sqlite_schema where name = 't_musteri'").toUInt();
    QFile f(db.path());
    if (!f.open(QIODevice::ReadWrite))
        fail("cannot open the file");
    QByteArray header = f.read(100);
    putBig32(header, 32, root); // the first freelist trunk page
    f.seek(0);
    f.write(header);
}

} // namespace

const std::vector<DamageKind>& damageKinds() {
    static const std::vector<DamageKind> kinds = {
        {Damage::SwappedLeafPages, "SwappedLeafPages", "out of order"},
        {Damage::OverlappingCells, "OverlappingCells", "Multiple uses for byte"},
        {Damage::RowsMissingFromIndex, "RowsMissingFromIndex",
         "missing from index ix_servis_musteri"},
        {Damage::BitFlipInUnreadPage, "BitFlipInUnreadPage", "malformed"},
        {Damage::IncrementalVacuumFlag, "IncrementalVacuumFlag", "ptrmap"},
        {Damage::WrongValueType, "WrongValueType", "missing from index ix_servis_musteri"},
        {Damage::CellOffItsPage, "CellOffItsPage", "Extends off end of page"},
        {Damage::ScribbledPage, "ScribbledPage", "malformed"},
        {Damage::PageClaimedTwice, "PageClaimedTwice", "2nd reference to page"},
    };
    return kinds;
}

void fillForDamage(TestDatabase& db) {
    db.exec("BEGIN");
    for (int c = 1; c <= 40; ++c) {
        db.addCustomer(QString("Müşteri %1").arg(c, 2, 10, QChar('0')), QString("34 AB %1").arg(c));
        for (int v = 0; v < 12; ++v)
            db.addVisit(c, QString("%1.5000").arg(100 + v), "50.0000", "20.0000");
    }
    // Customer 30's long note, on overflow pages, then taken away: its pages go to the freelist.
    db.exec("update t_musteri set f_not = printf('%.*c', 9000, 'n') where id in (10, 30)");
    db.exec("COMMIT");
    db.exec("update t_musteri set f_not = NULL where id = 30");
}

void damage(TestDatabase& db, Damage kind) {
    switch (kind) {
    case Damage::SwappedLeafPages:
        return swapLeafPages(db);
    case Damage::OverlappingCells:
        return overlapCells(db);
    case Damage::RowsMissingFromIndex:
        return dropIndexEntries(db);
    case Damage::BitFlipInUnreadPage:
        return flipRecordHeaderBit(db);
    case Damage::IncrementalVacuumFlag:
        return setIncrementalVacuum(db);
    case Damage::WrongValueType:
        return storeCustomerAsText(db);
    case Damage::CellOffItsPage:
        return runCellOffPage(db);
    case Damage::ScribbledPage:
        return scribblePage(db);
    case Damage::PageClaimedTwice:
        return claimRootPageTwice(db);
    }
}

QByteArray readPage(const QString& path, qint64 page) {
    const QByteArray file = fileBytes(path);
    const int size = pageSizeOf(file);
    if (page < 1 || page * size > file.size())
        fail(QString("no page %1").arg(page));
    return file.mid((page - 1) * size, size);
}

void overwritePage(const QString& path, qint64 page, const QByteArray& bytes) {
    QFile f(path);
    if (page < 2 || !f.open(QIODevice::ReadWrite))
        fail("cannot write that page");
    QByteArray header = f.read(100);
    const int size = pageSizeOf(header);
    if (bytes.size() != size)
        fail("not a page");
    f.seek((page - 1) * size);
    f.write(bytes);
    // The change counter and the number it was valid for move on together, as a writer does.
    const quint32 counter = big32(header, 24) + 1;
    putBig32(header, 24, counter);
    putBig32(header, 92, counter);
    f.seek(0);
    f.write(header);
}

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

QString integrityReport(const QString& path) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) !=
        SQLITE_OK) {
        const QString error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return error;
    }
    sqlite3_stmt* st = nullptr;
    QStringList rows;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK) {
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW)
            rows << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)));
        if (rc != SQLITE_DONE)
            rows << QString::fromUtf8(sqlite3_errmsg(db));
    } else {
        rows << QString::fromUtf8(sqlite3_errmsg(db));
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows.join('\n');
}

} // namespace testsupport
