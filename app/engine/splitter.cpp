#include "splitter.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "builder_file.h"
#include "checksums.h"
#include "hash_pipeline.h"
#include "join_script.h"
#include "platform/error.h"
#include "platform/files.h"
#include "platform/volumes.h"
#include "progress_status.h"
#include "ui/app.h"

namespace carvex {

namespace {

using ui::MsgBox;
using ui::MsgBoxButtons;
using ui::MsgBoxIcon;
using ui::MsgBoxResult;

// The checks before each piece and before the builder batch file, `bytes` being what is
// about to be written. False when the job has ended (through EndJob).
bool DestinationAccepts(Bytes bytes) {
  // Both questions' OK only looks again; they say what it looks at, so that a front end which
  // cannot wait for the user knows a retry that could succeed from one that would loop.
  const auto retried = [](std::string prompt, std::string state) {
    ui::MsgBoxRequest request;
    request.prompt = std::move(prompt);
    request.buttons = MsgBoxButtons::kOkCancel;
    request.retriesOnly = true;
    request.retryState = std::move(state);
    return MsgBox(std::move(request)) == MsgBoxResult::kOk;
  };
  for (;;) {
    const std::string floppy = platform::FloppyDriveRoot();
    if (!floppy.empty() && EqualsNoCase(SplitDestination, floppy) && !platform::PathExists(floppy)) {
      if (retried("Insert a disk into drive A.", "no disk in " + floppy)) continue;
      EndJob();
      return false;
    }
    const platform::VolumeSpace space = platform::GetVolumeSpace(SplitDestination);
    if (space.totalBytes < bytes) {
      MsgBox("The splitting size you've chosen exceeds the capacity of the destination drive.",
             MsgBoxButtons::kOkOnly, MsgBoxIcon::kExclamation);
      EndJob();
      return false;
    }
    if (space.freeBytes < bytes) {
      // A set may span several disks: OK looks again, at what may be a new one.
      const std::string free =
          std::to_string(space.freeBytes) + " of " + std::to_string(space.totalBytes) + " bytes free";
      if (retried("There is not enough space on this drive to split the chosen file" + LineBreak +
                      "please insert a blank disk if applicable.",
                  free))
        continue;
      EndJob();
      return false;
    }
    return true;
  }
}

void RemoveIfPlainFile(const std::string& path) {
  if (platform::IsRegularFile(path)) platform::RemoveFile(path);
}

// A split replaces any earlier set of the same name as a whole, before its first piece is
// written: pieces of the old set beyond the new one's last would be joined into every build of
// it, and old pieces that a cancelled split never reached would sit between the new ones. The
// old builder batch file goes with them; it names the old count.
void RemoveEarlierSet() {
  const std::int64_t pieces = SplitFullPieces + 1;
  for (std::int64_t k = 1; k <= pieces; ++k) RemoveIfPlainFile(PiecePath(SplitDestination, SplitFileName, k));
  for (std::int64_t k = pieces + 1;; ++k) {
    const std::string piece = PiecePath(SplitDestination, SplitFileName, k);
    if (!platform::IsRegularFile(piece)) break;
    platform::RemoveFile(piece);
  }
  RemoveIfPlainFile(BuilderFilePath(SplitDestination, SplitFileName));
  // An old checksum file would fail every build of the new set; an old join script names the
  // old count.
  RemoveIfPlainFile(ChecksumFilePath(SplitDestination, SplitFileName));
  RemoveIfPlainFile(SplitDestination + JoinScriptFileName(SplitFileName));
}

// What the files written after the pieces take: the room the destination must have.
Bytes FilesAfterPiecesSize() {
  const std::int64_t pieces = SplitFullPieces + 1;
  Bytes size = static_cast<Bytes>(BuilderFileText(SplitFileName, SplitFullPieces).size());
  if (WriteChecksums != 0) {
    // Every line is as long as the one of the same name with any digest.
    SetChecksums sums;
    sums.pieces.resize(static_cast<std::size_t>(pieces));
    size += static_cast<Bytes>(ChecksumFileText(SplitFileName, sums).size());
  }
  if (WriteJoinScript != 0) size += static_cast<Bytes>(JoinScriptText(SplitFileName, pieces).size());
  return size;
}

// One run of the splitter, with the state it keeps between two turns of its loop.
class Splitter {
public:
  void Run();

private:
  void SetUp();
  void OpenPiece();
  void CopyChunk(Bytes size, bool endsPiece);
  void ClosePiece();
  bool Complete();
  ProgressStatusForm& Dialog() { return *frmProgressStatus; }

