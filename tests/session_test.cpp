// The writing session through the fake window: every transition with its
// messages and mirrors.

#include "app_fixture.h"

namespace talery {
namespace {

using namespace test;
using SessionTest = AppTest;

const char8_t* kTempTitle2016 = u8"临时文本： 产生于2016年1月1日0时0分0秒    by：Talery";

TEST_F(SessionTest, StartsIdleWithTheWelcomeTextCentred) {
    expectIdle();
    EXPECT_TRUE(w.text(Unit::章节名称).empty());
    EXPECT_EQ(w.text(Unit::编辑框1).size(), 499u);
    EXPECT_EQ(w.alignment(Unit::编辑框1), Align::Centre);
    EXPECT_TRUE(session().record().currentPath.empty());
    EXPECT_TRUE(session().record().password.empty());
    EXPECT_FALSE(session().record().openedFromFile);
    EXPECT_EQ(session().record().keyPrefix, "mqd517283946");
}

TEST_F(SessionTest, StartButtonWithTitlePutsTitleLineIntoBody) {
    startWithTitle(u8"第一章 开端");
    expectWriting();
    const Text expected = g(u8"第一章 开端") + "\r\n";
    EXPECT_EQ(w.text(Unit::编辑框1), expected);
    EXPECT_EQ(w.bodySelection(), (TextSelection{expected.size(), 0}));
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(SessionTest, EmptyTitleBecomesTemporaryTitleWithoutLeadingZeros) {
    w.click(Unit::开始书写按钮);
    expectWriting();
    EXPECT_EQ(w.text(Unit::章节名称), g(kTempTitle2016));
    EXPECT_EQ(w.text(Unit::编辑框1), g(kTempTitle2016) + "\r\n");

    clock.set({2015, 10, 7, 9, 5, 3});
    EXPECT_EQ(session().makeTemporaryTitle(), g(u8"临时文本： 产生于2015年10月7日9时5分3秒    by：Talery"));
    clock.set({2026, 12, 31, 23, 59, 59});
    EXPECT_EQ(session().makeTemporaryTitle(), g(u8"临时文本： 产生于2026年12月31日23时59分59秒    by：Talery"));
}

TEST_F(SessionTest, TitleOfBlanksIsUsedUnchanged) {
    startWithTitle(u8"   ");
    EXPECT_EQ(w.text(Unit::章节名称), "   ");
    EXPECT_EQ(w.text(Unit::编辑框1), "   \r\n");
}

TEST_F(SessionTest, EnterInTitleActsLikeTheStartButtonAndFocusesTheBody) {
    w.typeText(Unit::章节名称, u8"序章");
    w.setFocus(Unit::章节名称);
    w.pressKey(Unit::章节名称, key::Enter);
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"序章") + "\r\n");
    EXPECT_EQ(w.focus(), Unit::编辑框1);
}

TEST_F(SessionTest, OtherKeysInTheTitleStartNothing) {
    w.typeText(Unit::章节名称, u8"序章");
    w.pressKey(Unit::章节名称, key::F5);
    w.pressKey(Unit::章节名称, 'A', modifier::Ctrl);
    expectIdle();
}

TEST_F(SessionTest, TitleOfAnyBytesAndLengthIsKept) {
    // Bytes that are not GBK, control bytes and a long title are the user's text.
    const Text odd = std::string("\x01\xFF\x80 ", 4) + std::string(20000, 'x');
    w.setText(Unit::章节名称, odd);
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.text(Unit::编辑框1), odd + "\r\n");
}

TEST_F(SessionTest, TypedTextThatGbkCannotHoldArrivesAsQuestionMarks) {
    startWithTitle(u8"标题");
    w.typeText(Unit::编辑框1, u8"你好\U0001F600ก€");
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"标题") + "\r\n" + g(u8"你好") + "??\x80");
}

TEST_F(SessionTest, NewTemporaryTextReplacesTypedTitle) {
    w.typeText(Unit::章节名称, u8"我的标题");
    w.trigger(Unit::新建临时文本);
    expectWriting();
    EXPECT_EQ(w.text(Unit::章节名称), g(kTempTitle2016));
    EXPECT_EQ(w.text(Unit::编辑框1), g(kTempTitle2016) + "\r\n");
    EXPECT_EQ(w.text(Unit::章节名称提示), g(u8"标题/题目："));
}

TEST_F(SessionTest, NewTemporaryTextDuringSessionOnlyShowsMessage) {
    startWithTitle(u8"正文");
    w.typeText(Unit::编辑框1, u8"内容");
    const Text body = w.text(Unit::编辑框1);
    w.trigger(Unit::新建临时文本);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text, g(u8"当前正在编辑文档呢，您可以保存或清空当前编辑来创建临时文本"));
    EXPECT_EQ(w.messages[0].caption, "Talery");
    EXPECT_EQ(w.messages[0].buttons, Buttons::OK);
    EXPECT_EQ(w.text(Unit::编辑框1), body);
    EXPECT_EQ(w.text(Unit::章节名称), g(u8"正文"));
    expectWriting();
}

TEST_F(SessionTest, GiveUpWithoutSessionSaysWritingHasNotStarted) {
    w.click(Unit::放弃编辑);
    w.trigger(Unit::清空正在编辑);
    ASSERT_EQ(w.messages.size(), 2u);
    for (const auto& m : w.messages) {
        EXPECT_EQ(m.text, g(u8"还没有开始书写"));
        EXPECT_EQ(m.buttons, Buttons::OK);
    }
    // F12 cannot reach the disabled body.
    w.pressKey(Unit::编辑框1, key::F12);
    EXPECT_EQ(w.messages.size(), 2u);
    expectIdle();
}

