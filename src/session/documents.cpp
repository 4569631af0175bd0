#include "session/documents.h"

#include "core/cipher.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace talery {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool hasMultiByte(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

std::optional<std::u16string> decodeUtf16(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::u16string out(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        out[i] = static_cast<char16_t>(bigEndian ? (a << 8 | b) : (b << 8 | a));
    }
    // Unpaired surrogates would not survive the way back.
    for (std::size_t i = 0; i < out.size(); ++i) {
        const char16_t c = out[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= out.size() || out[i + 1] < 0xDC00 || out[i + 1] > 0xDFFF) return std::nullopt;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return std::nullopt;
        }
    }
    return out;
}

std::string encodeUtf16(std::u16string_view text, bool bigEndian) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char16_t c : text) {
        const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
        out += bigEndian ? hi : lo;
        out += bigEndian ? lo : hi;
    }
    return out;
}

// Many zero bytes all at even or all at odd offsets: UTF-16 without a mark.
bool looksLikeUtf16(std::string_view bytes) {
    if (bytes.size() < 2 || bytes.size() % 2 != 0) return false;
    std::size_t even = 0, odd = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (bytes[i] == '\0') ++(i % 2 ? odd : even);
    const std::size_t pairs = bytes.size() / 2;
    const std::size_t zeros = std::max(odd, even);
    return zeros >= 2 && zeros * 10 >= pairs * 4 && std::min(odd, even) == 0;
}

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// Share of non-ASCII characters that Chinese text is made of.
double utf8Plausibility(const std::u16string& text) {
    std::size_t all = 0, good = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) continue;
        ++all;
        const bool chinese = (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
                             (c >= 0x3000 && c <= 0x303F) || (c >= 0xFF00 && c <= 0xFFEF) ||
                             (c >= 0x2010 && c <= 0x206F);
        // An accented letter inside a Latin word ("café"); the same letters
        // alone are what GBK Chinese looks like when misread.
        const bool latinInWord = c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7 &&
                                 ((i > 0 && isAsciiLetter(text[i - 1])) || (i + 1 < text.size() && isAsciiLetter(text[i + 1])));
        if (chinese || latinInWord) ++good;
    }
    return all ? static_cast<double>(good) / static_cast<double>(all) : 0.0;
}

// Share of non-ASCII GBK characters in the common GB2312 rows: hanzi and the
// punctuation and full-width forms.
double gbkPlausibility(std::string_view bytes) {
    std::size_t all = 0, good = 0;
    for (std::size_t pos = 0; pos < bytes.size();) {
        const std::size_t len = gbkCharLength(bytes, pos);
        const auto lead = static_cast<unsigned char>(bytes[pos]);
        if (len == 2) {
            ++all;
            const auto trail = static_cast<unsigned char>(bytes[pos + 1]);
            if (trail >= 0xA1 && trail <= 0xFE && ((lead >= 0xB0 && lead <= 0xF7) || (lead >= 0xA1 && lead <= 0xA3)))
                ++good;
        } else if (lead >= 0x80) {
            ++all;
        }
        pos += len;
    }
    return all ? static_cast<double>(good) / static_cast<double>(all) : 0.0;
}

}  // namespace

// By the extension, as opening decides: ".tlr" elsewhere in a path (a folder
// "旧稿.tlr备份", a name "日记.tlr.txt") never makes a ".txt" enciphered.
bool isEncryptedPath(std::string_view path) { return extensionOf(path) == "tlr"; }

std::string extensionOf(std::string_view path) {
    const auto dot = path.rfind('.');
    return std::string(dot == std::string_view::npos ? path : path.substr(dot + 1));
}

namespace {

// The breaks of a text by kind, sought with memchr (see countOf).
struct BreakCounts {
    std::size_t crlf = 0, lf = 0, cr = 0;
};

BreakCounts countBreaks(std::string_view text) {
    BreakCounts n;
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\r', static_cast<std::size_t>(end - p))));
         ++p) {
        if (p + 1 < end && p[1] == '\n') ++n.crlf;
        else ++n.cr;
    }
    n.lf = countOf(text, '\n') - n.crlf;  // every LF behind a CR is one of the pairs
    return n;
}

