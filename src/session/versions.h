#pragma once
// Earlier versions of documents. Before a document is replaced, its bytes
// as they are on disk (still enciphered for an encrypted document) are
// copied into the versions folder of the program directory, a few per
// document. No check can tell a mistyped password on a short encrypted
// document from the right one, so this copy is what makes such a save
// recoverable.

#include "core/clock.h"
#include "core/files.h"

#include <optional>
#include <vector>

namespace talery {

inline constexpr std::size_t kVersionsKept = 5;

// "versions" inside the program directory.
Path versionsFolderIn(const Path& programDirectory);

// The name the `sequence`th version of `document`, made at local time `when`,
// gets: "<stem>.<id>.<YYYYMMDD-HHMMSS>-v<sequence>.<ext>", where <id> tells
// apart documents of the same name in different folders. Versions are
// ordered by their sequence, never by the time in their names. The
// document's own extension stays last, so a version opens like the document
// itself. Never longer than a file name may be.
std::string versionName(const Path& document, const LocalDateTime& when, unsigned long long sequence);

// Copies the document's current bytes into the folder (created when
// missing; the folder and the copies are the owner's alone) and prunes that
// document's oldest versions beyond kVersionsKept, never the new copy.
// Returns the copy's path.
std::optional<Path> keepVersion(const Path& versionsFolder, const Path& document, const LocalDateTime& when,
                                FileError* error = nullptr);

// The versions of a document, newest first.
std::vector<Path> versionsOf(const Path& versionsFolder, const Path& document);

}  // namespace talery
