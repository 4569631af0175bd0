#pragma once
// Whole-file access. Paths are the platform's native bytes (UTF-8 on Linux).

#include <optional>
#include <string>
#include <string_view>

namespace talery {

using Path = std::string;

struct FileError {
    int code = 0;             // errno value, or kReadOnly
    std::string reasonUtf8;   // a short Chinese reason for messages
};

constexpr int kReadOnly = -1;        // the file's write bits are all clear
constexpr int kNotRegularFile = -2;  // a folder or a device where a file was expected
constexpr int kTooLarge = -3;

// Reads a whole regular file. Files larger than `maxBytes` are refused.
std::optional<std::string> readWholeFile(const Path& path, FileError* error = nullptr,
                                         std::size_t maxBytes = std::size_t(1) << 31);

// Replaces the file's content so that it is never left half-written: the
// bytes go to a temporary file in the same folder, are flushed to disk and
// renamed over the target. Symbolic links are written through to their
// target and the target's permission bits are kept. A file whose write bits
// are all clear is refused, also for root. Where the folder forbids a
// temporary file the target is rewritten in place, and success is reported
// only when every byte reached the disk.
bool writeFileAtomic(const Path& path, std::string_view bytes, FileError* error = nullptr);

bool fileExists(const Path& path);
bool isRegularFile(const Path& path);
bool isReadOnly(const Path& path);        // all write bits clear
bool setReadOnly(const Path& path, bool readOnly);

std::string describeErrno(int code);     // Chinese reason, UTF-8
std::string parentFolder(const Path& path);
std::string baseName(const Path& path);  // after the last "/" or "\"

}  // namespace talery
