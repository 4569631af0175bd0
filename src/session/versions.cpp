#include "session/versions.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <set>
#include <sys/stat.h>

namespace talery {
namespace {

constexpr std::size_t kNameMax = 255;
constexpr std::size_t kIdLength = 8;
constexpr std::size_t kStampLength = 15;
// "-v" and the number: kMaxVersionSequence has ten digits.
constexpr std::size_t kSequenceRoom = 12;
constexpr std::size_t kExtensionMax = 16;
constexpr const char* kDocumentSuffix = ".document";

Path fullPathOf(const Path& document) {
    Path full = document;
    if (char* real = ::realpath(document.c_str(), nullptr)) {
        full = real;
        std::free(real);
    }
    return full;
}

// FNV-1a of the document's full path: short, stable, no collisions worth
// worrying about among one writer's documents.
std::string documentId(const Path& document) {
    std::uint32_t h = 2166136261u;
    for (unsigned char c : fullPathOf(document)) {
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
    if (dot == std::string::npos || dot == 0 || name.size() - dot - 1 > kExtensionMax) return {name, {}};
    return {name.substr(0, dot), name.substr(dot + 1)};
}

// At most `limit` bytes without cutting a UTF-8 character.
std::string cutUtf8(const std::string& s, std::size_t limit) {
    if (s.size() <= limit) return s;
    std::size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) --end;
    return s.substr(0, end);
}

// Always fifteen characters, whatever the clock says.
std::string stamp(const LocalDateTime& t) {
    const auto clamp = [](int v, int lo, int hi) { return std::clamp(v, lo, hi); };
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d-%02d%02d%02d", clamp(t.year, 0, 9999), clamp(t.month, 1, 12),
                  clamp(t.day, 1, 31), clamp(t.hour, 0, 23), clamp(t.minute, 0, 59), clamp(t.second, 0, 60));
    return buf;
}

bool digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<LocalDateTime> parseStamp(std::string_view s) {
    if (s.size() != kStampLength || s[8] != '-' || !digits(s.substr(0, 8)) || !digits(s.substr(9))) return std::nullopt;
    const auto num = [&](std::size_t at, std::size_t n) {
        int v = 0;
        std::from_chars(s.data() + at, s.data() + at + n, v);
        return v;
    };
    return LocalDateTime{num(0, 4), num(4, 2), num(6, 2), num(9, 2), num(11, 2), num(13, 2)};
}

struct Parts {
    std::string prefix;  // "<stem>.<id>."
    std::string suffix;  // ".<ext>" or empty
};

Parts partsFor(const Path& document) {
    auto [stem, ext] = splitName(baseName(document));
    const std::string suffix = ext.empty() ? std::string() : "." + ext;
    // Room for ".<id>.<stamp>-v<sequence>" and the extension.
    const std::size_t fixed = 1 + kIdLength + 1 + kStampLength + kSequenceRoom + suffix.size();
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

// `middle` is "<stamp>", "<stamp>-N" or "<stamp>-v<sequence>". A number too
// large to read counts as the largest: such a name is numbered anew at the
// next save, never taken for the oldest.
std::optional<Order> orderOf(std::string_view middle) {
    if (middle.size() < kStampLength || !parseStamp(middle.substr(0, kStampLength))) return std::nullopt;
    Order o{0, std::string(middle.substr(0, kStampLength)), 0};
    const std::string_view rest = middle.substr(kStampLength);
    if (rest.starts_with("-v")) {
        const std::string_view number = rest.substr(2);
        if (!digits(number)) return std::nullopt;
        const auto r = std::from_chars(number.data(), number.data() + number.size(), o.sequence);
        if (r.ec == std::errc::result_out_of_range) o.sequence = ULLONG_MAX;
    } else if (rest.starts_with("-") && digits(rest.substr(1)) && rest.size() <= 10) {
        std::from_chars(rest.data() + 1, rest.data() + rest.size(), o.n);
    } else if (!rest.empty()) {
        return std::nullopt;
    }
    return o;
}

struct Found {
    Path path;
    Order order;
};

std::uint64_t sizeOf(const Path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
}

VersionFile fileOf(const Found& f) {
    return {f.path, f.order.sequence, parseStamp(f.order.stamp).value_or(LocalDateTime{}), sizeOf(f.path)};
}

void newestFirst(std::vector<Found>& found) {
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.order > b.order; });
}

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
            const std::string_view middle =
                std::string_view(name).substr(p.prefix.size(), name.size() - p.prefix.size() - p.suffix.size());
            if (middle.find('.') != std::string_view::npos) continue;
            if (auto order = orderOf(middle)) found.push_back({versionsFolder + "/" + name, std::move(*order)});
        }
        ::closedir(dir);
    }
    newestFirst(found);
    return found;
}

