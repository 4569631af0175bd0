// The application shell through the fake window: start-up, layout, closing,
// the tray icon, the chrome, the theme and settings page, tips and the panel.
// Expected files, colours and draws are written down by hand.

#include "app/chrome.h"
#include "app/resources.h"
#include "app/tips.h"
#include "app_fixture.h"
#include "core/cipher.h"
#include "tasks/points.h"

#include <sys/stat.h>

namespace talery::test {
namespace {

Text ini(std::u8string_view s) { return gbk(s); }

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// A second run of the program on the same folder.
struct LaterRun {
    explicit LaterRun(const TempDir& dir, FixedClock& clock, std::function<void(FakeWindow&)> before = {}) {
        if (before) before(w);
        app = std::make_unique<Application>(w, clock, SettingsStore(dir.path()));
        app->start();
    }
    FakeWindow w;
    std::unique_ptr<Application> app;
};

class ShellTest : public AppTest {
protected:
    std::string settingsPath() const { return dir.file("setting.ini"); }
    IniFile file() const { return IniFile(settingsPath()); }
    // A new run whose stored points total is `points`.
    std::unique_ptr<LaterRun> runWithPoints(std::int32_t points) {
        storePoints(file(), points);
        return std::make_unique<LaterRun>(dir, clock);
    }
};

TEST_F(ShellTest, FirstRunWritesTheDesignStateAndTheDay) {
    EXPECT_EQ(w.windowGeometry().width, 1119);
    EXPECT_EQ(w.windowGeometry().height, 838);
    EXPECT_EQ(readBytes(settingsPath()), ini(u8"[文本设置]\r\n文本颜色=0\r\n背景颜色=0\r\n大字体模式=假\r\n"
                                             u8"[软件设置]\r\n高度=838\r\n宽度=1119\r\n自动保存=真\r\n按钮类型=0\r\n"
                                             u8"小提示类型=0\r\n顶图类型=0\r\n最后一次登录=201611\r\n"));
    EXPECT_EQ(app->pointsTotal(), 0);
    EXPECT_EQ(w.text(Unit::积分显示), ini(u8"当前积分： 0"));
    EXPECT_FALSE(w.visible(Unit::关于));
    EXPECT_FALSE(w.visible(Unit::背景));
    EXPECT_TRUE(w.visible(Unit::状态条1));
    EXPECT_EQ(w.alpha, 255);
    EXPECT_TRUE(w.trayShown);
    EXPECT_EQ(w.trayTip, ini(u8"Talery—你的原创写作助手"));
    EXPECT_EQ(w.windowBackground(), 0u);
    EXPECT_EQ(w.textColour(Unit::编辑框1), kWhite);
    // Two tips were drawn (both saves of the settings): the second draw is 18467, line 18467 mod 291 + 1.
    EXPECT_EQ(w.statusText(2), ini(u8"小提示：") + *storeLine(w.text(Unit::中国地理历史), 135));
    EXPECT_TRUE(w.messages.empty());
    EXPECT_NE(modeOf(settingsPath()) & S_IWUSR, 0u);
}

TEST_F(ShellTest, ASecondStartRestoresSizeColoursPanelAndPoints) {
    w.setWindowSize(900, 700);
    w.chooseColour(Unit::颜色, 0x99CCFF);
    w.click(Unit::状态栏选择);
    w.click(Unit::透明化选择);
    w.click(Unit::自动保存);
    w.setSelection(Unit::提示类型, 2);
    w.answers = {Answer::No};
    w.choose(Unit::按钮类型, 6);
    w.choose(Unit::文本颜色, 1);
    w.click(Unit::保存设置);
    storePoints(file(), 1234);
    ASSERT_TRUE(w.userCloses());
    EXPECT_EQ(modeOf(settingsPath()) & 0222, 0u);  // read-only between runs, other bits kept
    EXPECT_NE(modeOf(settingsPath()) & S_IRUSR, 0u);
    EXPECT_FALSE(w.trayShown);

    LaterRun second(dir, clock);
    const FakeWindow& v = second.w;
    EXPECT_EQ(v.windowGeometry().width, 900);
    EXPECT_EQ(v.windowGeometry().height, 700);
    EXPECT_EQ(v.backgroundColour(Unit::颜色), 0x99CCFFu);
    EXPECT_EQ(v.windowBackground(), 0x99CCFFu);
    EXPECT_EQ(v.backgroundColour(Unit::编辑框1), 0x99CCFFu);
    EXPECT_FALSE(v.visible(Unit::状态条1));
    EXPECT_TRUE(v.checked(Unit::状态栏选择));
    EXPECT_EQ(v.alpha, 220);
    EXPECT_TRUE(v.checked(Unit::透明化选择));
    EXPECT_FALSE(v.checked(Unit::自动保存));
    EXPECT_EQ(v.selection(Unit::提示类型), 2);
    EXPECT_EQ(v.selection(Unit::按钮类型), 6);
    EXPECT_EQ(v.selection(Unit::文本颜色), 1);
    EXPECT_EQ(v.textColour(Unit::编辑框1), kBlack);
    EXPECT_EQ(v.backgroundColour(Unit::章节名称), kWhite);
    EXPECT_EQ(second.app->pointsTotal(), 1234);
    EXPECT_EQ(v.text(Unit::积分显示), ini(u8"当前积分： 1234"));
    EXPECT_EQ(v.statusText(2), ini(u8"本软件由writer与Moorlander共同打造"));
    EXPECT_EQ(v.geometry(Unit::编辑框1).height, 700 - 65);
    EXPECT_NE(modeOf(settingsPath()) & S_IWUSR, 0u);
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"宽度")), "900");
}

