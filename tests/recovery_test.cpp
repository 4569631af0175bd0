// Crash recovery: a program killed mid-session, and the next start on the
// same program folder offering what it was writing.

#include "session/backup.h"
#include "app_fixture.h"
#include "core/cipher.h"
#include "session/recovery.h"

#include <atomic>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace talery::test {
namespace {

// A small disk of its own over a folder, for as long as it lives (root only).
class SmallDisk {
public:
    SmallDisk(const std::string& folder, const std::string& options) : folder_(folder) {
        mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, (options + ",mode=0700").c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Takes every free block (or, with empty files, every free inode).
    void fill(bool inodes) {
        if (inodes) {
            while (::close(::open((folder_ + "/f" + std::to_string(files_)).c_str(), O_CREAT | O_WRONLY, 0600)) == 0)
                ++files_;
        } else {
            writeBytes(folder_ + "/filler", std::string(std::size_t(4) << 20, 'x'));
        }
    }
    void free(int inodes) {
        std::filesystem::remove(folder_ + "/filler");
        for (int i = 0; i < inodes && files_ > 0; ++i) std::filesystem::remove(folder_ + "/f" + std::to_string(--files_));
    }

private:
    std::string folder_;
    bool mounted_ = false;
    int files_ = 0;
};

class RecoveryTest : public ::testing::Test {
protected:
    // A fresh start on the folder the crashed program used.
    void restart(std::deque<Answer> answers = {}, std::deque<std::optional<Text>> passwords = {}) {
        app.reset();
        w = std::make_unique<FakeWindow>();
        w->answers = std::move(answers);
        w->passwordResults = std::move(passwords);
        app = std::make_unique<Application>(*w, clock, SettingsStore(dir.path()));
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

TEST_F(RecoveryTest, ALongEncipheredSessionComesBackInStepsWithProgress) {
    Text saved;
    while (saved.size() < kLongWorkBytes + kLongWorkBytes / 20) saved += g(u8"第一章，天色已晚。\r\n");
    writeBytes(dir / "长信.tlr", encryptText(saved, documentKeyText("pw")));
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        cw.passwordResults.push_back(Text("pw"));
        app.openNamedFile(dir / "长信.tlr");
        cw.typeText(Unit::编辑框1, u8"序");
    });
    restart({Answer::Yes}, {Text("pw")});
    EXPECT_EQ(w->text(Unit::编辑框1), g(u8"序") + saved);
    // The copy and its document are read, deciphered and checked with the
    // window painting, under progress that ends with the work.
    ASSERT_GE(w->progress.size(), 3u);
    EXPECT_EQ(w->progress.front().text, g(u8"正在恢复：长信"));
    EXPECT_EQ(w->progressEnds, 1);
    EXPECT_GE(w->paintsDuringWork, 5);
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

    // Killed before anything was typed: the copy reserved for it goes too.
    app.reset();
    crashWhile(dir, [](FakeWindow& cw, Application&) {
        cw.typeText(Unit::章节名称, u8"空白");
        cw.click(Unit::开始书写按钮);
    });
    ASSERT_EQ(backupCopies(dir, u8"空白").size(), 1u);
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_TRUE(backupCopies(dir, u8"空白").empty());

    // Killed after the text was given up: nothing to offer, and nothing left behind.
    app.reset();
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
    Application running(other, clock, SettingsStore(dir.path()));
    running.start();
    other.typeText(Unit::章节名称, u8"另一篇");
    other.click(Unit::开始书写按钮);
    other.typeText(Unit::编辑框1, u8"正在写");
    running.statistics().backup().flush();
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_EQ(journalEntries().size(), 1u);
}

// Declining leaves the copy, and no later session of the same title, from
// the same document, a new text or a namesake elsewhere, writes over it.
TEST_F(RecoveryTest, ADeclinedCopyOutlivesLaterSessionsOfTheSameTitle) {
    std::filesystem::create_directories(dir / "书");
    std::filesystem::create_directories(dir / "别处");
    const std::string doc = dir / u8(u8"书/第一章.txt");
    writeBytes(doc, g(u8"第一章\r\n"));
    writeBytes(dir / u8(u8"别处/第一章.txt"), g(u8"别处的第一章"));
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        app.openNamedFile(doc);
        cw.typeText(Unit::编辑框1, u8"只在备份里的一段。");
    });
    const std::string declined = backupCopy(dir, u8"第一章 ");
    const Text paragraph = readBytes(declined);
    ASSERT_NE(paragraph.find(g(u8"只在备份里的一段。")), std::string::npos);
    restart({Answer::No});
    EXPECT_NE(w->lastMessage().find(u8(u8"保留30天")), std::string::npos);
    EXPECT_NE(w->lastMessage().find(declined), std::string::npos);

