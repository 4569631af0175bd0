#pragma once
// Comparing an earlier state of a text with the text now: lines first, then
// characters within the lines that changed. The differences come from the
// dtl library (an O(ND) difference of sequences); this file only cuts the
// texts into lines and characters and counts what changed.

#include "core/text.h"
#include "ui/history_window.h"

#include <atomic>
#include <functional>
#include <optional>

namespace talery {

// Both texts are GBK with CR LF breaks, as the body holds them. `progress`
// hears of the share done; a raised `cancel` ends the work early (the result
// is then incomplete and is not to be shown).
MarkedText compareTexts(Text older, Text newer, const std::function<void(double)>& progress = {},
                        const std::atomic<bool>* cancel = nullptr);

// Characters as the live count counts them: spaces and line breaks do not
// count, two bytes make one.
std::uint64_t countedCharacters(std::string_view gbkText);

// A stored earlier state read into the body's form (GBK, CR LF): a plain
// document in the encoding it was written in, an encrypted one deciphered
// with `keyText`. Nothing when it cannot be read that way (a wrong password
// among them).
std::optional<Text> storedTextAsBody(std::string bytes, bool encrypted, std::string_view keyText);

}  // namespace talery
