#include <windows.h>

// After windows.h, which it builds on.
#include <shellapi.h>

#include "console.h"

namespace carvex::sfx {

namespace {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), n);
  return wide;
}

std::string Narrow(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(), n, nullptr,
                        nullptr);
  return utf8;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode);
}

// A console takes UTF-16 whatever its code page; a pipe or file gets UTF-8 bytes.
void Write(DWORD which, std::string_view text) {
  HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  if (IsConsole(handle)) {
    const std::wstring wide = Widen(text);
    DWORD written = 0;
    ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  DWORD written = 0;
  ::WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

std::vector<std::string> Arguments(int, char**) {
  // The narrow argv is in the ANSI code page and loses what it cannot hold.
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 1; wide && i < count; ++i) arguments.push_back(Narrow(wide[i]));
  if (wide) ::LocalFree(wide);
  return arguments;
}

void SetConsoleCaption(const std::string& caption) { ::SetConsoleTitleW(Widen(caption).c_str()); }

void Print(std::string_view text) { Write(STD_OUTPUT_HANDLE, text); }

void PrintError(std::string_view text) { Write(STD_ERROR_HANDLE, text); }

std::optional<std::string> ReadLine(bool secret) {
  HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  if (input == nullptr || input == INVALID_HANDLE_VALUE) return std::nullopt;
  std::string line;
  if (IsConsole(input)) {
    DWORD saved = 0;
    ::GetConsoleMode(input, &saved);
    if (secret) ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    std::wstring wide;
    wchar_t buffer[256];
    bool got = false;
    for (;;) {
      DWORD read = 0;
      if (!::ReadConsoleW(input, buffer, 256, &read, nullptr) || read == 0) break;
      got = true;
      wide.append(buffer, read);
      if (wide.back() == L'\n') break;
    }
    if (secret) {
      ::SetConsoleMode(input, saved);
      Print("\n");
    }
    if (!got) return std::nullopt;
    while (!wide.empty() && (wide.back() == L'\n' || wide.back() == L'\r')) wide.pop_back();
    return Narrow(wide);
  }
  // One byte at a time, so that nothing meant for the next question is taken from the pipe.
  bool got = false;
  for (;;) {
    char c = 0;
    DWORD read = 0;
    if (!::ReadFile(input, &c, 1, &read, nullptr) || read == 0) break;
    got = true;
    if (c == '\n') break;
    line.push_back(c);
  }
  if (!got) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void HoldConsoleWindow() {
  DWORD processes[2];
  if (::GetConsoleProcessList(processes, 2) != 1 || !IsConsole(::GetStdHandle(STD_INPUT_HANDLE))) return;
  Print("\nPress Enter to close this window.");
  ReadLine(false);
}

}  // namespace carvex::sfx