    const auto sessionWithoutTyping = [&](auto start) {
        start();
        w->setText(Unit::编辑框1, w->text(Unit::编辑框1) + " ");
        app->statistics().backup().flush();
        w->answers = {Answer::OK, Answer::OK};
        w->click(Unit::放弃编辑);
    };
    sessionWithoutTyping([&] { app->openNamedFile(doc); });
    sessionWithoutTyping([&] {
        w->typeText(Unit::章节名称, u8"第一章");
        w->click(Unit::开始书写按钮);
    });
    sessionWithoutTyping([&] { app->openNamedFile(dir / u8(u8"别处/第一章.txt")); });
    EXPECT_EQ(readBytes(declined), paragraph);
    EXPECT_EQ(backupCopies(dir, u8"第一章 ").size(), 4u);  // each session its own

    // Kept for its days, then pruned; a time ahead of the clock is no age.
    const auto now = std::filesystem::file_time_type::clock::now();
    std::filesystem::last_write_time(dir / "backup/.kept-since", now - std::chrono::hours(24 * 40));
    std::filesystem::last_write_time(declined, now - std::chrono::hours(24 * 29));
    restart();
    EXPECT_TRUE(std::filesystem::exists(declined));
    const std::string ahead = backupCopies(dir, u8"第一章 ")[1];
    std::filesystem::last_write_time(ahead, now + std::chrono::hours(24 * 400));
    std::filesystem::last_write_time(declined, now - std::chrono::hours(24 * 31));
    restart();
    EXPECT_FALSE(std::filesystem::exists(declined));
    EXPECT_TRUE(std::filesystem::exists(ahead));
}

// Two programs on one folder, writing namesakes: each crash brings back its own text.
TEST_F(RecoveryTest, TwoProgramsWithOneTitleKeepTheirOwnCopies) {
    std::filesystem::create_directories(dir / "A");
    std::filesystem::create_directories(dir / "B");
    const std::string a = dir / u8(u8"A/第一章.txt"), b = dir / u8(u8"B/第一章.txt");
    writeBytes(a, g(u8"甲"));
    writeBytes(b, g(u8"乙"));
    FakeWindow other;
    Application programB(other, clock, SettingsStore(dir.path()));
    programB.start();
    programB.openNamedFile(b);
    other.typeText(Unit::编辑框1, u8"B写的");
    programB.statistics().backup().flush();
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        app.openNamedFile(a);
        cw.typeText(Unit::编辑框1, u8"A写的");
    }, {}, &programB);
    other.typeText(Unit::编辑框1, u8"还在写");
    programB.statistics().backup().flush();

    restart({Answer::Yes});
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_NE(w->lastMessage().find(a), std::string::npos);
    EXPECT_EQ(w->text(Unit::编辑框1), g(u8"A写的甲"));
    w->answers = {Answer::Yes};
    w->click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(a), g(u8"A写的甲"));
    EXPECT_EQ(readBytes(b), g(u8"乙"));
    EXPECT_EQ(other.text(Unit::编辑框1), g(u8"B写的还在写乙"));
}

// A second start while the first one asks is offered nothing: the entry is claimed.
TEST_F(RecoveryTest, ASecondStartDuringTheQuestionIsOfferedNothing) {
    crashWhile(dir, [](FakeWindow& cw, Application&) {
        cw.typeText(Unit::章节名称, u8"孤本");
        cw.click(Unit::开始书写按钮);
        cw.typeText(Unit::编辑框1, u8"正文");
    });
    FakeWindow second;  // answers nothing: any question fails the test
    std::unique_ptr<Application> secondProgram;
    app.reset();
    w = std::make_unique<FakeWindow>();
    w->answers = {Answer::Yes};
    w->whileMessageShown = [&](const MessageRecord&) {
        secondProgram = std::make_unique<Application>(second, clock, SettingsStore(dir.path()));
        secondProgram->start();
    };
    app = std::make_unique<Application>(*w, clock, SettingsStore(dir.path()));
    app->start();
    ASSERT_TRUE(secondProgram);
    EXPECT_TRUE(second.messages.empty());
    EXPECT_TRUE(app->session().writing());
    EXPECT_FALSE(secondProgram->session().writing());
    // Only the restoring program's own entry is left, naming the restored copy.
    ASSERT_EQ(journalEntries().size(), 1u);
    EXPECT_EQ(backupCopies(dir).size(), 1u);
}