// The text is converted only when it has LF or lone CR.
NormalisedBreaks breakStyle(std::string_view text, bool* needsChange) {
    const auto [crlf, lf, cr] = countBreaks(text);
    NormalisedBreaks out;
    const int kinds = (crlf > 0) + (lf > 0) + (cr > 0);
    out.mixed = kinds > 1;
    if (kinds == 1 && lf) out.style = DocumentFormat::LineBreaks::Lf;
    if (kinds == 1 && cr) out.style = DocumentFormat::LineBreaks::Cr;
    *needsChange = lf != 0 || cr != 0;
    if (*needsChange) out.text.reserve(text.size() + lf + cr);
    return out;
}

// Every break as CR LF; the runs between breaks are copied whole.
void appendCrLf(std::string_view text, std::string& out) {
    std::size_t nextCr = text.find('\r'), nextLf = text.find('\n');
    std::size_t i = 0;
    while (i < text.size()) {
        if (nextCr < i) nextCr = text.find('\r', i);
        if (nextLf < i) nextLf = text.find('\n', i);
        const std::size_t at = std::min(nextCr, nextLf);
        if (at == std::string_view::npos) {
            out.append(text.substr(i));
            break;
        }
        out.append(text.substr(i, at - i));
        out += "\r\n";
        // A CR LF pair is one break.
        i = at + (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1);
    }
}

}  // namespace

bool breaksAreCrLf(std::string_view text) {
    const BreakCounts n = countBreaks(text);
    return n.lf == 0 && n.cr == 0;
}

NormalisedBreaks normaliseLineBreaks(std::string_view text) {
    bool change = false;
    NormalisedBreaks out = breakStyle(text, &change);
    if (change) appendCrLf(text, out.text);
    else out.text = std::string(text);
    return out;
}

NormalisedBreaks normaliseLineBreaks(std::string&& text) {
    bool change = false;
    NormalisedBreaks out = breakStyle(text, &change);
    if (change) {
        appendCrLf(text, out.text);
        text = std::string();
    } else {
        out.text = std::move(text);
    }
    return out;
}

std::string applyLineBreaks(std::string&& body, DocumentFormat::LineBreaks style) {
    if (style == DocumentFormat::LineBreaks::CrLf) return std::move(body);
    return applyLineBreaks(std::string_view(body), style);
}

std::string applyLineBreaks(std::string_view body, DocumentFormat::LineBreaks style) {
    if (style == DocumentFormat::LineBreaks::CrLf) return std::string(body);
    const char single = style == DocumentFormat::LineBreaks::Lf ? '\n' : '\r';
    std::string out;
    out.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') {
            out += single;
            ++i;
        } else {
            out += body[i];
        }
    }
    return out;
}

bool utf8ReadsBetterThanGbk(std::string_view bytes) {
    if (!hasMultiByte(bytes)) return false;
    auto wide = decodeUtf8(bytes);
    if (!wide) return false;
    return utf8Plausibility(*wide) >= gbkPlausibility(bytes);
}

namespace {

// GBK validity a block at a time, `between` after each: the blocks end behind
// a LF, which is never a byte of a double-byte character.
bool isValidGbkInBlocks(std::string_view text, const std::function<void()>& between) {
    constexpr std::size_t kBlock = std::size_t(8) << 20;
    for (std::size_t from = 0; from < text.size();) {
        std::size_t end = std::min(from + kBlock, text.size());
        if (end < text.size()) {
            const std::size_t lf = text.find('\n', end);
            end = lf == std::string_view::npos ? text.size() : lf + 1;
        }
        if (!isValidGbk(text.substr(from, end - from))) return false;
        from = end;
        if (between) between();
    }
    return true;
}

}  // namespace

std::optional<DecodedText> decodeTextDocument(std::string_view bytes, DecodeProblem* problem) {
    return decodeTextDocumentTaking(std::string(bytes), problem);
}

