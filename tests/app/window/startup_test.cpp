#include <gtest/gtest.h>

#include <chrono>

#include "frm_carvex.h"
#include "frm_zip_file.h"
#include "handoff.h"
#include "mod_public.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/seam.h"
#include "progress_status.h"
#include "support/headless.h"
#include "support/temp_dir.h"
#include "support/unreadable_file.h"

namespace carvex {
namespace {

using test::TempDir;
using ui::CheckBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

constexpr char kSep = platform::kPathSeparator;

// Starts the main window with a command line, the hand-off key moved to a key of the test's
// own (a database file of its own on Linux, a throwaway key under Wine).
class StartUpTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    platform::SetRegistryDatabasePath(regDir.File("registry.db"));
    handOffKey = "Software\\Carvex Tests\\startup-" +
                 std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
    OverrideHandOffKeyPath(handOffKey);
    OverrideAppFolders(app.Path(), app.Path());
    SplitFileCount = 0;
    ZipChecked = false;
    UseOutput = kFalse;
  }
  void TearDown() override {
    frmZipFile.Reset();
    frmProgressStatus.Reset();
    frmCarvex.Reset();
    ui::App().MainForm = nullptr;
    if (auto key = platform::RegistryKey::Open(platform::RegistryRoot::kCurrentUser, "Software\\Carvex Tests",
                                               platform::RegistryAccess::kReadWrite))
      key->DeleteSubKeyTree(handOffKey.substr(std::string("Software\\Carvex Tests\\").size()));
    OverrideHandOffKeyPath("");
    OverrideAppFolders("", "");
    CommandLine.clear();
    HeadlessTest::TearDown();
  }

  CarvexForm& Start(const std::string& commandLine) {
    CommandLine = commandLine;
    return *frmCarvex;
  }
  std::vector<std::string> ListedPaths() {
    std::vector<std::string> paths;
    for (std::size_t i = 1; i <= frmCarvex->lvwSplitFileNames.Count(); ++i)
      paths.push_back(frmCarvex->lvwSplitFileNames.Item(i).subItems.at(1));
    return paths;
  }

  TempDir regDir, app, files;
  std::string handOffKey;
};

TEST_F(StartUpTest, HandOffOfThreeFilesListsThemWithTheLastFolderAsDestination) {
  TempDir other;
  files.Write("a.txt", "a");
  files.Write("b.txt", "bb");
  other.Write("c.txt", "ccc");
  WriteHandOffSelection({files.File("a.txt"), files.File("b.txt"), other.File("c.txt")});
  CarvexForm& w = Start("/s \"*\"");
  EXPECT_EQ(ListedPaths(), (std::vector<std::string>{files.File("a.txt"), files.File("b.txt"), other.File("c.txt")}));
  EXPECT_EQ(SplitFileCount, 3);
  EXPECT_EQ(w.chkZipFile.Value(), CheckBox::kChecked);
  EXPECT_FALSE(w.chkZipFile.Enabled());
  // The first file filled the empty box; the rule then puts the last folder read there.
  EXPECT_EQ(w.txtSplitDestination.Text(), other.Folder());
}

TEST_F(StartUpTest, TheOutputFolderSettingWinsAndGetsItsSeparator) {
  files.Write("a.txt", "a");
  files.Write("b.txt", "b");
  WriteHandOffSelection({files.File("a.txt"), files.File("b.txt")});
  app.MakeFolder("out");
  // The settings file holds UseOutput and a folder without its trailing separator.
  platform::File settings(app.File("Settings.Dat"), platform::File::Mode::kCreate);
  std::string image(1024, '\0');
  image[3 * 128] = image[3 * 128 + 1] = '\xFF';
  const std::string out = app.File("out");
  image[4 * 128] = static_cast<char>(out.size());
  image.replace(4 * 128 + 2, out.size(), out);
  settings.Write(image);
  settings.Close();
  CarvexForm& w = Start("/s \"*\"");
  EXPECT_EQ(w.txtSplitDestination.Text(), out + kSep);
  EXPECT_EQ(OutDestination, out + kSep);
}

