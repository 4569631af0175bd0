// Saving and opening documents through the fake window: every path of the
// save procedure and the open command, with the messages and the state after.

#include "app_fixture.h"
#include "core/cipher.h"

#include <algorithm>
#include <sys/stat.h>

namespace talery {
namespace {

using namespace test;

class SaveOpenTest : public AppTest {
protected:
    // A new session with a title and some typed text.
    Text writeNewText() {
        startWithTitle(u8"第一章");
        w.typeText(Unit::编辑框1, u8"天色已晚。");
        return w.text(Unit::编辑框1);
    }

    void openFile(const std::string& path) {
        w.dialogResults = {path};
        w.trigger(Unit::打开文件);
    }

    std::string enciphered(const Text& body, std::string_view password) {
        return encryptText(body, documentKeyText(password));
    }

    void expectSavedState(std::u8string_view message) {
        expectIdle();
        EXPECT_EQ(w.text(Unit::编辑框1), g(u8"文本已经保存，感谢您的使用"));
        EXPECT_TRUE(w.text(Unit::章节名称).empty());
        EXPECT_TRUE(session().record().currentPath.empty());
        EXPECT_FALSE(session().record().openedFromFile);
        ASSERT_FALSE(w.messages.empty());
        EXPECT_EQ(w.messages.back().text, g(message));
        EXPECT_EQ(w.messages.back().caption, "Talery");
    }

    Text tlrMark() { return IniFile(dir.file("setting.ini")).read(g(u8"软件设置"), g(u8"tlr使用")); }
};

const char8_t* kOverwrite =
    u8"覆盖原文件保存么？\r\n是：覆盖原文件 否：选择其他位置 取消：放弃保存\r\n如果想清空正在编辑的文件可以点击F12";
const char8_t* kPrevious = u8"使用原密码保存文件么？\r\n是：使用原密码 否：使用新密码 取消：放弃保存";

// --- A new text -----------------------------------------------------------

TEST_F(SaveOpenTest, NewTextToTxtWritesExactlyTheBodyBytes) {
    const Text body = writeNewText();
    EXPECT_EQ(body, g(u8"第一章\r\n天色已晚。"));
    w.dialogResults = {dir.file("ch1.txt")};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(dir.file("ch1.txt")), body);
    expectSavedState(u8"保存成功！");
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(w.passwordDialogs.empty());
}

TEST_F(SaveOpenTest, CancelledSaveDialogWritesNothingAndKeepsTheSession) {
    const Text body = writeNewText();
    w.dialogResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), body);
    EXPECT_TRUE(w.messages.empty());
    // Only setting.ini, and the backup folder where the running session is noted.
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"backup", "setting.ini"}));
}

TEST_F(SaveOpenTest, NewTextToTlrAsksPasswordAndWritesCiphertext) {
    const Text body = writeNewText();
    w.dialogResults = {dir.file("secret.tlr")};
    w.passwordResults = {g(u8"密码")};
    w.click(Unit::开始书写按钮);
    ASSERT_EQ(w.passwordDialogs.size(), 1u);
    const std::string file = readBytes(dir.file("secret.tlr"));
    EXPECT_EQ(file.size(), body.size());
    EXPECT_EQ(file, enciphered(body, g(u8"密码")));
    EXPECT_EQ(session().record().password, g(u8"密码"));  // outlives the session
    expectSavedState(u8"保存成功！");
}

TEST_F(SaveOpenTest, PasswordDialogTakesWindowBackgroundAndTitleStripColour) {
    writeNewText();
    w.setWindowBackground(0xE0F0FF);
    w.setTextColour(Unit::标题栏, 0x123456);
    w.dialogResults = {dir.file("a.tlr")};
    w.passwordResults = {std::nullopt};  // closed without confirming
    w.click(Unit::开始书写按钮);
    ASSERT_EQ(w.passwordDialogs.size(), 1u);
    EXPECT_EQ(w.passwordDialogs[0].background, 0xE0F0FFu);
    EXPECT_EQ(w.passwordDialogs[0].labelText, 0x123456u);
    // Closing the dialog cancels the save: nothing written, nothing said, the session goes on.
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.tlr")));
    EXPECT_TRUE(w.messages.empty());
    expectWriting();
}

