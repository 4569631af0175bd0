#include "core/files.h"

#include "core/second_thread.h"

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <dirent.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <future>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace talery {
namespace {

void fail(FileError* error, int code) {
    if (error) *error = {code, describeErrno(code)};
}

// Between reports of progress.
constexpr std::size_t kProgressStep = std::size_t(4) << 20;

// The file a path finally names, following symbolic links (also dangling ones,
// so that a link to a file yet to be created is honoured).
Path resolveLinks(const Path& path) {
    Path current = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(current.c_str(), buf.data(), PATH_MAX);
        if (n <= 0) return current;
        Path target(buf.data(), static_cast<std::size_t>(n));
        if (target.front() != '/') {
            const auto slash = current.find_last_of('/');
            target = (slash == Path::npos ? Path() : current.substr(0, slash + 1)) + target;
        }
        current = target;
    }
    return current;
}

// fsync on another thread while `progress` hears that all is written, every
// few hundredths of a second: syncing a long file can take a tenth of a
// second and more, which the window spends painting.
bool syncFile(int fd, const Progress& progress) {
    if (!progress) return ::fsync(fd) == 0;
    std::future<int> done;
    try {
        done = std::async(std::launch::async, [fd] { return ::fsync(fd) == 0 ? 0 : errno; });
    } catch (const std::system_error&) {
        return ::fsync(fd) == 0;  // no thread to be had: the sync is what matters
    }
    waitWhile(done, [&progress] { progress(1); });
    const int code = done.get();
    if (code != 0) errno = code;
    return code == 0;
}

bool syncFolder(const Path& folder, const Progress& progress = {}) {
    const FileDescriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.valid()) return false;
    // Folders of some file systems take no fsync at all: nothing to make durable there.
    return syncFile(fd.get(), progress) || errno == EINVAL || errno == EROFS;
}

bool pwriteAll(int fd, std::string_view bytes, off_t offset) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done, offset + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

constexpr off_t kReleaseLaterBytes = off_t(8) << 20;

// The file system frees a file's blocks when its last name and descriptor
// are gone, and a hundred megabytes take it tens of milliseconds. A file
// opened with this before its name goes is freed by closeReleasing instead.
int openToRelease(const Path& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
}

// Closes `fd` (-1 is none); a large file whose names are all gone is closed
// on a thread of its own, so that freeing it keeps no one waiting.
void closeReleasing(int fd) {
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_nlink == 0 && st.st_size >= kReleaseLaterBytes) {
        try {
            std::thread([fd] { ::close(fd); }).detach();
            return;
        } catch (const std::system_error&) {
            // No thread to be had: closed here.
        }
    }
    ::close(fd);
}

}  // namespace

bool FileDescriptor::close() {
    if (fd_ < 0) return true;
    const bool ok = ::close(fd_) == 0;
    fd_ = -1;
    return ok;
}

bool writeAll(int fd, std::string_view bytes, const Progress& progress) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const std::size_t want = progress ? std::min(bytes.size() - done, kProgressStep) : bytes.size() - done;
        const ssize_t n = ::write(fd, bytes.data() + done, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = EIO;
            return false;
        }
        done += static_cast<std::size_t>(n);
        if (progress) progress(static_cast<double>(done) / static_cast<double>(bytes.size()));
    }
    return true;
}

Path temporaryNameIn(const Path& folder) {
    return folder + "/" + std::string(kTempPrefix) + std::to_string(::getpid()) + "-" + randomLetters(6);
}

std::string describeErrno(int code) {
    switch (code) {
        case kReadOnly: return "文件是只读的";
        case kNotRegularFile: return "这不是一个普通文件";
        case kTooLarge: return "文件太大";
        case EACCES:
        case EPERM: return "没有访问权限";
        case ENOENT: return "文件或文件夹不存在";
        case ENOTDIR: return "路径中有一部分不是文件夹";
        case EISDIR: return "这是一个文件夹";
        case ENOSPC: return "磁盘空间不足";
        case EDQUOT: return "磁盘配额已用完";
        case EROFS: return "磁盘是只读的";
        case ENAMETOOLONG: return "文件名太长";
        case EIO: return "读写磁盘时出错";
        case EFBIG: return "文件超过了允许的大小";
        case ENOMEM: return "内存不足";
        case EMFILE:
        case ENFILE: return "打开的文件太多";
        case ELOOP: return "符号链接太多层";
        case EEXIST: return "文件已经存在";
        case EBUSY:
        case ETXTBSY: return "文件正在被使用";
        case EINVAL: return "文件名或参数无效";
        case EPIPE: return "管道已经关闭";
        case EAGAIN: return "暂时无法读写";
        case ENXIO:
        case ENODEV: return "设备不存在";
        default: return "系统错误（代码 " + std::to_string(code) + "）";
    }
}

