#include "core/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace talery {
namespace {

void fail(FileError* error, int code) {
    if (error) *error = {code, describeErrno(code)};
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

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

bool syncFolder(const Path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    ::fsync(fd);
    ::close(fd);
    return true;
}

bool writeInPlace(const Path& target, std::string_view bytes, FileError* error) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        fail(error, errno);
        return false;
    }
    const bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    const int code = errno;
    if (::close(fd) != 0 && ok) {
        fail(error, errno);
        return false;
    }
    if (!ok) fail(error, code);
    return ok;
}

}  // namespace

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
        default: return std::strerror(code);
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

std::optional<std::string> readWholeFile(const Path& path, FileError* error, std::size_t maxBytes) {
    // O_NONBLOCK so that a FIFO in place of the file is refused below instead
    // of hanging until some writer opens it; regular files ignore the flag.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        fail(error, errno);
        return std::nullopt;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        fail(error, S_ISDIR(st.st_mode) ? EISDIR : kNotRegularFile);
        ::close(fd);
        return std::nullopt;
    }
    if (static_cast<std::size_t>(st.st_size) > maxBytes) {
        fail(error, kTooLarge);
        ::close(fd);
        return std::nullopt;
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(error, errno);
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > maxBytes) {
            fail(error, kTooLarge);
            ::close(fd);
            return std::nullopt;
        }
    }
    ::close(fd);
    return out;
}

bool writeFileAtomic(const Path& path, std::string_view bytes, FileError* error) {
    if (path.empty()) {
        fail(error, ENOENT);
        return false;
    }
    const Path target = resolveLinks(path);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        // A loop of links, a path through a file, no search permission: the
        // rename below would replace whatever is there, so stop here.
        fail(error, errno);
        return false;
    }
    if (exists) {
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
    std::string tmpl = folder + "/." + baseName(target) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        const int code = errno;
        // A folder we may not create files in, but whose file we may rewrite.
        if ((code == EACCES || code == EPERM || code == EROFS) && exists) return writeInPlace(target, bytes, error);
        fail(error, code);
        return false;
    }
    const Path tmpPath(name.data());
    mode_t mode = 0666;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    // Keeping the owner and mode is best effort: the content matters most.
    (void)::fchmod(fd, mode);
    if (exists) (void)::fchown(fd, st.st_uid, st.st_gid);
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    int code = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        code = errno;
    }
    if (ok && ::rename(tmpPath.c_str(), target.c_str()) != 0) {
        ok = false;
        code = errno;
    }
    if (!ok) {
        ::unlink(tmpPath.c_str());
        fail(error, code);
        return false;
    }
    syncFolder(folder);
    return true;
}

}  // namespace talery
