#include "aids/writing_timer.h"

namespace talery {
namespace {

Text twoDigits(std::int32_t value) {
    const Text padded = "0" + decimal(value);
    return padded.substr(padded.size() - 2);
}

}  // namespace

void WritingTimer::tick(bool sessionActive, Window& window) {
    if (!sessionActive) return;
    if (++writingSeconds == 60) {
        writingSeconds = 0;
        ++writingMinutes;
    }
    if (writingMinutes == 60) {
        writingMinutes = 0;
        ++writingHours;
    }
    window.setStatusText(1, display());
}

Text WritingTimer::display() const {
    return gbk(u8"你已经连续书写：") + clockText();
}

Text WritingTimer::clockText() const {
    // Hours past 99 show whole, never cut to their last two digits.
    return (writingHours > 99 ? decimal(writingHours) : twoDigits(writingHours)) + ":" + twoDigits(writingMinutes) + ":" + twoDigits(writingSeconds);
}

}  // namespace talery
