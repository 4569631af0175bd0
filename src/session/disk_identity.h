#pragma once
// What a session knows of the file it is bound to, as it was when the
// session last loaded or wrote it: where it lives, whose it is, whether the
// path was a link, and a digest of its bytes. Before any write to the
// document the file on disk is compared with it, so that a text another
// program put there is never overwritten unseen, and a save never writes
// through a link or a file that took the document's place.

#include "core/files.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <sodium.h>
#include <sys/types.h>

namespace talery {

// A digest of a file's bytes. BLAKE2b: a save reads a long document whole
// for it, and it is several times as fast as MD5.
using FileDigest = std::array<std::uint8_t, 16>;
class FileDigester {
public:
    FileDigester();
    void update(std::string_view bytes);
    FileDigest digest();

private:
    crypto_generichash_state state_;
};
FileDigest fileDigestOf(std::string_view bytes);
// The digest of a regular file's bytes, read in blocks (`between` runs after
// each); nothing when it cannot be read to its end.
std::optional<FileDigest> digestOfFile(const Path& path, const std::function<void()>& between = {});

struct DiskIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    uid_t owner = 0;
    mode_t mode = 0;           // permission bits
    nlink_t links = 1;
    bool link = false;         // the path itself was a symbolic link
    std::string linkTarget;    // what the link said
    uid_t linkOwner = 0;
    std::uint64_t size = 0;
    timespec modified{};
    FileDigest digest{};       // of every byte of the file
};

// The regular file `path` names now (following a link), without its digest;
// nothing when there is none.
std::optional<DiskIdentity> lookAt(const Path& path);
// The same with the digest of its bytes, read in blocks (`between` runs after each).
std::optional<DiskIdentity> identify(const Path& path, const std::function<void()>& between = {});

enum class DiskChange {
    None,      // the file is the one the session knows, byte for byte
    Changed,   // another program wrote it (in place or by a new file under the name)
    Gone,      // deleted or moved away
    Replaced,  // now a link, another owner's file or no regular file: never written through
};

struct DiskCheck {
    DiskChange change = DiskChange::None;
    std::time_t modified = 0;    // when the file on disk was last written
    std::string reasonUtf8;      // Replaced: what stands there now
    std::optional<DiskIdentity> now;  // None: the file as it is (a new inode with the same bytes)
};

// Compares the file at `path` with `known` (nothing: the session saw no file
// there). Its bytes are read only when its size leaves the question open:
// times lie (clocks, copies that keep them, two writes in one tick).
DiskCheck checkOnDisk(const Path& path, const std::optional<DiskIdentity>& known,
                      const std::function<void()>& between = {});

// A quick look without reading, for the watcher's note: whether the file no
// longer looks like `known`.
bool looksChanged(const Path& path, const DiskIdentity& known);

// A document named by a journal entry is taken as the session's own only
// when it is the writer's: a regular file of theirs with one name, reached
// through no link of another user. Otherwise the reason, for the question.
std::optional<std::string> distrustReason(const DiskIdentity& found);

}  // namespace talery
