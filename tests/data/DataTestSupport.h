// Test support for the data layer: a temporary database, an event log and a recording link.
#pragma once

#include "data/Connection.h"
#include "data/DataSet.h"
#include "data/DataSource.h"
#include "data/Query.h"
#include "tests/support/TestDatabase.h"

#include <QStringList>
#include <QTemporaryDir>
#include <memory>

namespace datatest {

using TestDatabase = testsupport::TestDatabase;

// Collects every event of record sets and every reaction of recording links, in order.
class EventLog {
public:
    // Attaches a recorder to each of the set's eighteen events ("BeforeOpen", "AfterScroll"...).
    // OnCalcFields is logged only when logCalc is set; its own handler, if any, runs after.
    void attach(data::TDataSet& set, bool logCalc = true);
    QStringList take(); // returns the entries and clears them
    void add(const QString& entry) { entries_ << entry; }

private:
    QStringList entries_;
};

// A link that logs each reaction: "link active", "link editing", "link record",
// "link field f_adi", "link changed", "link scrolled 1", "link layout", "link update",
// "link check", "link focus f_adi", "link inactive", "link browsing".
class RecordingLink : public data::TDataLink {
public:
    explicit RecordingLink(EventLog& log, const QString& name = "link") : log_(log), name_(name) {}
    ~RecordingLink() override { setDataSource(nullptr); }

protected:
    void activeChanged() override;
    void editingChanged() override;
    void recordChanged(data::TField* field) override;
    void dataSetChanged() override;
    void dataSetScrolled(int distance) override;
    void layoutChanged() override;
    void updateData() override;
    void checkBrowseMode() override;
    void focusControl(data::TField* field) override;

private:
    EventLog& log_;
    QString name_;
};

// A record set over the test database with the program's customer or visit fields.
std::unique_ptr<data::TQuery> customerQuery(data::TConnection& connection);
std::unique_ptr<data::TQuery> serviceQuery(data::TConnection& connection, qint64 customer = -1);
// The program's calculated-fields handler of the visit set.
void serviceCalcFields(data::TDataSet& ds);

// The names of the customers in the set's window, in window order.
QStringList windowNames(data::TDataSet& set);

} // namespace datatest
