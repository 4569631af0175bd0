#include "core/cipher.h"

#include <algorithm>
#include <bit>
#include <stdexcept>
#include <utility>

namespace talery {

namespace {

// RFC 1321 section 3.4: T[i] = floor(2^32 * |sin(i + 1)|).
constexpr std::array<std::uint32_t, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

// Left-rotation amounts, four per round.
constexpr std::array<int, 16> kShift = {7, 12, 17, 22, 5, 9, 14, 20, 4, 11, 16, 23, 6, 10, 15, 21};

std::span<const std::uint8_t> asBytes(std::string_view s)
{
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// Encryption and decryption are the same keystream XOR.
std::string xorWithDocumentKeystream(std::string_view in, std::string_view keyText)
{
    std::string out(in);
    applyDocumentKeystream(out, keyText);
    return out;
}

}  // namespace

Md5::Md5() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476} {}

void Md5::compress(const std::uint8_t* block)
{
    std::array<std::uint32_t, 16> m;
    for (std::size_t k = 0; k < 16; ++k) {
        const std::uint8_t* p = block + 4 * k;
        m[k] = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16
               | std::uint32_t(p[3]) << 24;
    }

    auto [a, b, c, d] = state_;
    for (std::size_t i = 0; i < 64; ++i) {
        std::uint32_t f;
        std::size_t g;
        switch (i / 16) {
        case 0: f = (b & c) | (~b & d); g = i; break;
        case 1: f = (d & b) | (~d & c); g = (5 * i + 1) % 16; break;
        case 2: f = b ^ c ^ d; g = (3 * i + 5) % 16; break;
        default: f = c ^ (b | ~d); g = (7 * i) % 16; break;
        }
        const std::uint32_t rotated = std::rotl(a + f + kSine[i] + m[g], kShift[(i / 16) * 4 + i % 4]);
        a = d;
        d = c;
        c = b;
        b += rotated;
    }
    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

void Md5::update(std::span<const std::uint8_t> bytes)
{
    std::size_t used = length_ % 64;
    length_ += bytes.size();

    // Top up a partly filled block first, then take whole blocks straight from the input.
    if (used > 0) {
        const std::size_t take = std::min(bytes.size(), 64 - used);
        std::copy_n(bytes.begin(), take, pending_.begin() + used);
        bytes = bytes.subspan(take);
        used += take;
        if (used < 64)
            return;
        compress(pending_.data());
    }
    while (bytes.size() >= 64) {
        compress(bytes.data());
        bytes = bytes.subspan(64);
    }
    std::copy(bytes.begin(), bytes.end(), pending_.begin());
}

void Md5::update(std::string_view bytes)
{
    update(asBytes(bytes));
}

Md5Digest Md5::digest() const
{
    // Pad a copy so the caller can keep feeding this one.
    Md5 tail = *this;
    const std::uint64_t bitCount = length_ * 8;
    const std::size_t used = length_ % 64;
    static constexpr std::array<std::uint8_t, 64> padding = {0x80};
    tail.update(std::span(padding).first(used < 56 ? 56 - used : 120 - used));

    std::array<std::uint8_t, 8> lengthBytes;
    for (std::size_t k = 0; k < 8; ++k)
        lengthBytes[k] = static_cast<std::uint8_t>(bitCount >> (8 * k));
    tail.update(lengthBytes);

    Md5Digest out;
    for (std::size_t k = 0; k < 16; ++k)
        out[k] = static_cast<std::uint8_t>(tail.state_[k / 4] >> (8 * (k % 4)));
    return out;
}

Md5Digest md5(std::string_view bytes)
{
    Md5 h;
    h.update(bytes);
    return h.digest();
}

Rc4::Rc4(std::span<const std::uint8_t> key)
{
    if (key.empty() || key.size() > 256)
        throw std::invalid_argument("RC4 key must be 1 to 256 bytes long");

    for (std::size_t k = 0; k < 256; ++k)
        s_[k] = static_cast<std::uint8_t>(k);
    std::uint8_t j = 0;
    for (std::size_t k = 0; k < 256; ++k) {
        j = static_cast<std::uint8_t>(j + s_[k] + key[k % key.size()]);
        std::swap(s_[k], s_[j]);
    }
}

void Rc4::apply(std::span<std::uint8_t> data)
{
    for (std::uint8_t& byte : data) {
        i_ = static_cast<std::uint8_t>(i_ + 1);
        j_ = static_cast<std::uint8_t>(j_ + s_[i_]);
        std::swap(s_[i_], s_[j_]);
        byte ^= s_[static_cast<std::uint8_t>(s_[i_] + s_[j_])];
    }
}

std::string documentKeyText(std::string_view passwordGbk)
{
    std::string keyText(keyPrefix);
    keyText += passwordGbk;
    return keyText;
}

std::array<std::uint8_t, 16> deriveDocumentKey(std::string_view keyText)
{
    const Md5Digest digest = md5(keyText);
    std::array<std::uint8_t, 16> key{};  // bytes 5..15 stay zero: the CryptoAPI salt
    std::copy_n(digest.begin(), 5, key.begin());
    return key;
}

void applyDocumentKeystream(std::string& bytes, std::string_view keyText, const std::function<void(double)>& progress)
{
    if (bytes.empty())
        return;
    Rc4 rc4(deriveDocumentKey(keyText));
    // A step of 4 MB takes about 12 ms: the window paints between them.
    constexpr std::size_t step = std::size_t(4) << 20;
    for (std::size_t at = 0; at < bytes.size(); at += step) {
        const std::size_t n = std::min(step, bytes.size() - at);
        rc4.apply({reinterpret_cast<std::uint8_t*>(bytes.data()) + at, n});
        if (progress)
            progress(static_cast<double>(at + n) / static_cast<double>(bytes.size()));
    }
}

std::string encryptText(std::string_view plain, std::string_view keyText)
{
    return xorWithDocumentKeystream(plain, keyText);
}

std::string decryptBytes(std::string_view cipher, std::string_view keyText)
{
    return xorWithDocumentKeystream(cipher, keyText);
}

std::string decryptText(std::string_view cipher, std::string_view keyText)
{
    std::string plain = xorWithDocumentKeystream(cipher, keyText);
    if (const auto nul = plain.find('\0'); nul != std::string::npos)
        plain.resize(nul);
    return plain;
}

}  // namespace talery
