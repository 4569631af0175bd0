// The settings file's reader and writer over arbitrary file contents and
// arguments: a stored value reads back, a write disturbs no other key, the
// integer parser agrees with a reference, the points value survives a store.

#include "core/settings.h"
#include "fuzz_input.h"
#include "tasks/points.h"

#include <climits>
#include <string>

using namespace talery;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The reader's integer rule written another way: digits gathered first,
// then the value taken from at most the last eleven of them.
long long referenceInteger(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    std::string digits;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') digits += s[i++];
    digits.erase(0, digits.find_first_not_of('0'));
    if (digits.size() > 11) return negative ? INT_MIN : INT_MAX;
    long long v = digits.empty() ? 0 : std::stoll(digits);
    if (negative) v = -v;
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : v;
}

// A value that the reader gives back byte for byte: no blanks around it,
// not enclosed in a pair of double or single quotes, not longer than a read
// returns.
bool plainValue(std::string_view v) {
    if (v.size() > kIniValueLimit) return false;
    if (!v.empty() && (isBlank(v.front()) || isBlank(v.back()))) return false;
    return !(v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front());
}

bool asciiEqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Input in(data, size);
    const std::string section(in.piece()), key(in.piece()), value(in.piece());
    const std::string otherSection(in.piece()), otherKey(in.piece());
    const std::string content(in.rest());

    FUZZ_CHECK(referenceInteger(section) == parseInteger(section));
    FUZZ_CHECK(referenceInteger(content) == parseInteger(content));
    const int number = parseInteger(value);
    FUZZ_CHECK(parseInteger(decimal(number)) == number);

    const Text before = iniRead(content, section, key);
    FUZZ_CHECK(before.size() <= kIniValueLimit);
    const Text otherBefore = iniRead(content, otherSection, otherKey);

    const auto written = iniWrite(content, section, key, value);
    if (!written) return 0;
    if (plainValue(value)) FUZZ_CHECK(iniRead(*written, section, key) == value);
    // Writing the same value again changes nothing.
    const auto again = iniWrite(*written, section, key, value);
    FUZZ_CHECK(again && *again == *written);
    // Every other key reads as before.
    const bool sameKey = asciiEqualNoCase(section, otherSection) && asciiEqualNoCase(key, otherKey);
    if (!sameKey) FUZZ_CHECK(iniRead(*written, otherSection, otherKey) == otherBefore);

    // The points value: any stored total comes back through the file.
    const std::int32_t points = number;
    const auto stored = iniWrite(content, section, key, storedFromPoints(points));
    FUZZ_CHECK(stored && pointsFromStored(iniRead(*stored, section, key)) == points);
    (void)pointsFromStored(before);
    return 0;
}
