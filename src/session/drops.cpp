#include "session/drops.h"

namespace talery {

DropHandler::DropHandler(SessionController& session, Window& window, OpenWav openWav)
    : session_(session), window_(window), openWav_(std::move(openWav)) {}

void DropHandler::tellOnce(bool& told, const Text& text) {
    if (told) return;
    told = true;
    window_.messageBox(text, programCaption(), Buttons::OK);
}

void DropHandler::openDroppedFile(const Path& path, int positionInDrop) {
    if (positionInDrop == 0) drop_ = {};
    // Every drop counts as opening from a file, also one that is refused.
    session_.record().openedFromFile = true;

    const std::string ext = extensionOf(path);
    if (ext == "txt" || ext == "tlr") {
        if (session_.writing()) {
            tellOnce(drop_.busyTold, gbk(u8"正在编辑文本呢，一心不能二用哦，赶紧保存再试吧"));
            return;
        }
        // A second document of the same drop after one that could not be
        // opened: its refusal has been told, and trying more could chain
        // password dialogs without end.
        if (drop_.documentTried) return;
        drop_.documentTried = true;
        if (ext == "txt") {
            session_.loadTextDocument(path);
        } else {
            session_.loadEncryptedDocument(path);
        }
    } else if (ext == "wav") {
        if (drop_.recordingTaken) return;
        drop_.recordingTaken = true;
        if (openWav_) openWav_(path);
    } else {
        tellOnce(drop_.unsupportedTold, gbk(u8"目前仅支持txt/tlr文本和wav音频文件拖拽。"));
    }
}

}  // namespace talery