TEST_F(StartUpTest, AMissingOrEmptyListGivesAnEmptyListAndALoneSeparator) {
  CarvexForm& w = Start("/s \"*\"");
  EXPECT_EQ(w.lvwSplitFileNames.Count(), 0u);
  EXPECT_EQ(w.txtSplitDestination.Text(), std::string(1, kSep));
  EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(StartUpTest, EmptyValueNamesAreSkipped) {
  files.Write("a.txt", "a");
  auto list = platform::RegistryKey::Create(platform::RegistryRoot::kCurrentUser, handOffKey + "\\fileNames");
  list.SetString("", "");
  list.SetString(files.File("a.txt"), "");
  Start("/s \"*\"");
  EXPECT_EQ(ListedPaths(), std::vector<std::string>{files.File("a.txt")});
}

TEST_F(StartUpTest, OnePathInQuotes) {
  files.Write("report.doc", "r");
  CarvexForm& w = Start("/s \"" + files.File("report.doc") + "\"");
  EXPECT_EQ(ListedPaths(), std::vector<std::string>{files.File("report.doc")});
  EXPECT_EQ(w.txtSplitDestination.Text(), files.Folder());
  EXPECT_EQ(CurrentMode, 1);
}

TEST_F(StartUpTest, SwitchesAreExactAndOnlyTwoCharactersLong) {
  files.Write("report.doc", "r");
  const std::string quoted = "\"" + files.File("report.doc") + "\"";
  Start("/S " + quoted);
  EXPECT_EQ(frmCarvex->lvwSplitFileNames.Count(), 0u);
  frmCarvex.Reset();
  // Any "/z..." is the "/z" rule, the path starting at the fifth character: the zip dialog
  // comes up; cancelled, the file stays listed.
  ui.OnShowModal("frmZipFile", [](ui::Form& form) {
    EXPECT_EQ(static_cast<ZipFileForm&>(form).txtZipFileName.Text(), "report.doc");
    static_cast<ZipFileForm&>(form).cmdCancel.Click();
  });
  Start("/zi" + quoted);
  EXPECT_EQ(frmCarvex->lvwSplitFileNames.Count(), 1u);
}

TEST_F(StartUpTest, ZipAtStartUpMakesTheArchiveAndListsItInsteadOfTheFiles) {
  files.Write("a.txt", std::string(5000, 'a'));
  files.Write("b.txt", std::string(7000, 'b'));
  WriteHandOffSelection({files.File("a.txt"), files.File("b.txt")});
  ui.OnShowModal("frmZipFile", [this](ui::Form& form) {
    auto& zip = static_cast<ZipFileForm&>(form);
    EXPECT_EQ(zip.txtZipFileName.Text(), GetParentFolderName(files.File("a.txt")));
    zip.txtZipFileName.SetText("Bundle");
    zip.cmdOK.Click();
  });
  bool lockedWhileZipping = false;
  ui.AtDoEvents(1, [&] { lockedWhileZipping = !ui::App().MainForm->Enabled(); });
  Start("/z \"*\"");
  EXPECT_TRUE(lockedWhileZipping);
  EXPECT_TRUE(frmCarvex->Enabled());
  const std::string archive = ZipTempFolder() + "Bundle.zip";
  EXPECT_EQ(ListedPaths(), std::vector<std::string>{archive});
  EXPECT_GT(platform::FileLength(archive), 0);
  EXPECT_FALSE(frmProgressStatus.IsLoaded());
  EXPECT_EQ(frmCarvex->chkZipFile.Value(), CheckBox::kUnchecked);  // back to the user's choice
}

TEST_F(StartUpTest, ZipAtStartUpRefusesAnEmptyFile) {
  files.Write("empty.txt", "");
  ui.OnShowModal("frmZipFile", [](ui::Form& form) { static_cast<ZipFileForm&>(form).cmdOK.Click(); });
  ui.ExpectMsgBox("The size of the file you have chosen to zip is 0!", MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone,
                  MsgBoxResult::kOk);
  Start("/z \"" + files.File("empty.txt") + "\"");
  EXPECT_EQ(ListedPaths(), std::vector<std::string>{files.File("empty.txt")});
  EXPECT_FALSE(frmProgressStatus.IsLoaded());
}

// "Zip and split" on a folder: the folder's name is proposed, the archive of its tree replaces
// it in the list; a folder without a byte in its tree is refused as an empty file is.
TEST_F(StartUpTest, ZipAtStartUpTakesAFolderWithItsTree) {
  for (const bool withFile : {true, false}) {
    SCOPED_TRACE(withFile ? "a folder" : "an empty folder");
    TempDir tree;
    tree.MakeFolder(std::string("Photos") + kSep + "empty");
    if (withFile) tree.Write(std::string("Photos") + kSep + "a.txt", "a");
    frmCarvex.Reset();
    ui.OnShowModal("frmZipFile", [](ui::Form& form) {
      auto& zip = static_cast<ZipFileForm&>(form);
      EXPECT_EQ(zip.txtZipFileName.Text(), "Photos");
      zip.cmdOK.Click();
    });
    if (!withFile)
      ui.ExpectMsgBox("The size of the file you have chosen to zip is 0!", MsgBoxButtons::kOkOnly,
                      MsgBoxIcon::kNone, MsgBoxResult::kOk);
    Start("/z \"" + tree.File("Photos") + "\"");
    EXPECT_EQ(ListedPaths(),
              std::vector<std::string>{withFile ? ZipTempFolder() + "Photos.zip" : tree.File("Photos")});
  }
}

// The component's message is all: no archive is listed in place of the files, so the start-up
// finds nothing missing to complain of, and the files stay for another try.
TEST_F(StartUpTest, AFailedZipAtStartUpKeepsTheHandedOverFiles) {
  files.Write("a.txt", "a");
  files.Write("locked.txt", "b");
  WriteHandOffSelection({files.File("a.txt"), files.File("locked.txt")});
  ui.OnShowModal("frmZipFile", [](ui::Form& form) { static_cast<ZipFileForm&>(form).cmdOK.Click(); });
  ui.ExpectMsgBoxStartingWith(
      "There was an error when attempting to zip the chosen file(s).\n\r\n\rCannot read '" +
          files.File("locked.txt") + "'",
      MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  test::UnreadableFile seam("locked.txt");
  platform::ScopedSeam scoped(seam);
  Start("/z \"*\"");
  EXPECT_EQ(ListedPaths(), (std::vector<std::string>{files.File("a.txt"), files.File("locked.txt")}));
  EXPECT_TRUE(frmCarvex->Enabled());
  EXPECT_FALSE(frmProgressStatus.IsLoaded());
}

TEST_F(StartUpTest, BuildSwitchOpensBuildModeWithTheWholeSet) {
  for (int k = 1; k <= 3; ++k) files.Write(PieceFileName("movie.avi", k), "p");
  for (const std::string& argument :
       {"\"" + files.File("movie.avi.002.cvx") + "\"", files.File("movie.avi.002.cvx")}) {
    SCOPED_TRACE(argument);
    frmCarvex.Reset();
    CarvexForm& w = Start("/b " + argument);
    EXPECT_EQ(CurrentMode, 2);
    EXPECT_EQ(w.lvwBuildFileNames.Count(), 3u);
    EXPECT_EQ(w.txtBuildDestination.Text(), files.Folder());
  }
}

TEST_F(StartUpTest, AnErrorWhileLoadingIsReported) {
  const std::string missing = files.File("gone.txt");
  ui.ExpectMsgBoxStartingWith("There was an error loading Carvex.\n\r\n\r", MsgBoxButtons::kOkOnly,
                              MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  CarvexForm& w = Start("/s \"" + missing + "\"");
  EXPECT_TRUE(w.IsLoaded());
  EXPECT_EQ(CurrentMode, 1);
}

TEST_F(StartUpTest, LeavingEmptiesTheScratchFolderButNotItsSubfolders) {
  Start("");
  app.MakeFolder("temp");
  app.MakeFolder(std::string("temp") + kSep + "sub");
  app.Write(std::string("temp") + kSep + "Bundle.zip", "z");
  app.Write(std::string("temp") + kSep + "sub" + kSep + "keep", "k");
  frmCarvex->CloseByUser();
  EXPECT_TRUE(ui.Ended());
  EXPECT_FALSE(platform::PathExists(app.File(std::string("temp") + kSep + "Bundle.zip")));
  EXPECT_TRUE(platform::PathExists(app.File(std::string("temp") + kSep + "sub" + kSep + "keep")));
  EXPECT_TRUE(platform::PathExists(app.File("Settings.Dat")));
}

}  // namespace
}  // namespace carvex
