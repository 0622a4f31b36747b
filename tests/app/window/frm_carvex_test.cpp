#include "frm_carvex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <stdexcept>

#include "frm_finished.h"
#include "frm_options.h"
#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "progress_status.h"
#include "support/headless.h"
#include "support/system_fixtures.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

using test::TempDir;
using ui::CheckBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

constexpr char kSep = platform::kPathSeparator;

// Stands in for drive A, and lets a test make a file's measuring fail or a path exist.
class FloppyStandIn : public platform::Seam {
public:
  std::optional<std::string> FloppyDriveRoot() override { return root; }
  void BeforeLength(const std::string& path) override {
    if (onLength) onLength(path);
  }
  std::optional<bool> Exists(const std::string& path) override {
    if (path == existing) return true;
    return std::nullopt;
  }
  std::string root = "no drive A here";
  std::function<void(const std::string&)> onLength;
  std::string existing;
};

class MainWindowTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    OverrideAppFolders(app.Path(), app.Path());
    CurrentMode = 0;
    SplitFileCount = 0;
    ZipChecked = false;
    frmCarvex.Get();
  }
  void TearDown() override {
    frmProgressStatus.Reset();
    frmOptions.Reset();
    frmAbout.Reset();
    frmFinished.Reset();
    frmCarvex.Reset();
    ui::App().MainForm = nullptr;
    OverrideAppFolders("", "");
    HeadlessTest::TearDown();
  }

  CarvexForm& W() { return *frmCarvex; }
  void Add(const std::string& path) {
    std::string p = path;
    W().AddSplitSourceFile(p);
  }
  void Warned(const std::string& text) {
    ui.ExpectMsgBox(text, MsgBoxButtons::kOkOnly, MsgBoxIcon::kExclamation, MsgBoxResult::kOk);
  }
  void Told(const std::string& text) {
    ui.ExpectMsgBox(text, MsgBoxButtons::kOkOnly, MsgBoxIcon::kNone, MsgBoxResult::kOk);
  }
  void Asked(const std::string& text, MsgBoxResult answer) {
    ui.ExpectMsgBox(text, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, answer);
  }
  // A split request ready to go but for what a test changes.
  std::string ReadySplit(const std::string& name, const std::string& bytes) {
    src.Write(name, bytes);
    Add(src.File(name));
    W().optSplitUsePath.Click();
    std::string destination = dest.Folder();
    W().AddSplitDestinationPath(destination);
    return src.File(name);
  }
  void MakePieces(const std::string& name, std::initializer_list<int> numbers) {
    for (int k : numbers) pieces.Write(PieceFileName(name, k), "piece" + std::to_string(k));
  }

  TempDir app, src, dest, pieces;
  FloppyStandIn floppy;
  platform::ScopedSeam seam{floppy};
};

TEST_F(MainWindowTest, StartsInSplitModeWithTheDesignChoices) {
  EXPECT_EQ(CurrentMode, 1);
  EXPECT_EQ(W().Caption(), "Carvex - Split Mode");
  EXPECT_TRUE(W().optSplitUsePath.Value());
  EXPECT_TRUE(W().optDiskSize.Value());
  EXPECT_TRUE(W().optBuildUsePath.Value());
  EXPECT_EQ(W().cboPredefined.Text(), "100 Kb");
  EXPECT_EQ(W().cboPredefined.Items().size(), 13u);
  EXPECT_EQ(ui::App().MainForm, &W());
  EXPECT_TRUE(platform::PathExists(app.File("Settings.Dat")));
}

