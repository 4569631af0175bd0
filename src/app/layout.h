#pragma once
#include "core/settings.h"

#include <optional>
#include "ui/window.h"

namespace talery {

// Re-places the units that follow the window's size, and records the size.
void layoutMainWindow(Window& window, const IniFile& programSettings);

}  // namespace talery
