// Opens a file as File Explorer does on a double-click, through ShellExecuteEx with the verb
// "open", and reports what the program that it started shows: the title of carvex.exe's main
// window, then the files of its Build list, one line each. Then it closes the program.
//   open_piece.exe FILE
// Exits 1 when nothing was started or no carvex.exe window appeared.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <string>

#include "support/win_driver.h"
#include "ui/win32_backend.h"

namespace win = carvex::test::win;
using carvex::ui::Win32ControlId;
using carvex::ui::Win32FormClass;

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: open_piece FILE\n", stderr);
    return 2;
  }
  // The shell runs some handlers through COM and asks for a single-threaded apartment.
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = argv[1];
  info.nShow = SW_SHOWNORMAL;
  if (!::ShellExecuteExW(&info) || !info.hProcess) {
    std::fprintf(stderr, "open_piece: ShellExecuteEx started nothing (error %lu)\n", ::GetLastError());
    return 1;
  }
  int status = 0;
  try {
    HWND main = win::WaitForWindow(::GetProcessId(info.hProcess), Win32FormClass("frmCarvex"));
    HWND list = win::Control(main, Win32ControlId("lvwBuildFileNames"));
    win::WaitUntil([&] { return !win::ListViewColumn(list).empty(); });
    std::printf("%s\n", win::Text(main).c_str());
    for (const std::string& name : win::ListViewColumn(list)) std::printf("%s\n", name.c_str());
    win::Click(win::Control(main, Win32ControlId("cmdExit")));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "open_piece: %s\n", error.what());
    status = 1;
  }
  if (::WaitForSingleObject(info.hProcess, 30000) != WAIT_OBJECT_0) ::TerminateProcess(info.hProcess, 1);
  ::CloseHandle(info.hProcess);
  return status;
}