TEST_F(MainWindowTest, ModeSwitchShowsTheRightFramesMenusAndCaptions) {
  const struct {
    void (CarvexForm::*command)();
    int mode;
    const char* caption;
    const char* action;
  } steps[] = {
      {&CarvexForm::mnuBuildMode_Click, 2, "Carvex - Build Mode", "&Build Files"},
      {&CarvexForm::mnuSplitMode_Click, 1, "Carvex - Split Mode", "&Split File"},
      {&CarvexForm::mnuBuildMode_Click, 2, "Carvex - Build Mode", "&Build Files"},
      {&CarvexForm::mnuBuildMode_Click, 2, "Carvex - Build Mode", "&Build Files"},
      {&CarvexForm::mnuSplitMode_Click, 1, "Carvex - Split Mode", "&Split File"},
  };
  for (const auto& s : steps) {
    (W().*s.command)();
    const bool split = s.mode == 1;
    EXPECT_EQ(CurrentMode, s.mode);
    EXPECT_EQ(W().tbsTabs.SelectedIndex(), s.mode);
    EXPECT_EQ(W().Caption(), s.caption);
    EXPECT_EQ(W().cmdAction.Caption(), s.action);
    EXPECT_EQ(W().fraSplitMode.Visible(), split);
    EXPECT_EQ(W().fraBuildMode.Visible(), !split);
    for (ui::Menu* m : {&W().mnuPreviewFile, &W().mnuRemoveFile, &W().mnuClearList, &W().mnuSplitFile})
      EXPECT_EQ(m->Visible(), split) << m->Name();
    EXPECT_EQ(W().mnuBuildFile.Visible(), !split);
    EXPECT_EQ(W().mnuSplitMode.Checked(), split);
    EXPECT_EQ(W().mnuBuildMode.Checked(), !split);
  }
  // A click on the tab strip does the same as the menu; each tab keeps its own tool tip.
  W().tbsTabs.Click(2);
  EXPECT_EQ(CurrentMode, 2);
  EXPECT_EQ(W().tbsTabs.TabToolTip(1), "Click to view Split Mode");
  EXPECT_EQ(W().tbsTabs.TabToolTip(2), "Click to view Build Mode");
}

