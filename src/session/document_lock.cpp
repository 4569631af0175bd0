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
    const Md5Digest digest = md5(fullPath(document));
    return folder_ + "/" + hexOf(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size())) + ".lock";
}

bool DocumentLock::heldElsewhere(const Path& document) const {
    const Path lockFile = lockFileFor(document);
    if (lockFile == held_) return false;
    const FileDescriptor fd(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) return false;
    // Any window bound to it holds a shared lock: an exclusive one is refused.
    return ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

bool DocumentLock::hold(const Path& document) {
    const Path lockFile = lockFileFor(document);
    if (lockFile == held_ && fd_.valid()) return true;
    release();
    if (!makePrivateFolder(folder_)) return false;
    for (int attempt = 0; attempt < 50; ++attempt) {
        FileDescriptor fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (!fd.valid()) return false;
        // Exclusive only for the moment another window lets go of it.
        if (::flock(fd.get(), LOCK_SH | LOCK_NB) != 0) {
            fd.close();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        // A window that let go removed the file meanwhile: lock the one there now.
        if (!namesSameFile(fd.get(), lockFile)) continue;
        fd_ = std::move(fd);
        held_ = lockFile;
        return true;
    }
    return false;
}

void DocumentLock::release() {
    if (!fd_.valid()) return;
    // The last window bound to the document removes its lock file.
    if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0 && namesSameFile(fd_.get(), held_)) ::unlink(held_.c_str());
    fd_.close();
    held_.clear();
}

}  // namespace talery
