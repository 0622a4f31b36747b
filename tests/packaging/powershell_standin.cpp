// Stands in for Windows PowerShell, which Wine lacks, where a setup program looks for it. Each
// start appends one line to "calls.txt" beside itself: "shown" when it got a console window that
// the user sees (a console program started plainly from a windowed one does), else "hidden",
// then a blank and its whole command line. Then it fails, as a deployment that Windows refuses
// does, so that a test sees what such a failure leaves behind.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/wide.h"

int wmain() {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  const std::wstring folder = self.substr(0, self.find_last_of(L'\\'));
  HWND console = ::GetConsoleWindow();
  const bool shown = console && ::IsWindowVisible(console);
  const std::string line =
      std::string(shown ? "shown " : "hidden ") + carvex::platform::Narrow(::GetCommandLineW()) + "\n";
  FILE* out = ::_wfopen((folder + L"\\calls.txt").c_str(), L"ab");
  if (!out) return 2;
  std::fwrite(line.data(), 1, line.size(), out);
  std::fclose(out);
  std::fputs("The stand-in deploys no package.\n", stderr);
  return 1;
}
