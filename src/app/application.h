#pragma once
// The program's logic as one object: it owns the process-wide records, binds
// the window's events to the operations, and decides whether the window may close.

#include "app/settings.h"
#include "core/clock.h"
#include "session/diary.h"
#include "session/drops.h"
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
    DiaryMode& diary() { return diary_; }
    const SettingsStore& settings() const { return settings_; }

private:
    Window& window_;
    const Clock& clock_;
    SettingsStore settings_;
    // Diary mode: built before the session, which ends it through its hooks.
    DiaryMode diary_;
    SessionController session_;
    // Files dropped onto the window.
    DropHandler drops_;
};

}  // namespace talery
