#pragma once
// Opening a web page, a mail or a local page with the desktop's handler, and
// saying so when there is none: a click must never end in silence.

#include "ui/window.h"

namespace talery {

// Opens `url`; when no browser or mail client can be started, a message
// names the address so the user can open it by hand.
bool openUrlOrTell(Window& window, const std::string& url);

}  // namespace talery
