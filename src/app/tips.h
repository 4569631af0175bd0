#pragma once
// The tips that rotate in the third part of the status bar.

#include "core/random.h"
#include "ui/window.h"

namespace talery {

constexpr int kTipPart = 2;         // the status-bar part the tips use

// Line `number` (1-based) of a store whose lines are separated by CR LF, or
// nothing when the store has no such line (an empty store has none).
std::optional<Text> storeLine(std::string_view store, int number);
// How many lines a store counts: its line feeds plus one.
int storeLineCount(std::string_view store);

// Shows the next tip of the source chosen in 提示类型; draws from the
// program's one shared generator.
void showNextTip(Window& window, SharedRandom& random);

}  // namespace talery
