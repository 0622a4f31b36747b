// carvex.exe as a user meets it: each test copies the program and its data files into an
// application folder of its own, starts it there and drives its windows from outside, the
// dialogs included, then checks what the program left on disk.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "handoff.h"
#include "mod_public.h"
#include "platform/files.h"
#include "platform/wide.h"
#include "settings_store.h"
#include "support/temp_dir.h"
#include "support/win_driver.h"
#include "ui/win32_backend.h"
#include "zipkit/extract.h"

namespace carvex {
namespace {

namespace win = test::win;
using test::TempDir;
using ui::Win32ControlId;
using ui::Win32FormClass;

class CarvexExeTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"carvex.exe", "ZipSFX.bin", "Contents.htm", "License.txt"}) {
      const std::string from = win::ThisProgramFolder() + "\\" + name;
      ASSERT_TRUE(::CopyFileW(platform::Widen(from).c_str(), platform::Widen(app.File(name)).c_str(), FALSE))
          << from;
    }
    // Shipped, the folder has one for the archives made before a split.
    app.MakeFolder("temp");
  }

  // Starts the program with `arguments` and waits for its main window.
  void Start(const std::string& arguments = "") {
    program.emplace(app.File("carvex.exe"), arguments, app.Path());
    main = win::WaitForWindow(Process(), Win32FormClass("frmCarvex"));
  }
  DWORD Process() const { return program->Id(); }
  HWND Form(const char* name) { return win::WaitForWindow(Process(), Win32FormClass(name)); }
  HWND In(HWND form, const char* control) { return win::Control(form, Win32ControlId(control)); }
  HWND Main(const char* control) { return In(main, control); }

  // The text of the box, which has to contain `part`.
  std::string ExpectBox(int button, const std::string& part) {
    const win::ShownBox box = win::AnswerMessageBox(Process(), button);
    EXPECT_NE(box.text.find(part), std::string::npos) << "the box said: " << box.text;
    return box.text;
  }
  // A job has ended when its last file is there, its progress window has gone and the main
  // window takes input again.
  void WaitForJobEnd(const std::string& lastFile) {
    ASSERT_TRUE(win::WaitUntil([&] {
      return platform::PathExists(lastFile) &&
             !win::FindWindowOf(Process(), Win32FormClass("frmProgressStatus")) && win::IsEnabled(main);
    })) << "the job did not end; the program shows:\n"
        << win::DescribeWindows(Process());
  }
  void WaitForList(const char* list, const std::vector<std::string>& names) {
    EXPECT_TRUE(win::WaitUntil([&] { return win::ListViewColumn(Main(list)) == names; }))
        << list << " lists " << testing::PrintToString(win::ListViewColumn(Main(list)));
  }
  // Chooses a split into pieces of `kb` KB, into `folder`.
  void ChooseSplit(const std::string& folder, int kb) {
    win::SetText(Main("txtSplitDestination"), folder);
    win::ClickNow(Main("optSizeKb"));
    win::SetText(Main("txtSizeKb"), std::to_string(kb));
  }
  void Exit() {
    win::Click(Main("cmdExit"));
    EXPECT_EQ(program->WaitForExit(), 0u);
  }
  SettingsRecord SavedSettings() const {
    return DecodeSettings(test::ReadFileBytes(app.File(kSettingsFileName)));
  }

  TempDir app, src, dest;
  // Ended before the folders go: it may hold files in them open.
  std::optional<win::Program> program;
  HWND main = nullptr;
};

TEST_F(CarvexExeTest, StartsInSplitModeStaysUpAndExitSavesTheSettings) {
  Start();
  EXPECT_EQ(win::Text(main), "Carvex - Split Mode");
  EXPECT_EQ(win::TabCount(Main("tbsTabs")), 2);
  EXPECT_EQ(program->WaitForExit(std::chrono::milliseconds(2000)), std::nullopt)
      << "the program ended by itself";
  // The first start leaves an empty file; Exit writes every record.
  EXPECT_EQ(platform::FileLength(app.File(kSettingsFileName)), 0);
  Exit();
  EXPECT_EQ(platform::FileLength(app.File(kSettingsFileName)),
            static_cast<std::int64_t>(kSettingsFileLength));
}

