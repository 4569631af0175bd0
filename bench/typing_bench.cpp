// Typing into a whole novel: builds a GBK novel, opens it in the real main
// window offscreen as `talery FILE` does, types into its middle one key every
// few milliseconds and prints the CPU time per keystroke (the whole process,
// getrusage), the time to open and the peak memory. With --save it then
// saves the typed-into novel over its file as 立刻保存 does (answering the
// overwrite question with yes) and prints the time that took and the peak
// memory before and after.
//
//   talery-bench [--megabytes N] [--keys N] [--interval MS] [--one-paragraph] [--baseline] [--save]
//
// --baseline loads the text into the window without the program's logic, to
// show what the toolkit alone costs.
//
//   talery-bench --shapes [--rounds N] [--only 1|5|150]
//
// --shapes measures each shape of text a writer meets in one run: a single
// paragraph of 333,000 characters (1 MB as UTF-8), a novel of 5 MB and a file
// of 150 MB. For each: the open (time, CPU, the window's longest stall, peak
// memory); then CPU per key typing and pressing Enter (each Enter followed by
// a Backspace, so the shape stays) at the end and in the middle, Talery's
// body and a bare QPlainTextEdit holding the same text taking rounds in turn,
// with the longest stall of each; the 150 MB save; and 一键排版 on 5 MB of
// short lines.

#include "bench_support.h"
#include "aids/chapter_layout.h"
#include "core/cipher.h"
#include "core/text_figures.h"
#include "app/application.h"
#include "session/documents.h"
#include "ui/qt/qt_window.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace talery;
using bench::awkwardNovel;

double cpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Passes the window's events to the program and adds up the CPU time its
// handlers take on the window's thread.
class TimedSink : public EventSink {
public:
    explicit TimedSink(EventSink& inner) : inner_(inner) {}
    void handle(const UiEvent& event) override {
        const double start = threadCpuSeconds();
        inner_.handle(event);
        seconds += threadCpuSeconds() - start;
    }
    bool closeRequested() override { return inner_.closeRequested(); }
    double seconds = 0;

private:
    EventSink& inner_;
};

double peakMegabytes() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_maxrss) / 1024.0;
}

// The peak since the last resetPeak (Linux: VmHWM); 0 where it cannot be read.
double peakSinceResetMegabytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Paragraphs of 100 to 400 characters of common ideographs and full-width
// punctuation, CR LF between them.
std::string makeNovel(std::size_t bytes, bool oneParagraph, std::size_t* paragraphs) {
    std::mt19937 rng(2015);
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::string out;
    out.reserve(bytes + 1024);
    *paragraphs = 0;
    while (out.size() < bytes) {
        const int length = pick(100, 400);
        for (int i = 0; i < length; ++i) {
            if (pick(0, 11) == 0) {
                out += pick(0, 1) ? "\xA3\xAC" : "\xA1\xA3";  // ，。
            } else {
                out += static_cast<char>(pick(0xB0, 0xD7));
                out += static_cast<char>(pick(0xA1, 0xF9));
            }
        }
        if (oneParagraph) continue;
        out += "\r\n";
        ++*paragraphs;
    }
    return out;
}

