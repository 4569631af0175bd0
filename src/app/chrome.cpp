#include "app/chrome.h"

namespace talery {

int resizeSide(Unit handle) {
    switch (handle) {
        case Unit::左侧调节器: return 1;
        case Unit::右调节器: return 2;
        case Unit::上调节器: return 3;
        case Unit::左上调节器: return 4;
        case Unit::右上调节器: return 5;
        case Unit::下调节器: return 6;
        case Unit::左下调节器: return 7;
        case Unit::右下调节器: return 8;
        default: return 0;
    }
}

void toggleMaximised(Window& window) {
    window.setWindowState(window.windowState() == WindowState::Maximised ? WindowState::Normal
                                                                          : WindowState::Maximised);
}

bool handleChromeEvent(Window& window, const UiEvent& e) {
    if (e.type == EventType::DoubleClick && e.unit == Unit::标题栏) {
        toggleMaximised(window);
        return true;
    }
    if (e.type != EventType::MouseDown) return false;
    if (const int side = resizeSide(e.unit)) {
        window.startSystemResize(side);
        return true;
    }
    switch (e.unit) {
        case Unit::标题栏: window.startSystemMove(); return true;
        case Unit::最小化按钮1: window.setWindowState(WindowState::Minimised); return true;
        case Unit::关闭按钮: window.requestClose(); return true;
        default: return false;
    }
}

}  // namespace talery
