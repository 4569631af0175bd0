#pragma once
// A short note in the tips' part of the status bar (a save that kept the
// session going): it stays a few seconds, the tips wait meanwhile, and what
// the part showed before comes back.

#include "ui/window.h"

namespace talery {

class StatusNote {
public:
    static constexpr int kSeconds = 5;

    void show(Window& window, const Text& note);
    // One tick of the one-second timer.
    void tick(Window& window);
    // The tips are held back while a note is shown.
    bool showing() const { return secondsLeft_ > 0; }

private:
    int secondsLeft_ = 0;
    Text note_, before_;
};

}  // namespace talery