TEST_F(ShellTest, StoredSizesThatCannotMakeAUsableWindowGiveTheDesignSize) {
    struct Case {
        const char* height;
        const char* width;
        int expectedWidth, expectedHeight;
    };
    const Case cases[] = {
        {nullptr, nullptr, 1119, 838}, {"0", "0", 1119, 838},     {"-500", "-1", 1119, 838},
        {"99999999999", "4000", 1119, 838}, {"abc", "", 1119, 838}, {"700", "1000", 1000, 700},
        {"700", nullptr, 1119, 700},   {"100", "200", 1119, 838},
    };
    for (const Case& c : cases) {
        TempDir d;
        IniFile f(d.file("setting.ini"));
        f.write(ini(u8"文本设置"), ini(u8"背景颜色"), "0");
        if (c.height) f.write(ini(u8"软件设置"), ini(u8"高度"), c.height);
        if (c.width) f.write(ini(u8"软件设置"), ini(u8"宽度"), c.width);
        setReadOnly(f.path(), false);
        LaterRun run(d, clock);
        EXPECT_EQ(run.w.windowGeometry().width, c.expectedWidth) << c.height << " " << c.width;
        EXPECT_EQ(run.w.windowGeometry().height, c.expectedHeight) << c.height << " " << c.width;
    }
    // A screen smaller than the design takes the whole screen instead.
    TempDir small;
    IniFile(small.file("setting.ini")).write(ini(u8"软件设置"), ini(u8"高度"), "0");
    LaterRun run(small, clock, [](FakeWindow& v) { v.screen = {0, 0, 1024, 700}; });
    EXPECT_EQ(run.w.windowGeometry().width, 1024);
    EXPECT_EQ(run.w.windowGeometry().height, 700);
}

TEST(WindowFit, TheFrameIsShrunkOntoItsScreenAndCentredWhenItMustMove) {
    const Rect laptop{0, 0, 1366, 740}, second{1366, 0, 1920, 1050};
    struct Case {
        Rect wanted;
        std::vector<Rect> screens;
        Rect expected;
    };
    const Case cases[] = {
        {{50, 50, 1119, 838}, {{0, 0, 1920, 1040}}, {50, 50, 1119, 838}},        // fits: stays
        {{50, 50, 1119, 838}, {laptop}, {123, 0, 1119, 740}},                     // too tall: shrunk, centred
        {{50, 50, 1119, 600}, {{0, 30, 1366, 738}}, {50, 50, 1119, 600}},         // a panel above: still inside
        {{50, 10, 1119, 600}, {{0, 30, 1366, 738}}, {123, 99, 1119, 600}},        // under the panel: moved
        {{2000, 100, 1200, 800}, {laptop, second}, {2000, 100, 1200, 800}},       // on the second screen
        {{2000, 400, 1200, 800}, {laptop, second}, {1726, 125, 1200, 800}},       // past its bottom: centred there
        {{4000, 3000, 1200, 800}, {laptop}, {83, 0, 1200, 740}},                  // its monitor gone
        {{-900, 100, 1000, 600}, {laptop, second}, {183, 70, 1000, 600}},         // mostly off the left edge
        {{50, 50, 1119, 838}, {}, {50, 50, 1119, 838}},                           // no screen known
    };
    for (const Case& c : cases) {
        const Rect got = fitWindowRect(c.wanted, c.screens);
        EXPECT_EQ(got, c.expected) << c.wanted.left << "," << c.wanted.top << " -> " << got.left << "," << got.top << " "
                                   << got.width << "x" << got.height;
    }
}

