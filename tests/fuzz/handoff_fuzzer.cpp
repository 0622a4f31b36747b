// Arbitrary bytes through the hand-off key, in the registry store that Linux uses (a scratch
// SQLite database): the first byte is a value type, the rest the data that another process
// left in SFileName and attribSt, and also, cut at line breaks, a selection that the shell
// extension records and the application reads back whole, one path byte for byte.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "handoff.h"
#include "platform/error.h"
#include "platform/registry.h"

namespace {

using carvex::fuzz::Broken;
using carvex::platform::RegistryKey;
using carvex::platform::RegistryRoot;
using carvex::platform::RegistryType;

// More would only make each run slower, not reach other code.
constexpr std::size_t kMaxPaths = 8;

bool IsText(RegistryType type) {
  return type == RegistryType::kString || type == RegistryType::kExpandString;
}

// Reading a value left by someone else: text for text types, a RuntimeError for any other.
void CheckRead(std::string (*read)(), RegistryType type) {
  std::string text;
  try {
    text = read();
  } catch (const carvex::platform::RuntimeError&) {
    if (IsText(type)) Broken("a text value could not be read");
    return;
  }
  if (!IsText(type)) Broken("a value that is not text was read as text");
  // Bytes that are not UTF-8 may come back (a file name in another encoding is kept whole);
  // a zero never does, since it would cut the text short for every reader.
  if (text.find('\0') != std::string::npos) Broken("text read from the registry holds a zero byte");
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (lines.size() < kMaxPaths) {
    const std::size_t end = text.find('\n');
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// The paths survive the registry unchanged when they are plain: clean UTF-8, no zero, and
// distinct even to a store that ignores case.
bool ArePlain(const std::vector<std::string>& paths) {
  std::vector<std::string> lowered;
  for (const std::string& path : paths) {
    if (path.empty() || !carvex::fuzz::IsUtf8(path) || path.find('\0') != std::string::npos) return false;
    if (!std::all_of(path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
      return false;
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    lowered.push_back(std::move(lower));
  }
  std::sort(lowered.begin(), lowered.end());
  return std::adjacent_find(lowered.begin(), lowered.end()) == lowered.end();
}

void CheckSelection(const std::vector<std::string>& paths) {
  carvex::WriteHandOffSelection(paths);
  const std::string fileName = carvex::ReadHandOffFileName();
  const std::vector<std::string> list = carvex::ReadHandOffList();
  if (paths.size() == 1) {
    // One path is kept byte for byte, in whatever encoding its name came.
    const bool whole = !paths.front().empty() && paths.front().find('\0') == std::string::npos;
    if (whole && fileName != paths.front()) Broken("a selected path did not read back byte for byte");
    return;
  }
  if (fileName != "*") Broken("a selection of several paths did not read back as \"*\"");
  if (list.size() > paths.size()) Broken("the list read back holds more paths than were selected");
  if (ArePlain(paths) && list != paths) Broken("the list of selected paths did not read back in order");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  carvex::fuzz::UseScratchRegistry();
  if (size == 0) return 0;
  const auto type = static_cast<RegistryType>(data[0]);
  const std::string_view payload = carvex::fuzz::AsText(data + 1, size - 1);

  RegistryKey key = RegistryKey::Create(RegistryRoot::kCurrentUser, carvex::HandOffKeyPath());
  key.SetValue("SFileName", type, payload);
  key.SetValue("attribSt", type, payload);
  CheckRead(carvex::ReadHandOffFileName, type);
  CheckRead(carvex::ReadSelectionSummary, type);

  CheckSelection(SplitLines(payload));
  return 0;
}