TEST_F(SaveOpenTest, ClosingThePasswordDialogCancelsEverySaveWithoutAPreviousPassword) {
    // Overwriting an opened document, and saving it elsewhere: each stops.
    const std::string path = dir.file("old.tlr");
    writeBytes(path, enciphered(g(u8"旧文"), "pw"));
    w.passwordResults = {Text("pw")};
    openFile(path);
    expectWriting();
    session().record().password.clear();
    w.answers = {Answer::Yes};  // overwrite: the dialog is shown (no previous password) and closed
    w.passwordResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    w.answers = {Answer::No};  // another place, then closed
    w.dialogResults = {dir.file("new.tlr")};
    w.passwordResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    w.answers = {Answer::Yes, Answer::No};  // overwrite with a previous password: "new password", closed
    session().record().password = "pw";
    w.passwordResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    expectWriting();
    EXPECT_EQ(w.passwordDialogs.size(), 4u);  // the open's, then one per save
    EXPECT_EQ(readBytes(path), enciphered(g(u8"旧文"), "pw"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.tlr")));
    EXPECT_EQ(session().record().password, "pw");
}

TEST_F(SaveOpenTest, TlrElsewhereInThePathSavesPlainText) {
    std::filesystem::create_directory(dir.file("x.tlr.bak"));
    const Text body = writeNewText();
    w.dialogResults = {dir.file("x.tlr.bak/a.txt")};
    w.click(Unit::开始书写按钮);
    EXPECT_TRUE(w.passwordDialogs.empty());
    EXPECT_EQ(readBytes(dir.file("x.tlr.bak/a.txt")), body);
    const Text diary = writeNewText();
    w.dialogResults = {dir.file(u8name(u8"日记.tlr.txt"))};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(dir.file(u8name(u8"日记.tlr.txt"))), diary);
    EXPECT_TRUE(w.passwordDialogs.empty());
}

// A name ending in ".TLR" meant an enciphered file: it is saved as ".tlr",
// and said.
TEST_F(SaveOpenTest, UpperCaseTlrIsSavedEncipheredAsTlr) {
    const Text body = writeNewText();
    w.dialogResults = {dir.file("A.TLR")};
    w.passwordResults = {Text("pw")};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.passwordDialogs.size(), 1u);
    EXPECT_NE(w.messages.at(0).text.find(g(u8".tlr")), std::string::npos);
    EXPECT_EQ(readBytes(dir.file("A.tlr")), enciphered(body, "pw"));
    EXPECT_FALSE(fileExists(dir.file("A.TLR")));

    // Over an existing ".tlr" only on the writer's word.
    writeNewText();
    w.dialogResults = {dir.file("A.Tlr")};
    w.answers = {Answer::No};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(dir.file("A.tlr")), enciphered(body, "pw"));
    EXPECT_TRUE(session().writing());
}

TEST_F(SaveOpenTest, StoredPasswordQuestionEachAnswer) {
    // Yes: the stored password, no dialog.
    Text body = writeNewText();
    session().record().password = "old";
    w.dialogResults = {dir.file("y.tlr")};
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.messages.at(0).text, g(kPrevious));
    EXPECT_EQ(w.messages.at(0).buttons, Buttons::YesNoCancel);
    EXPECT_TRUE(w.passwordDialogs.empty());
    EXPECT_EQ(readBytes(dir.file("y.tlr")), enciphered(body, "old"));

    // No: the dialog, then the new password.
    body = writeNewText();
    w.dialogResults = {dir.file("n.tlr")};
    w.answers = {Answer::No};
    w.passwordResults = {Text("new")};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.passwordDialogs.size(), 1u);
    EXPECT_EQ(readBytes(dir.file("n.tlr")), enciphered(body, "new"));

    // Cancel: nothing written, the session runs on.
    body = writeNewText();
    w.dialogResults = {dir.file("c.tlr")};
    w.answers = {Answer::Cancel};
    w.click(Unit::开始书写按钮);
    EXPECT_FALSE(fileExists(dir.file("c.tlr")));
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), body);
}

// --- A text opened from a file ---------------------------------------------

