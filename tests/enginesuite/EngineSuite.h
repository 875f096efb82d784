// The cursor engine's shared test suite: the database it runs on, its fixtures, and the macro that
// runs every case on one engine.
#pragma once

#include "engine/ChangeFeed.h"
#include "engine/CursorConnection.h"
#include "engine/CursorRecordset.h"

#include <QString>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <tuple>
#include <vector>

namespace enginesuite {

// A fresh, empty Korvela database on one engine, with a connection of its own for setting up rows
// and reading them behind the engine's back (another workstation, or another program). What the
// engines spell differently in SQL, or report in their own words, each store supplies.
class TestStore {
public:
    virtual ~TestStore() = default;

    // Opens the engine on this database (the first workstation, or a second one).
    virtual void open(cursor::Connection& connection) = 0;
    // One statement on the store's own connection.
    virtual void exec(const QString& sql) = 0;
    // The first column of the first row as text: "<null>" for null, "<none>" without a row.
    virtual QString scalar(const QString& sql) = 0;

    // How the database holds a column's value in the row the condition selects, and how it holds
    // values of a kind of column ("text" for an amount in the file; "numeric" on a server).
    virtual QString storageOf(const QString& table, const QString& column,
                              const QString& where) = 0;
    virtual QString storageFor(cursor::ColumnType type) const = 0;

    // From now on, storing `name` as a customer's f_adi fails with `message` (a trigger).
    virtual void refuseCustomerName(const QString& name, const QString& message) = 0;
    // How many references from t_servis to t_musteri delete the visits with their customer.
    virtual QString cascadingVisitReferences() = 0;
    // The engine's text for a statement that names a table the database lacks.
    virtual QString missingTableText(const QString& table) const = 0;

    // Statements run by the engine's own command-line client (sqlite3, psql) in a process of its
    // own, which knows nothing of the program; fails the test when they fail.
    virtual void execByClient(const QString& sql) = 0;
    // Takes the change log and its triggers away (a database of an earlier build), and adds them
    // again as korvela-admin upgrade does.
    virtual void dropChangeLog() = 0;
    virtual void installChangeLog() = 0;
    // Whether a watched feed is ready to be woken: at once on a file; on a server once its
    // connection listens.
    virtual bool feedIsListening(cursor::ChangeFeed& feed) = 0;

    // Adds a customer (a null phone stores NULL) and returns its generated id.
    qint64 addCustomer(const QString& name, const QString& phone = QString());
    // An SQL string literal ('' doubled), NULL for a null string.
    static QString quote(const QString& s);
};

// A cell as text: numbers in decimal, amounts and date-times in their stored form, "<null>".
QString text(const cursor::Value& v);
// The values of one column over the whole view, in view order (the position is restored).
QStringList columnValues(cursor::Recordset& rs, const QString& name);
// The text of the engine error the action raises, "<no error>" when it raises none.
QString messageOf(const std::function<void()>& action);

// One engine the suite runs on: its name and how to make an empty database on it.
struct EngineKind {
    const char* name;
    std::unique_ptr<TestStore> (*make)();
};
void PrintTo(const EngineKind& kind, std::ostream* os);

// The store and the engine's connection to it; the connection closes first.
class EngineFixture {
protected:
    void openOn(const EngineKind& kind);
    std::unique_ptr<cursor::Recordset> open(const QString& sql,
                                            cursor::LockType lock = cursor::LockType::Optimistic);
    int col(cursor::Recordset& rs, const char* name) { return rs.findColumn(name); }
    // Fills t_musteri with the names the view cases sort, filter and find, and opens it.
    std::unique_ptr<cursor::Recordset> openViewNames();
    // The names in view order.
    static QStringList namesOf(cursor::Recordset& rs);

    std::unique_ptr<TestStore> db;
    cursor::Connection connection;
};

class Engine : public EngineFixture, public testing::TestWithParam<EngineKind> {
protected:
    void SetUp() override { openOn(GetParam()); }
};

class View : public Engine {
protected:
    void SetUp() override {
        Engine::SetUp();
        rs = openViewNames();
    }
    QStringList names() { return namesOf(*rs); }
    std::unique_ptr<cursor::Recordset> rs;
};

struct FilterCase {
    const char* criteria;
    const char* expected; // names in read order, joined by "|"
};
void PrintTo(const FilterCase& c, std::ostream* os);
std::vector<FilterCase> filterCases();

class Filter : public EngineFixture,
               public testing::TestWithParam<std::tuple<EngineKind, FilterCase>> {
protected:
    void SetUp() override {
        openOn(std::get<0>(GetParam()));
        rs = openViewNames();
    }
    QStringList names() { return namesOf(*rs); }
    std::unique_ptr<cursor::Recordset> rs;
};

// A view's sort and filter, under which rows another workstation changed are read again.
struct RefreshCase {
    const char* sort;
    const char* filter;
};
void PrintTo(const RefreshCase& c, std::ostream* os);
std::vector<RefreshCase> refreshCases();

class Refresh : public EngineFixture,
                public testing::TestWithParam<std::tuple<EngineKind, RefreshCase>> {
protected:
    void SetUp() override {
        openOn(std::get<0>(GetParam()));
        rs = openViewNames();
    }
    std::unique_ptr<cursor::Recordset> rs;
};

// Raw amounts (ten-thousandths) that must survive a write and a read bit for bit.
std::vector<qint64> roundTripAmounts();

class CurrencyRoundTrip : public EngineFixture,
                          public testing::TestWithParam<std::tuple<EngineKind, qint64>> {};

} // namespace enginesuite

// Runs every case of the suite on one engine; the test names start with `prefix`. Written inside
// namespace enginesuite, in the test program of that engine.
#define KORVELA_ENGINE_SUITE(prefix, kind)                                                         \
    INSTANTIATE_TEST_SUITE_P(prefix, Engine, testing::Values(kind));                               \
    INSTANTIATE_TEST_SUITE_P(prefix, View, testing::Values(kind));                                 \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        prefix, Filter,                                                                            \
        testing::Combine(testing::Values(kind), testing::ValuesIn(enginesuite::filterCases())));   \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        prefix, Refresh,                                                                           \
        testing::Combine(testing::Values(kind), testing::ValuesIn(enginesuite::refreshCases())));  \
    INSTANTIATE_TEST_SUITE_P(prefix, CurrencyRoundTrip,                                            \
                             testing::Combine(testing::Values(kind),                               \
                                              testing::ValuesIn(enginesuite::roundTripAmounts())))
