#pragma once
// The WAV player strip: open a file and play it, play / pause, stop.

#include "audio/media_player.h"
#include "ui/window.h"

#include <functional>

namespace talery {

class WavPlayback {
public:
    enum State { NothingOpened = 0, Playing = 1, Paused = 2 };

    // `note` says what the writer should know without a box; without one, the status bar.
    WavPlayback(Window& window, MediaBackend& backend, std::function<void(const Text&)> note = {})
        : window_(window), unit_(backend), note_(std::move(note)) {}

    void setBackend(MediaBackend& backend) { unit_.setBackend(backend); }
    // A short note in the status bar (the sound device that cannot be opened).

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
