// SqliteStatements: keeping the compiled statements of the engine's selects.
#include "engine/SqliteStatements.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <sqlite3.h>

namespace cursor {

namespace {

// The text with a parameter in place of the integer that ends it after "=" (blanks and ";" after
// the integer do not count), and that integer; nullopt for any other text.
struct KeyedText {
    QByteArray text;
    qint64 key;
};
std::optional<KeyedText> withKeyParameter(const QByteArray& text) {
    qsizetype end = text.size();
    while (end > 0 && (std::isspace(uchar(text[end - 1])) || text[end - 1] == ';'))
        --end;
    qsizetype start = end;
    while (start > 0 && std::isdigit(uchar(text[start - 1])))
        --start;
    if (start == end)
        return std::nullopt;
    if (start > 0 && text[start - 1] == '-')
        --start;
    if (start == 0 || text[start - 1] != '=')
        return std::nullopt;
    bool ok = false;
    const qint64 key = text.mid(start, end - start).toLongLong(&ok);
    if (!ok) // beyond 64 bits SQLite reads the literal as a real
        return std::nullopt;
    return KeyedText{text.left(start) + '?', key};
}

// How often SQLite compiled the statement again (after a change of the schema).
int compilations(sqlite3_stmt* statement) {
    return sqlite3_stmt_status(statement, SQLITE_STMTSTATUS_REPREPARE, 0);
}

} // namespace

SqliteStatements::~SqliteStatements() {
    clear();
}

void SqliteStatements::clear() {
    for (const Kept& k : kept_)
        sqlite3_finalize(k.statement);
    kept_.clear();
}

SqliteStatements::Lease::Lease(SqliteStatements& cache, sqlite3* db, const QByteArray& text)
    : cache_(cache) {
    const std::optional<KeyedText> keyed = withKeyParameter(text);
    key_ = keyed ? keyed->text : text;
    auto& kept = cache_.kept_;
    const auto found =
        std::find_if(kept.begin(), kept.end(), [this](const Kept& k) { return k.text == key_; });
    if (found != kept.end()) {
        statement_ = found->statement;
        if (found->compiled == compilations(statement_)) {
            shape_ = std::move(found->shape);
            compiled_ = found->compiled;
        }
        kept.erase(found);
    } else {
        prepare(db, keyed ? key_ : text);
        // A parameter that does not fit (the text had parameters of its own, or the integer was
        // not part of an expression): compiled as written, and kept under that text.
        if (keyed &&
            (rc_ != SQLITE_OK || !statement_ || sqlite3_bind_parameter_count(statement_) != 1)) {
            sqlite3_finalize(statement_);
            statement_ = nullptr;
            key_ = text;
            prepare(db, text);
            return;
        }
    }
    if (keyed && statement_)
        sqlite3_bind_int64(statement_, 1, keyed->key);
}

void SqliteStatements::Lease::setShape(ResultShape shape) {
    shape_ = std::move(shape);
    compiled_ = compilations(statement_);
}

void SqliteStatements::Lease::prepare(sqlite3* db, const QByteArray& text) {
    rc_ = sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement_, &tail_);
}

SqliteStatements::Lease::~Lease() {
    if (!statement_)
        return;
    if (!keep_ || !sqlite3_stmt_readonly(statement_)) {
        sqlite3_finalize(statement_);
        if (keep_)
            cache_.clear();
        return;
    }
    // Reset at once: a statement left stepping would hold the file's read lock.
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
    auto& kept = cache_.kept_;
    const auto same =
        std::find_if(kept.begin(), kept.end(), [this](const Kept& k) { return k.text == key_; });
    if (same != kept.end()) { // a nested select of the same text kept its own meanwhile
        sqlite3_finalize(statement_);
        return;
    }
    if (kept.size() >= kCapacity) {
        sqlite3_finalize(kept.front().statement);
        kept.erase(kept.begin());
    }
    kept.push_back({key_, statement_, std::move(shape_), compiled_});
}

} // namespace cursor
