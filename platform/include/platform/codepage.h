#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace carvex::platform {

// `utf8` in the OEM code page of the system, the one a console's cmd.exe reads batch files
// in; nullopt when a character has no exact equivalent there. POSIX systems have no such
// code page and use 437, the one Windows consoles default to.
std::optional<std::string> EncodeOem(std::string_view utf8);

// `utf8` in the system's ANSI code page, the one files of the program's own formats keep text
// in; nullopt when `utf8` is not valid UTF-8 or a character has no exact equivalent there.
// POSIX systems use UTF-8 as their code page.
std::optional<std::string> EncodeAnsi(std::string_view utf8);

// Text in the system's ANSI code page as UTF-8. Never fails: bytes that form no character
// become U+FFFD (or what the code page maps them to), so text read from a damaged file
// can always be shown and stored again.
std::string DecodeAnsi(std::string_view ansi);

}  // namespace carvex::platform
