#include "zipkit/entry_names.h"

#include <algorithm>
#include <array>
#include <unordered_map>
#include <unordered_set>

#include "platform/files.h"

namespace carvex::zipkit {

namespace {

constexpr char kSeparators[] = {'/', platform::kPathSeparator, '\0'};

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

constexpr bool kWindows = platform::kPathSeparator == '\\';

// Windows opens the device, not a file, for these names, whatever extension follows; the
// superscript digits count as digits there.
bool IsDeviceName(std::string_view element) {
  std::string base = LowerAscii(std::string(element.substr(0, element.find('.'))));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static constexpr std::array<std::string_view, 8> kFixed = {"con",    "prn",     "aux",    "nul",
                                                             "conin$", "conout$", "clock$", "config$"};
  if (std::find(kFixed.begin(), kFixed.end(), base) != kFixed.end()) return true;
  if (!base.starts_with("com") && !base.starts_with("lpt")) return false;
  const std::string_view digit = std::string_view(base).substr(3);
  return (digit.size() == 1 && digit[0] >= '1' && digit[0] <= '9') || digit == "\xC2\xB9" || digit == "\xC2\xB2" ||
         digit == "\xC2\xB3";
}

// On Windows "..", "..." and ". ." all climb out or collapse to it, since it drops trailing dots
// and spaces from a name; elsewhere only ".." climbs, and "..." is a name like any other.
bool ClimbsOut(std::string_view element) {
  if (!kWindows) return element == "..";
  return element.find_first_not_of(". ") == std::string_view::npos;
}

bool IsDriveLetter(std::string_view name) {
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'a' && name[0] <= 'z') || (name[0] >= 'A' && name[0] <= 'Z'));
}

}  // namespace

std::optional<std::vector<std::string>> SafeEntryPath(std::string_view name) {
  std::string normalized(name);
  std::replace(normalized.begin(), normalized.end(), '\\', '/');
  if (!UnsafeEntryRule(name).empty()) return std::nullopt;

  std::vector<std::string> elements;
  std::size_t start = 0;
  while (start <= normalized.size()) {
    const std::size_t slash = std::min(normalized.find('/', start), normalized.size());
    const std::string_view element = std::string_view(normalized).substr(start, slash - start);
    start = slash + 1;
    if (element.empty() || element == ".") continue;
    elements.emplace_back(element);
  }
  if (elements.empty()) return std::nullopt;
  return elements;
}

std::string UnsafeEntryRule(std::string_view name) {
  std::string normalized(name);
  std::replace(normalized.begin(), normalized.end(), '\\', '/');
  if (normalized.empty()) return "has no name";
  if (normalized.find('\0') != std::string::npos) return "holds a NUL character";
  if (normalized.front() == '/') return "is absolute";
  if (IsDriveLetter(normalized)) return "names a drive";
  bool any = false;
  for (std::size_t start = 0; start <= normalized.size();) {
    const std::size_t slash = std::min(normalized.find('/', start), normalized.size());
    const std::string_view element = std::string_view(normalized).substr(start, slash - start);
    start = slash + 1;
    if (element.empty() || element == ".") continue;
    if (ClimbsOut(element)) return "climbs out of the target folder";
    any = true;
  }
  return any ? std::string() : "has no name";
}

std::string LocalName(std::string element) {
  if (!kWindows) return element;
  for (char& c : element)
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      c = '_';
  // Windows would open a device, or drop the trailing dots and spaces and write another name.
  if (IsDeviceName(element)) element.insert(0, "_");
  for (auto last = element.rbegin(); last != element.rend() && (*last == '.' || *last == ' '); ++last) *last = '_';
  return element;
}

std::string NumberedName(const std::string& fileName, int number) {
  const std::string tag = " (" + std::to_string(number) + ")";
  const auto dot = fileName.rfind('.');
  if (dot == std::string::npos || dot == 0) return fileName + tag;
  return fileName.substr(0, dot) + tag + fileName.substr(dot);
}

std::vector<std::string> StoredNames(const std::vector<std::string>& sourcePaths) {
  std::vector<std::string> names;
  names.reserve(sourcePaths.size());
  std::unordered_set<std::string> ownNames;
  for (const std::string& path : sourcePaths) ownNames.insert(LowerAscii(FileNamePart(path)));

  std::unordered_set<std::string> taken;
  // Where numbering resumes for each clashing name, so that thousands of copies of one name
  // cost no more than thousands of different names.
  std::unordered_map<std::string, int> nextNumber;
  for (const std::string& path : sourcePaths) {
    const std::string name = FileNamePart(path);
    const std::string key = LowerAscii(name);
    if (taken.insert(key).second) {
      names.push_back(name);
      continue;
    }
    int& number = nextNumber.try_emplace(key, 2).first->second;
    for (;; ++number) {
      std::string candidate = NumberedName(name, number);
      const std::string candidateKey = LowerAscii(candidate);
      if (ownNames.count(candidateKey) == 0 && taken.insert(candidateKey).second) {
        names.push_back(std::move(candidate));
        ++number;
        break;
      }
    }
  }
  return names;
}

std::string FileNamePart(const std::string& path) {
  const auto pos = path.find_last_of(kSeparators);
  return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string FolderPart(const std::string& path) {
  const auto pos = path.find_last_of(kSeparators);
  if (pos == std::string::npos) return {};
  if (pos == 0) return path.substr(0, 1);
  std::string folder = path.substr(0, pos);
  if (folder.size() == 2 && folder[1] == ':') folder += path[pos];
  return folder;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == '/' || last == platform::kPathSeparator) return folder + name;
  return folder + platform::kPathSeparator + name;
}

}  // namespace carvex::zipkit
