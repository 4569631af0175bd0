// No save may destroy a document: in-place rewrites that never truncate
// first, earlier versions kept before every overwrite, long names, stale
// temporary files, line breaks and encodings that come back as they were.

#include "app_fixture.h"
#include "core/cipher.h"
#include "session/versions.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace talery {
namespace {

using namespace test;

// Runs `body` in a child process that may not create files in `lockedFolder`
// but may write the files in it: as root, by becoming "nobody" (root ignores
// folder permissions); otherwise by clearing the folder's write bits.
// Returns the child's pid; the caller waits for it. `running` is the program
// this process runs.
template <class Body>
pid_t forkLockedOut(const std::string& lockedFolder, Body body, Application* running = nullptr) {
    ::chmod(lockedFolder.c_str(), 0755);
    if (::geteuid() != 0) ::chmod(lockedFolder.c_str(), 0555);
    quietForFork(running);
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(90);
        ::_exit(body());
    }
    return child;
}

// The program folder, where versions go, belongs to whoever saves in
// forkLockedOut: a folder others may write in is refused.
void programFolderOfTheSaver(const std::string& folder) {
    if (::geteuid() == 0) (void)!::chown(folder.c_str(), 65534, 65534);
}

int waitFor(pid_t child) {
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// --- The file layer ---------------------------------------------------------

TEST(InPlaceRewrite, FullDiskFailsBeforeAnyOldByteIsTouched) {
    TempDir dir;
    const std::string path = dir / "novel.txt";
    const std::string old(200000, 'o');
    const std::string fresh(300000, 'n');
    writeBytes(path, old);
    // A file-size limit makes the disk "full" just past the old end.
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{250000, 250000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        FileError error;
        const bool ok = rewriteInPlace(path, fresh, &error);
        ::_exit(ok ? 1 : (error.targetTouched ? 2 : (error.code == EFBIG ? 0 : 3)));
    }
    EXPECT_EQ(waitFor(child), 0);
    EXPECT_EQ(readBytes(path), old);

    // Without a limit: longer, shorter and equal contents all land whole.
    for (const std::string& next : {fresh, std::string("short"), std::string(5, 's'), std::string()}) {
        FileError error;
        ASSERT_TRUE(rewriteInPlace(path, next, &error)) << error.reasonUtf8;
        EXPECT_EQ(readBytes(path), next);
    }
}

TEST(InPlaceRewrite, UsedOnlyWhereAllowedWhenTheFolderTakesNoNewFile) {
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);
    const std::string folder = dir / "locked";
    ::mkdir(folder.c_str(), 0755);
    const std::string path = folder + "/a.txt";
    writeBytes(path, "old");
    ::chmod(path.c_str(), 0666);
    EXPECT_EQ(waitFor(forkLockedOut(folder, [&] {
                  FileError error;
                  if (writeFileAtomic(path, "refused", &error, InPlace::Refuse)) return 1;
                  if (error.code != EACCES || error.targetTouched) return 2;
                  return writeFileAtomic(path, "in place", &error, InPlace::Allow) ? 0 : 3;
              })),
              0);
    EXPECT_EQ(readBytes(path), "in place");
}

TEST(AtomicWrite, LongestLegalNamesSaveAndStaleTemporaryFilesGo) {
    TempDir dir;
    const std::string ascii(255, 'a');
    std::string chinese;
    for (int i = 0; i < 85; ++i) chinese += u8name(u8"章");  // 255 bytes
    for (const std::string& name : {ascii, chinese}) {
        FileError error;
        EXPECT_TRUE(writeFileAtomic(dir / name, "text", &error)) << error.reasonUtf8;
        EXPECT_EQ(readBytes(dir / name), "text");
    }

    // A writer at work holds a lock on its file; one that has gone holds
    // none, whatever its pid names now (another process namespace reuses
    // pids: ours here).
    const std::string stale = std::string(kTempPrefix) + std::to_string(::getpid()) + "-Ab3dE9";
    const std::string live = std::string(kTempPrefix) + std::to_string(::getpid()) + "-Xy7wV2";
    for (const std::string& name : {stale, live, std::string(".talery-notes"), std::string(".talery-1-short")})
        writeBytes(dir / name, "x");
    const int held = ::open((dir / live).c_str(), O_RDONLY);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_TRUE(writeFileAtomic(dir / "b.txt", "b"));
    EXPECT_FALSE(fileExists(dir / stale));
    EXPECT_TRUE(fileExists(dir / live));
    EXPECT_TRUE(fileExists(dir / ".talery-notes"));
    EXPECT_TRUE(fileExists(dir / ".talery-1-short"));
    ::close(held);
}