// A version's name read back: the document's part ("<stem>.<id>." and the
// extension) and its place among that document's versions.
struct ParsedName {
    std::string prefix, suffix, id;
    Order order;
};

std::optional<ParsedName> parseVersionName(const std::string& name) {
    // The stamp follows the last ".<id>." that is followed by one.
    for (std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > kIdLength; dot = name.rfind('.', dot - 1)) {
        const std::size_t idStart = dot - kIdLength;
        if (name[idStart - 1] != '.') continue;
        const std::string id = name.substr(idStart, kIdLength);
        if (!std::all_of(id.begin(), id.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); }))
            continue;
        std::string rest = name.substr(dot + 1);
        std::string suffix;
        const auto extDot = rest.find('.');
        if (extDot != std::string::npos) {
            suffix = rest.substr(extDot);
            rest.resize(extDot);
        }
        auto order = orderOf(rest);
        if (!order) continue;
        return ParsedName{name.substr(0, dot + 1), suffix, id, std::move(*order)};
    }
    return std::nullopt;
}

Path documentRecordPath(const Path& versionsFolder, const std::string& id) {
    return versionsFolder + "/" + id + kDocumentSuffix;
}

// Notes where the document lives, so that the history can name it.
void recordDocument(const Path& versionsFolder, const Path& document) {
    const Path record = documentRecordPath(versionsFolder, documentId(document));
    const Path full = fullPathOf(document);
    if (fileHolds(record, full)) return;
    writeFileAtomic(record, full, nullptr, InPlace::Refuse, {}, FileMode::OwnerOnly);
}

