#include <windows.h>

#include "platform/error.h"
#include "platform/volumes.h"
#include "platform/wide.h"

namespace carvex::platform {

VolumeSpace GetVolumeSpace(const std::string& path) {
  if (gSeam)
    if (auto space = gSeam->Space(path)) return *space;
  std::wstring root(MAX_PATH, L'\0');
  if (!::GetVolumePathNameW(WidePath(path).c_str(), root.data(), MAX_PATH))
    ThrowLastError("Cannot find the drive of", path);
  ULARGE_INTEGER available{}, total{}, free{};
  if (!::GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free))
    ThrowLastError("Cannot read the size of the drive of", path);
  return {static_cast<std::int64_t>(total.QuadPart), static_cast<std::int64_t>(free.QuadPart)};
}

std::vector<std::string> ListDrives() {
  std::vector<std::string> drives;
  const DWORD mask = ::GetLogicalDrives();
  for (int i = 0; i < 26; ++i)
    if (mask & (1u << i)) drives.push_back(std::string(1, static_cast<char>('a' + i)) + ":");
  return drives;
}

std::string DriveRoot(const std::string& drive) {
  return !drive.empty() && drive.back() == '\\' ? drive : drive + '\\';
}

std::string FloppyDriveRoot() {
  if (gSeam)
    if (auto root = gSeam->FloppyDriveRoot()) return *root;
  return "a:\\";
}

}  // namespace carvex::platform
