#pragma once
// Writing speed on the statistics page: what this run of the program added
// while writing, over the time the status bar's timer counted, and the day's
// count of the character tasks against the next task's threshold.

#include "aids/text_statistics.h"
#include "aids/writing_timer.h"
#include "ui/window.h"

#include <cstdint>

namespace talery {

// The label's text. `goal` 0: every character task of the day is done.
Text writingSpeedText(std::int64_t added, std::int64_t seconds, std::uint64_t day, std::uint64_t goal);

// Writes the label when its text changed (after a change of the body, after a tick).
void showWritingSpeed(Window& window, const TextStatistics& statistics, const WritingTimer& timer);

}  // namespace talery
