#pragma once

#include "ui/types.h"

namespace carvex::ui {

// Tells the docks and task managers of the desktop (over D-Bus) how far the running job has
// got, for the launcher of carvex.desktop; nothing without a session bus.
void ShowOnLauncher(const TaskProgress& progress);

}  // namespace carvex::ui
