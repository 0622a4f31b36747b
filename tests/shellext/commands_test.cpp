#include "commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <thread>

#include "handoff.h"
#include "menu_config.h"
#include "platform/file_info.h"
#include "platform/files.h"
#include "platform/shell_ops.h"
#include "system_fixtures.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

namespace fs = std::filesystem;
using test::NativePath;
using test::VerbhookTest;

fs::path FromUtf8(const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); }

std::string ToUtf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

// Name and content of every file directly in `folder`.
std::map<std::string, std::string> FilesIn(const std::string& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(FromUtf8(folder))) return files;
  for (const fs::directory_entry& entry : fs::directory_iterator(FromUtf8(folder)))
    files[ToUtf8(entry.path().filename())] =
        entry.is_regular_file() ? test::ReadFileBytes(ToUtf8(entry.path())) : "<folder>";
  return files;
}

class CommandsTest : public VerbhookTest {
 protected:
  void Run(const std::string& record) {
    ConfigureSingleItem(record);
    RunItem(FindItemRecord(1));
  }
};

TEST_F(CommandsTest, CopyPathPutsTheSelectionOnTheClipboard) {
  const std::string one = NativePath("C:\\data\\report 1.txt");
  Select({one});
  Run("<command>[copypath]</command>");
  EXPECT_EQ(ui.ClipboardText(), one);

  const std::vector<std::string> three = {NativePath("C:\\z last.txt"), NativePath("C:\\a folder"),
                                          NativePath("C:\\m.txt")};
  Select(three);
  RunItem(FindItemRecord(1));
  std::string expected;
  for (const std::string& path : EnumerationOrder(three)) expected += path + "\r\n";
  EXPECT_EQ(ui.ClipboardText(), expected);
}

TEST_F(CommandsTest, PropsCopiesTheSummaryOfASingleItemOnly) {
  Select({NativePath("C:\\x.txt")});
  WriteSelectionSummary("a--- 12 bytes");
  Run("<command>[props]</command>");
  EXPECT_EQ(ui.ClipboardText(), "a--- 12 bytes");

  ui::SetClipboardText("unchanged");
  Select({NativePath("C:\\x.txt"), NativePath("C:\\y.txt")});
  WriteSelectionSummary("2 files, 0 bytes");
  RunItem(FindItemRecord(1));
  EXPECT_EQ(ui.ClipboardText(), "unchanged");
}

// 2001-01-01 00:00 UTC.
constexpr platform::FileTime kLongAgo = 126227808000000000;

