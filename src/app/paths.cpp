#include "app/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace talery {
namespace {

bool makeFolders(const Path& path) {
    if (path.empty()) return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const Path parent = parentFolder(path);
    if (parent != path && !makeFolders(parent)) return false;
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

// An installed program (its desktop entry beside it, in ../share) keeps its
// settings per user even where its folder is writable: for root, or under a
// prefix in the user's home. Only a folder of its own is portable use.
bool installedLayout(const Path& folder) {
    return fileExists(parentFolder(folder) + "/" TALERY_INSTALLED_DESKTOP_ENTRY);
}

// A folder CMake builds in is emptied by the next clean build: never a
// home for a writer's settings, backups and versions.
bool buildTree(const Path& folder) { return fileExists(folder + "/CMakeCache.txt"); }

Path executableFolder() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), PATH_MAX);
    return n > 0 ? parentFolder(Path(buf.data(), static_cast<std::size_t>(n))) : Path();
}

Path stripTrailingSlash(Path p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

Path programDirectory() {
    if (const char* home = std::getenv("TALERY_HOME"); home && *home) {
        Path p = stripTrailingSlash(home);
        makeFolders(p);
        return p;
    }
    // A portable copy: the program's folder already holds its settings.
    const Path folder = executableFolder();
    if (!folder.empty() && fileExists(folder + "/setting.ini") && ::access(folder.c_str(), W_OK) == 0 &&
        !installedLayout(folder) && !buildTree(folder))
        return folder;
    Path data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && xdg[0] == '/') {
        data = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        data = Path(home) + "/.local/share";
    } else {
        data = "/tmp";
    }
    Path p = stripTrailingSlash(data) + "/talery";
    makeFolders(p);
    return p;
}

Path earlierProgramDirectory() {
    if (const char* home = std::getenv("TALERY_HOME"); home && *home) return {};
    const Path folder = executableFolder();
    if (folder.empty() || !buildTree(folder) || !fileExists(folder + "/setting.ini")) return {};
    return folder;
}

Path currentDirectory() {
    std::vector<char> buf(PATH_MAX + 1);
    if (::getcwd(buf.data(), buf.size())) return Path(buf.data());
    return ".";
}

}  // namespace talery
