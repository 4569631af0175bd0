#pragma once
// Progress of long work on a document: opening, checking and saving it.

#include "core/files.h"
#include "core/text.h"
#include "ui/window.h"

#include <cstdint>
#include <utility>

namespace talery {

// Opening or saving a document this large is long work: the window keeps
// painting between its steps (a tenth of a second without would show), and
// shows its progress once it lasts.
constexpr std::uint64_t kLongWorkBytes = std::uint64_t(2) << 20;

// Progress of the work on one document, shown only when it is large. It
// ends before any message about the result, and at the latest with the work.
class LongWork {
public:
    LongWork(Window& window, std::uint64_t bytes, Text text)
        : window_(bytes >= kLongWorkBytes ? &window : nullptr), text_(std::move(text)) {}
    ~LongWork() { finish(); }
    LongWork(const LongWork&) = delete;
    LongWork& operator=(const LongWork&) = delete;

    void at(double fraction) {
        if (!window_) return;
        window_->showProgress(text_, fraction);
        shown_ = true;
    }
    // A step of the work that reports its own share done, mapped onto [from, to].
    Progress span(double from, double to) {
        if (!window_) return {};
        return [this, from, to](double f) { at(from + (to - from) * f); };
    }
    void finish() {
        if (window_ && shown_) window_->endProgress();
        shown_ = false;
        window_ = nullptr;
    }

private:
    Window* window_;
    Text text_;
    bool shown_ = false;
};

}  // namespace talery