TEST_F(SaveOpenTest, OpeningTxtStartsSessionBoundToFileWithoutTitleLine) {
    const std::string path = dir.file(u8(u8"日记.2015.txt"));
    writeBytes(path, g(u8"昨天\r\n今天"));
    openFile(path);
    expectWriting();
    EXPECT_EQ(w.text(Unit::章节名称), g(u8"日记"));
    EXPECT_EQ(w.text(Unit::编辑框1), g(u8"昨天\r\n今天"));
    EXPECT_EQ(session().record().currentPath, path);
    EXPECT_TRUE(session().record().openedFromFile);
    ASSERT_EQ(w.openDialogs.size(), 1u);
    EXPECT_EQ(w.openDialogs[0].dialog, Unit::通用对话框1);
    EXPECT_EQ(w.openDialogs[0].initialFolder, dir.path());
    EXPECT_TRUE(w.openDialogs[0].initialName.empty());
    EXPECT_TRUE(w.messages.empty());
}

TEST_F(SaveOpenTest, DialogsStartWhereTheLastDocumentWasOpenedOrSavedAcrossRuns) {
    const std::string books = dir.file("books"), drafts = dir.file("drafts");
    std::filesystem::create_directories(books);
    std::filesystem::create_directories(drafts);
    writeBytes(books + "/a.txt", "a");
    openFile(books + "/a.txt");
    w.answers = {Answer::No};  // saved elsewhere
    w.dialogResults = {drafts + "/b.txt"};
    w.click(Unit::开始书写按钮);
    ASSERT_EQ(w.saveDialogs.size(), 1u);
    EXPECT_EQ(w.saveDialogs[0].initialFolder, books);
    // The next run starts in drafts; once drafts is gone, in the program directory again.
    FakeWindow next;
    Application other(next, clock, SettingsStore(dir.path()));
    next.dialogResults = {std::nullopt, std::nullopt};
    next.trigger(Unit::打开文件);
    std::filesystem::remove_all(drafts);
    next.trigger(Unit::打开文件);
    ASSERT_EQ(next.openDialogs.size(), 2u);
    EXPECT_EQ(next.openDialogs[0].initialFolder, drafts);
    EXPECT_EQ(next.openDialogs[1].initialFolder, dir.path());
}

TEST_F(SaveOpenTest, CancelledOpenOnlySetsTheOpenedFlag) {
    w.dialogResults = {std::nullopt};
    w.trigger(Unit::打开文件);
    expectIdle();
    EXPECT_TRUE(session().record().openedFromFile);
}

TEST_F(SaveOpenTest, OtherExtensionsOpenNothing) {
    for (const char* name : {"A.TXT", "b.Tlr", "c.doc", "noext"}) {
        writeBytes(dir.file(name), "text");
        openFile(dir.file(name));
        expectIdle();
    }
    EXPECT_TRUE(w.messages.empty());
    EXPECT_TRUE(w.passwordDialogs.empty());
}

TEST_F(SaveOpenTest, OverwriteYesRewritesTheOpenedFile) {
    const std::string path = dir.file("a.txt");
    writeBytes(path, "line one\r\n");
    openFile(path);
    w.typeText(Unit::编辑框1, u8"添加");
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.messages.at(0).text, g(kOverwrite));
    EXPECT_EQ(w.messages.at(0).buttons, Buttons::YesNoCancel);
    EXPECT_EQ(readBytes(path), g(u8"添加") + "line one\r\n");  // caret was at the start
    expectSavedState(u8"文件已经保存");
}

