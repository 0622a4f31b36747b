#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <thread>

#include "commands.h"
#include "platform/command_line.h"
#include "platform/files.h"
#include "platform/wide.h"
#include "support/system_fixtures.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

// Clicks `button` in the first dialog of this process that has one, from a helper thread,
// while the shell's file operation waits in the dialog's loop on the test's thread.
class ShellQuestionAnswerer {
 public:
  explicit ShellQuestionAnswerer(int button)
      : button_(button), thread_([this] {
          while (!stop_ && !answered_) {
            ::EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
            ::Sleep(50);
          }
        }) {}
  ~ShellQuestionAnswerer() {
    stop_ = true;
    thread_.join();
  }
  bool Answered() const { return answered_; }

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* answerer = reinterpret_cast<ShellQuestionAnswerer*>(self);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    HWND button = ::GetDlgItem(window, answerer->button_);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window) || !button) return TRUE;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(answerer->button_, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    answerer->answered_ = true;
    return FALSE;
  }

  const int button_;
  std::atomic<bool> stop_{false}, answered_{false};
  std::thread thread_;
};

class ShellQuestionTest : public test::VerbhookTest {};

// With <overwrite_ask> the shell asks before it replaces; the answer decides.
TEST_F(ShellQuestionTest, OverwriteAskLetsTheShellAsk) {
  if (!test::RunningUnderWine()) GTEST_SKIP() << "Windows' own question is another kind of dialog";
  for (const auto& [button, expected] : {std::pair{IDNO, "old"}, std::pair{IDYES, "new"}}) {
    const std::string folder = "answer " + std::to_string(button);
    files_.MakeFolder(folder + "\\to");
    files_.Write(folder + "\\a.txt", "new");
    files_.Write(folder + "\\to\\a.txt", "old");
    Select({files_.File(folder + "\\a.txt")});
    ShellQuestionAnswerer answerer(button);
    RunItem("<command>[copy]</command><commandline>" + files_.File(folder + "\\to") +
            "</commandline><overwrite_ask>");
    EXPECT_TRUE(answerer.Answered());
    EXPECT_EQ(files_.Read(folder + "\\to\\a.txt"), expected);
  }
}

class CmdExeTest : public test::VerbhookTest {};

// The expansion that cmd.exe makes of its command line, the one that a batch file's arguments
// go through on Windows, leaves every "%" of an escaped argument where it was; the recorder
// stands in for the batch file here. (Under Wine, cmd.exe also expands the text that %1 and %*
// bring into a batch file, which Windows never does.)
TEST_F(CmdExeTest, PercentSignsPassUnexpanded) {
  const std::string recorder = files_.File(CARVEX_ARGV_RECORDER);
  ASSERT_TRUE(::CopyFileW(platform::Widen(platform::AppPath() + "\\" CARVEX_ARGV_RECORDER).c_str(),
                          platform::Widen(recorder).c_str(), TRUE));
  const std::vector<std::string> arguments = {"50% off %PATH%", "%%cd%% %1 %~dp0 %* %cd:~,%", "100%", "%",
                                              "C:\\"};
  const std::optional<std::string> line = platform::BatchCommandArguments(recorder, "-x", arguments);
  ASSERT_TRUE(line);
  wchar_t system[MAX_PATH];
  ASSERT_GT(::GetSystemDirectoryW(system, MAX_PATH), 0u);
  const std::wstring interpreter = std::wstring(system) + L"\\cmd.exe";
  std::wstring commandLine = L"\"" + interpreter + L"\" " + platform::Widen(*line);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(::CreateProcessW(interpreter.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                               CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process));
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  std::vector<std::string> expected = {"-x"};
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  std::vector<std::string> received;
  const std::string text = files_.Read("args.txt");
  for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
    received.push_back(text.substr(at, end - at));
  EXPECT_EQ(received, expected);
}

}  // namespace
}  // namespace carvex
