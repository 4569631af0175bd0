// Diary mode through the fake window: entering it, and every way out (save,
// give-up, closing the window) with the colours, tips and day mark after it.

#include "app_fixture.h"

namespace talery {
namespace {

using namespace test;

const char8_t* kWelcome =
    u8"您已经进入了专属的写日记模式，在写日记模式中，您拥有以下功能：\r\n①靓丽的背景颜色（不能更换）\r\n"
    u8"②标题提示等各个地方优化\r\n③关闭可能会打扰到你的小提示和推荐";
constexpr Colour kOrange = 0x0080FF;  // red 255, green 128, blue 0

class DiaryTest : public AppTest {
protected:
    IniFile ini() { return IniFile(dir.file("setting.ini")); }
    Text diaryMark() { return ini().read(g(u8"日记"), g(u8"最后一次日记")); }

    void expectDiaryLook(bool on) {
        EXPECT_EQ(w.enabled(Unit::颜色), !on);
        EXPECT_EQ(app->diary().active(), on);
        EXPECT_EQ(w.timerInterval(Unit::时钟1), on ? 0 : 7500);
        if (on) {
            EXPECT_EQ(w.windowBackground(), kOrange);
            EXPECT_EQ(w.backgroundColour(Unit::编辑框1), kOrange);
            EXPECT_EQ(w.textColour(Unit::编辑框1), kWhite);
        }
    }
};

TEST(DiaryTitle, CountsWeekdaysFromSundayWithoutLeadingZeros) {
    EXPECT_EQ(diaryTitle({2016, 1, 3, 8, 0, 0}), gbk(u8"2016年1月3日星期日     by：Talery日记"));
    EXPECT_EQ(diaryTitle({2016, 1, 9, 23, 59, 59}), gbk(u8"2016年1月9日星期六     by：Talery日记"));
    EXPECT_EQ(diaryTitle({2015, 10, 7, 0, 0, 0}), gbk(u8"2015年10月7日星期三     by：Talery日记"));
}

TEST_F(DiaryTest, NewDiaryNeedsAnEmptyTitleAndStartsAnOrangeSessionUnderTheDate) {
    w.typeText(Unit::章节名称, u8"我的标题");
    w.trigger(Unit::新建日记);
    expectIdle();
    expectDiaryLook(false);
    EXPECT_EQ(w.text(Unit::章节名称), g(u8"我的标题"));
    EXPECT_EQ(w.messageTexts(), std::vector<std::string>{u8(u8"请清空章节名称直接点击写日记")});

    w.setText(Unit::章节名称, {});
    w.messages.clear();
    clock.set({2016, 1, 3, 21, 5, 0});
    w.trigger(Unit::新建日记);
    expectWriting(Phase::Diary);
    expectDiaryLook(true);
    const Text title = g(u8"2016年1月3日星期日     by：Talery日记");
    EXPECT_EQ(w.text(Unit::章节名称), title);
    EXPECT_EQ(w.text(Unit::章节名称提示), g(u8"日记时间："));
    EXPECT_EQ(w.text(Unit::编辑框1), title + "\r\n");
    EXPECT_EQ(w.bodySelection().start, title.size() + 2);
    EXPECT_EQ(w.statusText(2), g(u8"日记模式"));
    EXPECT_EQ(w.announced(), std::vector<Text>{g(u8"日记模式")});  // a screen reader hears it
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text, g(kWelcome));
    EXPECT_EQ(w.messages[0].caption, "Talery");
    EXPECT_TRUE(diaryMark().empty());

