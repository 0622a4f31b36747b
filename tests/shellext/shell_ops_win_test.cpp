#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "commands.h"
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

}  // namespace
}  // namespace carvex