  Bytes buffer_ = kChunkSize;
  std::int64_t chunk_ = -1;  // -1 before set-up, 0 when a piece is due, else chunks of the piece
  ChunkPlan plan_;
  Bytes lastPieceSize_ = 0;
  platform::File source_;
  platform::File piece_;
  std::string piecePath_;
  bool pieceUnfinished_ = false;  // from its creation until it closed without an error
  std::vector<char> copyBuffer_;
  std::optional<HashPipeline> checksums_;  // while the split writes N.sha256
};

void Splitter::Run() {
  // Before the first yield: a click that arrives there must find the window locked.
  BeginJob();
  SplitBytesDone = 0;
  SplitPieceNumber = 1;
  try {
    for (;;) {
      ui::DoEvents();
      if (ui::App().LoadedForms().empty()) return;
      if (!SplitInProgress) {
        EndJob();
        return;
      }
      if (chunk_ == -1) SetUp();
      if (chunk_ == 0) {
        if (!DestinationAccepts(SplitPieceSize)) return;
        if (SplitPieceNumber == 1) {
          RemoveEarlierSet();
          SplitNotice.clear();
        }
        OpenPiece();
      }
      ++chunk_;
      if (chunk_ <= plan_.fullChunks) {
        CopyChunk(buffer_, false);
        continue;
      }
      CopyChunk(plan_.closingChunk, true);
      ClosePiece();
      if (SplitPieceNumber == SplitFullPieces + 2) {
        Complete();
        return;
      }
    }
  } catch (const std::exception& e) {
    // The piece being written is known to be incomplete, also when only its close failed (a
    // deferred write error): it goes, the finished ones stay.
    if (pieceUnfinished_) {
      platform::CloseAllFiles();
      try {
        platform::RemoveFile(piecePath_);
      } catch (const std::exception&) {
      }
    }
    MsgBox("There was an error during the splitting process." + LineBreak + LineBreak + e.what(),
           MsgBoxButtons::kOkOnly, MsgBoxIcon::kCritical);
    EndJob();
  }
}

void Splitter::SetUp() {
  buffer_ = std::min(kChunkSize, SplitPieceSize);
  SplitFullPieces = CountFullPieces(SplitFileSize, SplitPieceSize);
  lastPieceSize_ = SplitFileSize - SplitPieceSize * SplitFullPieces;
  plan_ = PlanChunks(SplitPieceSize, buffer_);
  copyBuffer_.resize(static_cast<std::size_t>(buffer_));
  source_ = platform::File(SplitSourcePath, platform::File::Mode::kRead);
  if (WriteChecksums != 0) checksums_.emplace(static_cast<std::size_t>(buffer_), HashOnThreads);
  chunk_ = 0;
  CenterForm(Dialog());
  Dialog().Show();
  Dialog().pbProgress.SetMax(static_cast<double>(SplitFileSize));
  Dialog().lblStatus.SetCaption("Splitting File...");
}

void Splitter::OpenPiece() {
  piecePath_ = PiecePath(SplitDestination, SplitFileName, SplitPieceNumber);
  // An existing file of that name is replaced: each piece holds exactly its own bytes.
  piece_ = platform::File(piecePath_, platform::File::Mode::kCreate);
  pieceUnfinished_ = true;
  Dialog().lblStatus.SetCaption("Splitting - " + PieceFileName(SplitFileName, SplitPieceNumber));
}

void Splitter::CopyChunk(Bytes size, bool endsPiece) {
  const std::size_t want = static_cast<std::size_t>(size);
  const std::size_t got = checksums_ ? CopyHashing(source_, piece_, want, endsPiece, *checksums_)
                                    : platform::CopyBytes(source_, piece_, want, copyBuffer_);
  if (got != want)
    throw platform::RuntimeError(0, "The file '" + SplitSourcePath +
                                        "' is shorter than when it was chosen; it may have been changed.");
  SplitBytesDone += size;
  Dialog().pbProgress.SetValue(static_cast<double>(SplitBytesDone));
}

void Splitter::ClosePiece() {
  piece_.Close();
  pieceUnfinished_ = false;
  ++SplitPieceNumber;
  chunk_ = 0;
  plan_ = PlanChunks(SplitPieceNumber == SplitFullPieces + 1 ? lastPieceSize_ : SplitPieceSize, buffer_);
}

bool Splitter::Complete() {
  Dialog().lblStatus.SetCaption("");
  // The room the builder batch file needs is the length of its text. A trial copy written
  // elsewhere to measure it would be the real file itself when the destination is that very
  // folder, and its clean-up would delete the one just written.
  if (!DestinationAccepts(FilesAfterPiecesSize())) return false;
  if (checksums_) {
    Dialog().lblStatus.SetCaption("Writing checksums...");
    SetChecksums sums;
    sums.pieces = checksums_->AllPieces();
    sums.whole = checksums_->Whole();
    WriteChecksumFile(SplitDestination, SplitFileName, sums);
  }
  if (WriteJoinScript != 0) WriteJoinScriptFile(SplitDestination, SplitFileName, SplitFullPieces + 1);
  if (ClearList) ClearSplitList();
  // A batch file that names pieces that do not exist would fail where it is needed most.
  const bool batch = BuilderFileCanSpell(SplitFileName);
  SplitNotice = batch ? std::string()
                      : "No batch file was written: a batch file cannot spell this file's name (it holds a "
                        "double quote or a control character). Build it with Carvex" +
                            std::string(WriteJoinScript != 0 ? " or its join script." : ".");
  if (ShowFinish && ShowFinishedDialog) ShowFinishedDialog();
  if (batch) WriteBuilderFile(SplitDestination);
  EndJob();
  return true;
}

}  // namespace

ChunkPlan PlanChunks(Bytes size, Bytes buffer) {
  if (buffer <= 0) return {1, 0};  // an empty piece: one empty chunk, then the close
  if (size < buffer) return {0, size};
  // As many whole buffers as leave more than nothing behind, at least one.
  const std::int64_t full = std::max<std::int64_t>(1, (size + buffer - 1) / buffer - 1);
  return {full, size - full * buffer};
}

std::int64_t CountFullPieces(Bytes fileSize, Bytes pieceSize) {
  return std::max<std::int64_t>(1, (fileSize + pieceSize - 1) / pieceSize - 1);
}

void SplitFile() {
  Splitter splitter;
  splitter.Run();
}

}  // namespace carvex
