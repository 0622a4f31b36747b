#include "splitter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <sstream>

#include "builder_file.h"
#include "checksums.h"
#include "join_script.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/seam.h"
#include "platform/sha256.h"
#include "progress_status.h"
#include "support/headless.h"
#include "support/temp_dir.h"
#include "ui/console_backend.h"

namespace carvex {
namespace {

using test::TempDir;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

TEST(ChunkPlan, CopiesAPieceInWholeBuffersThenTheRest) {
  const struct {
    Bytes size, buffer;
    std::int64_t full;
    Bytes closing;
  } cases[] = {
      {250000, 102400, 2, 45200},  {102400, 102400, 1, 0},      {102401, 102400, 1, 1},
      {204800, 102400, 1, 102400}, {204801, 102400, 2, 1},      {50000, 102400, 0, 50000},
      {1, 1, 1, 0},                {5LL << 30, 102400, 52428, 81920},
  };
  for (const auto& c : cases) {
    const ChunkPlan plan = PlanChunks(c.size, c.buffer);
    EXPECT_EQ(plan.fullChunks, c.full) << c.size;
    EXPECT_EQ(plan.closingChunk, c.closing) << c.size;
    EXPECT_EQ(plan.fullChunks * c.buffer + plan.closingChunk, c.size);
  }
}

TEST(ChunkPlan, FullPiecesPrecedeALastPieceOfOneToPieceSizeBytes) {
  const struct {
    Bytes file, piece;
    std::int64_t full;
  } cases[] = {
      {250000, 100000, 2}, {300000, 100000, 2}, {300001, 100000, 3}, {2, 1, 1},
      {100001, 100000, 1}, {(5LL << 30) + 7, 1LL << 20, 5120},
  };
  for (const auto& c : cases) {
    const std::int64_t full = CountFullPieces(c.file, c.piece);
    EXPECT_EQ(full, c.full) << c.file;
    const Bytes last = c.file - full * c.piece;
    EXPECT_GE(last, 1);
    EXPECT_LE(last, c.piece);
  }
}

// Watches what the splitter reads and writes and answers for the destination volume.
class FakeSystem : public platform::Seam {
public:
  void BeforeRead(const std::string& path, std::size_t size) override {
    if (path == sourcePath) sourceReads.push_back(static_cast<Bytes>(size));
  }
  void BeforeWrite(const std::string& path, std::size_t size) override {
    if (onWrite) onWrite(path, size);
  }
  void AfterClose(const std::string& path) override {
    if (onClose) onClose(path);
  }
  std::optional<platform::VolumeSpace> Space(const std::string&) override {
    ++spaceQueries;
    if (space) return space(spaceQueries);
    return std::nullopt;
  }
  std::optional<bool> Exists(const std::string& path) override {
    if (path != floppy) return std::nullopt;
    return floppyInserted(++floppyQueries);
  }
  std::optional<std::string> FloppyDriveRoot() override { return floppy; }

  std::string sourcePath;
  std::vector<Bytes> sourceReads;
  std::function<void(const std::string&, std::size_t)> onWrite;
  std::function<void(const std::string&)> onClose;
  std::function<platform::VolumeSpace(int query)> space;
  int spaceQueries = 0;
  std::string floppy = "no floppy drive";
  std::function<bool(int query)> floppyInserted = [](int) { return true; };
  int floppyQueries = 0;
};

Sha256Digest Digest(const std::string& bytes) {
  platform::Sha256 hash;
  hash.Update(bytes.data(), bytes.size());
  return hash.Finish();
}

class SplitterTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ui::App().MainForm = &main.Get();
    OverrideAppFolders(appDir.Path(), userDir.Path());
    ClearList = ShowFinish = WriteJoinScript = kFalse;
    WriteChecksums = kTrue;
    ShowFinishedDialog = nullptr;
    CurrentMode = 1;
  }
  void TearDown() override {
    EXPECT_EQ(platform::OpenFileCount(), 0u);
    frmProgressStatus.Reset();
    main.Reset();
    ui::App().MainForm = nullptr;
    OverrideAppFolders("", "");
    ShowFinishedDialog = nullptr;
    HeadlessTest::TearDown();
  }

  void PrepareSplit(const std::string& name, const std::string& bytes, Bytes pieceSize) {
    source = bytes;
    src.Write(name, bytes);
    SplitSourcePath = src.File(name);
    fake.sourcePath = SplitSourcePath;
    SplitFileName = name;
    SplitFileSize = static_cast<Bytes>(bytes.size());
    SplitPieceSize = pieceSize;
    SplitDestination = dest.Folder();
    SplitInProgress = true;
  }

