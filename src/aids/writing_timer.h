#pragma once
// How long the user has been writing, counted in timer ticks while a session
// runs and paused between sessions; shown in part 1 of the status bar.

#include "ui/window.h"

#include <cstdint>

namespace talery {

class WritingTimer {
public:
    // One tick of the one-second timer.
    void tick(bool sessionActive, Window& window);

    // "你已经连续书写：" and hh:mm:ss, each field its last two digits.
    Text display() const;
    // hh:mm:ss alone.
    Text clockText() const;
    std::int64_t totalSeconds() const { return writingHours * 3600LL + writingMinutes * 60 + writingSeconds; }

    std::int32_t writingSeconds = 0;
    std::int32_t writingMinutes = 0;
    std::int32_t writingHours = 0;
};

}  // namespace talery
