#include "aids/writing_speed.h"

#include <algorithm>

namespace talery {

Text writingSpeedText(std::int64_t added, std::int64_t seconds, std::uint64_t day, std::uint64_t goal) {
    // Under a minute the rate says nothing yet.
    const Text perHour = seconds < 60 ? Text("--") : decimal(std::max<std::int64_t>(added, 0) * 3600 / seconds);
    WritingTimer clock;
    clock.writingHours = static_cast<std::int32_t>(seconds / 3600);
    clock.writingMinutes = static_cast<std::int32_t>(seconds / 60 % 60);
    clock.writingSeconds = static_cast<std::int32_t>(seconds % 60);
    Text out = gbk(u8"本次新增：") + decimal(added) + gbk(u8" 字\n书写时间：") + clock.clockText() +
               gbk(u8"\n每小时：") + perHour + gbk(u8" 字\n今日字数：") + decimal(static_cast<long long>(day));
    if (goal == 0) return out + gbk(u8"（今日字数任务已全部完成）");
    return out + gbk(u8" / 目标 ") + decimal(static_cast<long long>(goal));
}

void showWritingSpeed(Window& window, const TextStatistics& statistics, const WritingTimer& timer) {
    const Text text =
        writingSpeedText(statistics.addedWhileWriting(), timer.totalSeconds(), statistics.dayCount(), statistics.dayGoal());
    if (window.text(Unit::书写速度) != text) window.setText(Unit::书写速度, text);
}

}  // namespace talery
