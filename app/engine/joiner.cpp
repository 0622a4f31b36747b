#include "joiner.h"

#include <optional>
#include <vector>

#include "builder_file.h"
#include "checksums.h"
#include "hash_pipeline.h"
#include "join_script.h"
#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "progress_status.h"
#include "splitter.h"
#include "ui/app.h"
#include "zip_component.h"
#include "zipkit/errors.h"

namespace carvex {

namespace {

using ui::MsgBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;

std::string PieceOfBuild(std::int64_t k) { return PiecePath(BuildSourceFolder, BuildFileName, k); }

void RemoveIfPresent(const std::string& path) {
  if (platform::PathExists(path)) platform::RemoveFile(path);
}

bool IsZipName(const std::string& name) { return LowerCase(GetExtension(name)) == ".zip"; }

// A piece is a regular file: reading a pipe of that name would wait for a writer forever, and a
// folder has no bytes to give.
Bytes PieceLength(const std::string& path) {
  const Bytes length = platform::FileLength(path);
  if (!platform::IsRegularFile(path))
    throw platform::RuntimeError(0, "'" + path + "' is not a piece: it is not a regular file.");
  return length;
}

// One run of the joiner, with the state it keeps between two turns of its loop.
class Joiner {
public:
  void Run();

private:
  bool SetUp();
  bool ChooseVerification();
  void OpenPiece();
  void CopyChunk(Bytes size, bool endsPiece);
  void CheckFinishedPieces();
  void Complete();
  void Stop();
  ProgressStatusForm& Dialog() { return *frmProgressStatus; }

