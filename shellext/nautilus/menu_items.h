#pragma once

// What the GNOME Files module offers for a selection, apart from the file manager's entry
// points, so that a benchmark can build the same items the file manager gets.
#include <glib.h>

#include <string>
#include <string_view>
#include <vector>

namespace carvex::nautilus {

// The key under which a text item keeps its item number (a guint in a pointer).
inline constexpr char kItemNumberKey[] = "verbhook-item-number";

// The NautilusMenuItem objects of the configured menu for `paths`, or nullptr when there is
// none. Each text item holds the paths it was built for and hands exactly those to the runner
// when chosen; building writes nothing anywhere. A store that is busy or cannot be read gives
// the menu of the last good read, or none.
GList* BuildMenuItems(std::vector<std::string> paths);

// A caption as the file manager's menus show it, where "_" marks the access key. A configured
// caption keeps the Windows convention: "&" marks the key and "&&" is a literal "&". A
// literal caption (a path, a summary) shows every character as it is.
std::string MenuLabel(std::string_view caption, bool literal);

}  // namespace carvex::nautilus
