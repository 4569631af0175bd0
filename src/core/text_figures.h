#pragma once
// The figures of the statistics, counted in one pass over GBK text. The
// counts add up: the counts of a text are the sums of the counts of its
// pieces, as long as no piece boundary falls inside a double-byte character
// or between the CR and LF of a line break. That is what lets the live
// statistics recount only the paragraphs a change touched.

#include "core/text.h"

#include <cstdint>

namespace talery {

struct FigureCounts {
    std::uint64_t bytes = 0;
    std::uint64_t lineBreaks = 0;   // CR LF pairs
    std::uint64_t spaces = 0;       // ASCII spaces
    std::uint64_t nonAscii = 0;     // bytes of characters outside U+0020..U+007F
    std::uint64_t letters = 0;      // ASCII letters
    std::uint64_t digits = 0;       // ASCII digits
    std::uint64_t symbolBytes = 0;  // bytes of characters neither ASCII letter, digit nor in U+4E00..U+9FA5
    std::uint64_t lineFeeds = 0;

    FigureCounts& operator+=(const FigureCounts& o);
    FigureCounts& operator-=(const FigureCounts& o);
    friend bool operator==(const FigureCounts&, const FigureCounts&) = default;
};

FigureCounts countFigures(std::string_view gbkText);

// The body characters of GBK text from byte `start` (a CR LF is one): up to
// and with the first line feed, or `limit` of them. They are counted as
// countFigures counts them, in the same pass that finds their end.
struct CountedLine {
    std::size_t end = 0;  // the byte after the last
    std::size_t characters = 0;
    FigureCounts counts;
};
CountedLine countLine(std::string_view gbkText, std::size_t start, std::size_t limit);

// The five figures of the report.
struct TextFigures {
    double chinese = 0;  // bytes outside U+0020..U+007F of the stripped body, halved
    std::uint64_t letters = 0;
    std::uint64_t symbols = 0;
    std::uint64_t digits = 0;
    std::uint64_t paragraphs = 0;
    friend bool operator==(const TextFigures&, const TextFigures&) = default;
};

TextFigures textFigures(const FigureCounts& counts, bool endsWithLineFeed);
inline TextFigures textFigures(std::string_view body) {
    return textFigures(countFigures(body), !body.empty() && body.back() == '\n');
}

// The status bar's count: the body without line breaks and spaces, halved.
std::uint64_t liveCount(const FigureCounts& counts);
// The count of the daily tasks: the body without spaces, halved.
std::uint64_t dailyCount(const FigureCounts& counts);

Text liveCountText(std::uint64_t count);
Text reportText(const TextFigures& figures);
Text refusalText();
// What the statistics box shows for the given points.
inline Text statisticsText(const TextFigures& figures, std::int64_t points) {
    return points < 0 ? refusalText() : reportText(figures);
}

// "%.13g", as the report shows real numbers.
Text realNumber(double value);

}  // namespace talery