void drain() {
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// An open's stall counts the first pictures of the text too: they come
// after the open returns.
void awaitFirstPictures() {
    QEventLoop shown;
    QTimer::singleShot(250, &shown, &QEventLoop::quit);
    shown.exec();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Notes the longest time between two ticks of a 10 ms timer: how long the
// window's thread went without handling its events.
class StallWatch {
public:
    StallWatch() {
        QObject::connect(&ticker_, &QTimer::timeout, [this] {
            const qint64 now = clock_.elapsed();
            longest_ = std::max(longest_, now - last_);
            last_ = now;
        });
    }
    void start() {
        clock_.start();
        last_ = 0;
        longest_ = 0;
        ticker_.start(10);
    }
    qint64 stop() {
        ticker_.stop();
        return std::max(longest_, clock_.elapsed() - last_);
    }

private:
    QTimer ticker_;
    QElapsedTimer clock_;
    qint64 last_ = 0, longest_ = 0;
};

struct Round {
    double cpuPerKey = 0;     // the whole process, ms
    double threadPerKey = 0;  // the window's thread, ms
    qint64 stall = 0;         // ms
};

// A key as the keyboard gives it: pressed and released.
void sendKey(QWidget* to, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &press);
    QApplication::sendEvent(to, &release);
}

void pressEnter(QWidget* to) { sendKey(to, Qt::Key_Return, QStringLiteral("\r")); }

// The n-th key of a writer's typing: an ideograph, and every 25th a Backspace.
void typeNth(QWidget* to, int n) {
    static const QString ideographs = QString::fromUtf8("天地玄黄宇宙洪荒日月盈昃辰宿列张寒来暑往秋收冬藏");
    if (n % 25 == 24) sendKey(to, Qt::Key_Backspace, {});
    else sendKey(to, Qt::Key_unknown, ideographs.at(n % ideographs.size()));
}

// `count` keys into `edit` at the end or in its middle, one every `interval`
// ms from the event loop, so painting happens as it does for a writer.
// Enter keys are each followed by a Backspace.
Round typeInto(QPlainTextEdit* edit, bool middle, bool enter, int count, int interval, StallWatch& watch) {
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(middle ? edit->document()->characterCount() / 2 : edit->document()->characterCount() - 1);
    edit->setTextCursor(cursor);
    edit->setFocus();
    QCoreApplication::processEvents();
    int sent = 0;
    QTimer timer;
    QEventLoop loop;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (!enter) typeNth(edit, sent);
        else if (sent % 2 == 0) pressEnter(edit);
        else sendKey(edit, Qt::Key_Backspace, {});
        if (++sent >= count) loop.quit();
    });
    const double cpu0 = cpuSeconds(), thread0 = threadCpuSeconds();
    watch.start();
    timer.start(interval);
    loop.exec();
    timer.stop();
    QCoreApplication::processEvents();  // the last paint
    Round r;
    r.stall = watch.stop();
    r.cpuPerKey = (cpuSeconds() - cpu0) * 1000 / count;
    r.threadPerKey = (threadCpuSeconds() - thread0) * 1000 / count;
    return r;
}

// Every question a save asks is answered with its first choice (yes, OK).
void answerQuestions(QTimer& answer) {
    QObject::connect(&answer, &QTimer::timeout, [] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && dialog->objectName() == u"密码对话框") {
            dialog->findChild<QLineEdit*>()->setText(QStringLiteral("bench"));
            dialog->accept();
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (!box) return;
        if (auto* yes = box->button(QMessageBox::Yes)) yes->click();
        else if (auto* ok = box->button(QMessageBox::Ok)) ok->click();
    });
    answer.start(10);
}

struct Shape {
    const char* name;
    std::size_t gbkBytes;
    bool oneParagraph;
    int keys;  // per round and editor: fewer where a key is slow
};

