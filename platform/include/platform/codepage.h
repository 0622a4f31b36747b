#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace carvex::platform {

// `utf8` in the OEM code page of the system, the one a console's cmd.exe reads batch files
// in; nullopt when a character has no exact equivalent there. POSIX systems have no such
// code page and use 437, the one Windows consoles default to.
std::optional<std::string> EncodeOem(std::string_view utf8);

}  // namespace carvex::platform
