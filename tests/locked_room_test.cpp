// The locked room on the fake window: entering, the ways out that ask twice,
// the goal reached by characters and by minutes, and the escape phrase.

#include "app_fixture.h"

namespace talery::test {
namespace {

class LockedRoomTest : public AppTest {
protected:
    void enter(WritingGoal goal) {
        w.goalResults.push_back(goal);
        w.trigger(Unit::小黑屋);
        ASSERT_TRUE(app->lockedRoom().inside());
    }
    std::string strip() const { return gbkToUtf8Lossy(w.text(Unit::标题栏)); }
    Text storedHeight() const {
        return SettingsStore(dir.path()).program().read(softwareSection(), g(u8"高度"));
    }
};

TEST_F(LockedRoomTest, InsideEveryWayOutAsksTwiceAndTheWindowStaysFullScreen) {
    w.trigger(Unit::小黑屋);
    EXPECT_EQ(w.lastMessage(), u8(u8"开始书写后再进入小黑屋吧。"));
    EXPECT_TRUE(w.goalDialogs.empty());
    startWithTitle(u8"第一章");
    w.goalResults.push_back(std::nullopt);  // Esc at the goal dialog
    w.trigger(Unit::小黑屋);
    EXPECT_FALSE(app->lockedRoom().inside() || w.fullScreen());
    EXPECT_EQ(w.goalDialogs.back(), (WritingGoal{GoalUnit::Characters, 2000}));

    const Rect frame = w.windowGeometry();
    const Text caption = w.text(Unit::标题栏);
    const Text height = storedHeight();
    w.trigger(Unit::设置);
    ASSERT_TRUE(w.visible(Unit::关于));
    enter({GoalUnit::Characters, 10});
    EXPECT_TRUE(w.fullScreen());
    EXPECT_EQ(w.windowGeometry(), w.screen);
    EXPECT_FALSE(w.visible(Unit::关于));
    EXPECT_EQ(storedHeight(), height);  // the full screen is not the writer's size
    EXPECT_EQ(strip(), u8(u8"小黑屋　还差 10 字　｜　立即离开：在正文中输入“我要离开小黑屋”"));

    // Held back without a word: the panel, minimising, maximising, moving.
    w.trigger(Unit::设置);
    w.mouseDown(Unit::状态条1);
    w.mouseDown(Unit::最小化按钮1);
    w.doubleClick(Unit::标题栏);
    w.mouseDown(Unit::标题栏);
    EXPECT_FALSE(w.visible(Unit::关于));
    EXPECT_EQ(w.windowState(), WindowState::Normal);
    EXPECT_EQ(w.moveLoops, 0);

    // Each way out: 否 at the first question, then 是 and 否.
    const std::function<void()> waysOut[] = {
        [&] { w.requestClose(); },
        [&] { w.mouseDown(Unit::关闭按钮); },
        [&] { w.click(Unit::放弃编辑); },
        [&] { w.pressKey(Unit::编辑框1, key::F12); },
        [&] { w.trigger(Unit::新建临时文本); },
        [&] { w.trigger(Unit::清空正在编辑); },
        [&] { w.click(Unit::开始书写按钮); },
    };
    w.typeText(Unit::编辑框1, u8"三个字");
    for (const auto& wayOut : waysOut) {
        SCOPED_TRACE(&wayOut - waysOut);
        const std::size_t asked = w.messages.size();
        w.answers = {Answer::No, Answer::Yes, Answer::No};
        wayOut();
        wayOut();
        ASSERT_EQ(w.messages.size(), asked + 3);
        EXPECT_EQ(gbkToUtf8Lossy(w.messages[asked].text), u8(u8"还没有达成小黑屋的目标：还差 7 字。\r\n确定要离开小黑屋吗？"));
        EXPECT_TRUE(app->lockedRoom().inside() && w.fullScreen() && session().writing() && !w.closed);
    }
    EXPECT_TRUE(w.answers.empty());

    // 是 twice: out of the room, then the way out goes on as always.
    w.answers = {Answer::Yes, Answer::Yes, Answer::OK, Answer::OK};
    w.click(Unit::放弃编辑);
    EXPECT_FALSE(app->lockedRoom().inside() || w.fullScreen() || session().writing());
    EXPECT_EQ(w.windowGeometry(), frame);
    EXPECT_EQ(w.text(Unit::标题栏), caption);
    w.mouseDown(Unit::最小化按钮1);
    EXPECT_EQ(w.windowState(), WindowState::Minimised);
}

TEST_F(LockedRoomTest, TheGoalReachedSaysSoTheEscapePhraseLeavesAtOnceAndSavingWorksInside) {
    startWithTitle(u8"第一章");
    enter({GoalUnit::Characters, 5});
    w.typeText(Unit::编辑框1, u8"夜色");
    EXPECT_NE(strip().find(u8(u8"还差 3 字")), std::string::npos);
    const std::size_t boxes = w.messages.size();
    w.typeText(Unit::编辑框1, u8"很深了");
    w.runPosted();
    EXPECT_FALSE(app->lockedRoom().inside() || w.fullScreen());
    // Said in the status bar and the title strip, no box; the strip gives the caption back later.
    const std::string reached = u8(u8"小黑屋的目标达成了：新增 5 字。窗口已恢复。");
    EXPECT_EQ(w.messages.size(), boxes);
    EXPECT_EQ(gbkToUtf8Lossy(w.statusText(2)), reached);
    EXPECT_EQ(strip(), reached);
    for (int i = 0; i < 8; ++i) w.tick(Unit::时钟2);
    EXPECT_NE(strip(), reached);
    // The goal offered next time is the last one.
    w.goalResults.push_back(WritingGoal{GoalUnit::Minutes, 2});
    w.trigger(Unit::小黑屋);
    EXPECT_EQ(w.goalDialogs.back(), (WritingGoal{GoalUnit::Characters, 5}));

    // Minutes count the writing timer; a minute begun counts whole.
    for (int i = 0; i < 61; ++i) w.tick(Unit::时钟2);
    EXPECT_NE(strip().find(u8(u8"还差 1 分钟")), std::string::npos);
    for (int i = 0; i < 58; ++i) w.tick(Unit::时钟2);
    ASSERT_TRUE(app->lockedRoom().inside());
    w.tick(Unit::时钟2);
    EXPECT_FALSE(app->lockedRoom().inside());
    EXPECT_EQ(strip(), u8(u8"小黑屋的目标达成了：写满 2 分钟。窗口已恢复。"));
    EXPECT_EQ(w.messages.size(), boxes);

    // Ctrl+S saves as always and the room goes on.
    const TempDir docs;
    enter({GoalUnit::Characters, 1000});
    w.dialogResults.push_back(docs / "第一章.txt");
    w.pressKey(Unit::编辑框1, key::S, modifier::Ctrl);
    EXPECT_TRUE(fileExists(docs / "第一章.txt"));
    EXPECT_TRUE(app->lockedRoom().inside() && w.fullScreen());

    // A pasted text ending with the phrase is the writer's text: it stays, and so does the room.
    w.typeText(Unit::编辑框1, u8"他在信里写道：我要离开小黑屋");  // one change, as a paste gives
    w.runPosted();
    EXPECT_TRUE(app->lockedRoom().inside());
    EXPECT_TRUE(w.text(Unit::编辑框1).ends_with(g(u8"写道：我要离开小黑屋")));

    // The phrase, typed in pieces as an input method commits them, leaves at once and goes.
    const Text before = w.text(Unit::编辑框1);
    const std::size_t asked = w.messages.size();
    w.typeText(Unit::编辑框1, u8"他说我要离开");
    w.typeText(Unit::编辑框1, u8"小黑屋");
    w.runPosted();
    EXPECT_FALSE(app->lockedRoom().inside() || w.fullScreen());
    EXPECT_EQ(w.text(Unit::编辑框1), before + g(u8"他说"));
    EXPECT_EQ(w.messages.size(), asked);
    // Outside, the phrase is only text.
    w.typeText(Unit::编辑框1, u8"我要离开小黑屋");
    w.runPosted();
    EXPECT_EQ(w.text(Unit::编辑框1), before + g(u8"他说我要离开小黑屋"));
}

}  // namespace
}  // namespace talery::test
