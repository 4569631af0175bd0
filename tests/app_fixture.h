#pragma once
// The program's logic on the fake window, in a fresh program folder, on a fixed day.

#include "app/application.h"
#include "test_support.h"
#include "ui/fake_window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <csignal>
#include <functional>
#include <memory>
#include <poll.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace talery::test {

inline Text g(std::u8string_view s) { return gbk(s); }
inline std::string u8(std::u8string_view s) { return u8name(s); }

// The backup copies in the program folder whose name starts with `title`
// (as a file name), sorted.
inline std::vector<std::string> backupCopies(const TempDir& dir, std::u8string_view title = {}) {
    std::vector<std::string> out;
    const std::string folder = dir / "backup";
    if (!std::filesystem::is_directory(folder)) return out;
    for (const auto& e : std::filesystem::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.starts_with(u8name(title)) && !name.starts_with(kTempPrefix) && !name.ends_with(".journal") &&
            name != ".kept-since")
            out.push_back(e.path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}
// The one copy of that title; empty (and the test fails) when there is not exactly one.
inline std::string backupCopy(const TempDir& dir, std::u8string_view title) {
    const auto all = backupCopies(dir, title);
    if (all.size() == 1) return all.front();
    ADD_FAILURE() << all.size() << " backup copies of " << u8name(title);
    return {};
}

inline std::size_t threadsRunning() {
    const auto tasks = std::filesystem::directory_iterator("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

// A lock another thread holds at a fork (the allocator's, say) stays held for
// ever in the child. Before forking, the program this process runs, if any,
// is let go idle: only its threads waiting for work may be left.
inline void quietForFork(Application* running) {
    if (running) {
        running->statistics().backup().flush();
        ASSERT_TRUE(running->statistics().backup().waitUntilIdle(std::chrono::seconds(10)));
        running->history().waitIdle();
    }
    // Its backup writer and its two history workers; a thread of its own that
    // ends by itself (a large file closed) is given the time to.
    const std::size_t waiting = running ? 4 : 1;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (threadsRunning() > waiting && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(threadsRunning(), waiting) << "a thread at work, or a program not named, at a fork";
}

// Runs `writing` on the fake window in a child process on the folder, and
// kills the child `afterLastKey` after it is done, as a power cut would end
// it. With no delay the backup copy is on disk before the kill.
// `alongside` is a program this process keeps running meanwhile.
inline void crashWhile(const TempDir& dir, const std::function<void(FakeWindow&, Application&)>& writing,
                       std::chrono::milliseconds afterLastKey = std::chrono::milliseconds(0),
                       Application* alongside = nullptr) {
    quietForFork(alongside);
    if (::testing::Test::HasFatalFailure()) return;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        FakeWindow w;
        FixedClock clock{{2016, 1, 1, 0, 0, 0}};
        Application app(w, clock, SettingsStore(dir.path()));
        app.start();
        writing(w, app);
        if (afterLastKey.count() == 0) app.statistics().backup().flush();
        (void)!::write(ready[1], "x", 1);
        // The event loop: the backup writer takes the body on this thread.
        for (;;) {
            w.runPosted();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // A child that died (its end of the pipe closes) or is stuck all the
    // same fails the test instead of hanging it.
    ::close(ready[1]);
    pollfd done{ready[0], POLLIN, 0};
    char c;
    const bool told = ::poll(&done, 1, 120'000) == 1 && ::read(ready[0], &c, 1) == 1;
    if (told) std::this_thread::sleep_for(afterLastKey);
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    ::close(ready[0]);
    if (!told) FAIL() << "the child never finished writing";
}

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = std::make_unique<Application>(w, clock, SettingsStore(dir.path()));
        app->start();
    }

    void expectIdle() {
        EXPECT_TRUE(w.enabled(Unit::章节名称));
        EXPECT_FALSE(w.enabled(Unit::编辑框1));
        EXPECT_EQ(w.text(Unit::开始书写按钮), g(u8"开始书写"));
        EXPECT_TRUE(w.enabled(Unit::打开文件));
        EXPECT_TRUE(w.enabled(Unit::新建日记));
        EXPECT_EQ(session().record().phase, Phase::Idle);
    }

    // `phase`: Writing, or Diary for a diary session.
    void expectWriting(Phase phase = Phase::Writing) {
        EXPECT_FALSE(w.enabled(Unit::章节名称));
        EXPECT_TRUE(w.enabled(Unit::编辑框1));
        EXPECT_EQ(w.alignment(Unit::编辑框1), Align::Left);
        EXPECT_EQ(w.focus(), Unit::编辑框1);
        EXPECT_EQ(w.text(Unit::开始书写按钮), g(u8"立刻保存"));
        EXPECT_FALSE(w.enabled(Unit::打开文件));
        EXPECT_FALSE(w.enabled(Unit::新建日记));
        EXPECT_EQ(session().record().phase, phase);
        EXPECT_EQ(session().phase(), phase);
    }

    void startWithTitle(std::u8string_view utf8Title) {
        w.typeText(Unit::章节名称, utf8Title);
        w.click(Unit::开始书写按钮);
    }

    SessionController& session() { return app->session(); }

    TempDir dir;
    FakeWindow w;
    FixedClock clock{{2016, 1, 1, 0, 0, 0}};
    std::unique_ptr<Application> app;
};

}  // namespace talery::test
