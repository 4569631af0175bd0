#include "audio/recorder.h"

#include "core/log.h"

namespace talery {

Recorder::Recorder(Window& window, const Clock& clock, const SettingsStore& settings, CaptureDevice& device,
                   CuePlayer& cue, std::function<void(const Text&)> note)
    : window_(window), clock_(clock), settings_(settings), cue_(&cue), store_(device), note_(std::move(note)) {
    store_.onDeviceLost = [this] { onDeviceLost(); };
}

void Recorder::setDevices(CaptureDevice& device, CuePlayer& cue) {
    if (recording_ || store_.deviceOpen()) return;
    store_.setDevice(device);
    cue_ = &cue;
}

std::string Recorder::offeredName(const LocalDateTime& d) {
    return decimal(d.year) + "年" + decimal(d.month) + "月" + decimal(d.day) + "日by：Talery录音";
}

void Recorder::onRecordButtonPressed() {
    if (recording_) {
        stop();
    } else {
        start();
    }
}

void Recorder::setIdle() {
    recording_ = false;
    window_.setPicture(Unit::录音按钮, Picture::RecordIdle);
}

void Recorder::start() {
    recording_ = true;
    cue_->playStartCue();
    window_.setPicture(Unit::录音按钮, Picture::RecordActive);
    settings_.program().write(gbk(u8"软件设置"), gbk(u8"录音"), dateStamp(clock_.now()));
    if (!store_.startCapture()) {
        // Without an input device the button must not pretend to record.
        setIdle();
        logFailure(LogArea::Audio, "no sound input device could be opened for recording");
        window_.messageBox(gbk(u8"没有找到可以录音的设备，无法开始录音。\r\n请接好麦克风后再点击录音按钮。"), programCaption(),
                           Buttons::OK, Icon::Warning);
    }
}

void Recorder::say(const Text& note) {
    if (note_) note_(note);
    else window_.setStatusNote(2, note);
}

void Recorder::onDeviceLost() {
    if (!recording_) return;
    logFailure(LogArea::Audio, "the sound input device was lost while recording");
    // Said in the status bar: a box would take the keys of a writer typing meanwhile.
    say(gbk(u8"录音设备已断开，录音已经停止。再点击一次录音按钮可以保存已经录下的声音。"));
}

void Recorder::stop() {
    setIdle();
    store_.stopCapture();
    FileDialogRequest request;
    request.dialog = Unit::通用对话框3;
    request.initialFolder = settings_.dialogFolder();
    request.initialName = offeredName(clock_.now());
    // A save that fails asks again: the recording exists only in memory.
    while (auto path = window_.saveFileDialog(request)) {
        FileError error;
        if (store_.saveCapture(*path, true, &error)) {
            settings_.rememberDialogFolder(*path);
            say(gbk(u8"录音已保存：") + utf8ToGbkLossy(*path));
            return;
        }
        window_.messageBox(gbk(u8"录音没有保存：") + utf8ToGbkLossy(*path) + "\r\n" + gbk(u8"原因：") +
                               utf8ToGbkLossy(error.reasonUtf8) + "\r\n" + gbk(u8"请选择其他位置保存。"),
                           programCaption(), Buttons::OK, Icon::Warning);
        request.initialFolder = parentFolder(*path);
        request.initialName = baseName(*path);
    }
}

}  // namespace talery
