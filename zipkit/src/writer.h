#pragma once

#include <string>
#include <vector>

#include "zipkit/progress.h"

namespace carvex::zipkit {

struct AddSettings {
  int level = 9;  // 0 stores, 1 to 9 deflate
  bool encrypt = false;
  std::string password;
  CancelCheck cancelled;
};

// Writes a new archive at `archivePath` holding the entries that ArchiveEntries makes of
// `sources`. It replaces whatever file had that path only once it is complete, so a failed call
// leaves that file as it was and no archive behind, and a source that is that file is zipped
// from its old content.
void WriteArchive(const std::string& archivePath, const std::vector<std::string>& sources,
                  const AddSettings& settings, const ProgressHandler& progress);

}  // namespace carvex::zipkit
