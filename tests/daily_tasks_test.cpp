// Daily tasks, points and titles on the fake window with a fixed day.
#include "app_fixture.h"
#include "core/cipher.h"
#include "tasks/daily_tasks.h"
#include "tasks/points.h"

#include <climits>
#include <filesystem>

namespace talery::test {
namespace {

constexpr LocalDateTime kWednesday{2016, 1, 6, 10, 0, 0};  // day stamp 201616
constexpr LocalDateTime kSaturday{2016, 1, 9, 10, 0, 0};   // day stamp 201619

// The ten labels, done and not done, in the order of the task table.
const char8_t* const kDone[] = {
    u8"勤劳蜜蜂 每天打开一次Talery√完成 +1积分",
    u8"超级粉丝 支持tlr文件，使用软件打开一个tlr文件√完成 +1积分",
    u8"声音天使 使用录音功能记录下你最美的声音把√完成 +1积分",
    u8"日记达人 每天写一篇日记√完成 +1积分",
    u8"日写千字 每天新建文本并写1000字√完成 +1积分",
    u8"日写万字 每天新建文本并写8000字√完成 +1积分",
    u8"写作狂人 每天新建文本并写20000字√完成 +2积分",
    u8"写作魔鬼 每天新建文本并写100000字√完成 +3积分",
    u8"新手任务 查看一次许可协议√完成 +1积分",
    u8"新手任务 体验一次大字体模式√完成 +1积分",
};
const char8_t* const kNotDone[] = {
    u8"勤劳蜜蜂 每天打开一次Talery×未完成 +1积分",
    u8"超级粉丝 支持tlr文件，使用软件打开一个tlr文件×未完成 +1积分",
    u8"声音天使 使用录音功能记录下你最美的声音把×未完成 +1积分",
    u8"日记达人 每天写一篇日记×未完成 +1积分",
    u8"日写千字 每天新建文本并写1000字×未完成 +1积分",
    u8"日写万字 每天新建文本并写8000字×未完成 +1积分",
    u8"写作狂人 每天新建文本并写20000字×未完成 +2积分",
    u8"写作魔鬼 每天新建文本并写100000字×未完成 +3积分",
    u8"新手任务 查看一次许可协议×未完成 +1积分",
    u8"新手任务 体验一次大字体模式×未完成 +1积分",
};

// The list as it should read: task numbers (1-based) in order, each done or not.
std::vector<Text> listOf(std::initializer_list<int> order, std::initializer_list<int> done) {
    std::vector<Text> out;
    for (int n : order) {
        const bool isDone = std::find(done.begin(), done.end(), n) != done.end();
        out.push_back(g(isDone ? kDone[n - 1] : kNotDone[n - 1]));
    }
    return out;
}

class DailyTasksTest : public AppTest {
protected:
    void SetUp() override {
        clock.set(kWednesday);
        AppTest::SetUp();
    }

    IniFile ini() const { return IniFile(dir / "setting.ini"); }
    void mark(std::u8string_view section, std::u8string_view key, std::u8string_view value) {
        markBytes(section, key, g(value));
    }
    void markBytes(std::u8string_view section, std::u8string_view key, const Text& value) {
        ASSERT_TRUE(ini().write(g(section), g(key), value));
    }
    Text stored(std::u8string_view section, std::u8string_view key) const { return ini().read(g(section), g(key)); }
    Text storedTotal() const { return stored(u8"运行情况", u8"运行"); }

    void restart() {
        app.reset();
        app = std::make_unique<Application>(w, clock, SettingsStore(dir.path()));
        app->start();
    }

