#pragma once
// The recorder and the WAV player of the main window, with the sound devices
// they talk to. Until devices are attached the machine counts as having none.

#include "audio/recorder.h"
#include "audio/wav_playback.h"

namespace talery {

class AudioUnits {
public:
    // `note`: where the recorder and the player say what the writer should know.
    AudioUnits(Window& window, const Clock& clock, const SettingsStore& settings,
               const std::function<void(const Text&)>& note = {})
        : recorder_(window, clock, settings, noCapture_, noCue_, note), playback_(window, noMedia_, note) {}

    void attach(CaptureDevice& capture, MediaBackend& media, CuePlayer& cue) {
        recorder_.setDevices(capture, cue);
        playback_.setBackend(media);
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