TEST_F(SaveOpenTest, LargeFileShowsProgressOpeningAndSavingAndKeepsItsBytes) {
    // Just over the size that shows progress; LF breaks, converted both ways.
    std::string file;
    const std::string line = g(u8"第一章，天色已晚。") + "\n";
    while (file.size() < kLongWorkBytes + kLongWorkBytes / 20) file += line;
    const std::string path = dir.file("big.txt");
    writeBytes(path, file);
    openFile(path);
    expectWriting();
    EXPECT_TRUE(w.messages.empty());
    // Digested on a second thread while the bytes were checked, before their
    // line breaks became CR LF.
    ASSERT_TRUE(session().record().onDisk);
    EXPECT_EQ(session().record().onDisk->digest, fileDigestOf(file));
    ASSERT_GE(w.progress.size(), 3u);
    EXPECT_EQ(w.progress.front().text, g(u8"正在打开：") + path);
    for (std::size_t i = 1; i < w.progress.size(); ++i)
        EXPECT_GE(w.progress[i].fraction, w.progress[i - 1].fraction);
    EXPECT_EQ(w.progressEnds, 1);
    // Between the passes over the text (checks, digest, statistics) the window paints.
    EXPECT_GE(w.paintsDuringWork, 5);

    w.progress.clear();
    w.typeText(Unit::编辑框1, u8"添加");
    w.answers = {Answer::Yes};
    // The window paints while the body lets the novel go: the progress stays
    // up on both sides of that, and ends before the word that it is saved.
    int endsWhenSaved = 0;
    w.whileMessageShown = [&](const MessageRecord& m) {
        if (m.text == g(u8"文件已经保存")) endsWhenSaved = w.progressEnds;
    };
    // The watcher's word on the save's own rename, taken while it paints, is no change by another program.
    w.whileProgressShown = [&](const FakeWindow::ProgressStep& step) {
        if (step.fraction == 1.0) w.fileChangedOnDisk(path);
    };
    w.click(Unit::开始书写按钮);
    w.whileProgressShown = nullptr;
    for (const Text& said : w.announced()) EXPECT_EQ(said.find(g(u8"改动过")), Text::npos) << gbkToUtf8Lossy(said);
    EXPECT_EQ(endsWhenSaved, 4);
    ASSERT_GE(w.progress.size(), 2u);
    EXPECT_GT(w.progress.end()[-2].bodyBytes, file.size() / 2);
    EXPECT_EQ(w.progress.back().bodyBytes, g(u8"文本已经保存，感谢您的使用").size());
    EXPECT_EQ(readBytes(path), g(u8"添加") + file);
    ASSERT_GE(w.progress.size(), 3u);
    EXPECT_EQ(w.progress.front().text, g(u8"正在保存：") + path);
    EXPECT_EQ(w.progress.back().fraction, 1.0);
    for (std::size_t i = 1; i < w.progress.size(); ++i)
        EXPECT_GE(w.progress[i].fraction, w.progress[i - 1].fraction);
    // The copy of the old version reports its share as it goes.
    EXPECT_TRUE(std::any_of(w.progress.begin(), w.progress.end(),
                            [](const auto& p) { return p.fraction > 0.1 && p.fraction < 0.4; }));
    // Shown while the file on disk is checked, before the question and again
    // after it, and while the text is written; ended each time.
    EXPECT_EQ(w.progressEnds, 4);
    expectSavedState(u8"文件已经保存");

    // A small file shows none.
    w.progress.clear();
    writeBytes(path, line);
    openFile(path);
    expectWriting();
    EXPECT_TRUE(w.progress.empty());
    EXPECT_EQ(w.progressEnds, 4);

    // Saved unchanged, nothing is written; the window still paints after the novel has let go.
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    writeBytes(path, file);
    openFile(path);
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    expectSavedState(u8"文件已经保存");
    ASSERT_FALSE(w.progress.empty());
    EXPECT_EQ(w.progress.back().bodyBytes, g(u8"文本已经保存，感谢您的使用").size());
    EXPECT_EQ(readBytes(path), file);
}

// A body of many slices is saved a slice at a time: a byte-order mark once,
// the keystream running on across slices. The expected bytes are built here
// from the code points and by enciphering the whole text at once.
TEST_F(SaveOpenTest, LongBodiesSaveWholeInEveryFormat) {
    const int lines = 400'000;  // 1.2 million characters
    std::string wide = "\xFE\xFF";
    for (int i = 0; i < lines; ++i) wide += std::string("\x59\x29\x57\x30\x00\x0A", 6);  // 天地 LF
    const std::string path = dir.file("wide.txt");
    writeBytes(path, wide);
    openFile(path);
    expectWriting();
    w.typeText(Unit::编辑框1, u8"添加");
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_TRUE(readBytes(path) == "\xFE\xFF\x6D\xFB\x52\xA0" + wide.substr(2));

    Text body;
    for (int i = 0; i < lines; ++i) body += g(u8"天地") + "\r\n";
    const std::string secret = dir.file("s.tlr");
    writeBytes(secret, enciphered(body, "pw"));
    w.passwordResults = {Text("pw")};
    openFile(secret);
    expectWriting();
    w.typeText(Unit::编辑框1, u8"添加");
    w.answers = {Answer::Yes, Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_TRUE(readBytes(secret) == enciphered(g(u8"添加") + body, "pw"));
}

TEST_F(SaveOpenTest, OverwriteNoSavesElsewhereAndLeavesTheOpenedFile) {
    const std::string path = dir.file("a.txt");
    writeBytes(path, "old");
    openFile(path);
    w.typeText(Unit::编辑框1, "new ");
    w.answers = {Answer::No};
    w.dialogResults = {dir.file("b.txt")};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(path), "old");
    EXPECT_EQ(readBytes(dir.file("b.txt")), "new old");
    EXPECT_EQ(w.saveDialogs.at(0).initialName, "a");
    expectSavedState(u8"文件已经保存");
}