TEST(FileErrors, ReasonsAreChineseForEveryErrorNumber) {
    for (int code = 1; code < 134; ++code) {
        const std::string reason = describeErrno(code);
        EXPECT_EQ(reason.find_first_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"), std::string::npos)
            << code << ": " << reason;
    }
}

// --- Versions -----------------------------------------------------------------

TEST(Versions, NamesKeepTheExtensionFitTheNameLimitAndPruneTheOldest) {
    TempDir dir;
    const std::string doc = dir / u8name(u8"第一章.草稿.tlr");
    const std::string folder = versionsFolderIn(dir.path());
    const std::string name = versionName(doc, {2026, 12, 8, 9, 5, 7}, 12);
    EXPECT_EQ(name.substr(0, std::string(u8name(u8"第一章.草稿.")).size()), u8name(u8"第一章.草稿."));
    EXPECT_EQ(name.substr(name.size() - 24), ".20261208-090507-v12.tlr");
    std::string longName;
    for (int i = 0; i < 83; ++i) longName += u8name(u8"章");
    const std::string longVersion = versionName(dir / (longName + ".txt"), {2026, 1, 1, 0, 0, 0}, 123456789);
    EXPECT_LE(longVersion.size(), 255u);
    EXPECT_EQ(longVersion.substr(longVersion.size() - 4), ".txt");

    // Two documents of one name in different folders keep apart.
    ::mkdir((dir / "other").c_str(), 0755);
    const std::string twin = dir / u8name(u8"other/第一章.草稿.tlr");
    writeBytes(twin, "twin");
    ASSERT_TRUE(keepVersion(folder, twin, {2026, 1, 1, 0, 0, 0}));
    for (int i = 0; i < 8; ++i) {
        writeBytes(doc, "v" + std::to_string(i));
        // Same second twice: the second copy must not replace the first.
        ASSERT_TRUE(keepVersion(folder, doc, {2026, 1, 1, 0, 0, i / 2}));
    }
    // Within one day every version stays.
    const auto kept = versionsOf(folder, doc);
    ASSERT_EQ(kept.size(), 8u);
    EXPECT_EQ(readBytes(kept.front()), "v7");
    EXPECT_EQ(readBytes(kept.back()), "v0");
    ASSERT_EQ(versionsOf(folder, twin).size(), 1u);
    EXPECT_EQ(readBytes(versionsOf(folder, twin).front()), "twin");
}

// Versions are ordered by their number: stamps from a clock set back, or
// another time zone, neither reorder them nor cost the copy just made.
TEST(Versions, AClockBehindTheNewestStampPrunesNothingNew) {
    TempDir dir;
    const std::string doc = dir / "a.txt", folder = versionsFolderIn(dir.path());
    for (int i = 0; i < 5; ++i) {
        writeBytes(doc, "ahead" + std::to_string(i));
        ASSERT_TRUE(keepVersion(folder, doc, {2030, 1, 1, 0, 0, i}));
    }
    writeBytes(doc, "last old text");
    const auto copy = keepVersion(folder, doc, {2026, 12, 9, 8, 0, 0});
    ASSERT_TRUE(copy);
    EXPECT_EQ(readBytes(*copy), "last old text");
    // Stamps ahead of the clock have no age: all of them stay.
    const auto kept = versionsOf(folder, doc);
    ASSERT_EQ(kept.size(), 6u);
    EXPECT_EQ(kept.front(), *copy);
    EXPECT_EQ(readBytes(kept.back()), "ahead0");

    // The real clock, and the zone changed between saves.
    const char* zone = std::getenv("TZ");
    const std::string before = zone ? zone : "";
    const std::string other = dir / "b.txt";
    ::setenv("TZ", "Asia/Shanghai", 1);
    ::tzset();
    for (int i = 0; i < 5; ++i) {
        writeBytes(other, "shanghai" + std::to_string(i));
        ASSERT_TRUE(keepVersion(folder, other, SystemClock().now()));
    }
    ::setenv("TZ", "America/Los_Angeles", 1);
    ::tzset();
    writeBytes(other, "los angeles");
    ASSERT_TRUE(keepVersion(folder, other, SystemClock().now()));
    if (zone) ::setenv("TZ", before.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
    EXPECT_EQ(readBytes(versionsOf(folder, other).front()), "los angeles");
}

// Copies of the writer's text are the owner's alone, whatever the umask; and
// the umask is never changed to be read, which would race with other threads.
TEST(Privacy, CopiesAreOwnerOnlyAndNewFilesFollowTheUmask) {
    TempDir dir;
    const mode_t old = ::umask(022);
    const std::string doc = dir / "secret.txt";
    writeBytes(doc, "x");
    ::chmod(doc.c_str(), 0600);
    ::mkdir((dir / "versions").c_str(), 0755);  // as an older version made it
    const auto version = keepVersion(versionsFolderIn(dir.path()), doc, {2026, 1, 1, 0, 0, 0});
    ASSERT_TRUE(version);
    const auto mode = [](const std::string& path) {
        struct stat st {};
        ::stat(path.c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode(*version), 0600u);
    EXPECT_EQ(mode(dir / "versions"), 0700u);

    std::atomic<int> wrongMode{0};
    const auto create = [&](const std::string& prefix) {
        for (int i = 0; i < 400; ++i) {
            const std::string path = dir / (prefix + std::to_string(i));
            if (!writeFileAtomic(path, "t") || mode(path) != 0644) ++wrongMode;
        }
    };
    std::thread a(create, "a"), b(create, "b");
    a.join();
    b.join();
    ::umask(old);
    EXPECT_EQ(wrongMode, 0);
}

// Another user watching the folder opens every temporary file the moment it
// appears: a private document's never lets them read a byte.
TEST(Privacy, AWatcherNeverOpensTheTemporaryFileOfAPrivateDocument) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to watch as a second user";
    TempDir dir;
    ::chmod(dir.path().c_str(), 0755);  // a home folder others may look into
    const std::string doc = dir / "secret.txt";
    writeBytes(doc, "x");
    ::chmod(doc.c_str(), 0600);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t watcher = ::fork();
    if (watcher == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(90);
        const int in = ::inotify_init();
        if (in < 0 || ::inotify_add_watch(in, dir.path().c_str(), IN_CREATE) < 0) ::_exit(91);
        (void)!::write(ready[1], "r", 1);
        int opened = 0;
        alignas(inotify_event) char buf[4096];
        for (;;) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
                const std::string name = e->len ? e->name : "";
                if (name == "stop") ::_exit(std::min(opened, 80));
                const int fd = ::open((dir / name).c_str(), O_RDONLY);
                if (fd >= 0) ++opened, ::close(fd);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            }
        }
    }
    ::close(ready[1]);  // a watcher that ended early closes the pipe
    char c;
    const bool watching = ::read(ready[0], &c, 1) == 1;
    ::close(ready[0]);
    bool saved = watching;
    for (int i = 0; saved && i < 2000; ++i) saved = writeFileAtomic(doc, "secret " + std::to_string(i));
    EXPECT_TRUE(saved);
    // The watcher ends at "stop" in any case, never left behind.
    writeBytes(dir / "stop", "");
    EXPECT_EQ(waitFor(watcher), 0);
}

