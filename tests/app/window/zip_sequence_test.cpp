#include <gtest/gtest.h>

#include <cstdlib>

#include "frm_carvex.h"
#include "frm_zip_file.h"
#include "mod_public.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "progress_status.h"
#include "support/headless.h"
#include "support/temp_dir.h"
#include "support/unreadable_file.h"

namespace carvex {
namespace {

using test::TempDir;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

constexpr char kSep = platform::kPathSeparator;

// The zip that a split request runs first when its box is ticked: the archive is made in the
// scratch folder and is what gets cut.
class ZipBeforeSplitTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    OverrideAppFolders(app.Path(), app.Path());
    SplitFileCount = 0;
    ZipName.clear();
    ZipUsePassword = ZipMakeSFX = kFalse;
    frmCarvex.Get();
    std::string destination = dest.Folder();
    frmCarvex->AddSplitDestinationPath(destination);
    frmCarvex->optSizeKb.Click();
    frmCarvex->txtSizeKb.SetText("4");
  }
  void TearDown() override {
    frmZipFile.Reset();
    frmProgressStatus.Reset();
    frmCarvex.Reset();
    ui::App().MainForm = nullptr;
    OverrideAppFolders("", "");
    HeadlessTest::TearDown();
  }
  void Add(const std::string& path) {
    std::string p = path;
    frmCarvex->AddSplitSourceFile(p);
  }
  // Answers the zip dialog, checking the name it proposes.
  void AnswerZipDialog(const std::string& proposed, std::function<void(ZipFileForm&)> fill) {
    ui.OnShowModal("frmZipFile", [proposed, fill](ui::Form& form) {
      auto& zip = static_cast<ZipFileForm&>(form);
      EXPECT_EQ(zip.txtZipFileName.Text(), proposed);
      fill(zip);
    });
  }
  void ConfirmSplitOf(const std::string& name) {
    ui.ExpectMsgBoxStartingWith("You have chosen to split the file " + name + ":", MsgBoxButtons::kYesNo,
                                MsgBoxIcon::kNone, MsgBoxResult::kYes);
  }
  // The pieces joined again: the archive that was split.
  std::string Rejoined(const std::string& name) {
    std::string out;
    for (std::int64_t k = 1; platform::PathExists(dest.File(PieceFileName(name, k))); ++k)
      out += dest.Read(PieceFileName(name, k));
    return out;
  }

  TempDir app, dest, src;
};

TEST_F(ZipBeforeSplitTest, OneFileIsZippedUnderItsOwnNameAndThatArchiveIsSplit) {
  src.Write("report.doc", test::PatternBytes(20000, 4));
  Add(src.File("report.doc"));
  frmCarvex->chkZipFile.Click();
  AnswerZipDialog("report.doc", [](ZipFileForm& zip) { zip.cmdOK.Click(); });
  ConfirmSplitOf("report.doc.zip");
  frmCarvex->cmdAction.Click();
  const std::string archive = ZipTempFolder() + "report.doc.zip";
  EXPECT_EQ(SplitSourcePath, archive);
  EXPECT_EQ(GetFolderPart(archive), app.Folder() + "temp" + kSep);
  EXPECT_TRUE(Rejoined("report.doc.zip") == test::ReadFileBytes(archive));
  EXPECT_FALSE(frmProgressStatus.IsLoaded());
  EXPECT_EQ(ui.Captions("lblStatus").front(), "Zipping File(s)...");
}

// The zip yields on its progress events; nothing clicked there may act: not Split again (it
// would zip into the archive being written), nor Clear List, the Build tab or Exit.
TEST_F(ZipBeforeSplitTest, ClicksDuringTheZipStartNothing) {
  src.Write("movie.avi", test::PatternBytes(2000000, 6));
  Add(src.File("movie.avi"));
  frmCarvex->chkZipFile.Click();
  AnswerZipDialog("movie.avi", [](ZipFileForm& zip) { zip.cmdOK.Click(); });
  int yields = 0;
  ui.AtDoEvents(1, [&] {
    ++yields;
    CarvexForm& w = *frmCarvex;
    EXPECT_FALSE(w.Enabled());
    w.cmdAction.Click();
    w.mnuSplitFile.Click();
    w.cmdClearList.Click();
    w.tbsTabs.Click(2);
    w.cmdExit.Click();
    w.mnuExit.Click();
  });
  ConfirmSplitOf("movie.avi.zip");
  frmCarvex->cmdAction.Click();
  EXPECT_EQ(yields, 1);
  EXPECT_FALSE(ui.Ended());
  EXPECT_EQ(CurrentMode, 1);
  EXPECT_EQ(frmCarvex->lvwSplitFileNames.Count(), 1u);
  const std::string archive = ZipTempFolder() + "movie.avi.zip";
  EXPECT_TRUE(Rejoined("movie.avi.zip") == test::ReadFileBytes(archive));
  EXPECT_TRUE(frmCarvex->Enabled());
}

