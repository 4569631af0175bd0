#pragma once
// The writing aids around the body: the body's shortcuts, the Find and
// Replace windows, time insertion, the name generators with their copy
// buttons, the writing timer and the panel's cancel label. Application hands
// every event here first; `handle` says whether it took it.

#include "aids/chapter_layout.h"
#include "aids/find_replace.h"
#include "aids/names.h"
#include "aids/writing_timer.h"
#include "core/clock.h"
#include "core/random.h"
#include "core/settings.h"
#include "session/phase.h"
#include "ui/window.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace talery {

// Random names are open from this many points up.
constexpr std::int32_t kRandomNameBound = 0;

class WritingAids {
public:
    // What the aids read of the rest of the program.
    struct Sources {
        std::function<std::int32_t()> points;
        PhaseSource phase;
        // Hears of the program's own long text before it replaces part of the body.
        ProgramTextHook programText;
    };
    // Switches large-font mode on or off, check box and body font together.
    using BigFontSwitch = std::function<void(bool on)>;

    WritingAids(Window& window, const Clock& clock, const SettingsStore& settings, SharedRandom& random,
                Sources sources);

    bool handle(const UiEvent& event);
    // The body changed (Application calls it in its place among the body's listeners).
    void bodyChanged(const BodyChange& change);
    // A tick of 时钟2: the writing timer counts while a session runs.
    void tick();

    // What the "设置" menu entry does before showing the panel: new names in
    // both boxes when the points allow, silently.
    void fillNamesIfAllowed();
    void insertCurrentTime();
    void toggleBigFont();

    FindReplace& findReplace() { return find_; }
    const WritingTimer& timer() const { return timer_; }

private:
    bool bodyKey(const UiEvent& e);
    void openWindow(FindWindowKind window);
    void newName(Unit box);
    void copyName(Unit box);
    Text selectedPlaceWord() const;
    bool namesAllowed() const { return sources_.points() >= kRandomNameBound; }
    bool writing() const { return sessionRunning(sources_.phase()); }
    // Says `refusal` when no session runs; true when one does.
    bool whileWriting(const char8_t* refusal);
    void layOutBodyWhileWriting();

    Window& w_;
    const Clock& clock_;
    const SettingsStore& settings_;
    SharedRandom& random_;
    Sources sources_;
    BigFontSwitch bigFont_;
    // Enter in the body: where its line break went in, for the indent.
    bool enterPending_ = false;
    std::optional<std::size_t> lineBreakAt_;
    // The indent Enter put in, while the writer may still type it again: full-width
    // spaces typed right behind it are taken out, up to its own length.
    void absorbTypedIndent(const BodyChange& change);
    std::optional<CarriedIndent> carried_;
    bool absorbing_ = false;
    FindReplace find_;
    WritingTimer timer_;
};

}  // namespace talery
