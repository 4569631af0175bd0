#pragma once
// Getting a text back after Talery ended abnormally (killed, power lost).
//
// While a session runs, a journal entry in the backup folder names the
// session's backup copy, the document it is bound to and its title. The
// entry belongs to one running program: that program holds a lock on a file
// beside it for as long as it lives, and the system drops the lock when the
// process ends, however it ends. An entry nobody holds is an interrupted
// session; its backup copy is offered at the next start.

#include "core/files.h"
#include "core/text.h"

#include <optional>
#include <vector>

namespace talery {

struct JournalEntry {
    Text title;           // the session's title, GBK
    Path backup;          // its backup copy
    Path document;        // the document it is bound to; empty for a new text
    bool encrypted = false;  // the backup copy is enciphered with the session's key
    friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

// The entry's bytes on disk and back; nullopt for bytes that are no entry.
std::string formatJournalEntry(const JournalEntry& entry);
std::optional<JournalEntry> parseJournalEntry(std::string_view bytes);

// This program's entry: written when a session starts, removed when it ends
// and when the program exits normally.
class SessionJournal {
public:
    explicit SessionJournal(Path programDirectory);
    ~SessionJournal();
    SessionJournal(const SessionJournal&) = delete;
    SessionJournal& operator=(const SessionJournal&) = delete;

    bool begin(const JournalEntry& entry);
    void end();
    const Path& entryPath() const { return entry_; }

private:
    bool holdLock();

    Path folder_, entry_, lock_;
    int lockFd_ = -1;
};

// A session some earlier run left behind, with its journal entry's path.
struct InterruptedSession {
    JournalEntry entry;
    Path entryPath;
    // The backup copy was written during that session and is newer than the
    // document (or there is no document): there is something to get back.
    bool worthRestoring = false;
};

// Entries in the backup folder whose program is gone, oldest first.
std::vector<InterruptedSession> findInterruptedSessions(const Path& programDirectory);
// Forgets an entry; the backup copy it names stays where it is.
void forgetInterruptedSession(const InterruptedSession& session);

}  // namespace talery
