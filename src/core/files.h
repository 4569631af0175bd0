#pragma once
// Whole-file access. Paths are the platform's native bytes (UTF-8 on Linux).

#include "core/text.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace talery {

using Path = std::string;

struct FileError {
    int code = 0;             // errno value, or kReadOnly
    std::string reasonUtf8;   // a short Chinese reason for messages
    bool targetTouched = false;  // the failed write had already changed part of the target
};

constexpr int kReadOnly = -1;        // the file's write bits are all clear
constexpr int kNotRegularFile = -2;  // a folder or a device where a file was expected
constexpr int kTooLarge = -3;

// Long reads and writes report the share done (0..1) now and then.
using Progress = std::function<void(double)>;

// Gives the system `advice` (madvise) on the whole pages within [begin,
// end): an allocation's own bytes around them are never touched. Returns
// where the advised pages end; `begin` when there are none or the advice was
// refused.
char* adviseWholePages(char* begin, char* end, int advice);
// The largest file read whole.
inline constexpr std::size_t kMaxWholeFile = std::size_t(1) << 31;
// Reads a whole regular file. Files larger than `maxBytes` are refused.
std::optional<std::string> readWholeFile(const Path& path, FileError* error = nullptr,
                                         std::size_t maxBytes = kMaxWholeFile, const Progress& progress = {});

// Feeds a regular file's bytes to `block` in blocks, so a large file is never
// whole in memory. False when it cannot be read to its end.
bool readInBlocks(const Path& path, const std::function<void(std::string_view)>& block);
// Whether the file holds exactly `bytes`, compared block by block.
bool fileHolds(const Path& path, std::string_view bytes);
// The size of a regular file; 0 when it is not one or cannot be read.
std::uint64_t fileSize(const Path& path);

enum class InPlace {
    Refuse,  // the folder must take a temporary file, or nothing is written
    Allow,   // the caller holds a copy of the old content (or can lose it)
};

enum class FileMode {
    Keep,       // an existing file keeps its mode and owner; a new one gets 0666 less the umask
    OwnerOnly,  // 0600 whatever the umask: copies of the writer's text. A link in
                // the target's place is replaced by the file, never written through.
};

// Replaces the file's content so that it is never left half-written: the
// bytes go to a temporary file in the same folder, are flushed to disk and
// renamed over the target. Symbolic links are written through to their
// target and the target's permission bits are kept. A file whose write bits
// are all clear is refused, also for root. Where the folder forbids a
// temporary file and `inPlace` allows it, the target is rewritten in place
// (see rewriteInPlace). Stale temporary files left in the folder by a crashed
// writer of this program are removed first.
bool writeFileAtomic(const Path& path, std::string_view bytes, FileError* error = nullptr,
                     InPlace inPlace = InPlace::Allow, const Progress& progress = {}, FileMode mode = FileMode::Keep);

// The same for content produced a block at a time, so that it is never whole
// in memory: `next` puts the next bytes in `block`, nothing at the end;
// returning false abandons the write, which leaves the target as it was.
// `progress` hears 1 every few hundredths of a second while the bytes
// written are synced to the disk.
using BlockSource = std::function<bool(std::string& block)>;
bool writeFileAtomic(const Path& path, const BlockSource& next, FileError* error = nullptr,
                     InPlace inPlace = InPlace::Allow, FileMode mode = FileMode::Keep, const Progress& progress = {});
// Copies a regular file's bytes to `to` the same atomic way (never in place),
// in blocks, so a large file does not pass through memory whole; `progress`
// hears the share copied after each block, and 1 while the copy is synced.
bool copyFileAtomic(const Path& from, const Path& to, FileError* error = nullptr, FileMode mode = FileMode::Keep,
                    const Progress& progress = {});
// Creates the folder when missing and makes it the owner's alone (0700);
// false when it cannot be, when a link or a file stands in its place, when
// another user owns it, or when another user may rename things in the folder
// it is in (so could swap it for their own).
bool makePrivateFolder(const Path& folder, FileError* error = nullptr);

// Rewrites an existing file in place without ever truncating it first: the
// part of the new content that lies beyond the old end is written (and so
// the disk space taken) before any old byte is overwritten, so a full disk
// fails with the old content whole. Only a crash or an I/O error during the
// overwrite itself can leave a mix; then `targetTouched` is set.
bool rewriteInPlace(const Path& path, std::string_view bytes, FileError* error = nullptr);

// Temporary files this program names: "." + kTempPrefix + pid + "-" + random.
inline constexpr std::string_view kTempPrefix = ".talery-";
// Owns an open file descriptor and closes it once, when it goes (or at
// close(), whose answer matters after a write).
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { close(); }
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            close();
            fd_ = other.release();
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Gives the descriptor up without closing it.
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // False when the system reported an error closing it (errno tells which).
    bool close();

private:
    int fd_ = -1;
};

// A fresh name of that kind in `folder`; the caller creates it exclusively.
Path temporaryNameIn(const Path& folder);
// Writes every byte to `fd`, going on after interruptions by signals;
// false on any error (errno tells which). `progress` hears of the share done.
bool writeAll(int fd, std::string_view bytes, const Progress& progress = {});
// Removes this program's temporary files in `folder` whose writer is gone:
// a writer holds a lock on its temporary file while it writes (where the file
// system has no locks, files older than an hour count as left). Returns how many.
int removeStaleTemporaryFiles(const Path& folder);

// Letters and digits drawn at random, for names that must not clash.
std::string randomLetters(std::size_t count);
// Makes a rename or removal in the file's folder durable; false when the
// system could not promise it.
bool syncFolderOf(const Path& path);

// Removes the file's name at once, as unlink does. A large file's blocks are
// released by the file system only when its last descriptor closes: that
// close runs on a thread of its own, so the window never waits for it.
bool removeFile(const Path& path);

bool fileExists(const Path& path);
bool isRegularFile(const Path& path);
bool isReadOnly(const Path& path);        // all write bits clear
bool setReadOnly(const Path& path, bool readOnly);

std::string describeErrno(int code);     // Chinese reason, UTF-8
std::string parentFolder(const Path& path);
std::string baseName(const Path& path);  // after the last "/" or "\"
// The file name (after the last "/" or "\") up to its first ".", as GBK.
Text titleFromPath(std::string_view path);

}  // namespace talery