std::string parentFolder(const Path& path) {
    const auto slash = path.find_last_of('/');
    if (slash == Path::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string baseName(const Path& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == Path::npos ? path : path.substr(slash + 1);
}

Text titleFromPath(std::string_view path) {
    const std::string name = baseName(Path(path));
    return utf8ToGbkLossy(std::string_view(name).substr(0, name.find('.')));
}

bool removeFile(const Path& path) {
    const int fd = openToRelease(path);
    const bool removed = ::unlink(path.c_str()) == 0;
    closeReleasing(fd);
    return removed;
}

bool fileExists(const Path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

bool isRegularFile(const Path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isReadOnly(const Path& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 0222) == 0;
}

bool setReadOnly(const Path& path, bool readOnly) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return false;
    mode_t mode = st.st_mode & 07777;
    if (readOnly) {
        mode &= ~static_cast<mode_t>(0222);
    } else {
        mode |= S_IWUSR;
    }
    return ::chmod(path.c_str(), mode) == 0;
}

char* adviseWholePages(char* begin, char* end, int advice) {
    static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) / page * page;
    const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) / page * page;
    if (last <= first || ::madvise(reinterpret_cast<void*>(first), last - first, advice) != 0) return begin;
    return begin + (last - reinterpret_cast<std::uintptr_t>(begin));
}

namespace {

// A large file is read into pages mapped a step at a time in one call
// each: a fault for every page costs a third of the reading, and a step
// keeps the call short.
constexpr std::size_t kPrefaultStep = std::size_t(16) << 20;

void prefault(char* buffer, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    // Older kernels refuse it: the pages then come one fault at a time.
    adviseWholePages(buffer, buffer + bytes, MADV_POPULATE_WRITE);
#else
    (void)buffer, (void)bytes;
#endif
}

}  // namespace

std::optional<std::string> readWholeFile(const Path& path, FileError* error, std::size_t maxBytes,
                                         const Progress& progress) {
    // O_NONBLOCK so that a FIFO in place of the file is refused below instead
    // of hanging until some writer opens it; regular files ignore the flag.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        fail(error, errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(error, S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile);
        return std::nullopt;
    }
    if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        fail(error, kTooLarge);
        return std::nullopt;
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    std::size_t prefaulted = 0;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(error, errno);
            return std::nullopt;
        }
        if (n == 0) break;
        if (out.size() + static_cast<std::size_t>(n) > prefaulted && prefaulted < out.capacity()) {
            const std::size_t step = std::min(kPrefaultStep, out.capacity() - prefaulted);
            prefault(out.data() + prefaulted, step);
            prefaulted += step;
        }
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > maxBytes) {
            fail(error, kTooLarge);
            return std::nullopt;
        }
        if (progress && st.st_size > 0 && out.size() % kProgressStep < static_cast<std::size_t>(n))
            progress(std::min(1.0, static_cast<double>(out.size()) / static_cast<double>(st.st_size)));
    }
    return out;
}

