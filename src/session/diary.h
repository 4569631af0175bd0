#pragma once
// Diary mode: a writing session whose title comes from the date, in a bright
// colour that cannot be changed, with the tips silenced. It ends with the
// session, and ending it records the day as a diary day.

#include "core/clock.h"
#include "core/settings.h"
#include "session/writing_session.h"

#include <functional>

namespace talery {

// Diary mode is on exactly while the colour picker 颜色 is disabled: the
// picker is the mode's mirror, so the background cannot be changed meanwhile.
inline bool diaryModeOn(const Window& window) { return !window.enabled(Unit::颜色); }

// "2015年10月7日星期三     by：Talery日记".
Text diaryTitle(const LocalDateTime& t);

constexpr Colour kDiaryBackground = rgb(255, 128, 0);

class DiaryMode final : public SessionHooks {
public:
    // What diary mode needs of the theme.
    struct Theme {
        std::function<void()> applyBackgroundColour;  // the colour of 颜色 to the window and the body
        std::function<void()> saveSettings;           // what the panel's "确定" does
    };

    DiaryMode(Window& window, const Clock& clock, const SettingsStore& settings, Theme theme);

    bool active() const { return diaryModeOn(window_); }

    // The menu entry 新建日记.
    void enterDiaryMode(SessionController& session);
    // Back to the stored colours and tips; records the day. Does nothing
    // outside diary mode.
    void leaveDiaryMode() override;
    void saveSettings() override;
    // Today counts as a day a diary was written.
    void markDiaryDay();

private:
    Window& window_;
    const Clock& clock_;
    const SettingsStore& settings_;
    Theme theme_;
};

}  // namespace talery