TEST(CommandLinePaths, ARelativePathIsMadeAbsoluteAndQuoted) {
  const std::string here = platform::AbsolutePath(".");
  const std::string sep(1, kSep);
  const struct {
    std::string line, expected;
  } cases[] = {
      {"/s \"rel.txt\"", "/s \"" + here + sep + "rel.txt\""},
      {"/b m.avi.002.cvx", "/b \"" + here + sep + "m.avi.002.cvx\""},
      {"/z \"sub" + sep + ".." + sep + "a b.txt\"", "/z \"" + here + sep + "a b.txt\""},
      {"/s \"*\"", "/s \"*\""},
      {"/s", "/s"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WithAbsolutePath(c.line), c.expected) << c.line;
  const std::string absolute = "/s \"" + here + sep + "x.txt\"";
  EXPECT_EQ(WithAbsolutePath(absolute), absolute);
}

// Every user-level handler traps whatever fails in it, not only run-time errors of the file
// system, and shows its own sentence with the failure's description.
TEST_F(MainWindowTest, AnyFailureInAHandlerEndsInItsOwnMessage) {
  const std::string file = ReadySplit("movie.avi", std::string(3000, 'm'));
  MakePieces("set.bin", {1, 2});
  const std::string piece = pieces.File("set.bin.001.cvx");
  src.Write("other.txt", "o");
  const std::string other = src.File("other.txt");
  const std::string what = std::length_error("vector").what();
  const struct {
    const char* label;
    std::string failingPath;
    std::string message;
    std::function<void(CarvexForm&)> act;
  } cases[] = {
      {"add", other, "There was an error adding this file(s) to the list:\n\r\n\r" + what,
       [&](CarvexForm& w) { w.lvwSplitFileNames_DropFiles({other}); }},
      {"split", file, "There was an error when attempting to split the chosen file(s).\n\r\n\r" + what,
       [](CarvexForm& w) { w.cmdAction_Click(); }},
      {"add piece", piece, " 0There was an error adding the chosen file to the list.\n\r\n\r" + what,
       [&](CarvexForm& w) { w.lvwBuildFileNames_DropFiles({piece}); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    floppy.onLength = [&](const std::string& path) {
      if (path == c.failingPath) throw std::length_error("vector");
    };
    ui.ExpectMsgBox(c.message, MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
    c.act(W());
    EXPECT_EQ(ui.PendingBoxes(), 0u);
    EXPECT_TRUE(W().Enabled());
  }
}

// While a job runs, no other form can start anything: the Finished dialog of the last job
// closes, the others take no input until the job ends.
TEST_F(MainWindowTest, AJobClosesTheFinishedDialogAndLocksTheOtherForms) {
  ShowFinish = kTrue;
  const std::string bytes = test::PatternBytes(300000, 2);
  ReadySplit("movie.avi", bytes);
  W().optSizeb.Click();
  W().txtSizeb.SetText("100000");
  ui.ExpectMsgBoxStartingWith("You have chosen to split the file movie.avi:", MsgBoxButtons::kYesNo,
                              MsgBoxIcon::kNone, MsgBoxResult::kYes);
  W().cmdAction_Click();
  ASSERT_TRUE(frmFinished.IsLoaded());
  W().mnuOptions.Click();
  ASSERT_TRUE(frmOptions.IsLoaded());

  int yields = 0;
  for (int turn = 1; turn <= 3; ++turn)
    ui.AtDoEvents(turn, [&] {
      ++yields;
      EXPECT_FALSE(frmFinished.IsLoaded());
      EXPECT_FALSE(frmOptions->Enabled());
      EXPECT_FALSE(W().Enabled());
      frmOptions->cmdOK.Click();  // would apply settings in the middle of the job
      EXPECT_TRUE(frmOptions.IsLoaded());
    });
  ShowFinish = kFalse;
  ui.ExpectMsgBoxStartingWith("You have chosen to split the file movie.avi:", MsgBoxButtons::kYesNo,
                              MsgBoxIcon::kNone, MsgBoxResult::kYes);
  W().cmdAction_Click();
  EXPECT_EQ(yields, 3);
  EXPECT_TRUE(frmOptions->Enabled());
  EXPECT_TRUE(W().Enabled());
  EXPECT_EQ(ShowFinish, kFalse);
}

TEST_F(MainWindowTest, EachSizeOptionEnablesOnlyItsOwnControls) {
  CarvexForm& w = W();
  std::vector<ui::Control*> all = {&w.txtSizeMb, &w.txtSizeKb, &w.txtSizeb, &w.txtSizePieces, &w.vscSizeMb,
                                   &w.vscSizeKb, &w.vscSizeb,  &w.vscSizePieces, &w.cboPredefined};
  const struct {
    ui::OptionButton& option;
    std::vector<ui::Control*> own;
  } cases[] = {
      {w.optSizeMb, {&w.txtSizeMb, &w.vscSizeMb}},
      {w.optSizeKb, {&w.txtSizeKb, &w.vscSizeKb}},
      {w.optSizeb, {&w.txtSizeb, &w.vscSizeb}},
      {w.optSizePieces, {&w.txtSizePieces, &w.vscSizePieces}},
      {w.optSizePredefined, {&w.cboPredefined}},
      {w.optDiskSize, {}},
  };
  for (const auto& c : cases) {
    c.option.Click();
    for (ui::Control* control : all) {
      const bool own = std::find(c.own.begin(), c.own.end(), control) != c.own.end();
      EXPECT_EQ(control->Enabled(), own) << c.option.Name() << ": " << control->Name();
    }
  }
}

TEST_F(MainWindowTest, SpinBarsWriteTheirValueOverTheirWholeRange) {
  CarvexForm& w = W();
  const struct {
    ui::VScrollBar& spin;
    ui::TextBox& box;
    int min, max;
  } cases[] = {{w.vscSizeMb, w.txtSizeMb, 1, 1024},
               {w.vscSizeKb, w.txtSizeKb, 1, 1024},
               {w.vscSizeb, w.txtSizeb, 1, 1024},
               {w.vscSizePieces, w.txtSizePieces, 2, 999}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.box.Text(), std::to_string(c.min));
    EXPECT_EQ(c.spin.Min(), c.min);
    EXPECT_EQ(c.spin.Max(), c.max);
    for (int v = c.min + 1; v <= c.max; ++v) {
      c.spin.SpinUp();
      ASSERT_EQ(c.box.Text(), std::to_string(v)) << c.spin.Name();
    }
    c.spin.SpinUp();
    EXPECT_EQ(c.box.Text(), std::to_string(c.max));
    c.box.SetText("17");
    EXPECT_EQ(c.spin.Value(), c.max);  // typing does not move the spin bar
  }
}

TEST_F(MainWindowTest, EachDestinationOptionEnablesOnlyItsOwnControls) {
  CarvexForm& w = W();
  const struct {
    ui::OptionButton& option;
    ui::Control &box, &browse, &drives;
    bool boxOn, drivesOn;
  } cases[] = {
      {w.optSplitUseADrive, w.txtSplitDestination, w.cmdSplitBrowseDestination, w.drvSplitDestDrives, false, false},
      {w.optSplitUseDrive, w.txtSplitDestination, w.cmdSplitBrowseDestination, w.drvSplitDestDrives, false, true},
      {w.optSplitUsePath, w.txtSplitDestination, w.cmdSplitBrowseDestination, w.drvSplitDestDrives, true, false},
      {w.optBuildUseADrive, w.txtBuildDestination, w.cmdBuildBrowseDestination, w.drvBuildDestDrives, false, false},
      {w.optBuildUseDrive, w.txtBuildDestination, w.cmdBuildBrowseDestination, w.drvBuildDestDrives, false, true},
      {w.optBuildUsePath, w.txtBuildDestination, w.cmdBuildBrowseDestination, w.drvBuildDestDrives, true, false},
  };
  W().mnuBuildMode_Click();
  W().mnuSplitMode_Click();
  for (const auto& c : cases) {
    if (&c.option == &w.optBuildUseADrive) W().mnuBuildMode_Click();
    c.option.Click();
    EXPECT_EQ(c.box.Enabled(), c.boxOn) << c.option.Name();
    EXPECT_EQ(c.browse.Enabled(), c.boxOn) << c.option.Name();
    EXPECT_EQ(c.drives.Enabled(), c.drivesOn) << c.option.Name();
  }
}

TEST_F(MainWindowTest, TheZipBoxFollowsTheNumberOfListedFiles) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) src.Write(name, "x");
  W().chkZipFile.Click();  // the user's own choice: ticked
  W().cmdAction.SetFocus();
  EXPECT_TRUE(ZipChecked);
  W().chkZipFile.SetValue(CheckBox::kUnchecked);
  W().chkZipFile.SetFocus();
  W().cmdAction.SetFocus();
  EXPECT_FALSE(ZipChecked);

  Add(src.File("a.txt"));
  EXPECT_TRUE(W().chkZipFile.Enabled());
  EXPECT_EQ(W().chkZipFile.Value(), CheckBox::kUnchecked);
  Add(src.File("b.txt"));
  EXPECT_FALSE(W().chkZipFile.Enabled());
  EXPECT_EQ(W().chkZipFile.Value(), CheckBox::kChecked);
  EXPECT_EQ(SplitFileCount, 2);

  W().lvwSplitFileNames.SetSelected(2, true);
  W().cmdSplitRemoveFiles_Click();
  EXPECT_EQ(W().lvwSplitFileNames.Count(), 1u);
  EXPECT_TRUE(W().chkZipFile.Enabled());
  EXPECT_EQ(W().chkZipFile.Value(), CheckBox::kUnchecked);  // back to the user's choice
  EXPECT_EQ(W().txtSplitDestination.Text(), src.Folder());
}

TEST_F(MainWindowTest, AddingASecondFileOfTheSameNameAsksToReplaceIt) {
  TempDir other;
  src.Write("report.doc", "one");
  other.Write("report.doc", "two");
  src.Write("x.txt", "x");
  Add(src.File("report.doc"));
  Add(src.File("x.txt"));
  Asked("This file is already added to the list do you want to replace?", MsgBoxResult::kNo);
  Add(other.File("report.doc"));
  EXPECT_EQ(W().lvwSplitFileNames.Count(), 2u);
  Asked("This file is already added to the list do you want to replace?", MsgBoxResult::kYes);
  Add(other.File("report.doc"));
  ASSERT_EQ(W().lvwSplitFileNames.Count(), 2u);
  EXPECT_EQ(W().lvwSplitFileNames.Item(2).subItems[1], other.File("report.doc"));
  EXPECT_EQ(W().lvwSplitFileNames.Item(2).subItems[0], " 3b");
  EXPECT_EQ(SplitFileCount, 2);
  EXPECT_EQ(W().imlSplitFiles.Count(), 3u);  // every added entry got an image of its own
  EXPECT_EQ(W().txtSplitDestination.Text(), src.Folder());  // set by the first file only
}

TEST_F(MainWindowTest, AddFilesTakesOneOrSeveralNamesFromTheOpenDialog) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) src.Write(name, "x");
  ui.OnShowOpen([this](ui::CommonDialog& d) {
    EXPECT_EQ(d.DialogTitle, "Open files...");
    EXPECT_EQ(d.Flags, 788996);
    d.FileName = src.Path() + std::string(1, '\0') + "b.txt" + std::string(1, '\0') + "c.txt" + std::string(2, '\0');
    return true;
  });
  W().cmdSplitAddFiles.Click();
  ASSERT_EQ(W().lvwSplitFileNames.Count(), 2u);
  EXPECT_EQ(W().lvwSplitFileNames.Item(1).subItems[1], src.File("b.txt"));
  ui.OnShowOpen([this](ui::CommonDialog& d) {
    d.FileName = src.File("a.txt");
    return true;
  });
  W().cmdSplitAddFiles.Click();
  EXPECT_EQ(W().lvwSplitFileNames.Item(3).text, "a.txt");
  ui.OnShowOpen([](ui::CommonDialog&) { return false; });  // cancelled: nothing, no message
  W().cmdSplitAddFiles.Click();
  EXPECT_EQ(W().lvwSplitFileNames.Count(), 3u);
}