TEST_F(ShellTest, ThePositionIsKeptAndAStartOnAnotherScreenStillFits) {
    w.setWindowPosition(300, 120);
    w.setWindowSize(900, 640);
    w.requestClose();
    ASSERT_TRUE(w.closed);
    LaterRun same(dir, clock);
    EXPECT_EQ(same.w.windowGeometry(), (Rect{300, 120, 900, 640}));
    // The next start on a smaller screen: moved and shrunk onto it.
    setReadOnly(settingsPath(), false);
    LaterRun small(dir, clock, [](FakeWindow& v) { v.screen = {0, 0, 1024, 570}; });
    EXPECT_EQ(small.w.windowGeometry(), (Rect{62, 0, 900, 570}));
}

TEST_F(ShellTest, AStoredPointsValueOfAnyBytesStartsWithADefinedTotal) {
    const std::pair<std::string, std::int32_t> cases[] = {
        {"hex:zz", 0}, {"", 0}, {std::string("\x01\xFF\x00\x7F", 4), 0}, {"hex:D5F809", 100},
        {escapePointsValue(encryptText("99999999999", keyPrefix)), INT32_MAX}};
    for (const auto& [stored, total] : cases) {
        // Written raw, as a hand or another program might leave the file.
        std::string content = readBytes(settingsPath());
        content += "[" + ini(u8"运行情况") + "]\r\n" + ini(u8"运行") + "=" + stored + "\r\n";
        TempDir d;
        writeBytes(d.file("setting.ini"), content);
        LaterRun run(d, clock);
        EXPECT_EQ(run.app->pointsTotal(), total);
        EXPECT_EQ(run.w.text(Unit::积分显示), ini(u8"当前积分： ") + decimal(total));
    }
}

TEST_F(ShellTest, LayoutFollowsEveryResize) {
    w.setWindowSize(1301, 901);
    auto at = [&](Unit u) { return w.geometry(u); };
    EXPECT_EQ(at(Unit::编辑框1), (Rect{0, 64, 1301, 816}));
    EXPECT_EQ(at(Unit::标题栏).width, 1213);
    EXPECT_EQ(at(Unit::状态条1).top, 901 - 24);
    EXPECT_EQ(at(Unit::wav播放器).left, 1301 - 470 - 20);  // the body's scroll bar stays free
    EXPECT_EQ(at(Unit::wav播放器).top, 901 - 24 - 58);
    EXPECT_EQ(w.statusPartWidth(2), 941);
    EXPECT_EQ(at(Unit::关于).left, 354);  // 650.5 - 296, truncated
    EXPECT_EQ(at(Unit::关于).top, 266);   // 450.5 - 184, truncated
    EXPECT_EQ(at(Unit::背景).width, 1301);
    EXPECT_EQ(at(Unit::关闭按钮).left, 1276);
    // The title row: the field stretches, the button and the record glyph keep to the right.
    EXPECT_EQ(at(Unit::章节名称), (Rect{104, 36, 1301 - 255, 24}));
    EXPECT_EQ(at(Unit::开始书写按钮).left, 1301 - 148);
    EXPECT_EQ(at(Unit::录音按钮).left, 1301 - 56);
    EXPECT_EQ(at(Unit::最小化按钮1).left, 1252);
    EXPECT_EQ(at(Unit::上调节器), (Rect{8, -8, 1301, 5}));
    EXPECT_EQ(at(Unit::左侧调节器), (Rect{0, 24, 5, 901}));
    EXPECT_EQ(at(Unit::左下调节器), (Rect{0, 893, 8, 8}));
    EXPECT_EQ(at(Unit::下调节器), (Rect{16, 896, 1301, 5}));
    EXPECT_EQ(at(Unit::右下调节器), (Rect{1293, 893, 8, 8}));
    EXPECT_EQ(at(Unit::右上调节器), (Rect{1293, 0, 8, 8}));
    EXPECT_EQ(at(Unit::右调节器), (Rect{1296, 0, 8, 901}));
    EXPECT_EQ(at(Unit::左上调节器), (Rect{0, 0, 8, 8}));
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"高度")), "901");
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"宽度")), "1301");

    // Hiding the status bar gives the body the 20 pixels back at once.
    w.click(Unit::状态栏选择);
    EXPECT_FALSE(w.visible(Unit::状态条1));
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"状态栏")), ini(u8"隐藏"));
    EXPECT_EQ(at(Unit::编辑框1).height, 836);
    w.click(Unit::状态栏选择);
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"状态栏")), ini(u8"显示"));
    EXPECT_EQ(at(Unit::编辑框1).height, 816);
}

