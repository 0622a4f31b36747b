#include "frm_finished.h"

#include <gtest/gtest.h>

#include "mod_public.h"
#include "platform/files.h"
#include "settings_store.h"
#include "support/headless.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

class FinishedFormTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ui::App().MainForm = &main.Get();
    OverrideAppFolders(app.Path(), app.Path());
    ShowFinish = kTrue;
    SplitDestination = "/pieces/";
    BuildDestination = "/built/";
    BuildFileName = "movie.avi";
  }
  void TearDown() override {
    frmFinished.Reset();
    frmAbout.Reset();
    main.Reset();
    ui::App().MainForm = nullptr;
    HeadlessTest::TearDown();
  }
  ui::FormSlot<test::StubMainForm> main;
  test::TempDir app;
};

TEST_F(FinishedFormTest, CaptionsFollowTheJob) {
  const struct {
    int mode;
    bool verified;
    const char* message;
    const char* open;
    const char* caption;
  } cases[] = {
      {1, true, "Carvex has finished splitting the chosen file. What would you like to do next:", "Open Folder",
       "Finished Splitting!"},
      {2, false, "Carvex has finished building the chosen file. What would you like to do next:", "Open Built File",
       "Finished Building!"},
      {2, true,
       "Carvex has built the chosen file and verified its checksums. What would you like to do next:",
       "Open Built File", "Finished Building!"},
      {0, false, "Carvex has finished building the chosen file. What would you like to do next:", "Open Built File",
       "Carvex Finished!"},
  };
  for (const auto& c : cases) {
    CurrentMode = c.mode;
    BuildVerified = c.verified;
    frmFinished.Reset();
    EXPECT_EQ(frmFinished->lblMsg.Caption(), c.message);
    EXPECT_EQ(frmFinished->cmdOpen.Caption(), c.open);
    EXPECT_EQ(frmFinished->Caption(), c.caption);
  }
  BuildVerified = false;
}

TEST_F(FinishedFormTest, OpenShowsThePiecesFolderOrTheBuiltFile) {
  const struct {
    int mode;
    bool dontShow;
    const char* opened;
  } cases[] = {{1, false, "/pieces/"}, {2, true, "/built/movie.avi"}};
  for (const auto& c : cases) {
    CurrentMode = c.mode;
    ShowFinish = kTrue;
    ShowFinishedForm();
    if (c.dontShow) frmFinished->chkDontShow.Click();
    frmFinished->cmdOpen.Click();
    EXPECT_EQ(ui.ShellOpened().back(), c.opened);
    EXPECT_FALSE(frmFinished.IsLoaded());
    EXPECT_EQ(ShowFinish, c.dontShow ? kFalse : kTrue);
  }
  ui.SetShellOpenResult(false);  // no program for the file: nothing to say
  ShowFinishedForm();
  frmFinished->cmdOpen.Click();
  EXPECT_FALSE(frmFinished.IsLoaded());
}

TEST_F(FinishedFormTest, ReturnToCarvexOnlyRemembersTheTick) {
  CurrentMode = 2;
  ShowFinishedForm();
  EXPECT_EQ(frmFinished->Geometry().left, (main->Geometry().width - frmFinished->Geometry().width) / 2 +
                                              main->Geometry().left);
  frmFinished->chkDontShow.Click();
  frmFinished->cmdBuildAnother.Click();
  EXPECT_EQ(ShowFinish, kFalse);
  EXPECT_TRUE(ui.ShellOpened().empty());
  EXPECT_FALSE(ui.Ended());
}

TEST_F(FinishedFormTest, ExitSavesTheSettingsThenEndsTheProgram) {
  CurrentMode = 1;
  ShowFinishedForm();
  frmFinished->chkDontShow.Click();
  frmFinished->cmdClose.Click();
  EXPECT_TRUE(ui.Ended());
  const std::string saved = test::ReadFileBytes(SettingsPath());
  ASSERT_EQ(saved.size(), kSettingsFileLength);
  EXPECT_EQ(saved.substr(5 * 128, 2), std::string("\0\0", 2));  // record 6, ShowFinish
  ShowFinish = kTrue;
  LoadSettings();
  EXPECT_EQ(ShowFinish, kFalse);
}

TEST_F(FinishedFormTest, AboutBoxOpensTheLicenceBesideTheProgram) {
  EXPECT_EQ(frmAbout->Caption(), "About Carvex");
  EXPECT_EQ(frmAbout->lblVersion.Caption(), "Version: 1.3.0.0");
  EXPECT_EQ(frmAbout->lblTitle.FontName(), "Lucida Sans Unicode");
  frmAbout->cmdViewLicense.Click();
  EXPECT_EQ(ui.ShellOpened(),
            std::vector<std::string>{platform::AppPath() + platform::kPathSeparator + "License.txt"});
  frmAbout->cmdOK.Click();
  EXPECT_FALSE(frmAbout.IsLoaded());
}

}  // namespace
}  // namespace carvex