TEST_F(CommandsTest, StampSetsTheTimesTheMaskChooses) {
  struct Case {
    std::string mask;
    bool creation, lastWrite, lastAccess;
  };
  const Case cases[] = {
      {"100", true, false, false}, {"011", false, true, true}, {"", false, false, false},
      {"111", true, true, true},   {"01", false, true, false}, {"1x1", true, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("mask \"" + c.mask + "\"");
    const std::string path = files_.File("stamp " + c.mask + ".txt");
    files_.Write("stamp " + c.mask + ".txt", "data");
    platform::FileTimesEditor(path).Write({kLongAgo, kLongAgo, kLongAgo});
    const platform::FileTimes before = platform::ReadFileTimes(path);
    ASSERT_EQ(before.lastWrite, kLongAgo);

    Select({path});
    const platform::FileTime start = platform::CurrentFileTime();
    Run("<command>[stamp]</command><commandline>" + c.mask + "</commandline>");
    const platform::FileTimes after = platform::ReadFileTimes(path);

    const auto expectStamped = [&](bool chosen, platform::FileTime was, platform::FileTime is) {
      if (chosen)
        EXPECT_GE(is, start);
      else
        EXPECT_EQ(is, was);
    };
    expectStamped(c.lastWrite, before.lastWrite, after.lastWrite);
    expectStamped(c.lastAccess, before.lastAccess, after.lastAccess);
    // POSIX file systems keep a creation time that nothing can set; Wine cannot set it
    // either, and reports one derived from the other times.
    if (OnWindows() && !test::RunningUnderWine()) {
      expectStamped(c.creation, before.creation, after.creation);
    } else if (!OnWindows()) {
      EXPECT_EQ(after.creation, before.creation);
    }
  }
}

TEST_F(CommandsTest, StampReportsFilesItCannotOpenButPassesOverFolders) {
  files_.MakeFolder("folder");
  files_.Write("locked.txt", "x");
  files_.Write("plain.txt", "x");
  const std::string plain = files_.File("plain.txt");
  platform::FileTimesEditor(plain).Write({kLongAgo, kLongAgo, kLongAgo});
  const auto lock = test::KeepFromWriting(files_.File("locked.txt"));
  if (!lock) GTEST_SKIP() << "this file system cannot keep a file from being written";

  Select({files_.File("folder"), files_.File("locked.txt"), files_.File("gone.txt"), plain});
  ExpectError("Could not get filehandle. Stamping failed");
  const platform::FileTime start = platform::CurrentFileTime();
  Run("<command>[stamp]</command><commandline>010</commandline>");
  EXPECT_GE(platform::ReadFileTimes(plain).lastWrite, start);
  EXPECT_EQ(ui.Boxes().size(), 1u);
}

// A file of the same name waits in the destination; the record's flags decide what happens.
TEST_F(CommandsTest, CopyAndMoveSettleACollisionAsTheFlagsSay) {
  enum class Outcome { kBothKept, kReplaced, kKept };
  struct Case {
    std::string command;
    std::string flags;
    std::optional<ui::MsgBoxResult> answer;
    Outcome outcome;
  };
  const Case cases[] = {
      {"[copy]", "", std::nullopt, Outcome::kBothKept},
      {"[copy]", "<overwrite>", std::nullopt, Outcome::kReplaced},
      {"[copy]", "<overwrite><overwrite_ask>", std::nullopt, Outcome::kReplaced},
      {"[copy]", "<overwrite_ask>", ui::MsgBoxResult::kYes, Outcome::kReplaced},
      {"[copy]", "<overwrite_ask>", ui::MsgBoxResult::kNo, Outcome::kKept},
      {"[move]", "", std::nullopt, Outcome::kBothKept},
      {"[move]", "<overwrite>", std::nullopt, Outcome::kReplaced},
      {"[move]", "<overwrite_ask>", ui::MsgBoxResult::kYes, Outcome::kReplaced},
      {"[move]", "<overwrite_ask>", ui::MsgBoxResult::kCancel, Outcome::kKept},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command + c.flags);
    // Wine's shell asks instead of renaming; Windows' own question is another test's.
    if (c.outcome == Outcome::kBothKept && test::RunningUnderWine()) continue;
    if (c.answer && OnWindows()) continue;
    const std::string case_ = "case " + std::to_string(++n);
    files_.MakeFolder(case_ + "/from");
    files_.MakeFolder(case_ + "/to");
    files_.Write(case_ + "/from/a.txt", "new");
    files_.Write(case_ + "/to/a.txt", "old");
    const std::string source = files_.File(case_ + "/from/a.txt");
    const std::string destination = files_.File(case_ + "/to");
    Select({source});
    if (c.answer)
      ui.ExpectMsgBox("The file \"" + destination + platform::kPathSeparator +
                          "a.txt\" already exists. Do you want to replace it?",
                      ui::MsgBoxButtons::kYesNoCancel, ui::MsgBoxIcon::kNone, *c.answer, "Ravelin");
    Run("<command>" + c.command + "</command><commandline>" + destination + "</commandline>" + c.flags);

    const std::map<std::string, std::string> result = FilesIn(destination);
    switch (c.outcome) {
      case Outcome::kBothKept:
        ASSERT_EQ(result.size(), 2u);
        EXPECT_EQ(result.at("a.txt"), "old");
        for (const auto& [name, content] : result)
          if (name != "a.txt") {
            EXPECT_EQ(content, "new") << name;
          }
        if (!OnWindows()) {
          EXPECT_EQ(result.count("a (copy).txt"), 1u);
        }
        break;
      case Outcome::kReplaced:
        EXPECT_EQ(result, (std::map<std::string, std::string>{{"a.txt", "new"}}));
        break;
      case Outcome::kKept:
        EXPECT_EQ(result, (std::map<std::string, std::string>{{"a.txt", "old"}}));
        break;
    }
    const bool moved = c.command == "[move]" && c.outcome != Outcome::kKept;
    EXPECT_EQ(platform::PathExists(source), !moved);
  }
}

TEST_F(CommandsTest, CopyAndMoveTheWholeSelectionIntoAFolderStillToBeMade) {
  files_.Write("one.txt", "1");
  files_.Write("two.txt", "2");
  files_.MakeFolder("sub/inner");
  files_.Write("sub/inner/three.txt", "3");
  Select({files_.File("one.txt")});
  const std::string single = files_.File("made for one");
  Run("<command>[copy]</command><commandline>" + single + "</commandline>");
  EXPECT_EQ(FilesIn(single), (std::map<std::string, std::string>{{"one.txt", "1"}}));

  Select({files_.File("one.txt"), files_.File("two.txt"), files_.File("sub")});
  const std::string several = files_.File("made for several");
  RunItem("<command>[move]</command><commandline>" + several + "</commandline>");
  EXPECT_EQ(FilesIn(several),
            (std::map<std::string, std::string>{{"one.txt", "1"}, {"two.txt", "2"}, {"sub", "<folder>"}}));
  EXPECT_EQ(test::ReadFileBytes(several + platform::kPathSeparator + "sub" + platform::kPathSeparator +
                                "inner" + platform::kPathSeparator + "three.txt"),
            "3");
  EXPECT_FALSE(platform::PathExists(files_.File("one.txt")));
  EXPECT_FALSE(platform::PathExists(files_.File("sub")));
}

