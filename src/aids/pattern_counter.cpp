#include "aids/pattern_counter.h"

#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>

#include <algorithm>
#include <cstdio>
#include <tuple>

namespace talery {
namespace {

using Range = std::pair<char32_t, char32_t>;

// ICU matches code points; the design's engine matched UTF-16 units. Each
// surrogate unit is therefore matched as a character of its own: a private
// character of plane 15 stands in for it, in the subject and in the pattern.
constexpr char32_t kStandInBase = 0xF0000;
bool isSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }
char32_t standIn(char32_t unit) { return kStandInBase + (unit - 0xD800); }

int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

bool isAsciiLetter(char32_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The shorthand classes as the design's engine defines them: ASCII only.
std::vector<Range> shorthand(char16_t letter) {
    std::vector<Range> set;
    switch (letter) {
        case u'd': case u'D': set = {{'0', '9'}}; break;
        case u'w': case u'W': set = {{'0', '9'}, {'A', 'Z'}, {'_', '_'}, {'a', 'z'}}; break;
        default: set = {{'\t', '\r'}, {' ', ' '}}; break;  // s, S: tab, LF, VT, FF, CR, space
    }
    if (letter == u'D' || letter == u'W' || letter == u'S') {
        std::vector<Range> complement;
        char32_t next = 0;
        for (const Range& r : set) {
            if (r.first > next) complement.push_back({next, r.first - 1});
            next = r.second + 1;
        }
        complement.push_back({next, 0x10FFFF});
        return complement;
    }
    return set;
}

bool isShorthand(char16_t c) { return std::u16string_view(u"dDwWsS").find(c) != std::u16string_view::npos; }

class Translator {
public:
    Translator(std::u16string_view p, bool ignoreCase) : p_(p), ignoreCase_(ignoreCase) {}

    std::optional<std::u16string> run() {
        while (i_ < p_.size()) {
            const char16_t c = p_[i_];
            if (c == u'\\') {
                if (!escapeOutside()) return std::nullopt;
            } else if (c == u'[') {
                if (!charClass()) return std::nullopt;
            } else if (std::u16string_view(u".^$|()*+?{}").find(c) != std::u16string_view::npos) {
                out_ += c;
                ++i_;
            } else {
                literal(c);
                ++i_;
            }
        }
        return out_;
    }

private:
    void emitCodePoint(char32_t c) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(c));
        for (const char* s = buf; *s; ++s) out_ += static_cast<char16_t>(*s);
    }

    void literal(char32_t c) {
        if (isSurrogate(c)) c = standIn(c);
        if (ignoreCase_ && isAsciiLetter(c)) {
            out_ += u'[';
            out_ += static_cast<char16_t>(c | 0x20);
            out_ += static_cast<char16_t>(c & ~0x20u);
            out_ += u']';
            return;
        }
        emitCodePoint(c);
    }

    // Reads the character of an escape whose backslash is at i_; returns it
    // and moves past it. Shorthand classes and boundaries are handled by callers.
    char32_t escapedCharacter(bool inClass) {
        const char16_t e = p_[i_ + 1];
        i_ += 2;
        switch (e) {
            case u't': return '\t';
            case u'n': return '\n';
            case u'r': return '\r';
            case u'f': return '\f';
            case u'v': return '\v';
            case u'b': return inClass ? 8 : 'b';
            case u'0': return 0;
            case u'c':
                if (i_ < p_.size() && isAsciiLetter(p_[i_])) return p_[i_++] % 32;
                return 'c';
            case u'x':
                if (i_ + 1 < p_.size() && hexValue(p_[i_]) >= 0 && hexValue(p_[i_ + 1]) >= 0) {
                    const char32_t v = static_cast<char32_t>(hexValue(p_[i_]) * 16 + hexValue(p_[i_ + 1]));
                    i_ += 2;
                    return v;
                }
                return 'x';
            case u'u':
                if (i_ + 3 < p_.size() && std::all_of(p_.begin() + static_cast<std::ptrdiff_t>(i_),
                                                      p_.begin() + static_cast<std::ptrdiff_t>(i_ + 4),
                                                      [](char16_t h) { return hexValue(h) >= 0; })) {
                    char32_t v = 0;
                    for (int k = 0; k < 4; ++k) v = v * 16 + static_cast<char32_t>(hexValue(p_[i_ + k]));
                    i_ += 4;
                    return v;
                }
                return 'u';
            default: return e;  // an identity escape: the character itself
        }
    }

