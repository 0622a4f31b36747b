#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace carvex::platform {

// The code point that starts at `s[i]`, advancing `i` past it. A malformed sequence gives
// U+FFFD and advances by one byte only, as the Windows conversion does.
char32_t DecodeUtf8(std::string_view s, std::size_t& i);
void AppendUtf8(std::string& out, char32_t c);

// How keys are named in messages: "HKEY_CURRENT_USER\\Software\\...".
std::string RootName(RegistryRoot root);
std::string Below(const std::string& parent, const std::string& path);

}  // namespace carvex::platform
