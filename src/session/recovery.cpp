#include "session/recovery.h"

#include "aids/backup.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talery {
namespace {

constexpr std::string_view kHeader = "talery-session 1\n";
constexpr std::string_view kEntryPrefix = "session-";
constexpr std::string_view kEntrySuffix = ".journal";
constexpr std::string_view kLockSuffix = ".lock";

// Values are one line each: the bytes that would end the line, and the
// escape itself, are written as %XX.
std::string escape(std::string_view value) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '%' || b == '\r' || b == '\n') {
            out += '%';
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view value) {
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        if (i + 2 >= value.size()) return std::nullopt;
        const int hi = digit(value[i + 1]), lo = digit(value[i + 2]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi << 4 | lo);
        i += 2;
    }
    return out;
}

bool mtimeOf(const Path& path, timespec& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    out = st.st_mtim;
    return true;
}

bool notOlder(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec >= b.tv_nsec;
}

Path lockPathOf(const Path& entryPath) {
    return entryPath.substr(0, entryPath.size() - kEntrySuffix.size()) + std::string(kLockSuffix);
}

// Whether a running program holds the entry's lock.
bool heldByARunningProgram(const Path& entryPath) {
    const int fd = ::open(lockPathOf(entryPath).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

}  // namespace

std::string formatJournalEntry(const JournalEntry& e) {
    return std::string(kHeader) + "title=" + escape(e.title) + "\nbackup=" + escape(e.backup) +
           "\ndocument=" + escape(e.document) + "\nencrypted=" + (e.encrypted ? "1" : "0") + "\n";
}

std::optional<JournalEntry> parseJournalEntry(std::string_view bytes) {
    if (!bytes.starts_with(kHeader)) return std::nullopt;
    bytes.remove_prefix(kHeader.size());
    JournalEntry e;
    int seen = 0;
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) return std::nullopt;  // cut short
        const std::string_view line = bytes.substr(0, end);
        bytes.remove_prefix(end + 1);
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return std::nullopt;
        const std::string_view key = line.substr(0, eq);
        auto value = unescape(line.substr(eq + 1));
        if (!value) return std::nullopt;
        if (key == "title") e.title = *value, seen |= 1;
        else if (key == "backup") e.backup = *value, seen |= 2;
        else if (key == "document") e.document = *value, seen |= 4;
        else if (key == "encrypted" && (*value == "0" || *value == "1")) e.encrypted = *value == "1", seen |= 8;
    }
    if (seen != 15 || e.backup.empty()) return std::nullopt;
    return e;
}

SessionJournal::SessionJournal(Path programDirectory) : folder_(backupFolder(programDirectory)) {
    // One entry per program, and per window of a program that has several.
    static std::atomic<int> instances{0};
    const std::string name = std::string(kEntryPrefix) + std::to_string(::getpid()) + "-" + std::to_string(++instances);
    entry_ = folder_ + "/" + name + std::string(kEntrySuffix);
    lock_ = folder_ + "/" + name + std::string(kLockSuffix);
}

SessionJournal::~SessionJournal() {
    end();
    if (lockFd_ >= 0) {
        ::unlink(lock_.c_str());
        ::close(lockFd_);
    }
}

bool SessionJournal::holdLock() {
    if (lockFd_ >= 0) return true;
    if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) return false;
    const int fd = ::open(lock_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    lockFd_ = fd;
    return true;
}

bool SessionJournal::begin(const JournalEntry& entry) {
    // The lock comes first: an entry others can see always has a living owner.
    return holdLock() && writeFileAtomic(entry_, formatJournalEntry(entry), nullptr, InPlace::Refuse);
}

void SessionJournal::end() { ::unlink(entry_.c_str()); }

std::vector<InterruptedSession> findInterruptedSessions(const Path& programDirectory) {
    const Path folder = backupFolder(programDirectory);
    std::vector<std::pair<timespec, InterruptedSession>> found;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (dirent* d = ::readdir(dir)) {
            const std::string_view name = d->d_name;
            if (!name.starts_with(kEntryPrefix)) continue;
            const Path path = folder + "/" + std::string(name);
            // A lock left by a program that ended between two sessions.
            if (name.ends_with(kLockSuffix)) {
                const Path entryPath = path.substr(0, path.size() - kLockSuffix.size()) + std::string(kEntrySuffix);
                if (!fileExists(entryPath) && !heldByARunningProgram(entryPath)) ::unlink(path.c_str());
                continue;
            }
            if (!name.ends_with(kEntrySuffix)) continue;
            timespec written{};
            if (!mtimeOf(path, written) || heldByARunningProgram(path)) continue;
            auto bytes = readWholeFile(path, nullptr, 1 << 20);
            auto entry = bytes ? parseJournalEntry(*bytes) : std::nullopt;
            InterruptedSession s{entry.value_or(JournalEntry{}), path, false};
            timespec backup{}, document{};
            // Written during that session (an older copy of the same title is
            // not its text), and newer than what was last saved.
            s.worthRestoring = entry && mtimeOf(entry->backup, backup) && notOlder(backup, written) &&
                               (entry->document.empty() || !mtimeOf(entry->document, document) ||
                                !notOlder(document, backup));
            found.emplace_back(written, std::move(s));
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return !notOlder(a.first, b.first); });
    std::vector<InterruptedSession> out;
    for (auto& f : found) out.push_back(std::move(f.second));
    return out;
}

void forgetInterruptedSession(const InterruptedSession& session) {
    ::unlink(session.entryPath.c_str());
    ::unlink(lockPathOf(session.entryPath).c_str());
}

}  // namespace talery
