#include "progress_status.h"

#include <gtest/gtest.h>

#include "mod_public.h"
#include "platform/files.h"
#include "support/headless.h"
#include "support/temp_dir.h"

namespace carvex {
namespace {

using test::TempDir;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

constexpr MsgBoxResult kYes = MsgBoxResult::kYes;
constexpr MsgBoxResult kNo = MsgBoxResult::kNo;
const char* const kStopSplit = "Are you sure you want to stop splitting this file?";
const char* const kStopBuild = "Are you sure you want to stop building this file?";
const char* const kDeleteBuilt = "The file you were building was partly built. Do you want to delete it?";

std::string DeletePiecesQuestion(int k) {
  return " " + std::to_string(k) + " of the files have already been created would you like to delete them?";
}

class ProgressStatusTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ui::App().MainForm = &main.Get();
    main->SetEnabled(false);
    frmProgressStatus->Show();
  }
  void TearDown() override {
    frmProgressStatus.Reset();
    main.Reset();
    ui::App().MainForm = nullptr;
    HeadlessTest::TearDown();
  }

  void Ask(const std::string& prompt, MsgBoxResult answer) {
    ui.ExpectMsgBox(prompt, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, answer);
  }

  // A split into `dir` that has closed pieces 1..k-1 and is writing piece k, with its source
  // and the open piece still held open as the splitter holds them.
  void SplitInProgressAtPiece(int k) {
    CurrentMode = 1;
    SplitInProgress = true;
    SplitFileName = "movie.avi";
    SplitDestination = dir.Folder();
    SplitPieceNumber = k;
    dir.Write("movie.avi", std::string(5000, 's'));
    for (int i = 1; i < k; ++i) dir.Write(PieceFileName("movie.avi", i), std::string(1000, 'p'));
    source = platform::File(dir.File("movie.avi"), platform::File::Mode::kRead);
    piece = platform::File(dir.File(PieceFileName("movie.avi", k)), platform::File::Mode::kCreate);
    piece.Write(std::string(300, 'p'));
  }

  void BuildInProgressInto(const std::string& name) {
    CurrentMode = 2;
    BuildInProgress = true;
    BuildDestination = dir.Folder();
    BuildFileName = name;
    built = platform::File(dir.File(name), platform::File::Mode::kCreate);
    built.Write(std::string(700, 'b'));
  }

  void ExpectJobHandedBack() {
    EXPECT_FALSE(frmProgressStatus.IsLoaded());
    EXPECT_TRUE(main->Enabled());
  }
  void ExpectJobStillShowing() {
    EXPECT_TRUE(frmProgressStatus.IsLoaded());
    EXPECT_FALSE(main->Enabled());
  }
  // The dialog has gone; the window waits for the job's end (the engine's EndJob in the same
  // turn), so that no click queued behind Cancel can start a second job.
  void ExpectJobLeftToItsEnd() {
    EXPECT_FALSE(frmProgressStatus.IsLoaded());
    EXPECT_FALSE(main->Enabled());
    EndJob();
    ExpectJobHandedBack();
  }

  ui::FormSlot<test::StubMainForm> main;
  TempDir dir;
  platform::File source;
  platform::File piece;
  platform::File built;
};

TEST_F(ProgressStatusTest, DesignMatchesTheDialog) {
  ProgressStatusForm& f = *frmProgressStatus;
  EXPECT_EQ(f.Caption(), "Carvex - Progress");
  EXPECT_EQ(f.ClientWidth(), 4680);
  EXPECT_EQ(f.ClientHeight(), 1335);
  EXPECT_EQ(f.lblStatus.Caption(), "Status: ");
  EXPECT_EQ(f.lblStatus.FontName(), "MS Sans Serif");
  EXPECT_EQ(f.cmdCancel.Caption(), "&Cancel");
  EXPECT_TRUE(f.cmdCancel.Enabled());
  // The label, the bar and the button share one right edge.
  const auto right = [](const ui::Control& c) { return c.Geometry().left + c.Geometry().width; };
  EXPECT_EQ(right(f.lblStatus), 4575);
  EXPECT_EQ(right(f.pbProgress), 4575);
  EXPECT_EQ(right(f.cmdCancel), 4575);
  EXPECT_EQ(f.pbProgress.Min(), 0);
}

TEST_F(ProgressStatusTest, SplitCancelAnsweredNoLetsTheJobGoOn) {
  SplitInProgressAtPiece(2);
  Ask(kStopSplit, kNo);
  frmProgressStatus->cmdCancel.Click();
  EXPECT_TRUE(SplitInProgress);
  EXPECT_TRUE(piece.IsOpen());
  EXPECT_TRUE(source.IsOpen());
  ExpectJobStillShowing();
}

