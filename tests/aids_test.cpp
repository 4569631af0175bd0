// The writing aids through the fake window: the Find and Replace windows, the
// body's shortcuts, time insertion, random names and the writing timer.

#include "aids/names.h"
#include "core/text_figures.h"
#include "aids/time_insert.h"
#include "app_fixture.h"
#include "tasks/points.h"

#include <set>

namespace talery {
namespace {

using namespace test;
using U = FindUnit;
constexpr FindWindowKind kFind = FindWindowKind::Find;
constexpr FindWindowKind kReplace = FindWindowKind::Replace;

class AidsTest : public AppTest {
protected:
    // A session whose body is exactly `utf8`, the caret at its start.
    void writeBody(std::u8string_view utf8) {
        startWithTitle(u8"章");
        w.setText(Unit::编辑框1, g(utf8));
    }
    FakeFindWindows& f() { return w.findWindows(); }
    void ctrl(int keyCode) { w.pressKey(Unit::编辑框1, keyCode, modifier::Ctrl); }
    Text selected() {
        const TextSelection s = w.bodySelection();
        return w.text(Unit::编辑框1).substr(s.start, s.length);
    }
    void restartWithPoints(std::int32_t total) {
        app.reset();
        ASSERT_TRUE(storePoints(IniFile(dir / "setting.ini"), total));
        app = std::make_unique<Application>(w, clock, SettingsStore(dir.path()));
        app->start();
    }
};

TEST_F(AidsTest, FindNextWalksDownThenReportsNotFoundAndLeavesTheCaretAtTheEnd) {
    writeBody(u8"他说：“天色已晚。”天色渐暗。");
    ctrl(key::F);
    ASSERT_TRUE(f().shown(kFind));
    EXPECT_EQ(f().look(kFind), (FindWindowLook{w.windowBackground(), w.textColour(Unit::标题栏)}));
    EXPECT_FALSE(f().enabled(kFind, U::按钮1));  // nothing to look for yet
    f().typeText(kFind, U::编辑框1, u8"天色");
    EXPECT_TRUE(f().enabled(kFind, U::按钮1));

    f().click(kFind, U::按钮1);
    EXPECT_EQ(w.bodySelection(), (TextSelection{8, 4}));
    EXPECT_EQ(w.focus(), Unit::编辑框1);
    f().pressKey(kFind, U::编辑框1, key::Enter);
    EXPECT_EQ(w.bodySelection(), (TextSelection{20, 4}));
    EXPECT_TRUE(w.messages.empty());

    f().click(kFind, U::按钮1);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text, g(u8"找不到 “天色”"));
    EXPECT_EQ(w.messages[0].caption, g(u8"记事本"));
    EXPECT_EQ(w.messages[0].icon, Icon::Information);
    EXPECT_EQ(w.bodySelection(), (TextSelection{w.text(Unit::编辑框1).size(), 0}));
    EXPECT_EQ(app->aids().findReplace().state().lastSearchText, g(u8"天色"));
}

TEST_F(AidsTest, FindUpFromTheStartFailsAndMatchCaseIsHonoured) {
    writeBody(u8"ABC abc");
    ctrl(key::F);
    f().typeText(kFind, U::编辑框1, u8"abc");
    f().click(kFind, U::单选框1);  // up
    w.setBodySelection({0, 0});
    f().click(kFind, U::按钮1);
    EXPECT_EQ(w.lastMessage(), u8(u8"找不到 “abc”"));
    EXPECT_EQ(w.bodySelection(), (TextSelection{0, 0}));

    w.setBodySelection({7, 0});
    f().click(kFind, U::按钮1);
    EXPECT_EQ(w.bodySelection(), (TextSelection{4, 3}));
    f().click(kFind, U::按钮1);  // case ignored: ABC matches too
    EXPECT_EQ(w.bodySelection(), (TextSelection{0, 3}));

    f().click(kFind, U::选择框1);
    f().click(kFind, U::单选框2);  // down again, from the start
    w.setBodySelection({0, 0});
    f().click(kFind, U::按钮1);
    EXPECT_EQ(w.bodySelection(), (TextSelection{4, 3}));
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST_F(AidsTest, ClosingTheFindWindowDropsTextTypedSinceTheLastSearch) {
    writeBody(u8"一二三");
    ctrl(key::F);
    f().typeText(kFind, U::编辑框1, u8"二");
    f().click(kFind, U::按钮1);
    f().typeText(kFind, U::编辑框1, u8"三四");
    f().closeBox(kFind);
    EXPECT_FALSE(f().shown(kFind));
    EXPECT_TRUE(f().exists(kFind));  // hidden, not destroyed

    ctrl(key::F);
    EXPECT_EQ(f().creations(kFind), 1);
    EXPECT_EQ(f().text(kFind, U::编辑框1), g(u8"二"));
    EXPECT_TRUE(f().allSelected(kFind, U::编辑框1));
    EXPECT_EQ(f().focus(kFind), U::编辑框1);
    f().typeText(kFind, U::编辑框1, u8"三");  // replaces the selected text
    f().click(kFind, U::按钮2);               // 取消 does the same as the close box
    EXPECT_EQ(f().text(kFind, U::编辑框1), g(u8"二"));

    // What GBK cannot hold arrives as "?", and that is what is looked for.
    ctrl(key::F);
    f().typeText(kFind, U::编辑框1, u8"😀");
    f().click(kFind, U::按钮1);
    EXPECT_EQ(w.lastMessage(), u8(u8"找不到 “?”"));
    w.messages.clear();

    // Enter in an emptied box looks for nothing and says nothing.
    ctrl(key::F);
    f().typeText(kFind, U::编辑框1, u8"");
    f().pressKey(kFind, U::编辑框1, key::Enter);
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(AidsTest, ReplaceEditsTheBodyDirectlyAndLeavesTheClipboard) {
    writeBody(u8"风起了。风停了。");
    w.clipboard = "keep";
    ctrl(key::H);
    EXPECT_FALSE(f().enabled(kReplace, U::按钮2));
    f().typeText(kReplace, U::编辑框1, u8"风");
    f().typeText(kReplace, U::编辑框2, u8"雨");
    EXPECT_TRUE(f().enabled(kReplace, U::按钮3));

    f().click(kReplace, U::按钮2);  // nothing selected: finds first
    EXPECT_EQ(w.bodySelection(), (TextSelection{0, 2}));
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"风起了。风停了。"));
    f().click(kReplace, U::按钮2);
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"雨起了。风停了。"));
    EXPECT_EQ(w.bodySelection(), (TextSelection{2, 0}));
    EXPECT_EQ(w.bodyEdits.back(), (TextSelection{0, 2}));  // just the span, not the whole body
    EXPECT_EQ(w.clipboard, "keep");

    // The known bytes follow the edit: the next find lands on the second 风.
    f().click(kReplace, U::按钮1);
    EXPECT_EQ(w.bodySelection(), (TextSelection{8, 2}));
    // Typing in the body is seen by the next search.
    w.setBodySelection({0, 0});
    w.typeText(Unit::编辑框1, u8"风");
    w.setBodySelection({0, 0});
    f().click(kReplace, U::按钮1);
    EXPECT_EQ(w.bodySelection(), (TextSelection{0, 2}));
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(AidsTest, ReplaceAllUsesTheCaseReadByTheLastFindNext) {
    writeBody(u8"Aa aA 中a");
    ctrl(key::H);
    f().typeText(kReplace, U::编辑框1, u8"a");
    f().typeText(kReplace, U::编辑框2, u8"aa");  // contains the search text
    f().click(kReplace, U::选择框1);             // ticked, but no find-next yet
    f().click(kReplace, U::按钮3);
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"aaaa aaaa 中aa"));
    EXPECT_EQ(w.bodyEdits.back(), (TextSelection{0, 9}));
    EXPECT_EQ(w.lastMessage(), u8(u8"已全部替换，共替换了5处。"));
    // The statistics follow the edit's span: the live count is the whole body's.
    EXPECT_EQ(w.statusText(0), liveCountText(liveCount(countFigures(w.text(Unit::编辑框1)))));
    // Also when a long replacement is counted as it goes in.
    Text longBody;
    for (int i = 0; i < 8000; ++i) longBody += g(u8"Aa 中a\r\n");
    w.setText(Unit::编辑框1, longBody);
    f().click(kReplace, U::按钮3);
    ASSERT_EQ(w.text(Unit::编辑框1).size(), longBody.size() + 8000 * 3);
    EXPECT_EQ(w.statusText(0), liveCountText(liveCount(countFigures(w.text(Unit::编辑框1)))));

    w.setText(Unit::编辑框1, g(u8"Aa"));
    f().click(kReplace, U::按钮1);  // now the ticked box is read
    EXPECT_TRUE(app->aids().findReplace().state().replaceMatchCase);
    f().click(kReplace, U::按钮3);
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"Aaa"));
    EXPECT_EQ(w.lastMessage(), u8(u8"已全部替换，共替换了1处。"));
    w.messages.clear();
    const int edits = static_cast<int>(w.bodyEdits.size());
    f().typeText(kReplace, U::编辑框1, u8"无");
    f().click(kReplace, U::按钮3);  // nothing to replace: no edit, no message
    EXPECT_EQ(static_cast<int>(w.bodyEdits.size()), edits);
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(AidsTest, ReplaceWindowIsMadeAnewAndRefusesOnceTheSessionHasEnded) {
    writeBody(u8"甲乙");
    ctrl(key::H);
    f().typeText(kReplace, U::编辑框1, u8"乙");
    f().click(kReplace, U::按钮1);
    f().click(kReplace, U::按钮4);
    EXPECT_FALSE(f().exists(kReplace));
    ctrl(key::F);  // both windows start from the last search
    EXPECT_EQ(f().text(kFind, U::编辑框1), g(u8"乙"));
    w.mouseDown(Unit::透明标签3);
    EXPECT_EQ(f().creations(kReplace), 2);
    EXPECT_EQ(f().text(kReplace, U::编辑框1), g(u8"乙"));

    w.answers = {Answer::OK, Answer::OK};
    w.pressKey(Unit::编辑框1, key::F12);  // give up: the body shows the farewell
    const Text farewell = w.text(Unit::编辑框1);
    w.messages.clear();
    f().click(kReplace, U::按钮3);
    EXPECT_EQ(w.lastMessage(), u8(u8"开始书写后再使用吧。"));
    EXPECT_EQ(w.text(Unit::编辑框1), farewell);
    f().closeBox(kReplace);
    EXPECT_FALSE(f().exists(kReplace));

    // The panel's labels refuse while no session runs.
    w.mouseDown(Unit::透明标签2);
    EXPECT_EQ(w.messages.back().text, g(u8"开始书写后再使用吧。"));
    EXPECT_EQ(w.messages.back().caption, g(u8"Talery"));
    EXPECT_FALSE(f().exists(kReplace));
}