TEST_F(SaveOpenTest, OverwriteNoThenCancelledDialogStaysBound) {
    const std::string path = dir.file("a.txt");
    writeBytes(path, "old");
    openFile(path);
    w.answers = {Answer::No};
    w.dialogResults = {std::nullopt};
    w.click(Unit::开始书写按钮);
    expectWriting();
    EXPECT_EQ(session().record().currentPath, path);
    EXPECT_EQ(w.messages.size(), 1u);  // only the question
}

TEST_F(SaveOpenTest, OverwriteCancelChangesNothing) {
    const std::string path = dir.file("a.txt");
    writeBytes(path, "old");
    openFile(path);
    w.typeText(Unit::编辑框1, "x");
    w.answers = {Answer::Cancel};
    w.click(Unit::开始书写按钮);
    expectWriting();
    EXPECT_EQ(readBytes(path), "old");
    EXPECT_EQ(session().record().currentPath, path);
}

TEST_F(SaveOpenTest, OpeningTlrDecryptsMarksTheDayAndSavesBackWithPasswordQuestion) {
    const std::string path = dir.file("s.tlr");
    const Text text = g(u8"秘密的日记\r\n第二行");
    writeBytes(path, enciphered(text, "pw"));
    w.passwordResults = {Text("pw")};
    openFile(path);
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), text);
    EXPECT_EQ(w.text(Unit::章节名称), "s");
    EXPECT_EQ(tlrMark(), "201611");

    // Overwrite: the stored password question, Yes keeps "pw".
    w.typeText(Unit::编辑框1, "+");
    w.answers = {Answer::Yes, Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.messages.at(1).text, g(kPrevious));
    EXPECT_EQ(readBytes(path), enciphered("+" + text, "pw"));
    expectSavedState(u8"文件已经保存");
}

TEST_F(SaveOpenTest, OverwriteNoToTlrAlwaysAsksForPassword) {
    const std::string path = dir.file("a.txt");
    writeBytes(path, "plain");
    openFile(path);
    session().record().password = "stored";
    w.answers = {Answer::No};
    w.dialogResults = {dir.file("b.tlr")};
    w.passwordResults = {Text("fresh")};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(w.passwordDialogs.size(), 1u);
    EXPECT_EQ(readBytes(dir.file("b.tlr")), enciphered("plain", "fresh"));
    EXPECT_EQ(w.messages.front().text, g(kOverwrite));
    EXPECT_EQ(w.messages.size(), 2u);  // the question and the finishing message, no password question
}

TEST_F(SaveOpenTest, EmptyTlrWithRightPasswordOpensEmptyBody) {
    writeBytes(dir.file("e.tlr"), "");
    w.passwordResults = {Text()};
    openFile(dir.file("e.tlr"));
    expectWriting();
    EXPECT_TRUE(w.text(Unit::编辑框1).empty());
}

TEST_F(SaveOpenTest, WrongPasswordNeverOpensGarbledTextForEditing) {
    const std::string path = dir.file("s.tlr");
    const std::string cipher = enciphered(g(u8"这是一篇很长的日记，写了很多很多的内容。"), "right");
    writeBytes(path, cipher);
    w.passwordResults = {Text("wrong")};
    openFile(path);
    expectIdle();
    EXPECT_EQ(readBytes(path), cipher);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_NE(w.lastMessage().find(u8(u8"密码可能不正确")), std::string::npos);
    EXPECT_NE(w.lastMessage().find(path), std::string::npos);
    EXPECT_TRUE(tlrMark().empty());
    // A refused password is not kept: the next ".tlr" save offers the one held before.
    EXPECT_EQ(session().record().password, "");
    session().record().password = "before";
    w.passwordResults = {Text("wrong")};
    openFile(path);
    EXPECT_EQ(session().record().password, "before");
    const Text body = writeNewText();
    w.dialogResults = {dir.file("n.tlr")};
    w.answers = {Answer::Yes};  // "使用原密码保存文件么？": yes
    w.click(Unit::开始书写按钮);
    EXPECT_NE(w.messageTexts()[w.messages.size() - 2].find(u8(u8"使用原密码保存文件么")), std::string::npos);
    EXPECT_EQ(readBytes(dir.file("n.tlr")), enciphered(body, "before"));
    // Closing the dialog at an open opens nothing and keeps the password.
    w.passwordResults = {std::nullopt};
    openFile(path);
    expectIdle();
    EXPECT_EQ(session().record().password, "before");
}

