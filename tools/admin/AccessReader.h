// Reading the customer and visit tables out of an Access (Jet) file with the mdbtools library.
#pragma once

#include "tools/admin/Sqlite.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

class QDataStream;

namespace admin {

// How a Korvela column is kept in the Access file.
enum class ColumnKind { Text, Memo, DateTime, Currency, Long, Key };

struct ColumnSpec {
    const char* name;
    ColumnKind kind;
};

// The columns the program uses, in table order; the key column is always named "id".
const std::vector<ColumnSpec>& customerColumns();
const std::vector<ColumnSpec>& serviceColumns();

// One value in the Korvela storage form: text and memo as they are, dates as
// "YYYY-MM-DD HH:MM:SS", money as exact decimal text with four places ("-0.0001"), Long and the
// key as integers.
struct Value {
    bool null = true;
    QString text;
    std::int64_t integer = 0;
};

struct Row {
    std::int64_t id = 0;
    std::vector<Value> values; // one per ColumnSpec of the table, the key included
};

// A value that could not be converted; it is imported as NULL.
struct Problem {
    QString table;
    std::int64_t id = 0;
    QString column;
    QString reason;
};

struct TableData {
    QString name;
    std::int64_t rowsRead = 0;
    std::vector<Row> rows;      // sorted by id
    QStringList ignoredColumns; // further columns of the Access table, not imported
};

struct AccessData {
    QString format; // "Access 2000/2002-2003 (Jet 4)" and so on
    TableData customers;
    TableData services;
    std::vector<Problem> problems;
};

QDataStream& operator<<(QDataStream& out, const AccessData& data);
QDataStream& operator>>(QDataStream& in, AccessData& data);

// Checks what can be checked without the library: the file is readable, carries the Jet or ACE
// signature and is a whole number of pages long. Returns the format name; throws Error.
QString checkAccessHeader(const QString& path);

// Reads both tables with mdbtools. Throws Error for a file that is not a Korvela Access
// file. May crash on a damaged file (the library does): call it in a child process.
// progress(table, rowsDone) is called every few thousand rows.
AccessData readAccessFile(const QString& path,
                          const std::function<void(const QString&, std::int64_t)>& progress = {});

// Conversions of the stored Jet values, exposed for the tests.
// A Jet date is a day count since 1899-12-30 whose fraction is the time of day, taken as a
// positive part also for days before 1899-12-30 (-1.25 is 1899-12-29 06:00). Rounded to the
// second; false outside the years 100 to 9999 or for a value that is not a number.
bool jetDateText(double days, QString* text);
// Text of a Jet 4 column: UTF-16LE, or "compressed" (starting FF FE, one byte per character
// with 00 switching between one and two bytes a character).
QString jet4Text(const unsigned char* bytes, std::size_t size);

} // namespace admin
