#include "session/text_compare.h"

#include "aids/text_figures.h"
#include "core/cipher.h"
#include "session/documents.h"

#include <dtl/dtl.hpp>

#include <string_view>
#include <unordered_map>
#include <vector>

namespace talery {
namespace {

using Kind = MarkedLine::Kind;

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t from = 0;
    // CR and LF are below every trail byte: a plain search never finds half a character.
    for (;;) {
        const std::size_t at = text.find("\r\n", from);
        if (at == std::string_view::npos) break;
        lines.push_back(text.substr(from, at - from));
        from = at + 2;
    }
    lines.push_back(text.substr(from));
    return lines;
}

std::size_t offsetIn(std::string_view text, std::string_view part) {
    return static_cast<std::size_t>(part.data() - text.data());
}

// A line's characters as numbers, with where each begins.
struct Characters {
    std::vector<std::uint16_t> codes;
    std::vector<std::uint32_t> starts;  // one more than codes: the end
};

Characters charactersOf(std::string_view line) {
    Characters c;
    for (std::size_t i = 0; i < line.size();) {
        const std::size_t n = gbkCharLength(line, i);
        const auto b0 = static_cast<unsigned char>(line[i]);
        c.codes.push_back(static_cast<std::uint16_t>(n == 2 ? (b0 << 8) | static_cast<unsigned char>(line[i + 1]) : b0));
        c.starts.push_back(static_cast<std::uint32_t>(i));
        i += n;
    }
    c.starts.push_back(static_cast<std::uint32_t>(line.size()));
    return c;
}

void addMark(MarkedLine& line, std::uint32_t from, std::uint32_t to) {
    if (from >= to) return;
    if (!line.marks.empty() && line.marks.back().second == from) line.marks.back().second = to;
    else line.marks.push_back({from, to});
}

// Past this many characters in a pair of lines, the pair counts as wholly
// changed: the character difference would cost too much time.
constexpr std::size_t kLongestPair = 200000;

class Comparer {
public:
    Comparer(MarkedText& out, const std::atomic<bool>* cancel) : out_(out), cancel_(cancel) {}

    bool cancelled() const { return cancel_ && cancel_->load(std::memory_order_relaxed); }

    void same(std::string_view line) { out_.lines.push_back({Kind::Same, offsetIn(out_.older, line), line.size(), {}}); }

    void whole(Kind kind, std::string_view line) {
        MarkedLine m{kind, offsetIn(kind == Kind::Added ? out_.newer : out_.older, line), line.size(), {}};
        addMark(m, 0, static_cast<std::uint32_t>(line.size()));
        (kind == Kind::Added ? added_ : removed_) += countFigures(line);
        out_.lines.push_back(std::move(m));
    }

    // A line replaced by another: what changed within it, character by character.
    void pair(std::string_view before, std::string_view after) {
        MarkedLine removed{Kind::Removed, offsetIn(out_.older, before), before.size(), {}};
        MarkedLine added{Kind::Added, offsetIn(out_.newer, after), after.size(), {}};
        const Characters a = charactersOf(before), b = charactersOf(after);
        if (a.codes.size() + b.codes.size() > kLongestPair) {
            whole(Kind::Removed, before);
            whole(Kind::Added, after);
            return;
        }
        std::size_t head = 0;
        while (head < a.codes.size() && head < b.codes.size() && a.codes[head] == b.codes[head]) ++head;
        std::size_t tail = 0;
        while (tail < a.codes.size() - head && tail < b.codes.size() - head &&
               a.codes[a.codes.size() - 1 - tail] == b.codes[b.codes.size() - 1 - tail])
            ++tail;
        const std::vector<std::uint16_t> midA(a.codes.begin() + head, a.codes.end() - tail);
        const std::vector<std::uint16_t> midB(b.codes.begin() + head, b.codes.end() - tail);
        const auto markA = [&](std::size_t i) {
            const std::uint32_t from = a.starts[head + i], to = a.starts[head + i + 1];
            addMark(removed, from, to);
            removed_ += countFigures(before.substr(from, to - from));
        };
        const auto markB = [&](std::size_t i) {
            const std::uint32_t from = b.starts[head + i], to = b.starts[head + i + 1];
            addMark(added, from, to);
            added_ += countFigures(after.substr(from, to - from));
        };
        if (midA.empty() || midB.empty()) {
            for (std::size_t i = 0; i < midA.size(); ++i) markA(i);
            for (std::size_t i = 0; i < midB.size(); ++i) markB(i);
        } else {
            dtl::Diff<std::uint16_t> diff(midA, midB);
            diff.compose();
            for (const auto& [code, info] : diff.getSes().getSequence()) {
                if (info.type == dtl::SES_DELETE) markA(static_cast<std::size_t>(info.beforeIdx - 1));
                else if (info.type == dtl::SES_ADD) markB(static_cast<std::size_t>(info.afterIdx - 1));
            }
        }
        out_.lines.push_back(std::move(removed));
        out_.lines.push_back(std::move(added));
    }

