// The GBK and UTF-8 codecs and the double-byte stepping rule over arbitrary
// bytes: what decodes strictly encodes back to the same bytes, what encodes
// decodes back, lossy forms agree with strict ones where both succeed, and
// searches start only on the character boundaries the decoder sees.

#include "core/text.h"
#include "fuzz_input.h"

#include <vector>

using namespace talery;

namespace {

std::size_t codePoints(std::u16string_view s) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < s.size(); ++i, ++n)
        if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
    return n;
}

void checkBytes(std::string_view bytes) {
    ConversionError error;
    const auto wide = decodeGbk(bytes, &error);
    const std::u16string lossy = decodeGbkLossy(bytes);
    std::vector<std::size_t> starts;
    for (std::size_t pos = 0; pos < bytes.size(); pos += gbkCharLength(bytes, pos)) starts.push_back(pos);

    if (wide) {
        FUZZ_CHECK(isValidGbk(bytes));
        FUZZ_CHECK(lossy == *wide);
        const auto back = encodeGbk(*wide);
        FUZZ_CHECK(back && *back == bytes);
        // One UTF-16 unit per character the stepping rule sees.
        FUZZ_CHECK(wide->size() == starts.size());
    } else {
        FUZZ_CHECK(!isValidGbk(bytes));
        FUZZ_CHECK(error.offset < bytes.size());
        FUZZ_CHECK(decodeGbk(bytes.substr(0, error.offset)).has_value());
    }
    // What the lossy decoder gives is always storable again.
    FUZZ_CHECK(isValidGbk(encodeGbkLossy(lossy)));

    const auto utf8 = decodeUtf8(bytes);
    FUZZ_CHECK(utf8.has_value() == isValidUtf8(bytes));
    if (utf8) FUZZ_CHECK(encodeUtf8(*utf8) == bytes);
    FUZZ_CHECK(isValidGbk(utf8ToGbkLossy(bytes)));
    FUZZ_CHECK(isValidUtf8(gbkToUtf8Lossy(bytes)));
}

void checkUnits(std::u16string_view text) {
    ConversionError error;
    const auto bytes = encodeGbk(text, &error);
    const Text lossy = encodeGbkLossy(text);
    FUZZ_CHECK(isValidGbk(lossy));
    if (bytes) {
        FUZZ_CHECK(lossy == *bytes);
        FUZZ_CHECK(decodeGbk(*bytes) == std::u16string(text));
    } else {
        FUZZ_CHECK(error.offset < text.size());
        FUZZ_CHECK(encodeGbk(text.substr(0, error.offset)).has_value());
    }
    // One character out for every code point in, "?" for those GBK cannot hold.
    FUZZ_CHECK(codePoints(*decodeGbk(lossy)) == codePoints(text));
}

void checkSearch(std::string_view haystack, std::string_view needle, std::size_t from) {
    std::vector<bool> boundary(haystack.size() + 1, false);
    std::size_t pos = 0;
    for (; pos < haystack.size(); pos += gbkCharLength(haystack, pos)) boundary[pos] = true;
    FUZZ_CHECK(pos == haystack.size());
    boundary[pos] = true;

    const std::size_t found = findGbk(haystack, needle, from);
    std::size_t expected = std::string_view::npos;
    if (!needle.empty())
        for (std::size_t p = from; p + needle.size() <= haystack.size(); ++p)
            if (boundary[p] && haystack.substr(p, needle.size()) == needle) {
                expected = p;
                break;
            }
    FUZZ_CHECK(found == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::size_t from = in.byte();
    const std::string needle(in.piece());
    const std::string_view bytes = in.rest();

    checkBytes(bytes);
    checkSearch(bytes, needle, from);
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              static_cast<unsigned char>(bytes[i + 1]) << 8));
    checkUnits(units);
    return 0;
}