TEST_F(SessionTest, CancellingEitherConfirmationLeavesSessionUntouched) {
    startWithTitle(u8"章");
    w.typeText(Unit::编辑框1, u8"文字");
    const Text body = w.text(Unit::编辑框1);
    for (auto answers : {std::vector<Answer>{Answer::Cancel}, std::vector<Answer>{Answer::OK, Answer::Cancel}}) {
        w.answers.assign(answers.begin(), answers.end());
        w.click(Unit::放弃编辑);
        EXPECT_TRUE(w.answers.empty());
        expectWriting();
        EXPECT_EQ(w.text(Unit::编辑框1), body);
    }
    EXPECT_EQ(w.messages[0].text, g(u8"警告！该操作将会删除所有内容！清空当前软件编辑，但是不影响原文件"));
    EXPECT_EQ(w.messages[0].buttons, Buttons::OKCancel);
    EXPECT_EQ(w.messages[2].text, g(u8"警告！您真的接受初始化软件的一切后果么？"));
    EXPECT_EQ(w.messages[2].buttons, Buttons::OKCancel);
}

TEST_F(SessionTest, GivingUpByEachBindingResetsEverything) {
    for (int way = 0; way < 3; ++way) {
        startWithTitle(u8"第二章");
        session().record().password = "pw";
        w.answers = {Answer::OK, Answer::OK};
        if (way == 0) w.click(Unit::放弃编辑);
        if (way == 1) w.trigger(Unit::清空正在编辑);
        if (way == 2) w.pressKey(Unit::编辑框1, key::F12);
        expectIdle();
        EXPECT_EQ(w.text(Unit::编辑框1), g(u8"文本已经清空，感谢您的使用"));
        EXPECT_TRUE(w.text(Unit::章节名称).empty());
        EXPECT_FALSE(session().record().openedFromFile);
        // Giving up an ordinary session keeps the stored password.
        EXPECT_EQ(session().record().password, "pw");
    }
}

TEST_F(SessionTest, GivingUpAnOpenedFileNeverTouchesIt) {
    const std::string path = dir.file("a.txt");
    test::writeBytes(path, "original\r\n");
    w.dialogResults = {path};
    w.trigger(Unit::打开文件);
    expectWriting();
    w.typeText(Unit::编辑框1, "more");
    w.answers = {Answer::OK, Answer::OK};
    w.pressKey(Unit::编辑框1, key::F12);
    expectIdle();
    EXPECT_EQ(test::readBytes(path), "original\r\n");
    EXPECT_TRUE(session().record().currentPath.empty());
}

TEST_F(SessionTest, StartButtonDuringSessionRunsTheSaveAndCancelKeepsWriting) {
    startWithTitle(u8"标题");
    w.typeText(Unit::编辑框1, u8"正文");
    const Text body = w.text(Unit::编辑框1);
    w.dialogResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    ASSERT_EQ(w.saveDialogs.size(), 1u);
    EXPECT_EQ(w.saveDialogs[0].dialog, Unit::通用对话框2);
    EXPECT_EQ(w.saveDialogs[0].initialFolder, dir.path());
    EXPECT_EQ(w.saveDialogs[0].initialName, u8(u8"标题"));
    EXPECT_TRUE(w.messages.empty());
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), body);
    EXPECT_EQ(w.text(Unit::章节名称提示), g(u8"标题/题目："));
}

TEST_F(SessionTest, EmptiedTitleDuringSessionGetsTemporaryTitleBeforeSaving) {
    startWithTitle(u8"标题");
    w.setText(Unit::章节名称, "");
    w.dialogResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.text(Unit::章节名称), g(kTempTitle2016));
    EXPECT_EQ(w.saveDialogs.at(0).initialName, u8(kTempTitle2016));
}

TEST_F(SessionTest, StartRecordsTheDayAndFillsTheContentStores) {
    const std::string ini = test::readBytes(dir.file("setting.ini"));
    EXPECT_NE(ini.find(g(u8"\r\n最后一次登录=201611\r\n")), std::string::npos);
    EXPECT_EQ(w.text(Unit::版本标签), w.text(Unit::标题栏));
    EXPECT_FALSE(w.text(Unit::励志名言警句).empty());
    EXPECT_FALSE(w.text(Unit::中国地理历史).empty());
    EXPECT_FALSE(w.text(Unit::编辑框2).empty());
}

TEST_F(SessionTest, ChromeAndMenuBindings) {
    w.mouseDown(Unit::录音按钮1);
    EXPECT_EQ(w.poppedMenus, std::vector<Unit>{Unit::开始});
    w.mouseDown(Unit::最小化按钮1);
    EXPECT_EQ(w.windowState(), WindowState::Minimised);
    w.mouseDown(Unit::标题栏);
    EXPECT_EQ(w.moveLoops, 1);
    w.click(Unit::文件加密器按钮);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].text, g(u8"加密工具已经删除，您可以保存文件时使用tlr文件保存，支持加密"));
    EXPECT_EQ(w.messages[0].caption, g(u8"信息："));
    w.mouseDown(Unit::关闭按钮);
    EXPECT_TRUE(w.closed);
}

}  // namespace
}  // namespace talery
