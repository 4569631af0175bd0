#include "core/random.h"

#include <chrono>
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#endif

namespace talery {

int tickRandomFrom(std::uint32_t t, int lo, int hi) {
    if (hi < lo) return 0;
    const auto span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo + 1);
    return static_cast<int>(lo + static_cast<std::int64_t>((23ull * t + 7ull) % span));
}

int tickRandom(int lo, int hi) {
#if defined(__x86_64__) || defined(__i386__)
    const auto t = static_cast<std::uint32_t>(__rdtsc());
#else
    const auto t = static_cast<std::uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
#endif
    return tickRandomFrom(t, lo, hi);
}

}  // namespace talery
