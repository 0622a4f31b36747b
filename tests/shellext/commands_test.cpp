#include "commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <thread>

#include "handoff.h"
#include "platform/file_info.h"
#include "platform/shell_ops.h"
#include "support/system_fixtures.h"
#include "verbhook_test.h"

namespace carvex {
namespace {

namespace fs = std::filesystem;
using test::NativePath;
using Files = std::map<std::string, std::string>;

fs::path Path(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

// Name and content of every entry directly in `folder` ("<folder>" for a folder).
Files FilesIn(const std::string& folder) {
  Files files;
  for (const fs::directory_entry& entry : fs::directory_iterator(Path(folder)))
    files[entry.path().filename().string()] =
        entry.is_directory() ? "<folder>" : test::ReadFileBytes(entry.path().string());
  return files;
}

class CommandsTest : public test::VerbhookTest {
 protected:
  // Runs `record` as the handler does: looked up again by its item number.
  void Run(const std::string& record) {
    ConfigureSingleItem(record);
    RunItem(FindItemRecord(1));
  }
};

TEST_F(CommandsTest, CopyPathAndProps) {
  const std::string one = NativePath("C:\\data\\report 1.txt");
  Select({one});
  WriteSelectionSummary("a--- 12 bytes");
  Run("<command>[copypath]</command>");
  EXPECT_EQ(ui.ClipboardText(), one);
  Run("<command>[props]</command>");
  EXPECT_EQ(ui.ClipboardText(), "a--- 12 bytes");

  const std::vector<std::string> three = {NativePath("C:\\z.txt"), NativePath("C:\\a folder"),
                                          NativePath("C:\\m")};
  Select(three);
  Run("<command>[props]</command>");
  EXPECT_EQ(ui.ClipboardText(), "a--- 12 bytes");  // unchanged
  Run("<command>[copypath]</command>");
  std::string expected;
  // Lines end as text does on the system: a carriage return would land in a POSIX shell.
  for (const std::string& path : EnumerationOrder(three)) expected += path + (OnWindows() ? "\r\n" : "\n");
  EXPECT_EQ(ui.ClipboardText(), expected);
}

constexpr platform::FileTime kLongAgo = 126227808000000000;  // 2001-01-01

TEST_F(CommandsTest, StampSetsTheTimesTheMaskChooses) {
  const std::tuple<std::string, bool, bool, bool> cases[] = {
      // mask, creation, last write, last access
      {"100", true, false, false},
      {"011", false, true, true},
      {"", false, false, false},
      {"1x1", true, false, true},
  };
  for (const auto& [mask, creation, lastWrite, lastAccess] : cases) {
    SCOPED_TRACE("mask \"" + mask + "\"");
    files_.Write("f" + mask, "data");
    const std::string path = files_.File("f" + mask);
    platform::FileTimesEditor(path).Write({kLongAgo, kLongAgo, kLongAgo});
    const platform::FileTimes before = platform::ReadFileTimes(path);
    Select({path});
    const platform::FileTime start = platform::CurrentFileTime();
    Run("<command>[stamp]</command><commandline>" + mask + "</commandline>");
    const platform::FileTimes after = platform::ReadFileTimes(path);
    const auto expectStamped = [start](bool chosen, platform::FileTime was, platform::FileTime is) {
      EXPECT_TRUE(chosen ? is >= start : is == was) << is;
    };
    expectStamped(lastWrite, kLongAgo, after.lastWrite);
    expectStamped(lastAccess, kLongAgo, after.lastAccess);
    // POSIX file systems keep a creation time nothing can set; Wine cannot set it either,
    // and reports one made up from the other times.
    if (!test::RunningUnderWine()) expectStamped(creation && OnWindows(), before.creation, after.creation);
  }
}

// A path that is not there is reported too: it is no folder to pass over.
TEST_F(CommandsTest, StampReportsFilesItCannotOpenButPassesOverFolders) {
  files_.MakeFolder("folder");
  files_.Write("locked", "x");
  files_.Write("plain", "x");
  platform::FileTimesEditor(files_.File("plain")).Write({kLongAgo, kLongAgo, kLongAgo});
  const auto lock = test::KeepFromWriting(files_.File("locked"));
  if (!lock) GTEST_SKIP() << "this file system cannot keep a file from being written";
  Select({files_.File("folder"), files_.File("locked"), files_.File("gone"), files_.File("plain")});
  ExpectError("Could not get filehandle. Stamping failed");
  ExpectError("Could not get filehandle. Stamping failed");
  Run("<command>[stamp]</command><commandline>010</commandline>");
  EXPECT_GT(platform::ReadFileTimes(files_.File("plain")).lastWrite, kLongAgo);
}

// A file of the same name waits in the destination; the record's flags decide what happens.
TEST_F(CommandsTest, CopyAndMoveSettleACollisionAsTheFlagsSay) {
  const Files bothKept, replaced{{"a.txt", "new"}}, kept{{"a.txt", "old"}};
  const std::tuple<std::string, std::string, std::optional<ui::MsgBoxResult>, const Files*> cases[] = {
      {"[copy]", "", std::nullopt, &bothKept},
      {"[copy]", "<overwrite><overwrite_ask>", std::nullopt, &replaced},
      {"[copy]", "<overwrite_ask>", ui::MsgBoxResult::kYes, &replaced},
      {"[copy]", "<overwrite_ask>", ui::MsgBoxResult::kNo, &kept},
      {"[move]", "", std::nullopt, &bothKept},
      {"[move]", "<overwrite>", std::nullopt, &replaced},
      {"[move]", "<overwrite_ask>", ui::MsgBoxResult::kCancel, &kept},
  };
  int n = 0;
  for (const auto& [command, flags, answer, outcome] : cases) {
    SCOPED_TRACE(command + flags);
    // Wine's shell asks where it should rename; Windows asks in its own dialog, tested apart.
    if ((outcome == &bothKept && test::RunningUnderWine()) || (answer && OnWindows())) continue;
    const std::string from = "from" + std::to_string(++n), to = "to" + std::to_string(n);
    files_.MakeFolder(from);
    files_.MakeFolder(to);
    files_.Write(from + "/a.txt", "new");
    files_.Write(to + "/a.txt", "old");
    Select({files_.File(from) + platform::kPathSeparator + "a.txt"});
    if (answer)
      ui.ExpectMsgBox("The file \"" + files_.File(to) + "/a.txt\" already exists. Do you want to replace it?",
                      ui::MsgBoxButtons::kYesNoCancel, ui::MsgBoxIcon::kNone, *answer, "Ravelin");
    Run("<command>" + command + "</command><commandline>" + files_.File(to) + "</commandline>" + flags);

    const Files result = FilesIn(files_.File(to));
    if (outcome == &bothKept) {
      // The copy is "a (copy).txt" here, "a - Copy.txt" on Windows.
      ASSERT_EQ(result.size(), 2u);
      for (const auto& [name, content] : result) EXPECT_EQ(content, name == "a.txt" ? "old" : "new") << name;
    } else {
      EXPECT_EQ(result, *outcome);
    }
    EXPECT_EQ(FilesIn(files_.File(from)).size(), command == "[move]" && outcome != &kept ? 0u : 1u);
  }
}

TEST_F(CommandsTest, CopyAndMoveIntoFoldersStillToBeMade) {
  files_.Write("one", "1");
  files_.Write("two", "2");
  files_.MakeFolder("sub");
  // The Windows shell would make a file named like the destination of a single file.
  Select({files_.File("one")});
  Run("<command>[copy]</command><commandline>" + files_.File("for one") + "</commandline>");
  EXPECT_EQ(FilesIn(files_.File("for one")), (Files{{"one", "1"}}));

  std::vector<std::string> titles;
  std::string picked = files_.File("picked");
  ui.OnBrowseForFolder([&](const std::string& title) {
    titles.push_back(title);
    return picked;
  });
  Select({files_.File("one"), files_.File("two"), files_.File("sub")});
  Run("<command>[movefolder]</command><commandline>ignored</commandline>");
  EXPECT_EQ(FilesIn(files_.File("picked")), (Files{{"one", "1"}, {"two", "2"}, {"sub", "<folder>"}}));
  picked.clear();  // cancelled: nothing happens and nothing is said
  Run("<command>[copyfolder]</command>");
  EXPECT_EQ(titles, std::vector<std::string>(2, "Select a destination folder"));
  EXPECT_EQ(FilesIn(files_.Path()), (Files{{"for one", "<folder>"}, {"picked", "<folder>"}}));

  // Without a destination the files would land in the file manager's current folder.
  ExpectConfigurationWarning();
  Run("<command>[copy]</command>");
}

TEST_F(CommandsTest, AppStartWorksOnASingleItemOnly) {
  Select({NativePath("C:\\a.txt"), NativePath("C:\\b.txt")});
  Run("<command>[appstart]</command>");
  if (platform::HasOpenWithDialog()) GTEST_SKIP() << "would show the system's real dialog";
  Select({NativePath("C:\\a.txt")});
  ExpectError("Could not find dialog. Very strange...");
  Run("<command>[appstart]</command>");
}

const std::string kLaunchError = "Error executing command. Check the registry for errors.\n\rCommand:";

TEST_F(CommandsTest, CommandsThatCannotStartAreReported) {
  const std::string program = NativePath("C:\\no such folder\\program.exe");
  files_.Write("b.txt", "b");
  Select({files_.File("b.txt")});
  ExpectError(kLaunchError + program + "\n\rArguments:/x \"" + files_.File("b.txt") + "\" \"" +
              files_.Path() + "\"");
  Run("<command>" + program + "</command><commandline>/x</commandline><sendfolder><sendfile>");

  // A capital letter makes a built-in name an external command.
  ExpectError(kLaunchError + "[Copypath]\n\rArguments:");
  Run("<command>[Copypath]</command>");
  EXPECT_EQ(ui.ClipboardText(), "");

  // The command is extracted twice, to classify it and to launch it; none starts nothing.
  ExpectConfigurationWarning();
  ExpectConfigurationWarning();
  ExpectError(kLaunchError + "\n\rArguments:");
  Run("<caption>No command</caption>");
}

// Starts copies of a helper that writes the arguments it received to "args.txt" beside itself.
class LaunchTest : public CommandsTest {
 protected:
  std::string InstallRecorder(const std::string& folder) {
    files_.MakeFolder(folder);
    const std::string copy = files_.File(folder) + platform::kPathSeparator + CARVEX_ARGV_RECORDER;
    fs::copy_file(Path(platform::AppPath() + platform::kPathSeparator + CARVEX_ARGV_RECORDER), Path(copy));
    return copy;
  }
  std::vector<std::string> ReceivedArguments(const std::string& folder) {
    const std::string list = files_.File(folder) + platform::kPathSeparator + "args.txt";
    for (int i = 0; i < 400 && !platform::PathExists(list); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const std::string text = platform::PathExists(list) ? test::ReadFileBytes(list) : "<nothing received>\n";
    if (platform::PathExists(list)) platform::RemoveFile(list);
    std::vector<std::string> arguments;
    for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      arguments.push_back(text.substr(at, end - at));
    return arguments;
  }
};

TEST_F(LaunchTest, SelectionIsPassedAsTheRecordAsks) {
  files_.MakeFolder("data");
  files_.Write("data/b c.txt", "x");
  const std::string folder = files_.File("data"), file = folder + platform::kPathSeparator + "b c.txt";
  const std::string program = InstallRecorder("program");
  const std::tuple<std::string, std::string, std::vector<std::string>, std::vector<std::string>> cases[] = {
      {"/s", "<sendfile>", {file}, {"/s", file}},
      {"/s", "<sendfile>", {file, folder}, {"/s", "*"}},
      {"", "<sendfile>", {file}, {file}},
      {"", "<sendfolder>", {file}, {folder}},
      {"", "<sendfolder>", {folder}, {folder}},
      {"-v", "<sendfolder><sendfile>", {file}, {"-v", file, folder}},
      {"\"two words\" plain", "", {file}, {"two words", "plain"}},
  };
  for (const auto& [commandLine, flags, selection, expected] : cases) {
    Select(selection);
    Run("<command>" + program + "</command><commandline>" + commandLine + "</commandline>" + flags);
    EXPECT_EQ(ReceivedArguments("program"), expected) << commandLine << flags;
  }
}

// Names that a shell would read as syntax, in the program's path and in the selection, reach
// the program unchanged and run nothing.
TEST_F(LaunchTest, NamesAreNeverParsedByAShell) {
  const std::string place = OnWindows() ? "bin a & b; c ^d" : "bin a \"b\"; touch 'pwned' $(x) &";
  const std::string program = InstallRecorder(place);
  const std::vector<std::string> names =
      OnWindows() ? std::vector<std::string>{"a & b; c", "e %PATH% $(x) ^h"}
                  : std::vector<std::string>{"a \"b\"; touch pwned `y` &", "c\\\" d"};
  for (const std::string& name : names) {
    files_.Write(name, "x");
    Select({files_.File(name)});
    Run("<command>" + program + "</command><commandline>-x</commandline><sendfile><sendfolder>");
    EXPECT_EQ(ReceivedArguments(place), (std::vector<std::string>{"-x", files_.File(name), files_.Path()}));
  }
  EXPECT_FALSE(platform::PathExists(files_.File("pwned")));
}

// Characters that cmd.exe or a program's own parser would read as syntax, and a folder named
// with a trailing separator, each reach the program as exactly one argument: started at once,
// and on Windows through a batch file as well, which cmd.exe reads before it passes its
// arguments on. No variable is expanded, no command run, no backslash taken for an escape.
TEST_F(LaunchTest, AwkwardNamesArriveAsOneArgumentEach) {
  const std::string separator(1, platform::kPathSeparator);
  std::vector<std::pair<std::string, std::string>> launchers = {{InstallRecorder("program"), "program"}};
  if (OnWindows()) {
    InstallRecorder("batch");
    files_.Write("batch/pass on.bat", "@\"%~dp0" CARVEX_ARGV_RECORDER "\" %*\r\n");
    launchers.emplace_back(files_.File("batch") + separator + "pass on.bat", "batch");
  }
  files_.MakeFolder("in & ^ (1)");
  const std::string folder = files_.File("in & ^ (1)");
  std::vector<std::tuple<std::string, std::string, std::vector<std::string>>> cases;
  for (const std::string name :
       {"50% off %PATH% %%cd%% %1.txt", "a ^b & c! !PATH! (x).txt", "two  spaces .txt"}) {
    files_.Write("in & ^ (1)/" + name, "x");
    const std::string file = folder + separator + name;
    cases.push_back({"<sendfile><sendfolder>", file, {"-x", file, folder}});
  }
  cases.push_back({"<sendfile>", folder + separator, {"-x", folder + separator}});
  // A file at the top of a drive lies in "C:\", which "C:" would not name.
  const std::string atRoot = "C:\\carvex launch " + std::to_string(std::random_device()()) + ".txt";
  if (OnWindows()) {
    std::ofstream(Path(atRoot)) << "x";
    cases.push_back({"<sendfolder>", atRoot, {"-x", "C:\\"}});
  }
  for (const auto& [program, place] : launchers) {
    for (const auto& [flags, selected, expected] : cases) {
      // Wine's cmd.exe expands variables again in the text that %* puts into the batch file,
      // which Windows never does; CmdExeTest checks the "%" there up to the batch file.
      if (place == "batch" && test::RunningUnderWine() && selected.find('%') != std::string::npos) continue;
      Select({selected});
      Run("<command>" + program + "</command><commandline>-x</commandline>" + flags);
      EXPECT_EQ(ReceivedArguments(place), expected) << program << " " << selected;
    }
  }
  if (!OnWindows()) return;
  fs::remove(Path(atRoot));
  // An odd quote in the configured text would leave the names outside quotes, where cmd.exe
  // takes "&" for the start of another command: such a batch file is not started at all.
  const std::string file = folder + separator + "a ^b & c! !PATH! (x).txt";
  Select({file});
  ExpectError(kLaunchError + launchers[1].first + "\n\rArguments:-x \" \"" + file + "\"");
  Run("<command>" + launchers[1].first + "</command><commandline>-x \"</commandline><sendfile>");
}

TEST(CommandHelpers, ArgumentsAndFolders) {
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"  ", {}},
      {" -a\t-b ", {"-a", "-b"}},
      {"\"C:\\Program Files\\x\" pre\"quoted part\"post \"\"",
       {"C:\\Program Files\\x", "prequoted partpost", ""}},
      {"a;b $(c) 'd e'", {"a;b", "$(c)", "'d", "e'"}},
  };
  for (const auto& [text, expected] : cases) EXPECT_EQ(SplitArguments(text), expected) << text;

  // Only Windows takes a backslash for a separator; a root keeps its separator.
  const std::tuple<std::string, std::string, std::string> folders[] = {
      // path, folder on Windows, folder on POSIX
      {"C:\\a b\\c.txt", "C:\\a b", ""},
      {"/a b/c.txt", "/a b", "/a b"},
      {"C:/a\\b", "C:/a", "C:"},
      {"c.txt", "", ""},
      {"C:\\c.txt", "C:\\", ""},
      {"C:/c.txt", "C:/", "C:"},
      {"\\c.txt", "\\", ""},
      {"/c.txt", "/", "/"},
      {"\\\\server\\share\\c.txt", "\\\\server\\share", ""},
  };
  for (const auto& [path, windows, posix] : folders)
    EXPECT_EQ(ContainingFolder(path), platform::kPathSeparator == '\\' ? windows : posix) << path;
}

}  // namespace
}  // namespace carvex
