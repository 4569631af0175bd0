#pragma once
#include <algorithm>
#include <cmath>
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

// Relative luminance and contrast ratio (1 to 21) as WCAG 2 defines them.
inline double luminance(Colour c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(red(c)) + 0.7152 * channel(green(c)) + 0.0722 * channel(blue(c));
}
inline double contrastRatio(Colour a, Colour b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
// What normal text needs to stay readable.
constexpr double kReadableContrast = 4.5;
// `preferred` where it reads on `background`, else black or white, whichever reads better.
inline Colour readableOn(Colour background, Colour preferred) {
    if (contrastRatio(background, preferred) >= kReadableContrast) return preferred;
    return contrastRatio(background, kBlack) >= contrastRatio(background, kWhite) ? kBlack : kWhite;
}

}  // namespace talery
