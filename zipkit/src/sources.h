#pragma once

#include <string>
#include <vector>

namespace carvex::zipkit {

// One entry of the archive to write, and where its bytes come from.
struct SourceEntry {
  std::string path;        // on disk
  std::string storedName;  // in the archive; a folder's ends with "/"
  bool isFolder = false;
};

// The entries that the files and folders of `sources` become, in their order. A file is stored
// under the name StoredNames gives it. A folder is stored with its whole tree, every entry named
// from the folder's own stored name down ("Photos/2024/a.jpg"), every folder with an entry of
// its own so that empty ones survive. Inside a tree, a link is stored as the file it names only
// when that file lies within `sources` (it is one of them, or inside one of their folders);
// links to folders, links that lead out of the selection or nowhere, and devices, pipes and
// sockets are left out.
std::vector<SourceEntry> ArchiveEntries(const std::vector<std::string>& sources);

}  // namespace carvex::zipkit
