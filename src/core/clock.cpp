#include "core/clock.h"

#include <ctime>

namespace talery {

int weekday(int year, int month, int day) {
    // Sakamoto's method gives 0 = Sunday.
    static const int offsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
    if (month < 3) year -= 1;
    const int w = (year + year / 4 - year / 100 + year / 400 + offsets[(month + 11) % 12] + day) % 7;
    return w + 1;
}

long long dayNumber(int year, int month, int day) {
    // Days from civil (proleptic Gregorian), counted from 1970-01-01.
    const long long y = static_cast<long long>(year) - (month <= 2 ? 1 : 0);
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long yoe = y - era * 400;
    const long long doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

long long localSeconds(const LocalDateTime& t) {
    return dayNumber(t.year, t.month, t.day) * 86400 + t.hour * 3600LL + t.minute * 60LL + t.second;
}

Text dateStamp(const LocalDateTime& t) { return decimal(t.year) + decimal(t.month) + decimal(t.day); }

LocalDateTime localTime(std::int64_t secondsSinceEpoch) {
    const auto t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalDateTime SystemClock::now() const { return localTime(std::time(nullptr)); }

}  // namespace talery