// Time stamps from other clocks decide nothing; reused process ids and probe
// errors never cost an entry.
TEST_F(RecoveryTest, NeitherClocksNorProcessIdsNorProbeErrorsLoseAnEntry) {
    const std::string doc = dir / "d.txt";
    writeBytes(doc, g(u8"存档"));
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        app.openNamedFile(doc);
        cw.typeText(Unit::编辑框1, u8"新写的");
    });
    // The document came from a machine whose clock runs a day ahead.
    std::filesystem::last_write_time(doc, std::filesystem::file_time_type::clock::now() + std::chrono::hours(24));
    ASSERT_EQ(journalEntries().size(), 1u);
    const std::string crashed = dir / ("backup/" + journalEntries()[0]);
    // Renamed as an older version would have named it: by this program's own id.
    const std::string sameId = dir / ("backup/session-" + std::to_string(::getpid()) + "-1.journal");
    std::filesystem::rename(crashed, sameId);

    // A probe that fails (a lock file that cannot be opened) counts as held.
    ::symlink("/nonexistent", (dir / ("backup/session-" + std::to_string(::getpid()) + "-1.lock")).c_str());
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_TRUE(std::filesystem::exists(sameId));
    std::filesystem::remove(dir / ("backup/session-" + std::to_string(::getpid()) + "-1.lock"));

    // No descriptor to spare: nothing offered, nothing removed.
    quietForFork(app.get());
    const pid_t child = ::fork();
    if (child == 0) {
        rlimit none{3, 3};
        ::setrlimit(RLIMIT_NOFILE, &none);
        const bool found = !findInterruptedSessions(dir.path()).empty();
        ::_exit(found ? 1 : 0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_TRUE(std::filesystem::exists(sameId));

    // This program, with the crashed one's id, runs a session and ends it:
    // the crashed entry is still there, and offered.
    app->openNamedFile(doc);
    w->answers = {Answer::OK, Answer::OK};
    w->click(Unit::放弃编辑);
    EXPECT_TRUE(std::filesystem::exists(sameId));
    restart({Answer::Yes});
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_EQ(w->text(Unit::编辑框1), g(u8"新写的存档"));
}

// A scan running while programs start and end sessions never takes a live entry.
TEST(SessionJournalTest, AScanNeverClaimsALiveEntry) {
    TempDir dir;
    std::atomic<bool> done{false};
    std::atomic<int> lost{0};
    std::thread writer([&] {
        SessionJournal journal(dir.path());
        for (int i = 0; i < 300; ++i) {
            if (!journal.begin({"t", dir / "backup/copy.txt", "", false, {}})) ++lost;
            if (!std::filesystem::exists(journal.entryPath())) ++lost;
            journal.end();
        }
        done = true;
    });
    int scans = 0;
    while (!done) {
        for (InterruptedSession& s : findInterruptedSessions(dir.path())) s.forget();
        ++scans;
    }
    writer.join();
    EXPECT_EQ(lost, 0);
    EXPECT_GT(scans, 0);
}

// A start claims a bounded number of entries (each holds a descriptor) and
// leaves the rest for the next; a copy too big to compare is offered unread.
TEST(SessionJournalTest, AStartTakesABoundedShareAndReadsNoHugeCopy) {
    TempDir dir;
    std::filesystem::create_directory(dir / "backup");
    ::chmod((dir / "backup").c_str(), 0700);
    for (int i = 0; i < 40; ++i) {
        const std::string copy = dir / ("backup/c" + std::to_string(i) + ".txt");
        writeBytes(copy, "text");
        writeBytes(dir / ("backup/session-9-" + std::to_string(i) + ".journal"),
                   formatJournalEntry({"t", copy, "", false, {}}));
    }
    std::size_t offered = 0;
    for (int start = 0; start < 2; ++start) {
        auto found = findInterruptedSessions(dir.path());
        EXPECT_LE(found.size(), 32u);
        offered += found.size();
        for (InterruptedSession& s : found) s.forget();
    }
    EXPECT_EQ(offered, 40u);

    // Equal bytes, so a comparison would find nothing to get back.
    const std::string document = dir / "big.tlr", copy = dir / "backup/big.tlr";
    for (const std::string& path : {document, copy}) {
        writeBytes(path, "");
        ASSERT_EQ(::truncate(path.c_str(), (off_t(64) << 20) + 1), 0);
    }
    writeBytes(dir / "backup/session-9-big.journal", formatJournalEntry({"t", copy, document, true, {}}));
    auto found = findInterruptedSessions(dir.path());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found[0].worthRestoring);
}

