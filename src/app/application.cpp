#include "app/application.h"

#include "app/layout.h"
#include "app/resources.h"
#include "app/unit_table.h"
#include "tasks/points.h"

namespace talery {

Application::Application(Window& window, const Clock& clock, SettingsStore settings)
    : window_(window), clock_(clock), settings_(std::move(settings)), session_(window, clock, settings_) {
    window_.setEventSink(this);
}

Application::~Application() { window_.setEventSink(nullptr); }

void Application::start() {
    window_.setText(Unit::励志名言警句, gbk(resourceText(Resource::Quotes)));
    window_.setText(Unit::中国地理历史, gbk(resourceText(Resource::GeographyHistory)));
    window_.setText(Unit::编辑框2, gbk(resourceText(Resource::Licence)));
    window_.setText(Unit::版本标签, window_.text(Unit::标题栏));
    points_ = loadPoints(settings_.program());
    window_.setText(Unit::积分显示, pointsLabel(points_));
    settings_.program().write(gbk(u8"软件设置"), gbk(u8"最后一次登录"), dateStamp(clock_.now()));
}

void Application::handle(const UiEvent& e) {
    switch (e.type) {
        case EventType::Click:
            if (e.unit == Unit::开始书写按钮) session_.toggleWriting(false);
            else if (e.unit == Unit::放弃编辑) session_.giveUpEditing();
            else if (e.unit == Unit::文件加密器按钮) session_.showEncryptorNotice();
            break;
        case EventType::KeyDown:
            if (e.unit == Unit::章节名称 && e.key == key::Enter) {
                session_.toggleWriting(false);
                window_.setFocus(Unit::编辑框1);
            } else if (e.unit == Unit::编辑框1 && e.key == key::F12) {
                session_.giveUpEditing();
            }
            break;
        case EventType::Triggered:
            if (e.unit == Unit::新建临时文本) session_.newTemporaryText();
            else if (e.unit == Unit::清空正在编辑) session_.giveUpEditing();
            else if (e.unit == Unit::打开文件) session_.openDocument();
            else if (e.unit == Unit::退出) window_.requestClose();
            break;
        case EventType::MouseDown:
            if (e.unit == Unit::录音按钮1) window_.popupMenu(Unit::开始);
            else if (e.unit == Unit::关闭按钮) window_.requestClose();
            else if (e.unit == Unit::最小化按钮1) window_.setWindowState(WindowState::Minimised);
            else if (e.unit == Unit::标题栏) window_.startSystemMove();
            break;
        case EventType::Resized: layoutMainWindow(window_, settings_.program()); break;
        case EventType::TextChanged:  // text statistics
            if (e.unit == Unit::编辑框1) statistics_.updateTextStatistics(e.change);
            break;
        default: break;
    }
}

bool Application::closeRequested() {
    // A running session whose text is not on disk as it stands goes through
    // the save flow; if that is cancelled or fails, the window stays open.
    if (!window_.enabled(Unit::打开文件) && !session_.bodyMatchesFile()) return session_.saveDocument() == SaveOutcome::Saved;
    return true;
}

}  // namespace talery
