#pragma once
// The program's logic as one object: it owns the process-wide records, binds
// the window's events to the operations, and decides whether the window may close.

#include "aids/text_statistics.h"
#include "app/settings.h"
#include "core/clock.h"
#include "session/writing_session.h"

#include <cstdint>
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
    // The points total every gate compares with its bound.
    std::int32_t pointsTotal() const { return points_; }
    // Text statistics.
    TextStatistics& statistics() { return statistics_; }

private:
    Window& window_;
    const Clock& clock_;
    SettingsStore settings_;
    SessionController session_;
    std::int32_t points_ = 0;
    // Text statistics: after the records it reads.
    TextStatistics statistics_{window_, clock_, settings_, session_, [this] { return points_; }};
};

}  // namespace talery
