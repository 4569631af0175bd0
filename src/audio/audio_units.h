#pragma once
// The recorder and the WAV player of the main window, with the sound devices
// they talk to. Until devices are attached the machine counts as having none.

#include "audio/recorder.h"
#include "audio/wav_playback.h"

namespace talery {

class AudioUnits {
public:
    AudioUnits(Window& window, const Clock& clock, const SettingsStore& settings)
        : recorder_(window, clock, settings, noCapture_, noCue_), playback_(window, noMedia_) {}

    void attach(CaptureDevice& capture, MediaBackend& media, CuePlayer& cue) {
        recorder_.setDevices(capture, cue);
        playback_.setBackend(media);
    }

    // Where the recorder and the player say what the writer should know.
    void setNote(const std::function<void(const Text&)>& note) {
        recorder_.setNote(note);
        playback_.setNote(note);
    }

    Recorder& recorder() { return recorder_; }
    WavPlayback& playback() { return playback_; }

private:
    NoCaptureDevice noCapture_;
    NoMediaBackend noMedia_;
    NoCuePlayer noCue_;
    Recorder recorder_;
    WavPlayback playback_;
};

}  // namespace talery
