#include <io.h>
#include <windows.h>

#include <cstdlib>

#include "ui/console_backend.h"
#include "ui/console_os.h"

namespace carvex::ui::console {

namespace {

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  // The job takes the first Ctrl-C and stops on its own; the second ends the process.
  if (gInterruptSeen.exchange(true)) std::_Exit(130);
  gInterrupted = true;
  return TRUE;
}

}  // namespace

bool StdinIsTerminal() { return ::_isatty(0) != 0; }
bool StderrIsTerminal() { return ::_isatty(2) != 0; }

void InstallInterruptHandler() { ::SetConsoleCtrlHandler(OnControl, TRUE); }

}  // namespace carvex::ui::console