  Bytes setSize_ = 0;
  std::int64_t chunk_ = -1;  // -1 before set-up, 0 when a piece is due, else chunks of the piece
  Bytes buffer_ = kChunkSize;
  ChunkPlan plan_;
  std::string piecePath_;
  platform::File output_;
  platform::File piece_;
  std::vector<char> copyBuffer_;
  std::optional<SetChecksums> expected_;  // when the build verifies the set
  std::optional<HashPipeline> checksums_;
  std::size_t piecesChecked_ = 0;
};

void Joiner::Run() {
  BeginJob();
  BuildBytesDone = 0;
  try {
    for (;;) {
      ui::DoEvents();
      if (ui::App().LoadedForms().empty()) return;
      if (!BuildInProgress) {
        EndJob();
        return;
      }
      if (chunk_ == -1 && !SetUp()) return;
      if (chunk_ == 0) OpenPiece();
      ++chunk_;
      if (chunk_ <= plan_.fullChunks) {
        CopyChunk(buffer_, false);
        continue;
      }
      CopyChunk(plan_.closingChunk, true);
      piece_.Close();
      chunk_ = 0;
      ++BuildPieceNumber;
      if (BuildPieceNumber == BuildPieceCount + 1) {
        Complete();
        return;
      }
    }
  } catch (const std::exception& e) {
    // The partly built file stays; nothing is left open and no job is left marked running.
    // A file that differs from its checksums is worse than none: it goes.
    platform::CloseAllFiles();
    if (dynamic_cast<const ChecksumMismatch*>(&e)) {
      try {
        RemoveIfPresent(BuildDestination + BuildFileName);
      } catch (const std::exception&) {
      }
    }
    BuildInProgress = false;
    MsgBox("There was an error while building this file " + LineBreak + LineBreak + e.what(),
           MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
    EnableMainWindow();
    frmProgressStatus.Unload();
  }
}

bool Joiner::SetUp() {
  // Measured before anything is written: a missing piece ends the job here.
  setSize_ = 0;
  for (std::int64_t k = 1; k <= BuildPieceCount; ++k) setSize_ += PieceLength(PieceOfBuild(k));
  BuildVerified = false;
  if (!ChooseVerification()) {
    Stop();
    return false;
  }
  if (expected_) checksums_.emplace(static_cast<std::size_t>(kChunkSize), HashOnThreads);
  Dialog().pbProgress.SetMax(static_cast<double>(setSize_));
  output_ = platform::File(BuildDestination + BuildFileName, platform::File::Mode::kCreate);
  chunk_ = 0;
  BuildPieceNumber = 1;
  return true;
}

// Verifies when N.sha256 lies beside the pieces; one that cannot be used is the user's call.
// False when the user would rather not build unverified.
bool Joiner::ChooseVerification() {
  ChecksumFileState state = ReadChecksumFile(BuildSourceFolder, BuildFileName, BuildPieceCount);
  if (!state.present) return true;
  if (state.sums) {
    expected_ = std::move(state.sums);
    return true;
  }
  return MsgBox("The checksum file '" + ChecksumFileName(BuildFileName) + "' cannot be used: " + state.problem + "." +
                    LineBreak + LineBreak + "Build the file without verifying it?",
                MsgBoxButtons::kYesNo, MsgBoxIcon::kExclamation) == ui::MsgBoxResult::kYes;
}

// The end of a build that wrote nothing.
void Joiner::Stop() {
  BuildInProgress = false;
  EnableMainWindow();
  frmProgressStatus.Unload();
}

void Joiner::OpenPiece() {
  piecePath_ = PieceOfBuild(BuildPieceNumber);
  const Bytes size = PieceLength(piecePath_);
  piece_ = platform::File(piecePath_, platform::File::Mode::kRead);
  buffer_ = size > kChunkSize - 1 ? kChunkSize : size;
  plan_ = PlanChunks(size, buffer_);
  copyBuffer_.resize(static_cast<std::size_t>(std::max<Bytes>(buffer_, 1)));
  Dialog().lblStatus.SetCaption((checksums_ ? "Building and Verifying - " : "Building File - ") +
                                PieceFileName(BuildFileName, BuildPieceNumber));
}

void Joiner::CopyChunk(Bytes size, bool endsPiece) {
  const std::size_t want = static_cast<std::size_t>(size);
  std::size_t got = 0;
  if (checksums_) {
    got = CopyHashing(piece_, output_, want, endsPiece, *checksums_);
    CheckFinishedPieces();
  } else {
    got = platform::CopyBytes(piece_, output_, want, copyBuffer_);
  }
  if (got != want)
    throw platform::RuntimeError(0, "The piece '" + piecePath_ + "' is shorter than when the build began.");
  BuildBytesDone += size;
  Dialog().pbProgress.SetValue(static_cast<double>(BuildBytesDone));
}

// Each piece is judged as soon as its hash is done, a few chunks after its last was written.
void Joiner::CheckFinishedPieces() {
  for (const Sha256Digest& digest : checksums_->FinishedPieces(piecesChecked_)) {
    const std::string name = PieceFileName(BuildFileName, static_cast<std::int64_t>(piecesChecked_ + 1));
    if (digest != expected_->pieces[piecesChecked_])
      throw ChecksumMismatch("The piece '" + name + "' does not match its checksum in '" +
                             ChecksumFileName(BuildFileName) +
                             "': it has changed since the split. The partly built file has been deleted; the "
                             "pieces are kept.");
    ++piecesChecked_;
  }
}

void Joiner::Complete() {
  if (checksums_) {
    Dialog().lblStatus.SetCaption("Verifying...");
    checksums_->AllPieces();
    CheckFinishedPieces();
    if (checksums_->Whole() != expected_->whole)
      throw ChecksumMismatch("The built file '" + BuildFileName + "' does not match its checksum in '" +
                             ChecksumFileName(BuildFileName) + "', although each piece does. It has been deleted; " +
                             "the pieces are kept.");
    BuildVerified = true;
  }
  output_.Close();
  frmProgressStatus.Unload();
  if (ClearList) ClearSplitList();
  if (DeleteBuildFiles) {
    for (std::int64_t k = 1; k <= BuildPieceCount; ++k) RemoveIfPresent(PieceOfBuild(k));
    // Written as ".Bat"; a file system that tells case apart may hold either spelling.
    RemoveIfPresent(BuilderFilePath(BuildSourceFolder, BuildFileName));
    RemoveIfPresent(BuildSourceFolder + BuildFileName + ".bat");
    RemoveIfPresent(ChecksumFilePath(BuildSourceFolder, BuildFileName));
    RemoveIfPresent(BuildSourceFolder + JoinScriptFileName(BuildFileName));
  }
  BuildUnzipFailed = false;
  if (IsZipName(BuildFileName) && BuildAutoUnzip) {
    // The built file is whole (and verified) whatever becomes of its unpacking: a refused
    // archive is no failed build.
    try {
      UnzipBuiltFile(BuildDestination + BuildFileName, setSize_);
    } catch (const platform::RuntimeError& e) {
      BuildUnzipFailed = true;
      frmProgressStatus.Unload();
      const std::string built = "The file '" + BuildFileName + "' has been built" +
                                (BuildVerified ? " and matches its checksums" : std::string());
      MsgBox(e.Number() == static_cast<long>(zipkit::ZipError::kCancelled)
                 ? built + "; its unpacking was cancelled, and nothing of it was kept."
                 : built + ", but it could not be unpacked." + LineBreak + LineBreak + e.Description(),
             MsgBoxButtons::kOkOnly, MsgBoxIcon::kExclamation);
    }
  }
  if (ShowFinish && ShowFinishedDialog) ShowFinishedDialog();
  EnableMainWindow();
  BuildInProgress = false;
}

}  // namespace

void BuildFile() {
  Joiner joiner;
  joiner.Run();
}

}  // namespace carvex
