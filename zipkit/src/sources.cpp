#include "sources.h"

#include <algorithm>
#include <optional>

#include "platform/files.h"
#include "zipkit/entry_names.h"

namespace carvex::zipkit {

namespace {

// `path` without separators at its end, but for a root's own: "Photos/" is named Photos.
std::string WithoutTrailingSeparators(std::string path) {
  const auto isSeparator = [](char c) { return c == '/' || c == platform::kPathSeparator; };
  while (path.size() > 1 && isSeparator(path.back()) && !(path.size() == 3 && path[1] == ':'))
    path.pop_back();
  return path;
}

// What the user chose, told apart by identity rather than by name: a link may reach a chosen
// file through another folder, another letter case or a link of its own.
class Selection {
 public:
  explicit Selection(const std::vector<std::string>& sources) {
    for (const std::string& source : sources)
      if (const auto identity = platform::IdentityOf(source)) chosen_.push_back(*identity);
  }

  // Whether `link` leads to a regular file that was chosen itself or lies in a chosen folder.
  bool HoldsFileOf(const std::string& link) const {
    const std::optional<std::string> target = platform::ResolvedPath(link);
    if (!target || !platform::IsRegularFile(*target)) return false;
    for (std::string at = *target;;) {
      if (const auto identity = platform::IdentityOf(at);
          identity && std::find(chosen_.begin(), chosen_.end(), *identity) != chosen_.end())
        return true;
      std::string up = FolderPart(at);
      if (up.empty() || up == at) return false;
      at = std::move(up);
    }
  }

 private:
  std::vector<platform::FileIdentity> chosen_;
};

}  // namespace

std::vector<SourceEntry> ArchiveEntries(const std::vector<std::string>& sources) {
  std::vector<std::string> paths;
  paths.reserve(sources.size());
  for (const std::string& source : sources) paths.push_back(WithoutTrailingSeparators(source));
  const std::vector<std::string> names = StoredNames(paths);
  const Selection selection(paths);

  std::vector<SourceEntry> entries;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    if (!platform::IsDirectory(paths[i])) {
      entries.push_back({paths[i], names[i], false});
      continue;
    }
    // A root has no name of its own, and an entry named "/..." would be absolute.
    const std::string prefix = names[i].empty() ? std::string() : names[i] + "/";
    if (!prefix.empty()) entries.push_back({paths[i], prefix, true});
    for (platform::TreeEntry& entry : platform::ListTree(paths[i])) {
      using Kind = platform::TreeEntry::Kind;
      const std::string name = prefix + entry.name;
      if (entry.kind == Kind::kFolder)
        entries.push_back({std::move(entry.path), name + "/", true});
      else if (entry.kind == Kind::kFile || (entry.kind == Kind::kLink && selection.HoldsFileOf(entry.path)))
        entries.push_back({std::move(entry.path), name, false});
    }
  }
  return entries;
}

}  // namespace carvex::zipkit
