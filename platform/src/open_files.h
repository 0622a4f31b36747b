#pragma once

// Every File that is open, so that the end of a job can close whatever it left open (a
// cancelled job stops between two chunks with its source and piece still open).

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/files.h"

namespace carvex::platform::detail {

class OpenFiles {
public:
  static OpenFiles& Get() {
    static OpenFiles registry;
    return registry;
  }
  void Add(File* file) {
    std::lock_guard lock(mutex_);
    files_.push_back(file);
  }
  void Remove(File* file) {
    std::lock_guard lock(mutex_);
    files_.erase(std::remove(files_.begin(), files_.end(), file), files_.end());
  }
  void Replace(File* from, File* to) {
    std::lock_guard lock(mutex_);
    std::replace(files_.begin(), files_.end(), from, to);
  }
  std::vector<File*> Snapshot() {
    std::lock_guard lock(mutex_);
    return files_;
  }

private:
  std::mutex mutex_;
  std::vector<File*> files_;
};

}  // namespace carvex::platform::detail
