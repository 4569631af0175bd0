#pragma once
// The points total as the settings file keeps it: the decimal text,
// enciphered with the key prefix alone as the password, in [运行情况] 运行.

#include "core/settings.h"

#include <cstdint>
#include <optional>

namespace talery {

// Cipher bytes can hold NUL, line breaks, blanks and quotes, none of which an
// INI line carries unchanged, so they are stored as "hex:" and two upper-case
// hex digits a byte. A legacy value holds the raw cipher bytes; its first byte
// is always 0xC4 or above (a digit or sign under the fixed keystream), so it
// can never be taken for the escaped form.
Text escapePointsValue(std::string_view cipherBytes);
// The cipher bytes of a stored value: the escaped form decoded, anything else
// taken as raw legacy bytes.
std::string unescapePointsValue(std::string_view stored);

// The total in a stored value: deciphered, then its leading integer (0 when
// there is none), saturated at the 32-bit range.
std::int32_t pointsFromStored(std::string_view stored);
Text storedFromPoints(std::int32_t total);

std::int32_t loadPoints(const IniFile& settings);
bool storePoints(const IniFile& settings, std::int32_t total);
// The stored total as one entry, for storing it together with other values.
IniEntry pointsEntry(std::int32_t total);

// "当前积分： " and the total, as the points label shows it.
Text pointsLabel(std::int32_t total);

}  // namespace talery