// --- Encodings of plain-text documents --------------------------------------

TEST_F(SaveOpenTest, Utf8DocumentOpensRightAndSavesBackAsUtf8KeepingBomAndLineBreaks) {
    struct Case {
        std::string bytes;
        std::string afterEdit;
    };
    const std::string bom = "\xEF\xBB\xBF";
    const Case cases[] = {
        {u8(u8"中文\r\n第二行"), u8(u8"改中文\r\n第二行")},
        {bom + u8(u8"中文\r\n第二行"), bom + u8(u8"改中文\r\n第二行")},
        {u8(u8"中文\n第二行\n"), u8(u8"改中文\n第二行\n")},
    };
    for (const Case& c : cases) {
        const std::string path = dir.file("u.txt");
        writeBytes(path, c.bytes);
        openFile(path);
        EXPECT_EQ(w.text(Unit::编辑框1).substr(0, 4), g(u8"中文"));
        w.typeText(Unit::编辑框1, u8"改");
        w.answers = {Answer::Yes};
        w.click(Unit::开始书写按钮);
        EXPECT_EQ(readBytes(path), c.afterEdit);
    }
}

TEST_F(SaveOpenTest, FilesThatCannotRoundTripAreRefusedAndUntouched) {
    const std::pair<std::string, std::u8string_view> cases[] = {
        {u8(u8"笑\U0001F600"), u8"GBK编码无法保存"},  // a character GBK cannot hold
        {std::string("\x41\x00\x42\x00", 4), u8"没有字节顺序标记"},  // UTF-16 without its mark
        {std::string("AB\0C", 4), u8"空字节"},
        {"\x81\x7F\xC0", u8"既不是GBK编码也不是UTF-8编码"},
    };
    for (const auto& [bytes, reason] : cases) {
        writeBytes(dir.file("bad.txt"), bytes);
        w.messages.clear();
        openFile(dir.file("bad.txt"));
        expectIdle();
        EXPECT_EQ(readBytes(dir.file("bad.txt")), bytes);
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_NE(w.lastMessage().find(u8(reason)), std::string::npos) << w.lastMessage();
    }
}

TEST_F(SaveOpenTest, UnreadableFileIsRefusedWithItsReason) {
    std::filesystem::create_directory(dir.file("folder.txt"));
    openFile(dir.file("folder.txt"));
    openFile(dir.file("missing.txt"));
    expectIdle();
    ASSERT_EQ(w.messages.size(), 2u);
    EXPECT_NE(w.messages[0].text.find(g(u8"这是一个文件夹")), std::string::npos);
    EXPECT_NE(w.messages[1].text.find(g(u8"不存在")), std::string::npos);
}

// --- Writes that fail --------------------------------------------------------

TEST_F(SaveOpenTest, FailedWritesNameThePathAndReasonAndKeepTheSession) {
    const std::string readOnly = dir.file("ro.txt");
    writeBytes(readOnly, "keep me");
    ::chmod(readOnly.c_str(), 0444);
    const std::pair<std::string, std::u8string_view> cases[] = {
        {readOnly, u8"只读"},
        {dir.file("no/such/folder/a.txt"), u8"不存在"},
        {dir.file("no/such/folder/a.tlr"), u8"不存在"},
    };
    const Text body = writeNewText();
    for (const auto& [path, reason] : cases) {
        w.messages.clear();
        w.dialogResults = {path};
        if (isEncryptedPath(path)) w.passwordResults = {Text()};
        w.click(Unit::开始书写按钮);
        expectWriting();
        EXPECT_EQ(w.text(Unit::编辑框1), body);
        ASSERT_EQ(w.messages.size(), 1u);
        EXPECT_NE(w.lastMessage().find(path), std::string::npos);
        EXPECT_NE(w.lastMessage().find(u8(reason)), std::string::npos) << w.lastMessage();
        EXPECT_EQ(w.lastMessage().find(u8(u8"保存成功")), std::string::npos);
    }
    EXPECT_EQ(readBytes(readOnly), "keep me");
}

