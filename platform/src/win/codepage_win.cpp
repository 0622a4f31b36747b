#include <windows.h>

#include "platform/codepage.h"
#include "wide.h"

namespace carvex::platform {

std::optional<std::string> EncodeOem(std::string_view utf8) {
  const std::wstring wide = Widen(utf8);
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  // No best fit: a look-alike character would name a different file.
  const int n = ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr,
                                      &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace carvex::platform
