#include "frm_options.h"

#include <gtest/gtest.h>

#include "mod_public.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "support/headless.h"

namespace carvex {
namespace {

using ui::CheckBox;

class OptionsFormTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ShowFinish = DeleteBuildFiles = ClearList = DelExists = BuildAutoUnzip = UseOutput = kFalse;
    OutDestination = "/kept/";
  }
  void TearDown() override {
    frmOptions.Reset();
    HeadlessTest::TearDown();
  }
};

TEST_F(OptionsFormTest, SwitchesShowOnlyTrueAsTickedAndOkWritesThemBack) {
  ShowFinish = kTrue;
  DelExists = 1;  // a value from a damaged file: not True
  BuildAutoUnzip = kTrue;
  WriteChecksums = kTrue;
  WriteJoinScript = kFalse;
  OptionsForm& f = *frmOptions;
  EXPECT_EQ(f.chkShowFinish.Value(), CheckBox::kChecked);
  EXPECT_EQ(f.chkWriteChecksums.Value(), CheckBox::kChecked);
  EXPECT_EQ(f.chkWriteJoinScript.Value(), CheckBox::kUnchecked);
  EXPECT_EQ(f.chkDelExists.Value(), CheckBox::kUnchecked);
  EXPECT_EQ(f.chkBuildAutoUnzip.Value(), CheckBox::kChecked);
  f.chkShowFinish.Click();
  f.chkDeleteBuildFiles.Click();
  f.chkClearList.Click();
  f.chkWriteChecksums.Click();
  f.chkWriteJoinScript.Click();
  f.cmdOK.Click();
  EXPECT_FALSE(frmOptions.IsLoaded());
  EXPECT_EQ(ShowFinish, kFalse);
  EXPECT_EQ(DeleteBuildFiles, kTrue);
  EXPECT_EQ(ClearList, kTrue);
  EXPECT_EQ(DelExists, kFalse);
  EXPECT_EQ(BuildAutoUnzip, kTrue);
  EXPECT_EQ(WriteChecksums, kFalse);
  EXPECT_EQ(WriteJoinScript, kTrue);
}

TEST_F(OptionsFormTest, WithoutTheOutputFolderTheBoxShowsTheDefaultDisabled) {
  OptionsForm& f = *frmOptions;
  EXPECT_EQ(f.txtOutDestination.Text(), platform::DefaultOutputFolder());
  EXPECT_FALSE(f.txtOutDestination.Enabled());
  EXPECT_FALSE(f.cmdBrowse.Enabled());
  f.chkOutput.Click();
  EXPECT_TRUE(f.txtOutDestination.Enabled());
  EXPECT_TRUE(f.cmdBrowse.Enabled());
}

TEST_F(OptionsFormTest, BrowseStoresAtOnceEvenWhenCancelled) {
  ui.OnBrowseForFolder([](const std::string& title) {
    EXPECT_EQ(title, "Choose destination");
    return std::string("/picked");
  });
  frmOptions->chkOutput.Click();
  frmOptions->cmdBrowse.Click();
  frmOptions->cmdCancel.Click();
  EXPECT_EQ(OutDestination, "/picked");
  EXPECT_EQ(UseOutput, kFalse);
  UseOutput = kTrue;
  EXPECT_EQ(frmOptions->txtOutDestination.Text(), "/picked");
  EXPECT_EQ(frmOptions->chkOutput.Value(), CheckBox::kChecked);
}

TEST_F(OptionsFormTest, OkWithTheBoxUncheckedKeepsTheOldFolder) {
  UseOutput = kTrue;
  frmOptions->chkOutput.Click();
  frmOptions->cmdOK.Click();
  EXPECT_EQ(UseOutput, kFalse);
  EXPECT_EQ(OutDestination, "/kept/");
}

TEST_F(OptionsFormTest, OkWithAnEmptyBoxStoresAnEmptyFolder) {
  frmOptions->chkOutput.Click();
  frmOptions->txtOutDestination.SetText("");
  frmOptions->cmdOK.Click();
  EXPECT_EQ(UseOutput, kTrue);
  EXPECT_EQ(OutDestination, "");
}

TEST_F(OptionsFormTest, OkWarnsOfAFolderTheSettingsFileCannotHoldAndStillUsesIt) {
  const std::string root = platform::kPathSeparator == '/' ? "/" : "C:\\";
  const struct {
    const char* label;
    std::string folder;
    bool warned;
  } cases[] = {
      {"126 bytes", root + std::string(126 - root.size(), 'f'), false},
      {"127 bytes", root + std::string(127 - root.size(), 'f'), true},
      // A Chinese and a Thai character: no ANSI code page has both; POSIX systems store UTF-8.
      {"outside the code page", root + "\xE4\xB8\xAD\xE0\xB8\x81", platform::kPathSeparator == '\\'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.warned)
      ui.ExpectMsgBox(
          "Carvex will use this output folder until it ends, but cannot save it for later runs: the "
          "folder is longer than 126 bytes or has characters that the system's code page cannot store.",
          ui::MsgBoxButtons::kOkOnly, ui::MsgBoxIcon::kExclamation, ui::MsgBoxResult::kOk);
    frmOptions->chkOutput.Click();
    frmOptions->txtOutDestination.SetText(c.folder);
    frmOptions->cmdOK.Click();
    EXPECT_FALSE(frmOptions.IsLoaded());
    EXPECT_EQ(UseOutput, kTrue);
    EXPECT_EQ(OutDestination, c.folder);
    EXPECT_EQ(ui.PendingBoxes(), 0u);
    UseOutput = kFalse;
  }
}

}  // namespace
}  // namespace carvex
