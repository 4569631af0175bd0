#pragma once
// The program on a shown real window, for the Qt tests.

#include "app/application.h"
#include "test_support.h"
#include "ui/qt/qt_window.h"

#include <QtTest>

#include <memory>

namespace talery::test {

// The program on a shown real window, on a fixed day, in a fresh program
// folder that a test may fill before start().
struct ShownProgram {
    explicit ShownProgram(LocalDateTime now = {2026, 12, 8, 9, 30, 0}) : clock(now) {}
    bool start() {
        app = std::make_unique<Application>(window, clock, SettingsStore(dir.path(), dir.path()));
        app->start();
        window.widget()->show();
        return QTest::qWaitForWindowExposed(window.widget());
    }
    TempDir dir;
    QtWindow window;
    FixedClock clock;
    std::unique_ptr<Application> app;
};

}  // namespace talery::test
