#pragma once
// Diary mode: a writing session whose title comes from the date, in a bright
// colour that cannot be changed, with the tips silenced. It ends with the
// session, and ending it records the day as a diary day.

#include "core/clock.h"
#include "core/settings.h"
#include "session/writing_session.h"

#include <functional>

namespace talery {

// "2015年10月7日星期三     by：Talery日记".
Text diaryTitle(const LocalDateTime& t);

constexpr Colour kDiaryBackground = rgb(255, 128, 0);

// While the session's phase is Diary the colour picker 颜色 is disabled, so
// the background cannot be changed meanwhile.
class DiaryMode {
public:
    // What diary mode needs of the theme.
    struct Theme {
        std::function<void()> applyBackgroundColour;  // the colour of 颜色 to the window and the body
        std::function<void()> saveSettings;           // what the panel's "确定" does
    };

    DiaryMode(Window& window, const Clock& clock, const SettingsStore& settings, SessionController& session,
              Theme theme);

    bool active() const { return session_.diaryMode(); }

    // The menu entry 新建日记.
    void enterDiaryMode();
    // Ends diary mode while the session goes on: back to the stored colours
    // and tips; records the day. Does nothing outside diary mode.
    void leaveDiaryMode();
    // The same once the session has ended a diary (it says so through its hooks).
    void diaryEnded();
    void saveSettings();
    // Today counts as a day a diary was written.
    void markDiaryDay();

private:
    Window& window_;
    const Clock& clock_;
    const SettingsStore& settings_;
    SessionController& session_;
    Theme theme_;
};

}  // namespace talery
