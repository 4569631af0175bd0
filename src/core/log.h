#pragma once
// Notes of failures that the writer is not shown at once (a journal entry that
// could not be written, a device that would not open), for whoever looks into
// a problem later. The window's toolkit decides where they go and whether they
// are shown at all; until it says, they go nowhere.

#include <string_view>

namespace talery {

enum class LogArea { Session, Backup, Audio, Settings };

using LogSink = void (*)(LogArea area, std::string_view utf8);
// Safe from any thread; nullptr drops the notes again.
void setLogSink(LogSink sink);
void logFailure(LogArea area, std::string_view utf8);

}  // namespace talery
