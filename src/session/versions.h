#pragma once
// Earlier versions of documents. Before a document is replaced, its bytes
// as they are on disk (still enciphered for an encrypted document) are
// copied into the versions folder of the program directory. No check can
// tell a mistyped password on a short encrypted document from the right
// one, so this copy is what makes such a save recoverable.
//
// How long a version lives: every version of the last day stays, then the
// newest of each day for 30 days, then the newest of each week, within a
// space limit per document and one for the whole folder. The newest
// version of a document is never dropped.

#include "core/clock.h"
#include "core/files.h"
#include "core/settings.h"

#include <optional>
#include <vector>

namespace talery {

// Versions are numbered up to this; numbers stay short enough that every
// name fits the file system's limit. Past it they are numbered anew.
inline constexpr unsigned long long kMaxVersionSequence = 9'999'999'999ULL;
inline constexpr int kVersionDaysDaily = 30;

// Space the versions may take, in bytes; 0 is no limit.
struct VersionLimits {
    std::uint64_t perDocument = std::uint64_t(200) << 20;
    std::uint64_t total = std::uint64_t(2) << 30;
    friend bool operator==(const VersionLimits&, const VersionLimits&) = default;
};

// The limits as `setting.ini` keeps them ([软件设置], in megabytes, 0 no
// limit); missing or unreadable values give the defaults.
Text versionLimitKeyPerDocument();
Text versionLimitKeyTotal();
VersionLimits readVersionLimits(const IniFile& file);
void writeVersionLimits(const IniFile& file, const VersionLimits& limits);

// "versions" inside the program directory.
Path versionsFolderIn(const Path& programDirectory);

// The name the `sequence`th version of `document`, made at local time `when`,
// gets: "<stem>.<id>.<YYYYMMDD-HHMMSS>-v<sequence>.<ext>", where <id> tells
// apart documents of the same name in different folders. Versions are
// ordered by their sequence, never by the time in their names. The
// document's own extension stays last, so a version opens like the document
// itself. Never longer than a file name may be.
std::string versionName(const Path& document, const LocalDateTime& when, unsigned long long sequence);

struct VersionFile {
    Path path;
    unsigned long long sequence = 0;  // 0: made before versions were numbered
    LocalDateTime replaced;           // when the document was replaced, as its name says
    std::uint64_t bytes = 0;
};

// Copies the document's current bytes into the folder (created when
// missing; the folder and the copies are the owner's alone), then lets the
// retention rule and the limits prune, never the new copy. Returns the
// copy's path.
std::optional<Path> keepVersion(const Path& versionsFolder, const Path& document, const LocalDateTime& when,
                                FileError* error = nullptr, const VersionLimits& limits = {},
                                const Progress& progress = {});

// The versions of a document, newest first.
std::vector<VersionFile> listVersions(const Path& versionsFolder, const Path& document);
std::vector<Path> versionsOf(const Path& versionsFolder, const Path& document);

// Which of a document's versions (newest first) the rule keeps at `now`.
std::vector<bool> versionsKept(const std::vector<VersionFile>& newestFirst, const LocalDateTime& now,
                               std::uint64_t perDocumentLimit);

// Applies the rule to every document in the folder, then drops the oldest
// versions (never a document's newest) until the folder is within the
// total limit. Returns how many went.
int pruneVersions(const Path& versionsFolder, const LocalDateTime& now, const VersionLimits& limits);

// Every document that has versions in the folder.
struct VersionedDocument {
    std::string name;   // the document's file name as the versions keep it
    Path document;      // where it was saved; empty when not recorded
    std::vector<VersionFile> versions;  // newest first
};
std::vector<VersionedDocument> versionedDocuments(const Path& versionsFolder);

}  // namespace talery
