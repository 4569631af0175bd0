// A document changed on disk while Talery holds it: real files, changed by
// other processes, and the writer's three answers.

#include "app/status_note.h"
#include "app/tips.h"
#include "app_fixture.h"
#include "session/versions.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace talery {
namespace {

using namespace test;

// Runs `body` in another process, as another program would change the file;
// `running` is the program this process runs meanwhile.
template <class Body>
void otherProcess(Body body, Application* running = nullptr) {
    quietForFork(running);
    if (::testing::Test::HasFatalFailure()) return;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(body() ? 0 : 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// An editor that saves by writing a new file and renaming it over the old one.
void saveByRename(const std::string& path, const std::string& bytes, Application* running) {
    otherProcess(
        [&] {
            writeBytes(path + ".new", bytes);
            return ::rename((path + ".new").c_str(), path.c_str()) == 0;
        },
        running);
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

class OnDiskTest : public AppTest {
protected:
    void ctrlS() { w.pressKey(Unit::编辑框1, key::S, modifier::Ctrl); }

    // Opens a document holding `text` and types a line into it.
    void openAndType(const std::string& path, std::u8string_view text = u8"第一章\r\n旧的一段。") {
        writeBytes(path, g(text));
        w.dialogResults = {path};
        w.trigger(Unit::打开文件);
        ASSERT_TRUE(session().writing());
        w.typeText(Unit::编辑框1, u8"新写的。");
    }

    // The message shown `index`th, in UTF-8.
    std::string messageAt(std::size_t index) const {
        return index < w.messages.size() ? gbkToUtf8Lossy(w.messages[index].text) : std::string();
    }
    static bool has(const std::string& text, std::u8string_view part) { return text.find(u8(part)) != std::string::npos; }

    // The file the session saved beside the document, in the document's folder.
    std::vector<std::string> besideCopies() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            if (e.path().filename().string().find(" (Talery ") != std::string::npos) out.push_back(e.path().string());
        return out;
    }
};

TEST_F(OnDiskTest, ChangeBetweenLoadAndCtrlSIsAskedAboutAndCancelWritesNothing) {
    const std::string path = dir / "ch1.txt";
    openAndType(path);
    const Text body = w.text(Unit::编辑框1);
    saveByRename(path, g(u8"第一章\r\n另一台电脑上写的。"), app.get());
    w.answers = {Answer::Cancel};
    ctrlS();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(w.messages[0].buttons, Buttons::YesNoCancel);
    const std::string q = messageAt(0);
    EXPECT_TRUE(has(q, u8"被其他程序改动过")) << q;
    EXPECT_TRUE(has(q, u8"改动时间：")) << q;
    EXPECT_NE(q.find(path), std::string::npos) << q;
    EXPECT_NE(q.find(versionsFolderIn(dir.path())), std::string::npos) << q;  // says where an overwrite keeps it
    EXPECT_EQ(readBytes(path), g(u8"第一章\r\n另一台电脑上写的。"));
    EXPECT_TRUE(versionsOf(versionsFolderIn(dir.path()), path).empty());
    EXPECT_TRUE(besideCopies().empty());
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), body);

    // Asked again at the next save: cancelling settled nothing.
    w.answers = {Answer::Cancel};
    ctrlS();
    EXPECT_EQ(w.messages.size(), 2u);
}

TEST_F(OnDiskTest, KeepingTheOtherTextSavesBesideItAndTheSessionGoesOnThere) {
    const std::string path = dir / "ch1.txt";
    writeBytes(path, g(u8"第一章"));
    ::chmod(path.c_str(), 0640);
    w.dialogResults = {path};
    w.trigger(Unit::打开文件);
    w.typeText(Unit::编辑框1, u8"新写的。");
    const Text body = w.text(Unit::编辑框1);
    otherProcess(
        [&] {
            writeBytes(path, g(u8"同步来的版本"));
            return true;
        },
        app.get());
    w.answers = {Answer::Yes};
    ctrlS();
    EXPECT_EQ(readBytes(path), g(u8"同步来的版本"));
    const auto beside = besideCopies();
    ASSERT_EQ(beside.size(), 1u);
    EXPECT_EQ(beside[0], dir / "ch1 (Talery 2016-01-01 000000).txt");
    EXPECT_EQ(readBytes(beside[0]), body);
    struct stat st {};
    ASSERT_EQ(::stat(beside[0].c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "the document's own mode, never wider";
    EXPECT_EQ(session().record().currentPath, beside[0]);
    EXPECT_EQ(w.statusText(kTipPart), g(u8"已保存：") + beside[0]);

    // A second copy of the same second gets a name of its own.
    writeBytes(beside[0], "changed");
    w.answers = {Answer::Yes};
    ctrlS();
    EXPECT_EQ(besideCopies().size(), 2u);
    EXPECT_EQ(readBytes(beside[0]), "changed");
}

TEST_F(OnDiskTest, OverwritingKeepsTheOtherTextAsAVersion) {
    const std::string path = dir / "ch1.txt";
    openAndType(path);
    // Between two Ctrl+S: the first asks nothing.
    ctrlS();
    EXPECT_TRUE(w.messages.empty());
    w.typeText(Unit::编辑框1, u8"又一句。");
    saveByRename(path, g(u8"别处的修改"), app.get());
    w.answers = {Answer::No};
    ctrlS();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_EQ(readBytes(path), w.text(Unit::编辑框1));
    const auto versions = versionsOf(versionsFolderIn(dir.path()), path);
    ASSERT_FALSE(versions.empty());
    EXPECT_EQ(readBytes(versions.front()), g(u8"别处的修改"));
    EXPECT_TRUE(besideCopies().empty());
    // Overwritten, it is the session's file again.
    w.typeText(Unit::编辑框1, u8"完。");
    ctrlS();
    EXPECT_EQ(w.messages.size(), 1u);
}

TEST_F(OnDiskTest, TheDigestDecidesWhatTimesAndInodesCannot) {
    const std::string path = dir / "ch1.txt";
    openAndType(path, u8"第一章\r\n甲乙丙丁。");
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    otherProcess([&] {
        // Same inode, same size, and the old time put back.
        const int fd = ::open(path.c_str(), O_WRONLY);
        const Text other = g(u8"第一章\r\n戊己庚辛。");
        const bool ok = fd >= 0 && ::write(fd, other.data(), other.size()) == static_cast<ssize_t>(other.size());
        const timespec times[2] = {before.st_atim, before.st_mtim};
        return ok && ::futimens(fd, times) == 0 && ::close(fd) == 0;
    }, app.get());
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(after.st_size, before.st_size);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    w.answers = {Answer::Cancel};
    ctrlS();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(has(messageAt(0), u8"被其他程序改动过"));
    EXPECT_EQ(readBytes(path), g(u8"第一章\r\n戊己庚辛。"));

    // The other way round: the same bytes under a new inode (a sync tool
    // writing back what it had) are no change.
    w.answers = {Answer::No};
    ctrlS();
    const ino_t first = inodeOf(path);
    saveByRename(path, readBytes(path), app.get());
    ASSERT_NE(inodeOf(path), first);
    ctrlS();
    EXPECT_EQ(w.messages.size(), 2u);
}

TEST_F(OnDiskTest, ImmediateSaveAndClosingAskTheSameQuestionInsteadOfTheUsualOne) {
    const std::string path = dir / "ch1.txt";
    openAndType(path);
    saveByRename(path, g(u8"别处的修改"), app.get());
    // Closing: cancelled, the window stays open and nothing is written.
    w.answers = {Answer::Cancel};
    EXPECT_FALSE(w.userCloses());
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(has(messageAt(0), u8"被其他程序改动过"));
    EXPECT_FALSE(has(messageAt(0), u8"覆盖原文件保存么"));
    EXPECT_EQ(readBytes(path), g(u8"别处的修改"));

    // 立刻保存, keeping the other text: the session ends saved beside it.
    const Text body = w.text(Unit::编辑框1);
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    expectIdle();
    const auto beside = besideCopies();
    ASSERT_EQ(beside.size(), 1u);
    EXPECT_EQ(readBytes(beside[0]), body);
    EXPECT_EQ(readBytes(path), g(u8"别处的修改"));
    EXPECT_TRUE(has(w.lastMessage(), u8"另存为")) << w.lastMessage();
    EXPECT_NE(w.lastMessage().find(beside[0]), std::string::npos);
}

TEST_F(OnDiskTest, ChangeWhileTheUsualQuestionStandsIsStillCaught) {
    const std::string path = dir / "ch1.txt";
    openAndType(path);
    w.answers = {Answer::Yes, Answer::Cancel};
    w.whileMessageShown = [&](const MessageRecord& m) {
        if (gbkToUtf8Lossy(m.text).starts_with(u8(u8"覆盖原文件保存么"))) saveByRename(path, "late", app.get());
    };
    w.click(Unit::开始书写按钮);
    ASSERT_EQ(w.messages.size(), 2u);
    EXPECT_TRUE(has(messageAt(1), u8"被其他程序改动过"));
    EXPECT_EQ(readBytes(path), "late");
    expectWriting();
}

TEST_F(OnDiskTest, DeletedDocumentIsSavedAgainAtItsPlaceOrElsewhere) {
    const std::string path = dir / "ch1.txt";
    openAndType(path);
    ::unlink(path.c_str());
    w.answers = {Answer::Yes};
    ctrlS();
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_TRUE(has(messageAt(0), u8"被删除或移走了"));
    EXPECT_EQ(readBytes(path), w.text(Unit::编辑框1));

    // Moved away: saved where the writer chooses, and bound there.
    ASSERT_EQ(::rename(path.c_str(), (dir / "moved.txt").c_str()), 0);
    w.answers = {Answer::No};
    w.dialogResults = {dir / "chosen.txt"};
    ctrlS();
    EXPECT_EQ(readBytes(dir / "chosen.txt"), w.text(Unit::编辑框1));
    EXPECT_FALSE(fileExists(path));
    EXPECT_EQ(session().record().currentPath, dir / "chosen.txt");
}

TEST_F(OnDiskTest, AnotherProgramsChangeIsToldOnceInTheStatusBarAndOwnSavesAreNot) {
    const std::string path = dir / "ch1.txt";
    openAndType(path);
    EXPECT_EQ(w.watchedFile, path);
    // The program's own save fires the watcher too: nothing to say.
    ctrlS();
    for (int i = 0; i < StatusNote::kSeconds; ++i) w.tick(Unit::时钟2);
    const Text tips = w.statusText(kTipPart);
    w.fileChangedOnDisk(path);
    EXPECT_EQ(w.statusText(kTipPart), tips);

    saveByRename(path, "elsewhere", app.get());
    w.fileChangedOnDisk(path);
    EXPECT_TRUE(has(gbkToUtf8Lossy(w.statusText(kTipPart)), u8"刚被其他程序改动过"));
    EXPECT_EQ(w.announced().size(), 2u);  // 已保存, then the change
    w.fileChangedOnDisk(path);
    EXPECT_EQ(w.announced().size(), 2u);  // once

    w.answers = {Answer::No};
    ctrlS();
    w.click(Unit::开始书写按钮);
    EXPECT_TRUE(w.watchedFile.empty());
}

// --- Links and other owners -------------------------------------------------

TEST_F(OnDiskTest, LinkThatReplacedTheDocumentIsNeverWrittenThroughOneTheWriterHadIs) {
    const std::string path = dir / "ch1.txt";
    const std::string secret = dir / "secret.txt";
    writeBytes(secret, "root only");
    openAndType(path);
    ::unlink(path.c_str());
    ASSERT_EQ(::symlink(secret.c_str(), path.c_str()), 0);
    w.answers = {Answer::Cancel, Answer::Yes};
    ctrlS();
    const std::string q = messageAt(0);
    EXPECT_TRUE(has(q, u8"链接")) << q;
    EXPECT_FALSE(has(q, u8"覆盖")) << q;  // no answer writes through it
    ctrlS();
    EXPECT_EQ(readBytes(secret), "root only");
    ASSERT_EQ(besideCopies().size(), 1u);
    EXPECT_EQ(readBytes(besideCopies()[0]), w.text(Unit::编辑框1));

    // A link the writer had when opening keeps working, save after save.
    w.click(Unit::开始书写按钮);  // unchanged since saved beside: ends without a question
    const std::string link = dir / "link.txt";
    ASSERT_EQ(::symlink(secret.c_str(), link.c_str()), 0);
    w.dialogResults = {link};
    w.trigger(Unit::打开文件);
    w.typeText(Unit::编辑框1, u8"加一句。");
    const std::size_t asked = w.messages.size();
    ctrlS();
    ctrlS();
    EXPECT_EQ(w.messages.size(), asked);
    EXPECT_EQ(readBytes(secret), w.text(Unit::编辑框1));
}

// As root: another user replaces root's document, after a crash, by a link
// to a root-only file; root restores and saves.
TEST(OnDiskRestore, LinkPlantedByAnotherUserAfterACrashIsNeverWrittenThrough) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
    TempDir dir;
    const std::string docs = dir / "docs";
    std::filesystem::create_directory(docs);
    ::chmod(dir.path().c_str(), 0755);
    ::chmod(docs.c_str(), 01777);  // a shared folder, sticky as /tmp
    const std::string path = docs + "/novel.txt";
    const std::string secret = dir / "shadow";
    writeBytes(secret, "root only");
    ::chmod(secret.c_str(), 0600);
    writeBytes(path, g(u8"小说"));
    crashWhile(dir, [&](FakeWindow& cw, Application&) {
        cw.dialogResults = {path};
        cw.trigger(Unit::打开文件);
        cw.typeText(Unit::编辑框1, u8"第二段。");
    });
    // The other user cannot remove root's file from a sticky folder: it was
    // moved away by root's own hand (a sync tool), and the name taken.
    ::unlink(path.c_str());
    otherProcess([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) return false;
        return ::symlink(secret.c_str(), path.c_str()) == 0;
    });
    FakeWindow w;
    FixedClock clock{{2016, 1, 2, 0, 0, 0}};
    w.answers = {Answer::Yes};
    Application app(w, clock, SettingsStore(dir.path()));
    app.start();
    ASSERT_TRUE(app.session().writing());
    w.answers = {Answer::Cancel};
    w.pressKey(Unit::编辑框1, key::S, modifier::Ctrl);
    EXPECT_TRUE(w.lastMessage().find(u8(u8"链接")) != std::string::npos) << w.lastMessage();
    EXPECT_EQ(readBytes(secret), "root only");
    // Closing asks the same; cancelled, the file is still untouched.
    w.answers = {Answer::Cancel};
    EXPECT_FALSE(w.userCloses());
    EXPECT_EQ(readBytes(secret), "root only");
    w.answers = {Answer::No};
    w.dialogResults = {dir / "saved.txt"};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(dir / "saved.txt"), g(u8"第二段。小说"));
    EXPECT_EQ(readBytes(secret), "root only");
}

