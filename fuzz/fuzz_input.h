#pragma once
// Splits one fuzz input into the arguments of a call, and fails a run
// loudly when a checked property does not hold.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace talery::fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : rest_(reinterpret_cast<const char*>(data), size) {}

    std::uint8_t byte() {
        if (rest_.empty()) return 0;
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // A piece whose length (at most 255) is given by the byte in front of it.
    std::string_view piece() {
        const std::size_t wanted = byte();
        const std::size_t n = std::min(wanted, rest_.size());
        const std::string_view out = rest_.substr(0, n);
        rest_.remove_prefix(n);
        return out;
    }
    std::string_view rest() {
        const std::string_view out = rest_;
        rest_ = {};
        return out;
    }

private:
    std::string_view rest_;
};

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

}  // namespace talery::fuzz

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : ::talery::fuzz::fail(#cond, __FILE__, __LINE__))
