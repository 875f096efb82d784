// The two record sets' field declarations (labels, widths, visibility) and the schema SQL.
#pragma once

#include <QString>

namespace data {

class TDataSet;

// Declares the customer fields on qryMain in field-list order.
void declareCustomerFields(TDataSet& qryMain);
// Declares the visit fields on qryServis, c_toplam and c_kalan as calculated money.
void declareServiceFields(TDataSet& qryServis);

// CREATE statements of an empty database (used by the admin tool and tests).
QString schemaSql();

} // namespace data
