#pragma once

#include <memory>
#include <string>

namespace carvex::test {

// Keeps the file at `path` from being opened for writing, even by an administrator, for as
// long as the result lives; null where this system offers no way to.
std::shared_ptr<void> KeepFromWriting(const std::string& path);

// Makes `path`, which must not exist yet, an entry that exists, is no folder, and cannot be
// opened for reading, even by an administrator, for as long as the result lives; null where
// this system offers no way to.
std::shared_ptr<void> MakeUnreadableEntry(const std::string& path);

// Makes `path` a named pipe: an entry that opens for reading only once a writer comes. False
// where this system has none in its file system.
bool MakePipe(const std::string& path);

bool RunningUnderWine();

}  // namespace carvex::test