TEST_F(ShellTest, ClosingWithoutASessionLocksTheSettingsAndRemovesTheTray) {
    w.trigger(Unit::退出);
    EXPECT_TRUE(w.closed);
    EXPECT_FALSE(w.trayShown);
    EXPECT_EQ(modeOf(settingsPath()) & 0222, 0u);
    EXPECT_TRUE(w.saveDialogs.empty());
}

TEST_F(ShellTest, ClosingCompareTheBodyWithItsFileBeforeTheExitSave) {
    // Never saved: the save flow runs; cancelling it keeps the window and the text.
    startWithTitle(u8"第一章");
    w.typeText(Unit::编辑框1, u8"正文");
    w.dialogResults = {std::nullopt};
    EXPECT_FALSE(w.userCloses());
    EXPECT_EQ(w.saveDialogs.size(), 1u);
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"第一章\r\n正文"));
    EXPECT_TRUE(w.trayShown);
    EXPECT_NE(modeOf(settingsPath()) & S_IWUSR, 0u);

    // A save that fails keeps the window too.
    w.dialogResults = {dir.file("no-such-folder/a.txt")};
    EXPECT_FALSE(w.userCloses());
    expectWriting();

    // Saved as .txt: equal text closes without asking; changed text asks.
    w.dialogResults = {dir.file("a.txt")};
    w.click(Unit::开始书写按钮);
    w.dialogResults = {dir.file("a.txt")};
    w.trigger(Unit::打开文件);
    w.answers = {Answer::Cancel};
    w.typeText(Unit::编辑框1, u8"！");
    EXPECT_FALSE(w.userCloses());
    EXPECT_EQ(w.lastMessage(), u8(u8"覆盖原文件保存么？\r\n是：覆盖原文件 否：选择其他位置 取消：放弃保存\r\n如果想清空正在编辑的文件可以点击F12"));
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    w.dialogResults = {dir.file("a.txt")};
    w.trigger(Unit::打开文件);
    const std::size_t asked = w.messages.size();
    EXPECT_TRUE(w.userCloses());
    EXPECT_EQ(w.messages.size(), asked);
}