Path recordedDocument(const Path& versionsFolder, const std::string& id) {
    const Path record = documentRecordPath(versionsFolder, id);
    struct stat st {};
    if (::lstat(record.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > PATH_MAX) return {};
    auto bytes = readWholeFile(record, nullptr, PATH_MAX);
    if (!bytes || bytes->find('\0') != std::string::npos || bytes->empty() || bytes->front() != '/') return {};
    return *bytes;
}

// Numbers the versions 1, 2, … in their order, keeping their stamps, when
// the newest has reached the largest number. False when a name was taken.
bool renumber(const Path& versionsFolder, const Path& document) {
    std::vector<Found> found = findVersions(versionsFolder, document);
    std::reverse(found.begin(), found.end());
    const Parts p = partsFor(document);
    unsigned long long next = 1;
    for (const Found& f : found) {
        const Path target = versionsFolder + "/" + p.prefix + f.order.stamp + "-v" + std::to_string(next) + p.suffix;
        if (target != f.path && ::renameat2(AT_FDCWD, f.path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0)
            return false;
        ++next;
    }
    return true;
}

void removeAll(const std::vector<Path>& paths) {
    for (const Path& p : paths) removeFile(p);
}

std::uint64_t megabytes(const Text& value, std::uint64_t fallback) {
    std::uint64_t mb = 0;
    const auto r = std::from_chars(value.data(), value.data() + value.size(), mb);
    if (value.empty() || r.ec != std::errc() || r.ptr != value.data() + value.size() || mb > (std::uint64_t(1) << 40))
        return fallback;
    return mb << 20;
}

Text softwareSectionName() { return gbk(u8"软件设置"); }

}  // namespace

Text versionLimitKeyPerDocument() { return gbk(u8"每篇版本空间"); }
Text versionLimitKeyTotal() { return gbk(u8"版本总空间"); }

VersionLimits readVersionLimits(const IniFile& file) {
    const VersionLimits defaults;
    return {megabytes(file.read(softwareSectionName(), versionLimitKeyPerDocument()), defaults.perDocument),
            megabytes(file.read(softwareSectionName(), versionLimitKeyTotal()), defaults.total)};
}

void writeVersionLimits(const IniFile& file, const VersionLimits& limits) {
    const IniEntry entries[] = {
        {softwareSectionName(), versionLimitKeyPerDocument(), decimal(static_cast<long long>(limits.perDocument >> 20))},
        {softwareSectionName(), versionLimitKeyTotal(), decimal(static_cast<long long>(limits.total >> 20))}};
    file.writeAll(entries);
}

Path versionsFolderIn(const Path& programDirectory) { return programDirectory + "/versions"; }

std::string versionName(const Path& document, const LocalDateTime& when, unsigned long long sequence) {
    const Parts p = partsFor(document);
    return p.prefix + stamp(when) + "-v" + std::to_string(std::min(sequence, kMaxVersionSequence)) + p.suffix;
}

std::vector<VersionFile> listVersions(const Path& versionsFolder, const Path& document) {
    std::vector<VersionFile> out;
    for (const Found& f : findVersions(versionsFolder, document)) out.push_back(fileOf(f));
    return out;
}

std::vector<Path> versionsOf(const Path& versionsFolder, const Path& document) {
    std::vector<Path> out;
    for (Found& f : findVersions(versionsFolder, document)) out.push_back(std::move(f.path));
    return out;
}

std::vector<bool> versionsKept(const std::vector<VersionFile>& versions, const LocalDateTime& now,
                               std::uint64_t perDocumentLimit) {
    std::vector<bool> kept(versions.size(), false);
    const long long nowSeconds = localSeconds(now);
    std::set<long long> days, weeks;
    std::uint64_t space = 0;
    for (std::size_t i = 0; i < versions.size(); ++i) {
        const LocalDateTime& t = versions[i].replaced;
        // A stamp ahead of the clock is no age.
        const long long age = std::max(0LL, nowSeconds - localSeconds(t));
        const long long day = dayNumber(t.year, t.month, t.day);
        bool keep = i == 0 || age < 86400;
        // The newest of each day, then of each week (weeks begin on Monday;
        // day 0 was a Thursday).
        if (!keep && age < kVersionDaysDaily * 86400LL) keep = days.insert(day).second;
        else if (!keep) keep = weeks.insert((day + 3 - ((day + 3) % 7 + 7) % 7) / 7).second;
        if (!keep) continue;
        // Within the space a document may take, newer first.
        if (i > 0 && perDocumentLimit > 0 && space + versions[i].bytes > perDocumentLimit) break;
        space += versions[i].bytes;
        kept[i] = true;
    }
    return kept;
}

namespace {

// The rule and the limits; `spared` (the copy a save just made) never goes.
int prune(const Path& versionsFolder, const LocalDateTime& now, const VersionLimits& limits, const Path& spared) {
    int removed = 0;
    struct Candidate {
        long long when;
        unsigned long long sequence;
        Path path;
        std::uint64_t bytes;
    };
    std::vector<Candidate> older;
    std::uint64_t total = 0;
    for (VersionedDocument& d : versionedDocuments(versionsFolder)) {
        const std::vector<bool> keep = versionsKept(d.versions, now, limits.perDocument);
        std::vector<Path> drop;
        for (std::size_t i = 0; i < d.versions.size(); ++i) {
            VersionFile& v = d.versions[i];
            if (!keep[i] && v.path != spared) {
                drop.push_back(v.path);
                continue;
            }
            total += v.bytes;
            if (i > 0 && v.path != spared) older.push_back({localSeconds(v.replaced), v.sequence, v.path, v.bytes});
        }
        removeAll(drop);
        removed += static_cast<int>(drop.size());
    }
    if (limits.total == 0 || total <= limits.total) return removed;
    // Over the total: the oldest go first, a document's newest never.
    std::sort(older.begin(), older.end(), [](const Candidate& a, const Candidate& b) {
        return a.when != b.when ? a.when < b.when : a.sequence < b.sequence;
    });
    for (const Candidate& c : older) {
        if (total <= limits.total) break;
        if (!removeFile(c.path)) continue;
        total -= std::min(total, c.bytes);
        ++removed;
    }
    return removed;
}

}  // namespace

int pruneVersions(const Path& versionsFolder, const LocalDateTime& now, const VersionLimits& limits) {
    return prune(versionsFolder, now, limits, {});
}

std::vector<VersionedDocument> versionedDocuments(const Path& versionsFolder) {
    std::map<std::pair<std::string, std::string>, std::vector<Found>> byDocument;
    std::map<std::pair<std::string, std::string>, std::string> ids;
    if (DIR* dir = ::opendir(versionsFolder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string name = e->d_name;
            auto parsed = parseVersionName(name);
            if (!parsed) continue;
            const auto key = std::make_pair(parsed->prefix, parsed->suffix);
            byDocument[key].push_back({versionsFolder + "/" + name, std::move(parsed->order)});
            ids[key] = parsed->id;
        }
        ::closedir(dir);
    }
    std::vector<VersionedDocument> out;
    for (auto& [key, found] : byDocument) {
        newestFirst(found);
        VersionedDocument d;
        // "<stem>.<id>." back to "<stem>" and the extension.
        d.name = key.first.substr(0, key.first.size() - kIdLength - 2) + key.second;
        const std::string& id = ids[key];
        d.document = recordedDocument(versionsFolder, id);
        // The record belongs to this name only when it gives the same id.
        if (!d.document.empty() && (partsFor(d.document).prefix != key.first || partsFor(d.document).suffix != key.second))
            d.document.clear();
        for (const Found& f : found) d.versions.push_back(fileOf(f));
        out.push_back(std::move(d));
    }
    // Most recently saved first.
    std::stable_sort(out.begin(), out.end(), [](const VersionedDocument& a, const VersionedDocument& b) {
        return localSeconds(a.versions.front().replaced) > localSeconds(b.versions.front().replaced);
    });
    return out;
}

std::optional<Path> keepVersion(const Path& versionsFolder, const Path& document, const LocalDateTime& when,
                                FileError* error, const VersionLimits& limits, const Progress& progress) {
    if (!makePrivateFolder(versionsFolder, error)) return std::nullopt;
    // Numbered one past the newest: the order no clock change or time zone
    // can turn round. The local time in the name is for people.
    std::vector<Found> before = findVersions(versionsFolder, document);
    if (!before.empty() && before.front().order.sequence >= kMaxVersionSequence && renumber(versionsFolder, document))
        before = findVersions(versionsFolder, document);
    unsigned long long sequence = before.empty() ? 1 : std::min(before.front().order.sequence, kMaxVersionSequence - 1) + 1;
    Path target = versionsFolder + "/" + versionName(document, when, sequence);
    while (fileExists(target) && sequence < kMaxVersionSequence)
        target = versionsFolder + "/" + versionName(document, when, ++sequence);
    if (fileExists(target)) {
        if (error) *error = {EEXIST, "历史版本的编号已用完", false};
        return std::nullopt;
    }
    if (!copyFileAtomic(document, target, error, FileMode::OwnerOnly, progress)) return std::nullopt;
    recordDocument(versionsFolder, document);
    // The rule prunes; never the copy just made, which the save relies on:
    // it is the newest by its number.
    prune(versionsFolder, when, limits, target);
    return target;
}

}  // namespace talery