TEST_F(MainWindowTest, RemoveFilesTakesOnlyTheSelectedEntries) {
  for (const char* name : {"a", "b", "c"}) {
    src.Write(name, "x");
    Add(src.File(name));
  }
  W().lvwSplitFileNames.SetSelected(1, true);
  W().cmdSplitRemoveFiles_Click();
  ASSERT_EQ(W().lvwSplitFileNames.Count(), 2u);
  EXPECT_EQ(W().lvwSplitFileNames.Item(1).text, "b");
  EXPECT_EQ(W().lvwSplitFileNames.SelectedIndexes(), std::vector<std::size_t>{1});
  EXPECT_EQ(SplitFileCount, 2);
  W().cmdClearList_Click();
  EXPECT_EQ(W().lvwSplitFileNames.Count(), 0u);
  EXPECT_EQ(SplitFileCount, 0);
}

TEST_F(MainWindowTest, SplitRequestRefusals) {
  const std::string empty = "There is no file(s) to split. Click the Add button to add files.";
  Warned(empty);
  W().cmdAction_Click();

  const std::string file = ReadySplit("movie.avi", std::string(3000, 'm'));
  platform::RemoveFile(file);
  Told("The following file(s) do not exist:\n\r\n\r" + file + "\n\r");
  W().cmdAction_Click();
  src.Write("movie.avi", std::string(3000, 'm'));

  W().txtSplitDestination.SetText("");
  Warned("Please choose an appropriate destination path.");
  W().cmdAction_Click();
  W().txtSplitDestination.SetText(dest.File("missing"));
  Warned("Please choose an appropriate destination path.");
  W().cmdAction_Click();
  W().txtSplitDestination.SetText(dest.Folder());

  W().optSplitUseADrive.Click();
  Warned("The A (floppy) drive is not ready.");
  W().cmdAction_Click();
  // The drive list showing drive A counts even with the path option chosen.
  floppy.root = dest.File("floppy") + kSep;
  W().optSplitUsePath.Click();
  W().drvSplitDestDrives.SetDrive(dest.File("floppy"));
  Warned("The A (floppy) drive is not ready.");
  W().cmdAction_Click();
  floppy.root = "no drive A here";

  W().optSplitUseDrive.Click();
  W().drvSplitDestDrives.SetDrive(dest.File("no such drive"));
  Told("The drive you have chosen for your destination does not exist.");
  W().cmdAction_Click();
  W().optSplitUsePath.Click();

  W().optSizeb.Click();
  for (const char* text : {"abc", "-5", "0"}) {
    W().txtSizeb.SetText(text);
    Warned("Please choose an appropriate size to split the file into.");
    W().cmdAction_Click();
  }
  W().txtSizeb.SetText("3000");
  Warned("The size you have chosen to split the file into is greater than or equal to the size of the file.");
  W().cmdAction_Click();
  W().txtSizeb.SetText("3001");
  Warned("The size you have chosen to split the file into is greater than or equal to the size of the file.");
  W().cmdAction_Click();

  // An empty file is refused for what it is, whatever size is chosen.
  src.Write("movie.avi", "");
  for (ui::OptionButton* size : {&W().optSizeb, &W().optSizePieces, &W().optDiskSize}) {
    size->Click();
    Warned("The size of the file you have chosen to split is 0!");
    W().cmdAction_Click();
  }
  EXPECT_FALSE(platform::PathExists(dest.File("movie.avi.001.cvx")));
}

