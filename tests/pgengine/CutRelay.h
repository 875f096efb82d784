// A TCP relay in front of the throwaway server that cuts a connection exactly at COMMIT.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

namespace servertest {

// Listens on a port of 127.0.0.1 and forwards every connection to the throwaway server (the
// PG* variables), reading the client's protocol messages as they pass. Armed, it cuts the first
// connection that sends COMMIT (or, for Cut::Fatal, the first statement whose text starts with
// the given one) in the chosen way; every other connection, and all that come later, pass
// untouched unless refuseAfterCut is set. A thread of its own; the destructor ends it and closes
// everything.
class CutRelay {
public:
    enum class Cut {
        // The COMMIT never reaches the server; both sides are closed, so the server's session
        // sees its client go and rolls back.
        BeforeCommit,
        // The COMMIT reaches the server, which commits; its answer is dropped and both sides
        // closed.
        AfterCommit,
        // The COMMIT never reaches the server; the client's side is closed but the server's is
        // held open, as when a network goes away without a word: the server's session stays in
        // its transaction.
        Hold,
        // The statement never reaches the server; the client is answered with a FATAL error
        // (the server ending the session) followed by ready-for-query, so libpq still counts the
        // connection good; the server's side is closed.
        Fatal,
    };

    CutRelay();
    ~CutRelay();
    CutRelay(const CutRelay&) = delete;
    CutRelay& operator=(const CutRelay&) = delete;

    // The libpq connection string that goes through the relay (no SSL, so it sees the messages).
    QString connectionString() const;
    // Arms the next cut; statement is the text Cut::Fatal waits for. With refuseAfterCut, every
    // connection made after the cut is closed at once (the server cannot be reached).
    void arm(Cut cut, const QByteArray& statement = "COMMIT", bool refuseAfterCut = false);
    // Whether the armed cut has happened.
    bool hasCut() const;
    // Lets connections through again after refuseAfterCut.
    void allowConnections();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace servertest
