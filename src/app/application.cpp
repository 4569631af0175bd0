#include "app/application.h"

#include "app/paths.h"
#include "app/resources.h"
#include "app/tips.h"
#include "aids/writing_speed.h"

namespace talery {

Application::Application(Window& window, const Clock& clock, SettingsStore settings)
    : window_(window),
      clock_(clock),
      settings_(std::move(settings)),
      session_(window, clock, settings_,
               {.leaveDiary = [this] { diary_.diaryEnded(); },
                .saveSettings = [this] { diary_.saveSettings(); },
                .openWav = [this](const Path& path) { openWav(path); },
                .beforeBodyReplaced = [this] { statistics_.beforeBodyReplaced(); },
                .bodyLoading = [this](const Text* body) { statistics_.expectLoaded(body); },
                .discardBackup = [this] { statistics_.backup().discard([this] { window_.paintDuringWork(); }); },
                // A net that fails is said in the status bar: the writer may be typing.
                .netNote = [this](const Text& note) { note_.show(window_, note); }}),
      diary_(window, clock, settings_, session_,
             {.applyBackgroundColour = [this] { theme_.applyBackgroundColour(); },
              .saveSettings = [this] { theme_.saveSettings(); }}),
      drops_(session_, window, [this](const Path& path) { openWav(path); }),
      theme_(window, settings_, [this] { return points_; }, [this] { showNextTip(window_, random_); },
             [this] { return session_.phase(); }),
      panel_(window, settings_, [this] { return points_; }),
      shell_(window, clock, settings_, session_, diary_, theme_, points_),
      audio_(window, clock, settings_, [this](const Text& note) { note_.show(window_, note); }) {
    // Opening the information panel refreshes the task list.
    panel_.hooks().refreshTasks = [this] { refreshTasks(); };
    panel_.hooks().freshNames = [this] { aids_.fillNamesIfAllowed(); };
    window_.setEventSink(this);
    statistics_.backup().setWritten([this](bool ok, const std::string& reason) { session_.backupWritten(ok, reason); });
}

Application::~Application() { window_.setEventSink(nullptr); }

void Application::start() {
    window_.setText(Unit::励志名言警句, gbk(resourceText(Resource::Quotes)));
    window_.setText(Unit::中国地理历史, gbk(resourceText(Resource::GeographyHistory)));
    window_.setText(Unit::编辑框2, gbk(resourceText(Resource::Licence)));
    // Restores the window, the points and the theme; records the day.
    shell_.startUp();
    history_.showLimits();
    // Copies and versions kept where another user could read or move them
    // would be no protection: the writer hears why there are none.
    if (const auto problem = programDirectoryProblem(settings_.programDirectory()))
        window_.messageBox(gbk(u8"Talery的程序文件夹不能保存备份和历史版本：\r\n") +
                               utf8ToGbkLossy(settings_.programDirectory()) + gbk(u8"\r\n原因：") +
                               utf8ToGbkLossy(*problem) +
                               gbk(u8"\r\n请把环境变量TALERY_HOME设为一个只属于您的文件夹。"),
                           programCaption(), Buttons::OK, Icon::Warning);
    // A session an earlier run could not finish is offered before anything else.
    session_.offerRecovery();
}

void Application::tellAboutEarlierFolder(const Path& earlier) {
    if (earlier.empty() || earlier == settings_.programDirectory()) return;
    const Path told = earlier + "/.talery-told-where";
    if (fileExists(told)) return;
    window_.messageBox(gbk(u8"Talery的设置、备份和历史版本现在保存在：\r\n") + utf8ToGbkLossy(settings_.programDirectory()) +
                           gbk(u8"\r\n\r\n以前的设置、备份和历史版本没有移动，仍在：\r\n") + utf8ToGbkLossy(earlier) +
                           gbk(u8"\r\n构建文件夹清理时会被删除，请把需要的文件复制出来。"),
                       programCaption(), Buttons::OK, Icon::Information);
    writeFileAtomic(told, "");
}

bool Application::leavesSession(const UiEvent& e) const {
    switch (e.type) {
        case EventType::Click:
            return e.unit == Unit::放弃编辑 || (e.unit == Unit::开始书写按钮 && session_.writing());
        case EventType::KeyDown: return e.unit == Unit::编辑框1 && e.key == key::F12;
        case EventType::Triggered:
            return e.unit == Unit::新建临时文本 || e.unit == Unit::清空正在编辑 || e.unit == Unit::打开文件 ||
                   e.unit == Unit::新建日记;
        default: return false;
    }
}

void Application::handle(const UiEvent& e) {
    // The locked room: what would undo it is held back or asked about twice.
    if (room_.inside() && (room_.holdsBack(e) || (leavesSession(e) && !room_.mayLeave()))) return;
    if (e.type == EventType::Triggered && e.unit == Unit::小黑屋) {
        room_.command();
        return;
    }
    // Events several parts listen to: each sees them in the order given there.
    if (e.type == EventType::Tick && e.unit == units::secondTimer) return secondTick();
    if (e.type == EventType::TextChanged && e.unit == Unit::编辑框1) return bodyChanged(e.change);
    // The history window, its menu entry and the limits on the settings page.
    if (history_.handle(e)) return;
    if (handleShellEvent(e)) return;
    // Writing aids: the body's shortcuts, Find and Replace, time, names, writing timer.
    if (aids_.handle(e)) return;
    switch (e.type) {
        case EventType::Click:
            if (e.unit == Unit::开始书写按钮) session_.toggleWriting(false);
            else if (e.unit == Unit::放弃编辑) session_.giveUpEditing();
            else if (e.unit == Unit::文件加密器按钮) session_.showEncryptorNotice();
            // Daily tasks.
            else if (e.unit == Unit::刷新任务按钮) refreshTasks();
            else if (e.unit == Unit::称号说明按钮) tasks_.showTitleExplanation();
            // WAV player strip.
            else if (e.unit == units::playerOpen) session_.openDocument();
            else if (e.unit == units::playerPlayPause) audio_.playback().onPlayPauseClicked();
            else if (e.unit == units::playerStop) audio_.playback().onStopClicked();
            break;
        case EventType::KeyDown:
            if (e.unit == Unit::章节名称 && e.key == key::Enter) {
                session_.toggleWriting(false);
                window_.setFocus(Unit::编辑框1);
            } else if (e.unit == Unit::编辑框1 && e.key == key::F12) {
                session_.giveUpEditing();
            } else if (e.unit == Unit::编辑框1 && e.key == key::S && e.modifiers == modifier::Ctrl) {
                saveAndKeepWriting();
            }
            break;
        case EventType::Triggered:
            if (e.unit == Unit::新建临时文本) session_.newTemporaryText();
            else if (e.unit == Unit::清空正在编辑) session_.giveUpEditing();
            else if (e.unit == Unit::打开文件) session_.openDocument();
            else if (e.unit == Unit::新建日记) diary_.enterDiaryMode();
            break;
        // A dropped file; `index` is its position within the drop.
        case EventType::FileDropped: drops_.openDroppedFile(e.path, e.index); break;
        // The bound document changed on disk: said once, so the writer knows before typing on.
        case EventType::FileChanged:
            if (auto note = session_.noticeChangeOnDisk(e.path)) note_.show(window_, *note);
            break;
        case EventType::MouseDown:
            if (e.unit == Unit::录音按钮) audio_.recorder().onRecordButtonPressed();  // voice recorder
            break;
        default: break;
    }
}

void Application::secondTick() {
    note_.tick(window_);
    audio_.playback().tick();
    // The writing timer first: the speed shown and the day's count read it.
    aids_.tick();
    showWritingSpeed(window_, statistics_, aids_.timer());
    statistics_.keepDayCount(false);
    room_.tick();
}

void Application::bodyChanged(const BodyChange& change) {
    // The aids first: Enter's indent and the Find window's copy of the body
    // follow the change before anything reads the body again.
    aids_.bodyChanged(change);
    session_.keepNet();
    statistics_.updateTextStatistics(change);
    showWritingSpeed(window_, statistics_, aids_.timer());
    statistics_.keepDayCount(false);
    room_.bodyChanged(change);
    history_.bodyChanged();
}

void Application::openNamedFile(const Path& path) {
    if (path.empty()) return;
    // The session keeps the path for saving; the working folder may not last.
    drops_.openDroppedFile(path.front() == '/' ? path : currentDirectory() + "/" + path, 0);
}

void Application::saveAndKeepWriting() {
    // Told without a box: the writer goes on typing.
    if (session_.saveAndKeepWriting() == SaveOutcome::Saved)
        note_.show(window_, gbk(u8"已保存：") + utf8ToGbkLossy(session_.record().currentPath));
}

bool Application::closeRequested() {
    if (!room_.mayLeave()) return false;
    statistics_.keepDayCount(true);
    return shell_.shutDown();
}

}  // namespace talery
