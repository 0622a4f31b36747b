#pragma once

#include <string>
#include <vector>

#include "zipkit/progress.h"

namespace carvex::zipkit {

struct AddSettings {
  int level = 9;  // 0 stores, 1 to 9 deflate
  bool encrypt = false;
  std::string password;
};

// Writes a new archive at `archivePath` holding the entries that ArchiveEntries makes of
// `sources`, replacing whatever file had that path. A failed call leaves no archive behind.
void WriteArchive(const std::string& archivePath, const std::vector<std::string>& sources,
                  const AddSettings& settings, const ProgressHandler& progress);

}  // namespace carvex::zipkit