int runShapes(int rounds, const std::string& only) {
    const std::filesystem::path home = std::filesystem::temp_directory_path() / ("talery-bench-" + std::to_string(getpid()));
    const Shape shapes[] = {
        {"1", 666'000, true, 8},
        {"5", 5u << 20, false, 40},
        {"150", 150u << 20, false, 40},
    };
    const char* names[] = {"one paragraph of 333,000 characters (1 MB as UTF-8)", "a novel of 5 MB",
                           "a file of 150 MB"};
    SystemClock clock;
    StallWatch watch;
    for (std::size_t s = 0; s < std::size(shapes); ++s) {
        const Shape& shape = shapes[s];
        if (!only.empty() && only != shape.name) continue;
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        setenv("TALERY_HOME", home.c_str(), 1);
        const std::string path = (home / "novel.txt").string();
        std::size_t paragraphs = 0;
        {
            const std::string novel = makeNovel(shape.gbkBytes, shape.oneParagraph, &paragraphs);
            std::ofstream(path, std::ios::binary).write(novel.data(), static_cast<std::streamsize>(novel.size()));
            std::printf("\n== %s: %.2f MB of GBK, %zu line breaks\n", names[s],
                        static_cast<double>(novel.size()) / 1048576.0, paragraphs);
        }
        QtWindow window;
        auto app = std::make_unique<Application>(window, clock, SettingsStore(home.string()));
        app->start();
        window.widget()->show();
        drain();
        resetPeak();
        const double before = peakSinceResetMegabytes();
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = cpuSeconds();
        watch.start();
        app->openNamedFile(path);
        const double openMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
        const double openCpu = (cpuSeconds() - cpu0) * 1000;
        awaitFirstPictures();
        const qint64 openStall = watch.stop();
        drain();
        std::printf("open: %.0f ms wall, %.0f ms CPU; longest stall %lld ms (first pictures included); peak memory "
                    "%.1f MB (%.1f MB before, %.2fx the file)\n",
                    openMs, openCpu, static_cast<long long>(openStall), peakSinceResetMegabytes(), before,
                    (peakSinceResetMegabytes() - before) / (static_cast<double>(shape.gbkBytes) / 1048576.0));

        auto* edit = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
        QPlainTextEdit bare;
        bare.setFont(edit->font());
        bare.resize(edit->size());
        bare.setPlainText(edit->toPlainText());
        bare.show();
        drain();
        std::printf("%-28s %10s %10s %7s %10s %10s\n", "CPU per key, medians (ms)", "Talery", "bare", "ratio",
                    "stall T", "stall bare");
        for (const bool enter : {false, true}) {
            for (const bool middle : {false, true}) {
                std::vector<double> talery, plain, thread;
                qint64 stallT = 0, stallB = 0;
                for (int r = 0; r < rounds; ++r) {
                    // In turn, each first every other round.
                    for (int k = 0; k < 2; ++k) {
                        const bool ours = (k == 0) == (r % 2 == 0);
                        const Round got = typeInto(ours ? edit : &bare, middle, enter, shape.keys, 16, watch);
                        if (ours) {
                            talery.push_back(got.cpuPerKey);
                            thread.push_back(got.threadPerKey);
                            stallT = std::max(stallT, got.stall);
                        } else {
                            plain.push_back(got.cpuPerKey);
                            stallB = std::max(stallB, got.stall);
                        }
                    }
                }
                char label[64];
                std::snprintf(label, sizeof label, "%s %s", enter ? "Enter+Backspace" : "typing",
                              middle ? "in the middle" : "at the end");
                std::printf("%-28s %10.2f %10.2f %7.2f %8lld ms %8lld ms   (Talery's window thread %.2f)\n", label,
                            median(talery), median(plain), median(talery) / median(plain),
                            static_cast<long long>(stallT), static_cast<long long>(stallB), median(thread));
                std::fflush(stdout);
            }
        }
        bare.hide();
        bare.clear();
        std::printf("peak memory while typing: %.1f MB (both boxes)\n", peakSinceResetMegabytes());
        if (shape.gbkBytes >= (100u << 20)) {
            QTimer answer;
            answerQuestions(answer);
            resetPeak();
            const double held = peakSinceResetMegabytes();
            wall.restart();
            const double saveCpu0 = cpuSeconds();
            watch.start();
            const SaveOutcome outcome = app->session().saveDocument();
            const qint64 saveStall = watch.stop();
            answer.stop();
            std::printf("save: %s, %.0f ms wall, %.0f ms CPU; longest stall %lld ms; peak memory %.1f MB (%.1f MB "
                        "before)\n",
                        outcome == SaveOutcome::Saved ? "saved" : "NOT SAVED", static_cast<double>(wall.nsecsElapsed()) / 1e6,
                        (cpuSeconds() - saveCpu0) * 1000, static_cast<long long>(saveStall), peakSinceResetMegabytes(),
                        held);
        }
        app.reset();
        drain();
        if (shape.gbkBytes >= (100u << 20)) {
            // The same text enciphered: opened with its password, changed and saved.
            const std::string tlr = (home / "novel.tlr").string();
            {
                std::ifstream in(path, std::ios::binary);
                std::string plain((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
                const std::string bytes = documentBytesFor(std::move(plain), tlr, {}, std::string(keyPrefix) + "bench");
                std::ofstream(tlr, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            }
            QtWindow window2;
            Application app2(window2, clock, SettingsStore(home.string()));
            app2.start();
            window2.widget()->show();
            drain();
            QTimer answer;
            answerQuestions(answer);
            wall.restart();
            watch.start();
            app2.openNamedFile(tlr);
            const double tlrOpenMs = static_cast<double>(wall.nsecsElapsed()) / 1e6;
            awaitFirstPictures();
            const qint64 tlrOpenStall = watch.stop();
            const bool opened = window2.text(Unit::编辑框1).size() + 1 >= shape.gbkBytes;
            // A word typed, so that the save writes the whole text enciphered.
            auto* edit2 = qobject_cast<QPlainTextEdit*>(window2.unitWidget(Unit::编辑框1));
            QTextCursor(edit2->document()).insertText(QStringLiteral("序"));
            drain();
            wall.restart();
            watch.start();
            const SaveOutcome outcome = app2.session().saveDocument();
            const qint64 tlrSaveStall = watch.stop();
            answer.stop();
            std::printf("open .tlr: %s, %.0f ms wall; longest stall %lld ms (first pictures included)\n"
                        "save .tlr: %s, %.0f ms wall; longest stall %lld ms\n",
                        opened ? "opened" : "NOT OPENED", tlrOpenMs, static_cast<long long>(tlrOpenStall),
                        outcome == SaveOutcome::Saved ? "saved" : "NOT SAVED",
                        static_cast<double>(wall.nsecsElapsed()) / 1e6, static_cast<long long>(tlrSaveStall));
        }
    }
    if (only.empty() || only == "layout") {
        std::filesystem::remove_all(home);
        std::filesystem::create_directories(home);
        setenv("TALERY_HOME", home.c_str(), 1);
        QtWindow window;
        Application app(window, clock, SettingsStore(home.string()));
        app.start();
        window.widget()->show();
        window.setText(Unit::章节名称, "bench");
        window.raise({.unit = Unit::开始书写按钮, .type = EventType::Click});
        const Text body = awkwardNovel();
        std::vector<double> press;
        qint64 stall = 0;
        for (int r = 0; r < 3; ++r) {
            window.setText(Unit::编辑框1, body);
            drain();
            const Text shown = window.text(Unit::编辑框1);
            window.setBodySelection({0, 0});
            watch.start();
            QElapsedTimer t;
            t.start();
            window.raise({.unit = Unit::编辑框1, .type = EventType::KeyDown, .key = key::L,
                          .modifiers = modifier::Ctrl | modifier::Shift});
            press.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            QCoreApplication::processEvents();
            stall = std::max(stall, watch.stop());
            if (window.text(Unit::编辑框1) != layOutChapter(shown, {})) std::puts("一键排版: the window holds another text");
        }
        std::printf("\n一键排版 on %.1f MB of short lines: key press median %.0f ms; longest stall %lld ms\n",
                    static_cast<double>(body.size()) / 1048576.0, median(press), static_cast<long long>(stall));
        // Again, on the laid-out text with its second line and its last comma undone.
        Text touched = window.text(Unit::编辑框1);
        const std::size_t indent = touched.find(gbk(u8"\r\n　　"));
        touched.replace(indent + 2, 4, "  ");
        touched.replace(touched.rfind(gbk(u8"，")), 2, ",");
        std::vector<double> again;
        for (int r = 0; r < 3; ++r) {
            window.setText(Unit::编辑框1, touched);
            drain();
            window.setBodySelection({0, 0});
            QElapsedTimer t;
            t.start();
            window.raise({.unit = Unit::编辑框1, .type = EventType::KeyDown, .key = key::L,
                          .modifiers = modifier::Ctrl | modifier::Shift});
            again.push_back(static_cast<double>(t.nsecsElapsed()) / 1e6);
            QCoreApplication::processEvents();
            if (window.text(Unit::编辑框1) != layOutChapter(touched, {})) std::puts("一键排版 again: the window holds another text");
        }
        std::printf("一键排版 again after two lines far apart changed: key press median %.0f ms\n", median(again));
    }
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const auto processStart = std::chrono::steady_clock::now();
    double megabytes = 5;
    int keys = 500, interval = 30;
    bool baseline = false, oneParagraph = false, save = false, shapes = false;
    int shapeRounds = 5;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--shapes") shapes = true;
        else if (a == "--rounds" && i + 1 < argc) shapeRounds = std::max(std::atoi(argv[++i]), 1);
        else if (a == "--only" && i + 1 < argc) only = argv[++i];
        else
        if (a == "--megabytes" && i + 1 < argc) megabytes = std::atof(argv[++i]);
        else if (a == "--keys" && i + 1 < argc) keys = std::atoi(argv[++i]);
        else if (a == "--interval" && i + 1 < argc) interval = std::atoi(argv[++i]);
        else if (a == "--baseline") baseline = true;
        else if (a == "--one-paragraph") oneParagraph = true;
        else if (a == "--save") save = true;
        else {
            std::fprintf(stderr, "usage: talery-bench [--megabytes N] [--keys N] [--interval MS] [--one-paragraph] [--baseline] [--save]\n"
                                 "       talery-bench --shapes [--rounds N] [--only 1|5|150|layout]\n");
            return 2;
        }
    }
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (shapes) {
        QApplication qt(argc, argv);
        return runShapes(shapeRounds, only);
    }
    const std::filesystem::path home = std::filesystem::temp_directory_path() / ("talery-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("TALERY_HOME", home.c_str(), 1);
    const std::string novelPath = (home / "novel.txt").string();
    std::size_t paragraphs = 0;
    {
        const std::string novel = makeNovel(static_cast<std::size_t>(megabytes * 1024 * 1024), oneParagraph, &paragraphs);
        std::ofstream(novelPath, std::ios::binary).write(novel.data(), static_cast<std::streamsize>(novel.size()));
        std::printf("novel: %.2f MB of GBK, %zu paragraphs\n", static_cast<double>(novel.size()) / 1048576.0, paragraphs);
    }

    QApplication qt(argc, argv);
    QtWindow window;
    SystemClock clock;
    std::unique_ptr<Application> app;
    // How long the window goes without handling its events while opening:
    // a timer that should tick every 10 ms notes its longest gap.
    QElapsedTimer tickClock;
    qint64 lastTick = -1, longestGap = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = tickClock.elapsed();
        if (lastTick >= 0) longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    QElapsedTimer loadTimer;
    loadTimer.start();
    tickClock.start();
    ticker.start(10);
    const double loadCpu0 = cpuSeconds();
    if (baseline) {
        window.widget()->show();
        auto decoded = decodeTextDocument(*readWholeFile(novelPath));
        window.setEnabled(Unit::编辑框1, true);
        window.setText(Unit::编辑框1, decoded->body);
    } else {
        app = std::make_unique<Application>(window, clock, SettingsStore(home.string()));
        app->start();
        window.widget()->show();
        app->openNamedFile(novelPath);
    }
    const qint64 lastGap = tickClock.elapsed() - std::max<qint64>(lastTick, 0);
    ticker.stop();
    drain();
    const double loadMs = static_cast<double>(loadTimer.nsecsElapsed()) / 1e6;
    const double loadCpuMs = (cpuSeconds() - loadCpu0) * 1000;
    const double sinceStart =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - processStart).count();
    std::printf("open: %.0f ms wall, %.0f ms CPU (%.0f ms since the process started, novel written); peak memory %.1f MB\n",
                loadMs, loadCpuMs, sinceStart, peakMegabytes());
    std::printf("  the window's longest time without handling events while opening: %lld ms\n",
                static_cast<long long>(std::max(longestGap, lastGap)));

    auto* edit = qobject_cast<QPlainTextEdit*>(window.unitWidget(Unit::编辑框1));
    edit->setFocus();
    QTextCursor cursor = edit->textCursor();
    cursor.setPosition(edit->document()->characterCount() / 2);
    edit->setTextCursor(cursor);
    drain();

    std::unique_ptr<TimedSink> timed;
    if (app) {
        timed = std::make_unique<TimedSink>(*app);
        window.setEventSink(timed.get());
    }
    const double threadCpu0 = threadCpuSeconds();
    const double processCpu0 = cpuSeconds();

    // Rounds of keys; the CPU time of each round divided by its keys.
    const int rounds = 5;
    const int perRound = std::max(keys / rounds, 1);
    std::vector<double> perKey;
    int sent = 0;
    double roundCpu = cpuSeconds();
    QTimer timer;
    QEventLoop loop;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (sent % 40 == 39) pressEnter(edit);
        else typeNth(edit, sent);
        ++sent;
        if (sent % perRound == 0) {
            const double now = cpuSeconds();
            perKey.push_back((now - roundCpu) * 1000 / perRound);
            roundCpu = now;
        }
        if (sent >= perRound * rounds) loop.quit();
    });
    timer.start(interval);
    loop.exec();
    timer.stop();
    drain();

    std::printf("typing: %d keys, one every %d ms; CPU per keystroke, median of %d rounds: %.3f ms (rounds:", sent,
                interval, rounds, median(perKey));
    for (double v : perKey) std::printf(" %.3f", v);
    std::printf(")\n");
    const double processMs = (cpuSeconds() - processCpu0) * 1000 / sent;
    const double threadMs = (threadCpuSeconds() - threadCpu0) * 1000 / sent;
    std::printf("  of which the window's thread %.3f ms, other threads (backup) %.3f ms", threadMs, processMs - threadMs);
    if (timed) std::printf(", the program's handlers %.3f ms", timed->seconds * 1000 / sent);
    std::printf(" per keystroke (means)\n");
    if (app) {
        window.setEventSink(app.get());
        const Text body = window.text(Unit::编辑框1);
        const bool same = window.statusText(0) == liveCountText(liveCount(countFigures(body))) &&
                          window.text(Unit::高级字数统计) == reportText(textFigures(body));
        std::printf("figures after typing equal a full recount: %s\n", same ? "yes" : "NO");
        // The backup copy of the typed text, on its own, before any save.
        resetPeak();
        QElapsedTimer backupTimer;
        backupTimer.start();
        lastTick = -1;
        longestGap = 0;
        tickClock.restart();
        ticker.start(10);
        while (app->statistics().backup().writesDone() == 0 && backupTimer.elapsed() < 120'000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ticker.stop();
        std::printf("backup copy: %s within %.0f ms of the check; peak memory meanwhile %.1f MB; the window's longest "
                    "time without handling events meanwhile: %lld ms\n",
                    app->statistics().backup().writesDone() > 0 ? "written" : "NOT written",
                    static_cast<double>(backupTimer.elapsed()), peakSinceResetMegabytes(),
                    static_cast<long long>(longestGap));
        if (save) {
            QTimer answer;
            answerQuestions(answer);
            resetPeak();
            const double peakBefore = peakSinceResetMegabytes();
            QElapsedTimer saveTimer;
            saveTimer.start();
            const double saveCpu0 = cpuSeconds();
            lastTick = -1;
            longestGap = 0;
            tickClock.restart();
            ticker.start(10);
            const SaveOutcome outcome = app->session().saveDocument();
            const qint64 lastSaveGap = tickClock.elapsed() - std::max<qint64>(lastTick, 0);
            ticker.stop();
            const double saveMs = static_cast<double>(saveTimer.nsecsElapsed()) / 1e6;
            answer.stop();
            std::printf("save: %s, %.0f ms wall (the questions answered within 10 ms each), %.0f ms CPU; memory "
                        "%.1f MB before, peak %.1f MB while saving\n",
                        outcome == SaveOutcome::Saved ? "saved" : "NOT SAVED", saveMs, (cpuSeconds() - saveCpu0) * 1000,
                        peakBefore, peakSinceResetMegabytes());
            std::printf("  the window's longest time without handling events while saving: %lld ms\n",
                        static_cast<long long>(std::max(longestGap, lastSaveGap)));
        }
        app.reset();  // writes the last backup
    }
    std::printf("peak memory: %.1f MB\n", peakMegabytes());
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return 0;
}
