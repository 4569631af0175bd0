// One-key layout of two 5 MB novels: one of short awkward paragraphs (the
// worst case: every one of about 135,000 lines changes) and one whose
// paragraphs have a usual length of 100 to 300 characters. For each, the
// layout itself, then the whole key press on the real window (the edit, the
// statistics taking in the change). Medians of several rounds.
//
//   talery_layout_bench          (set QT_QPA_PLATFORM=offscreen without a display)

#include "aids/chapter_layout.h"
#include "app/application.h"
#include "bench_support.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

using namespace talery;
using bench::median;
using bench::millis;
using bench::awkwardNovel;
using bench::beginWriting;

namespace {

// About 5 MB in paragraphs of 100 to 300 characters, indented every which way.
Text usualNovel() {
    const Text sentence = gbk(u8"夜色已经很深了,远处传来\"叮当\"的声音.他站在山顶上,望着远方的云海!");
    const Text indents[] = {Text(), gbk(u8"  "), gbk(u8"\t"), gbk(u8"　"), gbk(u8"　　")};
    Text body = gbk(u8"第一章 夜色\r\n");
    for (std::size_t i = 0; body.size() < 5u << 20; ++i) {
        body += indents[i % 5];
        for (std::size_t n = 0; n < 3 + i % 7; ++n) body += sentence;
        body += i % 3 == 0 ? "  \r\n\r\n" : "\r\n";
    }
    return body;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / "talery-layout-bench";
    for (const auto& [name, body] : {std::pair{"short awkward paragraphs", awkwardNovel()},
                                     std::pair{"paragraphs of a usual length", usualNovel()}}) {
        std::printf("%s: %zu bytes\n", name, body.size());
        std::vector<double> logic;
        std::size_t out = 0;
        for (int round = 0; round < 7; ++round) logic.push_back(millis([&] { out = layOutChapter(body, {}).size(); }));
        std::printf("  layout alone: median %.1f ms (%zu bytes out)\n", median(logic), out);

        std::filesystem::remove_all(dir);  // what an interrupted run left
        std::filesystem::create_directories(dir);
        FixedClock clock({2026, 12, 8, 9, 30, 0});
        QtWindow window;
        Application app(window, clock, SettingsStore(dir.string()));
        beginWriting(window, app);
        std::vector<double> press, read, replace;
        for (int round = 0; round < 3; ++round) {
            window.setText(Unit::编辑框1, body);
            QApplication::processEvents();
            const Text shown = window.text(Unit::编辑框1);  // line breaks as the window keeps them
            read.push_back(millis([&] { (void)window.text(Unit::编辑框1); }));
            window.setBodySelection({0, 0});
            press.push_back(millis([&] {
                window.raise({.unit = Unit::编辑框1, .type = EventType::KeyDown, .key = key::L,
                              .modifiers = modifier::Ctrl | modifier::Shift});
            }));
            if (window.text(Unit::编辑框1) != layOutChapter(shown, {})) std::puts("the window holds another text");
            const Text laidOut = window.text(Unit::编辑框1);
            window.setText(Unit::编辑框1, body);
            QApplication::processEvents();
            replace.push_back(millis([&] { window.replaceBodyRange({0, shown.size()}, laidOut); }));
        }
        std::printf("  key press on the window: median %.1f ms (reading the body %.1f ms, replacing it whole %.1f ms)\n",
                    median(press), median(read), median(replace));
        // Enter at the end of the laid-out novel, the carried indent included.
        const std::size_t end = window.text(Unit::编辑框1).size();
        window.replaceBodyRange({end, 0}, gbk(u8"\r\n　　最后一段"));
        std::vector<double> enter;
        for (int i = 0; i < 21; ++i) {
            enter.push_back(millis([&] {
                QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
                QApplication::sendEvent(window.unitWidget(Unit::编辑框1), &press);
                QApplication::processEvents();
            }));
        }
        if (!window.text(Unit::编辑框1).ends_with(gbk(u8"\r\n\r\n　　"))) std::puts("Enter carried no indent");
        std::printf("  Enter with the carried indent: median %.2f ms\n", median(enter));
    }
    std::filesystem::remove_all(dir);
    return 0;
}
