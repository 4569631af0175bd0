#pragma once
// The invisible media player unit: six requests to whatever plays sound on
// this machine, each addressing the loaded file by the unit's alias.

#include "core/files.h"

#include <optional>
#include <string>

namespace talery {

struct MediaRequest {
    enum class Kind { Open, Play, PlayFrom, Pause, Resume, Stop, SeekToStart, Close };
    Kind kind = Kind::Close;
    std::string alias;
    Path path;               // Open
    std::string deviceType;  // Open: "waveaudio" for WAV files
    long position = 0;       // PlayFrom

    // The request in the media control interface's words, e.g. "pause A1B2...".
    std::string text() const;
};

struct MediaProgress {
    long positionMs = 0;
    long lengthMs = 0;    // 0 while not yet known
    bool ended = false;   // played to its end
};

class MediaBackend {
public:
    virtual ~MediaBackend() = default;
    // True when the request succeeded.
    virtual bool request(const MediaRequest& request) = 0;
    // Where playback of the file open under `alias` is; nothing when that is
    // not known (nothing open, or a backend that cannot tell).
    virtual std::optional<MediaProgress> progress(const std::string& alias) const {
        (void)alias;
        return std::nullopt;
    }
};

// Nothing can play sound here: every request fails.
class NoMediaBackend final : public MediaBackend {
public:
    bool request(const MediaRequest&) override { return false; }
};

// A fresh random (version 4) UUID as 32 hexadecimal digits, without "-".
std::string newMediaAlias();

class MediaPlayerUnit {
public:
    explicit MediaPlayerUnit(MediaBackend& backend, std::string alias = newMediaAlias())
        : backend_(&backend), alias_(std::move(alias)) {}

    void setBackend(MediaBackend& backend) { backend_ = &backend; }
    const std::string& alias() const { return alias_; }
    const Path& path() const { return path_; }
    const std::string& extension() const { return extension_; }

    bool openMedia(const Path& path);
    // -1 plays from the current position, n from position n.
    bool playMedia(long position = -1);
    bool togglePause();
    bool stopMedia();
    bool closeMedia();
    std::optional<MediaProgress> progress() const { return backend_->progress(alias_); }

private:
    bool send(MediaRequest::Kind kind, long position = 0);

    MediaBackend* backend_;
    std::string alias_;
    Path path_;
    std::string extension_;
    bool paused_ = false;  // whether the next pause request resumes
};

}  // namespace talery