TEST_F(OnDiskTest, FileOfAnotherOwnerInTheDocumentsPlaceIsNotWritten) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file to another user";
    const std::string path = dir / "ch1.txt";
    openAndType(path);
    saveByRename(path, "theirs", app.get());
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    w.answers = {Answer::Cancel};
    ctrlS();
    EXPECT_TRUE(has(messageAt(0), u8"另一个用户")) << messageAt(0);
    EXPECT_FALSE(has(messageAt(0), u8"覆盖"));
    EXPECT_EQ(readBytes(path), "theirs");
}

// --- Two windows, one document ----------------------------------------------

TEST_F(OnDiskTest, SecondWindowIsToldAndItsSavesFollowTheFirstsChanges) {
    const std::string path = dir / "ch1.txt";
    openAndType(path);

    FakeWindow w2;
    Application app2(w2, clock, SettingsStore(dir.path()));
    app2.start();
    w2.dialogResults = {path};
    w2.answers = {Answer::No};
    w2.trigger(Unit::打开文件);
    ASSERT_EQ(w2.messages.size(), 1u);
    EXPECT_TRUE(w2.lastMessage().starts_with(u8(u8"这个文件正在另一个Talery窗口中编辑")));
    EXPECT_FALSE(app2.session().writing());

    // A drop is told the same; opened anyway, its saves check the disk.
    w2.answers = {Answer::Yes};
    w2.dropFile(path);
    ASSERT_TRUE(app2.session().writing());
    ctrlS();  // the first window saves
    w2.typeText(Unit::编辑框1, u8"第二个窗口。");
    w2.answers = {Answer::Cancel};
    w2.pressKey(Unit::编辑框1, key::S, modifier::Ctrl);
    EXPECT_TRUE(w2.lastMessage().find(u8(u8"被其他程序改动过")) != std::string::npos) << w2.lastMessage();

    // Both let go: the document opens again without a word.
    w2.answers = {Answer::OK, Answer::OK};
    w2.click(Unit::放弃编辑);
    w.click(Unit::开始书写按钮);
    FakeWindow w3;
    Application app3(w3, clock, SettingsStore(dir.path()));
    app3.start();
    w3.dialogResults = {path};
    w3.trigger(Unit::打开文件);
    EXPECT_TRUE(app3.session().writing());
    EXPECT_TRUE(w3.messages.empty());
}

