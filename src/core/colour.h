#pragma once
#include <cstdint>

namespace talery {

// 24-bit colour in the stored order 0x00BBGGRR (red in the low byte).
using Colour = std::uint32_t;

constexpr Colour rgb(int r, int g, int b) {
    return static_cast<Colour>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int red(Colour c) { return static_cast<int>(c & 0xFF); }
constexpr int green(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blue(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

constexpr Colour kWhite = 0xFFFFFF;
constexpr Colour kBlack = 0x000000;

}  // namespace talery