// A link put where the copy goes is replaced, never written through.
TEST(BackupCopyTest, ALinkInPlaceOfTheCopyIsReplacedNotFollowed) {
    TempDir dir;
    std::filesystem::create_directory(dir / "backup");
    ::chmod((dir / "backup").c_str(), 0700);
    const std::string elsewhere = dir / "elsewhere.txt", copy = dir / "backup/copy.txt";
    writeBytes(elsewhere, "theirs");
    ::chmod(elsewhere.c_str(), 0644);
    ASSERT_EQ(::symlink(elsewhere.c_str(), copy.c_str()), 0);
    bool given = false;  // an empty slice ends the copy
    const SliceSource once = [&]() -> std::optional<Text> { return std::exchange(given, true) ? "" : g(u8"第一章"); };
    ASSERT_TRUE(writeBackup({copy, std::nullopt}, once));
    EXPECT_EQ(readBytes(elsewhere), "theirs");
    EXPECT_FALSE(std::filesystem::is_symlink(copy));
    EXPECT_EQ(readBytes(copy), g(u8"第一章"));
    struct stat st {};
    ASSERT_EQ(::stat(copy.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// Run where every folder sync fails: a copy or entry whose name may not
// outlive a power cut counts as not made; a document is still saved.
TEST(FailedFolderSync, TheNetIsNotMadeButTheDocumentIsSaved) {
    if (!std::getenv("TALERY_FOLDER_SYNC_FAILS")) GTEST_SKIP() << "needs the failing sync preloaded";
    TempDir dir;
    FileError error;
    EXPECT_FALSE(reserveBackupCopy(dir.path(), g(u8"第一章"), {2016, 1, 2, 8, 0, 0}, false, &error));
    EXPECT_EQ(error.code, EIO);
    EXPECT_TRUE(std::filesystem::is_empty(dir / "backup"));
    EXPECT_FALSE(writeFileAtomic(dir / "backup/copy.txt", "text", nullptr, InPlace::Refuse, {}, FileMode::OwnerOnly));
    SessionJournal journal(dir.path());
    EXPECT_FALSE(journal.begin({"t", dir / "backup/copy.txt", "", false, {}}));
    EXPECT_TRUE(writeFileAtomic(dir / "chapter.txt", "text"));
    EXPECT_EQ(readBytes(dir / "chapter.txt"), "text");
}

// The enciphered copy of a short text never opens under a wrong password,
// though that password may well decipher it into valid GBK.
TEST_F(RecoveryTest, AShortEncipheredCopyNeverOpensUnderAWrongPassword) {
    const Text saved = g(u8"短");
    writeBytes(dir / "s.tlr", encryptText(saved, documentKeyText("pw")));
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        cw.passwordResults.push_back(Text("pw"));
        app.openNamedFile(dir / "s.tlr");
        cw.typeText(Unit::编辑框1, u8"十四个字节的秘");
    });
    ASSERT_EQ(readBytes(backupCopy(dir, u8"s ")).size(), 16u);
    std::deque<Answer> answers;
    std::deque<std::optional<Text>> passwords;
    int plausible = 0;
    for (int i = 0; i < 200; ++i) {
        const Text wrong = "guess" + std::to_string(i);
        plausible += plausibleDecipheredText(decryptBytes(readBytes(backupCopy(dir, u8"s ")), documentKeyText(wrong)));
        answers.insert(answers.end(), {Answer::Yes, Answer::OK});
        passwords.push_back(wrong);
    }
    // Closing the dialog asks again; only the right password then opens it.
    answers.insert(answers.end(), {Answer::Yes, Answer::Yes});
    passwords.insert(passwords.end(), {std::nullopt, Text("pw")});
    restart(answers, passwords);
    EXPECT_TRUE(app->session().writing());
    EXPECT_EQ(w->passwordDialogs.size(), 202u);
    EXPECT_EQ(w->messages.size(), 402u);
    EXPECT_TRUE(w->answers.empty());
    EXPECT_EQ(w->text(Unit::编辑框1), g(u8"十四个字节的秘短"));
    EXPECT_EQ(app->session().record().password, "pw");
    EXPECT_GT(plausible, 0);  // the text alone could not have told them all
}

// Saved enciphered, a text leaves no plain copy in the program folder.
TEST_F(RecoveryTest, SavedEncipheredNoPlainCopyRemains) {
    restart();
    const auto noPlainText = [&](const Text& secret) {
        for (const auto& e : std::filesystem::recursive_directory_iterator(dir.path())) {
            if (!e.is_regular_file()) continue;
            EXPECT_EQ(readBytes(e.path()).find(secret), std::string::npos) << e.path();
        }
    };
    w->typeText(Unit::章节名称, u8"机密");
    w->click(Unit::开始书写按钮);
    w->typeText(Unit::编辑框1, u8"不可外传");
    app->statistics().backup().flush();
    ASSERT_EQ(readBytes(backupCopy(dir, u8"机密 ")), g(u8"机密\r\n不可外传"));
    w->typeText(Unit::编辑框1, u8"的一句");  // pending when the save comes
    w->dialogResults = {dir / "机密.tlr"};
    w->passwordResults = {Text("pw")};
    w->click(Unit::开始书写按钮);
    app->statistics().backup().flush();
    // Whatever the writer's thread still held is given up: no copy comes after the save.
    ASSERT_TRUE(app->statistics().backup().waitUntilIdle(std::chrono::seconds(10)));
    w->runPosted();
    noPlainText(g(u8"不可外传"));

    w->trigger(Unit::新建日记);
    w->typeText(Unit::编辑框1, u8"今天的秘密");
    app->statistics().backup().flush();
    w->dialogResults = {dir / "日记.tlr"};
    w->answers = {Answer::Yes};  // the previous password
    w->click(Unit::开始书写按钮);
    noPlainText(g(u8"今天的秘密"));
    EXPECT_TRUE(backupCopies(dir).empty());
}

// An earlier program folder in a build tree is named once; nothing is moved.
TEST_F(RecoveryTest, AnEarlierFolderIsNamedOnceAndLeftAlone) {
    restart();
    TempDir earlier;
    writeBytes(earlier / "setting.ini", "old settings");
    app->tellAboutEarlierFolder(earlier.path());
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_NE(w->lastMessage().find(earlier.path()), std::string::npos);
    EXPECT_NE(w->lastMessage().find(dir.path()), std::string::npos);
    app->tellAboutEarlierFolder(earlier.path());
    restart();
    app->tellAboutEarlierFolder(earlier.path());
    app->tellAboutEarlierFolder(dir.path());
    EXPECT_TRUE(w->messages.empty());
    EXPECT_EQ(readBytes(earlier / "setting.ini"), "old settings");
}

// A declined copy is kept its days from the answer; copies an earlier
// version left, from the first start of this one, which says where they are.
TEST_F(RecoveryTest, CopiesAreKeptTheirDaysFromTheAnswerAndFromTheUpgrade) {
    std::filesystem::create_directory(dir / "backup");
    ::chmod((dir / "backup").c_str(), 0700);
    const auto daysAgo = [](int days) {
        return std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * days);
    };
    const std::string earlier = dir / u8(u8"backup/旧稿.txt");
    writeBytes(earlier, g(u8"上个版本留下的"));
    std::filesystem::last_write_time(earlier, daysAgo(200));
    restart();
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_NE(w->lastMessage().find(dir / "backup"), std::string::npos);
    EXPECT_NE(w->lastMessage().find(u8(u8"保留30天")), std::string::npos);
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_TRUE(std::filesystem::exists(earlier));

    app.reset();
    crashWhile(dir, [](FakeWindow& cw, Application&) {
        cw.typeText(Unit::章节名称, u8"草稿");
        cw.click(Unit::开始书写按钮);
        cw.typeText(Unit::编辑框1, u8"唯一的一份");
    });
    const std::string copy = backupCopy(dir, u8"草稿 ");
    std::filesystem::last_write_time(copy, daysAgo(31));
    restart({Answer::No});
    EXPECT_NE(w->lastMessage().find(u8(u8"从现在起保留30天")), std::string::npos);
    restart();
    EXPECT_TRUE(std::filesystem::exists(copy));
    // Just short of their days since the answer and the upgrade, then past them.
    for (int days : {29, 31}) {
        std::filesystem::last_write_time(copy, daysAgo(days));
        std::filesystem::last_write_time(dir / "backup/.kept-since", daysAgo(days));
        restart();
        EXPECT_EQ(std::filesystem::exists(copy), days < 30);
        EXPECT_EQ(std::filesystem::exists(earlier), days < 30);
    }
}

