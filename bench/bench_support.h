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

// The program on a shown real window with a session begun, as a writer has it.
inline void beginWriting(QtWindow& window, Application& app) {
    app.start();
    window.widget()->show();
    window.setText(Unit::章节名称, "bench");
    window.raise({.unit = Unit::开始书写按钮, .type = EventType::Click});
}

}  // namespace talery::bench
