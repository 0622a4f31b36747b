#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format.h"
#include "platform/zipio.h"

namespace carvex::zipkit {

// The central directory of an archive, wherever the archive starts inside its file.
struct Directory {
  // Added to every offset the archive stores: the length of whatever was put in front of the
  // archive without correcting its offsets (a self-extractor stub, for one). Zero for a plain
  // archive and for one whose offsets count from the start of the file.
  std::int64_t base = 0;
  // Positions in the file.
  std::int64_t centralStart = 0;
  std::int64_t centralSize = 0;
  // The first local header, or the central directory of an archive without entries.
  std::int64_t archiveStart = 0;
  std::vector<format::CentralEntry> entries;
  // Position in the file of each entry's data, just past its local header; one per entry.
  std::vector<std::int64_t> dataStarts;
  std::string comment;
};

// Reads the central directory and each entry's local header. An archive that claims more than
// its file can hold, or whose entries lie outside it or share bytes, raises an error here, so
// no caller acts on any part of it. `name` is the archive's path, for error descriptions.
Directory ReadDirectory(platform::SeekableFile& archive, const std::string& name);

}  // namespace carvex::zipkit
