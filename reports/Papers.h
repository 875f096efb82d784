// The three papers of the front desk, built from the database: a customer's statement, one
// visit's service form, and the list of customers who owe.
#pragma once

#include "reports/Paper.h"

#include <QString>

namespace data {
class TConnection;
}

namespace reports {

// The heading every paper starts with: the shop's own from the settings file in the directory
// (data::shopHeading), or without one the program's title and logo. Raises what shopHeading
// raises.
TPaperHeading paperHeading(const QString& applicationDirectory);

// "Hesap Ekstresi": the customer with the vehicle, every visit in date order (date, KM, work
// done, amount, paid, the balance so far) and the totals line's three sums. Raises EDatabaseError
// when there is no customer with that id, and whatever the connection raises.
TPaper statementPaper(data::TConnection& connection, qint64 customerId,
                      const TPaperHeading& heading);

// "Servis Formu": one visit with its customer and vehicle, every text and amount of the visit,
// the note and two lines to sign. Raises EDatabaseError when there is no visit with that id.
TPaper serviceFormPaper(data::TConnection& connection, qint64 visitId,
                        const TPaperHeading& heading);

// "Borçlu Müşteriler": every customer whose balance is above zero, the largest first, then those
// whose sums cannot be formed; with plate, name, both numbers, total, paid and balance, and the
// sums of the list.
TPaper debtorsPaper(data::TConnection& connection, const TPaperHeading& heading);

// The papers' titles.
inline constexpr const char* kStatementTitle = "Hesap Ekstresi";
inline constexpr const char* kServiceFormTitle = "Servis Formu";
inline constexpr const char* kDebtorsTitle = "Borçlu Müşteriler";

} // namespace reports
