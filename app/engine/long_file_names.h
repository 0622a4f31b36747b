#pragma once

#include <string>

namespace carvex::modLongFileNames {

// The long form of a path whose elements may be short 8.3 names; the empty string when an
// element does not exist. Windows paths start with a drive ("C:\"), POSIX paths with "/".
std::string GetLongFileName(const std::string& path);

}  // namespace carvex::modLongFileNames