// A full disk at the start of a session, or no inode left: the writer is
// told once, the copy and entry come as soon as there is room, and a copy
// is offered after a kill.
TEST_F(RecoveryTest, ANetThatCannotBeMadeIsToldAndMadeWhenThereIsRoom) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to mount a small disk";
    {
        SmallDisk disk(dir.path(), "size=256k");
        if (!disk.mounted()) GTEST_SKIP() << "cannot mount tmpfs here";
        restart();
        disk.fill(false);
        app.reset();
        crashWhile(dir, [&](FakeWindow& cw, Application&) {
            cw.typeText(Unit::章节名称, u8"满盘");
            cw.click(Unit::开始书写按钮);
            cw.typeText(Unit::编辑框1, u8"磁盘满时写的。");
            disk.free(0);
            cw.typeText(Unit::编辑框1, u8"有空间了。");
        });
        restart({Answer::Yes});
        EXPECT_EQ(w->text(Unit::编辑框1), g(u8"满盘\r\n磁盘满时写的。有空间了。"));
        app.reset();
    }
    {
        SmallDisk disk(dir.path(), "nr_inodes=64");
        ASSERT_TRUE(disk.mounted());
        restart();
        disk.fill(true);
        w->typeText(Unit::章节名称, u8"无节点");
        w->click(Unit::开始书写按钮);
        w->typeText(Unit::编辑框1, u8"一");
        w->typeText(Unit::编辑框1, u8"二");
        const auto told = std::count_if(w->announced().begin(), w->announced().end(), [](const Text& note) {
            return note.find(g(u8"自动备份失败")) != std::string::npos;
        });
        EXPECT_EQ(told, 1);
        EXPECT_TRUE(backupCopies(dir, u8"无节点").empty());
        disk.free(6);
        w->typeText(Unit::编辑框1, u8"三");
        app->statistics().backup().flush();
        EXPECT_EQ(readBytes(backupCopy(dir, u8"无节点 ")), g(u8"无节点\r\n一二三"));
        EXPECT_EQ(journalEntries().size(), 1u);
        app.reset();
    }
}

