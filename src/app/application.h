#pragma once
// The program's logic as one object: it owns the process-wide records, binds
// the window's events to the operations, and decides whether the window may close.

#include "app/settings.h"
#include "audio/audio_units.h"
#include "core/clock.h"
#include "session/writing_session.h"
#include "ui/window.h"

namespace talery {

class Application : public EventSink {
public:
    Application(Window& window, const Clock& clock, SettingsStore settings);
    ~Application() override;

    // Fills the window's content stores and records the day of the start.
    void start();

    void handle(const UiEvent& event) override;
    bool closeRequested() override;

    SessionController& session() { return session_; }
    const SettingsStore& settings() const { return settings_; }

    // Voice recorder and WAV playback.
    AudioUnits& audio() { return audio_; }
    // Shows the player strip and plays a WAV file (open command, drops, command line).
    void openWav(const Path& path) { audio_.playback().openWav(path); }

private:
    Window& window_;
    const Clock& clock_;
    SettingsStore settings_;
    SessionController session_;
    AudioUnits audio_;  // voice recorder and WAV playback
};

}  // namespace talery
