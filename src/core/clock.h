#pragma once
// Local date and time, read through an injectable clock so that tests can fix
// the day (day stamps, temporary and diary titles, the Saturday bonus).

#include "core/text.h"

#include <cstdint>

namespace talery {

struct LocalDateTime {
    int year = 1970;
    int month = 1;   // 1..12
    int day = 1;     // 1..31
    int hour = 0;    // 0..23
    int minute = 0;
    int second = 0;
};

// 1 = Sunday ... 7 = Saturday, from the Gregorian date alone.
int weekday(int year, int month, int day);
inline int weekday(const LocalDateTime& t) { return weekday(t.year, t.month, t.day); }

// Days since 1 January 1970 of a Gregorian date (negative before it), and
// seconds of a local time on the same scale: differences of local times.
long long dayNumber(int year, int month, int day);
long long localSeconds(const LocalDateTime& t);

// Year, month and day in decimal without leading zeros, concatenated.
Text dateStamp(const LocalDateTime& t);

// A moment of the system clock (a file's time) in local time.
LocalDateTime localTime(std::int64_t secondsSinceEpoch);

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
};

class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime t) : time_(t) {}
    LocalDateTime now() const override { return time_; }
    void set(LocalDateTime t) { time_ = t; }

private:
    LocalDateTime time_;
};

}  // namespace talery
