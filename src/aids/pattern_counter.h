#pragma once
// Runs one regular expression over one GBK text and hands back the matches,
// as the statistics count them: the GBK text of each match.
//
// Patterns use ECMAScript-style syntax, and the counts the Windows program
// gives are kept, since writers compare them: the subject is matched
// as UTF-16 code units (a character above U+FFFF is two units, each matched
// on its own and each "?" in GBK), and ignoring case folds ASCII letters only.

#include "core/text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace talery {

struct PatternFlags {
    bool caseSensitive = false;
    bool multiLine = true;
    bool allMatches = true;
    bool quoteEscape = false;  // "#引号" in the pattern stands for a double quote
};

class PatternCounter {
public:
    // True when the pattern compiled and ran (the match list may be empty).
    bool create(const Text& pattern, const Text& subject, PatternFlags flags = {});
    bool create(const Text& pattern, std::u16string subject, PatternFlags flags = {});

    std::size_t count() const { return matches_.size(); }
    // GBK text of match n (1-based); empty outside 1..count().
    Text matchText(std::size_t n) const;
    // All match texts one after another, as the statistics collect them.
    Text collectedText() const;

private:
    std::u16string subject_;  // as matched: surrogate units stand in as private characters
    std::vector<std::pair<std::int32_t, std::int32_t>> matches_;
};

// The pattern in ICU's syntax: classes spelt out, ASCII case folding written
// into the pattern when case is ignored, surrogate units as their stand-ins.
// Empty when the pattern is malformed.
std::optional<std::u16string> translatePattern(std::u16string_view pattern, bool ignoreCase);

}  // namespace talery
