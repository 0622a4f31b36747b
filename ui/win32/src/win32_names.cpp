#include "ui/win32_backend.h"

#include <cstdint>

#include "platform/wide.h"

namespace carvex::ui {

std::wstring Win32FormClass(std::string_view formName) { return L"Carvex." + platform::Widen(formName); }

// A hash of the name, so that a test or a tool finds a control without the program's tables.
// Command identifiers are 16 bits, and 1 to 999 are left to the system's (IDOK, IDCANCEL...).
int Win32ControlId(std::string_view name) {
  std::uint32_t hash = 2166136261u;
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 16777619u;
  }
  return 1000 + static_cast<int>(hash % 30000u);
}

}  // namespace carvex::ui
