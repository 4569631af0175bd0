// Searching GBK text: character boundaries, ASCII-only case folding, both
// directions and replace-all, checked against a plain reference search.

#include "aids/text_search.h"

#include <gtest/gtest.h>

#include <random>

namespace talery {
namespace {

// A plain model to compare with: steps over the text character by character from its start.
bool sameAt(std::string_view text, std::size_t p, std::string_view needle, bool matchCase) {
    if (p + needle.size() > text.size()) return false;
    for (std::size_t i = 0; i < needle.size(); i += gbkCharLength(needle, i)) {
        const std::size_t n = gbkCharLength(needle, i);
        const bool letter = n == 1 && std::isalpha(static_cast<unsigned char>(needle[i]));
        for (std::size_t k = i; k < i + n; ++k) {
            const auto a = static_cast<unsigned char>(text[p + k]);
            const auto b = static_cast<unsigned char>(needle[k]);
            if (a != b && (matchCase || !letter || std::tolower(a) != std::tolower(b))) return false;
        }
    }
    return true;
}

std::vector<std::size_t> referenceStarts(std::string_view text, std::string_view needle, bool matchCase) {
    std::vector<std::size_t> out;
    for (std::size_t p = 0; p < text.size(); p += gbkCharLength(text, p))
        if (!needle.empty() && sameAt(text, p, needle, matchCase)) out.push_back(p);
    return out;
}

TEST(TextSearch, NeverMatchesTheSecondByteOfADoubleByteCharacter) {
    // 0xB0 0x61 is one character whose second byte looks like "a".
    EXPECT_EQ(findNextMatch("\xB0\x61", "a", 0, true), kNoMatch);
    EXPECT_EQ(findNextMatch("\xB0\x61", "A", 0, false), kNoMatch);
    EXPECT_EQ(findPreviousMatch("\xB0\x61", "a", 2, false), kNoMatch);
    EXPECT_EQ(findNextMatch("\xB0\x61" "a", "a", 0, true), 2u);
    EXPECT_EQ(replaceAllMatches("\xB0\x61" "a", "a", "b", true).count, 1u);
    // A lead byte before an invalid trail stands alone, so what follows is a character.
    EXPECT_EQ(findNextMatch("\xB0" "\x0D" "a", "a", 0, true), 2u);
}

TEST(TextSearch, FoldsOnlyAsciiLetters) {
    EXPECT_EQ(findNextMatch("xABC abc", "abc", 0, true), 5u);
    EXPECT_EQ(findNextMatch("xABC abc", "abc", 0, false), 1u);
    EXPECT_EQ(findNextMatch("xABC abc", "aBc", 2, false), 5u);
    // Bytes of double-byte characters compare exactly even where they look like letters.
    EXPECT_EQ(findNextMatch("\xB0\x41", "\xB0\x61", 0, false), kNoMatch);
    EXPECT_EQ(findNextMatch("[]{", "{", 0, false), 2u);
    EXPECT_EQ(findNextMatch("@", "`", 0, false), kNoMatch);
}

TEST(TextSearch, DirectionsAndBounds) {
    const std::string text = "abcabc";
    EXPECT_EQ(findNextMatch(text, "abc", 1, true), 3u);
    EXPECT_EQ(findNextMatch(text, "abc", 6, true), kNoMatch);  // caret at the end
    EXPECT_EQ(findNextMatch(text, "abc", 99, true), kNoMatch);
    EXPECT_EQ(findPreviousMatch(text, "abc", 0, true), kNoMatch);  // caret at the start
    EXPECT_EQ(findPreviousMatch(text, "abc", 5, true), 0u);        // wholly before the selection only
    EXPECT_EQ(findPreviousMatch(text, "abc", 6, true), 3u);
    EXPECT_EQ(findPreviousMatch("aaaa", "aa", 4, true), 2u);       // overlapping starts count
    EXPECT_EQ(findNextMatch("ab", "abc", 0, true), kNoMatch);      // longer than the text
    EXPECT_EQ(findNextMatch("ab", "", 0, true), kNoMatch);
    EXPECT_EQ(replaceAllMatches("ab", "", "x", true).count, 0u);
}

TEST(TextSearch, ReplaceAllIsOneEditAndNeverRescansItsOutput) {
    ReplaceAllEdit e = replaceAllMatches("xa-a-ay", "a", "aa", true);
    EXPECT_EQ(e.count, 3u);
    EXPECT_EQ(e.start, 1u);
    EXPECT_EQ(e.length, 5u);
    EXPECT_EQ(e.replacement, "aa-aa-aa");
    e = replaceAllMatches("aaaaa", "aa", "b", true);  // non-overlapping, from the start
    EXPECT_EQ(e.count, 2u);
    EXPECT_EQ(e.replacement, "bb");
    EXPECT_EQ(e.length, 4u);
    e = replaceAllMatches("Ab ab AB", "ab", "", false);
    EXPECT_EQ(e.count, 3u);
    EXPECT_EQ(e.replacement, "  ");
}

TEST(TextSearch, AMatchAtEveryPositionOfALongBody) {
    const std::string body(5'000'000, 'a');
    EXPECT_EQ(findNextMatch(body, "A", 4'999'999, false), 4'999'999u);
    EXPECT_EQ(findPreviousMatch(body, "aa", body.size(), true), body.size() - 2);
    const ReplaceAllEdit e = replaceAllMatches(body, "a", "aa", true);
    EXPECT_EQ(e.count, body.size());
    EXPECT_EQ(e.replacement.size(), 2 * body.size());
}

TEST(TextSearch, AgreesWithTheReferenceOnRandomMixedText) {
    // Bytes chosen to make lead, trail, letter and line-break bytes meet in every order.
    const unsigned char alphabet[] = {'a', 'A', 'b', '\r', '\n', 0x40, 0x61, 0x81, 0xB0, 0xD6, 0xFE, 0xFF, 0x80, 0x7F};
    std::mt19937 rng(12);
    auto pick = [&](std::size_t n) {
        std::string s;
        for (std::size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(alphabet[rng() % sizeof alphabet]));
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const std::string text = pick(rng() % 40);
        const std::string needle = pick(1 + rng() % 3);
        const bool matchCase = rng() % 2;
        const auto starts = referenceStarts(text, needle, matchCase);
        const std::size_t from = text.empty() ? 0 : rng() % (text.size() + 1);
        std::size_t expectNext = kNoMatch, expectPrev = kNoMatch;
        for (std::size_t s : starts) {
            if (s >= from && expectNext == kNoMatch) expectNext = s;
            if (s + needle.size() <= from) expectPrev = s;
        }
        ASSERT_EQ(findNextMatch(text, needle, from, matchCase), expectNext) << round;
        ASSERT_EQ(findPreviousMatch(text, needle, from, matchCase), expectPrev) << round;

        std::string expected, got = text;
        std::size_t copied = 0;
        for (std::size_t s : starts) {
            if (s < copied) continue;
            expected += text.substr(copied, s - copied) + "#";
            copied = s + needle.size();
        }
        expected += text.substr(copied);
        const ReplaceAllEdit e = replaceAllMatches(text, needle, "#", matchCase);
        got.replace(e.start, e.length, e.replacement);
        ASSERT_EQ(got, expected) << round;
    }
}

}  // namespace
}  // namespace talery