TEST_F(CarvexExeTest, SplitAndBuildThroughTheWindowsGiveTheFileBackByteForByte) {
  const std::string bytes = test::PatternBytes(1000000, 7);
  src.Write("source.bin", bytes);
  Start();
  win::Click(Main("cmdSplitAddFiles"));
  win::AnswerOpenDialog(Process(), {src.File("source.bin")});
  WaitForList("lvwSplitFileNames", {"source.bin"});
  ChooseSplit(dest.Folder(), 300);
  win::Click(Main("cmdAction"));
  ExpectBox(IDYES, "You have chosen to split the file source.bin:");
  WaitForJobEnd(dest.File("source.bin.Bat"));
  const std::size_t piece = 300 * 1024;
  for (std::size_t k = 0; k * piece < bytes.size(); ++k)
    EXPECT_TRUE(dest.Read(PieceFileName("source.bin", static_cast<std::int64_t>(k) + 1)) ==
                bytes.substr(k * piece, piece))
        << "piece " << k + 1;
  EXPECT_FALSE(platform::PathExists(dest.File(PieceFileName("source.bin", 5))));

  win::SelectTab(Main("tbsTabs"), 1);
  EXPECT_TRUE(win::WaitUntil([&] { return win::IsVisible(Main("cmdAddBuildFile")); }));
  EXPECT_EQ(win::Text(main), "Carvex - Build Mode");
  win::Click(Main("cmdAddBuildFile"));
  win::AnswerOpenDialog(Process(), {dest.File(PieceFileName("source.bin", 1))});
  WaitForList("lvwBuildFileNames", {PieceFileName("source.bin", 1), PieceFileName("source.bin", 2),
                                    PieceFileName("source.bin", 3), PieceFileName("source.bin", 4)});
  TempDir out;
  win::Click(Main("cmdBuildBrowseDestination"));
  win::AnswerFolderPicker(Process(), out.Path());
  EXPECT_TRUE(win::WaitUntil([&] { return win::Text(Main("txtBuildDestination")) == out.Folder(); }))
      << win::Text(Main("txtBuildDestination"));
  win::Click(Main("cmdAction"));
  ExpectBox(IDYES, "You have chosen to build a file:");
  WaitForJobEnd(out.File("source.bin"));
  EXPECT_TRUE(win::WaitUntil([&] { return out.Read("source.bin") == bytes; })) << "the built file differs";

  // The same build once piece 2 has changed: it stops, names the piece and keeps nothing.
  platform::RemoveFile(out.File("source.bin"));
  std::string changed = dest.Read(PieceFileName("source.bin", 2));
  changed[1000] ^= 1;
  dest.Write(PieceFileName("source.bin", 2), changed);
  win::Click(Main("cmdAction"));
  ExpectBox(IDYES, "You have chosen to build a file:");
  ExpectBox(IDOK, "The piece 'source.bin.002.cvx' does not match its checksum in 'source.bin.sha256'");
  EXPECT_TRUE(win::WaitUntil([&] { return win::IsEnabled(main); }));
  EXPECT_FALSE(platform::PathExists(out.File("source.bin")));
}

TEST_F(CarvexExeTest, CancelDuringASplitStopsItAndDeletesThePiecesMade) {
  src.MakeSparse("big.bin", std::int64_t{200} << 20);
  Start("/s \"" + src.File("big.bin") + "\"");
  WaitForList("lvwSplitFileNames", {"big.bin"});
  win::SetText(Main("txtSplitDestination"), dest.Folder());
  win::ClickNow(Main("optSizePredefined"));
  win::SelectComboItem(Main("cboPredefined"), 2);  // 500 Kb
  win::Click(Main("cmdAction"));
  const std::string question = ExpectBox(IDYES, "You have chosen to split the file big.bin:");
  EXPECT_NE(question.find("409 files"), std::string::npos) << "not the size chosen in the list";
  HWND progress = Form("frmProgressStatus");
  EXPECT_FALSE(win::IsEnabled(main)) << "the main window takes input during the split";
  win::Click(In(progress, "cmdCancel"));
  ExpectBox(IDYES, "Are you sure you want to stop splitting this file?");
  ExpectBox(IDYES, "of the files have already been created would you like to delete them?");
  EXPECT_TRUE(win::WaitUntil([&] {
    return !win::FindWindowOf(Process(), Win32FormClass("frmProgressStatus")) && win::IsEnabled(main);
  })) << win::DescribeWindows(Process());
  EXPECT_EQ(platform::ListPlainFiles(dest.Folder()), std::vector<std::string>{});
}

