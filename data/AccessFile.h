// Recognising an Access (Jet) "Korvela.mdb" and the message that points to its conversion.
#pragma once

#include <QString>

namespace data {

// True when the file starts like an Access database (Jet or ACE signature).
bool isAccessFile(const QString& path);

// The error text shown when the database beside the program is still an Access file: it names
// the command that converts the file in its place.
QString accessFileMessage(const QString& path);

} // namespace data
