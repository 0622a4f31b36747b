#include <shlobj.h>
#include <windows.h>

#include <atomic>

#include "platform/error.h"
#include "platform/files.h"
#include "platform/folders.h"
#include "platform/wide.h"

namespace carvex::platform {

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Drops trailing separators, except the one a drive root ("C:\") or the root ("\") needs.
std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 1 && IsSeparator(path.back()) && !(path.size() == 3 && path[1] == L':'))
    path.pop_back();
  return path;
}

std::wstring Join(const std::wstring& folder, const std::wstring& name) {
  return folder.empty() || IsSeparator(folder.back()) ? folder + name : folder + L'\\' + name;
}

std::wstring EnvironmentVariable(const wchar_t* name) {
  std::wstring value(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) return {};
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);
  }
}

// The user's roaming application-data folder. APPDATA names it for the session; the shell
// is asked only when the variable is gone.
std::wstring RoamingAppData() {
  std::wstring folder = EnvironmentVariable(L"APPDATA");
  if (!folder.empty()) return folder;
  wchar_t buffer[MAX_PATH] = {};
  if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
    return buffer;
  return L".";
}

void CreateFoldersWide(const std::wstring& folder) {
  const std::wstring path = WithoutTrailingSeparators(folder);
  if (path.empty() || IsDirectory(Narrow(path))) return;
  const auto slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos) {
    std::wstring parent = path.substr(0, slash);
    // A drive ("C:") or the start of a UNC name ("\\") is nothing to create, nor is either
    // behind the prefix of a long path ("\\?\C:", "\\?\UNC").
    std::wstring_view bare = parent;
    if (bare.starts_with(L"\\\\?\\")) bare.remove_prefix(4);
    const bool isRoot = bare.find_first_not_of(L"\\/") == std::wstring::npos ||
                        (bare.size() == 2 && bare[1] == L':') || bare == L"UNC";
    if (!isRoot) CreateFoldersWide(parent);
  }
  if (::CreateDirectoryW(path.c_str(), nullptr)) return;
  const DWORD error = ::GetLastError();
  // Another process may have made it meanwhile; only a folder that is still missing fails.
  if (error == ERROR_ALREADY_EXISTS && IsDirectory(Narrow(path))) return;
  ::SetLastError(error);
  ThrowLastError("Cannot create the folder", Narrow(path));
}

}  // namespace

bool IsFolderWritable(const std::string& folder) {
  if (folder.empty()) return false;
  static std::atomic<unsigned> counter{0};
  const std::wstring base = Join(WithoutTrailingSeparators(WidePath(folder)),
                                 L".carvex-probe-" + std::to_wstring(::GetCurrentProcessId()) + L"-");
  // CREATE_NEW: a file of that name that is already there must neither count nor be deleted.
  // Delete-on-close removes the probe even if this process dies before it closes it.
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring probe = base + std::to_wstring(counter++);
    HANDLE h =
        ::CreateFileW(probe.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h);
      return true;
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

std::string UserConfigFolder() {
  return Narrow(Join(WithoutTrailingSeparators(RoamingAppData()), L"Orvane Software\\Carvex"));
}

void CreateFolders(const std::string& folder) { CreateFoldersWide(WidePath(folder)); }

std::string DefaultOutputFolder() { return "C:\\"; }

}  // namespace carvex::platform