  void Split(const std::string& name, const std::string& bytes, Bytes pieceSize) {
    PrepareSplit(name, bytes, pieceSize);
    SplitFile();
  }

  std::vector<Bytes> PieceSizes(const std::string& name) const {
    std::vector<Bytes> sizes;
    for (std::int64_t k = 1; platform::PathExists(dest.File(PieceFileName(name, k))); ++k)
      sizes.push_back(platform::FileLength(dest.File(PieceFileName(name, k))));
    return sizes;
  }

  std::string Joined(const std::string& name) const {
    std::string out;
    for (std::int64_t k = 1; platform::PathExists(dest.File(PieceFileName(name, k))); ++k)
      out += dest.Read(PieceFileName(name, k));
    return out;
  }

  bool HasBuilder(const TempDir& dir, const std::string& name) const {
    return platform::PathExists(BuilderFilePath(dir.Path(), name));
  }

  void ExpectHandedBack() {
    EXPECT_FALSE(frmProgressStatus.IsLoaded());
    EXPECT_TRUE(main->Enabled());
  }

  void ClickCancelAt(int doEvents) {
    ui.AtDoEvents(doEvents, [] { frmProgressStatus->cmdCancel.Click(); });
  }

  void Expect(const std::string& prompt, MsgBoxButtons buttons, MsgBoxIcon icon, MsgBoxResult answer) {
    ui.ExpectMsgBox(prompt, buttons, icon, answer);
  }

  ui::FormSlot<test::StubMainWindowWithLists> main;
  TempDir src, dest, appDir, userDir;
  FakeSystem fake;
  platform::ScopedSeam seam{fake};
  std::string source;
};

