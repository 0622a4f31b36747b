#pragma once

#include <cstdint>
#include <string>

namespace carvex {

// Path of the builder batch file of `name` in `folder`. The folder may already end in a
// separator (the split destination does); the doubled separator is harmless.
std::string BuilderFilePath(const std::string& folder, const std::string& name);

// The bytes of the builder batch file that rejoins `fullPieces` + 1 pieces of `name`.
std::string BuilderFileText(const std::string& name, std::int64_t fullPieces);

// Whether a batch file can name the pieces of `name`: a double quote or a control character,
// which no Windows file name holds, cannot be spelled in one.
bool BuilderFileCanSpell(const std::string& name);

// Writes the builder batch file of the current split job (SplitFileName, SplitFullPieces)
// into `folder`, replacing an existing one. Failures propagate as platform::RuntimeError.
void WriteBuilderFile(const std::string& folder);

}  // namespace carvex
