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

constexpr std::size_t kStampLength = 15;

struct Parts {
    std::string prefix;  // "<stem>.<id>."
    std::string suffix;  // ".<ext>" or empty
};

Parts partsFor(const Path& document) {
    auto [stem, ext] = splitName(baseName(document));
    const std::string suffix = ext.empty() ? std::string() : "." + ext;
    // Room for ".<id>.<stamp>-v<sequence>" and the extension.
    const std::size_t fixed = 1 + 8 + 1 + kStampLength + 12 + suffix.size();
    return {cutUtf8(stem, kNameMax - fixed) + "." + documentId(document) + ".", suffix};
}

// Where a version stands among its document's versions: its sequence number
// (0 for names made before versions were numbered), then the stamp and the
// "-N" those older names used for a second copy in one second.
struct Order {
    unsigned long long sequence = 0;
    std::string stamp;
    int n = 0;
    auto operator<=>(const Order&) const = default;
};

std::optional<Order> orderOf(const std::string& middle) {
    if (middle.size() < kStampLength || middle.find('.') != std::string::npos) return std::nullopt;
    Order o{0, middle.substr(0, kStampLength), 0};
    const std::string rest = middle.substr(kStampLength);
    if (rest.starts_with("-v")) {
        o.sequence = std::strtoull(rest.c_str() + 2, nullptr, 10);
    } else if (rest.size() > 1) {
        o.n = std::atoi(rest.c_str() + 1);
    }
    return o;
}

struct Found {
    Path path;
    Order order;
};

// The document's versions, newest first.
std::vector<Found> findVersions(const Path& versionsFolder, const Path& document) {
    const Parts p = partsFor(document);
    std::vector<Found> found;
    if (DIR* dir = ::opendir(versionsFolder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name.size() < p.prefix.size() + kStampLength + p.suffix.size()) continue;
            if (name.compare(0, p.prefix.size(), p.prefix) != 0) continue;
            if (name.compare(name.size() - p.suffix.size(), p.suffix.size(), p.suffix) != 0) continue;
            // A dot in the middle: another document whose stem goes on.
            auto order = orderOf(name.substr(p.prefix.size(), name.size() - p.prefix.size() - p.suffix.size()));
            if (order) found.push_back({versionsFolder + "/" + name, std::move(*order)});
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.order > b.order; });
    return found;
}

}  // namespace

Path versionsFolderIn(const Path& programDirectory) { return programDirectory + "/versions"; }

std::string versionName(const Path& document, const LocalDateTime& when, unsigned long long sequence) {
    const Parts p = partsFor(document);
    return p.prefix + stamp(when) + "-v" + std::to_string(sequence) + p.suffix;
}

std::vector<Path> versionsOf(const Path& versionsFolder, const Path& document) {
    std::vector<Path> out;
    for (Found& f : findVersions(versionsFolder, document)) out.push_back(std::move(f.path));
    return out;
}

std::optional<Path> keepVersion(const Path& versionsFolder, const Path& document, const LocalDateTime& when,
                                FileError* error) {
    if (!makePrivateFolder(versionsFolder, error)) return std::nullopt;
    // Numbered one past the newest: the order no clock change or time zone
    // can turn round. The local time in the name is for people.
    const std::vector<Found> before = findVersions(versionsFolder, document);
    unsigned long long sequence = before.empty() ? 1 : before.front().order.sequence + 1;
    Path target = versionsFolder + "/" + versionName(document, when, sequence);
    while (fileExists(target)) target = versionsFolder + "/" + versionName(document, when, ++sequence);
    if (!copyFileAtomic(document, target, error, FileMode::OwnerOnly)) return std::nullopt;
    // The oldest go; never the copy just made, which the save relies on.
    for (std::size_t i = kVersionsKept - 1; i < before.size(); ++i) std::remove(before[i].path.c_str());
    return target;
}

}  // namespace talery
