#pragma once
// The program's logic on the fake window, in a fresh program folder, on a fixed day.

#include "app/application.h"
#include "test_support.h"
#include "ui/fake_window.h"

#include <gtest/gtest.h>

#include <memory>

namespace talery::test {

inline Text g(std::u8string_view s) { return gbk(s); }
inline std::string u8(std::u8string_view s) { return u8name(s); }

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = std::make_unique<Application>(w, clock, SettingsStore(dir.path(), dir.path()));
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

    void expectWriting() {
        EXPECT_FALSE(w.enabled(Unit::章节名称));
        EXPECT_TRUE(w.enabled(Unit::编辑框1));
        EXPECT_EQ(w.alignment(Unit::编辑框1), Align::Left);
        EXPECT_EQ(w.focus(), Unit::编辑框1);
        EXPECT_EQ(w.text(Unit::开始书写按钮), g(u8"立刻保存"));
        EXPECT_FALSE(w.enabled(Unit::打开文件));
        EXPECT_FALSE(w.enabled(Unit::新建日记));
        EXPECT_EQ(session().record().phase, Phase::Writing);
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
