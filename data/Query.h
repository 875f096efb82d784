// TQuery: a record set over the cursor engine, with its connection, cursor type and lock type.
#pragma once

#include "data/DataSet.h"
#include "engine/CursorRecordset.h"

namespace data {

class TConnection;

// qryMain (static cursor) and qryServis (keyset cursor): client-side, optimistic.
class TQuery : public TDataSet {
public:
    TQuery(const QString& name, TConnection* connection = nullptr);
    ~TQuery() override;

    TConnection* connection() const { return connection_; }
    void setConnection(TConnection* connection) { connection_ = connection; }
    cursor::CursorType cursorType() const { return cursorType_; }
    void setCursorType(cursor::CursorType type) { cursorType_ = type; }
    cursor::LockType lockType() const { return lockType_; }
    void setLockType(cursor::LockType type) { lockType_ = type; }

    bool canModify() const override;

protected:
    // Opens the connection when it is closed, then runs the SQL text on the cursor engine.
    std::unique_ptr<DataCursor> openCursor() override;

private:
    TConnection* connection_ = nullptr;
    cursor::CursorType cursorType_ = cursor::CursorType::Keyset;
    cursor::LockType lockType_ = cursor::LockType::Optimistic;
};

} // namespace data
