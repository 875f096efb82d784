// The Turkish sentences put in front of the engines' common English messages.
#pragma once

#include <QString>

namespace cursor {

// A common failure whose English engine text a Turkish user would otherwise read bare.
enum class EngineProblem {
    FileBusy,              // the file is locked by another program or workstation
    FileReadOnly,          // the file or its folder cannot be written
    FileDiskFull,          // no room left on the disk
    ServerBusy,            // a lock held elsewhere, a deadlock, or the statement timed out
    ServerReadOnly,        // the server takes no writes
    ServerDiskFull,        // the server's disk is full
    ServerUnreachable,     // no connection could be made
    ServerPasswordRefused, // the server refused the password, or needed one and got none
    ConnectionLost,        // an open connection went away
    SaveNotStored,         // lost while saving; the server says the change was not stored
    SaveUnknown,           // lost while saving; whether it was stored could not be learnt
};

// "<what happened. what to do.> Ayrıntı: <engine text>": the sentence says it in Turkish, the
// engine's own text follows it unchanged.
QString explainedMessage(EngineProblem problem, const QString& engineText);

} // namespace cursor
