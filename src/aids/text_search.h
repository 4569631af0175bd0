#pragma once
// Searching GBK text the way the Find and Replace windows do: matches start
// only on character boundaries, and without match case only ASCII letters
// compare regardless of case (the bytes of double-byte characters always
// compare exactly, even where they look like letters).

#include "core/text.h"

#include <cstddef>
#include <string_view>

namespace talery {

constexpr std::size_t kNoMatch = std::string_view::npos;

// First match starting at or after `from`.
std::size_t findNextMatch(std::string_view text, std::string_view needle, std::size_t from, bool matchCase);
// Last match lying wholly before `before` (ending at or before it).
std::size_t findPreviousMatch(std::string_view text, std::string_view needle, std::size_t before, bool matchCase);

// Every non-overlapping match replaced, scanning from the start; the scan
// goes on behind each match in the original text, so a replacement that
// contains the needle is never searched again. Expressed as one edit: the
// bytes start .. start + length of the text become `replacement`.
struct ReplaceAllEdit {
    std::size_t count = 0;
    std::size_t start = 0;
    std::size_t length = 0;
    Text replacement;
};
ReplaceAllEdit replaceAllMatches(std::string_view text, std::string_view needle, std::string_view replacement,
                                 bool matchCase);

}  // namespace talery
