#pragma once

// The few things a terminal front end needs from the system, one source file per system.
namespace carvex::ui::console {

bool StdinIsTerminal();
bool StderrIsTerminal();
// Ctrl-C sets gInterrupted instead of ending the process; a second Ctrl-C ends it.
void InstallInterruptHandler();

}  // namespace carvex::ui::console
