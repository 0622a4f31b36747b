#include <windows.h>

#include "unwritable_file.h"

namespace carvex::test {

// Wine run by root ignores the read-only attribute; a program that holds the file open and
// shares only reading stops every writer.
std::shared_ptr<void> KeepFromWriting(const std::string& path) {
  std::wstring wide(path.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(
      CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(), static_cast<int>(wide.size()))));
  HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::shared_ptr<void>(h, ::CloseHandle);
}

}  // namespace carvex::test
