#include "block_deflate.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "zipkit/errors.h"

namespace carvex::zipkit {

namespace {

constexpr std::size_t kMaxStoredBlock = 0xFFFF;
constexpr std::size_t kStoredHeaderSize = 5;

std::size_t StoredSize(std::size_t size) {
  const std::size_t blocks = std::max<std::size_t>(1, (size + kMaxStoredBlock - 1) / kMaxStoredBlock);
  return size + blocks * kStoredHeaderSize;
}

// The bytes as deflate's stored blocks. Each starts on a byte boundary, where the previous
// block's sync flush left the stream: the first byte holds only the final bit and the type.
void WriteStored(const char* data, std::size_t size, bool last, std::vector<char>& out) {
  out.clear();
  out.reserve(StoredSize(size));
  do {
    const std::size_t count = std::min(size, kMaxStoredBlock);
    const bool final = last && count == size;
    const auto length = static_cast<std::uint16_t>(count);
    const auto complement = static_cast<std::uint16_t>(~length);
    const char header[kStoredHeaderSize] = {
        static_cast<char>(final ? 1 : 0), static_cast<char>(length & 0xFF), static_cast<char>(length >> 8),
        static_cast<char>(complement & 0xFF), static_cast<char>(complement >> 8)};
    out.insert(out.end(), header, header + kStoredHeaderSize);
    out.insert(out.end(), data, data + count);
    data += count;
    size -= count;
  } while (size > 0);
}

}  // namespace

struct BlockDeflater::Stream {
  z_stream z{};
};

BlockDeflater::BlockDeflater(int level) : level_(level) {
  if (level_ == 0) return;
  auto stream = std::make_unique<Stream>();
  if (::deflateInit2(&stream->z, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    Fail(ZipError::kInvalidSetting, "Cannot start compressing: not enough memory");
  stream_ = std::move(stream);
}

BlockDeflater::~BlockDeflater() {
  if (stream_) ::deflateEnd(&stream_->z);
}

void BlockDeflater::Compress(DataBlock& block) {
  const char* data = block.input.data() + block.dictionarySize;
  const std::size_t size = block.Size();
  block.crc = static_cast<std::uint32_t>(
      ::crc32(::crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(data), static_cast<uInt>(size)));
  if (level_ == 0) {
    block.output.assign(data, data + size);
    return;
  }

  z_stream& z = stream_->z;
  ::deflateReset(&z);
  if (block.dictionarySize > 0 &&
      ::deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(block.input.data()),
                             static_cast<uInt>(block.dictionarySize)) != Z_OK)
    Fail(ZipError::kInvalidSetting, "The compressor failed");
  const int flush = block.last ? Z_FINISH : Z_SYNC_FLUSH;
  // Room for the sync flush's empty stored block beyond zlib's bound.
  block.output.resize(::deflateBound(&z, static_cast<uLong>(size)) + 16);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
  z.avail_in = static_cast<uInt>(size);
  std::size_t made = 0;
  for (;;) {
    z.next_out = reinterpret_cast<Bytef*>(block.output.data() + made);
    z.avail_out = static_cast<uInt>(block.output.size() - made);
    const int result = ::deflate(&z, flush);
    if (result == Z_STREAM_ERROR) Fail(ZipError::kInvalidSetting, "The compressor failed");
    made = block.output.size() - z.avail_out;
    if (flush == Z_FINISH ? result == Z_STREAM_END : z.avail_out != 0) break;
    block.output.resize(block.output.size() + block.output.size() / 2);
  }
  block.output.resize(made);
  // Random or already compressed data: deflate's own blocks would cost more than the bytes.
  if (made > StoredSize(size)) WriteStored(data, size, block.last, block.output);
}

DeflateWorkers::DeflateWorkers(int level, unsigned count) : level_(level) {
  threads_.reserve(count);
  for (unsigned i = 0; i < count; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      break;  // the threads already running do the work
    }
  }
}

DeflateWorkers::~DeflateWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  queued_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void DeflateWorkers::Submit(DataBlock& block) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(&block);
  }
  queued_.notify_one();
}

void DeflateWorkers::Wait(DataBlock& block) {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait(lock, [&] { return block.done; });
}

void DeflateWorkers::Work() {
  std::unique_ptr<BlockDeflater> deflater;
  for (;;) {
    DataBlock* block = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      queued_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      block = queue_.front();
      queue_.pop_front();
    }
    // A failure travels with the block to the writing thread, which raises it in its turn.
    try {
      if (!deflater) deflater = std::make_unique<BlockDeflater>(level_);
      deflater->Compress(*block);
    } catch (...) {
      block->error = std::current_exception();
    }
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      block->done = true;
    }
    finished_.notify_all();
  }
}

}  // namespace carvex::zipkit