// --- Through the session -------------------------------------------------------

class SaveSafetyTest : public AppTest {
protected:
    void openFile(const std::string& path, std::optional<Text> password = std::nullopt) {
        w.dialogResults = {path};
        if (password) w.passwordResults = {*password};
        w.trigger(Unit::打开文件);
    }
    std::string versions() const { return versionsFolderIn(dir.path()); }
    void typeAtEnd(std::u8string_view text) {
        w.setBodySelection({w.text(Unit::编辑框1).size(), 0});
        w.typeText(Unit::编辑框1, text);
    }
};

// The safety net for what no check can catch: a mistyped password that
// deciphers a short document into valid GBK by chance.
TEST_F(SaveSafetyTest, WrongPasswordEditedAndSavedLeavesTheOriginalInTheVersions) {
    const Text original = g(u8"秘密日记");  // 8 bytes
    const std::string path = dir / "diary.tlr";
    const std::string right = documentKeyText(g(u8"right"));
    writeBytes(path, encryptText(original, right));
    // A wrong password that passes the GBK check on these 8 bytes.
    Text wrong;
    for (int i = 0; i < 10000 && wrong.empty(); ++i) {
        const Text candidate = "pw" + std::to_string(i);
        if (plausibleDecipheredText(decryptBytes(readBytes(path), documentKeyText(candidate)))) wrong = candidate;
    }
    ASSERT_FALSE(wrong.empty());

    openFile(path, wrong);
    expectWriting();
    typeAtEnd(u8"x");
    w.answers = {Answer::Yes, Answer::Yes};  // overwrite, with the password in use
    w.click(Unit::开始书写按钮);
    expectIdle();
    ASSERT_NE(readBytes(path), encryptText(original, right));

    const auto kept = versionsOf(versions(), path);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(extensionOf(kept.front()), "tlr");
    // Restoring is copying the version back; it opens with the right password.
    ASSERT_TRUE(copyFileAtomic(kept.front(), path));
    openFile(path, g(u8"right"));
    expectWriting();
    EXPECT_EQ(w.text(Unit::编辑框1), original);
}

