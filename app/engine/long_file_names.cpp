#include "long_file_names.h"

#include "platform/files.h"

namespace carvex::modLongFileNames {

namespace {

constexpr char kSep = platform::kPathSeparator;

// Length of the root that the path must start with, and how much of it is copied before the
// first resolved element: "C:\" keeps "C:", "/" keeps nothing.
#ifdef _WIN32
constexpr std::size_t kRootLength = 3;
bool HasRoot(const std::string& path) {
  return path.size() >= 3 && path[1] == ':' && path[2] == kSep &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}
#else
constexpr std::size_t kRootLength = 1;
bool HasRoot(const std::string& path) { return !path.empty() && path[0] == kSep; }
#endif

}  // namespace

std::string GetLongFileName(const std::string& path) {
  if (!HasRoot(path)) return {};
  const std::string probe = path + kSep;
  std::string elements;
  std::size_t from = kRootLength;
  for (auto sep = probe.find(kSep, from); sep != std::string::npos; sep = probe.find(kSep, from)) {
    // A doubled separator or the trailing one of a folder path names no further element.
    if (sep > from) {
      const auto name = platform::FindEntryName(probe.substr(0, sep));
      if (!name) return {};
      elements += kSep + *name;
    }
    from = sep + 1;
  }
  if (elements.empty()) elements = kSep;
  return path.substr(0, kRootLength - 1) + elements;
}

}  // namespace carvex::modLongFileNames
