#include "app/paths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
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

// The writer's home: $HOME, else the password database's (a service or a
// bare `env -i` start has no HOME). Never a folder others share.
Path homeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/') return home;
    std::vector<char> buf(1 << 14);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buf.data(), buf.size(), &found) == 0 && found && found->pw_dir &&
        found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

// No home at all: a folder that is never created, so nothing is written
// anywhere shared and every failed write is reported.
constexpr const char* kNoHome = "/nonexistent";

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
    } else if (const Path home = homeFolder(); !home.empty()) {
        data = stripTrailingSlash(home) + "/.local/share";
    } else {
        return Path(kNoHome) + "/talery";
    }
    Path p = stripTrailingSlash(data) + "/talery";
    makeFolders(p);
    return p;
}

std::optional<std::string> programDirectoryProblem(const Path& folder) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return "无法创建或打开这个文件夹（" + describeErrno(errno) + "）";
    if (!S_ISDIR(st.st_mode)) return std::string("这不是一个文件夹");
    if (st.st_uid != ::geteuid()) return std::string("这个文件夹属于其他用户");
    if ((st.st_mode & 022) != 0) return std::string("其他用户可以修改这个文件夹");
    return std::nullopt;
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