TEST_F(ShellTest, ClosingAnEncryptedDocumentComparesTheCipherBytes) {
    writeBytes(dir.file("d.tlr"), encryptText(g(u8"秘密"), documentKeyText("pw")));
    w.dialogResults = {dir.file("d.tlr")};
    w.passwordResults = {Text("pw")};
    w.trigger(Unit::打开文件);
    ASSERT_EQ(w.text(Unit::编辑框1), g(u8"秘密"));
    w.typeText(Unit::编辑框1, u8"。");
    w.answers = {Answer::Cancel};
    EXPECT_FALSE(w.userCloses());
    EXPECT_EQ(w.messages.size(), 1u);
    // Back to the stored text: nothing to save, the window closes.
    w.setText(Unit::编辑框1, g(u8"秘密"));
    EXPECT_TRUE(w.userCloses());
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST_F(ShellTest, ClosingInDiaryModeRestoresTheThemeAndRecordsTheDiaryDay) {
    w.chooseColour(Unit::颜色, 0xCCDDEE);
    w.choose(Unit::文本颜色, 1);
    w.click(Unit::保存设置);
    // A diary, its colours changed further: leaving it brings back the stored ones.
    w.trigger(Unit::新建日记);
    ASSERT_FALSE(w.enabled(Unit::颜色));
    w.setBackgroundColour(Unit::颜色, 0xEEEEEE);
    w.setWindowBackground(0xEEEEEE);
    w.setTextColour(Unit::章节名称提示, 0x123456);

    // With an unsaved diary and the save cancelled, nothing of diary mode changes.
    w.dialogResults = {std::nullopt};
    EXPECT_FALSE(w.userCloses());
    EXPECT_FALSE(w.enabled(Unit::颜色));
    EXPECT_EQ(file().read(ini(u8"日记"), ini(u8"最后一次日记")), "");

    w.answers = {Answer::OK, Answer::OK};
    w.click(Unit::放弃编辑);
    EXPECT_TRUE(w.userCloses());
    EXPECT_TRUE(w.enabled(Unit::颜色));
    EXPECT_EQ(w.backgroundColour(Unit::颜色), 0xCCDDEEu);
    EXPECT_EQ(w.windowBackground(), 0xCCDDEEu);
    EXPECT_EQ(w.timerInterval(Unit::时钟1), 7500);
    EXPECT_EQ(file().read(ini(u8"日记"), ini(u8"最后一次日记")), "201611");
    EXPECT_EQ(w.textColour(Unit::编辑框1), kBlack);
    EXPECT_EQ(w.textColour(Unit::章节名称提示), kBlack);
}

TEST_F(ShellTest, TrayIconAndChrome) {
    w.setWindowState(WindowState::Minimised);
    w.setWindowVisible(false);
    w.trayEvent(2);
    EXPECT_EQ(w.windowState(), WindowState::Minimised);
    w.trayEvent(1);
    EXPECT_TRUE(w.windowVisible());
    EXPECT_EQ(w.windowState(), WindowState::Normal);
    EXPECT_EQ(w.broughtToTop, 1);  // raised once, not left on top
    EXPECT_FALSE(w.alwaysOnTop);
    w.trayEvent(3);
    EXPECT_EQ(w.poppedMenus, std::vector<Unit>{Unit::开始});

    w.doubleClick(Unit::标题栏);
    EXPECT_EQ(w.windowState(), WindowState::Maximised);
    w.doubleClick(Unit::标题栏);
    EXPECT_EQ(w.windowState(), WindowState::Normal);
    w.mouseDown(Unit::最小化按钮1);
    w.doubleClick(Unit::标题栏);
    EXPECT_EQ(w.windowState(), WindowState::Maximised);

    for (Unit u : {Unit::左侧调节器, Unit::右调节器, Unit::上调节器, Unit::左上调节器, Unit::右上调节器, Unit::下调节器,
                   Unit::左下调节器, Unit::右下调节器})
        w.mouseDown(u);
    EXPECT_EQ(w.resizeLoops, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8}));

    // A desktop without a notification area: the program starts without the icon.
    TempDir other;
    LaterRun run(other, clock, [](FakeWindow& v) { v.hasTray = false; });
    EXPECT_FALSE(run.w.trayShown);
    EXPECT_TRUE(run.w.userCloses());
}

TEST_F(ShellTest, EachButtonStyleHasTheColoursOfItsTable) {
    struct Expected {
        Colour titleBackground, titleText;
        ColourPair a, b, c;
    };
    // Body: white text on the background 0x101010 chosen below.
    const Expected styles[] = {
        {0xECECEC, 0x000000, {0xFFFFFF, 0xC06000}, {0xFFFFFF, 0xFF8800}, {0xFFFFFF, 0xC06000}},
        {0xFFFF00, 0x000000, {0xFFFFFF, 0xFFA8FF}, {0xFFFFFF, 0xC080FF}, {0xFFFFFF, 0xFFA8FF}},
        {0x000000, 0xFFFFFF, {0xFFFFFF, 0x000000}, {0xFFFFFF, 0x000000}, {0xFFFFFF, 0x000000}},
        {0xFFFFFF, 0x000000, {0x000000, 0xFFFFFF}, {0x000000, 0xFFFFFF}, {0x000000, 0xFFFFFF}},
        {0x101010, 0xFFFFFF, {0xFFFFFF, 0x101010}, {0xFFFFFF, 0x101010}, {0xFFFFFF, 0x101010}},
        {0x0000FF, 0xFFFFFF, {0xFFFFFF, 0x0080FF}, {0xFFFFFF, 0x0080FF}, {0xFFFFFF, 0x0080FF}},
        {0xFFFFFF, 0x000000, {0xFFFFFF, 0x0060C0}, {0xFFFFFF, 0x0060C0}, {0xFFFFFF, 0x0060C0}},
    };
    w.chooseColour(Unit::颜色, 0x101010);
    for (int s = 0; s < 7; ++s) {
        w.setSelection(Unit::按钮类型, s);
        app->applyBackgroundColour();
        const Expected& e = styles[s];
        const auto designed = designedButtonStyle(s, w.textColour(Unit::编辑框1), w.backgroundColour(Unit::编辑框1));
        ASSERT_TRUE(designed);
        EXPECT_EQ(*designed, (ButtonStyle{e.titleBackground, e.titleText, {e.a, e.b, e.c}})) << s;
        // Applied, each text is the designed one where it reads on its face, else black or white.
        EXPECT_EQ(w.backgroundColour(Unit::章节名称), e.titleBackground) << s;
        EXPECT_EQ(w.textColour(Unit::章节名称), readableOn(e.titleBackground, e.titleText)) << s;
        for (std::size_t i = 0; i < 3; ++i) {
            const ColourPair shown = w.buttonColours(Unit::开始书写按钮)[i];
            EXPECT_EQ(shown.face, designed->pairs[i].face) << s;
            EXPECT_GE(contrastRatio(shown.text, shown.face), kReadableContrast) << s;
            if (contrastRatio(designed->pairs[i].text, shown.face) >= kReadableContrast) {
                EXPECT_EQ(shown.text, designed->pairs[i].text) << s;
            }
        }
    }
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"新手4")), ini(u8"真"));  // style 5 was applied
    // Style 4 follows the body: a new background is taken at once.
    w.setSelection(Unit::按钮类型, 4);
    w.chooseColour(Unit::颜色, 0x445566);
    EXPECT_EQ(w.backgroundColour(Unit::章节名称), 0x445566u);
    EXPECT_EQ(w.buttonColours(Unit::开始书写按钮)[1], (ColourPair{kWhite, 0x445566}));
    // Style choices take effect by the next save of the settings.
    w.setSelection(Unit::按钮类型, 99);
    app->saveSettings();
    EXPECT_EQ(w.backgroundColour(Unit::章节名称), 0x445566u);
}

