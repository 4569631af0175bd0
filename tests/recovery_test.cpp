// Crash recovery: a program killed mid-session, and the next start on the
// same program folder offering what it was writing.

#include "app_fixture.h"
#include "session/cipher.h"
#include "session/recovery.h"

namespace talery::test {
namespace {

class RecoveryTest : public ::testing::Test {
protected:
    // A fresh start on the folder the crashed program used.
    void restart(std::deque<Answer> answers = {}, std::deque<std::optional<Text>> passwords = {}) {
        app.reset();
        w = std::make_unique<FakeWindow>();
        w->answers = std::move(answers);
        w->passwordResults = std::move(passwords);
        app = std::make_unique<Application>(*w, clock, SettingsStore(dir.path(), dir.path()));
        app->start();
    }
    std::vector<std::string> journalEntries() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir / "backup"))
            if (e.path().extension() == ".journal") out.push_back(e.path().filename().string());
        return out;
    }

    TempDir dir;
    std::unique_ptr<FakeWindow> w = std::make_unique<FakeWindow>();
    FixedClock clock{{2016, 1, 2, 8, 0, 0}};
    std::unique_ptr<Application> app;
};

TEST_F(RecoveryTest, NewTextComesBackAndIsSavedAsANewText) {
    crashWhile(dir, [](FakeWindow& cw, Application&) {
        cw.typeText(Unit::章节名称, u8"第九章");
        cw.click(Unit::开始书写按钮);
        cw.typeText(Unit::编辑框1, u8"雨停了。");
    });
    restart({Answer::Yes});
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_EQ(w->messages[0].caption, g(u8"Talery"));
    EXPECT_EQ(w->messages[0].buttons, Buttons::YesNo);
    EXPECT_NE(w->lastMessage().find(u8(u8"《第九章》")), std::string::npos);
    EXPECT_NE(w->lastMessage().find(u8(u8"这篇文本还没有保存过")), std::string::npos);
    EXPECT_EQ(w->text(Unit::编辑框1), g(u8"第九章\r\n雨停了。"));
    EXPECT_EQ(w->text(Unit::章节名称), g(u8"第九章"));
    EXPECT_TRUE(app->session().writing());
    // The crashed program's entry is gone; this program's session has its own.
    ASSERT_EQ(journalEntries().size(), 1u);
    EXPECT_TRUE(journalEntries()[0].starts_with("session-" + std::to_string(::getpid()) + "-"));

    w->typeText(Unit::编辑框1, u8"天晴。");
    w->dialogResults.push_back(dir / "九.txt");
    w->click(Unit::开始书写按钮);
    EXPECT_EQ(w->saveDialogs.size(), 1u);
    EXPECT_EQ(readBytes(dir / "九.txt"), g(u8"第九章\r\n雨停了。天晴。"));
    EXPECT_TRUE(journalEntries().empty());
}

TEST_F(RecoveryTest, EncryptedDocumentAsksItsPasswordAndNeverOpensGarbage) {
    const Text saved = g(u8"密信\r\n第一句。");
    writeBytes(dir / "信.tlr", encryptText(saved, documentKeyText("pw")));
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        cw.passwordResults.push_back(Text("pw"));
        app.openNamedFile(dir / "信.tlr");
        cw.typeText(Unit::编辑框1, u8"第二句。");
    });
    const Text typed = g(u8"第二句。") + saved;  // typed where the caret stood
    // The copy is enciphered like its document.
    EXPECT_EQ(readBytes(backupCopy(dir, u8"信 ")), encryptText(typed, documentKeyText("pw")));

    restart({Answer::Yes, Answer::OK, Answer::Yes}, {Text("wrong"), Text("pw")});
    const auto texts = w->messageTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_NE(texts[0].find(dir / "信.tlr"), std::string::npos);
    EXPECT_NE(texts[1].find(u8(u8"密码不正确")), std::string::npos);
    EXPECT_EQ(texts[2], texts[0]);
    EXPECT_EQ(w->passwordDialogs.size(), 2u);
    EXPECT_EQ(w->text(Unit::编辑框1), typed);
    EXPECT_EQ(app->session().record().currentPath, dir / "信.tlr");

    // Saving goes to the document, under the password it was opened with.
    w->answers = {Answer::Yes, Answer::Yes};
    w->click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(dir / "信.tlr"), encryptText(typed, documentKeyText("pw")));
}

