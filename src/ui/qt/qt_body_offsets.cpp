#include "ui/qt/qt_body_offsets.h"

#include "core/text.h"

#include <QTextBlock>

#include <algorithm>
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

constexpr std::size_t kBreak = 2;  // a block break is CR LF
constexpr int kStride = 64;        // blocks between two checkpoints

// The byte offset of every kStride-th block's start, kept on the document and
// cut back to the first change whenever the document changes, so that a
// lookup walks at most kStride blocks once the index is built.
class OffsetIndex : public QObject {
public:
    explicit OffsetIndex(const QTextDocument& document) : QObject(const_cast<QTextDocument*>(&document)), doc_(document) {
        setObjectName(QStringLiteral("talery-gbk-offsets"));
        // A document reports its changes only once it has a layout.
        document.documentLayout();
        connect(&document, &QTextDocument::contentsChange, this, [this](int position, int, int) {
            const int changed = doc_.findBlock(position).blockNumber();
            // Checkpoints up to the changed block keep their offsets: nothing before them moved.
            const std::size_t keep = changed < 0 ? 0 : static_cast<std::size_t>(changed / kStride) + 1;
            if (starts_.size() > keep) starts_.resize(keep);
        });
    }

    static OffsetIndex& of(const QTextDocument& document) {
        auto* index = document.findChild<QObject*>(QStringLiteral("talery-gbk-offsets"), Qt::FindDirectChildrenOnly);
        return index ? *static_cast<OffsetIndex*>(index) : *new OffsetIndex(document);
    }

    // Byte offset of the start of block kStride * i, which must exist.
    std::size_t checkpoint(std::size_t i) {
        if (starts_.empty()) starts_.push_back(0);
        while (starts_.size() <= i) {
            QTextBlock block = doc_.findBlockByNumber(static_cast<int>((starts_.size() - 1) * kStride));
            std::size_t bytes = starts_.back();
            for (int k = 0; k < kStride; ++k, block = block.next()) {
                if (!block.next().isValid()) return starts_.back();  // no such block
                bytes += gbkLength(block.text(), block.text().size()) + kBreak;
            }
            starts_.push_back(bytes);
        }
        return starts_[i];
    }
    // Extends the index until a checkpoint lies beyond `offset` or the
    // document ends; the last checkpoint at or before it.
    std::size_t lastCheckpointAtOrBefore(std::size_t offset) {
        checkpoint(0);
        while (starts_.back() <= offset) {
            const std::size_t n = starts_.size();
            checkpoint(n);
            if (starts_.size() == n) break;  // the document ends before another checkpoint
        }
        const auto it = std::upper_bound(starts_.begin(), starts_.end(), offset);
        return static_cast<std::size_t>(it - starts_.begin()) - 1;
    }

private:
    const QTextDocument& doc_;
    std::vector<std::size_t> starts_;
};

}  // namespace

std::size_t gbkOffsetOf(const QTextDocument& document, int position) {
    const QTextBlock target = document.findBlock(position);
    if (!target.isValid()) {
        // Past the end: the whole text.
        const QTextBlock last = document.lastBlock();
        return gbkOffsetOf(document, last.position()) + gbkLength(last.text(), last.text().size());
    }
    OffsetIndex& index = OffsetIndex::of(document);
    const int number = target.blockNumber();
    const auto i = static_cast<std::size_t>(number / kStride);
    std::size_t bytes = index.checkpoint(i);
    for (QTextBlock block = document.findBlockByNumber(static_cast<int>(i) * kStride); block != target; block = block.next())
        bytes += gbkLength(block.text(), block.text().size()) + kBreak;
    const QString text = target.text();
    return bytes + gbkLength(text, std::clamp<qsizetype>(position - target.position(), 0, text.size()));
}

int positionOfGbkOffset(const QTextDocument& document, std::size_t offset) {
    OffsetIndex& index = OffsetIndex::of(document);
    const std::size_t i = index.lastCheckpointAtOrBefore(offset);
    std::size_t bytes = index.checkpoint(i);
    QTextBlock block = document.findBlockByNumber(static_cast<int>(i) * kStride);
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
