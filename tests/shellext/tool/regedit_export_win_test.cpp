// The system's own regedit is the oracle for the exported file's format.
#include <windows.h>

#include <gtest/gtest.h>

#include "menu_transfer.h"
#include "platform/wide.h"
#include "shellext/verbhook_test.h"

namespace carvex::test {
namespace {

using platform::Widen;

// regedit's exit code, or -1 when it could not be started or did not end in time.
long RunRegeditExport(const std::string& file, const std::string& key) {
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::wstring program = std::wstring(windows) + L"\\regedit.exe";
  std::wstring commandLine = L"\"" + program + L"\" /e \"" + Widen(file) + L"\" \"" + Widen(key) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
    return -1;
  long result = -1;
  if (::WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    result = static_cast<long>(code);
  } else {
    ::TerminateProcess(process.hProcess, 1);
  }
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return result;
}

using RegeditExportTest = VerbhookTest;

TEST_F(RegeditExportTest, ExportMatchesRegedit) {
  AddRecord("", "", "<command>[hseparator]</command>");
  AddRecord("", "b", "<caption>Top</caption><command>C:\\a \"b\".exe</command><sendfile>");
  AddRecord("0001Tools", "1", "<caption>Ω 😀</caption><command>[copypath]</command>");
  MenuKey("0001Tools\\0002Empty");
  AddRecord("0001Tools\\0003More", "A", "<command>[props]</command>");
  const std::string file = files_.File("regedit.reg");
  ASSERT_EQ(RunRegeditExport(file, "HKEY_CURRENT_USER\\" + MenuConfigKeyPath()), 0);
  EXPECT_EQ(ExportMenu(), ReadFileBytes(file));
}

}  // namespace
}  // namespace carvex::test
