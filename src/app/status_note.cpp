#include "app/status_note.h"

#include "app/tips.h"

namespace talery {

void StatusNote::show(Window& window, const Text& note) {
    // A second note in a row keeps what was there before the first.
    if (!showing()) before_ = window.statusText(kTipPart);
    note_ = note;
    secondsLeft_ = kSeconds;
    // A note, not a tip: screen readers speak it too.
    window.setStatusNote(kTipPart, note);
}

void StatusNote::tick(Window& window) {
    if (!showing() || --secondsLeft_ > 0) return;
    // Something else (diary mode) took the part meanwhile: it stays.
    if (window.statusText(kTipPart) == note_) window.setStatusText(kTipPart, before_);
}

}  // namespace talery
