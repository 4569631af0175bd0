#include "aids/backup.h"

#include "session/cipher.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace talery {
namespace {

// Room for the writer's temporary name (".NAME.XXXXXX") within the 255 bytes
// a file name may have.
constexpr std::size_t kLongestName = 200;

bool unsafeInName(unsigned char c) {
    return c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
           c == '<' || c == '>' || c == '|';
}

std::string hash8(std::string_view bytes) {
    std::uint32_t h = 2166136261u;  // FNV-1a
    for (char c : bytes) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    char buf[9];
    std::snprintf(buf, sizeof buf, "%08x", h);
    return buf;
}

}  // namespace

Path backupFolder(const Path& programDirectory) { return programDirectory + "/backup"; }

Path backupPath(const Path& programDirectory, const Text& title, bool enciphered) {
    std::string name = gbkToUtf8Lossy(title);
    for (char& c : name)
        if (unsafeInName(static_cast<unsigned char>(c))) c = '_';
    const std::string extension = enciphered ? ".tlr" : ".txt";
    if (name.size() + extension.size() > kLongestName) {
        const std::string mark = "~" + hash8(title);
        std::size_t cut = kLongestName - extension.size() - mark.size();
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8 characters
        name = name.substr(0, cut) + mark;
    }
    return backupFolder(programDirectory) + "/" + name + extension;
}

bool writeBackup(const BackupTarget& target, std::string_view body) {
    const Path folder = parentFolder(target.path);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    // A link in the folder would carry the copy elsewhere: replace it by a file.
    if (::lstat(target.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (!S_ISLNK(st.st_mode) || ::unlink(target.path.c_str()) != 0) return false;
    }
    if (target.keyText) return writeFileAtomic(target.path, encryptText(body, *target.keyText));
    return writeFileAtomic(target.path, body);
}

BackupWriter::BackupWriter(Snapshot snapshot, std::chrono::milliseconds delay, std::chrono::milliseconds longestWait)
    : snapshot_(std::move(snapshot)), delay_(delay), longestWait_(longestWait), thread_([this] { run(); }) {}

BackupWriter::~BackupWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    flush();
}

void BackupWriter::schedule(BackupTarget target) {
    const auto now = std::chrono::steady_clock::now();
    bool wasPending;
    {
        std::lock_guard lock(mutex_);
        wasPending = pending_;
        if (!pending_) latest_ = now + std::max(longestWait_, sizeWait_);
        pending_ = true;
        frozen_.reset();
        if (!(target_ == target)) target_ = std::move(target);
        due_ = std::min(now + delay_, latest_);
    }
    // A writer already waiting finds the later time when it wakes: no
    // wake-up per keystroke.
    if (!wasPending) wake_.notify_all();
}

void BackupWriter::freeze() {
    std::lock_guard lock(mutex_);
    if (pending_ && !frozen_) frozen_ = snapshot_();
}

void BackupWriter::flush() {
    std::unique_lock lock(mutex_);
    if (pending_) writePending(lock);
}

int BackupWriter::writesDone() const {
    std::lock_guard lock(mutex_);
    return writes_;
}

void BackupWriter::writePending(std::unique_lock<std::mutex>& lock) {
    pending_ = false;
    const BackupTarget target = target_;
    std::optional<std::string> body = std::move(frozen_);
    frozen_.reset();
    lock.unlock();
    {
        std::lock_guard one(writing_);
        if (!body) body = snapshot_();
        writeBackup(target, *body);
    }
    lock.lock();
    // While a long text is typed into without a pause, copy it less often:
    // two seconds per megabyte, which also spares the disk a rewrite of
    // megabytes every few seconds.
    sizeWait_ = std::chrono::milliseconds(body->size() >> 20 << 11);
    ++writes_;
}

void BackupWriter::run() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (!pending_) {
            wake_.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < due_) {
            wake_.wait_until(lock, due_);
            continue;
        }
        writePending(lock);
    }
}

}  // namespace talery