    // The background cannot be changed meanwhile.
    w.chooseColour(Unit::颜色, 0x123456);
    EXPECT_EQ(w.backgroundColour(Unit::颜色), 0u);
}

TEST_F(DiaryTest, SavingBringsBackTheStoredColoursAndMarksTheDay) {
    w.chooseColour(Unit::颜色, 0xC0C0C0);
    w.choose(Unit::文本颜色, 1);  // black
    w.click(Unit::保存设置);
    w.trigger(Unit::新建日记);
    w.typeText(Unit::编辑框1, u8"今天下雪了。");
    const Text body = w.text(Unit::编辑框1);

    // A cancelled save keeps the diary as it is.
    w.dialogResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    expectWriting(Phase::Diary);
    expectDiaryLook(true);
    EXPECT_TRUE(diaryMark().empty());

    w.dialogResults = {dir.file("d.txt")};
    w.click(Unit::开始书写按钮);
    expectIdle();
    expectDiaryLook(false);
    EXPECT_EQ(readBytes(dir.file("d.txt")), body);
    EXPECT_EQ(diaryMark(), "201611");
    EXPECT_EQ(w.backgroundColour(Unit::颜色), 0xC0C0C0u);
    EXPECT_EQ(w.windowBackground(), 0xC0C0C0u);
    EXPECT_EQ(w.backgroundColour(Unit::编辑框1), 0xC0C0C0u);
    EXPECT_EQ(w.textColour(Unit::编辑框1), kBlack);
    EXPECT_EQ(w.textColour(Unit::章节名称提示), kBlack);
    EXPECT_EQ(w.text(Unit::章节名称提示), g(u8"标题/题目："));
    EXPECT_NE(w.statusText(2), g(u8"日记模式"));  // saving the settings shows the next tip
}

TEST_F(DiaryTest, GivingUpClearsThePasswordAndStillMarksTheDay) {
    session().record().password = "pw";
    w.trigger(Unit::新建日记);
    w.answers = {Answer::OK, Answer::OK};
    w.click(Unit::放弃编辑);
    expectIdle();
    expectDiaryLook(false);
    EXPECT_TRUE(session().record().password.empty());
    EXPECT_EQ(diaryMark(), "201611");
    EXPECT_EQ(w.text(Unit::章节名称提示), g(u8"标题/题目："));
    EXPECT_EQ(w.textColour(Unit::编辑框1), kWhite);  // no stored text colour: selection 0
}

TEST_F(DiaryTest, ClosingSavesAndMarksTheDayAndACancelledSaveKeepsTheDiary) {
    w.trigger(Unit::新建日记);
    w.typeText(Unit::编辑框1, u8"晚安。");
    w.dialogResults = {std::nullopt};
    EXPECT_FALSE(w.userCloses());
    EXPECT_TRUE(diaryMark().empty());
    expectWriting(Phase::Diary);
    expectDiaryLook(true);

    w.dialogResults = {dir.file("night.txt")};
    EXPECT_TRUE(w.userCloses());
    EXPECT_EQ(diaryMark(), "201611");
    expectDiaryLook(false);
    EXPECT_EQ(readBytes(dir.file("night.txt")), g(u8"2016年1月1日星期五     by：Talery日记\r\n晚安。"));
}

TEST(DiaryHooks, EveryWayOutLeavesTheModeBeforeTheSettingsAreSaved) {
    TempDir dir;
    FakeWindow w;
    FixedClock clock({2016, 1, 1, 0, 0, 0});
    SettingsStore store(dir.path());
    std::vector<std::string> calls;
    DiaryMode* diaryOfSession = nullptr;
    SessionController session(w, clock, store,
                              {.leaveDiary = [&] { diaryOfSession->diaryEnded(); },
                               .saveSettings = [&] { diaryOfSession->saveSettings(); }});
    DiaryMode diary(w, clock, store, session,
                    {.applyBackgroundColour = [&] { calls.push_back(w.enabled(Unit::颜色) ? "apply" : "apply in diary"); },
                     .saveSettings = [&] { calls.push_back(w.enabled(Unit::颜色) ? "save" : "save in diary"); }});
    diaryOfSession = &diary;

    diary.enterDiaryMode();
    w.answers = {Answer::OK, Answer::OK};
    session.giveUpEditing();
    diary.enterDiaryMode();
    w.dialogResults = {dir.file("a.txt")};
    session.toggleWriting(false);
    EXPECT_EQ(calls, (std::vector<std::string>{"apply", "save", "apply", "save"}));

    // Outside diary mode leaving does nothing.
    diary.leaveDiaryMode();
    EXPECT_EQ(calls.size(), 4u);
}

}  // namespace
}  // namespace talery
