#include "joiner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "builder_file.h"
#include "checksums.h"
#include "join_script.h"
#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/seam.h"
#include "platform/sha256.h"
#include "progress_status.h"
#include "splitter.h"
#include "support/headless.h"
#include "support/system_fixtures.h"
#include "support/temp_dir.h"
#include "zip_component.h"

namespace carvex {
namespace {

using test::TempDir;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

class WatchedSystem : public platform::Seam {
public:
  void BeforeRead(const std::string& path, std::size_t size) override {
    if (path.find(".cvx") != std::string::npos) pieceReads.push_back(static_cast<Bytes>(size));
  }
  void BeforeWrite(const std::string& path, std::size_t size) override {
    if (onWrite) onWrite(path, size);
  }
  std::vector<Bytes> pieceReads;
  std::function<void(const std::string&, std::size_t)> onWrite;
};

class JoinerTest : public test::HeadlessTest {
protected:
  void SetUp() override {
    HeadlessTest::SetUp();
    ui::App().MainForm = &main.Get();
    OverrideAppFolders(appDir.Path(), appDir.Path());
    ClearList = DeleteBuildFiles = ShowFinish = BuildAutoUnzip = WriteJoinScript = kFalse;
    WriteChecksums = kTrue;
    ShowFinishedDialog = nullptr;
    CurrentMode = 2;
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

  // Writes `pieces` as a set of `name` in the pieces folder.
  void MakeSet(const std::string& name, const std::vector<std::string>& pieces) {
    source.clear();
    for (std::size_t k = 0; k < pieces.size(); ++k) {
      pieceDir.Write(PieceFileName(name, static_cast<std::int64_t>(k + 1)), pieces[k]);
      source += pieces[k];
    }
    pieceDir.Write(name + ".Bat", BuilderFileText(name, static_cast<std::int64_t>(pieces.size()) - 1));
  }

  // Writes N.sha256 for the set as the split does, before any test damages the set.
  SetChecksums WriteSums(const std::string& name, const std::vector<std::string>& pieces) {
    SetChecksums sums;
    for (const std::string& piece : pieces) sums.pieces.push_back(Digest(piece));
    sums.whole = Digest(source);
    pieceDir.Write(ChecksumFileName(name), ChecksumFileText(name, sums));
    return sums;
  }
  static Sha256Digest Digest(const std::string& bytes) {
    platform::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Finish();
  }

  // Starts a build the way the action dispatch does.
  void Build(const std::string& name, std::int64_t count, const TempDir& into) {
    BuildFileName = name;
    BuildSourceFolder = pieceDir.Folder();
    BuildDestination = into.Folder();
    BuildPieceCount = count;
    main->SetEnabled(false);
    CenterForm(*frmProgressStatus);
    frmProgressStatus->Show();
    BuildInProgress = true;
    BuildFile();
  }

  void ExpectHandedBack() {
    EXPECT_FALSE(frmProgressStatus.IsLoaded());
    EXPECT_TRUE(main->Enabled());
  }

  ui::FormSlot<test::StubMainWindowWithLists> main;
  TempDir pieceDir, outDir, appDir;
  WatchedSystem watched;
  platform::ScopedSeam seam{watched};
  std::string source;
};

TEST_F(JoinerTest, SplitThenBuildGivesBackTheSameBytes) {
  const struct {
    Bytes file, piece;
  } cases[] = {{250000, 100000}, {300000, 100000}, {1000000, 250000}, {7, 3}, {2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    TempDir splitSource;
    source = test::PatternBytes(static_cast<std::size_t>(c.file), static_cast<std::uint32_t>(c.piece));
    splitSource.Write("movie.avi", source);
    SplitSourcePath = splitSource.File("movie.avi");
    SplitFileName = "movie.avi";
    SplitFileSize = c.file;
    SplitPieceSize = c.piece;
    SplitDestination = pieceDir.Folder();
    SplitInProgress = true;
    CurrentMode = 1;
    SplitFile();
    CurrentMode = 2;

    TempDir into;
    std::vector<double> progressMax;
    Build("movie.avi", SplitFullPieces + 1, into);
    EXPECT_TRUE(into.Read("movie.avi") == source);
    EXPECT_TRUE(BuildVerified);
    EXPECT_EQ(BuildBytesDone, c.file);
    EXPECT_FALSE(BuildInProgress);
    ExpectHandedBack();
  }
}

// Folders deeper than the 260 characters of a classic Windows path: the split and the build
// reach them through the platform layer, on every system.
TEST_F(JoinerTest, SplitAndBuildInFoldersPastThreeHundredCharacters) {
  TempDir root;
  std::string deep = root.Folder();
  for (int level = 0; level < 6; ++level)
    deep += std::string("a folder whose name is long enough to matter ") + char('0' + level) + platform::kPathSeparator;
  const std::string pieces = deep + "pieces" + platform::kPathSeparator;
  const std::string built = deep + "built" + platform::kPathSeparator;
  ASSERT_GT(pieces.size(), 300u);
  platform::CreateFolders(pieces);
  platform::CreateFolders(built);
  source = test::PatternBytes(250000, 11);
  platform::WriteWholeFile(deep + "movie.avi", source);
  SplitSourcePath = deep + "movie.avi";
  SplitFileName = "movie.avi";
  SplitFileSize = 250000;
  SplitPieceSize = 100000;
  SplitDestination = pieces;
  SplitInProgress = true;
  CurrentMode = 1;
  SplitFile();
  EXPECT_EQ(SplitFullPieces, 2);
  CurrentMode = 2;
  BuildFileName = "movie.avi";
  BuildSourceFolder = pieces;
  BuildDestination = built;
  BuildPieceCount = SplitFullPieces + 1;
  main->SetEnabled(false);
  CenterForm(*frmProgressStatus);
  frmProgressStatus->Show();
  BuildInProgress = true;
  BuildFile();
  EXPECT_TRUE(BuildVerified);
  platform::File rebuilt(built + "movie.avi", platform::File::Mode::kRead);
  std::string bytes(source.size() + 1, '\0');
  bytes.resize(rebuilt.Read(bytes.data(), bytes.size()));
  EXPECT_TRUE(bytes == source);
  ExpectHandedBack();
}

TEST_F(JoinerTest, AFiveGigabyteSparseFileSurvivesSplitAndBuild) {
  const Bytes size = (5LL << 30) + 12345;
  TempDir splitSource;
  splitSource.MakeSparse("disk.img", size);
  {
    // Marks at the 2 GiB and 4 GiB boundaries and near both ends, so a slip anywhere shows.
    const std::string path = splitSource.File("disk.img");
    std::fstream marks(std::filesystem::path(std::u8string(path.begin(), path.end())),
                       std::ios::in | std::ios::out | std::ios::binary);
    for (Bytes at : {Bytes{0}, Bytes{(1LL << 31) - 3}, Bytes{(1LL << 32) - 2}, Bytes{(1LL << 32) + 4999999}, size - 20}) {
      marks.seekp(at);
      marks << "mark@" << at;
    }
    ASSERT_TRUE(marks.good());
  }
  // What this checks is the bytes past 4 GiB; hashing them twice on each side would only slow it.
  WriteChecksums = kFalse;
  SplitSourcePath = splitSource.File("disk.img");
  SplitFileName = "disk.img";
  SplitFileSize = size;
  SplitPieceSize = 5000000;
  SplitDestination = pieceDir.Folder();
  SplitInProgress = true;
  CurrentMode = 1;
  SplitFile();
  CurrentMode = 2;
  EXPECT_EQ(SplitFullPieces, 1073);
  EXPECT_EQ(platform::FileLength(pieceDir.File("disk.img.999.cvx")), 5000000);
  EXPECT_EQ(platform::FileLength(pieceDir.File("disk.img.1000.cvx")), 5000000);
  EXPECT_EQ(platform::FileLength(pieceDir.File("disk.img.1074.cvx")), size - 1073 * 5000000LL);
  EXPECT_FALSE(platform::PathExists(pieceDir.File("disk.img.1075.cvx")));

  DeleteBuildFiles = kTrue;  // keeps the disk use down
  Build("disk.img", SplitFullPieces + 1, outDir);
  EXPECT_FALSE(platform::PathExists(pieceDir.File("disk.img.001.cvx")));
  ASSERT_EQ(platform::FileLength(outDir.File("disk.img")), size);

  platform::File original(splitSource.File("disk.img"), platform::File::Mode::kRead);
  platform::File rebuilt(outDir.File("disk.img"), platform::File::Mode::kRead);
  std::string a(1 << 22, '\0'), b(1 << 22, '\0');
  for (Bytes at = 0; at < size;) {
    const std::size_t got = original.Read(a.data(), a.size());
    ASSERT_EQ(rebuilt.Read(b.data(), b.size()), got);
    ASSERT_TRUE(std::memcmp(a.data(), b.data(), got) == 0) << "differs near byte " << at;
    at += static_cast<Bytes>(got);
  }
}

std::string ErrorText(const std::string& description) {
  return "There was an error while building this file \n\r\n\r" + description;
}

// An archive holding a.txt and b.txt, as the build of a zipped split set would bring back.
std::string SmallArchive() {
  TempDir work;
  work.Write("a.txt", "alpha");
  work.Write("b.txt", test::PatternBytes(300000, 9));
  zipkit::ZipComponent zip;
  zip.StartAddJob();
  zip.SourceFiles().AddItem(work.File("a.txt"));
  zip.SourceFiles().AddItem(work.File("b.txt"));
  zip.SetArchivePath(work.File("pack.zip"));
  zip.Add();
  return work.Read("pack.zip");
}

TEST_F(JoinerTest, AutoUnzipUnpacksOnlyAZipNameWithTheSettingOn) {
  const std::string archive = SmallArchive();
  const struct {
    const char* name;
    bool setting;
    bool unpacked;
  } cases[] = {
      {"pack.zip", true, true},
      {"PACK.ZIP", true, true},
      {"pack.zip", false, false},
      {"pack.zip.bak", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.setting ? " on" : " off"));
    BuildAutoUnzip = c.setting ? kTrue : kFalse;
    MakeSet(c.name, {archive.substr(0, 1000), archive.substr(1000)});
    TempDir into;
    Build(c.name, 2, into);
    EXPECT_TRUE(into.Read(c.name) == archive);
    EXPECT_EQ(platform::PathExists(into.File("a.txt")), c.unpacked);
    if (c.unpacked) {
      EXPECT_EQ(into.Read("a.txt"), "alpha");
      EXPECT_TRUE(into.Read("b.txt") == test::PatternBytes(300000, 9));
      EXPECT_EQ(ZipStatusPrefix, "Unziping - ");
      const auto captions = ui.Captions("lblStatus");
      EXPECT_NE(std::find(captions.begin(), captions.end(), "Unziping - b.txt"), captions.end());
    }
    EXPECT_FALSE(BuildInProgress);
    ExpectHandedBack();
  }
}

// The built file is complete: an archive that cannot be unpacked is no failed build.
// The unpacking's bar runs from nothing to what the entries unpack to, whatever the
// archive's own size.
TEST_F(JoinerTest, TheUnzipBarEndsAtTheUnpackedSize) {
  TempDir work;
  work.Write("zeros.bin", std::string(3000000, '\0'));
  zipkit::ZipComponent zip;
  zip.StartAddJob();
  zip.SourceFiles().AddItem(work.File("zeros.bin"));
  zip.SetArchivePath(work.File("pack.zip"));
  zip.Add();
  BuildAutoUnzip = kTrue;
  const std::string archive = work.Read("pack.zip");
  MakeSet("pack.zip", {archive.substr(0, 1000), archive.substr(1000)});
  std::vector<std::pair<double, double>> seen;
  for (int turn = 1; turn <= 200; ++turn)
    ui.AtDoEvents(turn, [&] {
      if (frmProgressStatus.IsLoaded() && frmProgressStatus->lblStatus.Caption().starts_with("Unziping"))
        seen.emplace_back(frmProgressStatus->pbProgress.Value(), frmProgressStatus->pbProgress.Max());
    });
  Build("pack.zip", 2, outDir);
  EXPECT_TRUE(outDir.Read("zeros.bin") == std::string(3000000, '\0'));
  ASSERT_FALSE(seen.empty());
  for (const auto& [value, max] : seen) {
    EXPECT_EQ(max, 3000000);
    EXPECT_LE(value, max);
  }
  EXPECT_GT(seen.back().first, 2000000);
}

TEST_F(JoinerTest, AFailedUnzipKeepsTheBuiltFileAndSaysSo) {
  BuildAutoUnzip = kTrue;
  MakeSet("pack.zip", {"this is not", " an archive"});
  ui.ExpectMsgBoxStartingWith("The file 'pack.zip' has been built, but it could not be unpacked.",
                              MsgBoxButtons::kOkOnly, MsgBoxIcon::kExclamation, MsgBoxResult::kOk);
  Build("pack.zip", 2, outDir);
  EXPECT_EQ(outDir.Read("pack.zip"), "this is not an archive");
  EXPECT_TRUE(BuildUnzipFailed);
  ExpectHandedBack();
}

TEST_F(JoinerTest, ProgressEndsAtTheSetSize) {
  MakeSet("movie.avi", {test::PatternBytes(100000, 1), test::PatternBytes(100000, 2), test::PatternBytes(50000, 3)});
  std::vector<std::pair<double, double>> seen;
  for (int turn = 2; turn <= 9; ++turn)
    ui.AtDoEvents(turn, [&] {
      if (frmProgressStatus.IsLoaded())
        seen.emplace_back(frmProgressStatus->pbProgress.Value(), frmProgressStatus->pbProgress.Max());
    });
  Build("movie.avi", 3, outDir);
  EXPECT_TRUE(outDir.Read("movie.avi") == source);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.front().second, 250000);
  EXPECT_EQ(BuildBytesDone, 250000);
  EXPECT_EQ(ui.Captions("lblStatus"),
            (std::vector<std::string>{"Building File - movie.avi.001.cvx", "Building File - movie.avi.002.cvx",
                                      "Building File - movie.avi.003.cvx"}));
}

TEST_F(JoinerTest, APieceIsReadInWholeBuffersThenTheRest) {
  MakeSet("a.bin", {test::PatternBytes(250000, 1), test::PatternBytes(1000, 2)});
  Build("a.bin", 2, outDir);
  EXPECT_EQ(watched.pieceReads, (std::vector<Bytes>{102400, 102400, 45200, 1000, 0}));
}

TEST_F(JoinerTest, AnEmptyPieceAddsNothingAndTheBuildGoesOn) {
  MakeSet("e.bin", {"abc", "", "def"});
  Build("e.bin", 3, outDir);
  EXPECT_EQ(outDir.Read("e.bin"), "abcdef");
  ExpectHandedBack();
}

TEST_F(JoinerTest, DeleteBuildFilesEmptiesThePiecesFolderEvenWhenBuiltElsewhere) {
  for (const bool on : {false, true}) {
    SCOPED_TRACE(on);
    DeleteBuildFiles = on ? kTrue : kFalse;
    MakeSet("movie.avi", {"111", "222", "3"});
    WriteSums("movie.avi", {"111", "222", "3"});
    pieceDir.Write("movie.avi.sh", JoinScriptText("movie.avi", 3));
    pieceDir.Write("unrelated.txt", "stays");
    TempDir into;
    Build("movie.avi", 3, into);
    EXPECT_EQ(into.Read("movie.avi"), "1112223");
    for (int k = 1; k <= 3; ++k)
      EXPECT_EQ(platform::PathExists(pieceDir.File(PieceFileName("movie.avi", k))), !on) << k;
    EXPECT_EQ(platform::PathExists(BuilderFilePath(pieceDir.Path(), "movie.avi")), !on);
    EXPECT_EQ(platform::PathExists(pieceDir.File("movie.avi.sha256")), !on);
    EXPECT_EQ(platform::PathExists(pieceDir.File("movie.avi.sh")), !on);
    EXPECT_TRUE(platform::PathExists(pieceDir.File("unrelated.txt")));
  }
}

TEST_F(JoinerTest, ClearListEmptiesTheSplitListNotTheBuildList) {
  ClearList = kTrue;
  main->lvwSplitFileNames.Add(1, "x");
  main->lvwBuildFileNames.Add(1, "movie.avi.001.cvx");
  SplitFileCount = 1;
  MakeSet("movie.avi", {"1", "2"});
  Build("movie.avi", 2, outDir);
  EXPECT_EQ(main->lvwSplitFileNames.Count(), 0u);
  EXPECT_EQ(main->lvwBuildFileNames.Count(), 1u);
  EXPECT_EQ(SplitFileCount, 0);
}

TEST_F(JoinerTest, ShowFinishShowsTheFinishedDialogAfterTheFileIsComplete) {
  ShowFinish = kTrue;
  int shown = 0;
  ShowFinishedDialog = [&] {
    ++shown;
    EXPECT_EQ(outDir.Read("movie.avi"), "12");
  };
  MakeSet("movie.avi", {"1", "2"});
  Build("movie.avi", 2, outDir);
  EXPECT_EQ(shown, 1);
}

const char* const kStop = "Are you sure you want to stop building this file?";
const char* const kDelete = "The file you were building was partly built. Do you want to delete it?";

TEST_F(JoinerTest, CancelAppendsNoFurtherChunkWhateverTheAnswer) {
  const struct {
    MsgBoxResult answer;
    bool fileKept;
  } cases[] = {{MsgBoxResult::kYes, false}, {MsgBoxResult::kNo, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(ToString(c.answer));
    MakeSet("movie.avi", {test::PatternBytes(250000, 1), test::PatternBytes(250000, 2)});
    // Three chunks a piece: the yield of turn 5 falls inside piece 2.
    ui.AtDoEvents(5, [] { frmProgressStatus->cmdCancel.Click(); });
    ui.ExpectMsgBox(kStop, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, MsgBoxResult::kYes);
    ui.ExpectMsgBox(kDelete, MsgBoxButtons::kYesNo, MsgBoxIcon::kNone, c.answer);
    TempDir into;
    const int before = ui.DoEventsCalls();
    Build("movie.avi", 2, into);
    EXPECT_EQ(ui.DoEventsCalls() - before, 5);
    EXPECT_EQ(platform::PathExists(into.File("movie.avi")), c.fileKept);
    if (c.fileKept) {
      EXPECT_EQ(platform::FileLength(into.File("movie.avi")), 250000 + 102400);
    }
    EXPECT_FALSE(BuildInProgress);
    ExpectHandedBack();
  }
}


TEST_F(JoinerTest, AMissingPieceIsFoundBeforeAnythingIsWritten) {
  MakeSet("movie.avi", {"1", "2", "3"});
  platform::RemoveFile(pieceDir.File("movie.avi.002.cvx"));
  std::string description;
  try {
    platform::FileLength(pieceDir.File("movie.avi.002.cvx"));
  } catch (const platform::RuntimeError& e) {
    description = e.Description();
  }
  ui.ExpectMsgBox(ErrorText(description), MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  Build("movie.avi", 3, outDir);
  EXPECT_FALSE(platform::PathExists(outDir.File("movie.avi")));
  EXPECT_FALSE(BuildInProgress);
  ExpectHandedBack();
}

TEST_F(JoinerTest, APieceThatVanishesMidBuildTakesTheErrorPath) {
  MakeSet("movie.avi", {"1", "2", "3"});
  // Piece 1 takes turns 1 and 2; piece 3 goes while piece 2 is being copied.
  ui.AtDoEvents(3, [this] {
    const std::string third = pieceDir.File("movie.avi.003.cvx");
    platform::RemoveFile(third);
    try {
      platform::FileLength(third);
    } catch (const platform::RuntimeError& e) {
      ui.ExpectMsgBox(ErrorText(e.Description()), MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
    }
  });
  Build("movie.avi", 3, outDir);
  EXPECT_EQ(ui.Boxes().size(), 1u);
  EXPECT_EQ(outDir.Read("movie.avi"), "12");  // the partly built file stays
  EXPECT_FALSE(BuildInProgress);
  ExpectHandedBack();
}

// A piece that turned into something other than a file after the set was listed ends the
// build before anything is written: reading a pipe would wait for a writer forever.
TEST_F(JoinerTest, APieceThatIsNoRegularFileIsNotAPiece) {
  MakeSet("movie.avi", {"1", "2", "3"});
  const std::string second = pieceDir.File("movie.avi.002.cvx");
  platform::RemoveFile(second);
  if (!test::MakePipe(second)) GTEST_SKIP() << "no named pipes here";
  ui.ExpectMsgBox(ErrorText("'" + second + "' is not a piece: it is not a regular file."), MsgBoxButtons::kOkOnly,
                  MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  Build("movie.avi", 3, outDir);
  EXPECT_FALSE(platform::PathExists(outDir.File("movie.avi")));
  EXPECT_FALSE(BuildInProgress);
  ExpectHandedBack();
}

TEST_F(JoinerTest, AFullDiskClosesEverythingAndKeepsThePartlyBuiltFile) {
  MakeSet("movie.avi", {test::PatternBytes(300000, 1), test::PatternBytes(300000, 2)});
  const std::string output = outDir.File("movie.avi");
  int writes = 0;
  const std::string reason = "Cannot write '" + output + "': " + std::strerror(ENOSPC);
  watched.onWrite = [&](const std::string& path, std::size_t) {
    if (path == output && ++writes == 5) throw platform::RuntimeError(ENOSPC, reason);
  };
  ui.ExpectMsgBox(ErrorText(reason), MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
  Build("movie.avi", 2, outDir);
  EXPECT_EQ(platform::FileLength(output), 300000 + 102400);
  EXPECT_EQ(platform::OpenFileCount(), 0u);
  EXPECT_FALSE(BuildInProgress);
  ExpectHandedBack();
}

// A set that differs from its checksums builds nothing: the output goes, the pieces stay, and
// an archive is not unpacked.
TEST_F(JoinerTest, AMismatchStopsTheBuildNamingWhatDiffers) {
  const std::vector<std::string> pieces = {test::PatternBytes(150000, 1), test::PatternBytes(150000, 2), "end"};
  const struct {
    const char* label;
    std::function<void(SetChecksums&)> damage;
    std::string message;
  } cases[] = {
      {"a byte of piece 2",
       [&](SetChecksums&) {
         std::string flipped = pieces[1];
         flipped[70000] ^= 1;
         pieceDir.Write("pack.zip.002.cvx", flipped);
       },
       "The piece 'pack.zip.002.cvx' does not match its checksum in 'pack.zip.sha256': it has changed since the "
       "split. The partly built file has been deleted; the pieces are kept."},
      {"the whole file's line",
       [&](SetChecksums& sums) {
         sums.whole = Digest("other");
         pieceDir.Write("pack.zip.sha256", ChecksumFileText("pack.zip", sums));
       },
       "The built file 'pack.zip' does not match its checksum in 'pack.zip.sha256', although each piece does. It "
       "has been deleted; the pieces are kept."},
  };
  BuildAutoUnzip = kTrue;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    MakeSet("pack.zip", pieces);
    SetChecksums sums = WriteSums("pack.zip", pieces);
    c.damage(sums);
    ui.ExpectMsgBox(ErrorText(c.message), MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical, MsgBoxResult::kOk);
    TempDir into;
    Build("pack.zip", 3, into);
    EXPECT_TRUE(platform::ListPlainFiles(into.Path()).empty());
    EXPECT_TRUE(platform::PathExists(pieceDir.File("pack.zip.003.cvx")));
    EXPECT_FALSE(BuildVerified);
    ExpectHandedBack();
  }
}

TEST_F(JoinerTest, AnUnusableChecksumFileIsTheUsersCall) {
  const std::string question = "\n\r\n\rBuild the file without verifying it?";
  const struct {
    std::string sums;
    std::string problem;
    MsgBoxResult answer;
  } cases[] = {
      {"not a checksum\n", "line 1 is not a checksum line", MsgBoxResult::kYes},
      {std::string(64, 'a') + "  movie.avi.004.cvx\n", "it lists 'movie.avi.004.cvx', which is not among the pieces found",
       MsgBoxResult::kNo},
      {"", "it holds no checksum lines", MsgBoxResult::kNo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.problem);
    MakeSet("movie.avi", {"1", "2", "3"});
    pieceDir.Write("movie.avi.sha256", c.sums);
    ui.ExpectMsgBox("The checksum file 'movie.avi.sha256' cannot be used: " + c.problem + "." + question,
                    MsgBoxButtons::kYesNo, MsgBoxIcon::kExclamation, c.answer);
    TempDir into;
    Build("movie.avi", 3, into);
    EXPECT_EQ(platform::PathExists(into.File("movie.avi")), c.answer == MsgBoxResult::kYes);
    EXPECT_FALSE(BuildVerified);
    EXPECT_FALSE(BuildInProgress);
    ExpectHandedBack();
  }
}

}  // namespace
}  // namespace carvex