    bool escapeOutside() {
        if (i_ + 1 >= p_.size()) return false;  // a trailing backslash
        const char16_t e = p_[i_ + 1];
        if (isShorthand(e)) {
            appendClass(shorthand(e), false);
            i_ += 2;
        } else if (e == u'b' || e == u'B') {
            out_ += u'\\';
            out_ += e;
            i_ += 2;
        } else if (e >= u'1' && e <= u'9') {
            out_ += u'\\';
            i_ += 1;
            while (i_ < p_.size() && p_[i_] >= u'0' && p_[i_] <= u'9') out_ += p_[i_++];
        } else {
            literal(escapedCharacter(false));
        }
        return true;
    }

    bool charClass() {
        ++i_;  // "["
        bool negated = false;
        if (i_ < p_.size() && p_[i_] == u'^') {
            negated = true;
            ++i_;
        }
        std::vector<Range> ranges;
        for (;;) {
            if (i_ >= p_.size()) return false;  // no closing bracket
            if (p_[i_] == u']') {
                ++i_;
                break;
            }
            if (p_[i_] == u'\\' && i_ + 1 < p_.size() && isShorthand(p_[i_ + 1])) {
                const auto set = shorthand(p_[i_ + 1]);
                ranges.insert(ranges.end(), set.begin(), set.end());
                i_ += 2;
                continue;
            }
            const char32_t lo = classAtom();
            if (lo == kBad) return false;
            if (i_ + 1 < p_.size() && p_[i_] == u'-' && p_[i_ + 1] != u']' &&
                !(p_[i_ + 1] == u'\\' && i_ + 2 < p_.size() && isShorthand(p_[i_ + 2]))) {
                ++i_;
                const char32_t hi = classAtom();
                if (hi == kBad || hi < lo) return false;
                ranges.push_back({lo, hi});
            } else {
                ranges.push_back({lo, lo});
            }
        }
        appendClass(ranges, negated);
        return true;
    }

    static constexpr char32_t kBad = 0xFFFFFFFF;

    char32_t classAtom() {
        if (p_[i_] == u'\\') {
            if (i_ + 1 >= p_.size()) return kBad;
            return escapedCharacter(true);
        }
        return p_[i_++];
    }

    void appendClass(std::vector<Range> ranges, bool negated) {
        std::vector<Range> extra;
        for (const Range& r : ranges) {
            // Case folding of the ASCII letters only.
            if (ignoreCase_) {
                for (auto [from, to, shift] : {std::tuple<char32_t, char32_t, int>{'a', 'z', -32}, {'A', 'Z', 32}}) {
                    const char32_t lo = std::max(r.first, from), hi = std::min(r.second, to);
                    if (lo <= hi) extra.push_back({lo + shift, hi + shift});
                }
            }
            const char32_t lo = std::max<char32_t>(r.first, 0xD800), hi = std::min<char32_t>(r.second, 0xDFFF);
            if (lo <= hi) extra.push_back({standIn(lo), standIn(hi)});
        }
        ranges.insert(ranges.end(), extra.begin(), extra.end());
        out_ += u'[';
        if (negated) out_ += u'^';
        if (ranges.empty()) {
            // "[]" matches nothing and "[^]" everything.
            if (!negated) out_ += u'^';
            ranges.push_back({0, 0x10FFFF});
        }
        for (const Range& r : ranges) {
            emitCodePoint(r.first);
            if (r.second != r.first) {
                out_ += u'-';
                emitCodePoint(r.second);
            }
        }
        out_ += u']';
    }

