#include "ui/qt/qt_body_offsets.h"

#include "core/text.h"

#include <QElapsedTimer>
#include <QTextBlock>
#include <QTimer>

#include <algorithm>
#include <utility>
#include <vector>

namespace talery {
namespace {

// Code page 936 writes ASCII, the euro sign (0x80) and U+F8F5 (0xFF) in one
// byte and every other character it holds in two; anything else becomes "?",
// one byte for each code point.
std::size_t gbkLength(char16_t c) {
    if (c < 0x80 || c == 0x20AC || c == 0xF8F5) return 1;
    return gbkCanHold(c) ? 2 : 1;
}

bool pairAt(const QString& text, qsizetype i) {
    return text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
}

// Bytes of the first `count` characters of a block's text; a surrogate pair is one "?".
std::size_t gbkLength(const QString& text, qsizetype count) {
    std::size_t bytes = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (pairAt(text, i)) ++i;
        bytes += gbkLength(text.at(i).unicode());
    }
    return bytes;
}

// Bytes of a whole block, its text made once (the document builds it anew
// at every call).
std::size_t gbkLength(const QTextBlock& block) {
    const QString text = block.text();
    return gbkLength(text, text.size());
}

constexpr std::size_t kBreak = 2;  // a block break is CR LF
constexpr int kStride = 64;        // blocks in a stretch, as the index makes them

// GBK bytes of every stretch of about kStride blocks, from the document's
// start to where a lookup last needed it, so that a lookup walks the stretch
// sums and at most one stretch's blocks. A change makes only the stretch it
// falls in unknown, taking in any stretch whose first block it joined to the
// one before; the stretches after it move with the text. An edit far before
// the caret of a long document thus costs the next lookup one stretch, not
// a walk over everything between.
class OffsetIndex : public QObject {
public:
    explicit OffsetIndex(const QTextDocument& document)
        : QObject(const_cast<QTextDocument*>(&document)), doc_(document), count_(document.characterCount()) {
        setObjectName(QStringLiteral("talery-gbk-offsets"));
        // A document reports its changes only once it has a layout.
        document.documentLayout();
        connect(&document, &QTextDocument::contentsChange, this, &OffsetIndex::changed);
        walk_.setInterval(0);
        connect(&walk_, &QTimer::timeout, this, [this] {
            QElapsedTimer slice;
            slice.start();
            while (slice.elapsed() < kWalkMs)
                if (!extend()) return walk_.stop();
        });
    }

    static OffsetIndex& of(const QTextDocument& document) {
        auto* index = document.findChild<QObject*>(QStringLiteral("talery-gbk-offsets"), Qt::FindDirectChildrenOnly);
        return index ? *static_cast<OffsetIndex*>(index) : *new OffsetIndex(document);
    }

    // The start of the last stretch whose start lies at or before a block
    // position (`byBytes` false) or a byte offset (true): its position and bytes.
    std::pair<int, std::size_t> stretchAtOrBefore(std::size_t target, bool byBytes) {
        // Asked between a change and its report: what the report would move
        // may already be counted anew, so the index starts again.
        if (doc_.characterCount() != count_) reset();
        std::size_t bytes = 0;
        for (std::size_t i = 0;; ++i) {
            if (i + 1 == starts_.size() && !extend()) return {starts_[i], bytes};
            // The stretch of a position is walked from its start anyway:
            // counted only when a long insertion left it to be cut.
            if (!byBytes && static_cast<std::size_t>(starts_[i + 1]) > target && !overlong(i)) return {starts_[i], bytes};
            const std::size_t n = length(i);  // first: it may cut the stretch
            if (byBytes ? bytes + n > target : static_cast<std::size_t>(starts_[i + 1]) > target)
                return {starts_[i], bytes};
            bytes += n;
        }
    }

    // From now on the index reads ahead of the lookups whenever the window
    // is idle, a few milliseconds at a time, until it reaches the end.
    void keepAhead() {
        ahead_ = true;
        walk_.start();
    }

private:
    static constexpr std::size_t kUnknown = std::size_t(-1);
    static constexpr int kWalkMs = 4;

    // Bytes of stretch i, counted again where a change left it unknown; a
    // stretch grown long by an insertion is cut back to kStride blocks.
    std::size_t length(std::size_t i) {
        if (bytes_[i] != kUnknown) return bytes_[i];
        std::vector<int> starts;
        std::vector<std::size_t> bytes{0};
        int blocks = 0;
        for (QTextBlock b = doc_.findBlock(starts_[i]); b.isValid() && b.position() < starts_[i + 1]; b = b.next()) {
            if (blocks++ == kStride) {
                starts.push_back(b.position());
                bytes.push_back(0);
                blocks = 1;
            }
            bytes.back() += gbkLength(b) + kBreak;
        }
        starts_.insert(starts_.begin() + static_cast<std::ptrdiff_t>(i) + 1, starts.begin(), starts.end());
        bytes_[i] = bytes.front();
        bytes_.insert(bytes_.begin() + static_cast<std::ptrdiff_t>(i) + 1, bytes.begin() + 1, bytes.end());
        return bytes_[i];
    }