TEST_F(CarvexExeTest, AZippedSplitWithAPasswordRebuildsToAnArchiveThatOpensWithIt) {
  const std::string bytes = test::PatternBytes(1000000, 5);
  src.Write("source.bin", bytes);
  Start("/s \"" + src.File("source.bin") + "\"");
  WaitForList("lvwSplitFileNames", {"source.bin"});
  win::ClickNow(Main("chkZipFile"));
  ASSERT_TRUE(win::IsChecked(Main("chkZipFile")));
  ChooseSplit(dest.Folder(), 300);
  win::Click(Main("cmdAction"));
  HWND zip = Form("frmZipFile");
  win::ClickNow(In(zip, "chkUsePass"));
  win::SetText(In(zip, "txtPassword"), "s3cret word");
  win::SetText(In(zip, "txtRePassword"), "s3cret word");
  win::Click(In(zip, "cmdOK"));
  ExpectBox(IDYES, "You have chosen to split the file source.bin.zip:");
  WaitForJobEnd(dest.File("source.bin.zip.Bat"));

  std::string archive;
  for (std::int64_t k = 1; platform::PathExists(dest.File(PieceFileName("source.bin.zip", k))); ++k)
    archive += dest.Read(PieceFileName("source.bin.zip", k));
  ASSERT_GT(archive.size(), 300u * 1024) << "the archive was not split";
  dest.Write("joined.zip", archive);
  const std::vector<zipkit::EntryInfo> entries = zipkit::ListArchive(dest.File("joined.zip"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "source.bin");
  EXPECT_TRUE(entries[0].encrypted);
  TempDir out;
  zipkit::ExtractOptions options;
  options.folder = out.Path();
  options.password = "s3cret word";
  zipkit::ExtractArchive(dest.File("joined.zip"), options);
  EXPECT_TRUE(out.Read("source.bin") == bytes) << "the archive does not hold the source";
}

TEST_F(CarvexExeTest, OptionsOkKeepsTheChangedSwitchAndExitSavesIt) {
  app.Write(kSettingsFileName, EncodeSettings({}));
  Start();
  win::PostMenuCommand(main, Win32ControlId("mnuOptions"));
  HWND options = Form("frmOptions");
  EXPECT_FALSE(win::IsChecked(In(options, "chkDelExists")));
  win::ClickNow(In(options, "chkDelExists"));
  win::Click(In(options, "cmdOK"));
  EXPECT_TRUE(win::WaitUntil([&] { return !win::FindWindowOf(Process(), Win32FormClass("frmOptions")); }));
  Exit();
  EXPECT_EQ(SavedSettings().DelExists, kTrue);
}

// Run by long_path_test.sh, which makes a folder whose path is past 300 characters with the
// source in it, and compares the rebuilt file on the Linux side of the same path.
TEST_F(CarvexExeTest, LongPathSplitAndBuildThroughTheWindows) {
  const char* const given = std::getenv("CARVEX_LONG_FOLDER");
  if (!given) GTEST_SKIP() << "needs CARVEX_LONG_FOLDER, as long_path_test.sh gives it";
  const std::string folder = given;
  const std::string pieces = folder + "\\pieces";
  ASSERT_GT(pieces.size(), 300u);
  Start("/s \"" + folder + "\\source.bin\"");
  WaitForList("lvwSplitFileNames", {"source.bin"});
  ChooseSplit(pieces, 300);
  win::Click(Main("cmdAction"));
  ExpectBox(IDYES, "You have chosen to split the file source.bin:");
  WaitForJobEnd(pieces + "\\source.bin.Bat");
  Exit();

  Start("/b \"" + pieces + "\\" + PieceFileName("source.bin", 2) + "\"");
  WaitForList("lvwBuildFileNames", {PieceFileName("source.bin", 1), PieceFileName("source.bin", 2),
                                    PieceFileName("source.bin", 3), PieceFileName("source.bin", 4)});
  EXPECT_EQ(win::Text(Main("txtBuildDestination")), pieces + "\\");
  win::Click(Main("cmdAction"));
  ExpectBox(IDYES, "You have chosen to build a file:");
  WaitForJobEnd(pieces + "\\source.bin");
  Exit();
}

// The hand-off key is the user's one: the tests that write it hold a lock (see CMakeLists.txt).
TEST_F(CarvexExeTest, HandOffStartsListTheHandedOverFilesOrThePiecesSet) {
  src.Write("a.txt", "a");
  src.Write("b.txt", "bb");
  WriteHandOffSelection({src.File("a.txt"), src.File("b.txt")});
  Start("/s \"*\"");
  WaitForList("lvwSplitFileNames", {"a.txt", "b.txt"});
  EXPECT_EQ(win::Text(Main("txtSplitDestination")), src.Folder());
  Exit();

  for (int k : {1, 2, 3}) dest.Write(PieceFileName("set.bin", k), std::string(10, 'x'));
  Start("/b \"" + dest.File(PieceFileName("set.bin", 2)) + "\"");
  EXPECT_EQ(win::SelectedTab(Main("tbsTabs")), 1);
  EXPECT_EQ(win::Text(main), "Carvex - Build Mode");
  WaitForList("lvwBuildFileNames",
              {PieceFileName("set.bin", 1), PieceFileName("set.bin", 2), PieceFileName("set.bin", 3)});
  EXPECT_EQ(win::Text(Main("txtBuildDestination")), dest.Folder());
}

}  // namespace
}  // namespace carvex
