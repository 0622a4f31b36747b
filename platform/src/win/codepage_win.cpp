#include <windows.h>

#include "platform/codepage.h"
#include "platform/wide.h"

namespace carvex::platform {

namespace {

// UTF-16 of `utf8`, nullopt when it is not valid UTF-8 (Widen would replace such bytes).
std::optional<std::wstring> WidenStrictly(std::string_view utf8) {
  if (utf8.empty()) return std::wstring();
  const int size = static_cast<int>(utf8.size());
  const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (n <= 0) return std::nullopt;
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, out.data(), n);
  return out;
}

// `wide` in `codePage`, nullopt when a character is missing there.
std::optional<std::string> EncodeExactly(UINT codePage, const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int size = static_cast<int>(wide.size());
  BOOL usedDefault = FALSE;
  // No best fit: a look-alike character would name a different file.
  const int n = ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0, nullptr,
                                      &usedDefault);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<std::size_t>(n), '\0');
  ::WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), size, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::optional<std::string> EncodeOem(std::string_view utf8) { return EncodeExactly(CP_OEMCP, Widen(utf8)); }

std::optional<std::string> EncodeAnsi(std::string_view utf8) {
  const std::optional<std::wstring> wide = WidenStrictly(utf8);
  if (!wide) return std::nullopt;
  // WideCharToMultiByte refuses the no-best-fit flag and the used-default query for UTF-8,
  // the ANSI code page a system may be set to; every character has a form there.
  if (::GetACP() == CP_UTF8) return std::string(utf8);
  return EncodeExactly(CP_ACP, *wide);
}

std::string DecodeAnsi(std::string_view ansi) {
  if (ansi.empty()) return {};
  const int size = static_cast<int>(ansi.size());
  // Without MB_ERR_INVALID_CHARS bytes that form no character are replaced, not refused.
  const int n = ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_ACP, 0, ansi.data(), size, wide.data(), n);
  return Narrow(wide);
}

}  // namespace carvex::platform