TEST_F(CommandsTest, CopyWithoutADestinationIsAConfigurationFault) {
  files_.Write("one.txt", "1");
  Select({files_.File("one.txt")});
  for (const char* command : {"[copy]", "[move]"}) {
    SCOPED_TRACE(command);
    ExpectConfigurationWarning();
    RunItem(std::string("<command>") + command + "</command><commandline></commandline>");
  }
  EXPECT_EQ(FilesIn(files_.Path()), (std::map<std::string, std::string>{{"one.txt", "1"}}));
}

TEST_F(CommandsTest, FolderCommandsCopyOrMoveToTheFolderPicked) {
  files_.Write("a.txt", "a");
  files_.MakeFolder("picked");
  std::vector<std::string> titles;
  std::string answer = files_.File("picked");
  ui.OnBrowseForFolder([&](const std::string& title) {
    titles.push_back(title);
    return answer;
  });
  Select({files_.File("a.txt")});
  RunItem("<command>[copyfolder]</command><commandline>ignored</commandline>");
  EXPECT_EQ(FilesIn(files_.File("picked")), (std::map<std::string, std::string>{{"a.txt", "a"}}));
  EXPECT_TRUE(platform::PathExists(files_.File("a.txt")));

  answer.clear();  // cancelled: nothing happens and nothing is said
  RunItem("<command>[movefolder]</command>");
  EXPECT_TRUE(platform::PathExists(files_.File("a.txt")));

  answer = files_.File("picked again");
  RunItem("<command>[movefolder]</command>");
  EXPECT_EQ(FilesIn(files_.File("picked again")), (std::map<std::string, std::string>{{"a.txt", "a"}}));
  EXPECT_FALSE(platform::PathExists(files_.File("a.txt")));
  EXPECT_EQ(titles, std::vector<std::string>(3, "Select a destination folder"));
  EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(CommandsTest, AppStartWorksOnASingleItemOnly) {
  Select({NativePath("C:\\a.txt"), NativePath("C:\\b.txt")});
  RunItem("<command>[appstart]</command>");
  EXPECT_TRUE(ui.Boxes().empty());
  if (platform::HasOpenWithDialog()) GTEST_SKIP() << "would show the system's real dialog";
  Select({NativePath("C:\\a.txt")});
  ExpectError("Could not find dialog. Very strange...");
  RunItem("<command>[appstart]</command>");
}

TEST_F(CommandsTest, SeparatorsDoNothing) {
  Select({NativePath("C:\\a.txt")});
  ui::SetClipboardText("unchanged");
  RunItem("<command>[hseparator]</command>");
  RunItem("<command>[vseparator]</command>");
  EXPECT_EQ(ui.ClipboardText(), "unchanged");
  EXPECT_TRUE(ui.Boxes().empty());
}

const std::string kLaunchError = "Error executing command. Check the registry for errors.\n\rCommand:";

TEST_F(CommandsTest, CommandThatCannotStartIsReported) {
  const std::string program = NativePath("C:\\no such folder\\program.exe");
  files_.Write("b.txt", "b");
  const std::string file = files_.File("b.txt");
  Select({file});
  ExpectError(kLaunchError + program + "\n\rArguments:/x \"" + file + "\" \"" + files_.Path() + "\"");
  Run("<command>" + program + "</command><commandline>/x</commandline><sendfolder><sendfile>");
}

// The dispatcher extracts the command twice, to classify it and to launch it; an empty one
// never starts anything.
TEST_F(CommandsTest, RecordWithoutCommandWarnsTwiceThenFailsToLaunch) {
  Select({NativePath("C:\\a.txt")});
  ExpectConfigurationWarning();
  ExpectConfigurationWarning();
  ExpectError(kLaunchError + "\n\rArguments:");
  Run("<caption>No command</caption>");
}

TEST_F(CommandsTest, BuiltInNameWithACapitalIsAnExternalCommand) {
  Select({NativePath("C:\\a.txt")});
  ui::SetClipboardText("unchanged");
  ExpectError(kLaunchError + "[Copypath]\n\rArguments:");
  Run("<command>[Copypath]</command>");
  EXPECT_EQ(ui.ClipboardText(), "unchanged");
}

// A copy of the helper program in a folder of its own, whose name the caller chooses.
class LaunchTest : public CommandsTest {
 protected:
  std::string InstallRecorder(const std::string& folderName) {
    files_.MakeFolder(folderName);
    const std::string copy = files_.File(folderName) + platform::kPathSeparator + CARVEX_ARGV_RECORDER;
    fs::copy_file(FromUtf8(platform::AppPath() + platform::kPathSeparator + CARVEX_ARGV_RECORDER),
                  FromUtf8(copy));
    return copy;
  }

  // The arguments the recorder in `folderName` was started with, once it has written them.
  std::optional<std::vector<std::string>> ReceivedArguments(const std::string& folderName) {
    const std::string list = files_.File(folderName) + platform::kPathSeparator + "args.txt";
    for (int i = 0; i < 400 && !platform::PathExists(list); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!platform::PathExists(list)) return std::nullopt;
    std::vector<std::string> arguments;
    std::string text = test::ReadFileBytes(list);
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      arguments.push_back(text.substr(at, end - at));
    return arguments;
  }
};

TEST_F(LaunchTest, SelectionIsPassedAsTheRecordAsks) {
  files_.MakeFolder("data folder");
  files_.Write("data folder/b c.txt", "x");
  const std::string file = files_.File("data folder") + platform::kPathSeparator + "b c.txt";
  const std::string folder = files_.File("data folder");
  struct Case {
    std::string commandLine;
    std::string flags;
    std::vector<std::string> selection;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"/s", "<sendfile>", {file}, {"/s", file}},
      {"/s", "<sendfile>", {file, folder}, {"/s", "*"}},
      {"/z", "<sendfile>", {folder}, {"/z", folder}},
      {"", "<sendfile>", {file}, {file}},
      {"", "<sendfolder>", {file}, {folder}},
      {"", "<sendfolder>", {folder}, {folder}},
      {"", "<sendfolder>", {file, folder}, {"*"}},
      {"-v", "<sendfolder><sendfile>", {file}, {"-v", file, folder}},
      {"\"two words\" plain", "", {file}, {"two words", "plain"}},
      {"", "", {file}, {}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine + c.flags);
    const std::string place = "program " + std::to_string(++n);
    const std::string program = InstallRecorder(place);
    Select(c.selection);
    Run("<command>" + program + "</command><commandline>" + c.commandLine + "</commandline>" + c.flags);
    EXPECT_EQ(ReceivedArguments(place), c.expected);
  }
}

