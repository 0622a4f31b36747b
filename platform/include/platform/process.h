#pragma once

namespace carvex::platform {

// Makes a crash end the process with an exit code instead of waiting in a debugger
// (Wine's opens one), so a test run never hangs on it.
void ExitOnCrash();

}  // namespace carvex::platform
