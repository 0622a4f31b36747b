#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace carvex::zipkit {

// An entry's data is deflated in blocks of this size, each on its own, so that several cores
// can work on one file.
inline constexpr std::size_t kBlockSize = 128 * 1024;
// How far deflate looks back: the end of the previous block, up to this much, is what a block
// may refer to.
inline constexpr std::size_t kWindowSize = 32 * 1024;

// One block of an entry's data on its way to the archive.
struct DataBlock {
  // The last bytes of the entry's previous block (`dictionarySize` of them), then this block's.
  std::vector<char> input;
  std::size_t dictionarySize = 0;
  bool last = false;  // ends the entry

  // Filled in by Compress.
  std::vector<char> output;
  std::uint32_t crc = 0;  // of this block's own bytes
  std::exception_ptr error;
  bool done = false;

  std::size_t Size() const { return input.size() - dictionarySize; }
};

// Turns blocks into consecutive pieces of one raw deflate stream: each block starts from the
// previous one's bytes as its dictionary and ends on a byte boundary (a sync flush), the last one
// ends the stream. A block that deflate would enlarge goes in as stored blocks. Level 0 copies.
class BlockDeflater {
 public:
  explicit BlockDeflater(int level);
  ~BlockDeflater();
  BlockDeflater(const BlockDeflater&) = delete;
  BlockDeflater& operator=(const BlockDeflater&) = delete;

  void Compress(DataBlock& block);

 private:
  struct Stream;
  int level_;
  std::unique_ptr<Stream> stream_;
};

// Threads that compress blocks in the order they are submitted. The submitting thread owns the
// blocks and keeps them alive until Wait says they are done or the workers are gone.
class DeflateWorkers {
 public:
  // Starts up to `count` threads; fewer when the system refuses more (see Count).
  DeflateWorkers(int level, unsigned count);
  // Lets each thread finish the block in its hands, drops the blocks still queued and joins them
  // all, so no thread outlives a cancelled job.
  ~DeflateWorkers();
  DeflateWorkers(const DeflateWorkers&) = delete;
  DeflateWorkers& operator=(const DeflateWorkers&) = delete;

  std::size_t Count() const { return threads_.size(); }
  void Submit(DataBlock& block);
  void Wait(DataBlock& block);

 private:
  void Work();

  const int level_;
  std::mutex mutex_;
  std::condition_variable queued_;
  std::condition_variable finished_;
  std::deque<DataBlock*> queue_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace carvex::zipkit