TEST_F(OnDiskTest, RecoveringADocumentAnotherWindowHoldsIsToldToo) {
    const std::string path = dir / "ch1.txt";
    writeBytes(path, g(u8"正文"));
    crashWhile(dir, [&](FakeWindow& cw, Application&) {
        cw.dialogResults = {path};
        cw.trigger(Unit::打开文件);
        cw.typeText(Unit::编辑框1, u8"没保存的。");
    }, {}, app.get());
    w.dialogResults = {path};
    w.trigger(Unit::打开文件);
    ASSERT_TRUE(session().writing());

    FakeWindow w2;
    w2.answers = {Answer::Yes, Answer::No, Answer::No};  // restore; not while open elsewhere; then decline
    Application app2(w2, clock, SettingsStore(dir.path()));
    app2.start();
    ASSERT_EQ(w2.messages.size(), 3u);
    EXPECT_TRUE(gbkToUtf8Lossy(w2.messages[1].text).starts_with(u8(u8"这个文件正在另一个Talery窗口中编辑")));
    EXPECT_FALSE(app2.session().writing());
}

TEST_F(OnDiskTest, ProgramKilledWhileHoldingADocumentLeavesNoLockBehind) {
    const std::string path = dir / "ch1.txt";
    writeBytes(path, g(u8"正文"));
    int ready[2], go[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(go), 0);
    quietForFork(app.get());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FakeWindow cw;
        Application capp(cw, clock, SettingsStore(dir.path()));
        capp.start();
        cw.dialogResults = {path};
        cw.trigger(Unit::打开文件);
        (void)!::write(ready[1], "x", 1);
        char c;
        (void)!::read(go[0], &c, 1);  // until killed, or this test ends
        ::_exit(0);
    }
    // Only the child's ends stay open there: its end gives way if it dies.
    ::close(ready[1]);
    ::close(go[0]);
    char c;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    w.dialogResults = {path};
    w.answers = {Answer::No};
    w.trigger(Unit::打开文件);
    EXPECT_EQ(w.messages.size(), 1u);
    EXPECT_FALSE(session().writing());

    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    w.dialogResults = {path};
    w.trigger(Unit::打开文件);
    EXPECT_TRUE(session().writing());
    EXPECT_EQ(w.messages.size(), 1u);
    for (int fd : {ready[0], go[1]}) ::close(fd);
}

}  // namespace
}  // namespace talery
