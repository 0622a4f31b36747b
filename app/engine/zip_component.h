#pragma once

#include <cstdint>
#include <string>

#include "mod_public.h"
#include "zipkit/zip_component.h"

namespace carvex {

// The program's one zip component, set up as the jobs expect it, its progress shown in the
// progress dialog.
zipkit::ZipComponent& Zip();

// The zip component's progress, shown in the progress dialog, for zipping and unzipping
// alike: kind 0 names a new file (and locks Cancel, since zip work cannot be stopped), kind 1
// adds done bytes, kind 2 closes the dialog.
void OnZipProgress(int kind, const std::string& text, std::int64_t size);

// Unpacks a built archive with the progress dialog showing, as the auto-unzip setting asks.
void UnzipBuiltFile(const std::string& archive, Bytes total);

}  // namespace carvex