bool readInBlocks(const Path& path, const std::function<void(std::string_view)>& block) {
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    std::vector<char> buf(std::size_t(1) << 20);
    for (;;) {
        const ssize_t n = ::read(fd.get(), buf.data(), buf.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n == 0;
        block(std::string_view(buf.data(), static_cast<std::size_t>(n)));
    }
}

bool fileHolds(const Path& path, std::string_view bytes) {
    if (fileSize(path) != bytes.size()) return false;
    std::size_t at = 0;
    bool same = true;
    const bool read = readInBlocks(path, [&](std::string_view b) {
        same = same && at + b.size() <= bytes.size() && bytes.compare(at, b.size(), b) == 0;
        at += b.size();
    });
    return read && same && at == bytes.size();
}

std::uint64_t fileSize(const Path& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

namespace {

// Locks a temporary file just created and checks that its name still leads
// to it: a cleaner that took it for a dead writer's between the two removed it.
// Without locks on the file system, cleaners go by age and leave it be.
bool lockAsOurOwn(int fd, const Path& path) {
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return false;
    struct stat opened {}, named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(path.c_str(), &named) == 0 && opened.st_ino == named.st_ino &&
           opened.st_dev == named.st_dev;
}

// The atomic replacement behind writeFileAtomic and copyFileAtomic: `fill`
// writes the new content into the temporary file's descriptor.
// `rewrite`, when given, rewrites the resolved target in place where the
// folder takes no temporary file.
template <class Fill>
bool replaceFile(const Path& path, Fill fill, const std::function<bool(const Path&)>& rewrite, FileError* error,
                 FileMode mode, const Progress& progress = {}) {
    if (path.empty()) {
        fail(error, ENOENT);
        return false;
    }
    // A private copy replaces a link in its place, never writes through it.
    const bool followLinks = mode != FileMode::OwnerOnly;
    const Path target = followLinks ? resolveLinks(path) : path;
    struct stat st {};
    const bool exists = (followLinks ? ::stat(target.c_str(), &st) : ::lstat(target.c_str(), &st)) == 0;
    if (!exists && errno != ENOENT) {
        // A loop of links, a path through a file, no search permission: the
        // rename below would replace whatever is there, so stop here.
        fail(error, errno);
        return false;
    }
    if (exists && !followLinks && S_ISLNK(st.st_mode)) {
        // Replaced below by the rename; nothing of the link's target is read or kept.
    } else if (exists) {
        if (S_ISDIR(st.st_mode)) {
            fail(error, EISDIR);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            fail(error, kNotRegularFile);
            return false;
        }
        // Root may write anything; the user's read-only mark still counts.
        if ((st.st_mode & 0222) == 0) {
            fail(error, kReadOnly);
            return false;
        }
        if (::access(target.c_str(), W_OK) != 0) {
            fail(error, errno);
            return false;
        }
    }

    const Path folder = parentFolder(target);
    removeStaleTemporaryFiles(folder);
    const bool keepsMode = exists && S_ISREG(st.st_mode);
    // A short name: the target's own name may already use the whole name limit.
    // Never wider than its final mode, not for an instant: an existing file's
    // copy starts as the owner's alone and gets its owner and mode before any
    // byte; a new file is created with its final mode (the kernel applies the
    // umask, which is never changed here: other threads create files too).
    const mode_t createMode = mode == FileMode::OwnerOnly || keepsMode ? 0600 : 0666;
    Path tmpPath;
    FileDescriptor file;
    for (int attempt = 0; attempt < 100 && !file.valid(); ++attempt) {
        tmpPath = temporaryNameIn(folder);
        file = FileDescriptor(::open(tmpPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, createMode));
        if (!file.valid() && errno != EEXIST) break;
        // Held while it is written: the lock tells a cleaner this writer lives.
        if (file.valid() && !lockAsOurOwn(file.get(), tmpPath)) {
            file.close();
            errno = EEXIST;
        }
    }
    if (!file.valid()) {
        const int code = errno;
        // A folder we may not create files in, but whose file we may rewrite.
        if ((code == EACCES || code == EPERM) && keepsMode && rewrite) return rewrite(target);
        fail(error, code);
        return false;
    }
    // Keeping the owner and mode is best effort: the content matters most.
    const int fd = file.get();
    if (mode == FileMode::Keep && keepsMode) {
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
            // Another owner cannot be kept by a user who is not root: the file becomes theirs.
        }
        (void)::fchmod(fd, st.st_mode & 07777);
    }
    bool ok = fill(fd) && syncFile(fd, progress);
    int code = errno;
    // The lock lives on in a second descriptor until the rename: closing the
    // first still reports a late write error (network file systems).
    FileDescriptor held(::dup(fd));
    if (!file.close() && ok) {
        ok = false;
        code = errno;
    }
    // The file replaced is freed off this thread once the rename is done.
    int replaced = ok && keepsMode && st.st_size >= kReleaseLaterBytes ? openToRelease(target) : -1;
    bool renamed = ok && ::rename(tmpPath.c_str(), target.c_str()) == 0;
    if (ok && !renamed && replaced >= 0) {
        // A file system that will not replace an open file (SMB): as before.
        ::close(std::exchange(replaced, -1));
        renamed = ::rename(tmpPath.c_str(), target.c_str()) == 0;
    }
    if (ok && !renamed) {
        ok = false;
        code = errno;
    }
    closeReleasing(replaced);
    if (!ok) ::unlink(tmpPath.c_str());
    held.close();
    // A private copy whose rename may not outlive a power cut is no copy; a
    // document is written all the same, and is not reported as unwritten.
    if (ok && !syncFolder(folder, progress) && mode == FileMode::OwnerOnly) {
        ok = false;
        code = EIO;
    }
    if (!ok) {
        fail(error, code);
        return false;
    }
    return true;
}

}  // namespace

bool writeFileAtomic(const Path& path, std::string_view bytes, FileError* error, InPlace inPlace,
                     const Progress& progress, FileMode mode) {
    std::function<bool(const Path&)> rewrite;
    if (inPlace == InPlace::Allow) rewrite = [&](const Path& target) { return rewriteInPlace(target, bytes, error); };
    return replaceFile(path, [bytes, &progress](int fd) { return writeAll(fd, bytes, progress); }, rewrite, error,
                       mode, progress);
}

bool writeFileAtomic(const Path& path, const BlockSource& next, FileError* error, InPlace inPlace, FileMode mode,
                     const Progress& progress) {
    std::string block;
    std::function<bool(const Path&)> rewrite;
    if (inPlace == InPlace::Allow) {
        // Rewriting in place needs the new bytes at hand twice over (the tail
        // first); that rare fallback holds them whole.
        rewrite = [&](const Path& target) {
            std::string bytes;
            for (;;) {
                if (!next(block)) {
                    fail(error, ECANCELED);
                    return false;
                }
                if (block.empty()) break;
                bytes += block;
            }
            return rewriteInPlace(target, bytes, error);
        };
    }
    bool abandoned = false;
    const auto fill = [&](int fd) {
        for (;;) {
            if (!next(block)) {
                abandoned = true;
                return false;
            }
            if (block.empty()) return true;
            if (!writeAll(fd, block)) return false;
        }
    };
    const bool ok = replaceFile(path, fill, rewrite, error, mode, progress);
    if (abandoned) fail(error, ECANCELED);
    return ok;
}

bool copyFileAtomic(const Path& from, const Path& to, FileError* error, FileMode mode, const Progress& progress) {
    const FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!in.valid()) {
        fail(error, errno);
        return false;
    }
    struct stat st {};
    if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(error, kNotRegularFile);
        return false;
    }
    int readError = 0;
    const bool ok = replaceFile(
        to,
        [&](int out) {
            std::vector<char> buf(1 << 20);
            std::uint64_t copied = 0;
            for (;;) {
                const ssize_t n = ::read(in.get(), buf.data(), buf.size());
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) {
                    readError = errno;
                    return false;
                }
                if (n == 0) return true;
                if (!writeAll(out, std::string_view(buf.data(), static_cast<std::size_t>(n)))) return false;
                copied += static_cast<std::uint64_t>(n);
                if (progress && st.st_size > 0)
                    progress(std::min(1.0, static_cast<double>(copied) / static_cast<double>(st.st_size)));
            }
        },
        {}, error, mode, progress);
    if (!ok && readError) fail(error, readError);
    return ok;
}

