#pragma once
// A file named on the command line (talery FILE) opens as the open command
// would open it: a text document, or an encrypted one after its password.

#include "core/files.h"

namespace talery {

class SessionController;

void openNamedFile(SessionController& session, const Path& path);

}  // namespace talery
