#pragma once

// Unpacking, shared by the zip component and the self-extracting program.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "zipkit/progress.h"

namespace carvex::zipkit {

// What becomes of an entry whose output name is taken already.
enum class ExistingFile {
  kKeepBoth,  // the existing file stays; the entry is written under the first free "name (n).ext"
  kReplace,   // the entry replaces the file once it is complete; a failed entry leaves it alone
  kSkip,      // the existing file stays and the entry is not written
};

struct ExtractOptions {
  // Where the entries land, their folders recreated below it; created when missing.
  std::string folder;
  // For encrypted entries; empty when there is none.
  std::string password;
  // Decides for each taken output name (full path); when unset, both files are kept.
  std::function<ExistingFile(const std::string& path)> onExisting;
  // Asked, with the entry's name, when an encrypted entry finds no password or a wrong one; up
  // to three times per entry. nullopt gives up. When unset, the missing or wrong password fails.
  std::function<std::optional<std::string>(const std::string& entryName)> askPassword;
  // kFileBegins carries the path actually written; kBytesDone counts uncompressed bytes.
  ProgressHandler progress;
  CancelCheck cancelled;
};

struct ExtractResult {
  std::int64_t filesWritten = 0;
  std::int64_t filesSkipped = 0;
  // Entries whose names this system cannot hold as they are (see LocalName): the entry's name
  // and the path below the folder it was written under, for the closing message.
  std::vector<std::pair<std::string, std::string>> renamed;
  // Symbolic-link entries (Unix mode 0120000), which are not unpacked: a link could lead out of
  // the folder or be written through, and as a file it would hold only its target's name.
  std::vector<std::string> skippedLinks;
};

// Unpacks the archive at `archivePath`, which may have a program in front of it. Before anything
// is written, the whole call fails, naming the archive and what is wrong, when an entry would
// land outside `options.folder` (absolute, drive or UNC prefixed, climbing out with "..":
// ZipError::kUnsafeEntry), when entries share bytes of the file (kOverlappingEntries), when the
// archive claims more entries or bytes than its file holds (kNotAnArchive, kCorrupt), and when
// the entries' sizes add up to more than the free space of the volume of `options.folder`
// (kNotEnoughSpace). Sizes and CRC-32 are checked. An entry whose data is damaged
// (ZipError::kCorrupt) leaves no partial file behind, and the files before it stay written; the
// error names them. Any other failure midway, a cancellation included, removes every file and
// folder the call made (never one that was there before, nor a file it replaced) and says so.
// Symbolic-link entries are left out and listed. Entries of one name are written under
// "name (2).ext", "name (3).ext", ... in turn, each number checked against the disk.
ExtractResult ExtractArchive(const std::string& archivePath, const ExtractOptions& options);

// Reads every entry as ExtractArchive would and checks it, writing nothing; `options.folder`
// and `options.onExisting` play no part.
void TestArchive(const std::string& archivePath, const ExtractOptions& options);

struct EntryInfo {
  std::string name;  // UTF-8, as stored
  std::uint64_t size = 0;
  bool encrypted = false;
  bool isFolder = false;
};

std::vector<EntryInfo> ListArchive(const std::string& archivePath);

}  // namespace carvex::zipkit
