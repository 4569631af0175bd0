#pragma once
// The locked room (小黑屋): the writer sets a goal, characters added or
// minutes written, and the window goes full screen until it is met. Leaving
// before it (closing, giving up, another session) is asked twice; a phrase
// shown at the top of the window, typed into the body, leaves at once. The
// room lives only in this process: a crash or a restart never brings it back.

#include "core/settings.h"
#include "ui/window.h"

#include <cstdint>
#include <functional>

namespace talery {

struct LockedRoomSources {
    std::function<std::int64_t()> addedCharacters;  // net characters added while writing, as the live count counts
    std::function<std::int64_t()> writingSeconds;   // the status bar's writing timer
    std::function<bool()> writing;                  // a writing session is running
    std::function<void()> closePanel;
    std::function<void(const Text&)> note;          // a short note in the status bar
};

// Typed into the body, it leaves the room at once; shown at the top of the window.
const Text& lockedRoomEscapePhrase();

class LockedRoom {
public:
    LockedRoom(Window& window, const SettingsStore& settings, LockedRoomSources sources);

    bool inside() const { return inside_; }
    // The menu entry: enter after the goal dialog, or, inside, tell what is left.
    void command();
    // Before the window closes or the session ends: true when it may (outside,
    // or the writer said yes twice, which leaves the room).
    bool mayLeave();
    // Inside, the window chrome that would undo the full screen (minimise,
    // maximise, move, resize) does nothing and the information panel stays
    // shut; true when the event was held back.
    bool holdsBack(const UiEvent& event);
    // After each change of the body and each tick of the writing timer.
    void bodyChanged(const BodyChange& change);
    void tick();

    // What is left to reach the goal, in the goal's unit (0 when reached).
    std::int64_t left() const;

private:
    void enter(const WritingGoal& goal);
    void leave();
    void showProgress();
    Text leftText() const;
    void reachedIfDone();

    Window& w_;
    const SettingsStore& settings_;
    LockedRoomSources sources_;
    bool inside_ = false;
    bool reachPosted_ = false;
    WritingGoal goal_{};
    std::int64_t addedAtEntry_ = 0;
    std::int64_t secondsAtEntry_ = 0;
    Text caption_;  // the title strip's own text, given back on leaving
    // The goal reached, shown in the title strip for a while.
    static constexpr int kReachedSeconds = 8;
    Text reachedLine_;
    int reachedSecondsLeft_ = 0;
};

}  // namespace talery
