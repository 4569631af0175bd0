#pragma once

// Document cipher: MD5-derived 40-bit RC4, byte-compatible with files written
// by the Windows build (which used the CryptoAPI defaults for this scheme).
// Text is GBK bytes held in std::string; nothing here interprets encodings.

#include <array>
#include <functional>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace talery {

using Md5Digest = std::array<std::uint8_t, 16>;

// RFC 1321 MD5, fed incrementally.
class Md5 {
public:
    Md5();
    void update(std::span<const std::uint8_t> bytes);
    void update(std::string_view bytes);
    // Digest of everything fed so far; the object stays usable for more input.
    Md5Digest digest() const;

private:
    void compress(const std::uint8_t* block);

    std::array<std::uint32_t, 4> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::uint64_t length_ = 0;  // total bytes fed; the bit count wraps mod 2^64 as RFC 1321 says
};

Md5Digest md5(std::string_view bytes);

// ARCFOUR with a 1..256-byte key; no keystream bytes are discarded.
class Rc4 {
public:
    // Throws std::invalid_argument for an empty key or one longer than 256 bytes.
    explicit Rc4(std::span<const std::uint8_t> key);
    // XORs the keystream into data in place, continuing where the last call stopped.
    void apply(std::span<std::uint8_t> data);

private:
    std::array<std::uint8_t, 256> s_;
    std::uint8_t i_ = 0;
    std::uint8_t j_ = 0;
};

// Fixed prefix the Windows build put in front of every document password.
inline constexpr std::string_view keyPrefix = "mqd517283946";

// keyPrefix followed by the password's GBK bytes.
std::string documentKeyText(std::string_view passwordGbk);

// 16-byte RC4 key: the first 5 bytes of MD5(keyText) and 11 zero bytes
// (a 40-bit key with an 11-byte zero salt, as the CryptoAPI derives it).
std::array<std::uint8_t, 16> deriveDocumentKey(std::string_view keyText);

// XORs the document keystream into `bytes` in place (either direction), so a
// long document is never held twice; `progress` hears of the share done.
void applyDocumentKeystream(std::string& bytes, std::string_view keyText,
                            const std::function<void(double)>& progress = {});
// Plaintext XOR keystream; the output has the input's length.
std::string encryptText(std::string_view plain, std::string_view keyText);
// The same XOR in the other direction, every byte kept.
std::string decryptBytes(std::string_view cipher, std::string_view keyText);
// Deciphered bytes up to (not including) the first NUL, or all of them if none.
std::string decryptText(std::string_view cipher, std::string_view keyText);

}  // namespace talery
