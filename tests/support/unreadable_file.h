#pragma once

#include <string>

#include "platform/error.h"
#include "platform/seam.h"

namespace carvex::test {

// Fails every read of a file whose path ends with `name`, as reading a file without read
// permission fails (which an administrator, as tests often run, would not see).
class UnreadableFile : public platform::Seam {
 public:
  explicit UnreadableFile(std::string name) : name_(std::move(name)) {}
  void BeforeRead(const std::string& path, std::size_t) override {
    if (path.ends_with(name_))
      throw platform::RuntimeError(13, "Cannot read '" + path + "': Permission denied");
  }

 private:
  std::string name_;
};

}  // namespace carvex::test
