#include "audio/wav_playback.h"

#include "audio/wav.h"
#include "core/files.h"
#include "core/log.h"

#include <algorithm>

namespace talery {

bool WavPlayback::openWav(const Path& path) {
    WavProblem problem;
    if (!inspectWavFile(path, &problem)) {
        window_.messageBox(gbk(u8"无法播放文件：") + utf8ToGbkLossy(path) + "\r\n" + gbk(u8"原因：") +
                               utf8ToGbkLossy(describeWavProblem(problem)),
                           programCaption(), Buttons::OK, Icon::Warning);
        return false;
    }
    if (!unit_.openMedia(path) || !unit_.playMedia(-1)) {
        // Never silence without a word: the file is fine, the machine cannot play it.
        logFailure(LogArea::Audio, "no sound output device could play " + path);
        onStopClicked();
        state_ = NothingOpened;
        const Text said = gbk(u8"无法播放：没有可以播放声音的设备（") + titleFromPath(path) + gbk(u8"）");
        if (note_) note_(said);
        else window_.setStatusNote(2, said);
        return false;
    }
    window_.setVisible(Unit::wav播放器, true);
    state_ = Playing;
    window_.setText(Unit::wav地址, titleFromPath(path));
    return true;
}

void WavPlayback::onPlayPauseClicked() {
    // Played to its end: the click plays it again from the start.
    if (state_ == Playing) {
        if (const auto at = unit_.progress(); at && at->ended) {
            unit_.playMedia(0);
            tick();
            return;
        }
        unit_.togglePause();
        state_ = Paused;
    } else if (state_ == Paused) {
        unit_.playMedia(-1);
        state_ = Playing;
    }
}

namespace {
Text minutesSeconds(long ms) {
    const long s = std::max(0L, ms) / 1000;
    const Text seconds = decimal(s % 60);
    return decimal(s / 60) + ":" + (seconds.size() < 2 ? "0" + seconds : seconds);
}
}  // namespace

Text WavPlayback::caption(const std::optional<MediaProgress>& progress) {
    Text out = gbk(u8"wav播放控制面板");
    if (progress && progress->lengthMs > 0)
        out += "  " + minutesSeconds(progress->ended ? progress->lengthMs : progress->positionMs) + " / " +
               minutesSeconds(progress->lengthMs);
    return out;
}

void WavPlayback::tick() {
    if (state_ == NothingOpened || !window_.visible(Unit::wav播放器)) return;
    const Text shown = caption(unit_.progress());
    if (window_.text(Unit::wav播放器) != shown) window_.setText(Unit::wav播放器, shown);
}

void WavPlayback::onStopClicked() {
    unit_.stopMedia();
    unit_.closeMedia();
    window_.setVisible(Unit::wav播放器, false);
    window_.setText(Unit::wav地址, gbk(u8"wav文件未打开"));
    window_.setText(Unit::wav播放器, caption(std::nullopt));
}

}  // namespace talery
