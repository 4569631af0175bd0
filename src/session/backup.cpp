#include "session/backup.h"

#include "core/cipher.h"

#include <cerrno>
#include <span>
#include <utility>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace talery {
namespace {

// Room for the writer's temporary name (".NAME.XXXXXX") within the 255 bytes
// a file name may have.
constexpr std::size_t kLongestName = 200;
// Characters read at a time: a slice read on the window's thread takes a few
// milliseconds there.
constexpr std::size_t kBackupSlice = std::size_t(1) << 18;

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

Path backupPath(const Path& programDirectory, const Text& title, bool enciphered, std::string_view tag) {
    std::string name = gbkToUtf8Lossy(title);
    for (char& c : name)
        if (unsafeInName(static_cast<unsigned char>(c))) c = '_';
    const std::string extension = std::string(tag) + (enciphered ? ".tlr" : ".txt");
    if (name.size() + extension.size() > kLongestName) {
        const std::string mark = "~" + hash8(title);
        std::size_t cut = kLongestName - extension.size() - mark.size();
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;  // whole UTF-8 characters
        name = name.substr(0, cut) + mark;
    }
    return backupFolder(programDirectory) + "/" + name + extension;
}

std::optional<Path> reserveBackupCopy(const Path& programDirectory, const Text& title, const LocalDateTime& began,
                                      bool enciphered, FileError* error) {
    if (!makePrivateFolder(backupFolder(programDirectory), error)) return std::nullopt;
    char when[32];
    std::snprintf(when, sizeof when, " %04d-%02d-%02d %02d%02d%02d", began.year, began.month, began.day, began.hour,
                  began.minute, began.second);
    for (int n = 1; n < 1000; ++n) {
        const std::string tag = n == 1 ? std::string(when) : std::string(when) + " (" + std::to_string(n) + ")";
        const Path path = backupPath(programDirectory, title, enciphered, tag);
        FileDescriptor fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
        if (fd.valid()) {
            fd.close();
            // The name is the reservation: it must outlive a power cut.
            if (syncFolderOf(path)) return path;
            ::unlink(path.c_str());
            if (error) *error = {EIO, describeErrno(EIO)};
            return std::nullopt;
        }
        if (errno != EEXIST) break;
    }
    if (error) *error = {errno, describeErrno(errno)};
    return std::nullopt;
}

std::optional<std::uint64_t> writeBackup(const BackupTarget& target, const SliceSource& next, FileError* error) {
    if (!makePrivateFolder(parentFolder(target.path), error)) return std::nullopt;
    // A link in the folder would carry the copy elsewhere: the private write
    // replaces it by the file, never following it.
    std::optional<Rc4> cipher;
    if (target.keyText) cipher.emplace(deriveDocumentKey(*target.keyText));
    std::uint64_t written = 0;
    const BlockSource block = [&](std::string& bytes) {
        std::optional<Text> slice = next();
        if (!slice) return false;
        bytes = std::move(*slice);
        if (cipher) cipher->apply(std::span(reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size()));
        written += bytes.size();
        return true;
    };
    if (!writeFileAtomic(target.path, block, error, InPlace::Allow, FileMode::OwnerOnly)) return std::nullopt;
    return written;
}

struct BackupWriter::State {
    Body body;
    std::chrono::milliseconds delay, longestWait, sizeWait{0};
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool pending = false;
    bool stopping = false;
    BackupTarget target;
    std::chrono::steady_clock::time_point due{}, latest{};
    int writes = 0;
    // The copy the writer's thread is making: its number (a new number
    // abandons it), the next character to read, and the slice read for it.
    std::uint64_t copy = 0;
    bool copying = false;
    std::size_t read = 0;
    std::optional<Text> slice;
    bool lastSlice = false;
    bool takenOver = false;  // a flush abandoned the copy and wrote its own
    bool flushing = false;   // the window's thread writes: no copy may start and wait for it
    Written written;         // told on the window's thread

    void wrote(const std::optional<std::uint64_t>& bytes) {
        // While a long text is typed into without a pause, copy it less
        // often: two seconds per megabyte, which also spares the disk a
        // rewrite of megabytes every few seconds.
        if (bytes) sizeWait = std::chrono::milliseconds(*bytes >> 20 << 11);
        ++writes;
    }
};

BackupWriter::BackupWriter(Body body, Post post, std::chrono::milliseconds delay, std::chrono::milliseconds longestWait)
    : state_(std::make_shared<State>()), post_(std::move(post)) {
    state_->body = std::move(body);
    state_->delay = delay;
    state_->longestWait = longestWait;
    thread_ = std::thread([this] { run(); });
}

BackupWriter::~BackupWriter() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
        ++state_->copy;  // a copy in the making is abandoned; flush writes it
    }
    state_->wake.notify_all();
    thread_.join();
    flush();
}

void BackupWriter::schedule(BackupTarget target) {
    State& s = *state_;
    const auto now = std::chrono::steady_clock::now();
    bool wasPending;
    {
        std::lock_guard lock(s.mutex);
        wasPending = s.pending;
        if (!s.pending) s.latest = now + std::max(s.longestWait, s.sizeWait);
        s.pending = true;
        if (!(s.target == target)) s.target = std::move(target);
        s.due = std::min(now + s.delay, s.latest);
    }
    // A writer already waiting finds the later time when it wakes: no
    // wake-up per keystroke.
    if (!wasPending) s.wake.notify_all();
}

