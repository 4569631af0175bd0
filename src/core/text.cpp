#include "core/text.h"

#include <unicode/ucnv.h>
#include <unicode/uniset.h>
#include <unicode/unistr.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace talery {
namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// ICU's windows-936 is Microsoft's table: 0x80 is the euro sign and the
// user-defined areas map to the Private Use Area.
ConverterPtr openGbk() {
    UErrorCode status = U_ZERO_ERROR;
    ConverterPtr conv(ucnv_open("windows-936", &status));
    if (U_FAILURE(status)) throw std::runtime_error("windows-936 converter unavailable");
    ucnv_setFallback(conv.get(), false);
    return conv;
}

UConverter* strictGbk() {
    thread_local ConverterPtr conv = [] {
        ConverterPtr c = openGbk();
        UErrorCode status = U_ZERO_ERROR;
        ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        return c;
    }();
    ucnv_reset(conv.get());
    return conv.get();
}

const icu::UnicodeSet& roundTripSet() {
    static const icu::UnicodeSet set = [] {
        icu::UnicodeSet s;
        ConverterPtr c = openGbk();
        UErrorCode status = U_ZERO_ERROR;
        ucnv_getUnicodeSet(c.get(), s.toUSet(), UCNV_ROUNDTRIP_SET, &status);
        if (U_FAILURE(status)) throw std::runtime_error("windows-936 set unavailable");
        s.freeze();
        return s;
    }();
    return set;
}

}  // namespace

