#pragma once

// UTF-8 inside the program, UTF-16 at the Windows API: the conversions, for Windows code only.

#include <string>
#include <string_view>

namespace carvex::platform {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace carvex::platform
