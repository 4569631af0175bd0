#include "aids/backup.h"

#include "session/cipher.h"

#include <cerrno>
#include <span>
#include <sys/stat.h>
#include <unistd.h>

namespace talery {
namespace {

// Room for the writer's temporary name (".NAME.XXXXXX") within the 255 bytes
// a file name may have.
constexpr std::size_t kLongestName = 200;
// Characters converted and written at a time.
constexpr std::size_t kBackupSlice = std::size_t(1) << 20;

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

std::optional<std::uint64_t> writeBackup(const BackupTarget& target, const BodySnapshot& body) {
    const Path folder = parentFolder(target.path);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
    // A link in the folder would carry the copy elsewhere: replace it by a file.
    if (::lstat(target.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (!S_ISLNK(st.st_mode) || ::unlink(target.path.c_str()) != 0) return std::nullopt;
    }
    std::optional<Rc4> cipher;
    if (target.keyText) cipher.emplace(deriveDocumentKey(*target.keyText));
    std::uint64_t written = 0;
    std::size_t position = 0;
    const std::size_t characters = body.characters();
    const BlockSource next = [&](std::string& block) {
        block = position < characters ? body.text(position, kBackupSlice) : std::string();
        position += kBackupSlice;
        if (cipher) cipher->apply(std::span(reinterpret_cast<std::uint8_t*>(block.data()), block.size()));
        written += block.size();
    };
    if (!writeFileAtomic(target.path, next)) return std::nullopt;
    return written;
}

struct BackupWriter::State {
    Snapshot snapshot;
    std::chrono::milliseconds delay, longestWait, sizeWait{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool pending = false;
    bool stopping = false;
    bool asked = false;  // a request for the body is on its way to the window's thread
    std::shared_ptr<const BodySnapshot> body;  // taken for the pending write
    BackupTarget target;
    std::chrono::steady_clock::time_point due{}, latest{};
    int writes = 0;
};

BackupWriter::BackupWriter(Snapshot snapshot, Post post, std::chrono::milliseconds delay,
                           std::chrono::milliseconds longestWait)
    : state_(std::make_shared<State>()), post_(std::move(post)) {
    state_->snapshot = std::move(snapshot);
    state_->delay = delay;
    state_->longestWait = longestWait;
    thread_ = std::thread([this] { run(); });
}

BackupWriter::~BackupWriter() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
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
        s.body.reset();
        if (!(s.target == target)) s.target = std::move(target);
        s.due = std::min(now + s.delay, s.latest);
    }
    // A writer already waiting finds the later time when it wakes: no
    // wake-up per keystroke.
    if (!wasPending) s.wake.notify_all();
}

void BackupWriter::freeze() {
    std::lock_guard lock(state_->mutex);
    if (state_->pending && !state_->body) state_->body = state_->snapshot();
}

void BackupWriter::dropUnfrozen() {
    std::lock_guard lock(state_->mutex);
    if (!state_->body) state_->pending = false;
}

void BackupWriter::flush() {
    std::unique_lock lock(state_->mutex);
    if (!state_->pending) return;
    if (!state_->body) state_->body = state_->snapshot();
    writePending(lock);
}

int BackupWriter::writesDone() const {
    std::lock_guard lock(state_->mutex);
    return state_->writes;
}

void BackupWriter::writePending(std::unique_lock<std::mutex>& lock) {
    State& s = *state_;
    s.pending = false;
    const BackupTarget target = s.target;
    const std::shared_ptr<const BodySnapshot> body = std::move(s.body);
    s.body.reset();
    lock.unlock();
    std::optional<std::uint64_t> bytes;
    {
        std::lock_guard one(writing_);
        bytes = writeBackup(target, *body);
    }
    lock.lock();
    // While a long text is typed into without a pause, copy it less often:
    // two seconds per megabyte, which also spares the disk a rewrite of
    // megabytes every few seconds.
    if (bytes) s.sizeWait = std::chrono::milliseconds(*bytes >> 20 << 11);
    ++s.writes;
}

void BackupWriter::run() {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    while (!s.stopping) {
        if (!s.pending) {
            s.wake.wait(lock);
            continue;
        }
        if (std::chrono::steady_clock::now() < s.due) {
            s.wake.wait_until(lock, s.due);
            continue;
        }
        if (s.body) {
            writePending(lock);
            continue;
        }
        if (!s.asked) {
            s.asked = true;
            // The body can only be read on the window's thread.
            post_([weak = std::weak_ptr<State>(state_)] {
                const auto state = weak.lock();
                if (!state) return;
                std::lock_guard inner(state->mutex);
                state->asked = false;
                if (state->pending && !state->body && !state->stopping) state->body = state->snapshot();
                state->wake.notify_all();
            });
        }
        s.wake.wait(lock);
    }
}

}  // namespace talery
