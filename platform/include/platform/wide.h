#pragma once

// UTF-8 inside the program, UTF-16 at the Windows API: the conversions, for Windows code only.

#include <string>
#include <string_view>

namespace carvex::platform {

std::wstring Widen(std::string_view utf8);
// A path as the file functions take it at any length: a long one made absolute and given the
// "\\?\" (or "\\?\UNC\") prefix that lifts the 260-character limit; a short one as Widen
// gives it. For the platform layer's own calls only: the prefix is never shown to the user.
std::wstring WidePath(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace carvex::platform
