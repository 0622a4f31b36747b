#pragma once

#include <cstdint>
#include <functional>

#include "mod_public.h"

namespace carvex {

// Size of the one copy buffer of a split or build: the window answers within one chunk.
inline constexpr Bytes kChunkSize = 102400;

// How a piece of `size` bytes is copied in chunks of `buffer` bytes: `fullChunks` chunks of
// `buffer` bytes, then a closing chunk of `closingChunk` bytes (0 when the size divides
// evenly and is at least one buffer).
struct ChunkPlan {
  std::int64_t fullChunks = 0;
  Bytes closingChunk = 0;
};
ChunkPlan PlanChunks(Bytes size, Bytes buffer);

// Pieces that precede the last one of a split of `fileSize` into pieces of `pieceSize`.
std::int64_t CountFullPieces(Bytes fileSize, Bytes pieceSize);

// Shows the Finished dialog after a job; set by the code that owns that dialog.
inline std::function<void()> ShowFinishedDialog;

// Cuts SplitSourcePath into pieces in SplitDestination and writes the builder batch file
// beside them, yielding to the window once per chunk. Preconditions: the split job fields
// are set, 0 < SplitPieceSize < SplitFileSize, SplitInProgress is true.
void SplitFile();

}  // namespace carvex
