#include "audio/wav_playback.h"

#include "audio/wav.h"
#include "session/documents.h"

namespace talery {

bool WavPlayback::openWav(const Path& path) {
    WavProblem problem;
    if (!inspectWavFile(path, &problem)) {
        window_.messageBox(gbk(u8"无法播放文件：") + utf8ToGbkLossy(path) + "\r\n" + gbk(u8"原因：") +
                               utf8ToGbkLossy(describeWavProblem(problem)),
                           programCaption(), Buttons::OK, Icon::Warning);
        return false;
    }
    window_.setVisible(Unit::wav播放器, true);
    unit_.openMedia(path);
    unit_.playMedia(-1);
    state_ = Playing;
    window_.setText(Unit::wav地址, titleFromPath(path));
    return true;
}

void WavPlayback::onPlayPauseClicked() {
    if (state_ == Playing) {
        unit_.togglePause();
        state_ = Paused;
    } else if (state_ == Paused) {
        unit_.playMedia(-1);
        state_ = Playing;
    }
}

void WavPlayback::onStopClicked() {
    unit_.stopMedia();
    unit_.closeMedia();
    window_.setVisible(Unit::wav播放器, false);
    window_.setText(Unit::wav地址, gbk(u8"wav文件未打开"));
}

}  // namespace talery
