#pragma once
// The record button: the first press starts recording the default input,
// the next stops it and offers to save the recording as a WAV file.

#include "audio/capture_store.h"
#include "core/clock.h"
#include "core/settings.h"
#include "ui/window.h"

#include <functional>

namespace talery {

// Plays the short start cue once, in the background.
class CuePlayer {
public:
    virtual ~CuePlayer() = default;
    virtual void playStartCue() = 0;
};

class NoCuePlayer final : public CuePlayer {
public:
    void playStartCue() override {}
};

class Recorder {
public:
    // `note` says what the writer should know without a box; without one, the status bar.
    Recorder(Window& window, const Clock& clock, const SettingsStore& settings, CaptureDevice& device, CuePlayer& cue,
             std::function<void(const Text&)> note = {});

    // Only while not recording.
    void setDevices(CaptureDevice& device, CuePlayer& cue);

    void onRecordButtonPressed();
    // A short note in the status bar (a recording saved, with its path).

    bool recording() const { return recording_; }
    CaptureStore& store() { return store_; }

    // The file name the save dialog offers, UTF-8 and without extension:
    // 2015年10月7日by：Talery录音.
    static std::string offeredName(const LocalDateTime& day);

private:
    void start();
    void stop();
    void setIdle();
    void onDeviceLost();
    void say(const Text& note);

    Window& window_;
    const Clock& clock_;
    const SettingsStore& settings_;
    CuePlayer* cue_;
    CaptureStore store_;
    bool recording_ = false;
    std::function<void(const Text&)> note_;
};

}  // namespace talery
