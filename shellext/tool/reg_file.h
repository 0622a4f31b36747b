#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace carvex {

// One key of a registry file: its full path ("HKEY_CURRENT_USER\Software\…") and its string
// values in file order; the name "" is the key's default value ("@").
struct RegFileKey {
  std::string path;
  std::vector<std::pair<std::string, std::string>> values;

  friend bool operator==(const RegFileKey&, const RegFileKey&) = default;
};

// The keys as the file regedit writes: "Windows Registry Editor Version 5.00", UTF-16LE with
// a byte-order mark, CRLF line ends, each key's line preceded by an empty line.
std::string FormatRegFile(const std::vector<RegFileKey>& keys);

// Reads a registry file of that format, or of the older "REGEDIT4" one in UTF-8, holding only
// keys and string values. Anything else (deletions, other value types, a value outside a key,
// a broken line, a line longer than kMaxRegFileLine characters, text that is not UTF-16LE or
// UTF-8) refuses the whole file: false, with `error` naming the line and what is wrong.
inline constexpr std::size_t kMaxRegFileLine = 65536;
bool ParseRegFile(std::string_view bytes, std::vector<RegFileKey>& keys, std::string& error);

}  // namespace carvex
