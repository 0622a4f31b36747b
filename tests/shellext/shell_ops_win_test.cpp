#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "commands.h"
#include "system_fixtures.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

// Clicks `button` in every dialog of this process that has one, from a helper thread, while
// the shell's file operation waits in the dialog's loop on the test's thread.
class ShellQuestionAnswerer {
 public:
  explicit ShellQuestionAnswerer(int button) : button_(button), thread_([this] { Watch(); }) {}
  ~ShellQuestionAnswerer() {
    stop_ = true;
    thread_.join();
  }
  int Answered() const { return answered_; }

 private:
  void Watch() {
    while (!stop_) {
      ::EnumWindows(Visit, reinterpret_cast<LPARAM>(this));
      ::Sleep(50);
    }
  }

  static BOOL CALLBACK Visit(HWND window, LPARAM self) {
    auto* answerer = reinterpret_cast<ShellQuestionAnswerer*>(self);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
    HWND button = ::GetDlgItem(window, answerer->button_);
    if (!button || !answerer->answeredWindows_.insert(window).second) return TRUE;
    ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(answerer->button_, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    ++answerer->answered_;
    return TRUE;
  }

  const int button_;
  std::atomic<bool> stop_{false};
  std::atomic<int> answered_{0};
  std::set<HWND> answeredWindows_;
  std::thread thread_;
};

class ShellQuestionTest : public test::VerbhookTest {};

// With <overwrite_ask> the shell asks before it replaces; the answer decides.
TEST_F(ShellQuestionTest, OverwriteAskLetsTheShellAsk) {
  if (!test::RunningUnderWine()) GTEST_SKIP() << "Windows' own question is a different dialog";
  const std::pair<int, std::string> answers[] = {{IDNO, "old"}, {IDYES, "new"}};
  for (const auto& [button, expected] : answers) {
    SCOPED_TRACE(button);
    const std::string folder = "answer " + std::to_string(button);
    files_.MakeFolder(folder + "/from");
    files_.MakeFolder(folder + "/to");
    files_.Write(folder + "/from/a.txt", "new");
    files_.Write(folder + "/to/a.txt", "old");
    Select({files_.File(folder + "\\from\\a.txt")});
    {
      ShellQuestionAnswerer answerer(button);
      RunItem("<command>[copy]</command><commandline>" + files_.File(folder + "\\to") +
              "</commandline><overwrite_ask>");
      EXPECT_EQ(answerer.Answered(), 1);
    }
    EXPECT_EQ(files_.Read(folder + "\\to\\a.txt"), expected);
    EXPECT_EQ(files_.Read(folder + "\\from\\a.txt"), "new");
  }
}

}  // namespace
}  // namespace carvex
