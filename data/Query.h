// TQuery: a record set over the cursor engine, with its connection and lock type.
#pragma once

#include "data/DataSet.h"
#include "engine/CursorRecordset.h"

namespace data {

class TConnection;

// qryMain and qryServis: a record set over the cursor engine, client-side and optimistic.
class TQuery : public TDataSet {
public:
    TQuery(const QString& name, TConnection* connection = nullptr);
    ~TQuery() override;

    TConnection* connection() const { return connection_; }
    void setConnection(TConnection* connection) { connection_ = connection; }
    cursor::LockType lockType() const { return lockType_; }
    void setLockType(cursor::LockType type) { lockType_ = type; }

    bool canModify() const override;

protected:
    // Opens the connection when it is closed, then runs the SQL text on the cursor engine.
    void openRecordset(cursor::Recordset& recordset) override;

private:
    TConnection* connection_ = nullptr;
    cursor::LockType lockType_ = cursor::LockType::Optimistic;
};

} // namespace data