TEST_F(ProgressStatusTest, SplitCancelYesYesDeletesPiecesOneToKIncludingTheOpenOne) {
  SplitInProgressAtPiece(3);
  dir.Write("movie.avi.004.cvx", "an older set's piece, not this job's");
  dir.Write("movie.avi.Bat", "older builder file");
  Ask(kStopSplit, kYes);
  Ask(DeletePiecesQuestion(3), kYes);
  frmProgressStatus->cmdCancel.Click();

  EXPECT_FALSE(SplitInProgress);
  EXPECT_FALSE(piece.IsOpen());
  EXPECT_FALSE(source.IsOpen());
  for (int k = 1; k <= 3; ++k) EXPECT_FALSE(platform::PathExists(dir.File(PieceFileName("movie.avi", k)))) << k;
  EXPECT_TRUE(platform::PathExists(dir.File("movie.avi.004.cvx")));
  EXPECT_TRUE(platform::PathExists(dir.File("movie.avi.Bat")));
  EXPECT_TRUE(platform::PathExists(dir.File("movie.avi")));
  ExpectJobLeftToItsEnd();
}

TEST_F(ProgressStatusTest, SplitCancelYesYesSkipsANextPieceThatDoesNotExistYet) {
  // The piece just closed, the number already names the next one.
  SplitInProgressAtPiece(2);
  piece.Close();
  SplitPieceNumber = 3;
  Ask(kStopSplit, kYes);
  Ask(DeletePiecesQuestion(3), kYes);
  frmProgressStatus->cmdCancel.Click();
  EXPECT_FALSE(platform::PathExists(dir.File("movie.avi.001.cvx")));
  EXPECT_FALSE(platform::PathExists(dir.File("movie.avi.002.cvx")));
  EXPECT_EQ(ui.Boxes().size(), 2u);
  ExpectJobLeftToItsEnd();
}

TEST_F(ProgressStatusTest, SplitCancelYesNoKeepsEveryPieceAndLeavesTheEndToTheSplitter) {
  SplitInProgressAtPiece(3);
  Ask(kStopSplit, kYes);
  Ask(DeletePiecesQuestion(3), kNo);
  frmProgressStatus->cmdCancel.Click();
  EXPECT_FALSE(SplitInProgress);
  for (int k = 1; k <= 3; ++k) EXPECT_TRUE(platform::PathExists(dir.File(PieceFileName("movie.avi", k)))) << k;
  ExpectJobStillShowing();
  EndJob();
  ExpectJobHandedBack();
  EXPECT_FALSE(piece.IsOpen());
  EXPECT_EQ(dir.Read("movie.avi.003.cvx"), std::string(300, 'p'));
}

TEST_F(ProgressStatusTest, SplitCancelBeforeAnyPieceAsksOnce) {
  CurrentMode = 1;
  SplitInProgress = true;
  SplitPieceNumber = 0;
  Ask(kStopSplit, kYes);
  frmProgressStatus->cmdCancel.Click();
  EXPECT_FALSE(SplitInProgress);
  ExpectJobLeftToItsEnd();
}

TEST_F(ProgressStatusTest, DeletePiecesQuestionCountsWithALeadingBlank) {
  for (int k : {1, 3, 999, 1000, 12345}) {
    SCOPED_TRACE(k);
    CurrentMode = 1;
    SplitInProgress = true;
    SplitDestination = dir.Folder();
    SplitFileName = "x";
    SplitPieceNumber = k;
    Ask(kStopSplit, kYes);
    Ask(DeletePiecesQuestion(k), kNo);
    frmProgressStatus->cmdCancel.Click();
  }
  EXPECT_EQ(Prompts()[3], " 3 of the files have already been created would you like to delete them?");
}

