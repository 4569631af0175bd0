#pragma once
#include "core/files.h"

namespace talery {

// Where the settings file, the dialogs' default folder and backups live:
// $TALERY_HOME when set; else the executable's folder when it is writable
// (portable use); else the per-user data folder. Created when missing.
Path programDirectory();
Path currentDirectory();

}  // namespace talery
