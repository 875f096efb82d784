// The shop's own heading for the papers, from the [Shop] section of the settings file.
#pragma once

#include <QString>

namespace data {

// What the papers print at their top. Every value may be empty.
struct TShopHeading {
    QString name, address, phone, taxOffice, taxNumber;
    bool isEmpty() const {
        return name.isEmpty() && address.isEmpty() && phone.isEmpty() && taxOffice.isEmpty() &&
               taxNumber.isEmpty();
    }
};

// The [Shop] section of the settings file (Korvela.ini) in a directory ending in a separator:
//     [Shop]
//     Name=Korvela Oto Servis
//     Address="Moda Cad. No: 14, Kadıköy / İstanbul"
//     Phone=0216 345 12 34
//     TaxOffice=Kadıköy
//     TaxNumber=1234567890
// Empty without a settings file or without the section. A value holding a comma is best quoted;
// unquoted, its parts are joined again with ", ". A settings file that cannot be read or parsed
// raises EOleException saying so.
TShopHeading shopHeading(const QString& applicationDirectory);

} // namespace data
