#pragma once
// Timing helpers the benchmarks share, and the real window they measure.

#include "app/application.h"
#include "ui/qt/qt_window.h"

#include <QWidget>

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace talery::bench {

inline double millis(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// About 5 MB of short paragraphs with every kind of indent, ASCII punctuation and
// quotes, English, numbers, URLs and runs of empty lines.
inline Text awkwardNovel() {
    const Text pieces[] = {
        gbk(u8"  他站在山顶上,望着远方的云海.心中涌起一阵说不出的感慨!   \r\n"),
        gbk(u8"\t她问:\"你还记得3.14这个数吗?\"他笑了.\r\n\r\n\r\n"),
        gbk(u8"　　　详见http://example.com/a.html?x=1,2 ,那是他们的约定;He said \"OK\".\n"),
        gbk(u8"　风吹过来的时候,夜色已经很深了.远处传来'叮当'的声音.\r\n  \r\n"),
    };
    Text body = gbk(u8"第一章 夜色\r\n");
    for (std::size_t i = 0; body.size() < 5u << 20; ++i) body += pieces[i % 4];
    return body;
}

// The program on a shown real window with a session begun, as a writer has it.
inline void beginWriting(QtWindow& window, Application& app) {
    app.start();
    window.widget()->show();
    window.setText(Unit::章节名称, "bench");
    window.raise({.unit = Unit::开始书写按钮, .type = EventType::Click});
}

}  // namespace talery::bench
