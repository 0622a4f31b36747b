#pragma once

#include <string>

#include "zipkit/progress.h"

namespace carvex::zipkit {

// What a self-extracting program shows and how it treats files that exist already. Convert
// stores these between the stub and the archive; the program reads them back.
struct SfxSettings {
  std::string caption = "Self-extracting Archive";
  // "OvrConfirm" asks for each file, "OvrAlways" replaces, "OvrNever" keeps the existing file.
  std::string overwriteMode = "OvrConfirm";
};

// The program's name for `archivePath`: a final ".zip" (any case) becomes ".exe"; any other
// name gets ".exe" appended.
std::string SelfExtractorPathFor(const std::string& archivePath);

// Writes the stub, the settings and the archive into one program beside the archive, every
// offset corrected for what now precedes the archive, so zip tools still list it. A stub signed
// with Authenticode goes in without its signature. The archive itself stays as it is. Returns
// the program's path.
std::string ConvertToSelfExtractor(const std::string& archivePath, const std::string& stubPath,
                                   const SfxSettings& settings, const ProgressHandler& progress);

// The settings stored in the self-extracting program at `programPath`; the defaults when it
// holds none.
SfxSettings ReadSfxSettings(const std::string& programPath);

}  // namespace carvex::zipkit
