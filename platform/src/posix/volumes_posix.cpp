#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "platform/error.h"
#include "platform/volumes.h"

namespace carvex::platform {

VolumeSpace GetVolumeSpace(const std::string& path) {
  if (gSeam)
    if (auto space = gSeam->Space(path)) return *space;
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) ThrowLastError("Cannot read the size of the volume of", path);
  const auto unit = static_cast<std::int64_t>(st.f_frsize ? st.f_frsize : st.f_bsize);
  return {static_cast<std::int64_t>(st.f_blocks) * unit, static_cast<std::int64_t>(st.f_bfree) * unit};
}

namespace {

// /proc/mounts escapes blanks and a few other characters as octal.
std::string Unescape(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const std::string digits = field.substr(i + 1, 3);
      if (digits.find_first_not_of("01234567") == std::string::npos) {
        out += static_cast<char>(std::stoi(digits, nullptr, 8));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

bool IsRemovableDevice(const std::string& device) {
  struct stat st {};
  if (device.rfind("/dev/", 0) != 0 || ::stat(device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) return false;
  const std::string sys = "/sys/dev/block/" + std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev));
  // A partition's own folder has no "removable"; its disk, one level up, has.
  for (const char* candidate : {"/removable", "/../removable"}) {
    std::ifstream flag(sys + candidate);
    int removable = 0;
    if (flag >> removable) return removable == 1;
  }
  return false;
}

}  // namespace

std::vector<std::string> ListDrives() {
  std::vector<std::string> drives{"/"};
  std::ifstream mounts("/proc/mounts");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint) || device.rfind("/dev/", 0) != 0) continue;
    const std::string path = Unescape(mountPoint);
    if (std::find(drives.begin(), drives.end(), path) == drives.end()) drives.push_back(path);
  }
  return drives;
}

std::string DriveRoot(const std::string& drive) {
  return !drive.empty() && drive.back() == '/' ? drive : drive + '/';
}

std::string FloppyDriveRoot() {
  if (gSeam)
    if (auto root = gSeam->FloppyDriveRoot()) return *root;
  std::ifstream mounts("/proc/mounts");
  std::string line;
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string device, mountPoint;
    if (!(fields >> device >> mountPoint)) continue;
    if (!IsRemovableDevice(Unescape(device))) continue;
    std::string root = Unescape(mountPoint);
    if (root.empty() || root.back() != '/') root += '/';
    return root;
  }
  return {};
}

}  // namespace carvex::platform
