#pragma once
// The program's two random sources.

#include <cstdint>

namespace talery {

// One linear congruential generator for the whole program, never seeded, so
// the sequence is the same on every run (tips, lengths of random names).
class SharedRandom {
public:
    // Next value 0..32767: bits 16..30 of the new state.
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }
    // lo + (r mod (hi - lo + 1)); 0 when hi < lo. A value is drawn either way
    // so that the shared sequence does not depend on the arguments.
    int range(int lo, int hi) {
        const int r = next();
        if (hi < lo) return 0;
        const auto span = static_cast<std::int64_t>(hi) - lo + 1;  // up to 2^32, no int overflow
        return static_cast<int>(lo + r % span);
    }
    std::uint32_t state() const { return state_; }

private:
    std::uint32_t state_ = 1;
};

// lo + ((23 * T + 7) mod (hi - lo + 1)) for a counter reading T; 0 when hi < lo.
int tickRandomFrom(std::uint32_t t, int lo, int hi);
// The same with T read from the processor's time-stamp counter (a steady
// clock where there is none).
int tickRandom(int lo, int hi);

}  // namespace talery
