#include "joiner.h"

#include <vector>

#include "builder_file.h"
#include "mod_public.h"
#include "platform/error.h"
#include "platform/files.h"
#include "progress_status.h"
#include "splitter.h"
#include "ui/app.h"
#include "zip_component.h"

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
  void SetUp();
  void OpenPiece();
  void CopyChunk(Bytes size);
  void Complete();
  ProgressStatusForm& Dialog() { return *frmProgressStatus; }

  Bytes setSize_ = 0;
  std::int64_t chunk_ = -1;  // -1 before set-up, 0 when a piece is due, else chunks of the piece
  Bytes buffer_ = kChunkSize;
  ChunkPlan plan_;
  std::string piecePath_;
  platform::File output_;
  platform::File piece_;
  std::vector<char> copyBuffer_;
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
      if (chunk_ == -1) SetUp();
      if (chunk_ == 0) OpenPiece();
      ++chunk_;
      if (chunk_ <= plan_.fullChunks) {
        CopyChunk(buffer_);
        continue;
      }
      CopyChunk(plan_.closingChunk);
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
    platform::CloseAllFiles();
    BuildInProgress = false;
    MsgBox("There was an error while building this file " + LineBreak + LineBreak + e.what(),
           MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
    EnableMainWindow();
    frmProgressStatus.Unload();
  }
}

void Joiner::SetUp() {
  // Measured before anything is written: a missing piece ends the job here.
  setSize_ = 0;
  for (std::int64_t k = 1; k <= BuildPieceCount; ++k) setSize_ += PieceLength(PieceOfBuild(k));
  Dialog().pbProgress.SetMax(static_cast<double>(setSize_));
  output_ = platform::File(BuildDestination + BuildFileName, platform::File::Mode::kCreate);
  chunk_ = 0;
  BuildPieceNumber = 1;
}

void Joiner::OpenPiece() {
  piecePath_ = PieceOfBuild(BuildPieceNumber);
  const Bytes size = PieceLength(piecePath_);
  piece_ = platform::File(piecePath_, platform::File::Mode::kRead);
  buffer_ = size > kChunkSize - 1 ? kChunkSize : size;
  plan_ = PlanChunks(size, buffer_);
  copyBuffer_.resize(static_cast<std::size_t>(std::max<Bytes>(buffer_, 1)));
  Dialog().lblStatus.SetCaption("Building File - " + PieceFileName(BuildFileName, BuildPieceNumber));
}

void Joiner::CopyChunk(Bytes size) {
  const std::size_t want = static_cast<std::size_t>(size);
  if (platform::CopyBytes(piece_, output_, want, copyBuffer_) != want)
    throw platform::RuntimeError(0, "The piece '" + piecePath_ + "' is shorter than when the build began.");
  BuildBytesDone += size;
  Dialog().pbProgress.SetValue(static_cast<double>(BuildBytesDone));
}

void Joiner::Complete() {
  output_.Close();
  frmProgressStatus.Unload();
  if (ClearList) ClearSplitList();
  if (DeleteBuildFiles) {
    for (std::int64_t k = 1; k <= BuildPieceCount; ++k) RemoveIfPresent(PieceOfBuild(k));
    // Written as ".Bat"; a file system that tells case apart may hold either spelling.
    RemoveIfPresent(BuilderFilePath(BuildSourceFolder, BuildFileName));
    RemoveIfPresent(BuildSourceFolder + BuildFileName + ".bat");
  }
  if (IsZipName(BuildFileName) && BuildAutoUnzip) UnzipBuiltFile(BuildDestination + BuildFileName, setSize_);
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
