#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/sha256.h"

namespace carvex {

// Whether splits and builds hash on threads of their own (the default) or in the copy loop;
// the split benchmark measures both.
inline bool HashOnThreads = true;

// The checksums of a split or build, computed beside the copy: the copy loop reads each chunk
// into a buffer of the pipeline, writes it out and hands it on; one thread hashes the whole
// file and another each piece, so that on two cores the hashing mostly hides behind the copy.
// At most kSlots chunks are in flight, whatever the size of the file.
class HashPipeline {
public:
  // Without threads both hashes run in Publish, in the copy loop; the split benchmark measures
  // that way against the threads.
  explicit HashPipeline(std::size_t chunkSize, bool threads = true);
  // Stops both threads, also in the middle of a job (a cancel or an error).
  ~HashPipeline();
  HashPipeline(const HashPipeline&) = delete;
  HashPipeline& operator=(const HashPipeline&) = delete;

  // The buffer to read the next chunk into; waits while every buffer is still being hashed.
  char* NextBuffer();
  // Hands the chunk in the buffer NextBuffer gave, its first `size` bytes, to both hashes;
  // `endsPiece` closes the digest of the current piece after it.
  void Publish(std::size_t size, bool endsPiece);

  // The digests of the pieces from number `first` (0 for the first piece) on whose hashing has
  // finished, without waiting.
  std::vector<platform::Sha256Digest> FinishedPieces(std::size_t first);
  // Waits for everything handed over and gives the digests of all pieces ended.
  std::vector<platform::Sha256Digest> AllPieces();
  // Waits for everything handed over and gives the digest of all the chunks together. The
  // last call of a pipeline.
  platform::Sha256Digest Whole();

private:
  struct Slot {
    std::vector<char> bytes;
    std::size_t size = 0;
    bool endsPiece = false;
    bool endsAll = false;
  };
  static constexpr std::size_t kSlots = 32;
  // A reader takes at most this many chunks at a time, so that the writer gets buffers back
  // while the reader works through the rest; one that has caught up sleeps until as many are
  // waiting again (or someone waits for its digests), so that threads do not change places
  // for every chunk.
  static constexpr std::size_t kBatch = kSlots / 4;
  enum Reader { kWholeReader, kPieceReader, kReaders };

  void Read(Reader reader);
  std::size_t FreeSlots() const;
  Slot& Claim(std::unique_lock<std::mutex>& lock);
  // Hands the next slot to the readers, waking those that have a batch to do.
  void Append(std::size_t size, bool endsPiece, bool endsAll);
  void WaitUntilRead(std::unique_lock<std::mutex>& lock, Reader reader);

  const bool threaded_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable dataReady_;  // for the readers
  std::condition_variable slotsFree_;  // for the writer
  std::uint64_t published_ = 0;
  std::uint64_t read_[kReaders] = {};
  bool readerWaiting_[kReaders] = {};
  bool writerWaiting_ = false;
  bool draining_ = false;  // while the writer waits for the readers to finish what they have
  bool stopping_ = false;
  std::exception_ptr failure_;
  std::vector<platform::Sha256Digest> pieces_;
  std::optional<platform::Sha256Digest> whole_;
  std::optional<platform::Sha256> inline_[kReaders];  // the hashes when there are no threads
  std::thread threads_[kReaders];
};

// Copies up to `size` bytes from `from` to `to` through a buffer of `hashes` and hands them to
// it; the bytes pass through memory once for the copy and both digests. Fewer only at the end
// of `from`.
std::size_t CopyHashing(platform::File& from, platform::File& to, std::size_t size, bool endsPiece,
                        HashPipeline& hashes);

}  // namespace carvex
