#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "zipkit/errors.h"
#include "zipkit/progress.h"

namespace carvex::zipkit {

// Turns the work's byte counts into progress events: bytes are summed and reported once a
// quarter of a MiB has gathered, before the next file begins and when the batch ends, so a front
// end can yield often even while zlib swallows long runs of zeros, without an event per buffer.
class ProgressReporter {
 public:
  explicit ProgressReporter(const ProgressHandler& handler, CancelCheck cancelled = {})
      : handler_(handler), cancelled_(std::move(cancelled)) {}

  void FileBegins(const std::string& path) {
    Flush();
    if (handler_) handler_(kFileBegins, path, 0);
  }
  void BytesDone(std::int64_t count) {
    pending_ += count;
    if (pending_ >= kReportEvery) Flush();
  }
  // The handler may take the user's word to stop, so the check follows the report.
  void Flush() {
    if (pending_ > 0 && handler_) handler_(kBytesDone, std::string(), pending_);
    pending_ = 0;
    if (cancelled_ && cancelled_()) Fail(ZipError::kCancelled, "The work was cancelled");
  }

  // Runs `work` as one batch: the batch-ended event follows it whether it succeeds or fails, and
  // a failure of the handler while reporting the end of a failed batch never hides the failure.
  template <typename Work>
  void RunBatch(const std::string& text, Work&& work) {
    try {
      std::forward<Work>(work)();
      Flush();
    } catch (...) {
      try {
        pending_ = 0;
        if (handler_) handler_(kBatchEnded, text, 0);
      } catch (...) {
      }
      throw;
    }
    if (handler_) handler_(kBatchEnded, text, 0);
  }

 private:
  static constexpr std::int64_t kReportEvery = 256 * 1024;

  const ProgressHandler& handler_;
  CancelCheck cancelled_;
  std::int64_t pending_ = 0;
};

}  // namespace carvex::zipkit