    std::u16string_view p_;
    bool ignoreCase_;
    std::size_t i_ = 0;
    std::u16string out_;
};

// GBK of matched units: a stand-in is the surrogate unit it replaced, "?".
Text unitsToGbk(std::u16string_view units) {
    Text out;
    std::size_t runStart = 0;
    std::size_t i = 0;
    while (i < units.size()) {
        if (i + 1 < units.size() && U16_IS_LEAD(units[i]) && U16_IS_TRAIL(units[i + 1])) {
            out += encodeGbkLossy(units.substr(runStart, i - runStart));
            out += '?';
            i += 2;
            runStart = i;
        } else {
            ++i;
        }
    }
    out += encodeGbkLossy(units.substr(runStart));
    return out;
}

}  // namespace

std::optional<std::u16string> translatePattern(std::u16string_view pattern, bool ignoreCase) {
    return Translator(pattern, ignoreCase).run();
}

bool PatternCounter::create(const Text& pattern, const Text& subject, PatternFlags flags) {
    return create(pattern, decodeGbkLossy(subject), flags);
}

bool PatternCounter::create(const Text& pattern, std::u16string subject, PatternFlags flags) {
    matches_.clear();
    subject_.clear();
    Text source = pattern;
    if (flags.quoteEscape) {
        const Text quoteName = gbk(u8"#引号");
        for (std::size_t at = findGbk(source, quoteName); at != Text::npos; at = findGbk(source, quoteName, at + 1))
            source.replace(at, quoteName.size(), 1, '"');
    }
    auto translated = translatePattern(decodeGbkLossy(source), !flags.caseSensitive);
    if (!translated) return false;

    // Every surrogate unit of the subject becomes its stand-in.
    subject_.reserve(subject.size());
    for (char16_t unit : subject) {
        if (isSurrogate(unit)) {
            const char32_t s = standIn(unit);
            subject_ += static_cast<char16_t>(U16_LEAD(s));
            subject_ += static_cast<char16_t>(U16_TRAIL(s));
        } else {
            subject_ += unit;
        }
    }

    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError;
    const icu::UnicodeString icuPattern(false, reinterpret_cast<const UChar*>(translated->data()),
                                        static_cast<int32_t>(translated->size()));
    std::unique_ptr<icu::RegexPattern> compiled(
        icu::RegexPattern::compile(icuPattern, flags.multiLine ? UREGEX_MULTILINE : 0, parseError, status));
    if (U_FAILURE(status)) {
        subject_.clear();
        return false;
    }
    const icu::UnicodeString icuSubject(false, reinterpret_cast<const UChar*>(subject_.data()),
                                        static_cast<int32_t>(subject_.size()));
    std::unique_ptr<icu::RegexMatcher> matcher(compiled->matcher(icuSubject, status));
    if (U_FAILURE(status)) return false;
    while (matcher->find(status) && U_SUCCESS(status)) {
        matches_.push_back({matcher->start(status), matcher->end(status)});
        if (!flags.allMatches) break;
    }
    if (U_FAILURE(status)) {
        matches_.clear();
        return false;
    }
    return true;
}

Text PatternCounter::matchText(std::size_t n) const {
    if (n < 1 || n > matches_.size()) return {};
    const auto [start, end] = matches_[n - 1];
    return unitsToGbk(std::u16string_view(subject_).substr(static_cast<std::size_t>(start),
                                                          static_cast<std::size_t>(end - start)));
}

Text PatternCounter::collectedText() const {
    Text out;
    for (std::size_t n = 1; n <= matches_.size(); ++n) out += matchText(n);
    return out;
}

}  // namespace talery
