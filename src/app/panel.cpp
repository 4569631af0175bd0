#include "app/panel.h"

#include "session/backup.h"
#include "ui/open_url.h"

namespace talery {
namespace {

constexpr int kSettingsPage = 0;
constexpr int kStatisticsPage = 1;
constexpr int kLicencePage = 3;

}  // namespace

std::string_view webAddress(Unit button) {
    switch (button) {
        // There is no author's messenger account; a mail to the program's
        // feedback subject opens in the user's own mail program instead.
        case Unit::联系作者按钮: return "mailto:?subject=Talery%20%E5%8F%8D%E9%A6%88";
        case Unit::官方博客按钮: return "https://github.com/search?q=talery&type=repositories";
        // An online dictionary with handwriting input of Chinese characters.
        case Unit::手写查字按钮: return "https://hanyu.baidu.com/";
        case Unit::世界历史按钮: return "https://zh.wikipedia.org/wiki/%E4%B8%96%E7%95%8C%E5%8E%86%E5%8F%B2";
        // Classical Chinese texts: a deep well of material for fiction.
        case units::novelMaterial: return "https://ctext.org/zh";
        default: return {};
    }
}

InfoPanel::InfoPanel(Window& window, const SettingsStore& settings, std::function<std::int32_t()> points)
    : w_(window), settings_(settings), points_(std::move(points)) {}

void InfoPanel::settingsCommand() {
    w_.setSelection(Unit::高级选择夹1, kSettingsPage);
    if (points_() >= 0 && hooks_.freshNames) hooks_.freshNames();
    if (w_.visible(Unit::关于)) {
        w_.setVisible(Unit::关于, false);
        return;
    }
    w_.setVisible(Unit::关于, true);
    if (hooks_.refreshTasks) hooks_.refreshTasks();
}

void InfoPanel::showStatistics() {
    w_.setVisible(Unit::关于, true);
    w_.setSelection(Unit::高级选择夹1, kStatisticsPage);
}

void InfoPanel::pageChanged(int page) {
    if (page == kLicencePage) settings_.program().write(gbk(u8"软件设置"), gbk(u8"新手1"), gbk(u8"真"));
}

void InfoPanel::explainBackupFolder() {
    // The copies are in a folder of their own there: name it, so it can be found.
    w_.messageBox(gbk(u8"自动保存功能保存的文本在软件所在目录下") + "\r\n" +
                      utf8ToGbkLossy(backupFolder(settings_.programDirectory())),
                  programCaption(), Buttons::OK);
}

void InfoPanel::hide() { w_.setVisible(Unit::关于, false); }

void InfoPanel::openWeb(Unit button) {
    if (const auto url = webAddress(button); !url.empty()) openUrlOrTell(w_, std::string(url));
}

}  // namespace talery
