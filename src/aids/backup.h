#pragma once
// The automatic backup copy: one file per title in a folder of its own in the
// program directory, written off the typing path by a thread of its own.

#include "core/files.h"
#include "core/text.h"
#include "ui/body_change.h"

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
// title is cut and marked with a hash of the whole), ".tlr" when enciphered.
Path backupPath(const Path& programDirectory, const Text& title, bool enciphered);

struct BackupTarget {
    Path path;
    std::optional<std::string> keyText;  // set: the copy is enciphered with it
    friend bool operator==(const BackupTarget&, const BackupTarget&) = default;
};

// Writes the latest body to the latest target, coalescing: a change asks for
// a write `delay` after it; a stream of changes is written at least every
// `longestWait` (longer for texts of many megabytes). Failures are silent: the copy is a convenience, typing goes on.
//
// The body is taken on the window's thread when a write is due (a copy of
// the document, no conversion) and converted and written on the writer's own
// thread a slice at a time, so no second copy of a long text stays in memory.
class BackupWriter {
public:
    using Snapshot = std::function<std::shared_ptr<const BodySnapshot>()>;  // the body now
    using Post = std::function<void(std::function<void()>)>;                // run on the window's thread
    BackupWriter(Snapshot snapshot, Post post, std::chrono::milliseconds delay = std::chrono::milliseconds(300),
                 std::chrono::milliseconds longestWait = std::chrono::seconds(1));
    ~BackupWriter();  // writes what is pending
    BackupWriter(const BackupWriter&) = delete;
    BackupWriter& operator=(const BackupWriter&) = delete;

    // The body changed; write it to `target`.
    void schedule(BackupTarget target);
    // The body is about to change in a way that is not to be backed up: keep
    // the pending write to the body as it is now.
    void freeze();
    // The body changed in a way that is not to be backed up: a pending write
    // not frozen before it would copy that change, so it is dropped.
    void dropUnfrozen();
    // Writes what is pending now, on the caller's (the window's) thread.
    void flush();
    // Writes completed so far (successful or not), for tests.
    int writesDone() const;

private:
    struct State;
    void run();
    void writePending(std::unique_lock<std::mutex>& lock);

    std::shared_ptr<State> state_;  // posted requests hold it weakly
    Post post_;
    std::mutex writing_;  // one write at a time
    std::thread thread_;
};

// Writes one copy, a slice at a time: creates the folder, never follows a
// link out of it. Returns the bytes written, nothing on failure.
std::optional<std::uint64_t> writeBackup(const BackupTarget& target, const BodySnapshot& body);

}  // namespace talery
