#pragma once
// The main window's own chrome: the drawn title strip, the minimise and close
// glyphs and the eight resize handles along its edges.

#include "ui/window.h"

namespace talery {

// The side a resize handle drags, numbered as Window::startSystemResize takes
// it (1 left, 2 right, 3 top, 4 top-left, 5 top-right, 6 bottom, 7 bottom-left,
// 8 bottom-right); 0 for every other unit.
int resizeSide(Unit handle);

// Maximised becomes normal, any other state maximised.
void toggleMaximised(Window& window);

// The chrome's reaction to a press or double click on one of its units;
// false when the unit is not part of the chrome.
bool handleChromeEvent(Window& window, const UiEvent& event);

}  // namespace talery