void BackupWriter::bodyChanged(std::size_t position) {
    State& s = *state_;
    std::lock_guard lock(s.mutex);
    if (!s.copying || position >= s.read) return;
    ++s.copy;
    s.wake.notify_all();
}

void BackupWriter::dropPending() {
    std::lock_guard lock(state_->mutex);
    state_->pending = false;
}

void BackupWriter::flush() {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (!s.pending && !s.copying) return;
    if (s.copying) {
        ++s.copy;  // the writer's thread gives its copy up: this one replaces it
        s.takenOver = true;
        s.wake.notify_all();
    }
    s.pending = false;
    s.flushing = true;
    const BackupTarget target = s.target;
    lock.unlock();
    std::optional<std::uint64_t> bytes;
    FileError error;
    {
        std::lock_guard one(writing_);
        // This is the window's thread: the body is read here directly.
        std::size_t position = 0;
        bool done = false;
        bytes = writeBackup(target, [&]() -> std::optional<Text> {
            if (done) return Text();
            Text slice = s.body.text(position, kBackupSlice);
            position += kBackupSlice;
            done = position >= s.body.length();
            return slice;
        }, &error);
    }
    lock.lock();
    s.flushing = false;
    s.wrote(bytes);
    s.wake.notify_all();
    const Written tell = s.written;
    lock.unlock();
    if (tell) tell(bytes.has_value(), error.reasonUtf8);
}

void BackupWriter::setWritten(Written written) {
    std::lock_guard lock(state_->mutex);
    state_->written = std::move(written);
}

void BackupWriter::discard(const std::function<void()>& between) {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        s.pending = false;
        if (s.copying) {
            ++s.copy;  // abandoned at its next slice, and not asked for again
            s.takenOver = true;
            s.wake.notify_all();
        }
    }
    // A copy past its last slice is renamed under this lock: wait for it
    // (flushing a long one to disk takes a while).
    while (!writing_.try_lock_for(std::chrono::milliseconds(15)))
        if (between) between();
    writing_.unlock();
}

int BackupWriter::writesDone() const {
    std::lock_guard lock(state_->mutex);
    return state_->writes;
}

bool BackupWriter::waitUntilIdle(std::chrono::milliseconds timeout) const {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    return s.wake.wait_for(lock, timeout, [&s] { return !s.pending && !s.copying && !s.flushing; });
}

void BackupWriter::run() {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    while (!s.stopping) {
        if (!s.pending || s.flushing) {
            s.wake.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < s.due) {
            s.wake.wait_until(lock, s.due);
            continue;
        }
        s.pending = false;
        const BackupTarget target = s.target;
        const std::uint64_t copy = ++s.copy;
        s.copying = true;
        s.takenOver = false;
        s.read = 0;
        s.slice.reset();
        bool delivered = false;  // the last slice went out
        // Held only from the last slice to the file's rename, never while
        // waiting for the window: a flush that gave this copy up writes after.
        std::unique_lock finishing(writing_, std::defer_lock);
        // Each slice is read by the window's thread between its events.
        const SliceSource next = [&]() -> std::optional<Text> {
            std::unique_lock inner(s.mutex);
            if (delivered) {
                inner.unlock();
                finishing.lock();
                inner.lock();
                if (s.copy != copy) return std::nullopt;
                return Text();
            }
            if (s.copy != copy) return std::nullopt;
            post_([weak = std::weak_ptr<State>(state_), copy] {
                const auto state = weak.lock();
                if (!state) return;
                std::lock_guard hold(state->mutex);
                if (state->copy != copy) return;
                state->slice = state->body.text(state->read, kBackupSlice);
                state->read += kBackupSlice;
                state->lastSlice = state->read >= state->body.length();
                state->wake.notify_all();
            });
            s.wake.wait(inner, [&] { return s.slice || s.copy != copy; });
            if (s.copy != copy) return std::nullopt;
            Text slice = std::move(*s.slice);
            s.slice.reset();
            delivered = s.lastSlice;
            return slice;
        };
        lock.unlock();
        FileError error;
        const std::optional<std::uint64_t> bytes = writeBackup(target, next, &error);
        if (finishing.owns_lock()) finishing.unlock();
        lock.lock();
        s.copying = false;
        s.wake.notify_all();  // for waitUntilIdle
        if (bytes || s.copy == copy) {
            s.wrote(bytes);
            if (s.written)
                post_([weak = std::weak_ptr<State>(state_), ok = bytes.has_value(), reason = error.reasonUtf8] {
                    if (const auto state = weak.lock()) {
                        std::unique_lock hold(state->mutex);
                        const Written tell = state->written;
                        hold.unlock();
                        if (tell) tell(ok, reason);
                    }
                });
        } else if (!std::exchange(s.takenOver, false)) {
            // Abandoned, and not for a flush that wrote instead: the body
            // still waits for its copy.
            s.pending = true;
        }
    }
}

}  // namespace talery