TEST_F(MainWindowTest, AFolderIsSplitOnlyThroughAZip) {
  src.MakeFolder("Photos");
  src.Write(std::string("Photos") + kSep + "a.jpg", std::string(3000, 'a'));
  Add(src.File("Photos"));
  EXPECT_EQ(W().lvwSplitFileNames.Item(1).subItems[0], FormatSize(3000));  // what a zip takes in
  W().optSplitUsePath.Click();
  std::string destination = dest.Folder();
  W().AddSplitDestinationPath(destination);
  W().optSizeb.Click();
  W().txtSizeb.SetText("1000");
  Warned(src.File("Photos") +
         " is a folder. A folder can be split only when it is zipped first: tick \"Zip the chosen file(s) before "
         "splitting\".");
  W().cmdAction_Click();
  EXPECT_FALSE(platform::PathExists(dest.File("Photos.001.cvx")));
}

TEST_F(MainWindowTest, SizesBeyondTheFieldsEndInTheSplitErrorMessage) {
  ReadySplit("movie.avi", "0123456789");
  const struct {
    ui::OptionButton& option;
    ui::TextBox& box;
    const char* text;
  } cases[] = {{W().optSizeMb, W().txtSizeMb, "1e13"}, {W().optSizePieces, W().txtSizePieces, "0"}};
  for (const auto& c : cases) {
    c.option.Click();
    c.box.SetText(c.text);
    ui.ExpectMsgBoxStartingWith("There was an error when attempting to split the chosen file(s).\n\r\n\r",
                                MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
    W().cmdAction_Click();
    EXPECT_TRUE(W().Enabled());
  }
  EXPECT_NE(ui.Boxes()[0].request.prompt.find("Overflow"), std::string::npos);
  EXPECT_NE(ui.Boxes()[1].request.prompt.find("Division by zero"), std::string::npos);
}

TEST_F(MainWindowTest, AConfirmedSplitCutsTheFileAndNoDeclinesIt) {
  const std::string bytes = test::PatternBytes(3000000, 5);
  const std::string file = ReadySplit("movie.avi", bytes);
  const std::string confirmation = "You have chosen to split the file movie.avi:\n\r\n\r"
                                   "This file is  2.86Mb in size.\n\r\n\r"
                                   "The chosen file will be split into  2 files,  1.38Mb in size and one file  "
                                   "103.45Kb in size.\n\r\n\r"
                                   "And is in the path \n\r" +
                                   src.Folder() +
                                   ".\n\r\n\r"
                                   "You have chosen to split this file into files of size  1.38Mb.\n\r\n\r"
                                   "The folder you are splitting this file into is \n\r" +
                                   dest.Folder() +
                                   "\n\r\n\r"
                                   "Do you want to continue with the splitting process?";
  Asked(confirmation, MsgBoxResult::kNo);
  W().cmdAction_Click();
  EXPECT_FALSE(platform::PathExists(dest.File("movie.avi.001.cvx")));

  Asked(confirmation, MsgBoxResult::kYes);
  W().mnuSplitFile.Click();  // the menu command is the action
  std::string joined;
  for (int k = 1; k <= 3; ++k) joined += dest.Read(PieceFileName("movie.avi", k));
  EXPECT_TRUE(joined == bytes);
  EXPECT_TRUE(platform::PathExists(dest.File("movie.avi.Bat")));
  EXPECT_TRUE(W().Enabled());
  EXPECT_EQ(SplitPieceSize, 1447035);
}

TEST_F(MainWindowTest, PiecesAndPredefinedSizesReachTheSplitter) {
  ReadySplit("ten.bin", "0123456789");
  const struct {
    ui::OptionButton& option;
    std::function<void()> set;
    Bytes piece;
  } cases[] = {
      {W().optSizePieces, [this] { W().txtSizePieces.SetText("3"); }, 4},
      {W().optSizePieces, [this] { W().txtSizePieces.SetText("2.5"); }, 5},
      {W().optSizeb, [this] { W().txtSizeb.SetText("7"); }, 7},
  };
  for (const auto& c : cases) {
    c.option.Click();
    c.set();
    ui.ExpectMsgBoxStartingWith("You have chosen to split the file ten.bin:", MsgBoxButtons::kYesNo,
                                MsgBoxIcon::kNone, MsgBoxResult::kNo);
    W().cmdAction_Click();
    EXPECT_EQ(SplitPieceSize, c.piece);
  }
}

TEST_F(MainWindowTest, ChoosingAnyPieceListsTheWholeSetFromOne) {
  MakePieces("movie.avi", {1, 2, 3, 4, 5});
  W().mnuBuildMode_Click();
  W().AddBuildFile(pieces.File("movie.avi.003.cvx"));
  ASSERT_EQ(W().lvwBuildFileNames.Count(), 5u);
  EXPECT_EQ(W().lvwBuildFileNames.Item(1).text, "movie.avi.001.cvx");
  EXPECT_EQ(W().lvwBuildFileNames.Item(5).subItems[1], pieces.File("movie.avi.005.cvx"));
  EXPECT_EQ(W().lvwBuildFileNames.Item(1).smallIcon, 1u);
  EXPECT_EQ(W().txtBuildDestination.Text(), pieces.Folder());

  platform::RemoveFile(pieces.File("movie.avi.003.cvx"));
  W().AddBuildFile(pieces.File("movie.avi.002.cvx"));
  EXPECT_EQ(W().lvwBuildFileNames.Count(), 2u);
  EXPECT_EQ(GetBuildSetSize(pieces.File("movie.avi.001.cvx")), 12);

  TempDir upper;
  upper.Write("MOVIE.AVI.001.CVX", "x");
  W().AddBuildFile(upper.File("movie.avi.001.cvx"));
  EXPECT_EQ(W().lvwBuildFileNames.Count(), 0u);
  Warned("There are no files to build. Click the Add button to add files.");
  W().cmdAction_Click();
}

TEST_F(MainWindowTest, OnlyRegularFilesArePieces) {
  MakePieces("movie.avi", {1, 2, 4});
  pieces.MakeFolder("movie.avi.003.cvx");
  W().AddBuildFile(pieces.File("movie.avi.001.cvx"));
  EXPECT_EQ(W().lvwBuildFileNames.Count(), 2u);
  if (!test::MakePipe(pieces.File("movie.avi.002.cvx.tmp"))) GTEST_SKIP() << "no named pipes here";
  platform::RemoveFile(pieces.File("movie.avi.002.cvx"));
  std::rename(pieces.File("movie.avi.002.cvx.tmp").c_str(), pieces.File("movie.avi.002.cvx").c_str());
  W().AddBuildFile(pieces.File("movie.avi.001.cvx"));
  EXPECT_EQ(W().lvwBuildFileNames.Count(), 1u);
  EXPECT_EQ(GetBuildSetSize(pieces.File("movie.avi.001.cvx")), 6);
}

TEST_F(MainWindowTest, APieceThatCannotBeMeasuredLeavesNoHalfEntry) {
  MakePieces("movie.avi", {1, 2, 3});
  floppy.onLength = [this](const std::string& path) {
    if (path == pieces.File("movie.avi.002.cvx")) throw platform::RuntimeError(5, "Cannot read the length");
  };
  ui.ExpectMsgBox(" 5There was an error adding the chosen file to the list.\n\r\n\rCannot read the length",
                  MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  W().mnuBuildMode_Click();
  W().lvwBuildFileNames_DropFiles({pieces.File("movie.avi.001.cvx")});
  ASSERT_EQ(W().lvwBuildFileNames.Count(), 1u);
  EXPECT_EQ(W().lvwBuildFileNames.Item(1).subItems[0], FormatSize(6));
}

TEST_F(MainWindowTest, ASetContinuesPastPiece999) {
  for (int k = 1; k <= 1002; ++k) pieces.Write(PieceFileName("big", k), "b");
  W().AddBuildFile(pieces.File("big.500.cvx"));
  EXPECT_EQ(W().lvwBuildFileNames.Count(), 1002u);
  EXPECT_EQ(W().lvwBuildFileNames.Item(1000).text, "big.1000.cvx");
}

TEST_F(MainWindowTest, BuildRequestRefusalsAndTheExistingTarget) {
  W().mnuBuildMode_Click();
  Warned("There are no files to build. Click the Add button to add files.");
  W().cmdAction_Click();

  MakePieces("movie.avi", {1, 2});
  W().AddBuildFile(pieces.File("movie.avi.001.cvx"));
  for (const std::string& box : {std::string(1, kSep), dest.File("missing")}) {
    W().txtBuildDestination.SetText(box);
    Warned("Please choose an appropriate destination path.");
    W().cmdAction_Click();
  }
  W().txtBuildDestination.SetText(dest.Folder());

  platform::RemoveFile(pieces.File("movie.avi.002.cvx"));
  Told("The following file(s) do not exist:\n\r\n\r" + pieces.File("movie.avi.002.cvx") + "\n\r");
  W().cmdAction_Click();
  MakePieces("movie.avi", {2});

  dest.Write("movie.avi", "old");
  const char* overwrite =
      "The file you are about to build already exists in the destination foder. Do you want to overwrite?";
  Asked(overwrite, MsgBoxResult::kNo);
  W().cmdAction_Click();
  EXPECT_EQ(dest.Read("movie.avi"), "old");

  // With DelExists the old file goes without a question, even when the build is then declined.
  DelExists = kTrue;
  ui.ExpectMsgBoxStartingWith("You have chosen to build a file: ", MsgBoxButtons::kYesNo, MsgBoxIcon::kNone,
                              MsgBoxResult::kNo);
  W().cmdAction_Click();
  EXPECT_FALSE(platform::PathExists(dest.File("movie.avi")));
  DelExists = kFalse;

  W().optBuildUseADrive.Click();
  Warned("Please make sure there is a disk in the floppy drive.");
  W().cmdAction_Click();
  // Without a drive A at all nothing is deleted either: the destination would otherwise read
  // as the root of the file system, where a file of the built name would go without a word.
  floppy.root = "";
  floppy.existing = std::string(1, kSep) + "movie.avi";
  DelExists = kTrue;
  Warned("Please make sure there is a disk in the floppy drive.");
  W().cmdAction_Click();
  DelExists = kFalse;
  floppy.existing.clear();
  floppy.root = dest.File("gone") + kSep;
  W().optBuildUseDrive.Click();
  W().drvBuildDestDrives.SetDrive(dest.File("gone"));
  Warned("Please choose an appropriate destination path to build your file.");
  W().cmdAction_Click();
}

TEST_F(MainWindowTest, ATargetThatCannotBeDeletedEndsInTheBuildErrorMessage) {
  MakePieces("movie.avi", {1, 2});
  W().mnuBuildMode_Click();
  W().AddBuildFile(pieces.File("movie.avi.001.cvx"));
  W().txtBuildDestination.SetText(dest.Folder());
  dest.MakeFolder("movie.avi");  // a folder in the way cannot be deleted as a file
  dest.Write(std::string("movie.avi") + kSep + "inside", "x");
  DelExists = kTrue;
  ui.ExpectMsgBoxStartingWith("There was an error when attempting to build the chosen file(s).\n\r\n\r",
                              MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  W().cmdAction_Click();
  DelExists = kFalse;
  EXPECT_TRUE(W().Enabled());
  EXPECT_FALSE(frmProgressStatus.IsLoaded());
}

TEST_F(MainWindowTest, AConfirmedBuildJoinsTheSet) {
  const std::string bytes = test::PatternBytes(250000, 3);
  for (int k = 1; k <= 3; ++k) pieces.Write(PieceFileName("movie.avi", k), bytes.substr((k - 1) * 100000, 100000));
  W().mnuBuildMode_Click();
  W().AddBuildFile(pieces.File("movie.avi.002.cvx"));
  W().txtBuildDestination.SetText(dest.Folder());
  Asked("You have chosen to build a file: \n\r\n\r"
        "When this file is built it will be called movie.avi\n\r\n\r"
        "The size of this file will be  244.14Kb\n\r\n\r"
        "The files used to build the files will remain where they are.\n\r\n\r"
        "Do you want to continue the building process?",
        MsgBoxResult::kYes);
  W().mnuBuildFile.Click();
  EXPECT_TRUE(dest.Read("movie.avi") == bytes);
  EXPECT_TRUE(W().Enabled());
  EXPECT_EQ(BuildDestination, dest.Folder());
}

TEST_F(MainWindowTest, BrowseButtonsFillTheDestinations) {
  ui.OnBrowseForFolder([this](const std::string& title) {
    EXPECT_EQ(title, "Choose Destination");
    return dest.Path();
  });
  W().cmdSplitBrowseDestination.Click();
  EXPECT_EQ(W().txtSplitDestination.Text(), dest.Folder());
  W().mnuBuildMode_Click();
  W().cmdBuildBrowseDestination.Click();
  EXPECT_EQ(W().txtBuildDestination.Text(), dest.Folder());
  ui.OnBrowseForFolder([](const std::string&) { return std::string(); });
  W().txtBuildDestination.SetText("kept");
  W().cmdBuildBrowseDestination.Click();
  EXPECT_EQ(W().txtBuildDestination.Text(), "kept");
}

TEST_F(MainWindowTest, HelpAndAboutCommands) {
  W().mnuContents.Click();
  W().mnuWebsite.Click();
  EXPECT_EQ(ui.ShellOpened(), (std::vector<std::string>{platform::AppPath() + kSep + "Contents.htm", kWebsiteAddress}));
  W().mnuAbout.Click();
  EXPECT_TRUE(frmAbout.IsLoaded());
  W().mnuOptions.Click();
  EXPECT_TRUE(frmOptions.IsLoaded());
  EXPECT_EQ(ui.ShownForms(), (std::vector<std::string>{"frmAbout", "frmOptions"}));
}

TEST_F(MainWindowTest, ExitWithNowhereToWriteStillEndsTheProgram) {
  app.Write("file", "x");
  OverrideAppFolders(app.File("file") + kSep + "app", app.File("file") + kSep + "user");
  W().cmdExit.Click();
  EXPECT_TRUE(ui.Ended());
}

TEST_F(MainWindowTest, ExitSavesTheSettingsAndEmptiesTheScratchFolder) {
  app.MakeFolder("temp");
  app.MakeFolder(std::string("temp") + kSep + "kept");
  app.Write(std::string("temp") + kSep + "old.zip", "x");
  app.Write(std::string("temp") + kSep + "kept" + kSep + "inner", "x");
  ShowFinish = kTrue;
  W().mnuExit.Click();
  EXPECT_TRUE(ui.Ended());
  EXPECT_FALSE(platform::PathExists(app.File(std::string("temp") + kSep + "old.zip")));
  EXPECT_TRUE(platform::PathExists(app.File(std::string("temp") + kSep + "kept" + kSep + "inner")));
  EXPECT_EQ(test::ReadFileBytes(app.File("Settings.Dat")).substr(640, 2), "\xFF\xFF");
}

}  // namespace
}  // namespace carvex