TEST_F(ShellTest, PricedChoicesAreCheckedAtTheirBounds) {
    const Text refuse88 = g(u8"失败！本功能需要88积分");
    {
        auto run = runWithPoints(87);
        run->w.choose(Unit::按钮类型, 5);
        EXPECT_EQ(run->w.messages.size(), 1u);
        EXPECT_EQ(run->w.messages[0].text, refuse88);
        EXPECT_EQ(run->w.messages[0].caption, g(u8"Talery"));
        EXPECT_EQ(run->w.selection(Unit::按钮类型), 0);
        EXPECT_EQ(run->w.backgroundColour(Unit::颜色), 0u);
        // 180 for the first top image; the second is free.
        run->w.choose(Unit::顶图类型, 1);
        EXPECT_EQ(run->w.lastMessage(), u8(u8"失败！本功能需要180积分"));
        EXPECT_EQ(run->w.selection(Unit::顶图类型), 0);
        run->w.answers = {Answer::No};
        run->w.choose(Unit::顶图类型, 2);
        EXPECT_EQ(run->w.lastMessage(), u8(u8"是否使用推荐背景颜色？"));
        EXPECT_EQ(run->w.selection(Unit::顶图类型), 2);
        run->w.choose(Unit::按钮类型, 4);
        EXPECT_EQ(run->w.lastMessage(), u8(u8"失败！本功能需要500积分"));
    }
    {
        auto run = runWithPoints(88);
        run->w.answers = {Answer::Yes};
        run->w.choose(Unit::按钮类型, 5);
        EXPECT_EQ(run->w.messages.back().text, g(u8"是否使用推荐背景颜色？"));
        EXPECT_EQ(run->w.messages.back().buttons, Buttons::YesNo);
        EXPECT_EQ(run->w.selection(Unit::按钮类型), 5);
        EXPECT_EQ(run->w.backgroundColour(Unit::颜色), 0x0000FFu);
        EXPECT_EQ(run->w.windowBackground(), 0x0000FFu);
        EXPECT_EQ(run->w.backgroundColour(Unit::章节名称), 0x0000FFu);
        // Nothing reaches the file before the panel is confirmed.
        EXPECT_EQ(file().read(ini(u8"文本设置"), ini(u8"背景颜色")), "0");
        run->w.choose(Unit::按钮类型, 3);  // 58: accepted, nothing asked
        EXPECT_EQ(run->w.messages.size(), 1u);
        // The top image's recommendation: black background with white text.
        run->w.choose(Unit::文本颜色, 1);
        run->w.answers = {Answer::Yes};
        run->w.choose(Unit::顶图类型, 2);
        EXPECT_EQ(run->w.backgroundColour(Unit::颜色), 0u);
        EXPECT_EQ(run->w.selection(Unit::文本颜色), 0);
        EXPECT_EQ(run->w.textColour(Unit::编辑框1), kWhite);
        run->w.click(Unit::保存设置);
        EXPECT_TRUE(run->w.visible(Unit::背景));
        EXPECT_EQ(run->w.picture(Unit::背景), Picture::TopImage2);
        EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"顶图类型")), "2");
    }
    {
        // Below zero even the free items are refused, and every start says so.
        auto run = runWithPoints(-1);
        ASSERT_EQ(run->w.messages.size(), 1u);
        EXPECT_EQ(run->w.messages[0].text, g(u8"失败！本功能需要0积分"));
        for (int free : {1, 6}) {
            run->w.choose(Unit::按钮类型, free);
            EXPECT_EQ(run->w.lastMessage(), u8(u8"失败！本功能需要0积分"));
            EXPECT_EQ(run->w.selection(Unit::按钮类型), 0);
        }
        const Colour before = run->w.textColour(Unit::编辑框1);
        run->w.choose(Unit::文本颜色, 1);
        EXPECT_EQ(run->w.lastMessage(), u8(u8"失败！本功能需要0积分"));
        EXPECT_EQ(run->w.selection(Unit::文本颜色), 0);
        EXPECT_EQ(run->w.textColour(Unit::编辑框1), before);
    }
}

