// The history window on a long chapter, measured on the real window
// (offscreen): opening the window on 1,000 versions of a 5 MB chapter, and
// the first screen of the comparison of two 5 MB texts. While the texts are
// compared, a timer on the window's thread shows how long events waited.

#include "bench_support.h"
#include "session/text_compare.h"
#include "session/versions.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace talery;
using namespace talery::bench;

namespace {

// About 5 MB of GBK: paragraphs of usual length, each a little different.
Text chapter(int edition) {
    const Text sentence = gbk(u8"山风从谷口吹进来，带着松脂和雪的气味，他把灯芯拨亮了一些，");
    Text out = gbk(u8"第九章　长夜") + "\r\n";
    for (int paragraph = 0; out.size() < (std::size_t(5) << 20); ++paragraph) {
        out += gbk(u8"　　");
        for (int i = 0; i < 4; ++i) out += sentence;
        out += decimal(paragraph);
        // Every fortieth paragraph differs between editions.
        if (edition > 0 && paragraph % 40 == 7) out += gbk(u8"又添了一句新的话。");
        out += gbk(u8"。") + "\r\n";
    }
    return out;
}

void settle(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const auto dir = std::filesystem::temp_directory_path() / ("talery-history-bench-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    const std::string document = (dir / "chapter.txt").string();
    const Text older = chapter(0), newer = chapter(1);
    writeFileAtomic(document, newer);

    // A thousand versions of the chapter: links to one copy, so the disk holds it once.
    const std::string folder = versionsFolderIn(dir.string());
    makePrivateFolder(folder);
    const std::string original = folder + "/" + versionName(document, {2026, 1, 1, 0, 0, 0}, 1);
    writeFileAtomic(original, older, nullptr, InPlace::Refuse, {}, FileMode::OwnerOnly);
    for (int i = 2; i <= 1000; ++i) {
        const int day = 1 + i % 28, hour = i % 24;
        const std::string link = folder + "/" + versionName(document, {2026, 2, day, hour, i % 60, 0}, i);
        if (::link(original.c_str(), link.c_str()) != 0) {
            std::perror("link");
            return 1;
        }
    }
    std::printf("chapter: %zu and %zu bytes, 1000 versions\n", older.size(), newer.size());
    {
        std::uint64_t added = 0;
        const double alone = millis([&] { added = compareTexts(older, newer).addedCharacters; });
        double reading = millis([&] { (void)storedTextAsBody(*readWholeFile(original), false, {}); });
        std::printf("the comparison alone: %.0f ms (%llu characters added); reading a version: %.0f ms\n", alone,
                    static_cast<unsigned long long>(added), reading);
    }

    FixedClock clock({2026, 12, 8, 9, 30, 0});
    QtWindow window;
    Application app(window, clock, SettingsStore(dir.string()));
    app.start();
    window.widget()->show();
    app.openNamedFile(document);
    settle(300);
    QtHistoryWindow& history = window.historyWindow();

    // Opening: the menu entry until the rows are on the screen.
    const double opening = millis([&] {
        window.raise({.unit = Unit::历史版本, .type = EventType::Triggered});
        QApplication::processEvents();
    });
    const int rows = history.list()->topLevelItemCount();
    std::printf("opening the window on %d versions: %.0f ms\n", rows, opening);

    // The comparison: choosing a row until its first screen is shown, with
    // the longest wait of a 5 ms timer on the window's thread meanwhile.
    QTimer beat;
    auto last = std::chrono::steady_clock::now();
    double longest = 0;
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const auto now = std::chrono::steady_clock::now();
        longest = std::max(longest, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
    });
    beat.start(5);
    last = std::chrono::steady_clock::now();
    const auto t0 = std::chrono::steady_clock::now();
    history.list()->setCurrentItem(history.list()->topLevelItem(rows - 1));
    QPushButton* bringBack = history.button(HistoryUnit::恢复按钮);
    while (!bringBack->isEnabled()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    const double firstScreen = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    while (!history.previewComplete()) QApplication::processEvents(QEventLoop::AllEvents, 5);
    const double whole = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    beat.stop();
    std::printf("comparing two 5 MB texts: first screen after %.0f ms, whole text after %.0f ms\n", firstScreen, whole);
    std::printf("longest wait of the window's events meanwhile: %.0f ms\n", longest);
    window.raise({.type = EventType::Closed, .historyUnit = HistoryUnit::Window});
    std::filesystem::remove_all(dir);
    return 0;
}
