// The application shell's part of Application's event table: chrome, start
// menu, tips, theme and settings page, information panel, tray and resizing.

#include "aids/chapter_layout.h"
#include "app/application.h"
#include "app/chrome.h"
#include "app/layout.h"
#include "app/tips.h"

namespace talery {

bool Application::handleShellEvent(const UiEvent& e) {
    if (handleChromeEvent(window_, e)) return true;
    switch (e.type) {
        case EventType::MouseDown:
            switch (e.unit) {
                case units::menuGlyph: window_.popupMenu(Unit::开始); return true;
                case Unit::状态条1: panel_.showStatistics(); return true;
                case Unit::超级链接框2: panel_.explainBackupFolder(); return true;
                case units::panelCancel: panel_.hide(); return true;
                default: return false;
            }
        case EventType::Triggered:
            if (e.unit == Unit::退出) window_.requestClose();
            else if (e.unit == Unit::设置) panel_.settingsCommand();
            else return false;
            return true;
        case EventType::Tick:
            if (e.unit != units::tipTimer) return false;
            if (!note_.showing()) showNextTip(window_, random_);
            return true;
        case EventType::Resized: layoutMainWindow(window_, settings_.program()); return true;
        case EventType::Tray: shell_.trayEvent(e.index); return true;
        case EventType::ColourChosen:
            if (e.unit != Unit::颜色) return false;
            theme_.applyBackgroundColour();
            return true;
        case EventType::SelectionChanged:
            if (e.unit == Unit::按钮类型) theme_.buttonStyleChosen(e.index);
            else if (e.unit == Unit::顶图类型) theme_.topImageChosen(e.index);
            else if (e.unit == Unit::文本颜色) theme_.applyTextColour();
            else return false;
            return true;
        case EventType::PageChanged:
            if (e.unit != Unit::高级选择夹1) return false;
            panel_.pageChanged(e.index);
            return true;
        case EventType::Click:
            switch (e.unit) {
                case Unit::状态栏选择: theme_.statusBarToggled(); return true;
                case Unit::透明化选择: theme_.transparencyToggled(); return true;
                case Unit::大字体: theme_.largeFontToggled(); return true;
                case Unit::自动保存: theme_.autoSaveToggled(); return true;
                case Unit::排版删除空行:
                    settings_.program().writeBool(softwareSection(), layoutDropsEmptyLinesKey(), window_.checked(e.unit));
                    return true;
                case Unit::保存设置: theme_.saveSettings(); return true;
                case Unit::联系作者按钮:
                case Unit::官方博客按钮:
                case Unit::手写查字按钮:
                case Unit::世界历史按钮:
                case units::novelMaterial:
                case units::novelMaterial2: panel_.openWeb(e.unit); return true;
                default: return false;
            }
        default: return false;
    }
}

}  // namespace talery
