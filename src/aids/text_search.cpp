#include "aids/text_search.h"

#include <algorithm>
#include <vector>

namespace talery {
namespace {

bool isAsciiLetter(unsigned char c) {
    const unsigned char lower = c | 0x20;
    return lower >= 'a' && lower <= 'z';
}

// A byte that is neither a lead nor a trail byte stands alone, so a character
// starts right behind it. Line breaks are such bytes: resynchronising on them
// keeps a search from walking the whole text from its start.
bool standsAlone(unsigned char c) { return c < 0x40 || c == 0x7F || c == 0xFF; }

// Finds matches in increasing order of position. It remembers the last
// character boundary it established, so a whole scan steps over the text at
// most once, however many candidates the byte search turns up.
class Matcher {
public:
    Matcher(std::string_view text, std::string_view needle, bool matchCase) : text_(text), needle_(needle) {
        if (matchCase) return;
        for (std::size_t i = 0; i < needle.size(); i += gbkCharLength(needle, i)) {
            if (gbkCharLength(needle, i) == 1 && isAsciiLetter(static_cast<unsigned char>(needle[i]))) {
                if (fold_.empty()) fold_.assign(needle.size(), false);
                fold_[i] = true;
            }
        }
    }

    // First match starting on a character boundary at or after `from`;
    // calls must come with non-decreasing `from`.
    std::size_t next(std::size_t from) {
        if (needle_.empty()) return kNoMatch;
        std::size_t p = from;
        while (true) {
            const std::size_t c = candidate(p);
            if (c == kNoMatch) return kNoMatch;
            const std::size_t start = boundaryAtOrAfter(c);
            if (start == c) return c;
            p = start;  // c lay inside a double-byte character
        }
    }

private:
    std::size_t candidate(std::size_t p) {
        if (fold_.empty()) return text_.find(needle_, p);
        while (p + needle_.size() <= text_.size()) {
            const std::size_t c = firstByteAt(p);
            if (c == kNoMatch || c + needle_.size() > text_.size()) return kNoMatch;
            if (matchesAt(c)) return c;
            p = c + 1;
        }
        return kNoMatch;
    }

    // Next position of the needle's first byte (either case when it folds).
    std::size_t firstByteAt(std::size_t p) {
        const char first = needle_[0];
        if (!fold_[0]) return text_.find(first, p);
        if (lowerAt_ < p || lowerAt_ == kUnknown) lowerAt_ = text_.find(static_cast<char>(first | 0x20), p);
        if (upperAt_ < p || upperAt_ == kUnknown) upperAt_ = text_.find(static_cast<char>(first & ~0x20), p);
        return std::min(lowerAt_, upperAt_);
    }

    bool matchesAt(std::size_t c) const {
        for (std::size_t i = 0; i < needle_.size(); ++i) {
            const auto t = static_cast<unsigned char>(text_[c + i]);
            const auto n = static_cast<unsigned char>(needle_[i]);
            if (t == n) continue;
            if (!fold_[i] || (t | 0x20) != (n | 0x20)) return false;
        }
        return true;
    }

    std::size_t boundaryAtOrAfter(std::size_t p) {
        std::size_t s = p;
        while (s > boundary_ && !standsAlone(static_cast<unsigned char>(text_[s - 1]))) --s;
        while (s < p) s += gbkCharLength(text_, s);
        boundary_ = s;
        return s;
    }

    static constexpr std::size_t kUnknown = kNoMatch - 1;
    std::string_view text_;
    std::string_view needle_;
    std::vector<bool> fold_;  // empty when nothing folds
    std::size_t boundary_ = 0;
    std::size_t lowerAt_ = kUnknown;
    std::size_t upperAt_ = kUnknown;
};

}  // namespace

std::size_t findNextMatch(std::string_view text, std::string_view needle, std::size_t from, bool matchCase) {
    if (from > text.size()) return kNoMatch;
    return Matcher(text, needle, matchCase).next(from);
}

std::size_t findPreviousMatch(std::string_view text, std::string_view needle, std::size_t before, bool matchCase) {
    const std::string_view head = text.substr(0, std::min(before, text.size()));
    Matcher matcher(head, needle, matchCase);
    std::size_t last = kNoMatch;
    for (std::size_t p = matcher.next(0); p != kNoMatch; p = matcher.next(p + 1)) last = p;
    return last;
}

ReplaceAllEdit replaceAllMatches(std::string_view text, std::string_view needle, std::string_view replacement,
                                 bool matchCase) {
    ReplaceAllEdit edit;
    Matcher matcher(text, needle, matchCase);
    std::size_t copied = 0;
    for (std::size_t p = matcher.next(0); p != kNoMatch; p = matcher.next(copied)) {
        if (edit.count++ == 0) {
            edit.start = p;
        } else {
            edit.replacement.append(text.substr(copied, p - copied));
        }
        edit.replacement.append(replacement);
        copied = p + needle.size();
    }
    if (edit.count) edit.length = copied - edit.start;
    return edit;
}

}  // namespace talery
