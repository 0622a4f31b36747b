#include <locale.h>
#include <wchar.h>
#include <wctype.h>

#include <cstdint>
#include <string>

#include "platform/collate.h"

namespace carvex::platform {

namespace {

locale_t UserLocale() {
  // Read once: the environment of a process that hosts a file manager does not change, and
  // the process-wide locale (setlocale) belongs to the host, not to us.
  static const locale_t locale = [] {
    locale_t chosen = ::newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (!chosen) chosen = ::newlocale(LC_COLLATE_MASK | LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    return chosen;
  }();
  return locale;
}

// UTF-8 as code points, lower-cased. A byte that starts no valid sequence stands for itself
// as U+FFFD, so no name is ever refused.
std::wstring Fold(std::string_view text, locale_t locale) {
  std::wstring out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::uint32_t code = lead;
    std::size_t length = 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07;
    } else if (lead >= 0x80) {
      length = 0;
    }
    for (std::size_t k = 1; length > 1 && k < length; ++k) {
      const auto next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
      if ((next & 0xC0) != 0x80) {
        length = 0;
        break;
      }
      code = (code << 6) | (next & 0x3F);
    }
    if (length == 0) {
      out.push_back(static_cast<wchar_t>(0xFFFD));
      ++i;
      continue;
    }
    out.push_back(static_cast<wchar_t>(::towlower_l(static_cast<wint_t>(code), locale)));
    i += length;
  }
  return out;
}

}  // namespace

int CompareIgnoringCase(std::string_view a, std::string_view b) {
  const locale_t locale = UserLocale();
  if (!locale) {
    const int r = a.compare(b);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
  }
  const std::wstring left = Fold(a, locale);
  const std::wstring right = Fold(b, locale);
  const int r = ::wcscoll_l(left.c_str(), right.c_str(), locale);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace carvex::platform