    void refresh() { w.click(Unit::刷新任务按钮); }
    Text pointsShown() const { return w.text(Unit::积分显示); }
};

TEST(TaskTable, TitlesByBoundAndThePageAddress) {
    EXPECT_EQ(titleFor(0), g(u8"称号：积分菜鸟 Lv.1"));
    EXPECT_EQ(titleFor(99), g(u8"称号：积分菜鸟 Lv.1"));
    EXPECT_EQ(titleFor(100), g(u8"称号：积分新手 Lv.2"));
    EXPECT_EQ(titleFor(99999), g(u8"称号：写作王者 Lv.10"));
    EXPECT_EQ(titleFor(100000), g(u8"称号：写作帝王 Lv.MAX"));
    EXPECT_EQ(titleFor(INT_MAX), g(u8"称号：写作帝王 Lv.MAX"));
    EXPECT_EQ(titleFor(-1), std::nullopt);
    EXPECT_EQ(fileUrl(u8name(u8"/home/a b/称号#1.html")), "file:///home/a%20b/%E7%A7%B0%E5%8F%B7%231.html");
}

TEST_F(DailyTasksTest, FirstStartOnAWednesdayPaysTheDailyStartOnce) {
    EXPECT_EQ(w.text(Unit::称号显示), g(u8"称号"));
    refresh();
    EXPECT_EQ(app->pointsTotal(), 1);
    EXPECT_EQ(pointsShown(), g(u8"当前积分： 1"));
    EXPECT_EQ(w.text(Unit::称号显示), g(u8"称号：积分菜鸟 Lv.1"));
    EXPECT_EQ(w.listItems(Unit::超级列表框1), listOf({1, 4, 5, 6, 7, 8, 2, 3, 9, 10}, {1}));
    EXPECT_EQ(stored(u8"软件设置", u8"最后一登录"), "201616");
    EXPECT_EQ(storedTotal(), "hex:D5");

    // The same day again: shown as done, nothing more.
    refresh();
    EXPECT_EQ(app->pointsTotal(), 1);
    EXPECT_EQ(w.listItems(Unit::超级列表框1).size(), 10u);
    restart();
    refresh();
    EXPECT_EQ(app->pointsTotal(), 1);
    EXPECT_EQ(pointsShown(), g(u8"当前积分： 1"));
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(DailyTasksTest, EveryTaskDoneOnASaturdayPaysFiveTimesButBeginnerTasksOnceForEver) {
    clock.set(kSaturday);
    restart();
    for (auto key : {u8"tlr使用", u8"录音", u8"1000字", u8"8000字", u8"20000字", u8"100000字"})
        mark(u8"软件设置", key, u8"201619");
    mark(u8"日记", u8"最后一次日记", u8"201619");
    mark(u8"软件设置", u8"新手1", u8"真");
    mark(u8"软件设置", u8"新手2", u8"真");
    refresh();
    EXPECT_EQ(w.listItems(Unit::超级列表框1), listOf({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(app->pointsTotal(), 5 * (1 + 1 + 1 + 1 + 1 + 1 + 2 + 3) + 1 + 1);
    EXPECT_EQ(loadPoints(ini()), 57);
    EXPECT_EQ(stored(u8"日记", u8"最后一日记"), "201619");
    EXPECT_EQ(stored(u8"软件设置", u8"新2"), g(u8"真"));

    // The licence page viewed again, a week later: the beginner tasks pay nothing more.
    clock.set({2016, 1, 16, 10, 0, 0});
    restart();
    mark(u8"软件设置", u8"新手1", u8"真");
    refresh();
    EXPECT_EQ(app->pointsTotal(), 57 + 5);  // only the start, on this Saturday
    EXPECT_EQ(w.listItems(Unit::超级列表框1), listOf({1, 4, 5, 6, 7, 8, 2, 3, 9, 10}, {1, 9, 10}));
}

// The statistics mark the thresholds the day's text passed: 20001 characters
// mark 1000, 8000 and 20000; exactly 20000 only 1000 and 8000.
TEST_F(DailyTasksTest, CharacterCountMarksPayByThreshold) {
    struct Case {
        LocalDateTime day;
        std::vector<const char8_t*> marks;
        int paid;  // including the start
    };
    const Case cases[] = {
        {kWednesday, {u8"1000字", u8"8000字", u8"20000字"}, 1 + 1 + 1 + 2},
        {kSaturday, {u8"1000字", u8"8000字", u8"20000字"}, 5 + 5 + 5 + 10},
        {kWednesday, {u8"1000字", u8"8000字"}, 1 + 1 + 1},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(dir / "setting.ini");
        clock.set(c.day);
        restart();
        for (auto key : c.marks) markBytes(u8"软件设置", key, dateStamp(c.day));
        refresh();
        EXPECT_EQ(app->pointsTotal(), c.paid) << c.paid;
        const auto items = w.listItems(Unit::超级列表框1);
        const Text task8 = c.marks.size() == 3 ? g(kNotDone[7]) : g(kNotDone[6]);
        EXPECT_NE(std::find(items.begin(), items.end(), task8), items.end());
    }
}

TEST_F(DailyTasksTest, DateChangeWhileRunningShowsTheStartAsNotDoneUntilTheNextStart) {
    clock.set({2016, 1, 6, 23, 59, 0});
    restart();
    mark(u8"软件设置", u8"tlr使用", u8"201616");
    refresh();
    EXPECT_EQ(app->pointsTotal(), 2);

    clock.set({2016, 1, 7, 0, 1, 0});
    refresh();
    EXPECT_EQ(app->pointsTotal(), 2);
    EXPECT_EQ(w.listItems(Unit::超级列表框1), listOf({1, 4, 5, 6, 7, 8, 2, 3, 9, 10}, {}));

    restart();
    refresh();
    EXPECT_EQ(app->pointsTotal(), 3);
    EXPECT_EQ(stored(u8"软件设置", u8"最后一登录"), "201617");
}

TEST_F(DailyTasksTest, UnreadableStoredTotalsReadAsZeroAndAreOverwritten) {
    for (const char* bad : {"hex:D5F", "hex:ZZ", "1000", "abc"}) {
        std::filesystem::remove(dir / "setting.ini");
        markBytes(u8"运行情况", u8"运行", bad);
        restart();
        EXPECT_EQ(app->pointsTotal(), 0) << bad;
        refresh();
        EXPECT_EQ(storedTotal(), "hex:D5") << bad;
    }
}

TEST_F(DailyTasksTest, TotalsNearTheTopSaturateAndNegativeTotalsShowNoTitle) {
    clock.set(kSaturday);
    ASSERT_TRUE(storePoints(ini(), INT_MAX - 2));
    restart();
    refresh();
    EXPECT_EQ(app->pointsTotal(), INT_MAX);
    EXPECT_EQ(storedTotal(), "hex:D6F90D47934C3DA6A795");
    EXPECT_EQ(pointsShown(), g(u8"当前积分： 2147483647"));

    // A negative total sets no title.
    std::filesystem::remove(dir / "setting.ini");
    ASSERT_TRUE(storePoints(ini(), -5));
    mark(u8"软件设置", u8"最后一登录", u8"201619");
    restart();
    w.setText(Unit::称号显示, g(u8"称号"));
    refresh();
    EXPECT_EQ(app->pointsTotal(), -5);
    EXPECT_EQ(w.text(Unit::称号显示), g(u8"称号"));
}

TEST_F(DailyTasksTest, ASettingsFileThatCannotBeWrittenPaysNothingUntilItCan) {
    mark(u8"软件设置", u8"新手1", u8"真");
    const std::string before = readBytes(dir / "setting.ini");
    ASSERT_TRUE(setReadOnly(dir / "setting.ini", true));
    refresh();
    refresh();
    EXPECT_EQ(w.listItems(Unit::超级列表框1), listOf({1, 4, 5, 6, 7, 8, 2, 3, 9, 10}, {1, 9}));
    EXPECT_EQ(app->pointsTotal(), 0);
    EXPECT_EQ(pointsShown(), g(u8"当前积分： 0"));
    EXPECT_EQ(readBytes(dir / "setting.ini"), before);
    EXPECT_TRUE(w.messages.empty());

    ASSERT_TRUE(setReadOnly(dir / "setting.ini", false));
    refresh();
    refresh();
    EXPECT_EQ(app->pointsTotal(), 2);
    EXPECT_EQ(loadPoints(ini()), 2);
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(DailyTasksTest, ASettingsFileThatCannotBeReadShowsNothingDone) {
    std::filesystem::remove(dir / "setting.ini");
    std::filesystem::create_directory(dir / "setting.ini");
    refresh();
    EXPECT_EQ(w.listItems(Unit::超级列表框1), listOf({1, 4, 5, 6, 7, 8, 2, 3, 9, 10}, {}));
    EXPECT_EQ(app->pointsTotal(), 0);
    EXPECT_EQ(w.text(Unit::称号显示), g(u8"称号：积分菜鸟 Lv.1"));
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(DailyTasksTest, OpeningAnEncryptedDocumentEarnsTheFanTask) {
    writeBytes(dir / "s.tlr", encryptText(g(u8"第一章"), documentKeyText("pw")));
    w.passwordResults = {Text("pw")};
    w.dialogResults = {dir / "s.tlr"};
    w.trigger(Unit::打开文件);
    refresh();
    EXPECT_EQ(app->pointsTotal(), 2);
    EXPECT_EQ(w.listItems(Unit::超级列表框1), listOf({1, 4, 5, 6, 7, 8, 2, 3, 9, 10}, {1, 2}));
}

TEST_F(DailyTasksTest, TheExplanationPageListsEveryTitleAndTask) {
    w.click(Unit::称号说明按钮);
    ASSERT_EQ(w.openedUrls.size(), 1u);
    EXPECT_EQ(w.openedUrls[0], fileUrl(dir / "titles.html"));
    EXPECT_EQ(w.statusText(2), g(u8"称号说明页已写入：") + dir / "titles.html");
    const std::string page = readBytes(dir / "titles.html");
    for (auto text : {u8"积分菜鸟 Lv.1</td><td class=\"n\">0<", u8"积分新手 Lv.2</td><td class=\"n\">100<",
                      u8"写作王者 Lv.10</td><td class=\"n\">10000<", u8"写作帝王 Lv.MAX</td><td class=\"n\">100000<",
                      u8"写作魔鬼</td><td>每天新建文本并写100000字</td><td class=\"n\">3</td><td class=\"n\">15<",
                      u8"体验一次大字体模式", u8"星期六领取五倍积分"})
        EXPECT_NE(page.find(u8name(text)), std::string::npos) << u8name(text);

    // A page that cannot be written is said so once; no browser opens.
    std::filesystem::remove(dir / "titles.html");
    std::filesystem::create_directory(dir / "titles.html");
    w.click(Unit::称号说明按钮);
    EXPECT_EQ(w.openedUrls.size(), 1u);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text.find(g(u8"无法写出称号说明页：")), 0u);
}

}  // namespace
}  // namespace talery::test
