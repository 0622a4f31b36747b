#include "platform/process.h"

namespace carvex::platform {

// A POSIX crash already ends the process with a signal status.
void ExitOnCrash() {}

}  // namespace carvex::platform
