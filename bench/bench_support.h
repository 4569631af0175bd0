#pragma once
// Timing helpers the benchmarks share.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace talery::bench {

inline double millis(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace talery::bench