std::string randomLetters(std::size_t count) {
    static const char* letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::vector<unsigned char> bytes(count);
    std::size_t got = 0;
    while (got < count) {
        const ssize_t n = ::getrandom(bytes.data() + got, count - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (errno != EINTR) {
            // No entropy source: names need only differ, not be secret.
            auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                        (static_cast<std::uint64_t>(::getpid()) << 40);
            for (; got < count; ++got) {
                seed = seed * 6364136223846793005ULL + 1442695040888963407ULL;
                bytes[got] = static_cast<unsigned char>(seed >> 56);
            }
        }
    }
    std::string out;
    for (unsigned char b : bytes) out += letters[b % 62];
    return out;
}

bool syncFolderOf(const Path& path) { return syncFolder(parentFolder(path)); }

bool makePrivateFolder(const Path& folder, FileError* error) {
    const auto refuse = [error](int code, const char* reason) {
        fail(error, code);
        if (error && reason) error->reasonUtf8 = reason;
        return false;
    };
    // Another user who may rename entries in the folder above could move this
    // one away and put their own in its place.
    struct stat parent {};
    if (::stat(parentFolder(folder).c_str(), &parent) != 0) return refuse(errno, nullptr);
    if ((parent.st_uid != ::geteuid() && parent.st_uid != 0) ||
        ((parent.st_mode & 022) != 0 && (parent.st_mode & S_ISVTX) == 0))
        return refuse(EPERM, "上一级文件夹是其他用户的，或其他用户可以修改它");
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return refuse(errno, nullptr);
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0) return refuse(errno, nullptr);
    if (!S_ISDIR(st.st_mode)) return refuse(S_ISLNK(st.st_mode) ? ELOOP : ENOTDIR, nullptr);
    // Made by someone else: they could read, move or replace what goes in.
    if (st.st_uid != ::geteuid()) return refuse(EPERM, "文件夹属于其他用户");
    // A folder an earlier version made open to all, or a strict umask made
    // unusable: only the owner, whatever the umask.
    if ((st.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) return refuse(errno, nullptr);
    return true;
}

bool rewriteInPlace(const Path& path, std::string_view bytes, FileError* error) {
    // Callers name the file itself: a link put in its place since is refused.
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!file.valid()) {
        fail(error, errno);
        return false;
    }
    const int fd = file.get();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(error, kNotRegularFile);
        return false;
    }
    const std::size_t oldSize = static_cast<std::size_t>(st.st_size);
    const std::size_t head = std::min(oldSize, bytes.size());
    auto stop = [&](int code, bool touched) {
        fail(error, code);
        if (error) error->targetTouched = touched;
        return false;
    };
    // Take the space first: the tail goes past the old end, old bytes untouched.
    if (bytes.size() > oldSize) {
        if (!pwriteAll(fd, bytes.substr(oldSize), static_cast<off_t>(oldSize)) || ::fsync(fd) != 0) {
            const int code = errno;
            // Give the file back its old length; the old content never moved.
            const bool restored = ::ftruncate(fd, static_cast<off_t>(oldSize)) == 0;
            return stop(code, !restored);
        }
    }
    if (!pwriteAll(fd, bytes.substr(0, head), 0) || ::fsync(fd) != 0) return stop(errno, true);
    if (bytes.size() < oldSize &&
        (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0))
        return stop(errno, true);
    if (!file.close()) {
        fail(error, errno);
        if (error) error->targetTouched = true;
        return false;
    }
    return true;
}

int removeStaleTemporaryFiles(const Path& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return 0;
    int removed = 0;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.substr(0, kTempPrefix.size()) != kTempPrefix) continue;
        // ".talery-<pid>-XXXXXX": exactly this shape, nothing a user named.
        const std::string_view rest = name.substr(kTempPrefix.size());
        const auto dash = rest.find('-');
        if (dash == std::string_view::npos || dash == 0 || rest.size() - dash - 1 != 6) continue;
        const std::string_view pid = rest.substr(0, dash);
        if (pid.size() > 10 || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        const Path full = folder + "/" + std::string(name);
        // Its writer holds a lock on it while it lives, whatever process
        // namespace or machine it runs in; a lock we take says it is gone.
        const FileDescriptor fd(::open(full.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!fd.valid()) continue;
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        bool gone = false;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
            gone = true;
        } else if (errno != EWOULDBLOCK) {
            // No locks on this file system: only age tells.
            gone = now - st.st_mtime > 3600;
        }
        if (gone && ::unlink(full.c_str()) == 0) ++removed;
    }
    ::closedir(dir);
    return removed;
}

}  // namespace talery
