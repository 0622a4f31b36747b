#pragma once

#include <string>
#include <vector>

#include "platform/seam.h"

namespace carvex::platform {

// Total size and total free bytes of the volume that holds `path` (not only the part of it
// available to this user).
VolumeSpace GetVolumeSpace(const std::string& path);

// The root folder of drive A, with its trailing separator: "a:\" on Windows; on POSIX
// systems the mount point of the first removable volume, or empty when there is none.
std::string FloppyDriveRoot();

// The drives a destination can be chosen from, in the plain form a job takes: "c:" and so on
// (lower case) on Windows; on POSIX systems the mount points of block devices, "/" first.
std::vector<std::string> ListDrives();

// The folder at the top of `drive`: "c:" gives "c:\", "/media/usb" gives "/media/usb/".
std::string DriveRoot(const std::string& drive);

}  // namespace carvex::platform