// Names that a shell would read as syntax reach the program unchanged, and run nothing.
TEST_F(LaunchTest, NamesAreNeverParsedByAShell) {
  const std::vector<std::string> traps =
      OnWindows()
          ? std::vector<std::string>{"a & b", "c; d", "e %PATH% f", "g $(x) ^h"}
          : std::vector<std::string>{"a \"b\"; touch 'pwned' $(x) `y` &", "c\\\" d", "e; touch pwned"};
  for (const std::string& trap : traps) {
    SCOPED_TRACE(trap);
    const std::string program = InstallRecorder("bin " + std::to_string(trap.size()));
    files_.Write(trap + ".txt", "x");
    const std::string file = files_.File(trap + ".txt");
    Select({file});
    Run("<command>" + program + "</command><commandline>-x</commandline><sendfile><sendfolder>");
    EXPECT_EQ(ReceivedArguments("bin " + std::to_string(trap.size())), (std::vector<std::string>{"-x", file, files_.Path()}));
  }
  EXPECT_FALSE(platform::PathExists(files_.File("pwned")));
}

TEST(CommandHelpers, SplitArgumentsGroupsQuotedBlanks) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"", {}},
      {"   ", {}},
      {"/s", {"/s"}},
      {"  -a   -b\t-c ", {"-a", "-b", "-c"}},
      {"\"C:\\Program Files\\x\" y", {"C:\\Program Files\\x", "y"}},
      {"pre\"quoted part\"post", {"prequoted partpost"}},
      {"\"\" x", {"", "x"}},
      {"\"unterminated rest", {"unterminated rest"}},
      {"a;b $(c) 'd e'", {"a;b", "$(c)", "'d", "e'"}},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(SplitArguments(text), expected);
  }
}

TEST(CommandHelpers, ContainingFolderCutsAtTheLastSeparator) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\a\\b.txt", "C:\\a"},
      {"/a/b.txt", "/a"},
      {"C:\\b.txt", "C:"},
      {"C:\\a/b", "C:\\a"},
      {"/b", ""},
      {"b.txt", ""},
      {"", ""},
  };
  for (const auto& [path, folder] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(ContainingFolder(path), folder);
  }
}

TEST_F(CommandsTest, FolderTestCountsWhatCannotBeReadAsAFolder) {
  files_.Write("file.txt", "x");
  files_.MakeFolder("folder");
  EXPECT_FALSE(PassesFolderTest(files_.File("file.txt")));
  EXPECT_TRUE(PassesFolderTest(files_.File("folder")));
  EXPECT_TRUE(PassesFolderTest(files_.File("missing.txt")));
  EXPECT_TRUE(PassesFolderTest("*"));
  EXPECT_TRUE(PassesFolderTest(""));
}

}  // namespace
}  // namespace carvex