Text gbk(std::u8string_view utf8) {
    return gbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

Text gbk(std::string_view utf8) {
    auto wide = decodeUtf8(utf8);
    if (!wide) throw std::logic_error("literal is not UTF-8");
    auto bytes = encodeGbk(*wide);
    if (!bytes) throw std::logic_error("literal not representable in GBK");
    return *bytes;
}

namespace {

// Valid GBK into `out` (room for bytes.size() units) up to the first invalid
// or truncated sequence: the units written, and where that sequence starts.
struct StrictRun {
    std::size_t written = 0;
    std::optional<std::size_t> faultAt;
};

StrictRun decodeRun(std::string_view bytes, char16_t* out) {
    UConverter* conv = strictGbk();
    UErrorCode status = U_ZERO_ERROR;
    const char* src = bytes.data();
    char16_t* dst = out;
    ucnv_toUnicode(conv, reinterpret_cast<UChar**>(&dst), reinterpret_cast<UChar*>(out + bytes.size()), &src,
                   bytes.data() + bytes.size(), nullptr, true, &status);
    StrictRun run{static_cast<std::size_t>(dst - out), std::nullopt};
    if (U_SUCCESS(status)) return run;
    // The converter stops behind the faulty bytes, which it keeps.
    char faulty[32];  // the room the converter asks for
    auto length = static_cast<int8_t>(sizeof faulty);
    UErrorCode st = U_ZERO_ERROR;
    ucnv_getInvalidChars(conv, faulty, &length, &st);
    run.faultAt = static_cast<std::size_t>(src - bytes.data()) - static_cast<std::size_t>(U_SUCCESS(st) ? length : 0);
    return run;
}

// The same, all or nothing: the units written.
std::optional<std::size_t> decodeStrict(std::string_view bytes, char16_t* out) {
    const StrictRun run = decodeRun(bytes, out);
    if (run.faultAt) return std::nullopt;
    return run.written;
}

}  // namespace

std::optional<std::u16string> decodeGbk(std::string_view bytes, ConversionError* error) {
    if (bytes.empty()) return std::u16string();
    std::u16string out;
    out.resize(bytes.size());
    const StrictRun run = decodeRun(bytes, out.data());
    if (!run.faultAt) {
        out.resize(run.written);
        return out;
    }
    if (error) error->offset = *run.faultAt;
    return std::nullopt;
}

// The GBK codes of the characters of the Basic Multilingual Plane looked up
// so far: one byte (at most 0xFF) or two, 1 when GBK cannot hold it, 0 when
// not looked up yet.
namespace {
std::array<std::atomic<std::uint16_t>, 65536> bmpCodes{};
}  // namespace

// The GBK code of a character of the Basic Multilingual Plane above ASCII.
std::uint16_t bmpCode(char16_t c) {
    auto& codes = bmpCodes;
    std::uint16_t code = codes[c].load(std::memory_order_relaxed);
    if (code != 0) return code;
    code = 1;
    if (gbkCanHold(c)) {
        char buf[8];
        UErrorCode status = U_ZERO_ERROR;
        const int32_t n = ucnv_fromUChars(strictGbk(), buf, sizeof buf, reinterpret_cast<const UChar*>(&c), 1, &status);
        if (U_SUCCESS(status) && n == 1) code = static_cast<unsigned char>(buf[0]);
        if (U_SUCCESS(status) && n == 2)
            code = static_cast<std::uint16_t>(static_cast<unsigned char>(buf[0]) << 8 | static_cast<unsigned char>(buf[1]));
    }
    codes[c].store(code, std::memory_order_relaxed);
    return code;
}

// Appends the GBK form of the characters in `text`; a character GBK cannot
// hold goes to `unholdable` (its UTF-16 index), which says whether to go on
// (with a "?" in its place). Whole novels pass through here: the bytes are
// written into room made once, not appended one by one.
template <class Unholdable>
bool encodeEach(std::u16string_view text, Text& out, Unholdable unholdable) {
    const std::size_t base = out.size();
    out.resize(base + text.size() * 2);  // two bytes a UTF-16 unit at most
    char* p = out.data() + base;
    bool whole = true;
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t start = i;
        UChar32 c = text[i];
        if (c < 0x80) {
            *p++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (U16_IS_SURROGATE(c)) U16_NEXT(text.data(), i, text.size(), c);
        else ++i;
        if (c <= 0xFFFF) {
            // Typing and reading back the body encode the same few thousand
            // characters over and over: each is looked up once.
            std::uint16_t code = bmpCodes[static_cast<char16_t>(c)].load(std::memory_order_relaxed);
            if (code == 0) code = bmpCode(static_cast<char16_t>(c));
            if (code > 1) {
                if (code > 0xFF) *p++ = static_cast<char>(code >> 8);
                *p++ = static_cast<char>(code & 0xFF);
                continue;
            }
        }
        if (!unholdable(start)) {
            whole = false;
            break;
        }
        *p++ = '?';
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
    return whole;
}

std::optional<Text> encodeGbk(std::u16string_view text, ConversionError* error) {
    Text out;
    const bool ok = encodeEach(text, out, [error](std::size_t at) {
        if (error) error->offset = at;
        return false;
    });
    if (!ok) return std::nullopt;
    return out;
}

Text encodeGbkLossy(std::u16string_view text) {
    Text out;
    appendGbkLossy(text, out);
    return out;
}

void appendGbkLossy(std::u16string_view text, Text& out) {
    encodeEach(text, out, [](std::size_t) { return true; });
}

std::u16string decodeGbkLossy(std::string_view bytes) {
    std::u16string out;
    out.resize(bytes.size());
    out.resize(decodeGbkLossy(bytes, out.data()));
    return out;
}

std::size_t decodeGbkLossy(std::string_view bytes, char16_t* out) {
    std::size_t written = 0;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        // Valid text, by far the most common, in one pass up to a fault.
        const StrictRun run = decodeRun(bytes.substr(pos), out + written);
        written += run.written;
        if (!run.faultAt) break;
        // The character there is taken on its own, the bytes it does not
        // decode as U+FFFD each.
        pos += *run.faultAt;
        const std::size_t len = gbkCharLength(bytes, pos);
        if (auto one = decodeStrict(bytes.substr(pos, len), out + written)) {
            written += *one;
            pos += len;
        } else {
            out[written++] = u'\uFFFD';
            pos += 1;  // resynchronise on the next byte
        }
    }
    return written;
}

namespace {

// What the converter accepts, byte by byte: code page 936 has characters of
// one byte and of two, so a table of every one-byte and two-byte sequence
// holds its whole verdict. Asking the converter itself costs over four times
// as much over a long file.
struct GbkSequences {
    std::bitset<256> single;  // a character of its own
    std::bitset<0x10000> pair;  // lead byte << 8 | trail byte
};

const GbkSequences& gbkSequences() {
    static const auto table = [] {
        auto t = std::make_unique<GbkSequences>();
        auto decodes = [](const char* bytes, std::size_t n) {
            char16_t out[2];
            const auto units = decodeStrict(std::string_view(bytes, n), out);
            return units && *units > 0;
        };
        for (unsigned b = 0; b < 256; ++b) {
            const char one = static_cast<char>(b);
            if (decodes(&one, 1)) {
                t->single.set(b);
                continue;
            }
            for (unsigned trail = 0; trail < 256; ++trail) {
                const char two[2] = {one, static_cast<char>(trail)};
                if (decodes(two, 2)) t->pair.set(b << 8 | trail);
            }
        }
        return t;
    }();
    return *table;
}

}  // namespace

bool isValidGbk(std::string_view bytes) {
    const GbkSequences& t = gbkSequences();
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    while (p < end) {
        const unsigned b = *p;
        if (b < 0x80 || t.single.test(b)) {
            ++p;
            continue;
        }
        if (end - p < 2 || !t.pair.test(b << 8 | p[1])) return false;
        p += 2;
    }
    return true;
}

bool gbkCanHold(char32_t c) {
    if (c < 0x80) return true;
    // Looked up for every character of long texts: the Basic Multilingual
    // Plane once as a bit table.
    static const auto bmp = [] {
        auto table = std::make_unique<std::bitset<0x10000>>();
        for (UChar32 u = 0x80; u < 0x10000; ++u)
            if (roundTripSet().contains(u)) table->set(static_cast<std::size_t>(u));
        return table;
    }();
    if (c < 0x10000) return bmp->test(c);
    return roundTripSet().contains(static_cast<UChar32>(c));
}

std::optional<std::u16string> decodeUtf8(std::string_view bytes, ConversionError* error) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto n = static_cast<int32_t>(bytes.size());
    int32_t pos = 0;
    while (pos < n) {
        const int32_t start = pos;
        UChar32 c;
        U8_NEXT(s, pos, n, c);
        if (c < 0) {
            if (error) error->offset = static_cast<std::size_t>(start);
            return std::nullopt;
        }
        if (c <= 0xFFFF) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            out.push_back(static_cast<char16_t>(U16_LEAD(c)));
            out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
        }
    }
    return out;
}

