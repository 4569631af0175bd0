#include "core/text_figures.h"

#include <bitset>
#include <cstdio>
#include <memory>

namespace talery {
namespace {

// Which double-byte GBK codes are the ideographs U+4E00..U+9FA5.
const std::bitset<65536>& ideographCodes() {
    static const auto codes = [] {
        auto set = std::make_unique<std::bitset<65536>>();
        for (char16_t c = 0x4E00; c <= 0x9FA5; ++c) {
            const auto bytes = encodeGbk(std::u16string_view(&c, 1));
            if (bytes && bytes->size() == 2)
                set->set(static_cast<unsigned char>((*bytes)[0]) << 8 | static_cast<unsigned char>((*bytes)[1]));
        }
        return set;
    }();
    return *codes;
}

// One double-byte character's share of the counts.
inline void countPair(FigureCounts& c, const std::bitset<65536>& ideographs, char lead, char trail) {
    c.nonAscii += 2;
    if (!ideographs.test(static_cast<unsigned char>(lead) << 8 | static_cast<unsigned char>(trail))) c.symbolBytes += 2;
}

// One single byte's share; `afterCr` when the byte before it in the counted text is a CR.
inline void countByte(FigureCounts& c, char byte, bool afterCr) {
    const auto b = static_cast<unsigned char>(byte);
    const bool letter = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
    const bool digit = b >= '0' && b <= '9';
    if (letter) ++c.letters;
    if (digit) ++c.digits;
    if (!letter && !digit) ++c.symbolBytes;
    if (b < 0x20 || b >= 0x80) ++c.nonAscii;
    if (b == ' ') ++c.spaces;
    if (b == '\n') {
        ++c.lineFeeds;
        if (afterCr) ++c.lineBreaks;
    }
}

}  // namespace

FigureCounts& FigureCounts::operator+=(const FigureCounts& o) {
    bytes += o.bytes;
    lineBreaks += o.lineBreaks;
    spaces += o.spaces;
    nonAscii += o.nonAscii;
    letters += o.letters;
    digits += o.digits;
    symbolBytes += o.symbolBytes;
    lineFeeds += o.lineFeeds;
    return *this;
}

FigureCounts& FigureCounts::operator-=(const FigureCounts& o) {
    bytes -= o.bytes;
    lineBreaks -= o.lineBreaks;
    spaces -= o.spaces;
    nonAscii -= o.nonAscii;
    letters -= o.letters;
    digits -= o.digits;
    symbolBytes -= o.symbolBytes;
    lineFeeds -= o.lineFeeds;
    return *this;
}

FigureCounts countFigures(std::string_view text) {
    const auto& ideographs = ideographCodes();
    FigureCounts c;
    c.bytes = text.size();
    std::size_t i = 0;
    while (i < text.size()) {
        if (gbkCharLength(text, i) == 2) {
            countPair(c, ideographs, text[i], text[i + 1]);
            i += 2;
            continue;
        }
        countByte(c, text[i], i > 0 && text[i - 1] == '\r');
        ++i;
    }
    return c;
}

CountedLine countLine(std::string_view text, std::size_t start, std::size_t limit) {
    const auto& ideographs = ideographCodes();
    CountedLine out;
    std::size_t i = start;
    while (i < text.size() && out.characters < limit) {
        const std::size_t length = bodyCharLength(text, i);
        ++out.characters;
        if (text[i] == '\r' && length == 2) {
            countByte(out.counts, '\r', false);
            countByte(out.counts, '\n', true);
        } else if (length == 2) {
            countPair(out.counts, ideographs, text[i], text[i + 1]);
        } else {
            countByte(out.counts, text[i], i > start && text[i - 1] == '\r');
        }
        i += length;
        if (text[i - 1] == '\n') break;
    }
    out.counts.bytes = i - start;
    out.end = i;
    return out;
}

TextFigures textFigures(const FigureCounts& c, bool endsWithLineFeed) {
    TextFigures f;
    // The stripped body loses its CR LF pairs (both bytes outside the range)
    // and its spaces (inside it).
    f.chinese = static_cast<double>(c.nonAscii - 2 * c.lineBreaks) / 2.0;
    f.letters = c.letters;
    f.symbols = c.symbolBytes / 4;
    f.digits = c.digits;
    f.paragraphs = c.bytes == 0 ? 0 : c.lineFeeds + (endsWithLineFeed ? 0 : 1);
    return f;
}

std::uint64_t liveCount(const FigureCounts& c) { return (c.bytes - 2 * c.lineBreaks - c.spaces) / 2; }
std::uint64_t dailyCount(const FigureCounts& c) { return (c.bytes - c.spaces) / 2; }

Text liveCountText(std::uint64_t count) {
    static const Text label = gbk(u8"当前字数：  ");
    return label + decimal(static_cast<long long>(count));
}

Text realNumber(double value) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.13g", value);
    return buf;
}

Text reportText(const TextFigures& f) {
    static const Text chinese = gbk(u8"汉字数量："), letters = gbk(u8"\r\n英文数量："),
                      symbols = gbk(u8"\r\n符号数量："), digits = gbk(u8"\r\n数字数量："),
                      paragraphs = gbk(u8"\r\n段落数："),
                      privilege = gbk(u8"\r\n您拥有了这个积分特权，达到0积分拥有完整的字数统计。");
    auto n = [](std::uint64_t v) { return decimal(static_cast<long long>(v)); };
    return chinese + realNumber(f.chinese) + letters + n(f.letters) + symbols + n(f.symbols) + digits +
           n(f.digits) + paragraphs + n(f.paragraphs) + privilege;
}

Text refusalText() { return gbk(u8"您需要积分达到0点才能有资格使用详细的文字统计"); }

}  // namespace talery
