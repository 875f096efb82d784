// A temporary Korvela database for the tests, made from the schema and filled through plain SQL.
#pragma once

#include <QString>
#include <QTemporaryDir>
#include <sqlite3.h>

namespace testsupport {

// Creates "Korvela.mdb" with the program's schema in a temporary directory.
class TestDatabase {
public:
    TestDatabase();
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;
    // The directory, ending in "/".
    QString directory() const { return dir_.path() + '/'; }
    QString path() const { return directory() + "Korvela.mdb"; }
    // Runs SQL on a second connection of its own (the way another workstation would).
    void exec(const QString& sql);
    // An empty plate stores null.
    qint64 addCustomer(const QString& name, const QString& plate = QString());
    // Amounts as storage text ("100.0000") or empty for null.
    qint64 addVisit(qint64 customer, const QString& labour, const QString& material,
                    const QString& paid, const QString& date = "2008-12-25 00:00:00");
    // One value of the first row of a query, as text ("<null>" for null, "<none>" without rows).
    QString scalar(const QString& sql);
    int count(const QString& table);

private:
    QTemporaryDir dir_;
    sqlite3* db_ = nullptr;
};

} // namespace testsupport