std::string encodeUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    std::size_t i = 0;
    while (i < text.size()) {
        UChar32 c;
        U16_NEXT(text.data(), i, text.size(), c);
        if (U_IS_SURROGATE(c)) c = 0xFFFD;  // a lone surrogate cannot be written as UTF-8
        uint8_t buf[4];
        int32_t len = 0;
        U8_APPEND_UNSAFE(buf, len, c);
        out.append(reinterpret_cast<const char*>(buf), static_cast<std::size_t>(len));
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const uint8_t*>(bytes.data());
    const auto n = static_cast<int32_t>(bytes.size());
    for (int32_t pos = 0; pos < n;) {
        UChar32 c;
        U8_NEXT(s, pos, n, c);
        if (c < 0) return false;  // the same test as decodeUtf8's
    }
    return true;
}

std::string gbkToUtf8Lossy(std::string_view gbkBytes) { return encodeUtf8(decodeGbkLossy(gbkBytes)); }

Text utf8ToGbkLossy(std::string_view utf8) {
    // Invalid UTF-8 bytes become U+FFFD first, which GBK then shows as "?".
    std::u16string wide;
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto n = static_cast<int32_t>(utf8.size());
    int32_t pos = 0;
    while (pos < n) {
        UChar32 c;
        U8_NEXT_OR_FFFD(s, pos, n, c);
        if (c <= 0xFFFF) {
            wide.push_back(static_cast<char16_t>(c));
        } else {
            wide.push_back(static_cast<char16_t>(U16_LEAD(c)));
            wide.push_back(static_cast<char16_t>(U16_TRAIL(c)));
        }
    }
    return encodeGbkLossy(wide);
}

std::size_t countOf(std::string_view text, char c) {
    std::size_t n = 0;
    const char* const end = text.data() + text.size();
    for (const char* p = text.data(); (p = static_cast<const char*>(std::memchr(p, c, static_cast<std::size_t>(end - p))));
         ++p)
        ++n;
    return n;
}

std::size_t findGbk(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (needle.empty()) return std::string_view::npos;
    std::size_t pos = 0;
    // Walk from the start so that `from` inside a character is never a start.
    while (pos < from && pos < haystack.size()) pos += gbkCharLength(haystack, pos);
    while (pos + needle.size() <= haystack.size()) {
        if (haystack.compare(pos, needle.size(), needle) == 0) return pos;
        pos += gbkCharLength(haystack, pos);
    }
    return std::string_view::npos;
}

Text decimal(long long value) { return std::to_string(value); }

std::string hexOf(std::string_view bytes, HexCase letters) {
    const char* digits = letters == HexCase::Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

Text joinLines(std::initializer_list<Text> lines) {
    Text out;
    for (const Text& line : lines) {
        if (!out.empty()) out += "\r\n";
        out += line;
    }
    return out;
}

}  // namespace talery
