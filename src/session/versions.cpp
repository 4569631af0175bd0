#include "session/versions.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>

namespace talery {
namespace {

constexpr std::size_t kNameMax = 255;

// FNV-1a of the document's full path: short, stable, no collisions worth
// worrying about among one writer's documents.
std::string documentId(const Path& document) {
    Path full = document;
    if (char* real = ::realpath(document.c_str(), nullptr)) {
        full = real;
        std::free(real);
    }
    std::uint32_t h = 2166136261u;
    for (unsigned char c : full) {
        h ^= c;
        h *= 16777619u;
    }
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", h);
    return buf;
}

// The name split at its last "."; a leading dot is part of the stem.
std::pair<std::string, std::string> splitName(const std::string& name) {
    const auto dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot - 1 > 16) return {name, {}};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

// At most `limit` bytes without cutting a UTF-8 character.
std::string cutUtf8(const std::string& s, std::size_t limit) {
    if (s.size() <= limit) return s;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

std::string stamp(const LocalDateTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

struct Parts {
    std::string prefix;  // "<stem>.<id>."
    std::string suffix;  // ".<ext>" or empty
};

Parts partsFor(const Path& document) {
    auto [stem, ext] = splitName(baseName(document));
    const std::string suffix = ext.empty() ? std::string() : "." + ext;
    // Room for ".<id>.<stamp>-NN" and the extension.
    const std::size_t fixed = 1 + 8 + 1 + 15 + 3 + suffix.size();
    return {cutUtf8(stem, kNameMax - fixed) + "." + documentId(document) + ".", suffix};
}

}  // namespace

Path versionsFolderIn(const Path& programDirectory) { return programDirectory + "/versions"; }

std::string versionName(const Path& document, const LocalDateTime& when) {
    const Parts p = partsFor(document);
    return p.prefix + stamp(when) + p.suffix;
}

std::vector<Path> versionsOf(const Path& versionsFolder, const Path& document) {
    const Parts p = partsFor(document);
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(versionsFolder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() < p.prefix.size() + 15 + p.suffix.size()) continue;
            if (name.compare(0, p.prefix.size(), p.prefix) != 0) continue;
            if (name.compare(name.size() - p.suffix.size(), p.suffix.size(), p.suffix) != 0) continue;
            const std::string middle = name.substr(p.prefix.size(), name.size() - p.prefix.size() - p.suffix.size());
            if (middle.find('.') != std::string::npos) continue;  // another document whose stem goes on
            names.push_back(name);
        }
        ::closedir(dir);
    }
    // Stamps sort as text; a "-N" for a second copy in the same second counts as later.
    auto key = [&](const std::string& name) {
        std::string middle = name.substr(p.prefix.size(), 15);
        const std::string rest = name.substr(p.prefix.size() + 15, name.size() - p.prefix.size() - 15 - p.suffix.size());
        const int n = rest.size() > 1 ? std::atoi(rest.c_str() + 1) : 0;
        return std::make_pair(middle, n);
    };
    std::sort(names.begin(), names.end(), [&](const auto& a, const auto& b) { return key(a) > key(b); });
    std::vector<Path> out;
    for (const auto& n : names) out.push_back(versionsFolder + "/" + n);
    return out;
}

std::optional<Path> keepVersion(const Path& versionsFolder, const Path& document, const LocalDateTime& when,
                                FileError* error) {
    if (::mkdir(versionsFolder.c_str(), 0777) != 0 && errno != EEXIST) {
        if (error) *error = {errno, describeErrno(errno)};
        return std::nullopt;
    }
    const Parts p = partsFor(document);
    Path target = versionsFolder + "/" + p.prefix + stamp(when) + p.suffix;
    for (int n = 2; fileExists(target) && n < 100; ++n)
        target = versionsFolder + "/" + p.prefix + stamp(when) + "-" + std::to_string(n) + p.suffix;
    if (!copyFileAtomic(document, target, error)) return std::nullopt;
    const std::vector<Path> all = versionsOf(versionsFolder, document);
    for (std::size_t i = kVersionsKept; i < all.size(); ++i) std::remove(all[i].c_str());
    return target;
}

}  // namespace talery
