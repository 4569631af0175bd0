#include "aids/chapter_layout.h"

#include "core/second_thread.h"

#include <algorithm>
#include <vector>

namespace talery {

namespace {

constexpr std::string_view kIdeographicSpace = "\xA1\xA1";  // U+3000 in GBK
constexpr std::string_view kIndent = "\xA1\xA1\xA1\xA1";

// ASCII , . ! ? : ; (asked of nearly every byte, so no search of a string).
bool isPunctuation(char c) {
    switch (c) {
        case ',': case '.': case '!': case '?': case ':': case ';': return true;
        default: return false;
    }
}

// The full-width form of one of the ASCII signs isPunctuation takes.
std::string_view fullWidth(char c) {
    switch (c) {
        case ',': return "\xA3\xAC";  // ，
        case '.': return "\xA1\xA3";  // 。
        case '!': return "\xA3\xA1";  // ！
        case '?': return "\xA3\xBF";  // ？
        case ':': return "\xA3\xBA";  // ：
        default: return "\xA3\xBB";   // ；
    }
}

// Bytes of the space character at `pos`, 0 when there is none.
std::size_t spaceLength(std::string_view s, std::size_t pos) {
    if (s[pos] == ' ' || s[pos] == '\t') return 1;
    return pos + 1 < s.size() && s[pos] == kIdeographicSpace[0] && s[pos + 1] == kIdeographicSpace[1] ? 2 : 0;
}

enum class Kind { None, Chinese, Other };

Kind kindAt(std::string_view line, std::size_t pos) {
    if (pos >= line.size()) return Kind::None;
    return gbkCharLength(line, pos) == 2 ? Kind::Chinese : Kind::Other;
}

struct QuoteMark {
    std::size_t pos;
    std::string_view glyph;
};

// Quotes next to Chinese text (looking past ASCII punctuation, as in 说:"好."),
// paired in order per kind; an unpaired last one stays as it is, so a quote
// is never turned the wrong way.
void markQuotes(std::string_view line, std::vector<QuoteMark>& marks) {
    marks.clear();
    // Kept from paragraph to paragraph: a novel has a hundred thousand of them.
    static thread_local std::vector<std::size_t> found[2];
    found[0].clear();
    found[1].clear();
    Kind before = Kind::None;  // the last character that is not ASCII punctuation
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = gbkCharLength(line, i);
        const char c = line[i];
        if (n == 1 && (c == '"' || c == '\'')) {
            std::size_t j = i + 1;
            while (j < line.size() && isPunctuation(line[j])) ++j;
            if (before == Kind::Chinese || kindAt(line, j) == Kind::Chinese) found[c == '\''].push_back(i);
            before = Kind::Other;
        } else if (n == 2 || !isPunctuation(c)) {
            before = n == 2 ? Kind::Chinese : Kind::Other;
        }
        i += n;
    }
    static constexpr std::string_view glyphs[2][2] = {{"\xA1\xB0", "\xA1\xB1"}, {"\xA1\xAE", "\xA1\xAF"}};  // “” ‘’
    for (int k = 0; k < 2; ++k) {
        const std::size_t paired = found[k].size() & ~std::size_t(1);
        for (std::size_t m = 0; m < paired; ++m) marks.push_back({found[k][m], glyphs[k][m % 2]});
    }
    std::sort(marks.begin(), marks.end(), [](const QuoteMark& a, const QuoteMark& b) { return a.pos < b.pos; });
}

bool asciiAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A character an address may hold: Latin letters and digits, the signs of
// host names, paths and mail addresses, and Chinese characters (labels like
// 北京大学.中国), but not full-width punctuation (GBK A1-A9) nor spaces.
std::size_t addressCharLength(std::string_view line, std::size_t pos, bool url) {
    const std::size_t n = gbkCharLength(line, pos);
    const auto c = static_cast<unsigned char>(line[pos]);
    if (n == 2) return c >= 0xA1 && c <= 0xA9 ? 0 : 2;
    if (n != 1) return 0;
    if (asciiAlnum(line[pos]) || std::string_view("-_~/%#=&+@.").find(line[pos]) != std::string_view::npos) return 1;
    return url && (line[pos] == '?' || line[pos] == ':') ? 1 : 0;
}

bool startsWithNoCase(std::string_view s, std::size_t pos, std::string_view word) {
    if (s.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if ((s[pos + i] | 0x20) != word[i]) return false;
    return true;
}

// Where addresses lie in a paragraph: after "scheme://", from "www." on,
// and the domain after a mail address's "@". Their dots stay dots.
struct Span {
    std::size_t from, to;
};
void markAddresses(std::string_view line, std::vector<Span>& spans) {
    spans.clear();
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = gbkCharLength(line, i);
        std::size_t from = std::string_view::npos;
        bool url = false;
        const bool wordStart = i == 0 || !asciiAlnum(line[i - 1]);
        if (n == 1 && line.compare(i, 3, "://") == 0 && i > 0 && asciiAlnum(line[i - 1])) {
            from = i + 3;
            url = true;
        } else if (n == 1 && wordStart && startsWithNoCase(line, i, "www.")) {
            from = i;
        } else if (n == 1 && line[i] == '@' && i > 0 && i + 1 < line.size() && addressCharLength(line, i + 1, false)) {
            from = i + 1;
        }
        if (from == std::string_view::npos) {
            i += n;
            continue;
        }
        std::size_t to = from;
        while (to < line.size()) {
            const std::size_t m = addressCharLength(line, to, url);
            if (m == 0) break;
            to += m;
        }
        if (to > from) spans.push_back({from, to});
        i = std::max(to, i + n);
    }
}

// One paragraph's text, without indent or trailing spaces.
void appendParagraph(std::string_view line, std::vector<QuoteMark>& marks, Text& out) {
    markQuotes(line, marks);
    static thread_local std::vector<Span> addresses;
    markAddresses(line, addresses);
    // Signs inside an address (followed by more of it) are part of it.
    auto insideAddress = [&](std::size_t from, std::size_t to) {
        return std::any_of(addresses.begin(), addresses.end(),
                           [&](const Span& a) { return a.from <= from && to < a.to; });
    };
    std::size_t nextMark = 0;
    auto quoteAt = [&](std::size_t pos) { return nextMark < marks.size() && marks[nextMark].pos == pos; };
    bool afterChinese = false;
    // Characters that stay as they are go out in runs, not one by one.
    std::size_t kept = 0;
    auto flush = [&](std::size_t to) {
        out.append(line.data() + kept, to - kept);
        kept = to;
    };
    for (std::size_t i = 0; i < line.size();) {
        if (quoteAt(i)) {
            flush(i);
            out += marks[nextMark++].glyph;
            afterChinese = true;
            kept = ++i;
            continue;
        }
        const std::size_t n = gbkCharLength(line, i);
        if (n == 1 && isPunctuation(line[i])) {
            flush(i);
            std::size_t j = i;
            while (j < line.size() && isPunctuation(line[j])) ++j;
            const std::string_view run = line.substr(i, j - i);
            // "..." and ".," are not sentence ends; "?!" is.
            const bool sentence = run.size() == 1 || run.find_first_not_of("!?") == std::string_view::npos;
            const Kind after = quoteAt(j) ? Kind::Chinese : kindAt(line, j);
            if (afterChinese && sentence && after != Kind::Other && !insideAddress(i, j)) {
                for (char c : run) out += fullWidth(c);
            } else {
                out += run;
                afterChinese = false;
            }
            kept = i = j;
            continue;
        }
        afterChinese = n == 2;
        i += n;
    }
    flush(line.size());
}

// A line of spaces alone, or none at all.
bool blank(std::string_view line) {
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = spaceLength(line, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// Appends the whole lines of `text`, laid out, to `out`; `afterEmpty` says
// whether the line before them was empty.
void layOutLines(std::string_view text, bool firstIsTitle, bool afterEmpty, bool keepEmptyLine, Text& out) {
    std::vector<QuoteMark> marks;
    bool first = firstIsTitle;
    bool inEmptyRun = afterEmpty;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t lineStart = pos;
        std::size_t nl = text.find('\n', pos);
        std::size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
        std::size_t end = nl == std::string_view::npos ? text.size() : nl;
        if (nl != std::string_view::npos && end > pos && text[end - 1] == '\r') --end;
        const std::string_view line = text.substr(pos, end - pos);
        const std::string_view ending = text.substr(end, next - end);
        pos = next;
        if (first) {
            first = false;
            out += text.substr(lineStart, next - lineStart);
            continue;
        }
        if (blank(line)) {
            if (keepEmptyLine && !inEmptyRun) out += ending;
            inEmptyRun = true;
            continue;
        }
        // The paragraph without the spaces around it, on character boundaries
        // (it holds something else: `start` stops before its end).
        std::size_t start = 0;
        while (const std::size_t n = spaceLength(line, start)) start += n;
        std::size_t stop = start;
        for (std::size_t i = start; i < line.size();) {
            const std::size_t space = spaceLength(line, i);
            i += space ? space : gbkCharLength(line, i);
            if (!space) stop = i;
        }
        inEmptyRun = false;
        out += kIndent;
        appendParagraph(line.substr(start, stop - start), marks, out);
        out += ending;
    }
}

}  // namespace

Text layOutChapter(std::string_view text, const LayoutOptions& options) {
    Text out;
    out.reserve(text.size() + text.size() / 8 + 16);
    // A long text is laid out in two halves side by side, cut behind a line
    // break: a line depends on no other but on whether the one before it
    // was empty (the title aside, which is kept as it is).
    constexpr std::size_t kHalvedFrom = std::size_t(1) << 20;
    const std::size_t titleEnd = options.firstLineIsTitle ? text.find('\n') : std::string_view::npos;
    std::size_t cut = text.size() < kHalvedFrom ? std::string_view::npos : text.find('\n', text.size() / 2);
    if (cut != std::string_view::npos && cut + 1 < text.size()) {
        ++cut;
        const std::size_t lineStart = cut == 1 ? 0 : text.rfind('\n', cut - 2) + 1;  // npos + 1 is 0
        std::size_t lineEnd = cut - 1;
        if (lineEnd > lineStart && text[lineEnd - 1] == '\r') --lineEnd;
        const bool afterEmpty = titleEnd + 1 != cut && blank(text.substr(lineStart, lineEnd - lineStart));
        const std::string_view rest = text.substr(cut);
        Text second;
        auto other = onSecondThread([&second, rest, afterEmpty, keep = options.keepEmptyLine] {
            second.reserve(rest.size() + rest.size() / 8 + 16);
            layOutLines(rest, false, afterEmpty, keep, second);
        });
        layOutLines(text.substr(0, cut), options.firstLineIsTitle, false, options.keepEmptyLine, out);
        other.get();
        out += second;
        return out;
    }
    layOutLines(text, options.firstLineIsTitle, false, options.keepEmptyLine, out);
    return out;
}

LayoutEdit layOutRange(std::string_view body, std::size_t start, std::size_t length, bool keepEmptyLine) {
    start = std::min(start, body.size());
    length = std::min(length, body.size() - start);
    // Whole lines: all of the body without a selection.
    std::size_t from = 0, to = body.size();
    if (length > 0) {
        from = start == 0 ? 0 : body.rfind('\n', start - 1) + 1;  // npos + 1 is 0
        const std::size_t end = start + length;
        if (body[end - 1] != '\n') {
            const std::size_t nl = body.find('\n', end);
            to = nl == std::string_view::npos ? body.size() : nl + 1;
        } else {
            to = end;
        }
    }
    const std::string_view before = body.substr(from, to - from);
    Text after = layOutChapter(before, {.keepEmptyLine = keepEmptyLine, .firstLineIsTitle = from == 0});
    // Only the lines that changed: the body's change, and the undo step, stay small.
    std::size_t head = 0;
    const std::size_t shorter = std::min(before.size(), after.size());
    while (head < shorter && before[head] == after[head]) ++head;
    if (head == before.size() && head == after.size()) return {};
    head = head == 0 ? 0 : before.rfind('\n', head - 1) + 1;
    std::size_t tail = 0;
    while (tail < shorter - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) ++tail;
    if (tail > 0) {
        const std::size_t at = before.size() - tail;
        if (at > 0 && before[at - 1] != '\n') {
            const std::size_t nl = before.find('\n', at);
            tail = nl == std::string_view::npos ? 0 : before.size() - (nl + 1);
        }
    }
    after.resize(after.size() - tail);
    after.erase(0, head);  // in place: a novel is not copied once more
    return {from + head, before.size() - head - tail, std::move(after)};
}

void layOutBody(Window& window, const SettingsStore& settings, const Text& body, const ProgramTextHook& announce) {
    const bool keepEmptyLine = !settings.program().readBool(softwareSection(), layoutDropsEmptyLinesKey());
    const TextSelection selection = window.bodySelection();
    LayoutEdit edit = layOutRange(body, selection.start, selection.length, keepEmptyLine);
    if (edit.length == 0 && edit.replacement.empty()) return;
    const auto text = std::make_shared<const Text>(std::move(edit.replacement));
    const ProgramTextNotice notice(announce, body, edit.start, edit.length, text);
    window.replaceBodyRange({edit.start, edit.length}, *text);
}

std::optional<CarriedIndent> carryIndent(Window& window, std::size_t lineBreak) {
    const TextSelection caret = window.bodySelection();
    const Text lineEnd = window.bodyText(lineBreak, 1);
    if (caret.length != 0 || (lineEnd != "\r\n" && lineEnd != "\n")) return std::nullopt;
    // The line before the break, read backwards in growing slices.
    Text line;
    for (std::size_t span = 256;; span *= 4) {
        const std::size_t from = lineBreak > span ? lineBreak - span : 0;
        Text slice = window.bodyText(from, lineBreak - from);
        const std::size_t nl = slice.rfind('\n');
        if (nl != Text::npos) {
            line = slice.substr(nl + 1);
            break;
        }
        if (from == 0) return std::nullopt;  // the title line sets no indent
    }
    std::size_t indent = 0;
    while (indent < line.size()) {
        const std::size_t n = spaceLength(line, indent);
        if (n == 0) break;
        indent += n;
    }
    if (indent == 0 || caret.start < line.size() + lineEnd.size()) return std::nullopt;
    const Text spaces = line.substr(0, indent);
    const std::size_t characters = countBodyCharacters(spaces);
    if (indent < line.size()) {
        window.replaceBodyRange({caret.start, 0}, spaces);
        return CarriedIndent{lineBreak + 1 + characters, characters};
    }
    // A line of indent alone: it moves down with the caret.
    window.replaceBodyRange({caret.start - lineEnd.size() - line.size(), line.size() + lineEnd.size()}, lineEnd + spaces);
    return CarriedIndent{lineBreak + 1, characters};
}

}  // namespace talery
