#pragma once
// The daily tasks. Other features leave a mark in the settings file when the
// user does a task (a day stamp, or "真" for the beginner tasks); refreshing
// the task list turns each new mark into points once, shows the ten tasks,
// the total and the title that the total has reached.

#include "core/clock.h"
#include "core/settings.h"
#include "ui/window.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace talery {

struct DailyTask {
    std::u8string_view name;
    std::u8string_view description;
    std::u8string_view section;  // of both the mark and the award record
    std::u8string_view mark;     // written by the feature when the user does the task
    std::u8string_view award;    // written here when the task's points are paid
    std::int32_t points;         // shown in the label; paid on weekdays but Saturday
    bool beginner;               // marked "真", pays once for ever, no Saturday bonus
    int donePosition;            // list positions; past the end appends
    int notDonePosition;
};


struct TitleRank {
    std::int32_t bound;  // the total must reach it
    std::u8string_view text;
};


Text taskLabel(const DailyTask& task, bool done);
// Points a task pays on a day of the given weekday (1 = Sunday ... 7 = Saturday).
std::int32_t taskAward(const DailyTask& task, int weekday);
// The title the total has reached; none for a negative total.
std::optional<Text> titleFor(std::int32_t total);
// The total after an award, held at the top of the 32-bit range instead of
// wrapping to a negative number.
std::int32_t addPoints(std::int32_t total, std::int32_t award);

// The page that explains the titles and how points are earned (UTF-8 HTML),
// made from the two tables above so it can never disagree with them.
std::string titleExplanationPage();
// A file: URL for a local path, every byte outside the unreserved set escaped.
std::string fileUrl(const Path& path);

class DailyTasks {
public:
    // `total` is the program's one points total; awards change it in place.
    DailyTasks(Window& window, const Clock& clock, const SettingsStore& settings, std::int32_t& total);

    // Rebuilds the task list from the marks, pays what is due today, stores
    // the total and sets the title. The awards and the stored total go to the
    // settings file in one replacement: when that cannot be written (or the
    // file cannot be read), the in-memory total stays as it was and the marks
    // stay unpaid, so a later refresh that can write pays what is still due
    // that day, exactly once.
    // Nothing here shows a message.
    void refreshTasks();

    // Writes the explanation page into the program directory and opens it in
    // the desktop's browser.
    void showTitleExplanation();

private:
    Window& window_;
    const Clock& clock_;
    const SettingsStore& settings_;
    std::int32_t& total_;
};

}  // namespace talery
