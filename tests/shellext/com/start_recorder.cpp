// A stand-in for a configured program that records how it was started: its current folder, the
// show command the starting program gave it (or "-" when none) and each argument, one per line,
// in "start.txt" beside itself.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/wide.h"

int wmain(int argc, wchar_t** argv) {
  std::wstring self(MAX_PATH, L'\0');
  self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  const std::wstring folder = self.substr(0, self.find_last_of(L'\\'));
  std::wstring current(::GetCurrentDirectoryW(0, nullptr), L'\0');
  current.resize(::GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data()));
  STARTUPINFOW start{};
  start.cb = sizeof start;
  ::GetStartupInfoW(&start);
  const std::string show =
      (start.dwFlags & STARTF_USESHOWWINDOW) != 0 ? std::to_string(start.wShowWindow) : std::string("-");
  std::string text = carvex::platform::Narrow(current) + "\n" + show + "\n";
  for (int index = 1; index < argc; ++index) text += carvex::platform::Narrow(argv[index]) + "\n";
  // Written aside and renamed, so that the record appears whole or not at all.
  const std::wstring partial = folder + L"\\start.partial";
  FILE* out = ::_wfopen(partial.c_str(), L"wb");
  if (!out) return 1;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (std::fclose(out) != 0 || !written) return 1;
  return ::MoveFileExW(partial.c_str(), (folder + L"\\start.txt").c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
