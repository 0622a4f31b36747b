#include "frm_zip_file.h"

#include <gtest/gtest.h>

#include "mod_public.h"
#include "support/headless.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

using ui::CheckBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

class ZipFileFormTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ZipName = "report.doc";
    ZipUsePassword = kFalse;
    ZipPassword = "old secret";
    ZipMakeSFX = kFalse;
    Compression = 6;
    SplitDestination = dest.Folder();
  }
  void TearDown() override {
    frmZipFile.Reset();
    HeadlessTest::TearDown();
  }

  void Fill(const std::string& name, bool usePass, const std::string& pass, const std::string& again) {
    frmZipFile->txtZipFileName.SetText(name);
    if (usePass) frmZipFile->chkUsePass.Click();
    frmZipFile->txtPassword.SetText(pass);
    frmZipFile->txtRePassword.SetText(again);
  }

  test::TempDir dest;
};

TEST_F(ZipFileFormTest, LoadShowsTheJobFieldsAndTheDesignPasswordArea) {
  ZipMakeSFX = kTrue;
  ZipFileForm& f = *frmZipFile;
  EXPECT_EQ(f.Caption(), "Zip File Name");
  EXPECT_EQ(f.txtZipFileName.Text(), "report.doc");
  EXPECT_EQ(f.sldCompression.Value(), 6);
  EXPECT_EQ(f.sldCompression.Min(), 0);
  EXPECT_EQ(f.sldCompression.Max(), 9);
  EXPECT_EQ(f.chkSFX.Value(), CheckBox::kChecked);
  EXPECT_EQ(f.chkUsePass.Value(), CheckBox::kUnchecked);
  EXPECT_FALSE(f.fraPassword.Enabled());
  EXPECT_EQ(f.txtPassword.Text(), "");
  EXPECT_EQ(f.txtPassword.PasswordChar, '*');
  EXPECT_EQ(f.lblEnterPassword.Caption(), f.lblReEnterPassword.Caption());
  EXPECT_TRUE(f.cmdOK.IsDefault);
}

