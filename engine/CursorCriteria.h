// Parsing of filter and find criteria ("(f_adi like 'Al*') AND (id=5)") and of sort texts.
#pragma once

#include <QString>
#include <vector>

namespace cursor {

// BeginsWith: text that starts with the value, every character of it taken literally (no
// criterion text writes it; a caller builds it, as locate does for a typed name).
enum class CompareOp { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual, Like, BeginsWith };

// One comparison, as a text criterion was written or as a caller builds it; the value is
// interpreted once the column's type is known (a Quoted value as text, never unquoted again).
struct Criterion {
    enum class ValueKind {
        Null,   // the bare word Null
        Quoted, // '...' with '' standing for one quote
        Hashed, // #...#, taken as written
        Bare    // anything else up to a blank or ")": a number
    };
    QString field;
    CompareOp op = CompareOp::Equal;
    ValueKind kind = ValueKind::Null;
    QString value;
};

// Criteria joined by AND (the keyword in any case), each optionally in parentheses. The field is
// a name or a [bracketed name]. Throws EOleException with a text saying what is wrong.
std::vector<Criterion> parseCriteria(const QString& text);

struct SortColumn {
    QString field;
    bool descending = false;
};

// "f_adi", "f_adi DESC, [a name] ASC". Throws EOleException on an empty part.
std::vector<SortColumn> parseSort(const QString& text);

} // namespace cursor
