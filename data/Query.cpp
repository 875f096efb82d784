// TQuery: a record set whose statement runs on the cursor engine of its connection.
#include "data/Query.h"

#include "core/Errors.h"
#include "data/Connection.h"

namespace data {

TQuery::TQuery(const QString& name, TConnection* connection)
    : TDataSet(name), connection_(connection) {}

TQuery::~TQuery() = default;

bool TQuery::canModify() const {
    return lockType_ != cursor::LockType::ReadOnly && TDataSet::canModify();
}

void TQuery::openRecordset(cursor::Recordset& recordset) {
    if (!connection_)
        raiseError(QStringLiteral("Missing Connection or ConnectionString"));
    if (!connection_->connected())
        connection_->open();
    recordset.open(connection_->engine(), commandText(), lockType_);
    if (!recordset.returnsRows())
        raiseError(QStringLiteral("CommandText does not return a result set"));
}

} // namespace data
