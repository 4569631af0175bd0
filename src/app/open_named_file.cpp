#include "app/open_named_file.h"

#include "app/paths.h"
#include "session/writing_session.h"

namespace talery {

void openNamedFile(SessionController& session, const Path& path) {
    if (path.empty()) return;
    // The session keeps the path for saving; the working folder may not last.
    const Path absolute = path.front() == '/' ? path : currentDirectory() + "/" + path;
    session.record().openedFromFile = true;
    const std::string extension = extensionOf(absolute);
    if (extension == "txt") {
        session.loadTextDocument(absolute);
    } else if (extension == "tlr") {
        session.loadEncryptedDocument(absolute);
    }
}

}  // namespace talery
