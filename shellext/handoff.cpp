#include "handoff.h"

#include <algorithm>
#include <cstdint>
#include <optional>
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

// How many bytes of UTF-8 the character led by `lead` takes, and how many UTF-16 units.
// A byte that cannot lead a character stands for itself, as one replacement character.
std::pair<std::size_t, std::size_t> CharacterSize(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF7) return {4, 2};
  if (lead >= 0xE0 && lead <= 0xEF) return {3, 1};
  if (lead >= 0xC0 && lead <= 0xDF) return {2, 1};
  return {1, 1};
}

}  // namespace

// The shell fills a 261-character buffer (260 plus the terminator) with each path. Windows
// counts those characters in UTF-16 units; a character outside the BMP that would straddle
// the limit is dropped whole, since half of it has no UTF-8 form.
std::string CutToHandOffLimit(std::string_view path) {
  std::size_t bytes = 0;
  std::size_t units = 0;
  while (bytes < path.size()) {
    const auto [size, width] = CharacterSize(static_cast<unsigned char>(path[bytes]));
    if (units + width > kHandOffPathLimit) break;
    units += width;
    bytes = std::min(bytes + size, path.size());
  }
  return std::string(path.substr(0, bytes));
}

void WriteHandOffSelection(const std::vector<std::string>& paths) {
  RegistryKey key = RegistryKey::Create(RegistryRoot::kCurrentUser, HandOffKeyPath());
  if (paths.size() == 1) {
    // The list of an older selection stays; readers ignore it while SFileName is a path.
    key.SetString(kFileNameValue, CutToHandOffLimit(paths.front()));
    return;
  }
  key.SetString(kFileNameValue, kSeveralItems);
  // Deleting and creating the key again is what keeps the list free of an older selection's
  // paths and lets the values enumerate in selection order.
  key.DeleteSubKeyTree(kListKey);
  RegistryKey list = key.CreateSubKey(kListKey);
  for (const std::string& path : paths) list.SetString(CutToHandOffLimit(path), "");
}

void WriteSelectionSummary(const std::string& summary) {
  RegistryKey::Create(RegistryRoot::kCurrentUser, HandOffKeyPath()).SetString(kSummaryValue, summary);
}

std::string ReadHandOffFileName() { return ReadHandOffString(kFileNameValue); }

std::string ReadSelectionSummary() { return ReadHandOffString(kSummaryValue); }

std::vector<std::string> ReadHandOffList() {
  std::vector<std::string> paths;
  // A list that cannot be read is an empty selection and reported nowhere; an enumeration
  // that fails part-way keeps the paths read so far.
  try {
    const std::optional<RegistryKey> list =
        RegistryKey::Open(RegistryRoot::kCurrentUser, HandOffListKey(), RegistryAccess::kRead);
    if (!list) return paths;
    for (std::uint32_t index = 0;; ++index) {
      std::optional<std::string> name = list->EnumValueName(index);
      if (!name) break;
      if (!name->empty()) paths.push_back(std::move(*name));
    }
  } catch (const platform::RuntimeError&) {
  }
  return paths;
}

void OverrideHandOffKeyPath(const std::string& keyPath) { OverriddenKeyPath() = keyPath; }

std::string HandOffKeyPath() { return OverriddenKeyPath().empty() ? kHandOffKeyPath : OverriddenKeyPath(); }

}  // namespace carvex
