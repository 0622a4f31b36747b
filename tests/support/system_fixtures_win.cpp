#include <windows.h>

#include "support/system_fixtures.h"

namespace carvex::test {

namespace {

std::wstring Widen(const std::string& text) {
  std::wstring wide(text.size() + 1, L'\0');
  wide.resize(static_cast<std::size_t>(::MultiByteToWideChar(
      CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), static_cast<int>(wide.size()))));
  return wide;
}

std::shared_ptr<void> HoldOpen(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  HANDLE h = ::CreateFileW(Widen(path).c_str(), access, share, nullptr, disposition, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  return std::shared_ptr<void>(h, ::CloseHandle);
}

}  // namespace

// Wine run by root ignores the read-only attribute; a program that holds the file open and
// shares only reading stops every writer.
std::shared_ptr<void> KeepFromWriting(const std::string& path) {
  return HoldOpen(path, GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

// A file held open without any sharing cannot be opened by anyone else.
std::shared_ptr<void> MakeUnreadableEntry(const std::string& path) {
  return HoldOpen(path, GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
}

bool MakePipe(const std::string&) { return false; }

bool RunningUnderWine() {
  return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace carvex::test
