#pragma once
#include "core/files.h"

#include <optional>
#include <string>

namespace talery {

// Where the settings file, the dialogs' default folder, backups and versions
// live: $TALERY_HOME when set; else the executable's folder when it already
// holds a setting.ini and is writable (a portable copy), unless it is an
// installed program's or a build tree; else the per-user data folder (in the
// home the password database names when HOME is not set). Never a shared
// folder. Created when missing.
Path programDirectory();
// Why the program directory cannot hold the writer's copies (missing, not a
// folder, another user's, writable by others), in Chinese; nothing when it can.
std::optional<std::string> programDirectoryProblem(const Path& folder);
// A build tree that earlier versions used as the program directory and that
// still holds a setting.ini: nothing of it is moved, the writer is told where
// it is. Empty when there is none.
Path earlierProgramDirectory();
Path currentDirectory();

}  // namespace talery
