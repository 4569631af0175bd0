#pragma once
// How the body box reports a change. Positions here count the body's
// characters as its text document does: a line break (CR LF) is one
// character, every other GBK character, one byte or two, is one. Byte offsets
// would need the whole text before the change; these the document knows.

#include "core/text.h"

#include <cstddef>
#include <string_view>

namespace talery {

// Characters [position, position + removed) of the body before the change
// became [position, position + added). Empty when nothing is known to have moved.
struct BodyChange {
    std::size_t position = 0;
    std::size_t removed = 0;
    std::size_t added = 0;
    // Pasted or dropped, not typed: the words are the writer's text, never a command.
    bool pasted = false;
    friend bool operator==(const BodyChange&, const BodyChange&) = default;
};

inline std::size_t countBodyCharacters(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); i += bodyCharLength(text, i)) ++n;
    return n;
}

}  // namespace talery
