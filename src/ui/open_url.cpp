#include "ui/open_url.h"

namespace talery {

bool openUrlOrTell(Window& window, const std::string& url) {
    if (window.openUrl(url)) return true;
    const bool mail = url.starts_with("mailto:");
    window.messageBox(gbk(mail ? u8"没有找到可以启动的邮件程序。" : u8"没有找到可以启动的浏览器。") + "\r\n" +
                          gbk(u8"请手动打开：") + "\r\n" + utf8ToGbkLossy(url),
                      programCaption(), Buttons::OK, Icon::Warning);
    return false;
}

}  // namespace talery
