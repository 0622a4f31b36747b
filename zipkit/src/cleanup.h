#pragma once

#include <string>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/zipio.h"

namespace carvex::zipkit {

// Removes what a failed step left behind. Called while another failure is on its way up: that
// one is what the user must read, so a failure to remove is dropped.
inline void RemoveQuietly(const std::string& path) {
  try {
    platform::RemoveFile(path);
  } catch (const platform::RuntimeError&) {
  }
}

// A file written under a free temporary name beside `target` that takes the target's name
// only when Commit says it is complete; until then, and for good when Commit never comes, the
// file that had that name stays as it was. So a failure leaves no partial file, and a job may
// read the very file it replaces (an archive zipped into itself, a program that is a link to
// its own archive) from its old content: nothing truncates it.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target) : target_(std::move(target)) {
    for (int number = 1;; ++number) {
      temp_ = target_ + (number == 1 ? "" : "." + std::to_string(number)) + ".part";
      if (file_.CreateNew(temp_)) break;
    }
  }
  ~ReplacingFile() {
    if (committed_) return;
    file_ = platform::SeekableFile();
    RemoveQuietly(temp_);
  }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;

  platform::SeekableFile& File() { return file_; }
  const std::string& TempPath() const { return temp_; }

  void Commit() {
    file_.Close();
    platform::RenameReplacing(temp_, target_);
    committed_ = true;
  }

 private:
  std::string target_;
  std::string temp_;
  platform::SeekableFile file_;
  bool committed_ = false;
};

}  // namespace carvex::zipkit
