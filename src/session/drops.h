#pragma once
// Files dropped onto the main window. A text or encrypted document opens as
// the open command opens it; a recording goes to the player.
//
// The window delivers one path per call, in the order the drag source listed
// them (a file manager's selection order), numbering each path's position in
// its drop from 0. A drop is one gesture, so within one drop:
//   - at most one document is opened or tried: the window holds one text;
//   - only the first recording goes to the player, which holds one file;
//   - each refusal ("busy", "not supported") is told once, however many
//     files it concerns.

#include "session/writing_session.h"

#include <functional>

namespace talery {

class DropHandler {
public:
    // Loads a WAV file into the player and starts it; no session is touched.
    using OpenWav = std::function<void(const Path&)>;

    DropHandler(SessionController& session, Window& window, OpenWav openWav);

    void openDroppedFile(const Path& path, int positionInDrop = 0);

private:
    void tellOnce(bool& told, const Text& text);

    SessionController& session_;
    Window& window_;
    OpenWav openWav_;
    struct Drop {
        bool documentTried = false;
        bool recordingTaken = false;
        bool busyTold = false;
        bool unsupportedTold = false;
    } drop_;
};

}  // namespace talery
