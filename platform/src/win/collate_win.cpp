#include <windows.h>

#include "platform/collate.h"
#include "platform/wide.h"

namespace carvex::platform {

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const std::wstring left = Widen(a);
  const std::wstring right = Widen(b);
  const int r = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, left.data(),
                                 static_cast<int>(left.size()), right.data(), static_cast<int>(right.size()));
  if (r == CSTR_LESS_THAN) return -1;
  if (r == CSTR_GREATER_THAN) return 1;
  if (r == CSTR_EQUAL) return 0;
  // Only invalid arguments make the comparison fail; an ordinal order still sorts.
  const int ordinal = left.compare(right);
  return ordinal < 0 ? -1 : (ordinal > 0 ? 1 : 0);
}

}  // namespace carvex::platform