TEST_F(SaveOpenTest, FailedOverwriteKeepsTheSessionBound) {
    const std::string path = dir.file("a.txt");
    writeBytes(path, "old");
    openFile(path);
    ::chmod(path.c_str(), 0444);
    w.typeText(Unit::编辑框1, "x");
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    expectWriting();
    EXPECT_EQ(session().record().currentPath, path);
    EXPECT_EQ(readBytes(path), "old");
}

// --- Closing the window during a session -------------------------------------

TEST_F(SaveOpenTest, ClosingWithUnchangedFileNeedsNoSave) {
    for (const char* name : {"same.txt", "same.tlr"}) {
        const std::string path = dir.file(name);
        const Text text = g(u8"不变的文本\r\n");
        writeBytes(path, isEncryptedPath(name) ? enciphered(text, "") : text);
        FakeWindow fresh;
        Application other(fresh, clock, SettingsStore(dir.path()));
        fresh.dialogResults = {path};
        if (isEncryptedPath(name)) fresh.passwordResults = {Text()};
        fresh.trigger(Unit::打开文件);
        ASSERT_FALSE(fresh.enabled(Unit::打开文件));
        EXPECT_TRUE(fresh.userCloses());
        EXPECT_TRUE(fresh.messages.empty());
    }
}

TEST_F(SaveOpenTest, ClosingWithChangesRunsSaveAndCancelKeepsWindowOpen) {
    const std::string path = dir.file("a.txt");
    writeBytes(path, "old");
    openFile(path);
    w.typeText(Unit::编辑框1, "x");
    w.answers = {Answer::Cancel};
    EXPECT_FALSE(w.userCloses());
    expectWriting();
    EXPECT_EQ(w.messages.at(0).text, g(kOverwrite));

    w.answers = {Answer::Yes};
    EXPECT_TRUE(w.userCloses());
    EXPECT_EQ(readBytes(path), "xold");
}

TEST_F(SaveOpenTest, ClosingANewTextAlwaysOffersTheSave) {
    writeNewText();
    w.dialogResults = {std::nullopt};
    w.mouseDown(Unit::关闭按钮);
    EXPECT_FALSE(w.closed);
    w.dialogResults = {dir.file("kept.txt")};
    w.trigger(Unit::退出);
    EXPECT_TRUE(w.closed);
    EXPECT_EQ(readBytes(dir.file("kept.txt")), g(u8"第一章\r\n天色已晚。"));
}

TEST_F(SaveOpenTest, ClosingIdleWindowClosesAtOnce) {
    EXPECT_TRUE(w.userCloses());
    EXPECT_TRUE(w.messages.empty());
}

}  // namespace
}  // namespace talery

namespace talery {
namespace {

using namespace test;

// The command-line companion and the program read each other's documents.
class ToolInteropTest : public AppTest {
protected:
    std::string run(const std::string& arguments, const std::string& output) {
        const std::string command = std::string(TALERY_TOOL) + " " + arguments + " > " + output + " 2>/dev/null";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return readBytes(output);
    }
};

TEST_F(ToolInteropTest, ProgramDocumentDecryptsWithTheToolAndToolDocumentOpensInTheProgram) {
    startWithTitle(u8"密信");
    w.typeText(Unit::编辑框1, u8"今晚八点，老地方见。");
    const Text body = w.text(Unit::编辑框1);
    w.dialogResults = {dir.file("letter.tlr")};
    w.passwordResults = {g(u8"中文密码")};
    w.click(Unit::开始书写按钮);
    const std::string pw = u8(u8"中文密码");
    EXPECT_EQ(run("decrypt --password '" + pw + "' " + dir.file("letter.tlr"), dir.file("out.txt")), body);
    EXPECT_EQ(run("decrypt --utf8 --password '" + pw + "' " + dir.file("letter.tlr"), dir.file("out8.txt")),
              u8(u8"密信\r\n今晚八点，老地方见。"));

    const Text text = g(u8"工具写的第二封信\r\n");
    writeBytes(dir.file("plain.txt"), text);
    run("encrypt --password '" + pw + "' " + dir.file("plain.txt"), dir.file("second.tlr"));
    w.dialogResults = {dir.file("second.tlr")};
    w.passwordResults = {g(u8"中文密码")};
    w.trigger(Unit::打开文件);
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), text);
}

}  // namespace
}  // namespace talery