    void reset() {
        count_ = doc_.characterCount();
        starts_.assign(1, 0);
        bytes_.clear();
        if (ahead_) walk_.start();
    }

    bool overlong(std::size_t i) const {
        return bytes_[i] == kUnknown &&
               doc_.findBlock(starts_[i + 1]).blockNumber() - doc_.findBlock(starts_[i]).blockNumber() > 2 * kStride;
    }

    // One more stretch at the end of what is indexed, when kStride blocks
    // and one behind them follow there.
    bool extend() {
        QTextBlock b = doc_.findBlock(starts_.back());
        if (b.blockNumber() + kStride >= doc_.blockCount()) return false;
        std::size_t bytes = 0;
        for (int k = 0; k < kStride; ++k, b = b.next()) {
            if (!b.next().isValid()) return false;
            bytes += gbkLength(b) + kBreak;
        }
        starts_.push_back(b.position());
        bytes_.push_back(bytes);
        return true;
    }

    void changed(int position, int removed, int added) {
        const int before = std::exchange(count_, doc_.characterCount());
        // A report that does not add up (one made while another was being
        // reported, say) leaves nothing to trust: the index starts again.
        if (before - removed + added != count_ || position < 0 || removed < 0 || added < 0) return reset();
        // Much text put in (a paste, a text set whole) may reach past the index.
        if (ahead_ && added >= kStride * 1024) walk_.start();
        if (position >= starts_.back()) return;  // past what is indexed
        // The stretch the change starts in: its start and every break before it stay.
        const auto at = std::upper_bound(starts_.begin(), starts_.end(), position) - 1;
        const auto i = static_cast<std::size_t>(at - starts_.begin());
        // Stretches whose first block lost the break before it join this one.
        const auto kept = std::upper_bound(at + 1, starts_.end(), position + removed);
        if (kept == starts_.end()) {
            // The end of the index is gone with them: it ends where this stretch began.
            starts_.resize(i + 1);
            bytes_.resize(i);
            if (ahead_) walk_.start();
            return;
        }
        const auto joined = kept - (at + 1);
        bytes_[i] = kUnknown;
        bytes_.erase(bytes_.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                     bytes_.begin() + static_cast<std::ptrdiff_t>(i) + 1 + joined);
        const auto next = starts_.erase(at + 1, kept);
        for (auto s = next; s != starts_.end(); ++s) *s += added - removed;
    }

    const QTextDocument& doc_;
    int count_;
    // Where each stretch starts (a block's position; the last entry is
    // where the indexed part ends), and its bytes: one entry fewer.
    std::vector<int> starts_{0};
    std::vector<std::size_t> bytes_;
    QTimer walk_;
    bool ahead_ = false;
};

}  // namespace

std::size_t gbkOffsetOf(const QTextDocument& document, int position) {
    const QTextBlock target = document.findBlock(position);
    if (!target.isValid()) {
        // Past the end: the whole text.
        const QTextBlock last = document.lastBlock();
        return gbkOffsetOf(document, last.position()) + gbkLength(last);
    }
    auto [from, bytes] = OffsetIndex::of(document).stretchAtOrBefore(static_cast<std::size_t>(target.position()), false);
    for (QTextBlock block = document.findBlock(from); block != target; block = block.next())
        bytes += gbkLength(block) + kBreak;
    const QString text = target.text();
    return bytes + gbkLength(text, std::clamp<qsizetype>(position - target.position(), 0, text.size()));
}

void keepGbkOffsetsAhead(const QTextDocument& document) { OffsetIndex::of(document).keepAhead(); }

int positionOfGbkOffset(const QTextDocument& document, std::size_t offset) {
    auto [from, bytes] = OffsetIndex::of(document).stretchAtOrBefore(offset, true);
    QTextBlock block = document.findBlock(from);
    while (true) {
        const QString text = block.text();
        qsizetype at = 0;
        while (at < text.size() && bytes < offset) {
            const bool pair = pairAt(text, at);
            bytes += gbkLength(text.at(at).unicode());
            at += pair ? 2 : 1;
        }
        if (bytes >= offset || !block.next().isValid()) return block.position() + static_cast<int>(at);
        bytes += kBreak;
        block = block.next();
        if (bytes >= offset) return block.position();
    }
}

}  // namespace talery
