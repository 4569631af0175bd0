#pragma once
// The automatic backup copy: one file per title in a folder of its own in the
// program directory, written off the typing path by a thread of its own.

#include "core/files.h"
#include "core/text.h"

#include <chrono>
#include <condition_variable>
#include <functional>
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
class BackupWriter {
public:
    using Snapshot = std::function<std::string()>;  // the body now; called on the writer's thread
    BackupWriter(Snapshot snapshot, std::chrono::milliseconds delay = std::chrono::milliseconds(300),
                 std::chrono::milliseconds longestWait = std::chrono::seconds(1));
    ~BackupWriter();  // writes what is pending
    BackupWriter(const BackupWriter&) = delete;
    BackupWriter& operator=(const BackupWriter&) = delete;

    // The body changed; write it to `target`.
    void schedule(BackupTarget target);
    // The body is about to change in a way that is not to be backed up: keep
    // the pending write to the body as it is now.
    void freeze();
    // Writes what is pending now, on the caller's thread.
    void flush();
    // Writes completed so far (successful or not), for tests.
    int writesDone() const;

private:
    void run();
    void writePending(std::unique_lock<std::mutex>& lock);

    Snapshot snapshot_;
    std::chrono::milliseconds delay_, longestWait_, sizeWait_{0};
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool pending_ = false;
    bool stopping_ = false;
    std::optional<std::string> frozen_;
    BackupTarget target_;
    std::chrono::steady_clock::time_point due_{}, latest_{};
    int writes_ = 0;
    std::mutex writing_;  // one write at a time
    std::thread thread_;
};

// Writes one copy: creates the folder, never follows a link out of it.
bool writeBackup(const BackupTarget& target, std::string_view body);

}  // namespace talery