TEST_F(AidsTest, TimeGoesBeforeTheSelectionAndIsRefusedWithoutASession) {
    EXPECT_EQ(timeStamp({2015, 10, 7, 9, 5, 3}), g(u8"2015年10月7日 9：5：3"));
    const Text before = w.text(Unit::编辑框1);
    w.mouseDown(Unit::透明标签5);
    EXPECT_EQ(w.lastMessage(), u8(u8"这是一键添加当前时间按钮。请开始书写之后使用本按钮"));
    EXPECT_EQ(w.text(Unit::编辑框1), before);

    writeBody(u8"开头结尾");
    clock.set({2026, 12, 8, 23, 0, 9});
    w.setBodySelection({4, 4});  // 结尾 selected
    w.pressKey(Unit::编辑框1, key::F5, modifier::Shift);
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"开头2026年12月8日 23：0：9结尾"));
    EXPECT_EQ(w.bodyEdits.back(), (TextSelection{4, 0}));
    EXPECT_EQ(w.focus(), Unit::编辑框1);
}

TEST_F(AidsTest, BodyShortcuts) {
    writeBody(u8"全文");
    w.pressKey(Unit::编辑框1, key::A, modifier::Ctrl | modifier::Shift);  // Ctrl must be alone
    EXPECT_EQ(w.bodySelection(), (TextSelection{0, 0}));
    ctrl(key::A);
    EXPECT_EQ(w.bodySelection(), (TextSelection{0, 4}));

    w.pressKey(Unit::编辑框1, key::F1);
    EXPECT_EQ(w.lastMessage(), u8(u8"添加时间按钮更改快捷键为F5"));
    EXPECT_EQ(w.messages.back().buttons, Buttons::OK);

    const IniFile ini(dir / "setting.ini");
    w.pressKey(Unit::编辑框1, key::F2, modifier::Alt);
    EXPECT_TRUE(w.checked(Unit::大字体));
    EXPECT_EQ(w.fontSize(Unit::编辑框1), 25);
    EXPECT_EQ(ini.read(g(u8"软件设置"), g(u8"新手2")), g(u8"真"));
    w.pressKey(Unit::编辑框1, key::F2);
    EXPECT_FALSE(w.checked(Unit::大字体));
    EXPECT_EQ(w.fontSize(Unit::编辑框1), 16);
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST(Names, SurnamesComeFromTheTableAtOddPositions) {
    const Text& table = surnameTable();
    ASSERT_EQ(table.size(), 814u);
    EXPECT_EQ(table.substr(0, 2), gbk(u8"赵"));
    EXPECT_EQ(table.substr(812), gbk(u8"公"));
    int r = 0;
    const TickDraw scripted = [&r](int lo, int hi) {
        EXPECT_EQ(lo, 1);
        EXPECT_EQ(hi, 814);
        return r;
    };
    std::multiset<Text> drawn;
    for (r = 1; r <= 814; ++r) drawn.insert(randomSurname(scripted));
    EXPECT_EQ(drawn.count(gbk(u8"赵")), 1u);  // only r = 1
    EXPECT_EQ(drawn.count(gbk(u8"钱")), 2u);  // r = 2, 3
    EXPECT_EQ(drawn.count(gbk(u8"公")), 3u);  // r = 812, 813, 814
    EXPECT_EQ(drawn.count(gbk(u8"于")), 4u);  // in the table twice
}

TEST(Names, RandomCharactersAndNameLengths) {
    SharedRandom shared;
    std::set<std::size_t> lengths, placeLengths;
    for (int i = 0; i < 400; ++i) {
        const Text person = randomPersonName(shared);
        lengths.insert(person.size());
        bool inTable = false;
        for (std::size_t at = 0; at < surnameTable().size(); at += 2)
            inTable = inTable || surnameTable().compare(at, 2, person, 0, 2) == 0;
        ASSERT_TRUE(inTable);
        const Text place = randomPlaceName(shared, Text());
        placeLengths.insert(place.size());
        for (const Text& t : {person.substr(2), place})
            for (unsigned char c : t) ASSERT_TRUE(c >= 0xB0 && c <= 0xDA) << int(c);
        ASSERT_TRUE(isValidGbk(place));
    }
    EXPECT_EQ(lengths, (std::set<std::size_t>{4, 6}));
    EXPECT_EQ(placeLengths, (std::set<std::size_t>{2, 4, 6}));
    // The bounds of the tick formula: 256 - 38 and 256 - 80.
    EXPECT_EQ(randomHanzi(1, [](int lo, int) { return lo; }), "\xDA\xDA");
    EXPECT_EQ(randomHanzi(1, [](int, int hi) { return hi; }), "\xB0\xB0");
    EXPECT_EQ(randomPlaceName(shared, gbk(u8"小学"), [](int lo, int) { return lo; }).substr(0, 2), "\xDA\xDA");
}

TEST_F(AidsTest, NameButtonsFillCopyAndFollowThePoints) {
    w.setSelection(Unit::组合框1, 19);  // 小学
    w.click(Unit::保存设置13);
    const Text place = w.text(Unit::编辑框5);
    EXPECT_EQ(place.substr(place.size() - 4), g(u8"小学"));
    w.click(Unit::保存设置8);
    EXPECT_TRUE(w.text(Unit::编辑框4).size() == 4 || w.text(Unit::编辑框4).size() == 6);
    w.click(Unit::保存设置9);
    EXPECT_EQ(w.clipboard, w.text(Unit::编辑框4));
    EXPECT_EQ(w.lastMessage(), u8(u8"复制成功"));
    w.click(Unit::保存设置14);
    EXPECT_EQ(w.clipboard, place);

    w.setSelection(Unit::组合框1, 41);  // the empty place word
    app->aids().fillNamesIfAllowed();
    EXPECT_LE(w.text(Unit::编辑框5).size(), 6u);
    EXPECT_NE(w.text(Unit::编辑框4), w.clipboard);

    restartWithPoints(-1);
    const Text person = w.text(Unit::编辑框4);
    w.click(Unit::保存设置8);
    EXPECT_EQ(w.lastMessage(), u8(u8"您需要达到15积分才可以随机更换哦。"));
    app->aids().fillNamesIfAllowed();
    EXPECT_EQ(w.text(Unit::编辑框4), person);
    restartWithPoints(0);  // the bound is 0 points
    w.click(Unit::保存设置8);
    EXPECT_NE(w.text(Unit::编辑框4), person);
}

TEST_F(AidsTest, WritingTimerCountsOnlyDuringSessions) {
    const Text designText = w.statusText(1);
    w.tick(Unit::时钟2);
    EXPECT_EQ(w.statusText(1), designText);  // idle: nothing counted

    startWithTitle(u8"章");
    for (int i = 0; i < 10; ++i) w.tick(Unit::时钟2);
    w.answers = {Answer::OK, Answer::OK};
    w.pressKey(Unit::编辑框1, key::F12);
    for (int i = 0; i < 100; ++i) w.tick(Unit::时钟2);
    startWithTitle(u8"章");
    for (int i = 0; i < 5; ++i) w.tick(Unit::时钟2);
    EXPECT_EQ(w.statusText(1), g(u8"你已经连续书写：00:00:15"));
    for (int i = 0; i < 45; ++i) w.tick(Unit::时钟2);
    EXPECT_EQ(w.statusText(1), g(u8"你已经连续书写：00:01:00"));
    for (int i = 0; i < 59 * 60; ++i) w.tick(Unit::时钟2);
    EXPECT_EQ(w.statusText(1), g(u8"你已经连续书写：01:00:00"));

    WritingTimer t;
    t.writingHours = 123;
    t.writingMinutes = 4;
    EXPECT_EQ(t.display(), g(u8"你已经连续书写：123:04:00"));  // past 99 hours, never cut

    w.setVisible(Unit::关于, true);
    w.mouseDown(Unit::透明标签1);
    EXPECT_FALSE(w.visible(Unit::关于));
}

}  // namespace
}  // namespace talery
