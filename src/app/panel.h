#pragma once
// The information panel 关于 and the commands that reach it: the menu entry
// "设置", the status bar, the licence page mark and the web buttons.

#include "core/settings.h"
#include "ui/window.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace talery {

// Work of other parts of the program that the panel starts. Empty functions
// do nothing, so the panel works on its own.
struct PanelHooks {
    std::function<void()> refreshTasks;  // the daily task list, refreshed when the panel opens
    std::function<void()> freshNames;    // a new person name into 编辑框4 and place name into 编辑框5
};

// The address a web button opens; empty for units that open nothing.
std::string_view webAddress(Unit button);

class InfoPanel {
public:
    InfoPanel(Window& window, const SettingsStore& settings, std::function<std::int32_t()> points);

    PanelHooks& hooks() { return hooks_; }

    void settingsCommand();     // menu "设置": show on page 0 or hide
    void showStatistics();      // a click on the status bar
    void pageChanged(int page);
    void explainBackupFolder();
    void hide();
    void openWeb(Unit button);

private:
    Window& w_;
    const SettingsStore& settings_;
    std::function<std::int32_t()> points_;
    PanelHooks hooks_;
};

}  // namespace talery
