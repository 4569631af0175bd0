#include "session/document_lock.h"

#include "core/cipher.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace talery {
namespace {

// The document's full path with links resolved, so that two ways of naming
// one file meet at one lock; for a file not there, its folder's.
Path fullPath(const Path& document) {
    if (char* real = ::realpath(document.c_str(), nullptr)) {
        Path out = real;
        std::free(real);
        return out;
    }
    const Path folder = parentFolder(document);
    if (char* real = ::realpath(folder.empty() ? "." : folder.c_str(), nullptr)) {
        Path out = Path(real) + "/" + baseName(document);
        std::free(real);
        return out;
    }
    return document;
}

bool namesSameFile(int fd, const Path& path) {
    struct stat a {}, b {};
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

Path DocumentLock::lockFileFor(const Path& document) const {
    static const char* hex = "0123456789abcdef";
    std::string name;
    for (std::uint8_t b : md5(fullPath(document))) {
        name += hex[b >> 4];
        name += hex[b & 15];
    }
    return folder_ + "/" + name + ".lock";
}

bool DocumentLock::heldElsewhere(const Path& document) const {
    const Path lockFile = lockFileFor(document);
    if (lockFile == held_) return false;
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    // Any window bound to it holds a shared lock: an exclusive one is refused.
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

bool DocumentLock::hold(const Path& document) {
    const Path lockFile = lockFileFor(document);
    if (lockFile == held_ && fd_ >= 0) return true;
    release();
    if (!makePrivateFolder(folder_)) return false;
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0) return false;
        // Exclusive only for the moment another window lets go of it.
        if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
            ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        // A window that let go removed the file meanwhile: lock the one there now.
        if (!namesSameFile(fd, lockFile)) {
            ::close(fd);
            continue;
        }
        fd_ = fd;
        held_ = lockFile;
        return true;
    }
    return false;
}

void DocumentLock::release() {
    if (fd_ < 0) return;
    // The last window bound to the document removes its lock file.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0 && namesSameFile(fd_, held_)) ::unlink(held_.c_str());
    ::close(fd_);
    fd_ = -1;
    held_.clear();
}

}  // namespace talery