TEST_F(ProgressStatusTest, BuildCancelBranches) {
  const struct {
    const char* label;
    std::vector<MsgBoxResult> answers;
    bool goesOn;
    bool fileKept;
  } cases[] = {
      {"No", {kNo}, true, true},
      {"Yes then Yes", {kYes, kYes}, false, false},
      {"Yes then No", {kYes, kNo}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    main->SetEnabled(false);
    frmProgressStatus->Show();
    BuildInProgressInto("film.avi");
    Ask(kStopBuild, c.answers[0]);
    if (c.answers.size() > 1) Ask(kDeleteBuilt, c.answers[1]);
    frmProgressStatus->cmdCancel.Click();
    EXPECT_EQ(BuildInProgress, c.goesOn);
    EXPECT_EQ(platform::PathExists(dir.File("film.avi")), c.fileKept);
    if (c.goesOn)
      ExpectJobStillShowing();
    else
      ExpectJobLeftToItsEnd();
    EXPECT_EQ(ui.PendingBoxes(), 0u);
    built = platform::File();
  }
}

TEST_F(ProgressStatusTest, ZippingLabelClosesWithoutAQuestion) {
  for (int mode : {1, 2}) {
    SCOPED_TRACE(mode);
    main->SetEnabled(false);
    frmProgressStatus->lblStatus.SetCaption("Zipping File(s)...");
    CurrentMode = mode;
    SplitInProgress = BuildInProgress = true;
    frmProgressStatus->cmdCancel.Click();
    EXPECT_TRUE(SplitInProgress);
    EXPECT_TRUE(BuildInProgress);
    // The zip goes on to its end, which gives the window back.
    ExpectJobLeftToItsEnd();
  }
  EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(ProgressStatusTest, ClosingTheWindowIsAClickOnCancel) {
  const struct {
    const char* label;
    bool cancelEnabled;
    MsgBoxResult answer;
    bool stops;
  } cases[] = {
      {"answered No", true, kNo, false},
      {"answered Yes", true, kYes, true},
      {"Cancel disabled", false, kNo, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    main->SetEnabled(false);
    frmProgressStatus->Show();
    CurrentMode = 1;
    SplitInProgress = true;
    SplitPieceNumber = 0;
    frmProgressStatus->cmdCancel.SetEnabled(c.cancelEnabled);
    if (c.cancelEnabled) Ask(kStopSplit, c.answer);
    frmProgressStatus->CloseByUser();
    EXPECT_EQ(SplitInProgress, !c.stops);
    EXPECT_EQ(frmProgressStatus.IsLoaded(), !c.stops);
    EXPECT_FALSE(main->Enabled());
    frmProgressStatus.Reset();
  }
}

TEST_F(ProgressStatusTest, OtherModesOnlyCloseTheDialog) {
  for (int mode : {0, 3, -1}) {
    main->SetEnabled(false);
    frmProgressStatus->Show();
    CurrentMode = mode;
    SplitInProgress = BuildInProgress = true;
    frmProgressStatus->cmdCancel.Click();
    EXPECT_TRUE(SplitInProgress);
    ExpectJobHandedBack();
  }
  EXPECT_TRUE(ui.Boxes().empty());
}

TEST_F(ProgressStatusTest, CancelIsUnavailableWhileTheButtonIsDisabled) {
  SplitInProgressAtPiece(1);
  frmProgressStatus->cmdCancel.SetEnabled(false);
  frmProgressStatus->cmdCancel.Click();
  EXPECT_TRUE(SplitInProgress);
  ExpectJobStillShowing();
}

TEST_F(ProgressStatusTest, EndJobTwiceIsHarmlessAndClosesEveryFile) {
  SplitInProgressAtPiece(2);
  EndJob();
  ExpectJobHandedBack();
  EXPECT_FALSE(source.IsOpen());
  EXPECT_FALSE(piece.IsOpen());
  main->SetEnabled(false);
  EndJob();
  ExpectJobHandedBack();
  // A new job gets a fresh dialog with its design-time texts.
  EXPECT_EQ(frmProgressStatus->lblStatus.Caption(), "Status: ");
}

TEST_F(ProgressStatusTest, EndJobWithoutAMainWindowStillCloses) {
  SplitInProgressAtPiece(1);
  ui::App().MainForm = nullptr;
  EndJob();
  EXPECT_FALSE(frmProgressStatus.IsLoaded());
  EXPECT_FALSE(piece.IsOpen());
}

// A job loop as the engines run it: yield, then test the flag. Cancel clicked inside the
// third yield stops it before a fourth chunk.
TEST_F(ProgressStatusTest, CancelInsideTheThirdYieldStopsTheLoopThere) {
  SplitInProgressAtPiece(1);
  Ask(kStopSplit, kYes);
  Ask(DeletePiecesQuestion(1), kNo);
  ui.AtDoEvents(3, [] { frmProgressStatus->cmdCancel.Click(); });
  int chunks = 0;
  for (;;) {
    ui::DoEvents();
    if (!SplitInProgress) {
      EndJob();
      break;
    }
    ++chunks;
    ASSERT_LT(chunks, 100);
  }
  EXPECT_EQ(chunks, 2);
  ExpectJobHandedBack();
}

TEST(CenterForm, CentresOverTheMainWindowEvenWhenLarger) {
  ui::FormSlot<test::StubMainForm> main;
  ui::App().MainForm = &main.Get();
  main->Move(1200, 900, 9600, 7200);
  const struct {
    int width, height, left, top;
  } cases[] = {
      {4770, 1755, 1200 + (9600 - 4770) / 2, 900 + (7200 - 1755) / 2},
      {9600, 7200, 1200, 900},
      {12000, 9000, 0, 0},
      {12001, 9001, 0, 0},
  };
  for (const auto& c : cases) {
    frmProgressStatus->Move(5, 5, c.width, c.height);
    CenterForm(*frmProgressStatus);
    EXPECT_EQ(frmProgressStatus->Geometry().left, c.left) << c.width;
    EXPECT_EQ(frmProgressStatus->Geometry().top, c.top) << c.height;
  }
  frmProgressStatus.Reset();
  ui::App().MainForm = nullptr;
}

}  // namespace
}  // namespace carvex
