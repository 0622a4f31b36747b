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

// Windows opens the device, not a file, for these names, whatever extension follows.
bool IsDeviceName(std::string_view element) {
  std::string base = LowerAscii(std::string(element.substr(0, element.find('.'))));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static constexpr std::array<std::string_view, 8> kFixed = {"con",    "prn",     "aux",    "nul",
                                                             "conin$", "conout$", "clock$", "config$"};
  if (std::find(kFixed.begin(), kFixed.end(), base) != kFixed.end()) return true;
  return base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) && base[3] >= '1' &&
         base[3] <= '9';
}

// "..", "..." and ". ." all climb out or collapse to it on Windows, which drops trailing dots and
// spaces from a name.
bool IsAllDots(std::string_view element) { return element.find_first_not_of(". ") == std::string_view::npos; }

}  // namespace

std::optional<std::vector<std::string>> SafeEntryPath(std::string_view name) {
  std::string normalized(name);
  std::replace(normalized.begin(), normalized.end(), '\\', '/');
  if (normalized.empty() || normalized.front() == '/') return std::nullopt;
  if (normalized.find('\0') != std::string::npos) return std::nullopt;
  const bool driveLetter =
      normalized.size() >= 2 && normalized[1] == ':' &&
      ((normalized[0] >= 'a' && normalized[0] <= 'z') || (normalized[0] >= 'A' && normalized[0] <= 'Z'));
  if (driveLetter) return std::nullopt;

  std::vector<std::string> elements;
  std::size_t start = 0;
  while (start <= normalized.size()) {
    const std::size_t slash = std::min(normalized.find('/', start), normalized.size());
    const std::string_view element = std::string_view(normalized).substr(start, slash - start);
    start = slash + 1;
    if (element.empty() || element == ".") continue;
    if (IsAllDots(element) || IsDeviceName(element)) return std::nullopt;
    elements.emplace_back(element);
  }
  if (elements.empty()) return std::nullopt;
  return elements;
}

std::string LocalName(std::string element) {
  if (platform::kPathSeparator != '\\') return element;
  for (char& c : element)
    if (static_cast<unsigned char>(c) < 0x20 ||
        std::string_view("<>:\"|?*").find(c) != std::string_view::npos)
      c = '_';
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
