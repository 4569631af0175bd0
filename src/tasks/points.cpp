#include "tasks/points.h"

#include "core/cipher.h"

namespace talery {

namespace {

constexpr std::string_view kEscapedTag = "hex:";

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::string> fromHex(std::string_view digits) {
    if (digits.size() % 2 != 0) return std::nullopt;
    std::string bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        const int hi = hexValue(digits[i]), lo = hexValue(digits[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        bytes.push_back(static_cast<char>(hi * 16 + lo));
    }
    return bytes;
}

Text section() { return gbk(u8"运行情况"); }
Text key() { return gbk(u8"运行"); }

}  // namespace

Text escapePointsValue(std::string_view cipherBytes) {
    return Text(kEscapedTag) + hexOf(cipherBytes, HexCase::Upper);
}

std::string unescapePointsValue(std::string_view stored) {
    if (stored.starts_with(kEscapedTag)) {
        if (auto bytes = fromHex(stored.substr(kEscapedTag.size()))) return *bytes;
    }
    return std::string(stored);
}

std::int32_t pointsFromStored(std::string_view stored) {
    return parseInteger(decryptText(unescapePointsValue(stored), keyPrefix));
}

Text storedFromPoints(std::int32_t total) { return escapePointsValue(encryptText(decimal(total), keyPrefix)); }

std::int32_t loadPoints(const IniFile& settings) { return pointsFromStored(settings.read(section(), key())); }

bool storePoints(const IniFile& settings, std::int32_t total) {
    const IniEntry entry = pointsEntry(total);
    return settings.writeAll({&entry, 1});
}

IniEntry pointsEntry(std::int32_t total) { return {section(), key(), storedFromPoints(total)}; }

Text pointsLabel(std::int32_t total) { return gbk(u8"当前积分： ") + decimal(total); }

}  // namespace talery
