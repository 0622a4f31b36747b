#include <windows.h>

#include "zip_test_support.h"

namespace carvex::zipkit::test {

namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// The quoting that CommandLineToArgvW undoes.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  std::size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::string& input) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
  if (!::CreatePipe(&inRead, &inWrite, &inherit, 0)) return {};
  if (!::CreatePipe(&outRead, &outWrite, &inherit, 0)) return {};
  ::SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
  ::SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);

  const std::wstring application = Wide(program);
  std::wstring commandLine = Quoted(application);
  for (const std::string& argument : arguments) commandLine += L" " + Quoted(Wide(argument));
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = inRead;
  startup.hStdOutput = outWrite;
  startup.hStdError = outWrite;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process);
  ::CloseHandle(inRead);
  ::CloseHandle(outWrite);
  ProgramRun run;
  if (!started) {
    ::CloseHandle(inWrite);
    ::CloseHandle(outRead);
    run.output = "CreateProcessW failed: " + std::to_string(::GetLastError());
    return run;
  }
  DWORD written = 0;
  if (!input.empty()) ::WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
  ::CloseHandle(inWrite);
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!::ReadFile(outRead, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
    run.output.append(buffer, got);
  }
  ::CloseHandle(outRead);
  if (::WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    run.exitCode = static_cast<int>(code);
  } else {
    ::TerminateProcess(process.hProcess, 1);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return run;
}

}  // namespace carvex::zipkit::test
