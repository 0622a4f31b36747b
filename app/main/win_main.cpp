// carvex.exe: the Windows program. The main window reads the command line in its Form_Load, so
// the arguments are handed over before the window is first used.
#include <windows.h>

#include "frm_carvex.h"
#include "ui/win32_backend.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  carvex::ui::Win32Program program;
  carvex::CommandLine = carvex::WithAbsolutePath(carvex::ui::CommandLineAfterProgramName(GetCommandLineW()));
  carvex::frmCarvex->Show();
  return program.Run();
}
