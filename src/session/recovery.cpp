#include "session/recovery.h"

#include "session/backup.h"
#include "session/documents.h"

#include <sodium.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace talery {
namespace {

constexpr std::string_view kHeader = "talery-session 1\n";
constexpr std::string_view kEntryPrefix = "session-";
constexpr std::string_view kEntrySuffix = ".journal";
constexpr std::string_view kLockSuffix = ".lock";

// Values are one line each: the bytes that would end the line, and the
// escape itself, are written as %XX.
std::string escape(std::string_view value) {
    std::string out;
    for (char c : value) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '%' || b == '\r' || b == '\n') {
            out += '%';
            out += hexOf(std::string_view(&c, 1), HexCase::Upper);
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

bool olderThan(const timespec& a, const timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec < b.tv_nsec;
}

Path lockPathOf(const Path& entryPath) {
    return entryPath.substr(0, entryPath.size() - kEntrySuffix.size()) + std::string(kLockSuffix);
}

// Entries written before entries locked themselves have a lock file beside
// them. Only a lock we could take ourselves says its program is gone: an
// error of the probe (no permission, no locks on this file system, no
// descriptors left) counts as held.
bool oldStyleLockHeld(const Path& entryPath) {
    const FileDescriptor fd(::open(lockPathOf(entryPath).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) return errno != ENOENT;
    return ::flock(fd.get(), LOCK_SH | LOCK_NB) != 0;
}

// The entry's file, locked by us, when nobody else holds it and it is still
// the file the name points to (its owner may have just replaced it).
int claim(const Path& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) return -1;
    struct stat opened {}, named {};
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 || ::fstat(fd.get(), &opened) != 0 || !S_ISREG(opened.st_mode) ||
        ::stat(path.c_str(), &named) != 0 || opened.st_ino != named.st_ino || opened.st_dev != named.st_dev ||
        oldStyleLockHeld(path))
        return -1;
    return fd.release();
}

std::optional<std::string> readFd(int fd, std::size_t limit) {
    std::string out;
    char buf[4096];
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, at);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) return out;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > limit) return std::nullopt;
        at += n;
    }
}

// Documents and copies larger than this are not read at start: such a copy
// is offered without looking (offering too much loses nothing).
constexpr std::uint64_t kLargestCompared = std::uint64_t(64) << 20;
// Entries claimed in one start: each holds a descriptor. Others wait for a later start.
constexpr std::size_t kMostClaimed = 32;

bool sameBytes(const Path& a, const Path& b) {
    if (fileSize(a) != fileSize(b)) return false;
    const FileDescriptor fd(::open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) return false;
    bool same = true;
    std::vector<char> other;
    const bool read = readInBlocks(a, [&](std::string_view block) {
        other.resize(block.size());
        std::size_t got = 0;
        while (same && got < block.size()) {
            const ssize_t n = ::read(fd.get(), other.data() + got, block.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) same = false;
            else got += static_cast<std::size_t>(n);
        }
        same = same && std::string_view(other.data(), block.size()) == block;
    });
    return read && same;
}

// Whether the copy holds a text the document does not: compared as texts,
// not by time stamps, which come from other clocks (an archive, a network
// share, another machine). An enciphered copy is compared as bytes, which
// can only offer too much, never too little.
bool copyDiffersFromDocument(const JournalEntry& e) {
    const std::uint64_t size = fileSize(e.backup);
    if (size == 0) return false;  // never written: nothing to get back
    if (e.document.empty()) return true;
    if (size > kLargestCompared || fileSize(e.document) > kLargestCompared) return true;
    if (e.encrypted || isEncryptedPath(e.document)) return !sameBytes(e.backup, e.document);
    auto copy = readWholeFile(e.backup, nullptr, kLargestCompared);
    auto document = readWholeFile(e.document, nullptr, kLargestCompared);
    if (!copy || !document) return true;
    auto decoded = decodeTextDocument(*document);
    return !decoded || decoded->body != *copy;
}

// The copy an entry names, if it is one this program could have made: a
// file of the writer's own, right in the backup folder. Entries are files
// anyone able to write there may have made; what else they name is never
// read, changed or removed.
std::optional<Path> ownCopy(const Path& folder, const Path& named) {
    const std::string name = baseName(named);
    if (name.empty() || name == "." || name == ".." || named.find('\\') != Path::npos) return std::nullopt;
    char* real = ::realpath(parentFolder(named).c_str(), nullptr);
    char* own = ::realpath(folder.c_str(), nullptr);
    const bool inside = real && own && std::string_view(real) == std::string_view(own);
    std::free(real);
    std::free(own);
    if (!inside) return std::nullopt;
    const Path path = folder + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) return std::nullopt;
    return path;
}

