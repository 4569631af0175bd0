// The settings store: an INI file of GBK bytes with the reading and writing
// rules of the Windows private-profile functions. Expectations are whole file
// contents, byte for byte. Chinese names go through gbk(u8"..."), whose bytes
// CoreGbkEncode.LiteralHelper checks against an independent codec.

#include "app/paths.h"
#include "core/log.h"
#include "core/settings.h"

#include "test_support.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <pwd.h>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::string_literals;

namespace talery {
namespace {

// ---------------------------------------------------------------------------
// Helpers

// The content after a write that must succeed.
std::string written(std::string_view content, std::string_view section, std::string_view key,
                    std::string_view value) {
    auto out = iniWrite(content, section, key, value);
    EXPECT_TRUE(out.has_value()) << "write of [" << section << "] " << key << " refused";
    return out.value_or("<refused>");
}

using TempFolder = test::TempDir;

void put(const std::string& path, std::string_view bytes) { test::writeBytes(path, bytes); }

std::string contentOf(const std::string& path) { return test::readBytes(path); }

// ---------------------------------------------------------------------------
// Writing: where new lines go and which bytes stay

TEST(IniWrite, NewFileGetsHeaderAndKeyWithCrLf) {
    // [软件设置] CR LF 最后一次登录=20261208 CR LF
    const std::string expected =
        "[\xC8\xED\xBC\xFE\xC9\xE8\xD6\xC3]\r\n"
        "\xD7\xEE\xBA\xF3\xD2\xBB\xB4\xCE\xB5\xC7\xC2\xBC=20261208\r\n";
    EXPECT_EQ(written("", gbk(u8"软件设置"), gbk(u8"最后一次登录"), "20261208"), expected);
}

TEST(IniWrite, NewSectionIsAppendedRightAfterTheLastLine) {
    EXPECT_EQ(written("[a]\r\nx=1\r\n", "b", "y", "2"), "[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
    // The last line had no line break: one is added first.
    EXPECT_EQ(written("[a]\r\nx=1", "b", "y", "2"), "[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
    EXPECT_EQ(written("; only a note", "b", "y", "2"), "; only a note\r\n[b]\r\ny=2\r\n");
    // Blank lines at the end stay as they are; none is added.
    EXPECT_EQ(written("[a]\r\nx=1\r\n\r\n", "b", "y", "2"), "[a]\r\nx=1\r\n\r\n[b]\r\ny=2\r\n");
    // The file's own LF-only breaks are kept; new lines use CR LF.
    EXPECT_EQ(written("[a]\nx=1\n", "b", "y", "2"), "[a]\nx=1\n[b]\r\ny=2\r\n");
}

TEST(IniWrite, NewKeyGoesAfterTheLastKeyOfItsSection) {
    const std::string before =
        "[a]\r\nx=1\r\n; note\r\nw=2\r\n\r\n; about b\r\n[b]\r\nz=3\r\n";
    const std::string after =
        "[a]\r\nx=1\r\n; note\r\nw=2\r\nnew=5\r\n\r\n; about b\r\n[b]\r\nz=3\r\n";
    EXPECT_EQ(written(before, "a", "new", "5"), after);
    // In the last section too, before its trailing blank lines.
    EXPECT_EQ(written("[a]\r\nx=1\r\n\r\n\r\n", "a", "y", "2"), "[a]\r\nx=1\r\ny=2\r\n\r\n\r\n");
    // A last key line without a line break gets one.
    EXPECT_EQ(written("[a]\r\nx=1", "a", "y", "2"), "[a]\r\nx=1\r\ny=2\r\n");
    // A file cut between CR and LF gets the LF only, so both keys read back.
    const std::string cut = written("[a]\r\nx=1\r", "a", "y", "2");
    EXPECT_EQ(cut, "[a]\r\nx=1\r\ny=2\r\n");
    EXPECT_EQ(iniRead(cut, "a", "y"), "2");
    EXPECT_EQ(written("[a]\r\nx=1\r", "b", "y", "2"), "[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
    EXPECT_EQ(written("[a]\nx=1\n[b]\n", "a", "y", "2"), "[a]\nx=1\ny=2\r\n[b]\n");
}

TEST(IniWrite, NewKeyInASectionWithoutKeysGoesRightAfterTheHeader) {
    EXPECT_EQ(written("[a]\r\n\r\n[b]\r\nz=3\r\n", "a", "y", "2"), "[a]\r\ny=2\r\n\r\n[b]\r\nz=3\r\n");
    EXPECT_EQ(written("[a]\r\n; note\r\n[b]", "a", "y", "2"), "[a]\r\ny=2\r\n; note\r\n[b]");
    EXPECT_EQ(written("[a]", "a", "y", "2"), "[a]\r\ny=2\r\n");
}

TEST(IniWrite, ReplacingAValueKeepsEveryOtherByte) {
    const std::string before = "; top\n[a]\nx=1\r\ny=old\r\n; note\nz=3\n\n[b]\ny=9\n";
    EXPECT_EQ(written(before, "a", "y", "new value"), "; top\n[a]\nx=1\r\ny=new value\r\n; note\nz=3\n\n[b]\ny=9\n");
    EXPECT_EQ(written(before, "b", "y", ""), "; top\n[a]\nx=1\r\ny=old\r\n; note\nz=3\n\n[b]\ny=\n");
    // The key keeps the spelling it has in the file.
    EXPECT_EQ(written("[A]\r\nKey=1\r\n", "a", "KEY", "2"), "[A]\r\nKey=2\r\n");
    // The last line had no break and still has none.
    EXPECT_EQ(written("[a]\r\nk=1", "a", "k", "22"), "[a]\r\nk=22");
}

TEST(IniWrite, DuplicatesUpdateTheFirstOccurrence) {
    EXPECT_EQ(written("[a]\r\nk=1\r\nk=2\r\n", "a", "k", "9"), "[a]\r\nk=9\r\nk=2\r\n");
    EXPECT_EQ(written("[a]\r\nk=1\r\n[b]\r\n[a]\r\nk=2\r\n", "a", "k", "9"), "[a]\r\nk=9\r\n[b]\r\n[a]\r\nk=2\r\n");
    // A key that only the second copy of a section has is added to the first.
    EXPECT_EQ(written("[a]\r\nk=1\r\n[a]\r\nj=2\r\n", "a", "j", "9"), "[a]\r\nk=1\r\nj=9\r\n[a]\r\nj=2\r\n");
}

TEST(IniWrite, NamesMatchIgnoringTheCaseOfAsciiLettersOnly) {
    // Full-width Ａ (A3 C1) and ａ (A3 E1) are different names.
    const std::string wideUpper = "\xA3\xC1", wideLower = "\xA3\xE1";
    EXPECT_EQ(written("[s]\r\n" + wideUpper + "=1\r\n", "S", wideLower, "2"),
              "[s]\r\n" + wideUpper + "=1\r\n" + wideLower + "=2\r\n");
    // 丄 (81 41) and 乤 (81 61) differ only in a trail byte that looks like
    // "A" and "a"; they are different characters.
    const std::string shang = "\x81\x41", other = "\x81\x61";
    EXPECT_EQ(written("[s]\r\n" + shang + "=1\r\n", "s", other, "2"),
              "[s]\r\n" + shang + "=1\r\n" + other + "=2\r\n");
    EXPECT_EQ(written("[" + shang + "]\r\nk=1\r\n", other, "k", "2"),
              "[" + shang + "]\r\nk=1\r\n[" + other + "]\r\nk=2\r\n");
}

TEST(IniWrite, RefusesWhatCouldNotBeReadBack) {
    const std::string content = "[a]\r\nk=1\r\n";
    EXPECT_FALSE(iniWrite(content, "", "k", "v"));
    EXPECT_FALSE(iniWrite(content, "a", "", "v"));
    EXPECT_FALSE(iniWrite(content, "a", "k", "line\r\nbreak"));
    EXPECT_FALSE(iniWrite(content, "a", "k", "lf\nonly"));
    EXPECT_FALSE(iniWrite(content, "a", "k", "nul\0inside"s));
    EXPECT_FALSE(iniWrite(content, "a\nb", "k", "v"));
    EXPECT_FALSE(iniWrite(content, "a", "k\r", "v"));
    EXPECT_FALSE(iniWrite(content, "a]b", "k", "v"));  // header would end at "]"
    EXPECT_FALSE(iniWrite(content, "a", "k=j", "v"));  // key would end at "="
    EXPECT_FALSE(iniWrite(content, "a", "[k", "v"));   // line would be a header
    EXPECT_FALSE(iniWrite(content, "a", " k", "v"));   // names are read trimmed
    EXPECT_FALSE(iniWrite(content, " a", "k", "v"));
    EXPECT_FALSE(iniWrite(content, "a", "k\t", "v"));
    EXPECT_FALSE(iniWrite(content, "a", " ", "v"));
    EXPECT_FALSE(iniWrite(content, "a\x81", "k", "v"));  // the lead byte would swallow the "]"
    // Brackets elsewhere in a key, and blanks inside names, are fine.
    EXPECT_TRUE(iniWrite(content, "a", "k[1]", "v"));
    EXPECT_TRUE(iniWrite(content, "a b", "k l", "v = [x]"));
}

TEST(IniWrite, NamesWithAsciiLookingTrailBytesReadBack) {
    // 乚 (81 5D) ends in the byte of "]"; 乕 (81 5B) in that of "[".
    const std::string section = "\x81\x5D", key = "\x81\x5B";
    const std::string content = written("", section, key, "1");
    EXPECT_EQ(content, "[" + section + "]\r\n" + key + "=1\r\n");
    EXPECT_EQ(iniRead(content, section, key), "1");
    EXPECT_EQ(written(content, section, key, "2"), "[" + section + "]\r\n" + key + "=2\r\n");
}

// ---------------------------------------------------------------------------
// Reading

TEST(IniRead, TrimsSpacesAndTabsButNotTheFullWidthSpace) {
    EXPECT_EQ(iniRead("[a]\r\n \t key \t= \t value with  inner \t \r\n", "a", "key"), "value with  inner");
    EXPECT_EQ(iniRead("  [ a ]  \r\nk=1\r\n", "a", "k"), "1");
    // U+3000 is A1 A1 in GBK.
    EXPECT_EQ(iniRead("[a]\r\nk=\xA1\xA1v\xA1\xA1\r\n", "a", "k"), "\xA1\xA1v\xA1\xA1");
    EXPECT_EQ(iniRead("[a]\r\n\xA1\xA1k=1\r\n", "a", "k"), "");
}

TEST(IniRead, StripsOnePairOfEnclosingQuotes) {
    const std::string file =
        "[a]\r\n"
        "plain=\"two words\"\r\n"
        "spaced=  \" kept inside \"  \r\n"
        "double=\"\"x\"\"\r\n"
        "open=\"abc\r\n"
        "close=abc\"\r\n"
        "lone=\"\r\n"
        "empty=\"\"\r\n";
    EXPECT_EQ(iniRead(file, "a", "plain"), "two words");
    EXPECT_EQ(iniRead(file, "a", "spaced"), " kept inside ");
    EXPECT_EQ(iniRead(file, "a", "double"), "\"x\"");
    EXPECT_EQ(iniRead(file, "a", "open"), "\"abc");
    EXPECT_EQ(iniRead(file, "a", "close"), "abc\"");
    EXPECT_EQ(iniRead(file, "a", "lone"), "\"");
    EXPECT_EQ(iniRead(file, "a", "empty"), "");
    // Single quotes the same way; a mixed pair is not a pair.
    EXPECT_EQ(iniRead("[a]\r\nk='v w'\r\n", "a", "k"), "v w");
    EXPECT_EQ(iniRead("[a]\r\nk=''\r\n", "a", "k"), "");
    EXPECT_EQ(iniRead("[a]\r\nk='v\"\r\n", "a", "k"), "'v\"");
    EXPECT_EQ(iniRead("[a]\r\nk='\r\n", "a", "k"), "'");
}

TEST(IniLines, LoneCrIsALineBreakAndAFinalLineGetsItsBreakCompleted) {
    EXPECT_EQ(iniRead("[a]\rk=1\rj=2", "a", "k"), "1");
    EXPECT_EQ(iniRead("[a]\rk=1\rj=2", "a", "j"), "2");
    // A new key after a last line ending in a bare CR, or in nothing.
    EXPECT_EQ(written("[a]\r\nk=1\r", "a", "j", "2"), "[a]\r\nk=1\r\nj=2\r\n");
    EXPECT_EQ(written("[a]\r\nk=1", "a", "j", "2"), "[a]\r\nk=1\r\nj=2\r\n");
    EXPECT_EQ(written("[a]\r\nk=1\r", "b", "j", "2"), "[a]\r\nk=1\r\n[b]\r\nj=2\r\n");
    EXPECT_EQ(written("[a]\rk=1\r[b]\rz=3\r", "a", "j", "2"), "[a]\rk=1\rj=2\r\n[b]\rz=3\r");
    for (const std::string before : {"[a]\r\nk=1\r", "[a]\r\nk=1", "[a]\rk=1\r"}) {
        auto after = iniWrite(before, "a", "j", "2");
        ASSERT_TRUE(after);
        EXPECT_EQ(iniRead(*after, "a", "k"), "1");
        EXPECT_EQ(iniRead(*after, "a", "j"), "2");
    }
}

TEST(IniRead, NamesMatchIgnoringTheCaseOfAsciiLettersOnly) {
    EXPECT_EQ(iniRead("[Soft Ware]\r\nLast=1\r\n", "sOFT wARE", "LAST"), "1");
    // Full-width Ａ (A3 C1) is not ａ (A3 E1).
    EXPECT_EQ(iniRead("[s]\r\n\xA3\xC1=1\r\n", "s", "\xA3\xE1"), "");
    EXPECT_EQ(iniRead("[s]\r\n\xA3\xC1=1\r\n", "s", "\xA3\xC1"), "1");
    // 丄 (81 41) is not 乤 (81 61), although the trail bytes are "A" and "a".
    const std::string file = "[s]\r\n\x81\x41=1\r\n\x81\x61=2\r\n";
    EXPECT_EQ(iniRead(file, "s", "\x81\x61"), "2");
    EXPECT_EQ(iniRead(file, "s", "\x81\x41"), "1");
    EXPECT_EQ(iniRead("[\x81\x41]\r\nk=1\r\n", "\x81\x61", "k"), "");
    // A section whose name ends in the byte of "]": 乚 (81 5D).
    EXPECT_EQ(iniRead("[\x81\x5D]\r\nk=1\r\n", "\x81\x5D", "k"), "1");
    EXPECT_EQ(iniRead("[\x81\x5D]\r\nk=1\r\n", "\x81", "k"), "");
}

TEST(IniRead, DuplicatesFirstKeyWinsAndOnlyTheFirstSectionCounts) {
    EXPECT_EQ(iniRead("[a]\r\nk=1\r\nK=2\r\n", "a", "k"), "1");
    const std::string file = "[a]\r\nk=1\r\n[b]\r\nj=0\r\n[A]\r\nk=2\r\nj=3\r\n";
    EXPECT_EQ(iniRead(file, "a", "k"), "1");
    EXPECT_EQ(iniRead(file, "a", "j"), "");
    EXPECT_EQ(iniRead(file, "b", "j"), "0");
}

TEST(IniRead, LinesKeysAndMissingThings) {
    const std::string file =
        "k=before any section\r\n"
        "[a]\r\n"
        "just words\r\n"
        "k\r\n"
        "empty=\r\n"
        "x=1=2\r\n"
        "k=found\n"
        "last=no break";
    EXPECT_EQ(iniRead(file, "a", "k"), "found");        // lines without "=" are ignored
    EXPECT_EQ(iniRead(file, "a", "empty"), "");
    EXPECT_EQ(iniRead(file, "a", "x"), "1=2");          // the first "=" splits
    EXPECT_EQ(iniRead(file, "a", "last"), "no break");
    EXPECT_EQ(iniRead(file, "a", "just words"), "");
    EXPECT_EQ(iniRead(file, "a", "missing"), "");
    EXPECT_EQ(iniRead(file, "b", "k"), "");
    EXPECT_EQ(iniRead("", "a", "k"), "");
    // Empty names read empty even where the file has them.
    EXPECT_EQ(iniRead("[]\r\n=v\r\nk=w\r\n[a]\r\n=u\r\n", "", "k"), "");
    EXPECT_EQ(iniRead("[]\r\n=v\r\nk=w\r\n[a]\r\n=u\r\n", "a", ""), "");
}

TEST(IniRead, LongValuesAreCutWithoutSplittingACharacter) {
    auto fileWith = [](const std::string& value) { return "[s]\r\nk=" + value + "\r\nnext=1\r\n"; };
    const std::string zhong = "\xD6\xD0";  // 中
    EXPECT_EQ(iniRead(fileWith(std::string(10239, 'c')), "s", "k"), std::string(10239, 'c'));
    EXPECT_EQ(iniRead(fileWith(std::string(10240, 'b')), "s", "k"), std::string(10239, 'b'));
    EXPECT_EQ(iniRead(fileWith(std::string(20000, 'b')), "s", "k"), std::string(10239, 'b'));
    EXPECT_EQ(iniRead(fileWith(std::string(10238, 'a') + zhong), "s", "k"), std::string(10238, 'a'));
    EXPECT_EQ(iniRead(fileWith(std::string(10237, 'a') + zhong), "s", "k"), std::string(10237, 'a') + zhong);
    EXPECT_EQ(iniRead(fileWith(std::string(10238, 'a') + zhong), "s", "next"), "1");
}

// ---------------------------------------------------------------------------
// Numbers

TEST(IniParseInteger, LeadingBlanksSignAndDigits) {
    EXPECT_EQ(parseInteger(gbk(u8"白色")), 0);
    EXPECT_EQ(parseInteger("  -12abc"), -12);
    EXPECT_EQ(parseInteger("+7"), 7);
    EXPECT_EQ(parseInteger(""), 0);
    EXPECT_EQ(parseInteger("\t5"), 5);
    EXPECT_EQ(parseInteger("007"), 7);
    EXPECT_EQ(parseInteger("12 34"), 12);
    EXPECT_EQ(parseInteger("-"), 0);
    EXPECT_EQ(parseInteger("- 5"), 0);
    EXPECT_EQ(parseInteger("x5"), 0);
    EXPECT_EQ(parseInteger("\xA3\xB5"), 0);  // full-width ５
}

TEST(IniParseInteger, SaturatesAtThe32BitLimits) {
    EXPECT_EQ(parseInteger("2147483647"), INT_MAX);
    EXPECT_EQ(parseInteger("2147483648"), INT_MAX);
    EXPECT_EQ(parseInteger("99999999999999999999999999"), INT_MAX);
    EXPECT_EQ(parseInteger("-2147483648"), INT_MIN);
    EXPECT_EQ(parseInteger("-2147483649"), INT_MIN);
    EXPECT_EQ(parseInteger("-99999999999999999999999999"), INT_MIN);
}

// ---------------------------------------------------------------------------
// The file on disk

TEST(IniFile, NewFileHasExactlyTheExpectedBytes) {
    TempFolder dir;
    const IniFile ini(dir / "setting.ini");
    EXPECT_FALSE(ini.exists());
    ASSERT_TRUE(ini.write(gbk(u8"软件设置"), gbk(u8"最后一次登录"), "20261208"));
    EXPECT_TRUE(ini.exists());
    // No byte-order mark, no blanks around "=", CR LF after every line.
    EXPECT_EQ(contentOf(dir / "setting.ini"),
              "[\xC8\xED\xBC\xFE\xC9\xE8\xD6\xC3]\r\n"
              "\xD7\xEE\xBA\xF3\xD2\xBB\xB4\xCE\xB5\xC7\xC2\xBC=20261208\r\n");
    EXPECT_EQ(ini.read(gbk(u8"软件设置"), gbk(u8"最后一次登录")), "20261208");
}

TEST(IniFile, UpdatesKeepTheRestOfTheFile) {
    TempFolder dir;
    put(dir / "setting.ini", "; mine\n[a]\nx=1\n\n");
    const IniFile ini(dir / "setting.ini");
    ASSERT_TRUE(ini.write("a", "y", "2"));
    ASSERT_TRUE(ini.write("a", "x", "3"));
    ASSERT_TRUE(ini.write("b", "z", "4"));
    EXPECT_EQ(contentOf(dir / "setting.ini"), "; mine\n[a]\nx=3\ny=2\r\n\n[b]\r\nz=4\r\n");
    // Writing the value that is already there changes nothing and succeeds.
    ASSERT_TRUE(ini.write("a", "x", "3"));
    EXPECT_EQ(contentOf(dir / "setting.ini"), "; mine\n[a]\nx=3\ny=2\r\n\n[b]\r\nz=4\r\n");
}

TEST(IniFile, ReadOnlyFileRefusesWritesAndKeepsItsValue) {
    TempFolder dir;
    const std::string original = "[a]\r\nk=1\r\n";
    put(dir / "setting.ini", original);
    ASSERT_TRUE(setReadOnly(dir / "setting.ini", true));
    const IniFile ini(dir / "setting.ini");
    EXPECT_FALSE(ini.write("a", "k", "2"));
    EXPECT_FALSE(ini.write("a", "new", "2"));
    EXPECT_FALSE(ini.write("a", "k", "1"));  // even when nothing would change
    EXPECT_EQ(contentOf(dir / "setting.ini"), original);
    EXPECT_EQ(ini.read("a", "k"), "1");
}

// Daily tasks store an award and the total together.
TEST(IniFile, WriteAllStoresEveryValueOrNone) {
    TempFolder dir;
    put(dir / "setting.ini", "[a]\r\nk=1\r\n");
    const IniFile ini(dir / "setting.ini");
    const IniEntry good[] = {{"a", "k", "2"}, {"b", "m", "3"}, {"a", "n", "4"}};
    ASSERT_TRUE(ini.writeAll(good));
    EXPECT_EQ(contentOf(dir / "setting.ini"), "[a]\r\nk=2\r\nn=4\r\n[b]\r\nm=3\r\n");
    const IniEntry oneBad[] = {{"a", "k", "5"}, {"b", "bad=key", "6"}};
    EXPECT_FALSE(ini.writeAll(oneBad));
    EXPECT_EQ(contentOf(dir / "setting.ini"), "[a]\r\nk=2\r\nn=4\r\n[b]\r\nm=3\r\n");
}

TEST(IniFile, MissingFolderOrEmptyNamesFailWithoutCreatingAnything) {
    TempFolder dir;
    const IniFile inMissing(dir / "missing/setting.ini");
    EXPECT_FALSE(inMissing.write("a", "k", "v"));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    EXPECT_EQ(inMissing.read("a", "k"), "");

    const IniFile ini(dir / "setting.ini");
    EXPECT_FALSE(ini.write("", "k", "v"));
    EXPECT_FALSE(ini.write("a", "", "v"));
    EXPECT_FALSE(ini.exists());
    EXPECT_EQ(ini.read("", "k"), "");

    EXPECT_FALSE(IniFile("").write("a", "k", "v"));
    EXPECT_EQ(IniFile("").read("a", "k"), "");
}

TEST(IniFile, IntegersBooleansAndColours) {
    TempFolder dir;
    const IniFile ini(dir / "setting.ini");
    ASSERT_TRUE(ini.writeInt("n", "neg", -42));
    ASSERT_TRUE(ini.writeInt("n", "big", 3000000000LL));
    ASSERT_TRUE(ini.writeBool("b", "on", true));
    ASSERT_TRUE(ini.writeBool("b", "off", false));
    // 真 = D5 E6, 假 = BC D9
    EXPECT_EQ(contentOf(dir / "setting.ini"),
              "[n]\r\nneg=-42\r\nbig=3000000000\r\n[b]\r\non=\xD5\xE6\r\noff=\xBC\xD9\r\n");
    EXPECT_EQ(ini.readInt("n", "neg"), -42);
    EXPECT_EQ(ini.readInt("n", "big"), INT_MAX);
    EXPECT_EQ(ini.readInt("n", "missing"), 0);
    EXPECT_TRUE(ini.readBool("b", "on"));
    EXPECT_FALSE(ini.readBool("b", "off"));
    EXPECT_FALSE(ini.readBool("b", "missing"));

    put(dir / "setting.ini",
        "[b]\r\ntrue=true\r\ntwice=\xD5\xE6\xD5\xE6\r\nempty=\r\n"
        "[c]\r\nred=255\r\nblue=16711680\r\nwhite=-1\r\nword=\xB0\xD7\xC9\xAB\r\n");  // 白色
    EXPECT_FALSE(ini.readBool("b", "true"));
    EXPECT_FALSE(ini.readBool("b", "twice"));
    EXPECT_FALSE(ini.readBool("b", "empty"));
    EXPECT_EQ(ini.readColour("c", "red"), rgb(255, 0, 0));
    EXPECT_EQ(ini.readColour("c", "blue"), rgb(0, 0, 255));
    EXPECT_EQ(ini.readColour("c", "white"), kWhite);
    EXPECT_EQ(ini.readColour("c", "word"), kBlack);
}

// ---------------------------------------------------------------------------
// Files that are not what they should be

TEST(IniFileBadContent, EmptyFile) {
    TempFolder dir;
    put(dir / "setting.ini", "");
    const IniFile ini(dir / "setting.ini");
    EXPECT_EQ(ini.read("a", "k"), "");
    ASSERT_TRUE(ini.write("a", "k", "v"));
    EXPECT_EQ(contentOf(dir / "setting.ini"), "[a]\r\nk=v\r\n");
}

TEST(IniFileBadContent, BinaryBytesWithNulAreKept) {
    TempFolder dir;
    const std::string garbage = "\0\0\x01\xFF\x80 junk\0[\r\n"s;
    put(dir / "setting.ini", garbage + "[a]\r\nk=v\r\n\0tail\0"s);
    const IniFile ini(dir / "setting.ini");
    EXPECT_EQ(ini.read("a", "k"), "v");
    ASSERT_TRUE(ini.write("a", "j", "w"));
    EXPECT_EQ(contentOf(dir / "setting.ini"), garbage + "[a]\r\nk=v\r\nj=w\r\n\0tail\0"s);
}

TEST(IniFileBadContent, BytesThatAreNotGbkAreKeptByteForByte) {
    TempFolder dir;
    // 0xFF, a lone 0x80 before a lead byte, a pair with trail 0x7F, a lead
    // byte right before "=".
    const std::string before = "[a]\r\nk=\xFF\x80\x81\r\nz=\x81\x7F\r\n\x81=lead\r\n";
    put(dir / "setting.ini", before);
    const IniFile ini(dir / "setting.ini");
    EXPECT_EQ(ini.read("a", "k"), "\xFF\x80\x81");
    EXPECT_EQ(ini.read("a", "z"), "\x81\x7F");
    EXPECT_EQ(ini.read("a", "\x81"), "lead");
    ASSERT_TRUE(ini.write("a", "k", "new"));
    EXPECT_EQ(contentOf(dir / "setting.ini"), "[a]\r\nk=new\r\nz=\x81\x7F\r\n\x81=lead\r\n");
}

TEST(IniFileBadContent, FileOverTheSizeLimitReadsEmptyAndIsNeverRewritten) {
    TempFolder dir;
    const std::string path = dir / "setting.ini";
    put(path, "[a]\r\nk=v\r\n");
    std::filesystem::resize_file(path, kIniFileLimit + 1);  // sparse, NUL bytes after the text
    const IniFile ini(path);
    EXPECT_EQ(ini.read("a", "k"), "");
    EXPECT_FALSE(ini.write("a", "k", "w"));
    EXPECT_FALSE(ini.write("b", "k", "w"));
    EXPECT_EQ(std::filesystem::file_size(path), kIniFileLimit + 1);
    EXPECT_EQ(contentOf(path).substr(0, 10), "[a]\r\nk=v\r\n");

    // At the limit it is still a settings file.
    std::filesystem::resize_file(path, kIniFileLimit);
    EXPECT_EQ(ini.read("a", "k"), "v");
}

TEST(IniFileBadContent, FolderInPlaceOfTheFile) {
    TempFolder dir;
    ASSERT_EQ(::mkdir((dir / "setting.ini").c_str(), 0755), 0);
    const IniFile ini(dir / "setting.ini");
    EXPECT_EQ(ini.read("a", "k"), "");
    EXPECT_FALSE(ini.write("a", "k", "v"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "setting.ini"));
    EXPECT_TRUE(std::filesystem::is_empty(dir / "setting.ini"));
}

// A setting that cannot be written leaves a note for whoever looks into it
// later; with no sink set the note goes nowhere.
std::vector<std::pair<LogArea, std::string>> notes;
TEST(IniFileBadContent, AFailedWriteLeavesANote) {
    TempFolder dir;
    ASSERT_EQ(::mkdir((dir / "setting.ini").c_str(), 0755), 0);
    const IniFile ini(dir / "setting.ini");
    notes.clear();
    setLogSink([](LogArea area, std::string_view text) { notes.emplace_back(area, std::string(text)); });
    EXPECT_FALSE(ini.write("a", "k", "v"));
    const IniFile unwritable(dir / "no-such-folder/setting.ini");
    EXPECT_FALSE(unwritable.write("a", "k", "v"));
    setLogSink(nullptr);
    EXPECT_FALSE(ini.write("a", "k", "v"));
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].first, LogArea::Settings);
    EXPECT_NE(notes[0].second.find(dir / "setting.ini"), std::string::npos) << notes[0].second;
    EXPECT_NE(notes[1].second.find("no-such-folder"), std::string::npos) << notes[1].second;
}

// ---------------------------------------------------------------------------
// The settings file

TEST(SettingsStore, TheFileLivesInTheProgramFolder) {
    TempFolder program;
    const SettingsStore store(program.path());
    EXPECT_EQ(store.program().path(), program / "setting.ini");
    EXPECT_EQ(store.programDirectory(), program.path());

    ASSERT_TRUE(store.program().write("a", "k", "p"));
    ASSERT_TRUE(store.program().write("b", "j", "2"));
    EXPECT_EQ(store.program().read("a", "k"), "p");
    EXPECT_EQ(contentOf(program / "setting.ini"), "[a]\r\nk=p\r\n[b]\r\nj=2\r\n");
}

}  // namespace
}  // namespace talery

namespace talery {
namespace {

TEST(SettingsProgramDirectory, EnvironmentOverridesAndIsCreated) {
    test::TempDir dir;
    const std::string home = dir.file("portable/talery");
    const char* previous = std::getenv("TALERY_HOME");
    const std::string saved = previous ? previous : "";
    ::setenv("TALERY_HOME", (home + "/").c_str(), 1);
    EXPECT_EQ(programDirectory(), home);
    EXPECT_TRUE(std::filesystem::is_directory(home));
    if (previous) {
        ::setenv("TALERY_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("TALERY_HOME");
    }
}

// Without TALERY_HOME: the per-user folder, unless the program's folder
// already holds its settings (a portable copy) and is no build tree.
TEST(SettingsProgramDirectory, PortableOnlyWithSettingsAndNeverInABuildTree) {
    test::TempDir dir;
    const char* previousHome = std::getenv("TALERY_HOME");
    const char* previousXdg = std::getenv("XDG_DATA_HOME");
    const std::string savedHome = previousHome ? previousHome : "", savedXdg = previousXdg ? previousXdg : "";
    ::unsetenv("TALERY_HOME");
    ::setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
    const std::string settings = exe + "/setting.ini", cache = exe + "/CMakeCache.txt";
    ASSERT_FALSE(std::filesystem::exists(settings));
    ASSERT_FALSE(std::filesystem::exists(cache));
    EXPECT_EQ(programDirectory(), dir.file("talery"));
    EXPECT_EQ(earlierProgramDirectory(), "");
    test::writeBytes(settings, "");
    EXPECT_EQ(programDirectory(), exe);
    EXPECT_EQ(earlierProgramDirectory(), "");
    test::writeBytes(cache, "");
    EXPECT_EQ(programDirectory(), dir.file("talery"));
    EXPECT_EQ(earlierProgramDirectory(), exe);
    std::filesystem::remove(settings);
    std::filesystem::remove(cache);
    previousHome ? ::setenv("TALERY_HOME", savedHome.c_str(), 1) : ::unsetenv("TALERY_HOME");
    previousXdg ? ::setenv("XDG_DATA_HOME", savedXdg.c_str(), 1) : ::unsetenv("XDG_DATA_HOME");
}

// Without HOME or XDG_DATA_HOME (a bare `env -i` start): the home the
// password database names, never a folder others share.
TEST(SettingsProgramDirectory, WithoutHomeTheWritersOwnHomeNeverASharedFolder) {
    const char* names[] = {"TALERY_HOME", "XDG_DATA_HOME", "HOME"};
    std::vector<std::optional<std::string>> saved;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        saved.push_back(value ? std::optional<std::string>(value) : std::nullopt);
        ::unsetenv(name);
    }
    const struct passwd* user = ::getpwuid(::geteuid());
    ASSERT_NE(user, nullptr);
    EXPECT_EQ(programDirectory(), std::string(user->pw_dir) + "/.local/share/talery");
    for (std::size_t i = 0; i < saved.size(); ++i)
        saved[i] ? ::setenv(names[i], saved[i]->c_str(), 1) : ::unsetenv(names[i]);
}

}  // namespace
}  // namespace talery
