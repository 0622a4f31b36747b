#pragma once

#include <string>

#include "platform/seam.h"

namespace carvex::platform {

// Total size and total free bytes of the volume that holds `path` (not only the part of it
// available to this user).
VolumeSpace GetVolumeSpace(const std::string& path);

// The root folder of drive A, with its trailing separator: "a:\" on Windows; on POSIX
// systems the mount point of the first removable volume, or empty when there is none.
std::string FloppyDriveRoot();

}  // namespace carvex::platform