TEST_F(ZipBeforeSplitTest, SeveralFilesProposeTheirFolderAndTheSelfExtractorIsCut) {
  src.MakeFolder("Photos");
  for (const char* name : {"a.jpg", "b.jpg"}) {
    src.Write(std::string("Photos") + kSep + name, test::PatternBytes(9000, name[0]));
    Add(src.File(std::string("Photos") + kSep + name));
  }
  AnswerZipDialog("Photos", [](ZipFileForm& zip) {
    zip.chkSFX.Click();
    zip.chkUsePass.Click();
    zip.txtPassword.SetText("pw");
    zip.txtRePassword.SetText("pw");
    zip.cmdOK.Click();
  });
  ConfirmSplitOf("Photos.exe");
  frmCarvex->cmdAction.Click();
  EXPECT_EQ(SplitFileName, "Photos.exe");
  EXPECT_EQ(ZipName, "Photos.zip");
  EXPECT_TRUE(Rejoined("Photos.exe") == test::ReadFileBytes(ZipTempFolder() + "Photos.exe"));
#ifndef _WIN32
  // The archive and the self-extractor open with other tools, with the password.
  const std::string zip = ZipTempFolder() + "Photos.zip";
  const std::string exe = ZipTempFolder() + "Photos.exe";
  EXPECT_EQ(std::system(("unzip -tqq -P pw '" + zip + "' >/dev/null").c_str()), 0);
  EXPECT_EQ(std::system(("7z t -ppw '" + zip + "' >/dev/null").c_str()), 0);
  EXPECT_EQ(std::system(("unzip -l '" + exe + "' | grep -q b.jpg").c_str()), 0);
#endif
}

TEST_F(ZipBeforeSplitTest, CancellingTheZipDialogSplitsNothingAndSaysNothing) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) {
    src.Write(name, "x");
    Add(src.File(name));
  }
  AnswerZipDialog(GetParentFolderName(src.File("a.txt")), [](ZipFileForm& zip) { zip.cmdCancel.Click(); });
  frmCarvex->cmdAction.Click();
  EXPECT_TRUE(ui.Boxes().empty());
  EXPECT_FALSE(platform::PathExists(dest.File(PieceFileName("a.txt", 1))));
}

// A folder alone proposes its own name; the bar's end is the bytes of its whole tree.
TEST_F(ZipBeforeSplitTest, OneFolderIsZippedWithItsTreeUnderItsOwnName) {
  src.MakeFolder(std::string("Photos") + kSep + "2024");
  src.MakeFolder(std::string("Photos") + kSep + "empty");
  src.Write(std::string("Photos") + kSep + "2024" + kSep + "a.jpg", test::PatternBytes(30000, 1));
  src.Write(std::string("Photos") + kSep + "b.jpg", test::PatternBytes(9000, 2));
  Add(src.File("Photos"));
  frmCarvex->chkZipFile.Click();
  AnswerZipDialog("Photos", [](ZipFileForm& zip) { zip.cmdOK.Click(); });
  double barEnd = 0;
  ui.AtDoEvents(1, [&] { barEnd = frmProgressStatus->pbProgress.Max(); });
  ConfirmSplitOf("Photos.zip");
  frmCarvex->cmdAction.Click();
  EXPECT_EQ(barEnd, 39000);
  EXPECT_TRUE(Rejoined("Photos.zip") == test::ReadFileBytes(ZipTempFolder() + "Photos.zip"));
}

TEST_F(ZipBeforeSplitTest, AFailedZipEndsTheRequestWithItsOwnMessageAlone) {
  src.MakeFolder("report");
  src.Write(std::string("report") + kSep + "locked.doc", "x");
  Add(src.File("report"));
  frmCarvex->chkZipFile.Click();
  AnswerZipDialog("report", [](ZipFileForm& zip) { zip.cmdOK.Click(); });
  ui.ExpectMsgBox("There was an error when attempting to zip the chosen file(s).\n\r\n\rCannot read '" +
                      src.File(std::string("report") + kSep + "locked.doc") + "': Permission denied",
                  MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  test::UnreadableFile seam("locked.doc");
  platform::ScopedSeam scoped(seam);
  frmCarvex->cmdAction.Click();
  EXPECT_TRUE(frmCarvex->Enabled());
  EXPECT_FALSE(frmProgressStatus.IsLoaded());
  EXPECT_FALSE(platform::PathExists(ZipTempFolder() + "report.zip"));
  EXPECT_FALSE(platform::PathExists(dest.File(PieceFileName("report.zip", 1))));
}

}  // namespace
}  // namespace carvex
