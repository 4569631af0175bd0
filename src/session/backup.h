#pragma once
// The automatic backup copy: one file per writing session in a folder of its
// own in the program directory, written off the typing path by a thread of
// its own. The folder and the copies are the owner's alone.

#include "core/clock.h"
#include "core/files.h"
#include "core/text.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace talery {

// The backup folder in the program directory.
Path backupFolder(const Path& programDirectory);
// The backup file of a title: the title as a file name that stays inside the
// folder (separators and characters file systems refuse become "_", a long
// title is cut and marked with a hash of the whole), then `tag`, then ".tlr"
// when enciphered, else ".txt".
Path backupPath(const Path& programDirectory, const Text& title, bool enciphered, std::string_view tag = {});
// Takes a copy's name for a session with this title begun at `began`
// ("<title> <YYYY-MM-DD HHMMSS>", and " (2)" and on when that is taken) by
// creating it empty, so that no other session, in this program or another,
// ever writes to it. Nothing when the folder cannot be written (or its
// new name not made durable); `error` says why.
std::optional<Path> reserveBackupCopy(const Path& programDirectory, const Text& title, const LocalDateTime& began,
                                      bool enciphered, FileError* error = nullptr);

struct BackupTarget {
    Path path;
    std::optional<std::string> keyText;  // set: the copy is enciphered with it
    friend bool operator==(const BackupTarget&, const BackupTarget&) = default;
};

// Writes the latest body to the latest target, coalescing: a change asks for
// a write `delay` after it; a stream of changes is written at least every
// `longestWait` (longer for texts of many megabytes). Typing never waits for
// a copy; whether each copy was written is told (see setWritten).
//
// The body lives in the window, which only its own thread may read. The
// writer's thread asks that thread for one slice at a time between its
// events, so neither thread ever holds a second copy of a long text and
// typing goes on meanwhile. A change behind what a copy has read so far
// makes that copy start again; one further on is read with the rest.
class BackupWriter {
public:
    // The body, read on the window's thread.
    struct Body {
        std::function<Text(std::size_t position, std::size_t count)> text;  // as Window::bodyText
        std::function<std::size_t()> length;
    };
    using Post = std::function<void(std::function<void()>)>;  // run on the window's thread
    BackupWriter(Body body, Post post, std::chrono::milliseconds delay = std::chrono::milliseconds(300),
                 std::chrono::milliseconds longestWait = std::chrono::seconds(1));
    ~BackupWriter();  // writes what is pending
    BackupWriter(const BackupWriter&) = delete;
    BackupWriter& operator=(const BackupWriter&) = delete;

    // The body changed at `position`; write it to `target`.
    void schedule(BackupTarget target);
    // Every change of the body, scheduled or not: a copy being read behind
    // `position` starts again.
    void bodyChanged(std::size_t position);
    // The body is about to change in a way that is not to be backed up:
    // what is pending is written now, from the body as it is.
    void freeze() { flush(); }
    // The body changed in a way that is not to be backed up: nothing pending
    // is written from it.
    void dropPending();
    // Writes what is pending now, on the caller's (the window's) thread.
    void flush();
    // Nothing pending or being written is written: on return no copy will
    // be written until the next schedule. The text is safe elsewhere.
    // `between` runs while a copy's last step is waited for.
    void discard(const std::function<void()>& between = {});
    // Writes completed so far (successful or not), for tests.
    int writesDone() const;
    // Waits until no copy is pending or in the making, so that none will be
    // written before the next schedule; false when `timeout` passed first.
    bool waitUntilIdle(std::chrono::milliseconds timeout) const;
    // Told, on the window's thread, of every copy written or failed (not of
    // those given up for a newer one), with the reason of a failure.
    using Written = std::function<void(bool ok, const std::string& reasonUtf8)>;
    void setWritten(Written written);

private:
    struct State;
    void run();

    std::shared_ptr<State> state_;  // requests posted to the window's thread hold it weakly
    Post post_;
    std::timed_mutex writing_;  // one file replaced at a time
    std::thread thread_;
};

// The body's next slice for a copy: empty at the end; nothing when the copy
// is abandoned.
using SliceSource = std::function<std::optional<Text>()>;
// Writes one copy from its slices: creates the folder, never follows a link
// out of it. Returns the bytes written; nothing on failure or when abandoned.
std::optional<std::uint64_t> writeBackup(const BackupTarget& target, const SliceSource& next,
                                         FileError* error = nullptr);

}  // namespace talery
