// The customer search's second and third tries: a vehicle plate, then a phone or cell number.
#pragma once

#include <QString>
#include <optional>
#include <string>

namespace data {

class TDataSet;

// A plate as the search compares it: without blanks, folded to lower case the Turkish way (as the
// name search folds), "34 ABC 123" and "34abc123" alike.
std::u16string plateKey(const QString& plate);
// A phone number as the search compares it: its digits only, without the leading zeros of the
// trunk prefix and without the country code 90 in front of a ten-digit number ("+90 532 412 55
// 10", "0532 412 55 10" and "532-412-55-10" all give "5324125510"). Empty when the text holds a
// letter or no digit other than leading zeros.
std::string phoneKey(const QString& number);

// The key (id) of the customer a typed plate or phone number finds in an open customer set, read
// through a copy of its cursor (the current record and the events stay as they are):
// - the customers whose plate key begins with the typed text's plate key; else
// - the customers whose phone (f_tel) or cell number (f_gsm) key begins with the typed text's
//   phone key;
// of those the one whose key comes first in ascending order (the first in the set's order among
// equal keys). nullopt when none matches or the set is closed.
std::optional<qint64> findCustomerByPlateOrPhone(const TDataSet& customers, const QString& text);

} // namespace data
