#include "handoff.h"

#include <optional>
#include <unordered_set>
#include <utility>

#include "platform/error.h"
#include "platform/registry.h"

namespace carvex {

namespace {

using platform::RegistryAccess;
using platform::RegistryKey;
using platform::RegistryRoot;

constexpr char kFileNameValue[] = "SFileName";
constexpr char kSummaryValue[] = "attribSt";
constexpr char kListKey[] = "fileNames";
constexpr char kSeveralItems[] = "*";
// Starts the name of a value that holds its path as data; a path that itself starts with it
// (no full path does) is written the same way, so it cannot be taken for a stand-in.
constexpr char kStandInPrefix[] = "*";

std::string& OverriddenKeyPath() {
  static std::string path;
  return path;
}

std::string HandOffListKey() {
  return OverriddenKeyPath().empty() ? kHandOffListKeyPath : OverriddenKeyPath() + "\\" + kListKey;
}

std::string ReadHandOffString(const char* name) {
  const std::optional<RegistryKey> key =
      RegistryKey::Open(RegistryRoot::kCurrentUser, HandOffKeyPath(), RegistryAccess::kRead);
  if (!key) return {};
  return key->QueryString(name).value_or(std::string());
}

// A path cut short would name a file that does not exist, and the command or the application
// would act on nothing or on the wrong file; the registry holds names far longer than MAX_PATH.
void WriteSelection(RegistryKey& key, const std::vector<std::string>& paths) {
  if (paths.size() == 1) {
    // The list of an older selection stays; readers ignore it while SFileName is a path.
    key.SetString(kFileNameValue, paths.front());
    return;
  }
  key.SetString(kFileNameValue, kSeveralItems);
  // Deleting and creating the key again is what keeps the list free of an older selection's
  // paths and lets the values enumerate in selection order.
  key.DeleteSubKeyTree(kListKey);
  RegistryKey list = key.CreateSubKey(kListKey);
  // The registry compares value names without regard to case, but a POSIX folder may hold
  // Photo.JPG beside photo.jpg: a path whose name is taken in another spelling goes under a
  // stand-in name with the path as data, so both reach the reader and every other path keeps
  // the plain form that the application reads. Both questions are answered from memory, in
  // constant time: a selection of ten thousand files asks nothing of the registry but to write.
  std::unordered_set<std::string> written;
  std::unordered_set<std::string> takenNames;
  std::vector<std::pair<std::string, std::string>> values;
  written.reserve(paths.size());
  takenNames.reserve(paths.size());
  values.reserve(paths.size());
  for (std::size_t index = 0; index < paths.size(); ++index) {
    const std::string& path = paths[index];
    if (!written.insert(path).second) continue;
    if (path.starts_with(kStandInPrefix) || !takenNames.insert(platform::FoldRegistryName(path)).second)
      values.emplace_back(kStandInPrefix + std::to_string(index + 1), path);
    else
      values.emplace_back(path, "");
  }
  list.SetStrings(values);
}

}  // namespace

// The SQLite store takes the whole selection as one transaction: one lock and one commit for
// thousands of values, and no reader ever sees half a list. Windows writes value by value.
void WriteHandOffSelection(const std::vector<std::string>& paths) {
  platform::RegistryTransaction transaction;
  RegistryKey key = RegistryKey::Create(RegistryRoot::kCurrentUser, HandOffKeyPath());
  WriteSelection(key, paths);
  transaction.Commit();
}

void WriteHandOff(const std::vector<std::string>& paths, const std::string& summary) {
  platform::RegistryTransaction transaction;
  RegistryKey key = RegistryKey::Create(RegistryRoot::kCurrentUser, HandOffKeyPath());
  WriteSelection(key, paths);
  key.SetString(kSummaryValue, summary);
  transaction.Commit();
}

void WriteSelectionSummary(const std::string& summary) {
  RegistryKey::Create(RegistryRoot::kCurrentUser, HandOffKeyPath()).SetString(kSummaryValue, summary);
}

std::string ReadHandOffFileName() { return ReadHandOffString(kFileNameValue); }

std::string ReadSelectionSummary() { return ReadHandOffString(kSummaryValue); }

std::vector<std::string> ReadHandOffList() {
  std::vector<std::string> paths;
  // A list that cannot be read is an empty selection and reported nowhere.
  try {
    const std::optional<RegistryKey> list =
        RegistryKey::Open(RegistryRoot::kCurrentUser, HandOffListKey(), RegistryAccess::kRead);
    if (!list) return paths;
    // Names and data in one listing: the SQLite store would look each index up from the start.
    std::vector<std::pair<std::string, platform::RegistryValue>> values = list->Values();
    paths.reserve(values.size());
    for (auto& [name, value] : values) {
      // A stand-in name carries its path as data; any other value is named by its path.
      if (name.starts_with(kStandInPrefix)) {
        if (value.type != platform::RegistryType::kString) continue;
        std::string path = platform::DecodeRegistryString(value.data);
        if (!path.empty()) paths.push_back(std::move(path));
      } else if (!name.empty()) {
        paths.push_back(std::move(name));
      }
    }
  } catch (const platform::RuntimeError&) {
  }
  return paths;
}

std::vector<std::string> ReadHandOffSelection(std::string* summary) {
  // One snapshot: a selection written meanwhile by another window is seen whole or not at all.
  platform::RegistryTransaction snapshot(platform::RegistryTransaction::Kind::kRead);
  if (summary) *summary = ReadSelectionSummary();
  std::string fileName = ReadHandOffFileName();
  if (fileName != kSeveralItems) return {std::move(fileName)};
  return ReadHandOffList();
}

void OverrideHandOffKeyPath(const std::string& keyPath) { OverriddenKeyPath() = keyPath; }

std::string HandOffKeyPath() { return OverriddenKeyPath().empty() ? kHandOffKeyPath : OverriddenKeyPath(); }

}  // namespace carvex
