#pragma once
#include "core/files.h"

namespace talery {

// Where the settings file, the dialogs' default folder, backups and versions
// live: $TALERY_HOME when set; else the executable's folder when it already
// holds a setting.ini and is writable (a portable copy), unless it is an
// installed program's or a build tree; else the per-user data folder.
// Created when missing.
Path programDirectory();
// A build tree that earlier versions used as the program directory and that
// still holds a setting.ini: nothing of it is moved, the writer is told where
// it is. Empty when there is none.
Path earlierProgramDirectory();
Path currentDirectory();

}  // namespace talery
