#pragma once

#include <string>

#include "platform/error.h"
#include "platform/files.h"

namespace carvex::zipkit {

// Removes what a failed step left behind. Called while another failure is on its way up: that
// one is what the user must read, so a failure to remove is dropped.
inline void RemoveQuietly(const std::string& path) {
  try {
    platform::RemoveFile(path);
  } catch (const platform::RuntimeError&) {
  }
}

}  // namespace carvex::zipkit
