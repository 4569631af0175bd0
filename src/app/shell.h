#pragma once
// The main window's life: what start-up restores, what the notification-area
// icon does, and what closing saves.

#include "app/theme.h"
#include "core/clock.h"
#include "core/settings.h"
#include "session/diary.h"
#include "session/writing_session.h"
#include "ui/window.h"

#include <cstdint>
#include <vector>

namespace talery {

// Smallest window a stored size may give; smaller ones are not a window one can use.
// It is also the least the resize handles give: every unit of the title row
// and the status bar is whole at this size.
constexpr int kMinimumWindowWidth = 640;
constexpr int kMinimumWindowHeight = 400;

// A stored window dimension as the window takes it: the design value when
// the stored one is missing, too small or larger than the screen, and never
// more than the screen (a `screenExtent` of 0 means it is unknown).
int restoredExtent(int stored, int design, int minimum, int screenExtent);

// The screen a window frame belongs to: the index of the area it covers most
// of, or 0 (the primary screen) when it lies on none, as when its monitor is gone.
std::size_t screenOf(const Rect& frame, const std::vector<Rect>& screenAreas);
// Where the window opens: `wanted` shrunk to the available area of its
// screen and, when any part of it would still lie outside, centred there.
// Without any known screen it stays as wanted.
Rect fitWindowRect(const Rect& wanted, const std::vector<Rect>& screenAreas);

class Shell {
public:
    Shell(Window& window, const Clock& clock, const SettingsStore& settings, SessionController& session,
          DiaryMode& diary, Theme& theme, std::int32_t& points);

    // The start-up sequence, once the content stores are filled.
    void startUp();
    // Closing: saves a running session whose text is not on disk; false
    // keeps the window open (the save was cancelled or failed).
    bool shutDown();
    // Notification-area icon: 1 left button released, 2 double click, 3 right button.
    void trayEvent(int type);

private:
    void restoreWindowSize();
    void placeWindow(int storedWidth, int storedHeight, const IniFile& file);
    void restorePanel();

    Window& w_;
    const Clock& clock_;
    const SettingsStore& settings_;
    SessionController& session_;
    DiaryMode& diary_;
    Theme& theme_;
    std::int32_t& points_;
};

}  // namespace talery
