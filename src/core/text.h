#pragma once
// Text in Talery is GBK (code page 936) bytes; lengths and offsets count bytes.
// Conversion to and from Unicode happens only at the window boundary, in the
// pattern counter and when files in other encodings are read or written.

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace talery {

using Text = std::string;  // GBK bytes, no terminating NUL

// A UTF-8 source literal turned into GBK. Only for the program's own texts,
// which are all representable; anything else is a programming error.
Text gbk(std::u8string_view utf8);
Text gbk(std::string_view utf8);

// Result of a strict conversion: `ok` false names the first offending offset
// (a byte offset in the input for decoding, a UTF-16 index for encoding).
struct ConversionError {
    std::size_t offset = 0;
};

// Strict GBK -> UTF-16: invalid or truncated sequences are an error.
std::optional<std::u16string> decodeGbk(std::string_view bytes, ConversionError* error = nullptr);
// Strict UTF-16 -> GBK: characters GBK cannot hold are an error.
std::optional<Text> encodeGbk(std::u16string_view text, ConversionError* error = nullptr);
// UTF-16 -> GBK, every character GBK cannot hold becomes "?" (one per code point).
Text encodeGbkLossy(std::u16string_view text);
// The same, appended to `out`.
void appendGbkLossy(std::u16string_view text, Text& out);
// GBK -> UTF-16, invalid bytes become U+FFFD.
std::u16string decodeGbkLossy(std::string_view bytes);
// The same into `out`, which has room for bytes.size() units (never more is
// written: a character of GBK is one unit); returns the units written.
std::size_t decodeGbkLossy(std::string_view bytes, char16_t* out);

bool isValidGbk(std::string_view bytes);
// Whether a code point has a round-trip mapping in code page 936.
bool gbkCanHold(char32_t c);

// UTF-8 helpers (strict; used for files and command lines).
std::optional<std::u16string> decodeUtf8(std::string_view bytes, ConversionError* error = nullptr);
std::string encodeUtf8(std::u16string_view text);
bool isValidUtf8(std::string_view bytes);

std::string gbkToUtf8Lossy(std::string_view gbkBytes);
Text utf8ToGbkLossy(std::string_view utf8);

// Byte length of the character starting at `pos`: 2 for a lead byte
// (0x81..0xFE) followed by a trail byte (0x40..0xFE but 0x7F), else 1. Every
// search and split steps by this, so the second byte of a double-byte
// character (which may look like "a" or "]") is never taken for one; an
// invalid pair falls apart into single bytes, as a decoder would read it.
inline std::size_t gbkCharLength(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x81 || lead > 0xFE || pos + 1 >= text.size()) return 1;
    const auto trail = static_cast<unsigned char>(text[pos + 1]);
    return (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) ? 2 : 1;
}

// Bytes of the body character starting at `pos` of GBK text: the body box
// holds a line break (CR LF) as one character.
inline std::size_t bodyCharLength(std::string_view text, std::size_t pos) {
    if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') return 2;
    return gbkCharLength(text, pos);
}

// How often byte `c` occurs in `text`, sought with memchr: a novel of
// 150 MB has a line feed every few hundred bytes, and a byte at a time takes
// a tenth of a second.
std::size_t countOf(std::string_view text, char c);

// First occurrence of `needle` at or after `from`, starting only on character
// boundaries; npos when absent.
std::size_t findGbk(std::string_view haystack, std::string_view needle, std::size_t from = 0);

// Decimal formatting of integers as ASCII (which is also GBK).
Text decimal(long long value);
// The lines joined by CR LF, as message boxes show them.
Text joinLines(std::initializer_list<Text> lines);
enum class HexCase { Lower, Upper };
// Two hexadecimal digits a byte, in order.
std::string hexOf(std::string_view bytes, HexCase letters = HexCase::Lower);

}  // namespace talery
