// The system's own regedit is the oracle for the exported file's format.
#include <windows.h>

#include <gtest/gtest.h>

#include "menu_transfer.h"
#include "platform/wide.h"
#include "shellext/verbhook_test.h"
#include "support/win_driver.h"

namespace carvex::test {
namespace {

using platform::Widen;

// regedit's exit code, or -1 when it did not end in time.
long RunRegeditExport(const std::string& file, const std::string& key) {
  wchar_t windows[MAX_PATH];
  ::GetWindowsDirectoryW(windows, MAX_PATH);
  const std::string folder = platform::Narrow(windows);
  win::Program regedit(folder + "\\regedit.exe", "/e \"" + file + "\" \"" + key + "\"", folder);
  const std::optional<DWORD> code = regedit.WaitForExit();
  return code ? static_cast<long>(*code) : -1;
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