TEST_F(ZipFileFormTest, RefusalsKeepTheDialogOpen) {
  const struct {
    const char* label;
    const char* name;
    bool usePass;
    const char* pass;
    const char* again;
    const char* message;
    MsgBoxIcon icon;
  } cases[] = {
      {"empty name", "", false, "", "", "Please choose a name for the zip file.", MsgBoxIcon::kExclamation},
      {"different", "a", true, "abc", "abd", "The passwords dont match.", MsgBoxIcon::kNone},
      {"case only", "a", true, "Secret", "secret", "The passwords dont match.", MsgBoxIcon::kNone},
      {"one empty", "a", true, "abc", "", "The passwords dont match.", MsgBoxIcon::kNone},
      {"both empty", "a", true, "", "", "Check the password you entered in.", MsgBoxIcon::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    frmZipFile.Reset();
    Fill(c.name, c.usePass, c.pass, c.again);
    ui.ExpectMsgBox(c.message, MsgBoxButtons::kOkOnly, c.icon, MsgBoxResult::kOk);
    frmZipFile->cmdOK.Click();
    EXPECT_TRUE(frmZipFile.IsLoaded());
    EXPECT_EQ(ZipUsePassword, kFalse);
    EXPECT_EQ(ZipPassword, "old secret");
  }
}

TEST_F(ZipFileFormTest, OkAppendsZipUnlessTheNameEndsInItInAnyCase) {
  const struct {
    const char* typed;
    const char* stored;
  } cases[] = {
      {"report.doc", "report.doc.zip"}, {"Backup.ZIP", "Backup.ZIP"},        {"Photos", "Photos.zip"},
      {"pack.Zip", "pack.Zip"},         {"data.zip.bak", "data.zip.bak.zip"}, {".zip", ".zip"},
  };
  for (const auto& c : cases) {
    frmZipFile.Reset();
    Fill(c.typed, false, "", "");
    frmZipFile->cmdOK.Click();
    EXPECT_FALSE(frmZipFile.IsLoaded());
    EXPECT_EQ(ZipName, c.stored);
  }
}

TEST_F(ZipFileFormTest, OkStoresPasswordLevelAndSelfExtractor) {
  Fill("Photos", true, "Pa55", "Pa55");
  frmZipFile->chkSFX.Click();
  frmZipFile->sldCompression.SetValue(3);
  frmZipFile->cmdOK.Click();
  EXPECT_EQ(ZipName, "Photos.zip");
  EXPECT_EQ(ZipUsePassword, kTrue);
  EXPECT_EQ(ZipPassword, "Pa55");
  EXPECT_EQ(ZipMakeSFX, kTrue);
  EXPECT_EQ(Compression, 3);
  // The next showing keeps level and self-extractor, but the password must be given again.
  EXPECT_EQ(frmZipFile->sldCompression.Value(), 3);
  EXPECT_EQ(frmZipFile->chkSFX.Value(), CheckBox::kChecked);
  EXPECT_EQ(frmZipFile->chkUsePass.Value(), CheckBox::kUnchecked);
}

TEST_F(ZipFileFormTest, WithoutThePasswordBoxTheOldPasswordStaysInMemory) {
  ZipUsePassword = kTrue;
  Fill("x", false, "typed but unused", "typed but unused");
  frmZipFile->cmdOK.Click();
  EXPECT_EQ(ZipUsePassword, kFalse);
  EXPECT_EQ(ZipPassword, "old secret");
}

TEST_F(ZipFileFormTest, TheOverwriteQuestionLooksInTheSplitDestination) {
  dest.Write("Photos.zip", "old");
  Fill("Photos", false, "", "");
  const char* question = "The zip file name you have chosen already exists do you want to overwrite?";
  ui.ExpectMsgBox(question, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kNo);
  frmZipFile->cmdOK.Click();
  EXPECT_TRUE(frmZipFile.IsLoaded());
  EXPECT_EQ(ZipName, "Photos.zip");
  EXPECT_EQ(Compression, 6);  // not taken before the question is settled
  ui.ExpectMsgBox(question, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kYes);
  frmZipFile->cmdOK.Click();
  EXPECT_FALSE(frmZipFile.IsLoaded());
  EXPECT_EQ(ZipName, "Photos.zip");

  // A folder of that name counts too; a file elsewhere does not.
  dest.MakeFolder("Music.zip");
  Fill("Music", false, "", "");
  ui.ExpectMsgBox(question, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kYes);
  frmZipFile->cmdOK.Click();
  test::TempDir elsewhere;
  elsewhere.Write("Video.zip", "x");
  Fill("Video", false, "", "");
  frmZipFile->cmdOK.Click();
  EXPECT_EQ(ZipName, "Video.zip");
}

TEST_F(ZipFileFormTest, CancelAndClosingTheWindowBothMeanNoJob) {
  frmZipFile->txtZipFileName.SetText("typed");
  frmZipFile->cmdCancel.Click();
  EXPECT_EQ(ZipName, "");
  EXPECT_FALSE(frmZipFile.IsLoaded());

  ZipName = "report.doc";
  frmZipFile->CloseByUser();
  EXPECT_EQ(ZipName, "");
  EXPECT_FALSE(frmZipFile.IsLoaded());
}

TEST_F(ZipFileFormTest, ThePasswordBoxTicksTheFrameOnAndOff) {
  frmZipFile->chkUsePass.Click();
  EXPECT_TRUE(frmZipFile->fraPassword.Enabled());
  frmZipFile->chkUsePass.Click();
  EXPECT_FALSE(frmZipFile->fraPassword.Enabled());
  // A double-click selects the whole name.
  frmZipFile->txtZipFileName.SetText("Zipped Package");
  frmZipFile->txtZipFileName.DoubleClick();
  EXPECT_EQ(frmZipFile->txtZipFileName.SelStart(), 0u);
  EXPECT_EQ(frmZipFile->txtZipFileName.SelLength(), 14u);
}

}  // namespace
}  // namespace carvex