TEST_F(RecoveryTest, ARecoveredTextIsSavedBackTheWayItsDocumentCame) {
    writeBytes(dir / "u.txt", u8(u8"第一行\n"));  // UTF-8, LF line breaks
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        app.openNamedFile(dir / "u.txt");
        cw.typeText(Unit::编辑框1, u8"加");
    });
    restart({Answer::Yes});
    EXPECT_EQ(w->text(Unit::编辑框1), g(u8"加第一行\r\n"));
    w->answers = {Answer::Yes};
    w->click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(dir / "u.txt"), u8(u8"加第一行\n"));
}

TEST_F(RecoveryTest, DecliningKeepsTheCopyAndAsksNoMore) {
    crashWhile(dir, [](FakeWindow& cw, Application&) {
        cw.typeText(Unit::章节名称, u8"草稿");
        cw.click(Unit::开始书写按钮);
        cw.typeText(Unit::编辑框1, u8"唯一的一份");
    });
    restart({Answer::No});
    EXPECT_EQ(w->messages.size(), 1u);
    EXPECT_FALSE(app->session().writing());
    EXPECT_EQ(readBytes(backupCopy(dir, u8"草稿 ")), g(u8"草稿\r\n唯一的一份"));
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_EQ(readBytes(backupCopy(dir, u8"草稿 ")), g(u8"草稿\r\n唯一的一份"));
}

TEST_F(RecoveryTest, NothingToOfferAfterASaveANormalExitOrWhileTheProgramRuns) {
    // The document already holds the copy's text (saved by another program,
    // say): nothing to get back, whatever the time stamps say.
    writeBytes(dir / "a.txt", g(u8"旧"));
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        app.openNamedFile(dir / "a.txt");
        cw.typeText(Unit::编辑框1, u8"新");
    });
    writeBytes(dir / "a.txt", g(u8"新旧"));
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_TRUE(journalEntries().empty());

    // Killed after the text was given up: nothing to offer, and nothing left behind.
    crashWhile(dir, [](FakeWindow& cw, Application&) {
        cw.click(Unit::开始书写按钮);
        cw.answers = {Answer::OK, Answer::OK};
        cw.click(Unit::放弃编辑);
    });
    restart();
    EXPECT_TRUE(w->messages.empty());
    for (const auto& e : std::filesystem::directory_iterator(dir / "backup"))
        EXPECT_NE(e.path().extension(), ".lock") << e.path();

    // A normal exit in the middle of a session whose text is on disk.
    app->openNamedFile(dir / "a.txt");
    w->typeText(Unit::编辑框1, u8"再");
    restart();
    EXPECT_TRUE(w->messages.empty());

    // Another program still writing in the same folder is left alone.
    FakeWindow other;
    Application running(other, clock, SettingsStore(dir.path(), dir.path()));
    running.start();
    other.typeText(Unit::章节名称, u8"另一篇");
    other.click(Unit::开始书写按钮);
    other.typeText(Unit::编辑框1, u8"正在写");
    running.statistics().backup().flush();
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_EQ(journalEntries().size(), 1u);
}

TEST(JournalEntryTest, EveryByteOfTitlesAndPathsSurvives) {
    const JournalEntry e{g(u8"第一章%0A\r\n") + "\xFF", "/b/x\ny.txt", "/d/%25\r.tlr", true, {}};
    const std::string bytes = formatJournalEntry(e);
    EXPECT_EQ(bytes, "talery-session 1\ntitle=" + g(u8"第一章") + "%250A%0D%0A\xFF\nbackup=/b/x%0Ay.txt\n"
                     "document=/d/%2525%0D.tlr\nencrypted=1\n");
    EXPECT_EQ(parseJournalEntry(bytes), e);
    // Cut short by a crash of its writer, or damaged: no entry.
    EXPECT_FALSE(parseJournalEntry(bytes.substr(0, bytes.size() - 1)));
    EXPECT_FALSE(parseJournalEntry(bytes.substr(0, bytes.find("encrypted"))));
    EXPECT_FALSE(parseJournalEntry("talery-session 1\ntitle=%4\nbackup=b\ndocument=\nencrypted=0\n"));
}

}  // namespace
}  // namespace talery::test
