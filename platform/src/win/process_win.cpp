#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdlib>

#include "platform/error.h"
#include "platform/process.h"
#include "platform/wide.h"

namespace carvex::platform {

namespace {

LONG WINAPI ExitWithCode(EXCEPTION_POINTERS* info) {
  ::ExitProcess(info && info->ExceptionRecord ? info->ExceptionRecord->ExceptionCode : 3);
}

}  // namespace

void ExitOnCrash() {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  ::SetUnhandledExceptionFilter(ExitWithCode);
}

std::vector<std::string> ProgramArguments(int, char**) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) ThrowLastError("Cannot read the command line", "");
  std::vector<std::string> arguments;
  for (int i = 1; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void WriteStandardOutput(std::string_view bytes) {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
    if (!::WriteFile(output, bytes.data(), chunk, &written, nullptr) || written == 0)
      ThrowLastError("Cannot write to", "standard output");
    bytes.remove_prefix(written);
  }
}

}  // namespace carvex::platform