TEST_F(ShellTest, SettingsPageSwitches) {
    w.chooseColour(Unit::颜色, kWhite);  // black reads on it
    w.choose(Unit::文本颜色, 1);
    for (Unit u : {Unit::编辑框1, Unit::章节名称提示, Unit::最小化按钮1, Unit::关闭按钮, Unit::标题栏})
        EXPECT_EQ(w.textColour(u), kBlack);
    EXPECT_EQ(app->themeColours().text, kBlack);

    w.click(Unit::大字体);
    EXPECT_EQ(w.fontSize(Unit::编辑框1), 25);
    EXPECT_EQ(w.lastMessage(), u8(u8"已经切换到大字体模式。"));
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"新手2")), ini(u8"真"));
    w.click(Unit::大字体);
    EXPECT_EQ(w.fontSize(Unit::编辑框1), 16);
    EXPECT_EQ(w.lastMessage(), u8(u8"关闭成功"));

    w.click(Unit::自动保存);  // design state is checked
    EXPECT_EQ(w.lastMessage(), u8(u8"关闭成功"));
    w.click(Unit::自动保存);
    EXPECT_EQ(w.lastMessage(), u8(u8"使用自动备份保存后文本会逐字自动保存到软件所在目录。"));

    w.click(Unit::透明化选择);
    EXPECT_EQ(w.alpha, 220);
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"透明化")), ini(u8"真"));
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"新手3")), ini(u8"真"));
    w.click(Unit::透明化选择);
    EXPECT_EQ(w.alpha, 255);
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"透明化")), ini(u8"假"));
    for (const MessageRecord& m : w.messages) EXPECT_EQ(m.caption, g(u8"Talery"));
}

TEST(Tips, DrawsFromTheSharedSequenceAndGuardsEmptyStores) {
    FakeWindow w;
    SharedRandom random;
    w.setText(Unit::中国地理历史, "a\r\nb\r\nc");
    w.setSelection(Unit::提示类型, 0);
    showNextTip(w, random);  // draw 41: 41 mod 3 + 1 = line 3
    EXPECT_EQ(w.statusText(2), g(u8"小提示：") + "c");
    showNextTip(w, random);  // draw 18467: line 3 again, drawn with replacement
    EXPECT_EQ(w.statusText(2), g(u8"小提示：") + "c");
    w.setSelection(Unit::提示类型, 1);
    w.setText(Unit::励志名言警句, "x\r\ny");
    showNextTip(w, random);  // draw 6334: line 1
    EXPECT_EQ(w.statusText(2), g(u8"小提示：") + "x");

    // An empty store counts one line but has none: the part keeps its text.
    w.setText(Unit::励志名言警句, "");
    w.setStatusText(2, "kept");
    showNextTip(w, random);
    EXPECT_EQ(w.statusText(2), "kept");

    w.setSelection(Unit::提示类型, 2);
    w.user = g(u8"张三");
    showNextTip(w, random);
    EXPECT_EQ(w.statusText(2), g(u8"本软件由张三与Moorlander共同打造"));
    w.user = std::nullopt;
    showNextTip(w, random);
    EXPECT_EQ(w.statusText(2), g(u8"本软件由与Moorlander共同打造"));
    w.user = Text(50, 'n');  // does not fit the 50-byte buffer with its end
    showNextTip(w, random);
    EXPECT_EQ(w.statusText(2), g(u8"本软件由与Moorlander共同打造"));
    w.setSelection(Unit::提示类型, 3);
    showNextTip(w, random);
    EXPECT_EQ(w.statusText(2), g(u8"本软件由与Moorlander共同打造"));
}