TEST_F(SaveSafetyTest, EveryCopyOfAPrivateDocumentIsPrivate) {
    const mode_t old = ::umask(022);
    const std::string path = dir / "private.txt";
    writeBytes(path, "secret");
    ::chmod(path.c_str(), 0600);
    openFile(path);
    typeAtEnd(u8"!");
    app->statistics().backup().flush();
    const auto mode = [](const std::string& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode(dir / "backup"), 0700u);
    for (const auto& e : std::filesystem::directory_iterator(dir / "backup")) EXPECT_EQ(mode(e.path()), 0600u) << e.path();
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    ::umask(old);
    expectIdle();
    EXPECT_EQ(mode(path), 0600u);
    EXPECT_EQ(mode(versions()), 0700u);
    ASSERT_EQ(versionsOf(versions(), path).size(), 1u);
    EXPECT_EQ(mode(versionsOf(versions(), path).front()), 0600u);
}

TEST_F(SaveSafetyTest, NoVersionMeansAskingBeforeOverwriting) {
    writeBytes(versions(), "a file where the folder should be");
    const std::string path = dir / "a.txt";
    writeBytes(path, "old");
    openFile(path);
    typeAtEnd(u8"+");
    w.answers = {Answer::Yes, Answer::No};  // overwrite; then, told no version can be kept, refuse
    w.click(Unit::开始书写按钮);
    expectWriting();
    EXPECT_NE(w.lastMessage().find(u8name(u8"无法保留原文件的旧版本")), std::string::npos);
    EXPECT_EQ(readBytes(path), "old");
    w.answers = {Answer::Yes, Answer::Yes};
    w.click(Unit::开始书写按钮);
    expectIdle();
    EXPECT_EQ(readBytes(path), "old+");
}

