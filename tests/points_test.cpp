// The stored points value. Expected cipher bytes were computed outside the
// program (MD5 of the key prefix, first 5 bytes + 11 zero bytes, RC4).
#include "app/paths.h"
#include "app_fixture.h"
#include "core/cipher.h"
#include "tasks/points.h"

#include <climits>
#include <unistd.h>

namespace talery::test {
namespace {

TEST(Points, StoredFormMatchesIndependentCipherBytes) {
    EXPECT_EQ(storedFromPoints(0), "hex:D4");
    EXPECT_EQ(storedFromPoints(1), "hex:D5");
    EXPECT_EQ(storedFromPoints(100), "hex:D5F809");
    EXPECT_EQ(storedFromPoints(-1), "hex:C9F9");
    EXPECT_EQ(storedFromPoints(INT_MAX), "hex:D6F90D47934C3DA6A795");
}

TEST(Points, ReadsEscapedLegacyAndBadValues) {
    EXPECT_EQ(pointsFromStored("hex:D5F809"), 100);
    EXPECT_EQ(pointsFromStored("hex:d5f809"), 100);
    EXPECT_EQ(pointsFromStored("\xD5\xF8\x09"), 100);  // raw bytes as the old program wrote them
    EXPECT_EQ(pointsFromStored(""), 0);
    EXPECT_EQ(pointsFromStored("hex:"), 0);
    EXPECT_EQ(pointsFromStored("hex:D"), 0);            // odd digit count: read raw, no digits
    EXPECT_EQ(pointsFromStored("garbage"), 0);
    // Far beyond 32 bits: "99999999999" enciphered saturates instead of wrapping.
    EXPECT_EQ(pointsFromStored(escapePointsValue(encryptText("99999999999", keyPrefix))), INT_MAX);
    EXPECT_EQ(pointsFromStored(escapePointsValue(encryptText("-99999999999", keyPrefix))), INT_MIN);
}

TEST(Points, EveryTotalSurvivesTheSettingsFile) {
    TempDir dir;
    IniFile ini(dir.path() + "/setting.ini");
    // 123 enciphers to D5 FA 0A: raw, its line feed would cut the INI line.
    for (std::int32_t total : {0, 123, 100, -5, INT_MAX, INT_MIN}) {
        ASSERT_TRUE(storePoints(ini, total));
        EXPECT_EQ(loadPoints(ini), total) << total;
    }
    EXPECT_EQ(readBytes(ini.path()), "[" + g(u8"运行情况") + "]\r\n" + g(u8"运行") + "=hex:C9FA0844904036A3A5967C\r\n");
}

// Started from another folder, the program reads and writes the points in its
// own folder's file and leaves the working folder's file as it was.
TEST(Points, LiveInTheProgramDirectoryNotTheWorkingOne) {
    TempDir program, working;
    ASSERT_TRUE(storePoints(IniFile(program / "setting.ini"), 100));
    ASSERT_TRUE(storePoints(IniFile(working / "setting.ini"), 7));
    const std::string workingBefore = readBytes(working / "setting.ini");
    // Started from the working folder, as from a terminal there.
    const std::string startedIn = currentDirectory();
    ASSERT_EQ(::chdir(working.path().c_str()), 0);
    {
        FakeWindow w;
        FixedClock clock{{2016, 1, 6, 10, 0, 0}};
        Application app(w, clock, SettingsStore(program.path()));
        app.start();
        EXPECT_EQ(app.pointsTotal(), 100);
        w.click(Unit::刷新任务按钮);  // the day's start pays a point
        EXPECT_EQ(app.pointsTotal(), 101);
    }
    ASSERT_EQ(::chdir(startedIn.c_str()), 0);
    EXPECT_EQ(loadPoints(IniFile(program / "setting.ini")), 101);
    EXPECT_EQ(working.names(), std::vector<std::string>{"setting.ini"});
    EXPECT_EQ(readBytes(working / "setting.ini"), workingBefore);
}

TEST(Points, LabelText) { EXPECT_EQ(pointsLabel(42), g(u8"当前积分： ") + "42"); }

}  // namespace
}  // namespace talery::test
