// Core text conversion, dates, random sources and whole-file access.
//
// Expected GBK bytes of common characters were checked with Python's gbk
// codec; the euro sign and the user-defined areas follow Microsoft's code
// page 936 table (0x80 = U+20AC, 0xAAA1 = U+E000, 0xA140 = U+E4C6,
// 0xF8A1 = U+E234), which Python's and glibc's converters do not carry.

#include "core/clock.h"
#include "core/files.h"
#include "core/random.h"
#include "core/text.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace std::string_literals;
using namespace std::string_view_literals;

namespace talery {
namespace {

// ---------------------------------------------------------------------------
// Strict GBK decoding and encoding

std::size_t decodeErrorAt(std::string_view bytes) {
    ConversionError error;
    error.offset = 9999;
    EXPECT_FALSE(decodeGbk(bytes, &error).has_value()) << "decoded invalid input";
    return error.offset;
}

std::size_t encodeErrorAt(std::u16string_view text) {
    ConversionError error;
    error.offset = 9999;
    EXPECT_FALSE(encodeGbk(text, &error).has_value()) << "encoded a character GBK cannot hold";
    return error.offset;
}

TEST(CoreGbkDecode, CommonCharacters) {
    EXPECT_EQ(decodeGbk("\xD6\xD0\xCE\xC4"), u"\u4E2D\u6587");  // 中文
    // 保存成功！
    EXPECT_EQ(decodeGbk("\xB1\xA3\xB4\xE6\xB3\xC9\xB9\xA6\xA3\xA1"), u"\u4FDD\u5B58\u6210\u529F\uFF01");
    EXPECT_EQ(decodeGbk("\xA1\xAA"), u"\u2014");  // em dash
    EXPECT_EQ(decodeGbk("a\xD6\xD0" "b"), u"a\u4E2Db");
    EXPECT_EQ(decodeGbk(""), u"");
    EXPECT_EQ(decodeGbk("\0x"sv), u"\0x"s);  // NUL is an ordinary byte
}

TEST(CoreGbkDecode, MicrosoftTableEuroAndUserDefinedAreas) {
    EXPECT_EQ(decodeGbk("\x80"), u"\u20AC");
    EXPECT_EQ(decodeGbk("\xAA\xA1"), u"\uE000");
    EXPECT_EQ(decodeGbk("\xA1\x40"), u"\uE4C6");
    EXPECT_EQ(decodeGbk("\xF8\xA1"), u"\uE234");
    // The single byte 0xFF is U+F8F5 in Microsoft's table, so it survives a round trip.
    EXPECT_EQ(decodeGbk("a\xFF"), u"a\uF8F5");
}

TEST(CoreGbkDecode, InvalidInputIsReportedAtItsByteOffset) {
    EXPECT_EQ(decodeErrorAt("ab\xD6"), 2u);                   // lead byte cut off at the end
    EXPECT_EQ(decodeErrorAt("\xD6\xD0\x81\x7F" "z"), 2u);     // 中, then trail 0x7F
    EXPECT_EQ(decodeErrorAt("\xD6\xD0\xCE\xC4\x81\x7F\xD6\xD0"), 4u);  // 中文, a bad pair, 中
    EXPECT_FALSE(isValidGbk("\x81\x7F"));
    EXPECT_FALSE(isValidGbk("\xD6"));
    EXPECT_FALSE(isValidGbk("\x81\xFF"));  // 0xFF is no trail byte
    EXPECT_TRUE(isValidGbk("\xD6\xD0\x80"));
    EXPECT_TRUE(isValidGbk(""));
}

// The check of a whole file must say what decoding says, for every
// sequence of one and two bytes and for longer runs where characters meet.
TEST(CoreGbkDecode, ValidityAgreesWithDecodingEverywhere) {
    for (unsigned first = 0; first < 256; ++first) {
        const std::string one(1, static_cast<char>(first));
        ASSERT_EQ(isValidGbk(one), decodeGbk(one).has_value()) << first;
        for (unsigned second = 0; second < 256; ++second) {
            const std::string two = one + static_cast<char>(second);
            ASSERT_EQ(isValidGbk(two), decodeGbk(two).has_value()) << first << ' ' << second;
        }
    }
    const std::string bytes("\x00\x40\x7E\x7F\x80\x81\xA1\xA2\xAA\xD0\xD6\xFE\xFF" "a\n", 15);
    // A lead byte at the end of a slice, whose trail lies just beyond it.
    EXPECT_FALSE(isValidGbk(std::string_view("\xD6\xD0", 1)));
    std::mt19937 random(7);
    for (int i = 0; i < 20000; ++i) {
        std::string s(1 + random() % 9, ' ');
        for (char& c : s) c = bytes[random() % bytes.size()];
        ASSERT_EQ(isValidGbk(s), decodeGbk(s).has_value()) << i;
    }
}

TEST(CoreGbkDecode, LossyDecodingReplacesOnlyTheBadBytes) {
    EXPECT_EQ(decodeGbkLossy("a\x81\xFF" "b"), u"a\uFFFD\uF8F5b");
    EXPECT_EQ(decodeGbkLossy("\xD6\xD0\xD6"), u"\u4E2D\uFFFD");  // 中 and a cut-off lead byte
    // A pair with a bad trail costs only its lead byte; the trail 0x7F is a
    // character of its own.
    EXPECT_EQ(decodeGbkLossy("\x81\x7F" "z"), u"\uFFFD\x7Fz");
    EXPECT_EQ(decodeGbkLossy("\x80\xAA\xA1"), u"\u20AC\uE000");
    EXPECT_EQ(decodeGbkLossy(""), u"");
    // Long valid runs go through in one pass: the result is still that of
    // taking one character at a time, wherever the faults fall.
    const std::string bytes("\x00\x40\x7E\x7F\x80\x81\xA1\xAA\xD6\xD0\xFE\xFF" "a\r\n", 15);
    std::mt19937 random(11);
    for (int i = 0; i < 5000; ++i) {
        std::string s(random() % 40, ' ');
        for (char& c : s) c = bytes[random() % bytes.size()];
        std::u16string expected;
        for (std::size_t pos = 0; pos < s.size();) {
            const std::size_t len = gbkCharLength(s, pos);
            const auto one = decodeGbk(std::string_view(s).substr(pos, len));
            expected += one ? *one : u"\uFFFD";
            pos += one ? len : 1;
        }
        ASSERT_EQ(decodeGbkLossy(s), expected) << i;
    }
}

TEST(CoreGbkEncode, CommonCharactersAndMicrosoftTable) {
    EXPECT_EQ(encodeGbk(u"\u4E2D\u6587"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(encodeGbk(u"\u4FDD\u5B58\u6210\u529F\uFF01"), "\xB1\xA3\xB4\xE6\xB3\xC9\xB9\xA6\xA3\xA1");
    EXPECT_EQ(encodeGbk(u"\u2014"), "\xA1\xAA");
    EXPECT_EQ(encodeGbk(u"x\u20ACy"), "x\x80y");
    EXPECT_EQ(encodeGbk(u"\uE000"), "\xAA\xA1");
    EXPECT_EQ(encodeGbk(u"\uE4C6"), "\xA1\x40");
    EXPECT_EQ(encodeGbk(u"\uE234"), "\xF8\xA1");
    EXPECT_EQ(encodeGbk(u""), "");
}

TEST(CoreGbkEncode, CharacterGbkCannotHoldIsReportedAtItsUtf16Index) {
    EXPECT_EQ(encodeErrorAt(u"ab\u0E01"), 2u);                  // Thai ko kai
    EXPECT_EQ(encodeErrorAt(u"\u4E2Dab\U0001F600"), 3u);        // emoji after 中ab
    EXPECT_EQ(encodeErrorAt(u"\U0001F600\u4E2D"), 0u);
    EXPECT_EQ(encodeErrorAt(u"a\xD800" "b"), 1u);               // lone surrogate
    EXPECT_EQ(encodeErrorAt(u"a\xDE00"), 1u);
}

TEST(CoreGbkEncode, LossyEncodingGivesOneQuestionMarkPerCodePoint) {
    EXPECT_EQ(encodeGbkLossy(u"a\u0E01" "b\U0001F600" "c\u4E2D"), "a?b?c\xD6\xD0");
    EXPECT_EQ(encodeGbkLossy(u"\U0001F600\U0001F600"), "??");
    EXPECT_EQ(encodeGbkLossy(u"\xD800x"), "?x");
    EXPECT_EQ(encodeGbkLossy(u"\u20AC"), "\x80");
    EXPECT_EQ(encodeGbkLossy(u"\uF8F5"), "\xFF");
}

TEST(CoreGbkEncode, GbkCanHold) {
    EXPECT_TRUE(gbkCanHold(U'A'));
    EXPECT_TRUE(gbkCanHold(U'\0'));
    EXPECT_TRUE(gbkCanHold(U'\u4E2D'));
    EXPECT_TRUE(gbkCanHold(U'\u3000'));
    EXPECT_TRUE(gbkCanHold(U'\u20AC'));
    EXPECT_TRUE(gbkCanHold(U'\uE000'));
    EXPECT_FALSE(gbkCanHold(U'\u0E01'));
    EXPECT_FALSE(gbkCanHold(U'\U0001F600'));
    EXPECT_FALSE(gbkCanHold(0xD800));
    EXPECT_TRUE(gbkCanHold(0xF8F5));
    EXPECT_FALSE(gbkCanHold(0x110000));
}

TEST(CoreGbkEncode, LiteralHelper) {
    EXPECT_EQ(gbk(u8"中文"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(gbk(u8"保存成功！"), "\xB1\xA3\xB4\xE6\xB3\xC9\xB9\xA6\xA3\xA1");
    EXPECT_EQ(gbk(u8"软件设置"), "\xC8\xED\xBC\xFE\xC9\xE8\xD6\xC3");
    EXPECT_EQ(gbk(u8"a—b"), "a\xA1\xAA" "b");
    EXPECT_EQ(gbk(u8""), "");
    EXPECT_EQ(gbk("\xE4\xB8\xAD"sv), "\xD6\xD0");  // 中 as UTF-8 in a plain string
    EXPECT_THROW(gbk(u8"ก"), std::logic_error);
    EXPECT_THROW(gbk("\xC0\xAF"sv), std::logic_error);
}

// ---------------------------------------------------------------------------
// UTF-8

std::size_t utf8ErrorAt(std::string_view bytes) {
    ConversionError error;
    error.offset = 9999;
    EXPECT_FALSE(decodeUtf8(bytes, &error).has_value()) << "accepted invalid UTF-8";
    EXPECT_FALSE(isValidUtf8(bytes));
    return error.offset;
}

TEST(CoreUtf8, DecodesAndEncodes) {
    EXPECT_EQ(decodeUtf8("a\xE4\xB8\xAD"), u"a\u4E2D");
    EXPECT_EQ(decodeUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(decodeUtf8(""), u"");
    EXPECT_EQ(encodeUtf8(u"\u4E2D\U0001F600"), "\xE4\xB8\xAD\xF0\x9F\x98\x80");
    EXPECT_EQ(encodeUtf8(u"a\xD800" "b"), "a\xEF\xBF\xBD" "b");  // lone surrogate becomes U+FFFD
    EXPECT_TRUE(isValidUtf8("plain \xE4\xB8\xAD"));
}

TEST(CoreUtf8, RejectsInvalidUtf8AtItsOffset) {
    EXPECT_EQ(utf8ErrorAt("\xC0\xAF"), 0u);               // overlong "/"
    EXPECT_EQ(utf8ErrorAt("a\xE0\x80\xAF"), 1u);          // overlong three-byte form
    EXPECT_EQ(utf8ErrorAt("ab\x80"), 2u);                 // lone continuation byte
    EXPECT_EQ(utf8ErrorAt("\xED\xA0\xBD\xED\xB8\x80"), 0u);  // CESU-8 surrogate pair
    EXPECT_EQ(utf8ErrorAt("x\xE4\xB8"), 1u);              // truncated
    EXPECT_EQ(utf8ErrorAt("\xF4\x90\x80\x80"), 0u);       // above U+10FFFF
    EXPECT_EQ(utf8ErrorAt("\xFF"), 0u);
}

TEST(CoreUtf8, LossyBridgesBetweenGbkAndUtf8) {
    EXPECT_EQ(gbkToUtf8Lossy("\xD6\xD0\x81"), "\xE4\xB8\xAD\xEF\xBF\xBD");  // 中, cut-off lead byte
    EXPECT_EQ(gbkToUtf8Lossy("\x80"), "\xE2\x82\xAC");                       // euro
    // 中, Thai ko kai, a stray byte, emoji
    EXPECT_EQ(utf8ToGbkLossy("\xE4\xB8\xAD\xE0\xB8\x81\xFF\xF0\x9F\x98\x80"), "\xD6\xD0???");
}

// ---------------------------------------------------------------------------
// Searching GBK text

constexpr auto npos = std::string_view::npos;

TEST(CoreFindGbk, NeverMatchesInsideADoubleByteCharacter) {
    // B0 61 is one character whose second byte is "a".
    EXPECT_EQ(findGbk("\xB0\x61", "a"), npos);
    EXPECT_EQ(findGbk("\xB0\x61" "a", "a"), 2u);
    EXPECT_EQ(findGbk("x\xB0\x61" "ya", "a"), 4u);
    // 中中: the bytes D0 D6 straddle the two characters.
    EXPECT_EQ(findGbk("\xD6\xD0\xD6\xD0", "\xD0\xD6"), npos);
    EXPECT_EQ(findGbk("\xD6\xD0\xCE\xC4", "\xCE\xC4"), 2u);
}

TEST(CoreFindGbk, StartPositionInsideACharacterMovesToTheNextOne) {
    EXPECT_EQ(findGbk("\xB0\x61" "aa", "a", 1), 2u);
    EXPECT_EQ(findGbk("\xD6\xD0\xD6\xD0", "\xD6\xD0", 1), 2u);
    EXPECT_EQ(findGbk("abcabc", "abc", 1), 3u);
    EXPECT_EQ(findGbk("abc", "c", 3), npos);
    EXPECT_EQ(findGbk("abc", "c", 50), npos);
}

TEST(CoreFindGbk, EdgesOfTheHaystack) {
    EXPECT_EQ(findGbk("ab\xD6", "\xD6"), 2u);  // a cut-off lead byte is a character of its own
    EXPECT_EQ(findGbk("\x80" "a", "a"), 1u);   // 0x80 is a single byte
    EXPECT_EQ(findGbk("\xFF" "a", "a"), 1u);   // so is 0xFF
    // A lead byte before a byte that cannot be a trail is a character of its own.
    EXPECT_EQ(findGbk("\x81\n" "a", "\n"), 1u);
    EXPECT_EQ(findGbk("\xD6\x7F" "a", "\x7F"), 1u);
    EXPECT_EQ(findGbk("ab", "abc"), npos);
    EXPECT_EQ(findGbk("", "a"), npos);
}

// ---------------------------------------------------------------------------
// Dates (weekdays checked with Python's datetime and date(1))

LocalDateTime day(int y, int m, int d) {
    LocalDateTime t;
    t.year = y;
    t.month = m;
    t.day = d;
    return t;
}

TEST(CoreClock, DateStampHasNoLeadingZeros) {
    EXPECT_EQ(dateStamp(day(2015, 1, 9)), "201519");
    EXPECT_EQ(dateStamp(day(2015, 10, 11)), "20151011");
    EXPECT_EQ(dateStamp(day(2015, 11, 1)), "2015111");
    EXPECT_EQ(dateStamp(day(2015, 1, 11)), "2015111");
    EXPECT_EQ(dateStamp(day(2026, 12, 8)), "2026128");
    EXPECT_EQ(dateStamp(day(999, 1, 1)), "99911");
}

TEST(CoreClock, WeekdayCountsFromSunday) {
    EXPECT_EQ(weekday(2015, 10, 7), 4);   // Wednesday
    EXPECT_EQ(weekday(2015, 10, 10), 7);  // Saturday
    EXPECT_EQ(weekday(2015, 10, 11), 1);  // Sunday
    EXPECT_EQ(weekday(2016, 1, 1), 6);    // Friday
    EXPECT_EQ(weekday(2000, 2, 29), 3);   // Tuesday, leap day of a 400-year
    EXPECT_EQ(weekday(1900, 3, 1), 5);    // Thursday, after a non-leap century February
    EXPECT_EQ(weekday(2015, 1, 9), 6);    // Friday
    EXPECT_EQ(weekday(day(2015, 10, 10)), 7);
}

TEST(CoreClock, FixedClockReturnsTheTimeItWasSet) {
    FixedClock clock(day(2015, 10, 10));
    EXPECT_EQ(dateStamp(clock.now()), "20151010");
    clock.set(day(2016, 1, 1));
    EXPECT_EQ(weekday(clock.now()), 6);
}

TEST(CoreClock, SystemClockGivesAPlausibleLocalTime) {
    const LocalDateTime t = SystemClock().now();
    EXPECT_GE(t.year, 2024);
    EXPECT_GE(t.month, 1);
    EXPECT_LE(t.month, 12);
    EXPECT_GE(t.day, 1);
    EXPECT_LE(t.day, 31);
    EXPECT_LE(t.hour, 23);
    EXPECT_LE(t.minute, 59);
}

// ---------------------------------------------------------------------------
// Random sources (sequence computed independently in Python)

TEST(CoreRandom, SharedRandomFollowsTheClassicSequenceFromSeedOne) {
    SharedRandom r;
    EXPECT_EQ(r.state(), 1u);
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    EXPECT_EQ(r.next(), expected[0]);
    EXPECT_EQ(r.state(), 2745024u);  // 1 * 214013 + 2531011
    for (int i = 1; i < 10; ++i) EXPECT_EQ(r.next(), expected[i]) << "output " << i;
}

TEST(CoreRandom, RangeTakesTheRemainder) {
    SharedRandom r;
    EXPECT_EQ(r.range(10, 19), 11);  // 41 mod 10
    EXPECT_EQ(r.range(10, 19), 17);  // 18467 mod 10
    EXPECT_EQ(r.range(-3, 3), 3);    // 6334 mod 7 = 6
    EXPECT_EQ(r.range(5, 5), 5);     // 26500
    EXPECT_EQ(r.range(0, 32767), 19169);
}

TEST(CoreRandom, RangeWithEmptyOrHugeSpanDoesNotCrash) {
    SharedRandom r;
    EXPECT_EQ(r.range(5, 4), 0);             // draws 41
    EXPECT_EQ(r.range(1, -7), 0);            // draws 18467
    EXPECT_EQ(r.range(0, 9), 4);             // 6334: the sequence went on
    EXPECT_EQ(r.range(INT_MIN, INT_MAX), INT_MIN + 26500);
}

TEST(CoreRandom, TickRandomFromCounterReading) {
    EXPECT_EQ(tickRandomFrom(0, 1, 10), 8);      // 7 mod 10
    EXPECT_EQ(tickRandomFrom(1, 0, 99), 30);     // 30 mod 100
    EXPECT_EQ(tickRandomFrom(5, 3, 5), 5);       // 122 mod 3 = 2
    EXPECT_EQ(tickRandomFrom(2, -5, 5), 4);      // 53 mod 11 = 9
    EXPECT_EQ(tickRandomFrom(7, 4, 4), 4);
    // 23 * 4294967295 + 7 = 98784247792 must not wrap at 32 bits (that gives 80 / 280).
    EXPECT_EQ(tickRandomFrom(0xFFFFFFFFu, 0, 99), 92);
    EXPECT_EQ(tickRandomFrom(0xFFFFFFFFu, 0, 999), 792);
    EXPECT_EQ(tickRandomFrom(1, INT_MIN, INT_MAX), INT_MIN + 30);
    EXPECT_EQ(tickRandomFrom(123, 5, 4), 0);
    EXPECT_EQ(tickRandomFrom(123, 5, -100), 0);
}

TEST(CoreRandom, TickRandomStaysInRange) {
    for (int i = 0; i < 1000; ++i) {
        const int v = tickRandom(3, 9);
        ASSERT_GE(v, 3);
        ASSERT_LE(v, 9);
    }
    EXPECT_EQ(tickRandom(6, 6), 6);
    EXPECT_EQ(tickRandom(2, 1), 0);
}

// ---------------------------------------------------------------------------
// Whole-file access

using TempFolder = test::TempDir;

void put(const std::string& path, std::string_view bytes) { test::writeBytes(path, bytes); }

std::string contentOf(const std::string& path) { return test::readBytes(path); }

mode_t permissionsOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

bool isSymlink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

using Names = std::vector<std::string>;

TEST(FilesWriteAtomic, ReplacesContentAndLeavesNoTemporaryFile) {
    TempFolder dir;
    put(dir / "a.txt", "old content that is longer");
    FileError error;
    ASSERT_TRUE(writeFileAtomic(dir / "a.txt", "\xD6\xD0\0new"sv, &error)) << error.reasonUtf8;
    EXPECT_EQ(contentOf(dir / "a.txt"), "\xD6\xD0\0new"s);
    EXPECT_EQ(dir.names(), Names{"a.txt"});
}

TEST(FilesWriteAtomic, CreatesAMissingFileAndWritesEmptyContent) {
    TempFolder dir;
    ASSERT_TRUE(writeFileAtomic(dir / "new.txt", "x"));
    EXPECT_EQ(contentOf(dir / "new.txt"), "x");
    ASSERT_TRUE(writeFileAtomic(dir / "new.txt", ""));
    EXPECT_TRUE(isRegularFile(dir / "new.txt"));
    EXPECT_EQ(contentOf(dir / "new.txt"), "");
    ASSERT_TRUE(writeFileAtomic(dir / "empty.txt", ""));
    EXPECT_TRUE(isRegularFile(dir / "empty.txt"));
    EXPECT_EQ(dir.names(), (Names{"empty.txt", "new.txt"}));
}

TEST(FilesWriteAtomic, KeepsThePermissionBits) {
    TempFolder dir;
    put(dir / "a.txt", "old");
    ASSERT_EQ(::chmod((dir / "a.txt").c_str(), 0640), 0);
    ASSERT_TRUE(writeFileAtomic(dir / "a.txt", "new"));
    EXPECT_EQ(permissionsOf(dir / "a.txt"), 0640u);
    ASSERT_EQ(::chmod((dir / "a.txt").c_str(), 0604), 0);
    ASSERT_TRUE(writeFileAtomic(dir / "a.txt", "newer"));
    EXPECT_EQ(permissionsOf(dir / "a.txt"), 0604u);
    EXPECT_EQ(contentOf(dir / "a.txt"), "newer");
}

TEST(FilesWriteAtomic, RefusesAFileWithoutWriteBitsEvenForRoot) {
    TempFolder dir;
    put(dir / "ro.txt", "keep me");
    ASSERT_TRUE(setReadOnly(dir / "ro.txt", true));
    EXPECT_TRUE(isReadOnly(dir / "ro.txt"));
    EXPECT_EQ(permissionsOf(dir / "ro.txt") & 0222, 0u);
    FileError error;
    EXPECT_FALSE(writeFileAtomic(dir / "ro.txt", "replaced", &error));
    EXPECT_EQ(error.code, kReadOnly);
    EXPECT_FALSE(error.reasonUtf8.empty());
    EXPECT_EQ(contentOf(dir / "ro.txt"), "keep me");
    EXPECT_EQ(dir.names(), Names{"ro.txt"});

    ASSERT_TRUE(setReadOnly(dir / "ro.txt", false));
    EXPECT_FALSE(isReadOnly(dir / "ro.txt"));
    EXPECT_TRUE(writeFileAtomic(dir / "ro.txt", "replaced"));
    EXPECT_EQ(contentOf(dir / "ro.txt"), "replaced");
}

TEST(FilesWriteAtomic, WritesThroughSymbolicLinks) {
    TempFolder dir;
    put(dir / "target.txt", "old");
    ASSERT_EQ(::symlink((dir / "target.txt").c_str(), (dir / "absolute").c_str()), 0);
    ASSERT_EQ(::symlink("target.txt", (dir / "relative").c_str()), 0);
    ASSERT_EQ(::symlink("relative", (dir / "chain").c_str()), 0);

    ASSERT_TRUE(writeFileAtomic(dir / "absolute", "one"));
    EXPECT_TRUE(isSymlink(dir / "absolute"));
    EXPECT_EQ(contentOf(dir / "target.txt"), "one");

    ASSERT_TRUE(writeFileAtomic(dir / "chain", "two"));
    EXPECT_TRUE(isSymlink(dir / "chain"));
    EXPECT_TRUE(isSymlink(dir / "relative"));
    EXPECT_EQ(contentOf(dir / "target.txt"), "two");
    EXPECT_EQ(dir.names(), (Names{"absolute", "chain", "relative", "target.txt"}));
}

TEST(FilesWriteAtomic, DanglingLinkCreatesItsTarget) {
    TempFolder dir;
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("sub/later.txt", (dir / "link").c_str()), 0);
    ASSERT_TRUE(writeFileAtomic(dir / "link", "made"));
    EXPECT_TRUE(isSymlink(dir / "link"));
    EXPECT_EQ(contentOf(dir / "sub/later.txt"), "made");
}

TEST(FilesWriteAtomic, LinkLoopFailsAndStaysALink) {
    TempFolder dir;
    ASSERT_EQ(::symlink("b", (dir / "a").c_str()), 0);
    ASSERT_EQ(::symlink("a", (dir / "b").c_str()), 0);
    FileError error;
    EXPECT_FALSE(writeFileAtomic(dir / "a", "x", &error));
    EXPECT_EQ(error.code, ELOOP);
    EXPECT_TRUE(isSymlink(dir / "a"));
    EXPECT_TRUE(isSymlink(dir / "b"));
    EXPECT_EQ(dir.names(), (Names{"a", "b"}));
}

TEST(FilesWriteAtomic, MissingFolderFailsWithAReason) {
    TempFolder dir;
    FileError error;
    EXPECT_FALSE(writeFileAtomic(dir / "missing/a.txt", "x", &error));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_EQ(error.reasonUtf8, describeErrno(ENOENT));
    EXPECT_FALSE(error.reasonUtf8.empty());
    EXPECT_TRUE(dir.names().empty());

    put(dir / "file", "x");
    EXPECT_FALSE(writeFileAtomic(dir / "file/a.txt", "x", &error));
    EXPECT_EQ(error.code, ENOTDIR);
    EXPECT_EQ(dir.names(), Names{"file"});

    EXPECT_FALSE(writeFileAtomic("", "x", &error));
}

TEST(FilesWriteAtomic, FolderAsTargetFails) {
    TempFolder dir;
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
    FileError error;
    EXPECT_FALSE(writeFileAtomic(dir / "sub", "x", &error));
    EXPECT_EQ(error.code, EISDIR);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "sub"));
    EXPECT_EQ(dir.names(), Names{"sub"});
}

std::size_t openDescriptors() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

// Waits for the descriptors a large file's freeing holds on another thread.
void expectDescriptorsBackTo(std::size_t count) {
    for (int i = 0; i < 500 && openDescriptors() > count; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(openDescriptors(), count);
}

// A large file is freed off the caller's thread: its name goes at once, the
// descriptor kept for the freeing soon after, and only its own name goes.
TEST(FilesRemove, NamesGoAtOnceAndNoDescriptorStays) {
    TempFolder dir;
    const std::string big(std::size_t(9) << 20, 'x');
    put(dir / "big.txt", big);
    put(dir / "small.txt", "x");
    put(dir / "kept.txt", big);
    ASSERT_EQ(::symlink("kept.txt", (dir / "link").c_str()), 0);
    ASSERT_EQ(::link((dir / "kept.txt").c_str(), (dir / "second name").c_str()), 0);
    const std::size_t before = openDescriptors();
    EXPECT_TRUE(removeFile(dir / "big.txt"));
    EXPECT_TRUE(removeFile(dir / "small.txt"));
    EXPECT_TRUE(removeFile(dir / "link"));
    EXPECT_TRUE(removeFile(dir / "kept.txt"));
    EXPECT_FALSE(removeFile(dir / "missing.txt"));
    EXPECT_EQ(dir.names(), Names{"second name"});
    EXPECT_EQ(contentOf(dir / "second name"), big);
    expectDescriptorsBackTo(before);

    // Replacing a large file frees the old one the same way.
    put(dir / "novel.txt", big);
    const std::size_t held = openDescriptors();
    ASSERT_TRUE(writeFileAtomic(dir / "novel.txt", "new"));
    ASSERT_TRUE(writeFileAtomic(dir / "second name", "newer"));
    EXPECT_EQ(contentOf(dir / "novel.txt"), "new");
    EXPECT_EQ(contentOf(dir / "second name"), "newer");
    EXPECT_EQ(dir.names(), (Names{"novel.txt", "second name"}));
    expectDescriptorsBackTo(held);
}

TEST(FilesReadWholeFile, ReadsBytesExactly) {
    TempFolder dir;
    const std::string bytes = "\xD6\xD0\r\n\0\xFF"s;
    put(dir / "a", bytes);
    FileError error;
    EXPECT_EQ(readWholeFile(dir / "a", &error), bytes);
    put(dir / "empty", "");
    EXPECT_EQ(readWholeFile(dir / "empty"), "");
    EXPECT_EQ(readWholeFile(dir / "a", &error, bytes.size()), bytes);  // exactly at the limit
    // A large one, whose pages are mapped ahead a step at a time.
    std::string large(std::size_t(37) << 20, '\0');
    for (std::size_t i = 0; i < large.size(); i += 4093) large[i] = static_cast<char>(i / 4093);
    put(dir / "large", large);
    EXPECT_TRUE(readWholeFile(dir / "large", &error) == large);
}

TEST(FilesReadWholeFile, FailuresSetTheErrorCode) {
    TempFolder dir;
    FileError error;
    EXPECT_FALSE(readWholeFile(dir / "missing", &error));
    EXPECT_EQ(error.code, ENOENT);
    EXPECT_FALSE(error.reasonUtf8.empty());

    error = {};
    EXPECT_FALSE(readWholeFile(dir.path(), &error));
    EXPECT_EQ(error.code, EISDIR);

    error = {};
    put(dir / "big", "12345");
    EXPECT_FALSE(readWholeFile(dir / "big", &error, 4));
    EXPECT_EQ(error.code, kTooLarge);
    EXPECT_FALSE(error.reasonUtf8.empty());
}

TEST(FilesReadWholeFile, FifoIsRefusedWithoutWaitingForAWriter) {
    TempFolder dir;
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::promise<std::pair<bool, int>> done;
    auto result = done.get_future();
    std::thread reader([&] {
        FileError error;
        const bool got = readWholeFile(fifo, &error).has_value();
        done.set_value({got, error.code});
    });
    const bool finished = result.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!finished) {
        // Release the blocked reader so that the test can end.
        const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) ::close(fd);
    }
    reader.join();
    ASSERT_TRUE(finished) << "reading a FIFO blocked";
    const auto [got, code] = result.get();
    EXPECT_FALSE(got);
    EXPECT_EQ(code, kNotRegularFile);

    FileError error;
    EXPECT_FALSE(writeFileAtomic(fifo, "x", &error));
    EXPECT_EQ(error.code, kNotRegularFile);
}

TEST(FilesHelpers, DescribeErrnoGivesChineseReasons) {
    const std::string noSpace = describeErrno(ENOSPC);
    EXPECT_NE(noSpace.find("空间"), std::string::npos) << noSpace;
    EXPECT_NE(describeErrno(kReadOnly).find("只读"), std::string::npos);
    EXPECT_NE(describeErrno(EROFS).find("只读"), std::string::npos);
    EXPECT_NE(describeErrno(EACCES).find("权限"), std::string::npos);
    EXPECT_NE(describeErrno(ENOENT).find("不存在"), std::string::npos);
    for (int code : {ENOSPC, EACCES, ENOENT, EISDIR, EIO, kReadOnly, kNotRegularFile, kTooLarge}) {
        EXPECT_TRUE(isValidUtf8(describeErrno(code))) << code;
    }
    EXPECT_NE(describeErrno(ENOSPC), describeErrno(EIO));
    EXPECT_FALSE(describeErrno(EXDEV).empty());
}

TEST(FilesHelpers, PathParts) {
    EXPECT_EQ(parentFolder("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(parentFolder("/c.txt"), "/");
    EXPECT_EQ(parentFolder("c.txt"), ".");
    EXPECT_EQ(baseName("/a/b/c.txt"), "c.txt");
    EXPECT_EQ(baseName("a\\b\\c.txt"), "c.txt");
    EXPECT_EQ(baseName("c.txt"), "c.txt");
}

TEST(FilesHelpers, ExistenceChecks) {
    TempFolder dir;
    put(dir / "f", "x");
    EXPECT_TRUE(fileExists(dir / "f"));
    EXPECT_TRUE(isRegularFile(dir / "f"));
    EXPECT_TRUE(fileExists(dir.path()));
    EXPECT_FALSE(isRegularFile(dir.path()));
    EXPECT_FALSE(fileExists(dir / "g"));
    EXPECT_FALSE(isReadOnly(dir / "g"));
    EXPECT_FALSE(setReadOnly(dir / "g", true));
}

}  // namespace
}  // namespace talery

namespace talery {
namespace {

// A writer killed in the middle of a save leaves the old file or the new one,
// never a mixture or a cut-off file.
TEST(FilesAtomicWrite, KilledWriterLeavesOldOrNewFileWhole) {
    test::TempDir dir;
    const std::string path = dir.file("novel.txt");
    const std::string old(100000, 'o');
    test::writeBytes(path, old);
    const std::string fresh(48u << 20, 'n');
    for (int delayMs : {1, 5, 20}) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            writeFileAtomic(path, fresh);
            ::_exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = test::readBytes(path);
        EXPECT_TRUE(now == old || now == fresh) << "size " << now.size();
        test::writeBytes(path, old);
    }
}

}  // namespace
}  // namespace talery
