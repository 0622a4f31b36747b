#include "hash_pipeline.h"

#include <algorithm>

namespace carvex {

HashPipeline::HashPipeline(std::size_t chunkSize, bool threads) : threaded_(threads), slots_(threads ? kSlots : 1) {
  for (Slot& slot : slots_) slot.bytes.resize(std::max<std::size_t>(chunkSize, 1));
  if (!threaded_) {
    for (auto& hash : inline_) hash.emplace();
    return;
  }
  threads_[kWholeReader] = std::thread([this] { Read(kWholeReader); });
  threads_[kPieceReader] = std::thread([this] { Read(kPieceReader); });
}

HashPipeline::~HashPipeline() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  dataReady_.notify_all();
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
}

void HashPipeline::Read(Reader reader) {
  std::optional<platform::Sha256> hash;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (read_[reader] == published_) {
      readerWaiting_[reader] = true;
      dataReady_.wait(lock, [&] {
        const std::uint64_t waiting = published_ - read_[reader];
        return stopping_ || waiting >= kBatch || (draining_ && waiting > 0);
      });
    }
    readerWaiting_[reader] = false;
    if (stopping_) return;
    const std::uint64_t first = read_[reader];
    const std::uint64_t end = std::min<std::uint64_t>(published_, first + kBatch);
    const bool healthy = !failure_;
    lock.unlock();
    // The writer does not touch these slots again until both readers are past them.
    std::vector<platform::Sha256Digest> digests;
    std::optional<platform::Sha256Digest> whole;
    std::exception_ptr failure;
    if (healthy) {
      try {
        if (!hash) hash.emplace();
        for (std::uint64_t i = first; i < end; ++i) {
          const Slot& slot = slots_[i % kSlots];
          hash->Update(slot.bytes.data(), slot.size);
          if (reader == kPieceReader && slot.endsPiece) digests.push_back(hash->Finish());
          if (reader == kWholeReader && slot.endsAll) whole = hash->Finish();
        }
      } catch (...) {
        failure = std::current_exception();
      }
    }
    lock.lock();
    // After a failure the readers still move on, so that the writer never waits for them.
    if (failure && !failure_) failure_ = failure;
    pieces_.insert(pieces_.end(), digests.begin(), digests.end());
    if (whole) whole_ = whole;
    read_[reader] = end;
    if (writerWaiting_) slotsFree_.notify_one();
  }
}

std::size_t HashPipeline::FreeSlots() const {
  return kSlots - static_cast<std::size_t>(published_ - std::min(read_[kWholeReader], read_[kPieceReader]));
}

HashPipeline::Slot& HashPipeline::Claim(std::unique_lock<std::mutex>& lock) {
  if (FreeSlots() == 0) {
    // Waking for every freed slot would cost a switch of threads per chunk; half the ring at
    // once keeps the readers busy while the writer fills it again.
    writerWaiting_ = true;
    slotsFree_.wait(lock, [&] { return FreeSlots() >= kSlots / 2; });
    writerWaiting_ = false;
  }
  return slots_[published_ % kSlots];
}

void HashPipeline::Append(std::size_t size, bool endsPiece, bool endsAll) {
  std::unique_lock lock(mutex_);
  Slot& slot = Claim(lock);
  slot.size = size;
  slot.endsPiece = endsPiece;
  slot.endsAll = endsAll;
  ++published_;
  bool wake = false;
  for (const Reader reader : {kWholeReader, kPieceReader})
    wake = wake || (readerWaiting_[reader] && published_ - read_[reader] >= kBatch);
  lock.unlock();
  if (wake) dataReady_.notify_all();
}

void HashPipeline::WaitUntilRead(std::unique_lock<std::mutex>& lock, Reader reader) {
  draining_ = writerWaiting_ = true;
  dataReady_.notify_all();
  slotsFree_.wait(lock, [&] { return read_[reader] == published_; });
  draining_ = writerWaiting_ = false;
  if (failure_) std::rethrow_exception(failure_);
}

char* HashPipeline::NextBuffer() {
  if (!threaded_) return slots_.front().bytes.data();
  std::unique_lock lock(mutex_);
  if (failure_) std::rethrow_exception(failure_);
  return Claim(lock).bytes.data();
}

void HashPipeline::Publish(std::size_t size, bool endsPiece) {
  if (!threaded_) {
    const Slot& slot = slots_.front();
    inline_[kWholeReader]->Update(slot.bytes.data(), size);
    inline_[kPieceReader]->Update(slot.bytes.data(), size);
    if (endsPiece) pieces_.push_back(inline_[kPieceReader]->Finish());
    return;
  }
  Append(size, endsPiece, false);
}

std::vector<platform::Sha256Digest> HashPipeline::FinishedPieces(std::size_t first) {
  const std::lock_guard lock(mutex_);
  if (failure_) std::rethrow_exception(failure_);
  if (first >= pieces_.size()) return {};
  return {pieces_.begin() + static_cast<std::ptrdiff_t>(first), pieces_.end()};
}

std::vector<platform::Sha256Digest> HashPipeline::AllPieces() {
  if (!threaded_) return pieces_;
  std::unique_lock lock(mutex_);
  WaitUntilRead(lock, kPieceReader);
  return pieces_;
}

platform::Sha256Digest HashPipeline::Whole() {
  if (!threaded_) return inline_[kWholeReader]->Finish();
  Append(0, false, true);
  std::unique_lock lock(mutex_);
  WaitUntilRead(lock, kWholeReader);
  return *whole_;
}

std::size_t CopyHashing(platform::File& from, platform::File& to, std::size_t size, bool endsPiece,
                        HashPipeline& hashes) {
  char* buffer = hashes.NextBuffer();
  const std::size_t got = from.Read(buffer, size);
  to.Write(buffer, got);
  hashes.Publish(got, endsPiece);
  return got;
}

}  // namespace carvex
