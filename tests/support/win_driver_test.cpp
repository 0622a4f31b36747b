// The window driver against a program that shows each dialog the driver answers and writes
// down what was chosen: what the program reports is what a user would have chosen.
#include <gtest/gtest.h>

#include <functional>

#include "support/temp_dir.h"
#include "support/win_driver.h"

namespace carvex::test {
namespace {

TEST(WinDriver, AnswersEachDialogWithWhatAUserWouldChoose) {
  TempDir files;
  files.Write("a.txt", "a");
  files.Write("b c.txt", "b");
  files.MakeFolder("chosen folder");
  const struct {
    const char* name;
    std::string arguments;
    std::function<void(DWORD)> answer;
    std::string want;
  } cases[] = {
      {"message box", "box \"Shall we?\"",
       [](DWORD process) {
         const win::ShownBox box = win::AnswerMessageBox(process, IDNO);
         EXPECT_EQ(box.text, "Shall we?");
         EXPECT_EQ(box.title, "Probe");
       },
       "no\n"},
      {"one file", "open", [&](DWORD process) { win::AnswerOpenDialog(process, {files.File("b c.txt")}); },
       files.File("b c.txt") + "\n"},
      {"two files", "open",
       [&](DWORD process) {
         win::AnswerOpenDialog(process, {files.File("a.txt"), files.File("b c.txt")});
       },
       files.File("a.txt") + "\n" + files.File("b c.txt") + "\n"},
      {"folder", "folder",
       [&](DWORD process) { win::AnswerFolderPicker(process, files.File("chosen folder")); },
       files.File("chosen folder") + "\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string result = files.File(std::string(c.name) + ".txt");
    win::Program probe(win::ThisProgramFolder() + "\\" CARVEX_DIALOG_PROBE,
                       "\"" + result + "\" " + c.arguments, files.Path());
    c.answer(probe.Id());
    EXPECT_EQ(probe.WaitForExit(), 0u);
    EXPECT_EQ(ReadFileBytes(result), c.want);
  }
}

}  // namespace
}  // namespace carvex::test
