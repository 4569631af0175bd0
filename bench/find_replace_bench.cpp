// Find-next and replace-all on a 5 MB novel with 10,000 matches: once on the
// logic with the fake window, once on the real window offscreen.
//
//   talery_find_bench            (set QT_QPA_PLATFORM=offscreen without a display)

#include "app/application.h"
#include "bench_support.h"
#include "ui/fake_window.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

using namespace talery;
using bench::median;
using bench::millis;
using bench::beginWriting;

namespace {

constexpr std::size_t kMatches = 10000;

// About 5 MB of Chinese paragraphs, one 夜色 in each of 10,000 of them.
Text novel() {
    const Text plain = gbk(u8"他站在山顶上，望着远方的云海，心中涌起一阵说不出的感慨。");
    const Text marked = gbk(u8"风吹过来的时候，夜色已经很深了。");
    Text body;
    for (std::size_t i = 0; i < kMatches; ++i) {
        for (int k = 0; k < 8; ++k) body += plain;
        body += marked + "\r\n";
    }
    return body;
}

struct Figures {
    double firstFind = 0;  // reads the body's bytes once
    double findNext = 0;
    double replaceAll = 0;
};

// Drives the windows through the application as the user would; `click`
// presses a button of the Replace window.
Figures run(Window& window, Application& app, const std::function<void(FindUnit)>& click, int steps) {
    const Text body = novel();
    Figures out;
    std::vector<double> all;
    for (int round = 0; round < 3; ++round) {
        window.setText(Unit::编辑框1, body);
        window.setBodySelection({0, 0});
        app.aids().findReplace().open(FindWindowKind::Replace);
        window.findWindows().setText(FindWindowKind::Replace, FindUnit::编辑框1, gbk(u8"夜色"));
        window.findWindows().setText(FindWindowKind::Replace, FindUnit::编辑框2, gbk(u8"月光"));
        app.aids().findReplace().handle({.type = EventType::TextChanged, .findWindow = FindWindowKind::Replace,
                                         .findUnit = FindUnit::编辑框1});
        out.firstFind = millis([&] { click(FindUnit::按钮1); });
        // Steps from the middle of the book: the window maps offsets from its start.
        window.setBodySelection({body.size() / 2, 0});
        std::vector<double> steps_;
        for (int i = 0; i < steps; ++i) steps_.push_back(millis([&] { click(FindUnit::按钮1); }));
        out.findNext = median(steps_);
        all.push_back(millis([&] { click(FindUnit::按钮3); }));
        if (window.text(Unit::编辑框1).find(gbk(u8"夜色")) != Text::npos) std::puts("replace-all missed a match");
    }
    out.replaceAll = median(all);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / "talery-find-bench";
    std::filesystem::remove_all(dir);  // what an interrupted run left
    std::filesystem::create_directories(dir);
    FixedClock clock({2026, 12, 8, 9, 30, 0});
    std::printf("body %zu bytes, %zu matches\n", novel().size(), kMatches);
    {
        FakeWindow window;
        Application app(window, clock, SettingsStore(dir.string()));
        app.start();
        window.click(Unit::开始书写按钮);
        const Figures f = run(window, app, [&](FindUnit u) { window.findWindows().click(FindWindowKind::Replace, u); }, 2000);
        std::printf("logic:  first find-next %.3f ms, find-next median %.4f ms, replace-all median %.1f ms\n",
                    f.firstFind, f.findNext, f.replaceAll);
    }
    {
        QtWindow window;
        Application app(window, clock, SettingsStore(dir.string()));
        beginWriting(window, app);
        // 全部替换 tells its count in a box: closed at once, as the writer would.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) box->accept();
        });
        answer.start(1);
        const Figures f = run(window, app, [&](FindUnit u) {
            static_cast<QPushButton*>(window.findWindows().unitWidget(FindWindowKind::Replace, u))->click();
        }, 50);
        std::printf("window: first find-next %.1f ms, find-next median %.2f ms, replace-all median %.1f ms\n",
                    f.firstFind, f.findNext, f.replaceAll);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
