#pragma once

#include <string>
#include <utility>
#include <vector>

namespace carvex {

// The first menu a user gets: a "Carvex" submenu that splits, zips and splits, or builds the
// selection with the program at `programPath`, then a separator, the selected path and the
// selection summary. Each pair is a value's name and its record, in menu order.
inline constexpr char kDefaultSubmenuKey[] = "0001Carvex";
std::vector<std::pair<std::string, std::string>> DefaultMenuRecords(const std::string& programPath);

// Writes the first menu under the configuration key when that key and its submenus hold no
// records; a user's own menu, even one emptied to a bare submenu, is never replaced.
// With `replace`, writes the first menu's records into its own submenu whatever the menu
// holds, and leaves every other record as it is.
// True when it wrote the menu. Throws RuntimeError when the registry refuses.
bool WriteDefaultMenu(const std::string& programPath, bool replace);

}  // namespace carvex