TEST(Tips, ShippedStoresHaveTheirLineCounts) {
    for (auto [resource, lines] : {std::pair{Resource::GeographyHistory, 291}, std::pair{Resource::Quotes, 142}}) {
        const Text store = gbk(resourceText(resource));
        EXPECT_EQ(storeLineCount(store), lines);
        EXPECT_FALSE(store.ends_with("\n"));
        std::size_t bareFeeds = 0;
        for (std::size_t i = 0; i < store.size(); ++i) bareFeeds += store[i] == '\n' && (i == 0 || store[i - 1] != '\r');
        EXPECT_EQ(bareFeeds, 0u);
        EXPECT_TRUE(storeLine(store, lines).has_value());
    }
}

TEST_F(ShellTest, TipsTimerShowsTheNextTip) {
    w.setStatusText(2, "old");
    w.tick(Unit::时钟1);
    EXPECT_EQ(w.statusText(2), g(u8"小提示：") + *storeLine(w.text(Unit::中国地理历史), 224));  // third draw, 6334
    w.setTimerInterval(Unit::时钟1, 0);
    w.setStatusText(2, "old");
    w.tick(Unit::时钟1);
    EXPECT_EQ(w.statusText(2), "old");
}

TEST_F(ShellTest, InformationPanel) {
    int refreshes = 0, names = 0;
    app->panelHooks().refreshTasks = [&] { ++refreshes; };
    app->panelHooks().freshNames = [&] { ++names; };
    w.setSelection(Unit::高级选择夹1, 4);
    w.trigger(Unit::设置);
    EXPECT_TRUE(w.visible(Unit::关于));
    EXPECT_EQ(w.selection(Unit::高级选择夹1), 0);
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(names, 1);
    w.trigger(Unit::设置);
    EXPECT_FALSE(w.visible(Unit::关于));
    EXPECT_EQ(refreshes, 1);
    EXPECT_EQ(names, 2);

    w.mouseDown(Unit::状态条1);
    EXPECT_TRUE(w.visible(Unit::关于));
    EXPECT_EQ(w.selection(Unit::高级选择夹1), 1);
    EXPECT_EQ(refreshes, 1);
    w.mouseDown(Unit::透明标签1);
    EXPECT_FALSE(w.visible(Unit::关于));

    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"新手1")), "");
    w.turnPage(Unit::高级选择夹1, 2);
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"新手1")), "");
    w.turnPage(Unit::高级选择夹1, 3);
    EXPECT_EQ(file().read(ini(u8"软件设置"), ini(u8"新手1")), ini(u8"真"));

    w.mouseDown(Unit::超级链接框2);
    EXPECT_EQ(w.lastMessage(), u8(u8"自动保存功能保存的文本在软件所在目录下\r\n") + dir.file("backup"));
    EXPECT_EQ(w.messages.back().caption, g(u8"Talery"));

    for (Unit u : {Unit::联系作者按钮, Unit::官方博客按钮, Unit::手写查字按钮, Unit::世界历史按钮, Unit::世界历史按钮1,
                   Unit::世界历史按钮2})
        w.click(u);
    ASSERT_EQ(w.openedUrls.size(), 5u);
    EXPECT_TRUE(w.openedUrls[0].starts_with("mailto:"));
    for (std::size_t i = 1; i < 5; ++i) EXPECT_TRUE(w.openedUrls[i].starts_with("https://")) << w.openedUrls[i];
    // Without a mail client or browser the click is not silent: the address is named.
    w.urlHandlerStarts = false;
    w.messages.clear();
    w.click(Unit::联系作者按钮);
    w.click(Unit::手写查字按钮);
    ASSERT_EQ(w.messages.size(), 2u);
    EXPECT_EQ(w.messageTexts()[0], u8(u8"没有找到可以启动的邮件程序。\r\n请手动打开：\r\n") + w.openedUrls[5]);
    EXPECT_EQ(w.messageTexts()[1], u8(u8"没有找到可以启动的浏览器。\r\n请手动打开：\r\n") + w.openedUrls[6]);
    w.urlHandlerStarts = true;

    w.trigger(Unit::设置);
    w.click(Unit::保存设置);
    EXPECT_FALSE(w.visible(Unit::关于));

    // With points below zero the names keep their text.
    auto run = runWithPoints(-1);
    int otherNames = 0;
    run->app->panelHooks().freshNames = [&] { ++otherNames; };
    run->w.trigger(Unit::设置);
    EXPECT_TRUE(run->w.visible(Unit::关于));
    EXPECT_EQ(otherNames, 0);
}

}  // namespace
}  // namespace talery::test