// Entries are files anything able to write in the folder may have made:
// what they name but a copy of the writer's own there is never touched.
TEST_F(RecoveryTest, AnEntryNamingAnythingButItsOwnCopyTouchesNothing) {
    std::filesystem::create_directory(dir / "backup");
    ::chmod((dir / "backup").c_str(), 0700);
    const std::string outside = dir / "outside";
    std::filesystem::create_directory(outside);
    ::chmod(outside.c_str(), 0755);
    const std::string empty = outside + "/empty.txt", notes = outside + u8(u8"/读书笔记.txt");
    writeBytes(empty, "");
    writeBytes(notes, g(u8"笔记"));
    ::chmod(notes.c_str(), 0644);
    const std::string link = dir / "backup/link.txt", others = dir / "backup/others.txt";
    ASSERT_EQ(::symlink(notes.c_str(), link.c_str()), 0);
    writeBytes(others, g(u8"别人的"));
    std::vector<std::string> named{empty, dir / u8(u8"backup/../outside/读书笔记.txt"), link};
    if (::geteuid() == 0 && ::chown(others.c_str(), 65534, 65534) == 0) named.push_back(others);
    for (std::size_t i = 0; i < named.size(); ++i)
        writeBytes(dir / ("backup/session-1-" + std::to_string(i) + ".journal"),
                   formatJournalEntry({g(u8"标题"), named[i], "", false, {}}));
    restart();
    EXPECT_TRUE(w->messages.empty());
    EXPECT_TRUE(journalEntries().empty());
    const auto mode = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_TRUE(std::filesystem::exists(empty));
    EXPECT_EQ(readBytes(notes), g(u8"笔记"));
    EXPECT_EQ(mode(notes), 0644u);
    EXPECT_EQ(mode(outside), 0755u);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(readBytes(others), g(u8"别人的"));
}

