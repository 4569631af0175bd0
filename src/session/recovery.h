#pragma once
// Getting a text back after Talery ended abnormally (killed, power lost).
//
// While a session runs, a journal entry in the backup folder names the
// session's backup copy, the document it is bound to and its title. The
// entry belongs to the program that made it: that program holds a lock on
// the entry's own file for as long as it lives, and the system drops the
// lock when the process ends, however it ends. An entry nobody holds is an
// interrupted session. A later start claims it (takes the lock itself)
// before asking about it, so no two programs are ever offered one entry.
//
// Entries are named at random, not by process id: ids are reused after a
// reboot, and in a container every start may get the same one.

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
    // For an enciphered copy: an Argon2id string of the key text, which tells
    // a wrong password where the cipher itself cannot. Empty in entries of
    // plain copies, and in those written before the check was kept.
    std::string passwordCheck;
    friend bool operator==(const JournalEntry&, const JournalEntry&) = default;
};

// The entry's bytes on disk and back; nullopt for bytes that are no entry.
std::string formatJournalEntry(const JournalEntry& entry);
std::optional<JournalEntry> parseJournalEntry(std::string_view bytes);

// The password check kept with an enciphered copy: slow and salted, so that
// the entry makes guessing no easier than the document does.
std::string makePasswordCheck(const Text& keyText);
bool passwordCheckMatches(const std::string& check, const Text& keyText);

// This program's entry: written when a session starts, rewritten when what
// it names changes, removed when the session ends and when the program
// exits normally. A program removes only the entry it made.
class SessionJournal {
public:
    explicit SessionJournal(Path programDirectory);
    ~SessionJournal();
    SessionJournal(const SessionJournal&) = delete;
    SessionJournal& operator=(const SessionJournal&) = delete;

    // False, with the reason in `error`, when the entry could not be made
    // (or not made durable).
    bool begin(const JournalEntry& entry, FileError* error = nullptr);
    void end();
    const Path& entryPath() const { return entry_; }

private:
    Path folder_, entry_;
    FileDescriptor lockFd_;  // the entry's file, locked
};

// A session some earlier run left behind, claimed by this program until the
// object goes (then it is offered again at a later start) or is forgotten.
class InterruptedSession {
public:
    InterruptedSession(JournalEntry entry, Path entryPath, int claimFd);

    JournalEntry entry;
    Path entryPath;
    // The copy holds a text that is not the document's (or there is no
    // document): there is something to get back.
    bool worthRestoring = false;

    // Removes the entry, still holding it; the backup copy it names stays.
    void forget();

private:
    FileDescriptor claimFd_;
};

// Entries in the backup folder whose program is gone and that no other
// program has claimed, whose copy holds a text to get back; oldest first,
// each claimed for the caller, a bounded number per call. An entry is read
// only in a backup folder of the writer's own, and the copy it names counts
// only if it is a file of the writer's right in that folder. Entries with
// nothing to get back are removed on the way (with a copy never written).
std::vector<InterruptedSession> findInterruptedSessions(const Path& programDirectory);

// How long a backup copy no session needs any more is kept: counted from
// when the writer declined it or left it (keepFromNow), or from the first
// start of this version for copies older than that.
inline constexpr int kBackupDaysKept = 30;
// Starts a copy's days now.
void keepFromNow(const Path& copy);
struct PruneResult {
    int removed = 0;
    // At the first start that prunes: copies an earlier version left, kept
    // from now on. The writer is told where they are.
    int earlierCopies = 0;
};
// Removes backup copies whose days are over and that no journal entry names.
// `offered`: copies the writer was just asked about, not counted as earlier ones.
PruneResult pruneOldBackups(const Path& programDirectory, const std::vector<Path>& offered = {});

// A backup copy that no session needs any more (declined, given up), as the
// history lists it.
struct KeptBackupCopy {
    Path path;
    std::string titleUtf8;    // from its name
    long long written = 0;    // last written, seconds since the epoch
    long long keptUntil = 0;  // when pruning may delete it
    bool enciphered = false;  // a ".tlr" under its document's password
    std::uint64_t bytes = 0;
};
// The copies in the backup folder that no journal entry names, newest first.
std::vector<KeptBackupCopy> keptBackupCopies(const Path& programDirectory);

}  // namespace talery
