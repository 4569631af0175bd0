#pragma once
// The program's failure notes as Qt logging categories talery.session,
// talery.backup, talery.audio and talery.settings: silent unless turned on,
// as with any Qt program, by QT_LOGGING_RULES="talery.*=true".

namespace talery {

void installQtLogging();

}  // namespace talery