std::optional<DecodedText> decodeTextDocumentTaking(std::string&& owned, DecodeProblem* problem,
                                                    const std::function<void()>& between,
                                                    const std::function<void()>& beforeChange) {
    auto pass = [&between] {
        if (between) between();
    };
    auto changing = [&beforeChange] {
        if (beforeChange) beforeChange();
    };
    const std::string_view bytes = owned;
    auto refuse = [&](DecodeProblem p) -> std::optional<DecodedText> {
        if (problem) *problem = p;
        return std::nullopt;
    };
    if (problem) *problem = DecodeProblem::None;

    DecodedText out;
    std::optional<std::u16string> wide;
    const bool utf16Le = bytes.substr(0, 2) == kUtf16LeBom;
    const bool utf16Be = bytes.substr(0, 2) == kUtf16BeBom;
    if (utf16Le || utf16Be) {
        wide = decodeUtf16(bytes.substr(2), utf16Be);
        if (!wide) return refuse(DecodeProblem::UnknownEncoding);
        if (wide->find(u'\0') != std::u16string::npos) return refuse(DecodeProblem::ContainsNul);
        out.format.encoding = utf16Be ? DocumentFormat::Encoding::Utf16BeBom : DocumentFormat::Encoding::Utf16LeBom;
    } else {
        // A NUL would cut the text short and the rest would be lost on saving.
        if (bytes.find('\0') != std::string_view::npos)
            return refuse(looksLikeUtf16(bytes) ? DecodeProblem::Utf16WithoutBom : DecodeProblem::ContainsNul);
        pass();
        std::string_view content = bytes;
        const bool bom = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
        if (bom) content.remove_prefix(kUtf8Bom.size());
        const bool utf8 = bom || (hasMultiByte(content) && isValidUtf8(content) &&
                                  (!isValidGbk(content) || utf8ReadsBetterThanGbk(content)));
        pass();
        if (utf8) {
            wide = decodeUtf8(content);
            if (!wide) return refuse(DecodeProblem::UnknownEncoding);
            out.format.encoding = bom ? DocumentFormat::Encoding::Utf8Bom : DocumentFormat::Encoding::Utf8;
        } else {
            if (!isValidGbkInBlocks(content, between)) return refuse(DecodeProblem::UnknownEncoding);
            out.body = std::move(owned);
        }
    }
    pass();
    changing();
    if (wide) {
        owned = std::string();
        auto gbkText = encodeGbk(*wide);
        if (!gbkText) return refuse(DecodeProblem::NotRepresentable);
        wide.reset();
        out.body = std::move(*gbkText);
        pass();
    }
    NormalisedBreaks breaks = normaliseLineBreaks(std::move(out.body));
    out.body = std::move(breaks.text);
    out.format.lineBreaks = breaks.style;
    out.mixedLineBreaks = breaks.mixed;
    return out;
}

std::string encodeTextDocument(const Text& body, const DocumentFormat& format) {
    return encodeTextDocument(Text(body), format);
}

std::string encodeTextDocument(Text&& body, const DocumentFormat& format) {
    return DocumentEncoder({}, format, {}).next(std::move(body));
}

std::string documentBytesFor(const Text& body, std::string_view path, const DocumentFormat& format,
                             std::string_view keyText) {
    return documentBytesFor(Text(body), path, format, keyText);
}

std::string documentBytesFor(Text&& body, std::string_view path, const DocumentFormat& format,
                             std::string_view keyText) {
    return DocumentEncoder(path, format, keyText).next(std::move(body));
}

DocumentEncoder::DocumentEncoder(std::string_view path, const DocumentFormat& format, std::string_view keyText)
    : format_(format) {
    if (isEncryptedPath(path)) cipher_.emplace(deriveDocumentKey(keyText));
}

std::string DocumentEncoder::next(std::string&& slice) {
    // A slice holds whole characters, so a CR LF is never cut in two.
    std::string text = applyLineBreaks(std::move(slice), format_.lineBreaks);
    const bool first = !started_;
    started_ = true;
    if (cipher_) {
        // An encrypted document is GBK whatever the format says.
        cipher_->apply({reinterpret_cast<std::uint8_t*>(text.data()), text.size()});
        return text;
    }
    switch (format_.encoding) {
        case DocumentFormat::Encoding::Gbk: return text;
        case DocumentFormat::Encoding::Utf8: return gbkToUtf8Lossy(text);
        case DocumentFormat::Encoding::Utf8Bom: return (first ? std::string(kUtf8Bom) : std::string()) + gbkToUtf8Lossy(text);
        case DocumentFormat::Encoding::Utf16LeBom:
            return (first ? std::string(kUtf16LeBom) : std::string()) + encodeUtf16(decodeGbkLossy(text), false);
        case DocumentFormat::Encoding::Utf16BeBom:
            return (first ? std::string(kUtf16BeBom) : std::string()) + encodeUtf16(decodeGbkLossy(text), true);
    }
    return text;
}

bool plausibleDecipheredText(std::string_view bytes, const std::function<void()>& between) {
    return bytes.find('\0') == std::string_view::npos && isValidGbkInBlocks(bytes, between);
}

}  // namespace talery