// Entries are read only from a backup folder of the writer's own that no one
// else may write in.
bool privateFolder(const Path& folder) {
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

// Moves `from` to the new name `to` unless something is there already.
bool renameNoReplace(const Path& from, const Path& to) {
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    if (errno == EEXIST) return false;
    // File systems without hard links.
    struct stat st {};
    return ::lstat(to.c_str(), &st) != 0 && errno == ENOENT && ::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace

std::string formatJournalEntry(const JournalEntry& e) {
    std::string out = std::string(kHeader) + "title=" + escape(e.title) + "\nbackup=" + escape(e.backup) +
                      "\ndocument=" + escape(e.document) + "\nencrypted=" + (e.encrypted ? "1" : "0") + "\n";
    if (!e.passwordCheck.empty()) out += "check=" + escape(e.passwordCheck) + "\n";
    return out;
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
        else if (key == "check") e.passwordCheck = *value;
    }
    if (seen != 15 || e.backup.empty()) return std::nullopt;
    return e;
}

// Argon2id with a quarter of libsodium's interactive memory: a few tens of
// milliseconds per try, so a writer's several tries are instant while a
// guesser pays far more than the document's own 40-bit cipher asks.
namespace {
constexpr unsigned long long kCheckOps = 2;
constexpr std::size_t kCheckMemory = std::size_t(16) << 20;
bool sodiumReady() {
    static const bool ready = ::sodium_init() >= 0;
    return ready;
}
}  // namespace

std::string makePasswordCheck(const Text& keyText) {
    char out[crypto_pwhash_STRBYTES];
    if (!sodiumReady() || ::crypto_pwhash_str_alg(out, keyText.data(), keyText.size(), kCheckOps, kCheckMemory,
                                                  crypto_pwhash_ALG_ARGON2ID13) != 0)
        return {};
    return out;
}

bool passwordCheckMatches(const std::string& check, const Text& keyText) {
    return sodiumReady() && ::crypto_pwhash_str_verify(check.c_str(), keyText.data(), keyText.size()) == 0;
}

SessionJournal::SessionJournal(Path programDirectory) : folder_(backupFolder(programDirectory)) {}

SessionJournal::~SessionJournal() { end(); }

bool SessionJournal::begin(const JournalEntry& entry, FileError* error) {
    if (!makePrivateFolder(folder_, error)) return false;
    // The entry is written under a temporary name and locked there, so that
    // it appears whole and already held (also from cleaners of temporary files).
    const Path temporary = temporaryNameIn(folder_);
    FileDescriptor file(::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!file.valid()) {
        if (error) *error = {errno, describeErrno(errno)};
        return false;
    }
    const int fd = file.get();
    bool ok = ::flock(fd, LOCK_EX | LOCK_NB) == 0 && writeAll(fd, formatJournalEntry(entry)) && ::fsync(fd) == 0;
    int code = ok ? 0 : errno;
    if (ok && !entry_.empty()) {
        ok = ::rename(temporary.c_str(), entry_.c_str()) == 0;
    } else if (ok) {
        ok = false;
        for (int attempt = 0; attempt < 100 && !ok; ++attempt) {
            const Path name = folder_ + "/" + std::string(kEntryPrefix) + std::to_string(::getpid()) + "-" +
                              randomLetters(12) + std::string(kEntrySuffix);
            if (renameNoReplace(temporary, name)) {
                entry_ = name;
                ok = true;
            }
        }
    }
    if (ok && !syncFolderOf(entry_)) {
        // Not durable: the entry may be gone after a power cut. Held all the
        // same (it names the copy while the program lives); told as a failure.
        ok = false;
        code = EIO;
        lockFd_ = std::move(file);
        if (error) *error = {code, describeErrno(code)};
        return false;
    }
    if (!ok) {
        if (!code) code = errno ? errno : EIO;
        ::unlink(temporary.c_str());
        if (error) *error = {code, describeErrno(code)};
        return false;
    }
    lockFd_ = std::move(file);  // closes the replaced entry's file
    return true;
}

void SessionJournal::end() {
    if (!lockFd_.valid()) return;
    // Still holding it: nobody can have claimed it meanwhile.
    ::unlink(entry_.c_str());
    lockFd_.close();
    entry_.clear();
}

InterruptedSession::InterruptedSession(JournalEntry e, Path path, int claimFd)
    : entry(std::move(e)), entryPath(std::move(path)), claimFd_(claimFd) {}

void InterruptedSession::forget() {
    if (!claimFd_.valid()) return;
    ::unlink(entryPath.c_str());
    ::unlink(lockPathOf(entryPath).c_str());
    claimFd_.close();
}

std::vector<InterruptedSession> findInterruptedSessions(const Path& programDirectory) {
    const Path folder = backupFolder(programDirectory);
    std::vector<std::pair<timespec, InterruptedSession>> found;
    DIR* dir = privateFolder(folder) ? ::opendir(folder.c_str()) : nullptr;
    if (dir) {
        while (dirent* d = ::readdir(dir)) {
            if (found.size() >= kMostClaimed) break;
            const std::string_view name = d->d_name;
            if (!name.starts_with(kEntryPrefix)) continue;
            const Path path = folder + "/" + std::string(name);
            // A lock file of an older version's program that ended between
            // two sessions: removed only while we hold it ourselves.
            if (name.ends_with(kLockSuffix)) {
                const Path entryPath = path.substr(0, path.size() - kLockSuffix.size()) + std::string(kEntrySuffix);
                if (fileExists(entryPath)) continue;
                const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
                if (fd.valid() && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
                continue;
            }
            if (!name.ends_with(kEntrySuffix)) continue;
            const int fd = claim(path);
            if (fd < 0) continue;
            struct stat st {};
            timespec written{};
            if (::fstat(fd, &st) == 0) written = st.st_mtim;
            auto bytes = readFd(fd, 1 << 20);
            auto entry = bytes ? parseJournalEntry(*bytes) : std::nullopt;
            if (entry) {
                const auto copy = ownCopy(folder, entry->backup);
                entry->backup = copy.value_or(Path());
            }
            InterruptedSession s(entry.value_or(JournalEntry{}), path, fd);
            if (!entry || entry->backup.empty() || !copyDiffersFromDocument(*entry)) {
                // Nothing to get back: done with here, so that a thousand such
                // entries hold no descriptors. A copy never written goes too.
                if (entry && !entry->backup.empty() && fileSize(entry->backup) == 0) ::unlink(entry->backup.c_str());
                s.forget();
                continue;
            }
            s.worthRestoring = true;
            found.emplace_back(written, std::move(s));
        }
        ::closedir(dir);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return olderThan(a.first, b.first); });
    std::vector<InterruptedSession> out;
    for (auto& f : found) out.push_back(std::move(f.second));
    return out;
}

void keepFromNow(const Path& copy) {
    // The copy's time is when its days began: never follows a link.
    if (!copy.empty()) ::utimensat(AT_FDCWD, copy.c_str(), nullptr, AT_SYMLINK_NOFOLLOW);
}

namespace {

// Made at the first start that prunes: copies older than it are counted
// from it, never from their own last write.
constexpr std::string_view kKeptSince = ".kept-since";

// "<title> YYYY-MM-DD HHMMSS[ (n)].txt|.tlr": a copy of one session.
bool sessionCopyName(std::string_view name) {
    if (!name.ends_with(".txt") && !name.ends_with(".tlr")) return false;
    name.remove_suffix(4);
    if (name.ends_with(")")) {
        const auto open = name.rfind(" (");
        if (open == std::string_view::npos) return false;
        name = name.substr(0, open);
    }
    constexpr std::string_view shape = " 0000-00-00 000000";
    if (name.size() < shape.size()) return false;
    const std::string_view tail = name.substr(name.size() - shape.size());
    for (std::size_t i = 0; i < shape.size(); ++i)
        if (shape[i] == '0' ? (tail[i] < '0' || tail[i] > '9') : tail[i] != shape[i]) return false;
    return true;
}

}  // namespace

PruneResult pruneOldBackups(const Path& programDirectory, const std::vector<Path>& offered) {
    PruneResult result;
    const Path folder = backupFolder(programDirectory);
    if (!privateFolder(folder)) return result;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return result;
    std::vector<std::string> names, needed;
    while (dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == ".." || name == kKeptSince || name.starts_with(kTempPrefix)) continue;
        if (name.starts_with(kEntryPrefix) && (name.ends_with(kEntrySuffix) || name.ends_with(kLockSuffix))) {
            // Every entry, held or not, keeps its copy.
            if (name.ends_with(kEntrySuffix))
                if (auto bytes = readWholeFile(folder + "/" + name, nullptr, 1 << 20))
                    if (auto entry = parseJournalEntry(*bytes)) needed.push_back(baseName(entry->backup));
            continue;
        }
        names.push_back(name);
    }
    ::closedir(dir);
    const std::time_t now = std::time(nullptr);
    // The first start of a version that prunes: what is there now is kept
    // its days from this moment. Without the mark nothing is pruned.
    // Only files of the writer's own are copies; links and the like stay as they are.
    std::erase_if(names, [&](const std::string& name) {
        struct stat st {};
        return ::lstat((folder + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid();
    });
    const Path mark = folder + "/" + std::string(kKeptSince);
    struct stat markSt {};
    if (::lstat(mark.c_str(), &markSt) != 0) {
        if (!writeFileAtomic(mark, "", nullptr, InPlace::Refuse, {}, FileMode::OwnerOnly)) return result;
        // A copy a journal entry names, or one just offered, is a session's, not a leftover.
        const auto told = [&](const std::string& name) {
            return std::find(needed.begin(), needed.end(), name) != needed.end() ||
                   std::any_of(offered.begin(), offered.end(), [&](const Path& p) { return baseName(p) == name; });
        };
        for (const std::string& name : names) result.earlierCopies += !sessionCopyName(name) && !told(name);
        return result;
    }
    if (!S_ISREG(markSt.st_mode)) return result;
    const std::time_t since = markSt.st_mtime;
    const std::time_t limit = static_cast<std::time_t>(kBackupDaysKept) * 24 * 60 * 60;
    for (const std::string& name : names) {
        if (std::find(needed.begin(), needed.end(), name) != needed.end()) continue;
        const Path path = folder + "/" + name;
        struct stat st {};
        // A time ahead of the clock is no age: such a copy is kept.
        if (::lstat(path.c_str(), &st) != 0 || st.st_mtime > now ||
            now - std::max(st.st_mtime, since) <= limit)
            continue;
        if (::unlink(path.c_str()) == 0) ++result.removed;
    }
    return result;
}

namespace {

// "<title> YYYY-MM-DD HHMMSS", " (n)" after it for a second session in that
// second; copies of older versions were named after the title alone.
std::string titleOfCopy(std::string name) {
    if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
    if (name.size() > 4 && name.back() == ')') {
        const auto open = name.rfind(" (");
        if (open != std::string::npos) name.resize(open);
    }
    constexpr std::size_t kWhen = 18;  // " YYYY-MM-DD HHMMSS"
    if (name.size() > kWhen && name[name.size() - kWhen] == ' ' && name[name.size() - kWhen + 5] == '-' &&
        name[name.size() - 7] == ' ')
        name.resize(name.size() - kWhen);
    return name;
}

}  // namespace

std::vector<KeptBackupCopy> keptBackupCopies(const Path& programDirectory) {
    const Path folder = backupFolder(programDirectory);
    std::vector<KeptBackupCopy> out;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return out;
    std::vector<std::string> names, needed;
    while (dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == ".." || name.starts_with(kTempPrefix)) continue;
        if (name.starts_with(kEntryPrefix) && (name.ends_with(kEntrySuffix) || name.ends_with(kLockSuffix))) {
            if (name.ends_with(kEntrySuffix))
                if (auto bytes = readWholeFile(folder + "/" + name, nullptr, 1 << 20))
                    if (auto entry = parseJournalEntry(*bytes)) needed.push_back(baseName(entry->backup));
            continue;
        }
        if (name.ends_with(".txt") || name.ends_with(".tlr")) names.push_back(name);
    }
    ::closedir(dir);
    // Kept as pruning keeps them: their days count from the answer (the
    // copy's time) or, for copies older than it, from the upgrade's mark.
    struct stat markSt {};
    const long long since = ::lstat((folder + "/" + std::string(kKeptSince)).c_str(), &markSt) == 0 && S_ISREG(markSt.st_mode)
                                ? static_cast<long long>(markSt.st_mtime) : 0;
    for (const std::string& name : names) {
        if (std::find(needed.begin(), needed.end(), name) != needed.end()) continue;
        const Path path = folder + "/" + name;
        struct stat st {};
        // Only the program's own copies: the writer's regular files, never a link.
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || st.st_size == 0)
            continue;
        const long long written = st.st_mtime;
        out.push_back({path, titleOfCopy(name), written,
                       std::max(written, since) + static_cast<long long>(kBackupDaysKept) * 24 * 60 * 60,
                       name.ends_with(".tlr"), static_cast<std::uint64_t>(st.st_size)});
    }
    std::sort(out.begin(), out.end(), [](const KeptBackupCopy& a, const KeptBackupCopy& b) { return a.written > b.written; });
    return out;
}

}  // namespace talery
