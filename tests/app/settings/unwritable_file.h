#pragma once

#include <memory>
#include <string>

namespace carvex::test {

// Keeps the file at `path` from being opened for writing, even by an administrator, for as
// long as the result lives; null where this system offers no way to.
std::shared_ptr<void> KeepFromWriting(const std::string& path);

}  // namespace carvex::test