// A program folder or backup folder another user owns or may write in holds
// no copies, and the writer hears why.
TEST_F(RecoveryTest, AFolderOthersMayWriteInIsRefusedAndSaid) {
    ::chmod(dir.path().c_str(), 0777);
    restart();
    ASSERT_EQ(w->messages.size(), 1u);
    EXPECT_NE(w->lastMessage().find(u8(u8"其他用户可以修改")), std::string::npos);
    w->typeText(Unit::章节名称, u8"无处");
    w->click(Unit::开始书写按钮);
    EXPECT_TRUE(app->session().backupFile().empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "backup"));
    ::chmod(dir.path().c_str(), 0700);
    if (::geteuid() != 0) return;
    // A backup folder made by another user, open to all.
    app.reset();
    std::filesystem::create_directory(dir / "backup");
    ::chmod((dir / "backup").c_str(), 0777);
    ASSERT_EQ(::chown((dir / "backup").c_str(), 65534, 65534), 0);
    restart();
    w->typeText(Unit::章节名称, u8"无处");
    w->click(Unit::开始书写按钮);
    EXPECT_TRUE(app->session().backupFile().empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir / "backup"));
}

// An entry of the previous format has no password check: a mistyped
// password that happens to decipher the short copy never becomes one.
TEST_F(RecoveryTest, AnUnconfirmedPasswordNeverBecomesTheEntrysCheck) {
    writeBytes(dir / "s.tlr", encryptText(g(u8"短"), documentKeyText("pw")));
    crashWhile(dir, [&](FakeWindow& cw, Application& app) {
        cw.passwordResults.push_back(Text("pw"));
        app.openNamedFile(dir / "s.tlr");
        cw.typeText(Unit::编辑框1, u8"秘");
    });
    ASSERT_EQ(journalEntries().size(), 1u);
    const std::string entryPath = dir / ("backup/" + journalEntries()[0]);
    auto entry = parseJournalEntry(readBytes(entryPath));
    ASSERT_TRUE(entry);
    entry->passwordCheck.clear();
    writeBytes(entryPath, formatJournalEntry(*entry));
    const Text copy = readBytes(entry->backup);
    Text wrong;
    for (int i = 0; wrong.empty() && i < 5000; ++i)
        if (plausibleDecipheredText(decryptBytes(copy, documentKeyText("guess" + std::to_string(i)))))
            wrong = "guess" + std::to_string(i);
    ASSERT_FALSE(wrong.empty());
    restart({Answer::Yes}, {wrong});
    ASSERT_TRUE(app->session().writing());
    ASSERT_EQ(journalEntries().size(), 1u);
    const auto now = parseJournalEntry(readBytes(dir / ("backup/" + journalEntries()[0])));
    ASSERT_TRUE(now);
    EXPECT_TRUE(now->passwordCheck.empty());
}

// A session that ends with nothing unsaved leaves no copy behind.
TEST_F(RecoveryTest, NothingUnsavedLeavesNoCopy) {
    writeBytes(dir / "a.txt", g(u8"原文"));
    restart();
    app->openNamedFile(dir / "a.txt");
    app->statistics().backup().flush();
    w->answers = {Answer::OK, Answer::OK};
    w->click(Unit::放弃编辑);
    EXPECT_TRUE(backupCopies(dir).empty());

    app->openNamedFile(dir / "a.txt");
    w->typeText(Unit::编辑框1, u8"新");
    w->pressKey(Unit::编辑框1, key::S, modifier::Ctrl);
    w->typeText(Unit::编辑框1, u8"再");
    app->statistics().backup().flush();
    w->answers = {Answer::Yes, Answer::OK};
    w->click(Unit::开始书写按钮);
    ASSERT_TRUE(app->statistics().backup().waitUntilIdle(std::chrono::seconds(10)));
    w->runPosted();
    EXPECT_TRUE(backupCopies(dir).empty());

    // Saved with Ctrl+S, then the program closed: the copy reserved after the save goes too.
    app->openNamedFile(dir / "a.txt");
    w->typeText(Unit::编辑框1, u8"又");
    w->pressKey(Unit::编辑框1, key::S, modifier::Ctrl);
    ASSERT_TRUE(w->userCloses());
    EXPECT_TRUE(backupCopies(dir).empty());
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