    // A run of removed and added lines: the first removed pairs with the
    // first added and so on; the rest are whole.
    void hunk(const std::vector<std::string_view>& removed, const std::vector<std::string_view>& added) {
        const std::size_t paired = std::min(removed.size(), added.size());
        for (std::size_t i = 0; i < paired && !cancelled(); ++i) pair(removed[i], added[i]);
        for (std::size_t i = paired; i < removed.size(); ++i) whole(Kind::Removed, removed[i]);
        for (std::size_t i = paired; i < added.size(); ++i) whole(Kind::Added, added[i]);
    }

    void finish() {
        out_.addedCharacters = liveCount(added_);
        out_.removedCharacters = liveCount(removed_);
    }

private:
    MarkedText& out_;
    const std::atomic<bool>* cancel_;
    FigureCounts added_, removed_;
};

}  // namespace

std::uint64_t countedCharacters(std::string_view gbkText) { return liveCount(countFigures(gbkText)); }

MarkedText compareTexts(Text older, Text newer, const std::function<void(double)>& progress,
                        const std::atomic<bool>* cancel) {
    MarkedText out;
    out.older = std::move(older);
    out.newer = std::move(newer);
    const auto report = [&](double f) {
        if (progress) progress(f);
    };
    const std::vector<std::string_view> a = splitLines(out.older), b = splitLines(out.newer);
    report(0.1);
    Comparer c(out, cancel);
    // What both share at the start and the end needs no difference.
    std::size_t head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
    std::size_t tail = 0;
    while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) ++tail;
    out.lines.reserve(a.size() + (b.size() - head - tail));
    for (std::size_t i = 0; i < head; ++i) c.same(a[i]);
    const std::vector<std::string_view> midA(a.begin() + head, a.end() - tail), midB(b.begin() + head, b.end() - tail);
    if (midA.empty() || midB.empty()) {
        c.hunk(midA, midB);
    } else {
        // Lines as numbers, equal lines equal numbers: the difference then
        // compares numbers, never the lines' bytes again and again.
        std::unordered_map<std::string_view, std::uint32_t> ids;
        ids.reserve(midA.size() + midB.size());
        const auto numbered = [&](const std::vector<std::string_view>& lines) {
            std::vector<std::uint32_t> out;
            out.reserve(lines.size());
            for (std::string_view line : lines) out.push_back(ids.emplace(line, static_cast<std::uint32_t>(ids.size())).first->second);
            return out;
        };
        const std::vector<std::uint32_t> numA = numbered(midA), numB = numbered(midB);
        dtl::Diff<std::uint32_t> diff(numA, numB);
        diff.onHuge();
        diff.compose();
        report(0.5);
        if (c.cancelled()) return out;
        const auto ses = diff.getSes().getSequence();
        std::vector<std::string_view> removed, added;
        std::size_t done = 0;
        for (const auto& [id, info] : ses) {
            if (info.type == dtl::SES_COMMON) {
                if (!removed.empty() || !added.empty()) {
                    c.hunk(removed, added);
                    removed.clear();
                    added.clear();
                    if (c.cancelled()) return out;
                }
                c.same(midA[static_cast<std::size_t>(info.beforeIdx - 1)]);
            } else if (info.type == dtl::SES_DELETE) {
                removed.push_back(midA[static_cast<std::size_t>(info.beforeIdx - 1)]);
            } else {
                added.push_back(midB[static_cast<std::size_t>(info.afterIdx - 1)]);
            }
            if (++done % 4096 == 0) report(0.5 + 0.5 * static_cast<double>(done) / static_cast<double>(ses.size()));
        }
        c.hunk(removed, added);
    }
    for (std::size_t i = a.size() - tail; i < a.size(); ++i) c.same(a[i]);
    c.finish();
    report(1);
    return out;
}

std::optional<Text> storedTextAsBody(std::string bytes, bool encrypted, std::string_view keyText) {
    if (encrypted) {
        applyDocumentKeystream(bytes, keyText);
        if (!plausibleDecipheredText(bytes)) return std::nullopt;
        return normaliseLineBreaks(std::move(bytes)).text;
    }
    auto decoded = decodeTextDocumentTaking(std::move(bytes));
    if (!decoded) return std::nullopt;
    return std::move(decoded->body);
}

}  // namespace talery
