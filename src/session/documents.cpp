#include "session/documents.h"

#include "session/cipher.h"

namespace talery {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool hasMultiByte(std::string_view bytes) {
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80) return true;
    return false;
}

// Bare LF line breaks (no CR LF anywhere) are remembered and restored on save.
bool onlyBareLineFeeds(std::string_view text) {
    return text.find('\n') != std::string_view::npos && text.find("\r\n") == std::string_view::npos;
}

std::string lfToCrLf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string crLfToLf(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i];
    }
    return out;
}

}  // namespace

bool isEncryptedPath(std::string_view path) { return path.find(".tlr") != std::string_view::npos; }

std::string extensionOf(std::string_view path) {
    const auto dot = path.rfind('.');
    return std::string(dot == std::string_view::npos ? path : path.substr(dot + 1));
}

Text titleFromPath(std::string_view path) {
    const std::string name = baseName(Path(path));
    return utf8ToGbkLossy(std::string_view(name).substr(0, name.find('.')));
}

std::optional<DecodedText> decodeTextDocument(std::string_view bytes, DecodeProblem* problem) {
    auto refuse = [&](DecodeProblem p) -> std::optional<DecodedText> {
        if (problem) *problem = p;
        return std::nullopt;
    };
    if (problem) *problem = DecodeProblem::None;
    // A NUL would cut the text short and the rest would be lost on saving.
    if (bytes.find('\0') != std::string_view::npos) return refuse(DecodeProblem::ContainsNul);

    DecodedText out;
    std::string_view content = bytes;
    const bool bom = bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom;
    if (bom) content.remove_prefix(kUtf8Bom.size());
    if (bom || (hasMultiByte(content) && isValidUtf8(content))) {
        auto wide = decodeUtf8(content);
        if (!wide) return refuse(DecodeProblem::UnknownEncoding);
        auto gbkText = encodeGbk(*wide);
        if (!gbkText) return refuse(DecodeProblem::NotRepresentable);
        out.body = std::move(*gbkText);
        out.format.encoding = bom ? DocumentFormat::Encoding::Utf8Bom : DocumentFormat::Encoding::Utf8;
    } else {
        if (!isValidGbk(content)) return refuse(DecodeProblem::UnknownEncoding);
        out.body = std::string(content);
    }
    if (onlyBareLineFeeds(out.body)) {
        out.format.lfLineBreaks = true;
        out.body = lfToCrLf(out.body);
    }
    return out;
}

std::string encodeTextDocument(const Text& body, const DocumentFormat& format) {
    std::string text = format.lfLineBreaks ? crLfToLf(body) : body;
    switch (format.encoding) {
        case DocumentFormat::Encoding::Gbk: return text;
        case DocumentFormat::Encoding::Utf8: return gbkToUtf8Lossy(text);
        case DocumentFormat::Encoding::Utf8Bom: return std::string(kUtf8Bom) + gbkToUtf8Lossy(text);
    }
    return text;
}

std::string documentBytesFor(const Text& body, std::string_view path, const DocumentFormat& format,
                             std::string_view keyText) {
    if (isEncryptedPath(path)) return encryptText(body, keyText);
    return encodeTextDocument(body, format);
}

bool plausibleDecipheredText(std::string_view bytes) {
    return bytes.find('\0') == std::string_view::npos && isValidGbk(bytes);
}

}  // namespace talery
