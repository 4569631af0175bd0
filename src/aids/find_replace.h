#pragma once
// The Find and Replace windows: find-next in either direction, replace and
// replace-all in the body, and the search state both windows share.

#include "aids/text_search.h"
#include "aids/text_statistics.h"
#include "session/phase.h"
#include "ui/window.h"

namespace talery {

struct FindState {
    Text lastSearchText;            // the text searched for last, by either window
    bool replaceMatchCase = false;  // the Replace window's case box as its last find-next read it
};

class FindReplace {
public:
    // `programText` hears of a long replacement before it goes in.
    FindReplace(Window& window, PhaseSource phase, ProgramTextHook programText = {})
        : w_(window), phase_(std::move(phase)), programText_(std::move(programText)) {}

    // Opens a window; a new or hidden one shows the last search, selected.
    void open(FindWindowKind window);
    // An event of one of the two windows.
    void handle(const UiEvent& event);
    // The body changed: its bytes are read again when next needed.
    void bodyChanged();

    void findNext(FindWindowKind window);
    void replace();
    void replaceAll();

    const FindState& state() const { return state_; }
    // The body's bytes, read from the window once per change of the body.
    const Text& body();

private:
    void updateButtons(FindWindowKind window);
    void cancelFind();
    bool bodyEditable();
    void editBody(TextSelection range, const Text& bytes, bool plain);

    Window& w_;
    PhaseSource phase_;
    ProgramTextHook programText_;
    FindState state_;
    Text body_;
    bool bodyKnown_ = false;
    bool editing_ = false;
};

}  // namespace talery
