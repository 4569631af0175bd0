#include "ui/qt/qt_body_offsets.h"

#include "core/text.h"

#include <QTextBlock>


namespace talery {
namespace {

// Code page 936 writes ASCII, the euro sign (0x80) and U+F8F5 (0xFF) in one
// byte and every other character it holds in two; anything else becomes "?",
// one byte for each code point.
std::size_t gbkLength(char16_t c) {
    if (c < 0x80 || c == 0x20AC || c == 0xF8F5) return 1;
    return gbkCanHold(c) ? 2 : 1;
}

// Bytes of the first `count` characters of a block's text; a surrogate pair
// is one "?".
std::size_t gbkLength(const QString& text, qsizetype count) {
    std::size_t bytes = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) ++i;
        bytes += gbkLength(c.unicode());
    }
    return bytes;
}

}  // namespace

std::size_t gbkOffsetOf(const QTextDocument& document, int position) {
    std::size_t bytes = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        const int inBlock = position - block.position();
        if (inBlock <= text.size()) return bytes + gbkLength(text, std::max(inBlock, 0));
        bytes += gbkLength(text, text.size()) + 2;  // the block break: CR LF
    }
    return bytes >= 2 ? bytes - 2 : 0;
}

int positionOfGbkOffset(const QTextDocument& document, std::size_t offset) {
    std::size_t bytes = 0;
    int last = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString text = block.text();
        qsizetype i = 0;
        while (i < text.size() && bytes < offset) {
            const QChar c = text.at(i);
            const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
            bytes += gbkLength(c.unicode());
            i += pair ? 2 : 1;
        }
        last = block.position() + static_cast<int>(i);
        if (bytes >= offset) return last;
        if (!block.next().isValid()) break;
        bytes += 2;
        if (bytes >= offset) return block.next().position();
    }
    return last;
}

}  // namespace talery