TEST_F(SaveSafetyTest, KilledInPlaceSaveLeavesTheOldContentWholeSomewhere) {
    programFolderOfTheSaver(dir.path());
    const std::string docs = dir / "docs";
    ::mkdir(docs.c_str(), 0755);
    const std::string path = docs + "/novel.txt";
    const std::string old = std::string(24u << 20, 'o') + "\r\n";
    writeBytes(path, old);
    ::chmod(path.c_str(), 0666);
    openFile(path);
    ASSERT_EQ(w.text(Unit::编辑框1).size(), old.size());
    const Text fresh(old.size() + 4096, 'n');
    w.setText(Unit::编辑框1, fresh);

    auto save = [&] {
        return forkLockedOut(docs, [&] {
            w.answers = {Answer::Yes};
            w.click(Unit::开始书写按钮);
            return session().record().phase == Phase::Idle ? 0 : 1;
        }, app.get());
    };
    // A save left alone completes in place; its length sets when to kill the others.
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(waitFor(save()), 0);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(readBytes(path), fresh);
    writeBytes(path, old);
    for (int percent : {30, 60, 75, 85, 92, 97}) {
        const pid_t child = save();
        ASSERT_GT(child, 0);  // never kill(-1): that is every process there is
        std::this_thread::sleep_for(took * percent / 100);
        ::kill(child, SIGKILL);
        waitFor(child);
        const std::string now = readBytes(path);
        bool kept = false;
        for (const auto& v : versionsOf(versions(), path)) kept = kept || readBytes(v) == old;
        EXPECT_TRUE(now == old || kept) << "at " << percent << "%: file of " << now.size() << " bytes";
        writeBytes(path, old);
    }
}

TEST_F(SaveSafetyTest, FullDiskDuringInPlaceSaveSaysNothingWasWritten) {
    programFolderOfTheSaver(dir.path());
    const std::string docs = dir / "docs";
    ::mkdir(docs.c_str(), 0755);
    const std::string path = docs + "/a.txt";
    const std::string old(100000, 'o');
    writeBytes(path, old);
    ::chmod(path.c_str(), 0666);
    openFile(path);
    w.setText(Unit::编辑框1, Text(300000, 'n'));
    const pid_t child = forkLockedOut(docs, [&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{150000, 150000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        w.answers = {Answer::Yes};
        w.click(Unit::开始书写按钮);
        const bool told = w.lastMessage().find(u8name(u8"文件没有写入")) != std::string::npos;
        return session().record().phase == Phase::Writing && told ? 0 : 1;
    }, app.get());
    EXPECT_EQ(waitFor(child), 0);
    EXPECT_EQ(readBytes(path), old);
}

TEST_F(SaveSafetyTest, UntouchedFilesAreNeitherQuestionedNorRewritten) {
    // Lone CR, LF and CR LF mixed: unified on saving, told once on opening.
    const std::string mixed = "a\rb\nc\r\r\nd";
    const std::string path = dir / "mixed.txt";
    writeBytes(path, mixed);
    openFile(path);
    ASSERT_EQ(w.messages.size(), 1u);
    EXPECT_NE(w.lastMessage().find(u8name(u8"换行")), std::string::npos);
    EXPECT_TRUE(session().bodyMatchesFile());  // closing asks nothing
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);  // saving it untouched writes nothing
    EXPECT_EQ(readBytes(path), mixed);
    EXPECT_TRUE(versionsOf(versions(), path).empty());
    // CR LF throughout: known untouched by the file's own digest.
    const std::string plain = dir / "plain.txt";
    writeBytes(plain, g(u8"第一行\r\n第二行"));
    openFile(plain);
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_TRUE(versionsOf(versions(), plain).empty());

    openFile(path);
    typeAtEnd(u8"e");
    EXPECT_FALSE(session().bodyMatchesFile());
    w.answers = {Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(readBytes(path), "a\r\nb\r\nc\r\n\r\nde");
    ASSERT_EQ(versionsOf(versions(), path).size(), 1u);
    EXPECT_EQ(readBytes(versionsOf(versions(), path).front()), mixed);

    // One style throughout, in an encrypted document too, is kept.
    const std::string key = documentKeyText("k");
    writeBytes(dir / "cr.tlr", encryptText("a\rb\r", key));
    openFile(dir / "cr.tlr", Text("k"));
    EXPECT_EQ(w.text(Unit::编辑框1), "a\r\nb\r\n");
    EXPECT_TRUE(session().bodyMatchesFile());
    typeAtEnd(u8"c");
    w.answers = {Answer::Yes, Answer::Yes};
    w.click(Unit::开始书写按钮);
    EXPECT_EQ(decryptBytes(readBytes(dir / "cr.tlr"), key), "a\rb\rc");
}

}  // namespace
}  // namespace talery
