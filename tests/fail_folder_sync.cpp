// Loaded with LD_PRELOAD: every fsync of a folder fails with EIO, as on a
// disk that is going bad, so tests can see what a failed folder sync does.

#include <cerrno>
#include <dlfcn.h>
#include <sys/stat.h>

extern "C" int fsync(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        errno = EIO;
        return -1;
    }
    using Real = int (*)(int);
    static const Real real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}
