#pragma once

#include <string_view>

namespace carvex::platform {

// Negative, zero or positive as `a` sorts before, with or after `b` in the user's locale,
// ignoring case: the order the system's own lists put names in. Windows compares with the
// user's default locale; POSIX systems with the locale the environment names (LC_ALL,
// LC_COLLATE, LANG), the C locale when it names none or one that is not installed.
int CompareIgnoringCase(std::string_view a, std::string_view b);

}  // namespace carvex::platform
