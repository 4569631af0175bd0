// Ctrl+S in the body: the text goes to its document as 立刻保存 writes it,
// and the session goes on bound to that document.

#include "app/status_note.h"
#include "app_fixture.h"
#include "app/tips.h"
#include "core/cipher.h"
#include "session/versions.h"

#include <sys/stat.h>

namespace talery {
namespace {

using namespace test;

class KeepWritingTest : public AppTest {
protected:
    void ctrlS() { w.pressKey(Unit::编辑框1, key::S, modifier::Ctrl); }

    // Still writing, with the body and caret as they were.
    void expectGoesOn(const Text& body, TextSelection caret) {
        expectWriting();
        EXPECT_EQ(w.text(Unit::编辑框1), body);
        EXPECT_EQ(w.bodySelection(), caret);
    }
};

TEST_F(KeepWritingTest, NewTextAsksForADocumentOnceThenSavesThereAndClosesWithoutAsking) {
    startWithTitle(u8"第一章");
    w.typeText(Unit::编辑框1, u8"天色已晚。");
    const Text body = w.text(Unit::编辑框1);
    const TextSelection caret = w.bodySelection();
    const std::string path = dir.file("ch1.txt");
    w.dialogResults = {path};
    ctrlS();
    expectGoesOn(body, caret);
    EXPECT_TRUE(w.messages.empty());  // no box
    EXPECT_EQ(readBytes(path), body);
    EXPECT_EQ(session().record().currentPath, path);
    EXPECT_EQ(w.statusText(kTipPart), g(u8"已保存：") + path);
    EXPECT_EQ(w.announced(), std::vector<Text>{g(u8"已保存：") + path});  // a screen reader hears it
    EXPECT_FALSE(session().record().openedFromFile);  // the day's writing tasks still count it

    // The second Ctrl+S asks nothing and keeps the first bytes as a version.
    w.typeText(Unit::编辑框1, u8"风起。");
    const Text more = w.text(Unit::编辑框1);
    ctrlS();
    EXPECT_TRUE(w.messages.empty());
    EXPECT_EQ(w.saveDialogs.size(), 1u);
    EXPECT_EQ(readBytes(path), more);
    const auto versions = versionsOf(versionsFolderIn(dir.path()), path);
    ASSERT_EQ(versions.size(), 1u);
    EXPECT_EQ(readBytes(versions.front()), body);

    // The note gives the part back to the tips after a few seconds.
    for (int i = 0; i < StatusNote::kSeconds; ++i) w.tick(Unit::时钟2);
    EXPECT_NE(w.statusText(kTipPart), g(u8"已保存：") + path);

    // Nothing changed since: closing asks nothing, 立刻保存 just ends the session.
    EXPECT_TRUE(w.userCloses());
    EXPECT_TRUE(w.messages.empty());
    w.click(Unit::开始书写按钮);
    expectIdle();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.lastMessage(), u8(u8"文件已经保存"));
    EXPECT_EQ(readBytes(path), more);
    EXPECT_TRUE(backupCopies(dir).empty());
}

// One character typed over another keeps the body's length: the text has
// still changed, and both Ctrl+S and closing must know it.
TEST_F(KeepWritingTest, AnEditThatKeepsTheLengthIsStillSaved) {
    const std::string path = dir.file("ch.txt");
    writeBytes(path, g(u8"第一章\r\n天色已晚。"));
    w.dialogResults = {path};
    w.trigger(Unit::打开文件);
    expectWriting();
    const Text opened = w.text(Unit::编辑框1);
    const std::size_t at = opened.find(g(u8"晚"));
    ASSERT_NE(at, Text::npos);
    w.replaceBodyRange({at, 2}, g(u8"暗"));
    const Text edited = w.text(Unit::编辑框1);
    ASSERT_EQ(edited.size(), opened.size());

    // Closing sees the change and offers the save.
    w.answers = {Answer::Cancel};
    EXPECT_FALSE(w.userCloses());
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(readBytes(path), opened);

    ctrlS();
    EXPECT_EQ(readBytes(path), edited);
    // And back again: the same length once more, the first text's bytes.
    w.replaceBodyRange({at, 2}, g(u8"晚"));
    ctrlS();
    EXPECT_EQ(readBytes(path), opened);
}

TEST_F(KeepWritingTest, EncryptedDocumentAsksAboutThePreviousPasswordAndLeavesNoPlainCopy) {
    startWithTitle(u8"密信");
    w.typeText(Unit::编辑框1, u8"不可说。");
    app->statistics().backup().flush();
    ASSERT_EQ(backupCopies(dir, u8"密信").size(), 1u);
    const std::string path = dir.file("secret.tlr");
    w.dialogResults = {path};
    w.passwordResults = {Text("pw")};
    ctrlS();
    expectWriting();
    EXPECT_EQ(readBytes(path), encryptText(w.text(Unit::编辑框1), documentKeyText("pw")));
    // The session's copy is now enciphered; the plain one is gone.
    w.typeText(Unit::编辑框1, u8"再说。");
    app->statistics().backup().flush();
    const auto copies = backupCopies(dir, u8"密信");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_TRUE(copies.front().ends_with(".tlr"));
    EXPECT_EQ(readBytes(copies.front()), encryptText(w.text(Unit::编辑框1), documentKeyText("pw")));

    // The next Ctrl+S asks about the previous password; 取消 writes nothing.
    const std::string before = readBytes(path);
    w.answers = {Answer::Cancel};
    ctrlS();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.lastMessage(), u8(u8"使用原密码保存文件么？\r\n是：使用原密码 否：使用新密码 取消：放弃保存"));
    EXPECT_EQ(readBytes(path), before);
    w.answers = {Answer::Yes};
    ctrlS();
    EXPECT_EQ(readBytes(path), encryptText(w.text(Unit::编辑框1), documentKeyText("pw")));
    EXPECT_EQ(versionsOf(versionsFolderIn(dir.path()), path).size(), 1u);
    expectWriting();
}

TEST_F(KeepWritingTest, FailureIsToldAsAnyFailedSaveAndTheSessionStaysUnbound) {
    const std::string path = dir.file("ro.txt");
    writeBytes(path, "keep me");
    ::chmod(path.c_str(), 0444);
    startWithTitle(u8"只读");
    w.typeText(Unit::编辑框1, u8"新文。");
    const Text body = w.text(Unit::编辑框1);
    const TextSelection caret = w.bodySelection();
    w.dialogResults = {path};
    ctrlS();
    expectGoesOn(body, caret);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_NE(w.lastMessage().find(u8(u8"保存失败！")), std::string::npos);
    EXPECT_EQ(readBytes(path), "keep me");
    EXPECT_TRUE(session().record().currentPath.empty());
    EXPECT_NE(w.statusText(kTipPart), g(u8"已保存：") + path);
}

}  // namespace
}  // namespace talery
