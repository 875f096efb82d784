// SqliteStatements: the compiled statements of the engine's selects, kept for the next select.
#pragma once

#include "engine/Backend.h"

#include <QByteArray>
#include <cstddef>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace cursor {

// The compiled statements of one connection's selects, kept by their text so that a statement
// run again is not compiled again, each with the description of its result (which SQLite's
// metadata gives anew only when it compiles the statement again after a change of the schema);
// at most kCapacity, the least recently used let go first.
// A statement is out of the cache while a select runs it (see Lease), so a select nested in
// another's reading never shares it; it comes back reset, with its bindings cleared. Only
// statements that read are kept, and a statement that may write lets go of every kept one (it
// may change the schema). The owner clears the cache before its connection closes.
class SqliteStatements {
public:
    static constexpr std::size_t kCapacity = 8;

    SqliteStatements() = default;
    ~SqliteStatements();
    SqliteStatements(const SqliteStatements&) = delete;
    SqliteStatements& operator=(const SqliteStatements&) = delete;

    // Finalizes every kept statement.
    void clear();
    std::size_t size() const { return kept_.size(); }

    class Lease;

private:
    struct Kept {
        QByteArray text;
        sqlite3_stmt* statement;
        std::optional<ResultShape> shape;
        int compiled; // how often SQLite had compiled the statement when shape was read
    };
    std::vector<Kept> kept_; // the most recently used last
};

// One select's statement: taken from the cache, or prepared. The program's statements mostly
// differ only in an integer at their end ("... where id_musteri=42"): such a text is compiled
// with a parameter in the integer's place, bound to it, so one compiled statement serves every
// key; a text where a parameter does not fit is compiled as it is. On destruction the statement
// is reset and goes back to the cache if keep() was called, else it is finalized.
class SqliteStatements::Lease {
public:
    // prepareResult() is SQLite's result of compiling the text (SQLITE_OK for a kept statement);
    // get() is null when the text holds no statement.
    Lease(SqliteStatements& cache, sqlite3* db, const QByteArray& text);
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    sqlite3_stmt* get() const { return statement_; }
    int prepareResult() const { return rc_; }
    // What follows the statement in the text (null for a kept one, which had nothing).
    const char* tail() const { return tail_; }
    // The description of the result read when the statement was last run, while SQLite has not
    // compiled it again since; null otherwise.
    const ResultShape* shape() const { return shape_ ? &*shape_ : nullptr; }
    void setShape(ResultShape shape);
    // Keeps the statement for the next select of the same text (one that may write is not kept,
    // and lets go of every kept statement).
    void keep() { keep_ = true; }

private:
    void prepare(sqlite3* db, const QByteArray& text);

    SqliteStatements& cache_;
    QByteArray key_;
    sqlite3_stmt* statement_ = nullptr;
    const char* tail_ = nullptr;
    std::optional<ResultShape> shape_;
    int compiled_ = 0;
    int rc_ = 0;
    bool keep_ = false;
};

} // namespace cursor