TEST_F(SplitterTest, PiecesHoldConsecutiveSlicesAndTheBuilderFileLiesBeside) {
  const struct {
    Bytes file, piece;
    std::vector<Bytes> sizes;
  } cases[] = {
      {250000, 100000, {100000, 100000, 50000}},
      {300000, 100000, {100000, 100000, 100000}},
      {100001, 100000, {100000, 1}},
      {2, 1, {1, 1}},
      {7, 3, {3, 3, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string name = "f" + std::to_string(c.file) + ".bin";
    Split(name, test::PatternBytes(static_cast<std::size_t>(c.file), static_cast<std::uint32_t>(c.file)), c.piece);
    EXPECT_EQ(PieceSizes(name), c.sizes);
    EXPECT_EQ(SplitFullPieces, static_cast<std::int64_t>(c.sizes.size()) - 1);
    EXPECT_TRUE(Joined(name) == source);
    EXPECT_EQ(dest.Read(name + ".Bat"), BuilderFileText(name, SplitFullPieces));
    SetChecksums sums{{}, Digest(source)};
    for (Bytes at = 0; const Bytes size : c.sizes) {
      sums.pieces.push_back(Digest(source.substr(static_cast<std::size_t>(at), static_cast<std::size_t>(size))));
      at += size;
    }
    EXPECT_EQ(dest.Read(name + ".sha256"), ChecksumFileText(name, sums));
    EXPECT_FALSE(HasBuilder(appDir, name));
    EXPECT_FALSE(HasBuilder(userDir, name));
    EXPECT_TRUE(SplitInProgress);  // a normal end leaves the flag as it was
    EXPECT_EQ(SplitBytesDone, c.file);
    ExpectHandedBack();
  }
}

TEST_F(SplitterTest, ChunksAreWholeBuffersThenTheRestOfEachPiece) {
  Split("a.bin", test::PatternBytes(600000), 250000);
  EXPECT_EQ(fake.sourceReads, (std::vector<Bytes>{102400, 102400, 45200, 102400, 102400, 45200, 100000}));
}

TEST_F(SplitterTest, PiecesSmallerThanTheBufferAreOneChunkAndAnEmptyClose) {
  Split("b.bin", test::PatternBytes(2500), 1000);
  EXPECT_EQ(fake.sourceReads, (std::vector<Bytes>{1000, 0, 1000, 0, 500}));
  EXPECT_EQ(PieceSizes("b.bin"), (std::vector<Bytes>{1000, 1000, 500}));
}

TEST_F(SplitterTest, StatusAndProgressFollowTheJob) {
  std::vector<double> progress;
  for (int turn = 1; turn <= 12; ++turn)
    ui.AtDoEvents(turn, [&] { progress.push_back(frmProgressStatus->pbProgress.Value()); });
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_EQ(ui.Captions("lblStatus"),
            (std::vector<std::string>{"Splitting File...", "Splitting - movie.avi.001.cvx",
                                      "Splitting - movie.avi.002.cvx", "Splitting - movie.avi.003.cvx", "",
                                      "Writing checksums..."}));
  // Each turn's yield sees what the turns before it copied; a piece of one buffer closes
  // with an empty chunk in a turn of its own.
  EXPECT_EQ(progress, (std::vector<double>{0, 100000, 100000, 200000, 200000}));
  EXPECT_EQ(ui.ShownForms(), std::vector<std::string>{"frmProgressStatus"});
}

TEST_F(SplitterTest, AnExistingPieceIsReplacedWhole) {
  dest.Write("movie.avi.002.cvx", std::string(500000, 'x'));
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_EQ(PieceSizes("movie.avi"), (std::vector<Bytes>{100000, 100000, 50000}));
  EXPECT_TRUE(Joined("movie.avi") == source);
}

TEST_F(SplitterTest, FreeSpaceEqualToThePieceIsEnough) {
  fake.space = [](int) { return platform::VolumeSpace{1LL << 40, 100000}; };
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_EQ(PieceSizes("movie.avi").size(), 3u);
  EXPECT_TRUE(HasBuilder(dest, "movie.avi"));
}

const char* const kNoSpace =
    "There is not enough space on this drive to split the chosen file\n\rplease insert a blank disk if applicable.";

TEST_F(SplitterTest, OneByteShortAsksAndOkLooksAgain) {
  // The second look finds a new disk.
  fake.space = [](int query) { return platform::VolumeSpace{1LL << 40, query == 1 ? 99999 : 1LL << 30}; };
  Expect(kNoSpace, MsgBoxButtons::kOkCancel, MsgBoxIcon::kNone, MsgBoxResult::kOk);
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_TRUE(Joined("movie.avi") == source);
  EXPECT_TRUE(HasBuilder(dest, "movie.avi"));
}

TEST_F(SplitterTest, OneByteShortAnsweredCancelEndsTheJob) {
  fake.space = [](int) { return platform::VolumeSpace{1LL << 40, 99999}; };
  Expect(kNoSpace, MsgBoxButtons::kOkCancel, MsgBoxIcon::kNone, MsgBoxResult::kCancel);
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_TRUE(PieceSizes("movie.avi").empty());
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
  ExpectHandedBack();
}

// carvex-cli's answers: the space question is answered only by someone who can change the
// drive, and only once per change. Where the drive makes room at the 50th look only, a loop
// that answers OK shows as a finished split.
TEST_F(SplitterTest, OnAConsoleTheSpaceQuestionIsAnsweredOnlyAfterAChange) {
  constexpr Bytes kRoom = 1LL << 30;
  const struct {
    const char* typed;  // nullptr: no terminal
    std::function<Bytes(int look)> free;
    std::size_t pieces;
    int looks;
    const char* printed;
  } cases[] = {
      {nullptr, [](int look) { return look < 50 ? 99999 : kRoom; }, 0, 1, "no terminal"},
      {"o\no\n", [](int look) { return look < 50 ? 99999 : kRoom; }, 0, 2, "last answer (99999 of"},
      // Two bytes freed between the two looks.
      {"o\no\n", [](int look) { return look < 3 ? 100001 - look * 2 : kRoom; }, 3, 6, ""},
      // The next blank disk, as full after piece 1 as the first was.
      {"o\no\n", [](int look) { return look == 1 || look == 3 ? 99999 : kRoom; }, 3, 6, ""},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(i);
    fake.spaceQueries = 0;
    fake.space = [&c](int look) { return platform::VolumeSpace{1LL << 40, c.free(look)}; };
    std::istringstream typed(c.typed ? c.typed : "");
    ui::ConsoleBackend console({.answerYes = true, .terminal = c.typed ? &typed : nullptr});
    ui::App().SetBackend(&console);
    testing::internal::CaptureStderr();
    const std::string name = "movie" + std::to_string(i) + ".avi";
    Split(name, test::PatternBytes(250000), 100000);
    const std::string printed = testing::internal::GetCapturedStderr();
    ui::App().SetBackend(&ui);
    EXPECT_EQ(PieceSizes(name).size(), c.pieces);
    EXPECT_EQ(fake.spaceQueries, c.looks);
    EXPECT_NE(printed.find(c.printed), std::string::npos) << printed;
    ExpectHandedBack();
  }
}

TEST_F(SplitterTest, TheLastPieceIsCheckedWithTheFullPieceSize) {
  // Room for the 50,000-byte last piece, but not for a full one.
  fake.space = [](int query) { return platform::VolumeSpace{1LL << 40, query <= 2 ? 1LL << 30 : 60000}; };
  Expect(kNoSpace, MsgBoxButtons::kOkCancel, MsgBoxIcon::kNone, MsgBoxResult::kCancel);
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_EQ(PieceSizes("movie.avi"), (std::vector<Bytes>{100000, 100000}));
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
  EXPECT_EQ(fake.spaceQueries, 3);
}

TEST_F(SplitterTest, AVolumeSmallerThanAPieceEndsTheJob) {
  fake.space = [](int) { return platform::VolumeSpace{99999, 99999}; };
  Expect("The splitting size you've chosen exceeds the capacity of the destination drive.", MsgBoxButtons::kOkOnly,
         MsgBoxIcon::kExclamation, MsgBoxResult::kOk);
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_TRUE(PieceSizes("movie.avi").empty());
  ExpectHandedBack();
}

TEST_F(SplitterTest, NoRoomForTheBuilderFileLeavesThePiecesOnly) {
  // Pieces fit; the check before the builder file finds the volume full.
  fake.space = [](int query) { return platform::VolumeSpace{1LL << 40, query <= 3 ? 1LL << 30 : 10}; };
  Expect(kNoSpace, MsgBoxButtons::kOkCancel, MsgBoxIcon::kNone, MsgBoxResult::kCancel);
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_TRUE(Joined("movie.avi") == source);
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
  EXPECT_FALSE(HasBuilder(appDir, "movie.avi"));
  ExpectHandedBack();
}

TEST_F(SplitterTest, DriveAWithoutADiskWaitsForOne) {
  const struct {
    const char* label;
    MsgBoxResult answer;
    bool written;
  } cases[] = {{"OK after inserting", MsgBoxResult::kOk, true}, {"Cancel", MsgBoxResult::kCancel, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    TempDir floppy;
    // Compared without regard to case: the drive is named in upper case here.
    std::string upper = floppy.Folder();
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    fake.floppy = upper;
    fake.floppyQueries = 0;
    fake.floppyInserted = [](int query) { return query > 1; };
    Expect("Insert a disk into drive A.", MsgBoxButtons::kOkCancel, MsgBoxIcon::kNone, c.answer);
    PrepareSplit("disk.img", test::PatternBytes(3000), 1000);
    SplitDestination = floppy.Folder();
    SplitFile();
    EXPECT_EQ(platform::PathExists(floppy.File("disk.img.001.cvx")), c.written);
    EXPECT_EQ(platform::PathExists(floppy.File("disk.img.Bat")), c.written);
    ExpectHandedBack();
  }
}

TEST_F(SplitterTest, ASubfolderOfDriveAIsNotDriveA) {
  fake.floppy = dest.Folder();
  fake.floppyInserted = [](int) { return false; };
  dest.MakeFolder("sub");
  PrepareSplit("x.bin", test::PatternBytes(3000), 1000);
  SplitDestination = dest.File("sub") + platform::kPathSeparator;
  SplitFile();
  EXPECT_TRUE(platform::PathExists(dest.File("sub") + platform::kPathSeparator + "x.bin.003.cvx"));
}

// 1,000,000 bytes in pieces of 250,000: three chunks a piece, so the yield at the start of
// turn 8 falls in the middle of piece 3.
constexpr int kTurnInPieceThree = 8;
const char* const kStop = "Are you sure you want to stop splitting this file?";
const char* const kDeleteThree = " 3 of the files have already been created would you like to delete them?";

TEST_F(SplitterTest, CancelInPieceThreeYesYesLeavesNothing) {
  ClickCancelAt(kTurnInPieceThree);
  Expect(kStop, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kYes);
  Expect(kDeleteThree, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kYes);
  Split("movie.avi", test::PatternBytes(1000000), 250000);
  EXPECT_TRUE(PieceSizes("movie.avi").empty());
  EXPECT_FALSE(platform::PathExists(dest.File("movie.avi.004.cvx")));
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
  EXPECT_FALSE(HasBuilder(appDir, "movie.avi"));
  EXPECT_EQ(ui.DoEventsCalls(), kTurnInPieceThree);  // not one more chunk
  ExpectHandedBack();
}

TEST_F(SplitterTest, CancelInPieceThreeYesNoKeepsWhatWasWritten) {
  ClickCancelAt(kTurnInPieceThree);
  Expect(kStop, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kYes);
  Expect(kDeleteThree, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kNo);
  Split("movie.avi", test::PatternBytes(1000000), 250000);
  EXPECT_EQ(PieceSizes("movie.avi"), (std::vector<Bytes>{250000, 250000, 102400}));
  EXPECT_TRUE(Joined("movie.avi") == source.substr(0, 602400));
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
  ExpectHandedBack();
}

TEST_F(SplitterTest, CancelAnsweredNoFinishesTheSplit) {
  ClickCancelAt(kTurnInPieceThree);
  Expect(kStop, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kNo);
  Split("movie.avi", test::PatternBytes(1000000), 250000);
  EXPECT_TRUE(Joined("movie.avi") == source);
  EXPECT_TRUE(HasBuilder(dest, "movie.avi"));
  ExpectHandedBack();
}

std::string ErrorText(const std::string& description) {
  return "There was an error during the splitting process.\n\r\n\r" + description;
}

// A failure while piece two is written ends the job with the error; the incomplete piece goes
// whether the copy failed, its close reported a deferred write error, or something other than
// a file operation failed.
TEST_F(SplitterTest, AFailureInPieceTwoEndsTheJobAndTakesTheIncompletePiece) {
  const std::string pieceTwo = dest.File("movie.avi.002.cvx");
  const std::string full = "Cannot write: " + std::string(std::strerror(ENOSPC));
  const struct {
    const char* label;
    bool onClose;
    std::function<void()> fail;
    std::string description;
  } cases[] = {
      {"full disk", false, [&] { throw platform::RuntimeError(ENOSPC, full); }, full},
      {"deferred write error", true, [&] { throw platform::RuntimeError(EIO, "Cannot write: late"); },
       "Cannot write: late"},
      {"out of memory", false, [] { throw std::bad_alloc(); }, std::bad_alloc().what()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    int writes = 0;
    fake.onWrite = [&](const std::string& path, std::size_t) {
      if (!c.onClose && path == pieceTwo && ++writes == 2) c.fail();
    };
    fake.onClose = [&](const std::string& path) {
      if (c.onClose && path == pieceTwo) c.fail();
    };
    Expect(ErrorText(c.description), MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
    Split("movie.avi", test::PatternBytes(1000000), 250000);
    EXPECT_EQ(PieceSizes("movie.avi"), std::vector<Bytes>{250000});
    EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
    EXPECT_EQ(platform::OpenFileCount(), 0u);
    ExpectHandedBack();
  }
}

// A split replaces an earlier set of the same name as a whole, so no build (the program's or
// the batch file's, which stops at the first missing piece too) takes in a piece of it.
TEST_F(SplitterTest, ASecondSplitLeavesOnlyItsOwnSet) {
  dest.Write("movie.av.004.cvx", "another set's piece");
  dest.Write("movie.avi.007.cvx", "beyond a gap: no build reaches it");
  Split("movie.avi", test::PatternBytes(250000, 1), 50000);
  ASSERT_EQ(PieceSizes("movie.avi").size(), 5u);

  Split("movie.avi", test::PatternBytes(250000, 2), 100000);
  EXPECT_EQ(PieceSizes("movie.avi"), (std::vector<Bytes>{100000, 100000, 50000}));
  EXPECT_TRUE(Joined("movie.avi") == source);
  EXPECT_EQ(dest.Read("movie.avi.Bat"), BuilderFileText("movie.avi", 2));
  EXPECT_EQ(dest.Read("movie.av.004.cvx"), "another set's piece");
  EXPECT_TRUE(platform::PathExists(dest.File("movie.avi.007.cvx")));

  // Cancelled in its second piece, keeping what it wrote: only that is left, no old piece
  // after it and no builder file that names the old count.
  Split("movie.avi", test::PatternBytes(250000, 3), 50000);
  ClickCancelAt(4);  // piece one takes two turns, piece two has its first chunk
  Expect(kStop, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kYes);
  Expect(" 2 of the files have already been created would you like to delete them?", MsgBoxButtons::kYesNo,
         MsgBoxIcon::kNone, MsgBoxResult::kNo);
  Split("movie.avi", test::PatternBytes(250000, 4), 30000);
  EXPECT_EQ(PieceSizes("movie.avi").size(), 2u);
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
}

TEST_F(SplitterTest, ASourceThatShrankEndsTheJobWithoutPaddingAPiece) {
  PrepareSplit("movie.avi", test::PatternBytes(250000), 100000);
  SplitFileSize = 300000;  // measured before it shrank
  Expect(ErrorText("The file '" + SplitSourcePath + "' is shorter than when it was chosen; it may have been changed."),
         MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  SplitFile();
  EXPECT_EQ(PieceSizes("movie.avi"), (std::vector<Bytes>{100000, 100000}));
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
  ExpectHandedBack();
}

TEST_F(SplitterTest, AMissingSourceEndsTheJobWithTheError) {
  PrepareSplit("movie.avi", "abc", 1);
  platform::RemoveFile(SplitSourcePath);
  std::string description;
  try {
    platform::File probe(SplitSourcePath, platform::File::Mode::kRead);
  } catch (const platform::RuntimeError& e) {
    description = e.Description();
  }
  ASSERT_FALSE(description.empty());
  Expect(ErrorText(description), MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  SplitFile();
  EXPECT_TRUE(PieceSizes("movie.avi").empty());
  ExpectHandedBack();
}

TEST_F(SplitterTest, ClearListAndShowFinishRunBeforeTheBuilderFileIsWritten) {
  main->lvwSplitFileNames.Add(1, "movie.avi");
  SplitFileCount = 1;
  main->chkZipFile.SetEnabled(false);
  ZipChecked = true;
  ClearList = kTrue;
  ShowFinish = kTrue;
  int finished = 0;
  ShowFinishedDialog = [&] {
    ++finished;
    EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
    EXPECT_EQ(main->lvwSplitFileNames.Count(), 0u);
  };
  Split("movie.avi", test::PatternBytes(250000), 100000);
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(SplitFileCount, 0);
  EXPECT_TRUE(main->chkZipFile.Enabled());
  EXPECT_EQ(main->chkZipFile.Value(), ui::CheckBox::kChecked);
  EXPECT_TRUE(HasBuilder(dest, "movie.avi"));
}

TEST_F(SplitterTest, SettingsOffLeaveTheListAlone) {
  main->lvwSplitFileNames.Add(1, "movie.avi");
  SplitFileCount = 1;
  ShowFinishedDialog = [] { ADD_FAILURE() << "Finished dialog shown with the setting off"; };
  Split("movie.avi", test::PatternBytes(2000), 1000);
  EXPECT_EQ(main->lvwSplitFileNames.Count(), 1u);
  EXPECT_EQ(SplitFileCount, 1);
}

// The program's own data folder may be the destination (a portable install); the builder file
// the split writes there must stay.
TEST_F(SplitterTest, TheBuilderFileStaysWhenTheDestinationIsTheDataFolder) {
  OverrideAppFolders(dest.Path(), dest.Path());
  Split("movie.avi", test::PatternBytes(2000), 1000);
  EXPECT_EQ(dest.Read("movie.avi.Bat"), BuilderFileText("movie.avi", 1));
}

TEST_F(SplitterTest, WithNoWindowLeftTheLoopReturnsAtOnce) {
  ui.AtDoEvents(3, [this] {
    frmProgressStatus.Unload();
    main.Unload();
  });
  Split("movie.avi", test::PatternBytes(10000), 1000);
  EXPECT_EQ(ui.DoEventsCalls(), 3);
  EXPECT_TRUE(SplitInProgress);
  EXPECT_FALSE(HasBuilder(dest, "movie.avi"));
}

// With the options off a split writes neither file, and the earlier set's go with it.
TEST_F(SplitterTest, ChecksumsAndTheJoinScriptFollowTheirOptions) {
  WriteJoinScript = kTrue;
  Split("a.bin", test::PatternBytes(250000), 100000);
  EXPECT_TRUE(platform::PathExists(dest.File("a.bin.sha256")));
  EXPECT_EQ(dest.Read("a.bin.sh"), JoinScriptText("a.bin", 3));
  WriteChecksums = WriteJoinScript = kFalse;
  Split("a.bin", test::PatternBytes(250000), 100000);
  EXPECT_FALSE(platform::PathExists(dest.File("a.bin.sha256")));
  EXPECT_FALSE(platform::PathExists(dest.File("a.bin.sh")));
  EXPECT_TRUE(Joined("a.bin") == source);
}

}  // namespace
}  // namespace carvex
