#pragma once
// The current date and time written into the body at the caret.

#include "core/clock.h"
#include "ui/window.h"

namespace talery {

// Year年month月day日, a blank, then hour：minute：second with full-width
// colons, all without leading zeros.
Text timeStamp(const LocalDateTime& t);

// Inserts the stamp before the selection (a selected text is kept, behind
// the stamp) and gives the body the focus. Only while a session runs.
void insertCurrentTime(Window& window, const Clock& clock);

}  // namespace talery
