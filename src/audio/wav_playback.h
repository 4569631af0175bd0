#pragma once
// The WAV player strip: open a file and play it, play / pause, stop.

#include "audio/media_player.h"
#include "ui/window.h"

#include <functional>

namespace talery {

class WavPlayback {
public:
    enum State { NothingOpened = 0, Playing = 1, Paused = 2 };

    WavPlayback(Window& window, MediaBackend& backend) : window_(window), unit_(backend) {}

    void setBackend(MediaBackend& backend) { unit_.setBackend(backend); }
    // A short note in the status bar (the sound device that cannot be opened).
    void setNote(std::function<void(const Text&)> note) { note_ = std::move(note); }

    // Shows the strip and plays the file from its start. A file that is no
    // playable WAV is refused with a message and changes nothing.
    bool openWav(const Path& path);
    void onPlayPauseClicked();
    void onStopClicked();
    // One tick of the one-second timer: the strip shows where playback is.
    void tick();
    // "wav播放控制面板  0:03 / 1:20"; the bare caption while nothing is known.
    static Text caption(const std::optional<MediaProgress>& progress);

    State state() const { return state_; }
    MediaPlayerUnit& unit() { return unit_; }

private:
    Window& window_;
    MediaPlayerUnit unit_;
    State state_ = NothingOpened;
    std::function<void(const Text&)> note_;
};

}  // namespace talery
